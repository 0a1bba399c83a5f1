// The file-search view's model on real files: queries answered by the real
// file index over a folder of the test's own, recently used files, and the
// actions done to real files through the desktop (GIO with fixture
// applications, the session bus, the freedesktop trash).
#include "features/files/FilesTestSupport.h"
#include "support/RecordingPresenter.h"

#include "features/files/FileActions.h"
#include "features/files/FileSearchModel.h"
#include "features/files/OpenWithApplications.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QUrl>

namespace vantrel::test {
namespace {

class FileSearchModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.file("Documents/report-2024.txt", "quarterly");
        tree.file("Documents/Report final.txt");
        tree.file("Documents/data sheet.csv", "a,b\n1,2\n");
        tree.file("Music/report-song.ogg");
        tree.file("Other/notes.txt", "plain text\n");
        index = builtIndex(tree);
        applications = std::make_shared<OpenWithApplications>();
        fileSearch = std::make_shared<FileSearch>(index, tree.path("recently-used.xbel"));
        model = std::make_unique<FileSearchModel>(fileSearch, applications);
        model->setPresenter(&presenter);
    }

    // Types a query and waits for its last batch.
    QStringList search(const QString& query) {
        model->setQuery(query);
        EXPECT_TRUE(waitUntil([&] { return model->hasAnswered(); })) << query.toStdString();
        return shownPaths();
    }

    QStringList shownPaths() const {
        QStringList paths;
        for (const FileModel& file : model->files()) paths << file.path;
        return paths;
    }

    // The action of a shown file, by id (also inside "Open With").
    std::optional<MenuItem> action(const QString& path, const QString& id) const {
        for (const MenuItem& item : model->actions(path)) {
            if (item.id == id) return item;
            if (const auto* submenu = item.submenu())
                for (const MenuItem& inner : *submenu)
                    if (inner.id == id) return inner;
        }
        return std::nullopt;
    }

    // Waits for the toast that ends the animated one (a failure), or for the window to hide.
    bool waitForAnswer() {
        return waitUntil([&] {
            const Toast* last = presenter.lastToast();
            return presenter.hides > 0 || (last && last->style != Toast::Style::animated);
        });
    }

    FileTree tree;
    std::shared_ptr<FileIndex> index;
    std::shared_ptr<OpenWithApplications> applications;
    std::shared_ptr<FileSearch> fileSearch;
    RecordingPresenter presenter;
    std::unique_ptr<FileSearchModel> model;
};

TEST_F(FileSearchModelTest, AQueryAnswersFromTheIndexWithoutWaitingOnTheCaller) {
    QSignalSpy changes(model.get(), &FileSearchModel::filesChanged);
    model->setQuery(QStringLiteral("report"));
    // Nothing is read on the caller's thread: the answer comes later.
    EXPECT_FALSE(model->hasAnswered());
    EXPECT_TRUE(model->files().empty());
    ASSERT_TRUE(waitUntil([&] { return model->hasAnswered(); }));
    EXPECT_GE(changes.count(), 1);
    QStringList found = shownPaths();
    found.sort();
    EXPECT_EQ(found, QStringList({tree.path("Documents/Report final.txt"), tree.path("Documents/report-2024.txt"),
                                  tree.path("Music/report-song.ogg")}));
    EXPECT_FALSE(model->listsRecentFiles());

    // A folder restriction, and a name nothing has.
    EXPECT_EQ(search(QStringLiteral("report in ") + tree.path("Music")),
              QStringList{tree.path("Music/report-song.ogg")});
    EXPECT_TRUE(search(QStringLiteral("zzqxjv")).empty());
}

