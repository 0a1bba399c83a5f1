// The file-search view on the test session's display: made by the feature for
// "File Search" (with the fallback's text), rows from the real file index as
// they arrive, what each row shows, its empty states and its actions.
#include "features/files/FilesTestSupport.h"
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/files/FileSearchModel.h"
#include "features/files/FilesFeature.h"
#include "features/files/OpenWithApplications.h"
#include "features/files/ui/FileSearchView.h"
#include "kit/UserDefaults.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

namespace vantrel::test {
namespace {

class FileSearchViewTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        tree.file("Documents/report-2024.txt", "quarterly");
        tree.file("Documents/report-draft.txt");
        tree.folder("Documents/reports");
        QImage image(300, 200, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        ASSERT_TRUE(image.save(tree.path("Documents/report-chart.png")));
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/files.conf"));
        defaults->setValue(QString(FileIndex::scopesKey), QStringList{tree.root()});
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<FilesFeature>());
        registerFeatures(*context, std::move(features));
        context->startFeatures();
    }

    void TearDown() override {
        view.reset();
        context.reset();
        launcher.reset();
    }

    // The view "File Search" pushes, shown, with the fallback's text when given.
    void open(const QString& initialQuery = QString()) {
        QWidget* made = context->makeView(CommandOutcome::showView(QStringLiteral("fileSearch"), initialQuery));
        view.reset(qobject_cast<FileSearchView*>(made));
        ASSERT_TRUE(view) << "the feature made no file-search view";
        view->setPresenter(&presenter);
        view->resize(750, 420);
        view->show();
        view->viewDidAppear();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    bool answered() const { return view->model()->hasAnswered(); }

    QStringList titles() const {
        QStringList shown;
        for (const ListView::Item* item : view->visibleItems()) shown << item->title;
        return shown;
    }
    const ListView::Item* row(const QString& title) const {
        for (const ListView::Item* item : view->visibleItems())
            if (item->title == title) return item;
        return nullptr;
    }

    FileTree tree;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    RecordingPresenter presenter;
    std::unique_ptr<FileSearchView> view;
};

TEST_F(FileSearchViewTest, TheFallbacksTextIsTheQueryAndItsFilesAreListed) {
    open(QStringLiteral("report"));
    EXPECT_EQ(view->title(), QStringLiteral("File Search"));
    EXPECT_TRUE(view->usesSearchBar());
    // The window puts this into the search bar when the view comes on top.
    EXPECT_EQ(view->searchText(), QStringLiteral("report"));
    ASSERT_TRUE(waitUntil([&] { return answered(); }, 10000));
    QStringList shown = titles();
    shown.sort();
    EXPECT_EQ(shown, QStringList({"report-2024.txt", "report-chart.png", "report-draft.txt", "reports"}));
    // Typing searches again.
    view->searchTextChanged(QStringLiteral("report-d"));
    ASSERT_TRUE(waitUntil([&] { return answered() && titles() == QStringList{"report-draft.txt"}; }));
    ASSERT_TRUE(view->selectedItem());
    EXPECT_EQ(view->selectedItem()->id, tree.path("Documents/report-draft.txt"));
}

TEST_F(FileSearchViewTest, ARowShowsTheIconOfItsTypeItsFolderAndAnImagesSize) {
    ScopedEnv homeFolder("HOME", QFile::encodeName(tree.root()));
    open(QStringLiteral("report"));
    ASSERT_TRUE(waitUntil([&] { return answered() && titles().size() == 4; }, 10000));

    const ListView::Item* chart = row(QStringLiteral("report-chart.png"));
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->subtitle, QStringLiteral("~/Documents"));
    ASSERT_EQ(chart->accessories.size(), 1u);
    EXPECT_EQ(chart->accessories[0].text, QStringLiteral("300 × 200"));
    ASSERT_TRUE(chart->icon);
    EXPECT_TRUE(chart->icon->value.startsWith(QLatin1String("image-"))) << chart->icon->value.toStdString();

    const ListView::Item* folder = row(QStringLiteral("reports"));
    ASSERT_TRUE(folder && folder->icon);
    EXPECT_EQ(folder->icon->value, QStringLiteral("folder"));
    EXPECT_TRUE(folder->accessories.empty());
    const ListView::Item* text = row(QStringLiteral("report-2024.txt"));
    ASSERT_TRUE(text && text->icon);
    EXPECT_TRUE(text->icon->value.startsWith(QLatin1String("text-"))) << text->icon->value.toStdString();

