// The files feature as the launcher registers it: "File Search" and its
// fallback open the feature's view (with the fallback's text), the command is
// offered as available, and the "Open With" chooser other features may use.
#include "features/files/FilesTestSupport.h"
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/commands/BuiltinCommandRunner.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/files/FilesApi.h"
#include "features/files/FilesFeature.h"
#include "kit/UserDefaults.h"

namespace vantrel::test {
namespace {

class FilesFeatureTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/feature.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<FilesFeature>());
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        context.reset();
        launcher.reset();
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
};

TEST_F(FilesFeatureTest, FileSearchAndItsFallbackOpenTheViewTheFallbackWithItsText) {
    EXPECT_EQ(builtinCommandAvailability(QStringLiteral("fileSearch")), CommandAvailability::available);
    EXPECT_EQ(registry->availability(QStringLiteral("fileSearch")), CommandAvailability::available);

    // Chosen in root search while "file se" is typed: the view opens empty.
    const auto command = registry->command(CommandIdentifier("fileSearch"));
    ASSERT_TRUE(command);
    const CommandOutcome opened = command->run({QStringLiteral("file se"), {}, nullptr});
    EXPECT_EQ(opened.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(opened.commandId, QStringLiteral("fileSearch"));
    EXPECT_EQ(opened.initialQuery, QString());

    // The fallback row: the view opens with the text searched for.
    const auto fallback = registry->fallbackSearchCommand(QStringLiteral("fileSearch_fallbackSearch"));
    ASSERT_TRUE(fallback);
    const CommandOutcome searched = fallback->run(QStringLiteral("invoice 2024"), {});
    EXPECT_EQ(searched.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(searched.commandId, QStringLiteral("fileSearch"));
    EXPECT_EQ(searched.initialQuery, QStringLiteral("invoice 2024"));
}

TEST_F(FilesFeatureTest, TheIndexCoversTheFoldersOfTheSettingOnceStarted) {
    FileTree tree;
    tree.file("Inbox/ledger-2024.ods");
    // The setting is read when the feature registers.
    defaults->setValue(QString(FileIndex::scopesKey), QStringList{tree.path("Inbox")});
    auto context2 = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
    auto feature = std::make_unique<FilesFeature>();
    FilesFeature* files = feature.get();
    std::vector<std::unique_ptr<Feature>> features;
    features.push_back(std::move(feature));
    registerFeatures(*context2, std::move(features));
    ASSERT_TRUE(files->index());
    EXPECT_EQ(files->index()->scopes(), QStringList{tree.path("Inbox")});
    EXPECT_FALSE(files->index()->isReady());
    context2->startFeatures();
    ASSERT_TRUE(files->index()->waitUntilReady(std::chrono::seconds(10)));
    EXPECT_EQ(sortedHitNames(files->index()->itemsWithPrefix(QStringLiteral("ledger"), 10)),
              QStringList{QStringLiteral("ledger-2024.ods")});
}

TEST_F(FilesFeatureTest, OtherFeaturesGetTheOpenWithChooserOnceItsApplicationsAreKnown) {
    FilesApi* api = context->api<FilesApi>();
    ASSERT_TRUE(api);
    FileTree tree;
    tree.file("notes.txt", "plain");
    RecordingPresenter presenter;
    const MenuItem first = api->openWithMenuItem(tree.path("notes.txt"), &presenter);
    EXPECT_EQ(first.title, QStringLiteral("Open With"));
    ASSERT_TRUE(first.submenu());
    // Not known yet: one row that says so, doing nothing.
    ASSERT_EQ(first.submenu()->size(), 1u);
    EXPECT_FALSE(first.submenu()->front().isEnabled);

    auto receiver = std::make_unique<QObject>();
    QStringList found;
    api->openWithApplicationsFound().connect(receiver.get(), [&](const QString& type) { found << type; });
    ASSERT_TRUE(waitUntil([&] { return found.contains(QStringLiteral("text/plain")); }));
    const MenuItem known = api->openWithMenuItem(tree.path("notes.txt"), &presenter);
    ASSERT_TRUE(known.submenu());
    for (const MenuItem& choice : *known.submenu()) {
        // Each row is an application that opens plain text, or the one row saying there is none.
        EXPECT_FALSE(choice.title.isEmpty());
        if (!choice.isEnabled) {
            EXPECT_EQ(known.submenu()->size(), 1u);
        }
    }
}

}  // namespace
}  // namespace vantrel::test