TEST_F(FileSearchModelTest, WhileTypingOnlyTheLastQueryIsShownAndTheOldFilesStayUntilItAnswers) {
    EXPECT_EQ(search(QStringLiteral("notes")), QStringList{tree.path("Other/notes.txt")});
    for (const char* typed : {"r", "re", "rep", "repo"}) model->setQuery(QString::fromLatin1(typed));
    // Until the new answer comes, the list does not empty itself.
    EXPECT_EQ(shownPaths(), QStringList{tree.path("Other/notes.txt")});
    ASSERT_TRUE(waitUntil([&] { return model->hasAnswered(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(model->query(), QStringLiteral("repo"));
    EXPECT_EQ(shownPaths().size(), 3);
    for (const QString& path : shownPaths())
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith("re", Qt::CaseInsensitive));
}

TEST_F(FileSearchModelTest, AViewClosedWhileItsQueryWaitsForTheIndexNeverWaitsForIt) {
    // An index that is still being built: the query waits for it on the file search's thread.
    FileIndex::Options options;
    options.scopes = {tree.root()};
    options.watchChanges = false;
    auto unbuilt = std::make_shared<FileIndex>(options);
    auto waiting = std::make_shared<FileSearch>(unbuilt);
    auto closing = std::make_unique<FileSearchModel>(waiting, applications);
    closing->setQuery(QStringLiteral("report"));
    QElapsedTimer timer;
    timer.start();
    closing.reset();
    EXPECT_LT(timer.elapsed(), 1000) << "closing waited for the query";
    // The next view's query is not held up behind it either, once the index is there.
    FileSearchModel next(waiting, applications);
    next.setQuery(QStringLiteral("notes"));
    unbuilt->build();
    ASSERT_TRUE(waitUntil([&] { return next.hasAnswered(); }));
    ASSERT_EQ(next.files().size(), 1u);
    EXPECT_EQ(next.files()[0].path, tree.path("Other/notes.txt"));
}

TEST_F(FileSearchModelTest, NothingTypedListsTheRecentlyUsedFilesMostRecentFirst) {
    const auto bookmark = [&](const char* relative, const char* visited) {
        return "<bookmark href=\"" + QUrl::fromLocalFile(tree.path(QString::fromLatin1(relative))).toEncoded() +
               "\" added=\"" + visited + "\" modified=\"" + visited + "\" visited=\"" + visited + "\"/>\n";
    };
    tree.file("recently-used.xbel", "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n" +
                                        bookmark("Other/notes.txt", "2025-03-01T10:00:00Z") +
                                        bookmark("Documents/report-2024.txt", "2025-04-01T10:00:00Z") +
                                        bookmark("Documents/gone.txt", "2025-05-01T10:00:00Z") + "</xbel>\n");
    EXPECT_EQ(search(QString()), QStringList({tree.path("Documents/report-2024.txt"), tree.path("Other/notes.txt")}));
    EXPECT_TRUE(model->listsRecentFiles());
    ASSERT_TRUE(model->file(tree.path("Other/notes.txt")));
    EXPECT_TRUE(model->file(tree.path("Other/notes.txt"))->lastUsedAt.has_value());
    // A folder alone: the recent files in it.
    EXPECT_EQ(search(QStringLiteral("in ") + tree.path("Other")), QStringList{tree.path("Other/notes.txt")});
    EXPECT_TRUE(model->listsRecentFiles());
}

TEST_F(FileSearchModelTest, EveryFileOffersItsActionsWithOpenFirst) {
    search(QStringLiteral("notes"));
    const QString path = tree.path("Other/notes.txt");
    QStringList titles;
    for (const MenuItem& item : model->actions(path)) titles << item.title;
    EXPECT_EQ(titles, QStringList({"Open", "Open With", "Show in File Manager", "Copy Path", "Move to Trash"}));
    EXPECT_EQ(model->actions(path).back().actionType, MenuItem::ActionType::destructive);
    EXPECT_TRUE(model->actions(tree.path("Music/report-song.ogg")).empty()) << "not shown, no actions";

    const CommandOutcome copied = action(path, QString(FileActions::copyPathId))->perform();
    EXPECT_EQ(copied.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(copied.resultText, path);
    EXPECT_EQ(copied.toastTitle, QString(FileActions::copiedPathTitle));
}

TEST_F(FileSearchModelTest, MoveToTrashAsksThenMovesTheFileIntoTheDesktopsTrash) {
    search(QStringLiteral("notes"));
    const QString path = tree.path("Other/notes.txt");
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";

    // Refused: nothing moves.
    presenter.answer = false;
    EXPECT_EQ(action(path, QString(FileActions::moveToTrashId))->perform().kind, CommandOutcome::Kind::done);
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_EQ(presenter.alerts[0].title, QStringLiteral("Are you sure you want to move notes.txt to the trash?"));
    EXPECT_TRUE(presenter.alerts[0].destructive);
    QCoreApplication::processEvents();
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_TRUE(presenter.toasts.empty());

    presenter.answer = true;
    action(path, QString(FileActions::moveToTrashId))->perform();
    ASSERT_TRUE(waitUntil([&] { return presenter.lastToast() && presenter.lastToast()->title == "Moved to Trash"; }));
    EXPECT_FALSE(QFileInfo::exists(path));
    // Where the freedesktop trash keeps it, with where it came from.
    QStringList trashed = QDir(trash + "/files").entryList(QDir::Files);
    ASSERT_EQ(trashed.size(), 1) << trashed.join(", ").toStdString();
    EXPECT_EQ(readTestFile(trash + "/files/" + trashed[0]), "plain text\n");
    const QString info = QString::fromUtf8(readTestFile(trash + "/info/" + trashed[0] + ".trashinfo"));
    EXPECT_TRUE(info.startsWith(QStringLiteral("[Trash Info]\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("/Other/notes.txt\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("DeletionDate="))) << info.toStdString();
    // And its row is gone.
    EXPECT_TRUE(model->files().empty());
    QDir(trash).removeRecursively();
}

TEST_F(FileSearchModelTest, AFileThatCannotBeTrashedSaysWhyAndStaysListed) {
    search(QStringLiteral("report-2024"));
    const QString path = tree.path("Documents/report-2024.txt");
    ASSERT_TRUE(QFile::remove(path));
    action(path, QString(FileActions::moveToTrashId))->perform();
    ASSERT_TRUE(
        waitUntil([&] { return presenter.lastToast() && presenter.lastToast()->style == Toast::Style::failure; }));
    EXPECT_EQ(presenter.lastToast()->title, QString(FileActions::trashFailedTitle));
    EXPECT_FALSE(presenter.lastToast()->message.isEmpty());
    EXPECT_EQ(shownPaths(), QStringList{path});
}

// MARK: The desktop's applications

class FileSearchOpeningTest : public FileSearchModelTest {
protected:
    void SetUp() override {
        FileSearchModelTest::SetUp();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(platform().desktop, "no desktop services are installed");
        ASSERT_TRUE(waitUntil([&] { return fixtures.areOffered(); }, 10000))
            << "the desktop did not pick up the fixture applications";
    }

    FixtureApplications fixtures;
};

TEST_F(FileSearchOpeningTest, OpenHandsTheFileToTheDefaultApplicationAndHidesTheWindow) {
    search(QStringLiteral("notes"));
    const QString path = tree.path("Other/notes.txt");
    QElapsedTimer timer;
    timer.start();
    const CommandOutcome outcome = action(path, QString(FileActions::openId))->perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    // The toast says it is on its way; the window stays until it worked.
    ASSERT_FALSE(presenter.toasts.empty());
    EXPECT_EQ(presenter.toasts.front().toast.style, Toast::Style::animated);
    EXPECT_EQ(FixtureApplications::recorded(fixtures.recorderMarker()), QStringList{path});
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(presenter.hides, 1);
}

TEST_F(FileSearchOpeningTest, OpeningAFileThatIsGoneSaysWhyInTheWindow) {
    search(QStringLiteral("notes"));
    const QString path = tree.path("Other/notes.txt");
    ASSERT_TRUE(QFile::remove(path));
    action(path, QString(FileActions::openId))->perform();
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(presenter.hides, 0);
    EXPECT_EQ(presenter.lastToast()->style, Toast::Style::failure);
    EXPECT_EQ(presenter.lastToast()->title, QString(FileActions::openFailedTitle));
    EXPECT_EQ(presenter.lastToast()->message, QStringLiteral("Cannot open %1: the file does not exist.").arg(path));
}

TEST_F(FileSearchOpeningTest, OpenWithListsTheApplicationsOfTheTypeDefaultFirstAndOpensWithTheChosenOne) {
    search(QStringLiteral("notes"));
    const QString path = tree.path("Other/notes.txt");
    // Looked up off the main thread, then the actions change.
    QSignalSpy actionsChanged(model.get(), &FileSearchModel::actionsChanged);
    ASSERT_TRUE(waitUntil([&] {
        const auto choice = action(path, QStringLiteral("fileOpenWith.vantrel-fixture-editor.desktop"));
        return choice.has_value();
    }));
    const auto openWith = action(path, QString(FileActions::openWithId));
    ASSERT_TRUE(openWith && openWith->submenu());
    EXPECT_GE(actionsChanged.count(), 1);
    const std::vector<MenuItem>& choices = *openWith->submenu();
    EXPECT_EQ(choices.front().title, QStringLiteral("Fixture Recorder"));
    EXPECT_EQ(choices.front().accessoryLabel, QStringLiteral("Default"));
    EXPECT_TRUE(std::any_of(choices.begin(), choices.end(),
                            [](const MenuItem& item) { return item.title == QLatin1String("Fixture Editor"); }));

    action(path, QStringLiteral("fileOpenWith.vantrel-fixture-editor.desktop"))->perform();
    EXPECT_EQ(FixtureApplications::recorded(fixtures.editorMarker()), QStringList{path});
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(presenter.hides, 1);
    EXPECT_FALSE(QFileInfo::exists(fixtures.recorderMarker()));
}

TEST_F(FileSearchOpeningTest, OpenWithFollowsTheMimeDatabasesKindsOfTypes) {
    // A CSV file is a kind of plain text: the plain-text applications open it.
    search(QStringLiteral("data sheet"));
    const QString path = tree.path("Documents/data sheet.csv");
    ASSERT_TRUE(model->file(path));
    EXPECT_EQ(model->file(path)->contentType, QStringLiteral("text/csv"));
    ASSERT_TRUE(waitUntil(
        [&] { return action(path, QStringLiteral("fileOpenWith.vantrel-fixture-editor.desktop")).has_value(); }));
    // A folder: only what opens folders.
    const QString folder = tree.path("Documents");
    ASSERT_EQ(search(QStringLiteral("documents in ") + tree.root()), QStringList{folder});
    ASSERT_TRUE(waitUntil(
        [&] { return action(folder, QStringLiteral("fileOpenWith.vantrel-fixture-recorder.desktop")).has_value(); }));
    EXPECT_FALSE(action(folder, QStringLiteral("fileOpenWith.vantrel-fixture-editor.desktop")).has_value());
}

TEST_F(FileSearchOpeningTest, WithoutAFileManagerShowInFileManagerOpensTheFolderWithoutWaiting) {
    // The test session's bus has no org.freedesktop.FileManager1: the folder
    // opens in its default application instead.
    search(QStringLiteral("notes"));
    const QString path = tree.path("Other/notes.txt");
    const CommandOutcome outcome = action(path, QString(FileActions::showInFileManagerId))->perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    // The bus had no time to answer yet.
    EXPECT_EQ(presenter.hides, 0);
    EXPECT_FALSE(QFileInfo::exists(fixtures.recorderMarker()));
    EXPECT_EQ(FixtureApplications::recorded(fixtures.recorderMarker()), QStringList{tree.path("Other")});
    ASSERT_TRUE(waitForAnswer());
    EXPECT_EQ(presenter.hides, 1);
}

}  // namespace
}  // namespace vantrel::test