    EXPECT_EQ(FileSearchView::folderText(QStringLiteral("/etc/hosts")), QStringLiteral("/etc"));
    EXPECT_EQ(FileSearchView::folderText(tree.path("top.txt")), QStringLiteral("~"));
}

TEST_F(FileSearchViewTest, RowsAppearAsTheSearchFindsThem) {
    for (int i = 0; i < 40; ++i) tree.file(QStringLiteral("Many/batch-%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    auto index = builtIndex(tree);
    auto fileSearch = std::make_shared<FileSearch>(index);
    auto* model = new FileSearchModel(fileSearch, std::make_shared<OpenWithApplications>());
    // The rows the view shows after each batch the model received.
    std::vector<size_t> shownAfterBatch;
    FileSearchView batched(model);
    QObject::connect(model, &FileSearchModel::filesChanged, &batched,
                     [&] { shownAfterBatch.push_back(batched.visibleItems().size()); });
    batched.searchTextChanged(QStringLiteral("batch"));
    ASSERT_TRUE(waitUntil([&] { return model->hasAnswered(); }));
    ASSERT_GE(shownAfterBatch.size(), 2u);
    EXPECT_LE(shownAfterBatch.front(), size_t(FileSearch::firstBatchSize));
    EXPECT_TRUE(std::is_sorted(shownAfterBatch.begin(), shownAfterBatch.end()));
    EXPECT_EQ(shownAfterBatch.back(), 40u);
}

TEST_F(FileSearchViewTest, EmptyStatesSayWhetherItIsStillSearchingOrFoundNothing) {
    // Until the search answers (the event loop has not run yet).
    view.reset(qobject_cast<FileSearchView*>(
        context->makeView(CommandOutcome::showView(QStringLiteral("fileSearch"), QStringLiteral("zzqxjv")))));
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_EQ(view->emptyText(), FileSearchView::searchingText);
    ASSERT_TRUE(waitUntil([&] { return answered(); }, 10000));
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_EQ(view->emptyText(), FileSearchView::noFilesText);

    // Nothing typed: the recently used files, none here yet.
    view->searchTextChanged(QString());
    ASSERT_TRUE(waitUntil([&] { return answered(); }));
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_EQ(view->emptyText(), FileSearchView::noRecentFilesText);
}

TEST_F(FileSearchViewTest, TheSelectedFilesActionsAreTheViewsAndChangeWhenItsApplicationsAreKnown) {
    view.reset(qobject_cast<FileSearchView*>(
        context->makeView(CommandOutcome::showView(QStringLiteral("fileSearch"), QStringLiteral("report-2024")))));
    ASSERT_TRUE(view);
    view->setPresenter(&presenter);
    view->viewDidAppear();
    // The "Open With" list comes from the desktop off the main thread after
    // the files; the action bar hears when it is in.
    const auto openWithChoices = [&]() -> std::vector<MenuItem> {
        const std::vector<MenuItem> actions = view->actions();
        if (actions.size() < 2 || !actions[1].submenu()) return {};
        return *actions[1].submenu();
    };
    const auto knownChoices = [&] {
        const std::vector<MenuItem> choices = openWithChoices();
        return !choices.empty() && choices.front().id != QLatin1String("fileOpenWithLooking");
    };
    bool lastChangeHadChoices = false;
    QObject::connect(view.get(), &LauncherView::actionsChanged, view.get(),
                     [&] { lastChangeHadChoices = knownChoices(); });
    ASSERT_TRUE(waitUntil([&] { return answered() && knownChoices(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(lastChangeHadChoices);

    QStringList actionTitles;
    for (const MenuItem& item : view->actions()) actionTitles << item.title;
    EXPECT_EQ(actionTitles, QStringList({"Open", "Open With", "Show in File Manager", "Copy Path", "Move to Trash"}));
    EXPECT_EQ(view->actions()[3].perform().resultText, tree.path("Documents/report-2024.txt"));
}

}  // namespace
}  // namespace vantrel::test
