// Which windows take Ctrl+Shift+V, and what the actions do without a
// clipboard to write to (a one-shot command has none).
#include "support/AppTestSupport.h"

#include "features/clipboard/ClipboardActions.h"
#include "features/clipboard/ClipboardHistory.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

ForeignApplication window(const QString& instance, const QString& className) {
    ForeignApplication application;
    application.instanceName = instance;
    application.className = className;
    return application;
}

TEST(ClipboardActionsTerminalsTest, terminalsAreKnownByTheirWindowClass) {
    for (const auto& [instance, className] :
         {std::pair{"xterm", "XTerm"}, std::pair{"gnome-terminal-server", "Gnome-terminal"}, std::pair{"konsole", "konsole"},
          std::pair{"kitty", "kitty"}, std::pair{"Alacritty", "Alacritty"}, std::pair{"xfce4-terminal", "Xfce4-terminal"}})
        EXPECT_TRUE(ClipboardActions::isTerminal(window(QString::fromLatin1(instance), QString::fromLatin1(className))))
            << className;
    for (const auto& [instance, className] :
         {std::pair{"gedit", "Gedit"}, std::pair{"Navigator", "firefox"}, std::pair{"", ""}})
        EXPECT_FALSE(ClipboardActions::isTerminal(window(QString::fromLatin1(instance), QString::fromLatin1(className))))
            << className;
}

class ClipboardActionsTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        ClipboardHistory::Options options;
        options.repository = std::make_shared<ClipboardRepository>(pool);
        options.registry = registry.get();
        options.imageDirectory = home.root() + QStringLiteral("/Clipboard");
        history = std::make_unique<ClipboardHistory>(std::move(options));
        actions = std::make_unique<ClipboardActions>(*history, [] { return nullptr; });
        ClipboardContent content;
        content.text = QStringLiteral("kept");
        record = *history->add(content);
    }

    std::unique_ptr<ClipboardHistory> history;
    std::unique_ptr<ClipboardActions> actions;
    ClipboardRecord record;
};

TEST_F(ClipboardActionsTest, withoutAClipboardCopyAndPasteFailAndSaySo) {
    const CommandOutcome copied = actions->copy(record);
    EXPECT_EQ(copied.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(copied.title, QStringLiteral("Could not copy"));
    EXPECT_EQ(actions->paste(record).kind, CommandOutcome::Kind::failed);
}

TEST_F(ClipboardActionsTest, deleteAllWithoutAWindowDeletesAtOnceAndPinningAGoneRecordFails) {
    const CommandOutcome pinned = actions->setPinned(record, true);
    EXPECT_EQ(pinned.toastTitle, QStringLiteral("Pinned entry"));
    EXPECT_TRUE(history->record(*record.id)->isPinned);
    EXPECT_EQ(actions->removeAll().hudText, QStringLiteral("Deleted 1 entries"));
    EXPECT_EQ(actions->setPinned(record, false).kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(actions->remove(record).title, QStringLiteral("Clipboard record not found"));
}

}  // namespace
}  // namespace vantrel::test
