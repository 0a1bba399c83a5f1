// "Clipboard History" on the test session's display: made by the feature for
// its command, pinned entries first, the search text and the content-type
// drop-down filtering through the repository, the detail pane, the actions of
// each kind of entry, "Delete All" with its question, and a history that
// cannot be read.
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/clipboard/ClipboardActions.h"
#include "features/clipboard/ClipboardFeature.h"
#include "features/clipboard/ClipboardHistory.h"
#include "features/clipboard/ui/ClipboardHistoryView.h"
#include "kit/UserDefaults.h"

#include <QBuffer>
#include <QComboBox>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTest>

namespace vantrel::test {
namespace {

class ClipboardHistoryViewTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/clipboard.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        context->setPresenter(&presenter);
        auto made = std::make_unique<ClipboardFeature>();
        feature = made.get();
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::move(made));
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        view.reset();
        context.reset();
        launcher.reset();
    }

    ClipboardHistory& history() { return *feature->history(); }

    // A copy as the watcher reports it: classified (links, colours) on the way in.
    std::optional<ClipboardRecord> addText(const QString& text, std::optional<QByteArray> rich = std::nullopt) {
        ClipboardSnapshot snapshot;
        snapshot.types << QStringLiteral("UTF8_STRING");
        snapshot.data[QStringLiteral("UTF8_STRING")] = text.toUtf8();
        if (rich) {
            snapshot.types << QStringLiteral("text/html");
            snapshot.data[QStringLiteral("text/html")] = *rich;
        }
        history().clipboardChanged(snapshot);
        const auto found = history().findItems(text, std::nullopt, 1);
        if (found.empty()) return std::nullopt;
        return found.front();
    }

    std::optional<ClipboardRecord> addImage() {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        ClipboardContent content;
        content.kind = ClipboardContent::Kind::image;
        content.imageData = bytes;
        return history().add(content);
    }

    void open(const QString& query = {}) {
        QWidget* made = context->makeView(CommandOutcome::showView(QStringLiteral("clipboardHistory"), query));
        view.reset(qobject_cast<ClipboardHistoryView*>(made));
        ASSERT_TRUE(view) << "the feature made no clipboard history view";
        view->setPresenter(&presenter);
        view->resize(800, 450);
        view->show();
        view->viewDidAppear();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QStringList titles() const {
        QStringList all;
        for (const ListView::Item* item : view->visibleItems()) all << item->title;
        return all;
    }

    QStringList actionIds() const {
        QStringList ids;
        for (const MenuItem& item : view->actions()) ids << item.id;
        return ids;
    }

    bool selectTitle(const QString& title) {
        for (const ListView::Item* item : view->visibleItems())
            if (item->title == title) return view->selectItem(item->id);
        return false;
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    ClipboardFeature* feature = nullptr;
    RecordingPresenter presenter;
    std::unique_ptr<ClipboardHistoryView> view;
};

TEST_F(ClipboardHistoryViewTest, theCommandOpensTheHistoryPinnedFirstThenTheMostRecent) {
    const auto old = addText(QStringLiteral("first copied"));
    addText(QStringLiteral("second copied"));
    addText(QStringLiteral("third copied"));
    history().pin(*old->id, true);
    const auto command = registry->command(CommandIdentifier("clipboardHistory"));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->run({QString(), {}, nullptr}).kind, CommandOutcome::Kind::showView);
    open();
    EXPECT_EQ(view->title(), QStringLiteral("Clipboard History"));
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("first copied"), QStringLiteral("third copied"),
                                     QStringLiteral("second copied")}));
}

TEST_F(ClipboardHistoryViewTest, typingAndTheDropDownFilterTheEntries) {
    addText(QStringLiteral("meeting notes"));
    addText(QStringLiteral("#336699"));
    addText(QStringLiteral("grocery list"));
    addImage();
    open();
    view->searchTextChanged(QStringLiteral("NOTES"));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("meeting notes")});
    view->searchTextChanged(QString());
    EXPECT_EQ(titles().size(), 4);
    view->filterBox()->setCurrentIndex(view->filterBox()->findText(QStringLiteral("Colors Only")));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("#336699")});
    view->setContentTypeFilter(ClipboardHistoryView::ContentTypeFilter::images);
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Image")});
    view->searchTextChanged(QStringLiteral("nothing like it"));
    EXPECT_TRUE(view->isShowingEmptyView());
    QStringList filters;
    for (int i = 0; i < view->filterBox()->count(); ++i) filters << view->filterBox()->itemText(i);
    EXPECT_EQ(filters, (QStringList{QStringLiteral("All Types"), QStringLiteral("Text Only"), QStringLiteral("Images Only"),
                                    QStringLiteral("Files Only"), QStringLiteral("Links Only"),
                                    QStringLiteral("Colors Only")}));
}

