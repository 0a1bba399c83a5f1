// "Search Browser Bookmarks" on the test session's display, over profiles made
// by the real browsers: the stored rows show at once, the sync with the
// browsers follows, the search and the folder selector narrow the list,
// opening a bookmark ranks it first, and the preferences page switches
// browsers and chooses profiles.
#include "features/bookmarks/BookmarksTestSupport.h"
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/BrowserBookmarksRepository.h"
#include "data/SearchRepository.h"
#include "features/bookmarks/BookmarksFeature.h"
#include "features/bookmarks/ui/BookmarksPreferencesPage.h"
#include "features/bookmarks/ui/BrowserBookmarksView.h"
#include "kit/UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

namespace vantrel::test {
namespace {

class BrowserBookmarksViewTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        browsers.chromium();
        browsers.firefox();
        environment.openUrl = [this](const QUrl& url) { opened << url.toString(); };
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/bookmarks.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(
            FeatureContext::Services{*registry, *launcher, *defaults, center, nullptr, &environment});
        auto made = std::make_unique<BookmarksFeature>();
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

    void open() {
        const auto command = registry->command(CommandIdentifier("browserBookmarks_search"));
        ASSERT_TRUE(command);
        const CommandOutcome outcome = command->run({});
        ASSERT_EQ(outcome.kind, CommandOutcome::Kind::showView);
        view.reset(qobject_cast<BrowserBookmarksView*>(context->makeView(outcome)));
        ASSERT_TRUE(view);
        view->setPresenter(&presenter);
        view->resize(750, 420);
        view->show();
        view->viewDidAppear();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QStringList rows() const {
        QStringList titles;
        for (const auto* item : view->visibleItems()) titles << item->title + QStringLiteral(" · ") + item->accessories.back().text;
        return titles;
    }

    ScopedEnv homeVariable{"HOME", home.root().toUtf8()};
    BrowserHome browsers{home.root()};
    LauncherEnvironment environment;
    QStringList opened;
    RecordingPresenter presenter;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    BookmarksFeature* feature = nullptr;
    std::unique_ptr<BrowserBookmarksView> view;
};

TEST_F(BrowserBookmarksViewTest, TheViewSyncsThenSearchesByTitleDomainAndFolder) {
    open();
    EXPECT_EQ(view->searchPlaceholder(), QStringLiteral("Search by title, domain name or tag in selected folder"));
    EXPECT_TRUE(view->isSyncing());
    ASSERT_TRUE(waitUntil([&] { return !view->isSyncing() && !view->isLoading() && rows().size() == 13; }, 20000))
        << rows().join(", ").toStdString();
    EXPECT_EQ(presenter.toastTitles().value(0), QStringLiteral("Syncing bookmarks"));

    view->searchTextChanged(QStringLiteral("long"));
    EXPECT_EQ(rows(), (QStringList{"Long Read · Chromium", "Long Read · Firefox"}));
    view->searchTextChanged(QStringLiteral("archlinux"));
    EXPECT_EQ(rows(), QStringList{"Arch Wiki · Firefox"});

    view->searchTextChanged(QString());
    QComboBox* folders = view->folderSelector();
    const int work = folders->findText(QStringLiteral("Reading"));
    ASSERT_GE(work, 0);
    folders->setCurrentIndex(work);
    EXPECT_EQ(rows(), (QStringList{"Long Read · Chromium", "Long Read · Firefox"}));
    EXPECT_EQ(feature->settings().selectedFolder, QStringLiteral("Reading"));
    folders->setCurrentIndex(0);
    EXPECT_EQ(rows().size(), 13);
}

TEST_F(BrowserBookmarksViewTest, OpeningABookmarkRanksItFirstAndTheActionsAreThere) {
    open();
    ASSERT_TRUE(waitUntil([&] { return !view->isSyncing() && !view->isLoading() && rows().size() == 13; }, 20000));
    view->searchTextChanged(QStringLiteral("unsorted"));
    ASSERT_TRUE(view->selectedItem());
    const std::vector<MenuItem> actions = view->actions();
    QStringList ids;
    for (const MenuItem& action : actions) ids << action.id;
    EXPECT_EQ(ids, (QStringList{"browserBookmarksOpenInBrowser", "browserBookmarksCopyLink", "browserBookmarksRefresh"}));
    EXPECT_EQ(actions[1].perform().resultText, QStringLiteral("https://unsorted.example.org/"));
    EXPECT_EQ(actions[0].perform().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(opened, QStringList{"https://unsorted.example.org/"});

    view->loadBookmarks();
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }));
    view->searchTextChanged(QString());
    ASSERT_FALSE(rows().isEmpty());
    EXPECT_TRUE(rows().first().startsWith(QStringLiteral("Unsorted Page"))) << rows().join(", ").toStdString();
}

TEST_F(BrowserBookmarksViewTest, WithNoBrowserEnabledTheListSaysWhereToTurnThemOn) {
    feature->editSettings([](BrowserBookmarksSettings& settings) {
        for (const BrowserBookmark::Source source : allBrowserBookmarkSources()) settings.disabled.insert(source);
    });
    open();
    ASSERT_TRUE(waitUntil([&] { return !view->isSyncing() && !view->isLoading(); }, 20000));
    EXPECT_TRUE(view->visibleItems().empty());
    EXPECT_EQ(view->emptyText(), BrowserBookmarksView::noBrowsersText);
}

TEST_F(BrowserBookmarksViewTest, ThePreferencesPageSwitchesBrowsersAndChoosesProfiles) {
    BookmarksPreferencesPage page(*feature);
    ASSERT_TRUE(page.sourceSwitch("firefox"));
    EXPECT_TRUE(page.sourceSwitch("firefox")->isChecked());
    EXPECT_FALSE(page.sourceSwitch("safari")->isChecked());
    page.sourceSwitch("firefox")->setChecked(false);
    EXPECT_FALSE(feature->settings().isEnabled(BrowserBookmark::Source::firefox));
    QComboBox* chromium = page.profileChoice("chromium");
    ASSERT_TRUE(chromium);
    EXPECT_EQ(chromium->currentText(), QStringLiteral("Your Chromium"));
    EXPECT_FALSE(page.profileChoice("brave")->isEnabled());
    EXPECT_EQ(page.profileChoice("brave")->currentText(), QStringLiteral("No profile found"));
}

TEST_F(BrowserBookmarksViewTest, TheRunningLauncherSyncsWhenThePackageOrABrowserIsSwitched) {
    BrowserBookmarksRepository rows(pool);
    const auto count = [&](const char* source) { return rows.readAll(QString::fromLatin1(source)).size(); };
    // Switched off (its default): nothing is read.
    context->startFeatures();
    ASSERT_TRUE(feature->watcher());
    EXPECT_EQ(count("chromium"), 0u);
    registry->setPackageEnabled(PackageIdentifier(QStringLiteral("browserBookmarks")), true);
    ASSERT_TRUE(waitUntil([&] { return count("chromium") == 6 && count("firefox") == 7; }, 20000));
    feature->editSettings([](BrowserBookmarksSettings& settings) { settings.disabled.insert(BrowserBookmark::Source::firefox); });
    ASSERT_TRUE(waitUntil([&] { return count("firefox") == 0; }, 20000));
    EXPECT_EQ(count("chromium"), 6u);
}

}  // namespace
}  // namespace vantrel::test