TEST_F(ClipboardHistoryViewTest, theDetailPaneShowsTheSelectedEntry) {
    addImage();
    addText(QStringLiteral("#ff8800"));
    addText(QStringLiteral("line one\nline two"), QByteArray("<p>line <b>one</b></p>"));
    open();
    ASSERT_TRUE(selectTitle(QStringLiteral("line one")));
    EXPECT_EQ(view->detailText(), QStringLiteral("line one"));
    EXPECT_TRUE(view->detailInformation().contains(QStringLiteral("Times copied: 1")));
    ASSERT_TRUE(selectTitle(QStringLiteral("#ff8800")));
    EXPECT_TRUE(view->detailInformation().contains(QStringLiteral("#ffff8800")));
    ASSERT_TRUE(selectTitle(QStringLiteral("Image")));
    EXPECT_TRUE(view->detailInformation().contains(QStringLiteral("Dimensions: 40×30")));
}

TEST_F(ClipboardHistoryViewTest, eachKindOfEntryHasItsActionsPrimaryByThePasteMode) {
    addText(QStringLiteral("formatted"), QByteArray("<i>formatted</i>"));
    addText(QStringLiteral("https://example.org/x"));
    open();
    ASSERT_TRUE(selectTitle(QStringLiteral("formatted")));
    EXPECT_EQ(actionIds(), (QStringList{QStringLiteral("pasteClipboardHistoryItem"),
                                        QStringLiteral("copyClipboardHistoryItem"),
                                        QStringLiteral("pasteFormattedTextClipboardHistoryItem"),
                                        QStringLiteral("pinClipboardHistoryItem"),
                                        QStringLiteral("deleteClipboardHistoryItem"),
                                        QStringLiteral("deleteAllClipboardHistoryItems")}));
    registry->setPackageConfiguration(PackageIdentifier("clipboardHistory"), [](QVariantMap& payload, bool&) {
        payload.insert(QStringLiteral("clipboardHistoryPasteMode"), QStringLiteral("copy"));
    });
    EXPECT_EQ(actionIds().first(), QStringLiteral("copyClipboardHistoryItem"));
    ASSERT_TRUE(selectTitle(QStringLiteral("https://example.org/x")));
    EXPECT_TRUE(actionIds().contains(QStringLiteral("openClipboardHistoryItemInBrowser")));
    // Every action but the primary has a shortcut.
    const std::vector<MenuItem> items = view->actions();
    for (size_t i = 1; i < items.size(); ++i) EXPECT_FALSE(items[i].shortcuts.empty()) << items[i].id.toStdString();
}

TEST_F(ClipboardHistoryViewTest, quickLookShowsAnImageInAPreviewWindow) {
    addImage();
    open();
    ASSERT_TRUE(selectTitle(QStringLiteral("Image")));
    bool ran = false;
    for (const MenuItem& item : view->actions())
        if (item.id == QLatin1String("quickLookClipboardHistoryItem")) {
            item.perform();
            ran = true;
        }
    ASSERT_TRUE(ran);
    // No previewer answers on the test session's bus: our own window shows the image.
    QLabel* preview = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->objectName() == QLatin1String("clipboardQuickLook") && widget->isVisible())
                    preview = qobject_cast<QLabel*>(widget);
            return preview != nullptr;
        },
        10000));
    EXPECT_EQ(preview->pixmap().size(), QSize(40, 30));
    preview->close();
}

TEST_F(ClipboardHistoryViewTest, pinningFromTheViewMovesTheEntryToTheTop) {
    addText(QStringLiteral("older"));
    addText(QStringLiteral("newer"));
    open();
    ASSERT_TRUE(selectTitle(QStringLiteral("older")));
    for (const MenuItem& item : view->actions())
        if (item.id == QLatin1String("pinClipboardHistoryItem")) item.perform();
    ASSERT_TRUE(QTest::qWaitFor([&] { return titles().value(0) == QLatin1String("older"); }));
    EXPECT_TRUE(actionIds().contains(QStringLiteral("unpinClipboardHistoryItem")));
}

TEST_F(ClipboardHistoryViewTest, deleteAllAsksItsQuestionFirst) {
    addText(QStringLiteral("keep me"));
    open();
    ASSERT_TRUE(selectTitle(QStringLiteral("keep me")));
    const auto perform = [&](const QString& id) {
        for (const MenuItem& item : view->actions())
            if (item.id == id) return item.perform();
        return CommandOutcome::failed(QStringLiteral("no such action"), id);
    };
    presenter.answer = false;
    perform(QStringLiteral("deleteAllClipboardHistoryItems"));
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts.front().message,
              QStringLiteral("Are you sure you want to procced with removing all clipboard history records?"));
    EXPECT_EQ(history().findItems(QString(), std::nullopt).size(), 1u);
    presenter.answer = true;
    perform(QStringLiteral("deleteAllClipboardHistoryItems"));
    EXPECT_TRUE(history().findItems(QString(), std::nullopt).empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isShowingEmptyView(); }));
}

TEST_F(ClipboardHistoryViewTest, aHistoryThatCannotBeReadSaysSo) {
    addText(QStringLiteral("gone soon"));
    pool->write([](Connection& db) { db.execute(QStringLiteral("DROP TABLE clipboard")); });
    open();
    EXPECT_TRUE(view->showsReadError());
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_EQ(view->emptyText(), QStringLiteral("Could not read the Clipboard history."));
    EXPECT_TRUE(logs->contains(QStringLiteral("Find records for clipboard history")));
}

}  // namespace
}  // namespace vantrel::test
