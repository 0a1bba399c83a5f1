// The script directories page of the preferences and the create form of
// script commands, over a real database, registry, script service and files.
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"
#include "support/ScreenshotTestSupport.h"
#include "support/ScriptCommandTestSupport.h"

#include "features/scripts/ScriptCommand.h"
#include "features/scripts/ScriptCommandsService.h"
#include "features/scripts/ui/CreateScriptCommandView.h"
#include "features/scripts/ui/ScriptDirectoriesPage.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// MARK: - The script directories page

class ScriptDirectoriesPageTest : public RegistryFixture {
protected:
    void SetUp() override {
        Theme::setCurrent(Theme::Appearance::light);
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/directories-test.conf"));
        service = std::make_unique<ScriptCommandsService>(*registry, defaults.get(), &center);
        ASSERT_TRUE(folders.isValid());
    }

    void TearDown() override {
        page.reset();
        service.reset();
        Theme::setCurrent(Theme::Appearance::light);
    }

    void makePage() {
        page = std::make_unique<ScriptDirectoriesPage>(*service, nullptr, &center);
        page->resize(640, 420);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    }

    QString folder(const QString& name) {
        const QString path = folders.filePath(name);
        QDir().mkpath(path);
        return path;
    }

    size_t commandsIn(const QString& directory) const {
        size_t count = 0;
        for (const ScriptCommand& command : service->commands())
            if (QFileInfo(command.scriptPath).absolutePath() == directory) ++count;
        return count;
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<ScriptCommandsService> service;
    std::unique_ptr<ScriptDirectoriesPage> page;
    QTemporaryDir folders;
};

TEST_F(ScriptDirectoriesPageTest, AddingAnEmptyFolderWritesTheTemplateAndListsIt) {
    makePage();
    EXPECT_TRUE(page->listedDirectories().isEmpty());
    EXPECT_TRUE(page->findChild<QLabel*>(QStringLiteral("scriptDirectoriesEmpty"))->isVisible());
    EXPECT_EQ(
        page->findChild<QLabel*>(QStringLiteral("hint"))->text(),
        QStringLiteral("Directories added here will be watched for changes and reflected in Vantrel immediately"));
    EXPECT_FALSE(page->removeButton()->isEnabled());

    const QString empty = folder(QStringLiteral("empty"));
    ASSERT_TRUE(page->addDirectory(empty));
    const QString templatePath = empty + QStringLiteral("/script-command.template.sh");
    ASSERT_TRUE(QFileInfo::exists(templatePath));
    EXPECT_EQ(permissionBits(templatePath), 0755);
    EXPECT_EQ(QString::fromUtf8(readTestFile(templatePath)), ScriptCommandsService::templateFileText());

    EXPECT_EQ(page->listedDirectories(), QStringList{empty});
    EXPECT_EQ(service->directories(), QStringList{empty});
    // The template is no command.
    EXPECT_EQ(page->listedCommandCount(empty), 0);
    EXPECT_EQ(page->directoryList()->topLevelItem(0)->text(ScriptDirectoriesPage::commandsColumn),
              QStringLiteral("No commands"));
    EXPECT_TRUE(page->directoryList()->isVisible());
    EXPECT_TRUE(page->removeButton()->isEnabled());
    EXPECT_TRUE(page->message().isEmpty());
}

TEST_F(ScriptDirectoriesPageTest, AFolderWithScriptsIsCountedAndGetsNoTemplate) {
    makePage();
    const QString tools = folder(QStringLiteral("tools"));
    ASSERT_TRUE(writeCommand(tools + QStringLiteral("/one.sh"), QStringLiteral("One")));
    ASSERT_TRUE(writeCommand(tools + QStringLiteral("/two.sh"), QStringLiteral("Two")));
    ASSERT_TRUE(writeScript(tools + QStringLiteral("/notes.txt"), "no metadata here\n"));

    ASSERT_TRUE(page->addDirectory(tools));
    EXPECT_FALSE(QFileInfo::exists(tools + QStringLiteral("/script-command.template.sh")));
    ASSERT_TRUE(waitUntil([&] { return page->listedCommandCount(tools) == 2; }, 10000))
        << page->listedCommandCount(tools);
    EXPECT_EQ(page->directoryList()->topLevelItem(0)->text(ScriptDirectoriesPage::commandsColumn),
              QStringLiteral("2 commands"));
    EXPECT_EQ(commandsIn(tools), 2u);
}

TEST_F(ScriptDirectoriesPageTest, RemovingAFolderDropsItsCommands) {
    const QString kept = folder(QStringLiteral("kept"));
    const QString dropped = folder(QStringLiteral("dropped"));
    ASSERT_TRUE(writeCommand(kept + QStringLiteral("/keep.sh"), QStringLiteral("Keep Me")));
    ASSERT_TRUE(writeCommand(dropped + QStringLiteral("/drop.sh"), QStringLiteral("Drop Me")));
    ASSERT_TRUE(service->addDirectory(kept));
    ASSERT_TRUE(service->addDirectory(dropped));
    makePage();
    ASSERT_TRUE(waitUntil([&] { return service->commands().size() == 2; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return page->listedCommandCount(dropped) == 1; }, 10000));
    EXPECT_EQ(page->listedDirectories(), (QStringList{kept, dropped}));

    // Select the row and press Remove, as the user would.
    page->directoryList()->setCurrentItem(page->directoryList()->topLevelItem(1));
    ASSERT_TRUE(page->removeButton()->isEnabled());
    QTest::mouseClick(page->removeButton(), Qt::LeftButton);
    EXPECT_EQ(page->listedDirectories(), QStringList{kept});
    EXPECT_EQ(service->directories(), QStringList{kept});
    ASSERT_TRUE(waitUntil([&] { return service->commands().size() == 1; }, 10000));
    EXPECT_EQ(service->commands().front().displayName, QStringLiteral("Keep Me"));
    EXPECT_EQ(commandsIn(dropped), 0u);
    // The files stay where they are.
    EXPECT_TRUE(QFileInfo::exists(dropped + QStringLiteral("/drop.sh")));
}

TEST_F(ScriptDirectoriesPageTest, BadFoldersAreRefusedWithAMessageAndChangeNothing) {
    makePage();
    const QString tools = folder(QStringLiteral("tools"));
    ASSERT_TRUE(page->addDirectory(tools));

    EXPECT_FALSE(page->addDirectory(folders.filePath(QStringLiteral("missing"))));
    EXPECT_TRUE(page->message().contains(QStringLiteral("There is no folder at"))) << page->message().toStdString();

    const QString file = folders.filePath(QStringLiteral("file.sh"));
    ASSERT_TRUE(writeCommand(file, QStringLiteral("Loose")));
    EXPECT_FALSE(page->addDirectory(file));
    EXPECT_TRUE(page->message().contains(QStringLiteral("is not a folder")));

    EXPECT_FALSE(page->addDirectory(tools + QStringLiteral("/")));
    EXPECT_TRUE(page->message().contains(QStringLiteral("in the list already")));

    EXPECT_FALSE(page->addDirectory(QStringLiteral("  ")));
    EXPECT_FALSE(page->message().isEmpty());

    EXPECT_FALSE(page->removeDirectory(folders.filePath(QStringLiteral("never-added"))));
    EXPECT_TRUE(page->message().contains(QStringLiteral("not in the list")));

    EXPECT_EQ(page->listedDirectories(), QStringList{tools});
    EXPECT_EQ(service->directories(), QStringList{tools});

    // A success clears the message.
    ASSERT_TRUE(page->addDirectory(folder(QStringLiteral("more"))));
    EXPECT_TRUE(page->message().isEmpty());
}

TEST_F(ScriptDirectoriesPageTest, FollowsChangesMadeElsewhere) {
    makePage();
    const QString tools = folder(QStringLiteral("tools"));
    ASSERT_TRUE(writeCommand(tools + QStringLiteral("/one.sh"), QStringLiteral("One")));
    // Another window (or the command line) writes the configuration.
    ASSERT_TRUE(
        registry->setPackageConfiguration(PackageIdentifier("scriptCommands"), [&](QVariantMap& payload, bool&) {
            payload.insert(QString(PackageRegistry::scriptCommandsDirectoriesKey), QStringList{tools});
        }));
    EXPECT_EQ(page->listedDirectories(), QStringList{tools});
    ASSERT_TRUE(waitUntil([&] { return page->listedCommandCount(tools) == 1; }, 10000));

    // A folder that went away stays listed, marked, so that it can be removed.
    QDir(tools).removeRecursively();
    page->reload();
    EXPECT_EQ(page->directoryList()->topLevelItem(0)->text(ScriptDirectoriesPage::commandsColumn),
              QStringLiteral("Folder not found"));
}

TEST_F(ScriptDirectoriesPageTest, ScreenshotsInBothAppearances) {
    const QString tools = folder(QStringLiteral("developer-tools"));
    for (const char* name : {"open-pull-requests", "toggle-wi-fi", "clear-derived-data"})
        ASSERT_TRUE(writeCommand(tools + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".sh"),
                                 QString::fromLatin1(name).replace(QLatin1Char('-'), QLatin1Char(' '))));
    const QString empty = folder(QStringLiteral("new-scripts"));
    ASSERT_TRUE(service->addDirectory(tools));
    ASSERT_TRUE(service->addDirectory(empty));
    makePage();
    ASSERT_TRUE(waitUntil([&] { return page->listedCommandCount(tools) == 3; }, 10000));
    page->directoryList()->setCurrentItem(page->directoryList()->topLevelItem(0));

    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        page->applyTheme();
        saveScreenshot(*page, QStringLiteral("script-directories-") + suffix);
    });
}

// MARK: - The create form

class CreateScriptCommandViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Theme::setCurrent(Theme::Appearance::light);
        ASSERT_TRUE(folder.isValid());
        environment.openUrl = [this](const QUrl& url) { opened << url; };
        view = std::make_unique<CreateScriptCommandView>(folder.path());
        view->setPresenter(&presenter);
        view->setEnvironment(&environment);
        view->resize(750, 520);
    }

    void TearDown() override {
        view.reset();
        Theme::setCurrent(Theme::Appearance::light);
    }

    // Runs the file as the runner would: directly, through its first line.
    static QString run(const QString& path, const QStringList& arguments) {
        QProcess process;
        process.start(path, arguments);
        if (!process.waitForFinished(20000)) return QStringLiteral("<did not finish>");
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
    }

    QTemporaryDir folder;
    RecordingPresenter presenter;
    LauncherEnvironment environment;
    QList<QUrl> opened;
    std::unique_ptr<CreateScriptCommandView> view;
};

TEST_F(CreateScriptCommandViewTest, OffersTheFieldsWithTheirPlaceholdersAndTwoActions) {
    EXPECT_EQ(view->title(), QStringLiteral("Create Script Command"));
    const auto* templates = qobject_cast<QComboBox*>(view->control(QStringLiteral("template")));
    ASSERT_TRUE(templates);
    // The languages that run here, Bash first; never AppleScript.
    QStringList names;
    for (int i = 0; i < templates->count(); ++i) names << templates->itemText(i);
    QStringList available;
    for (const auto language : ScriptCommandTemplateBuilder::availableTemplates())
        available << ScriptCommandTemplateBuilder::displayName(language);
    EXPECT_EQ(names, available);
    EXPECT_EQ(names.value(0), QStringLiteral("Bash"));
    EXPECT_TRUE(names.contains(QStringLiteral("Python")));
    EXPECT_TRUE(names.contains(QStringLiteral("Node.js")));
    EXPECT_FALSE(names.contains(QStringLiteral("AppleScript")));
    const auto placeholder = [&](const char* id) {
        const auto* edit = qobject_cast<QLineEdit*>(view->control(QString::fromLatin1(id)));
        return edit ? edit->placeholderText() : QString();
    };
    EXPECT_EQ(placeholder("title"), QStringLiteral("My Script Command"));
    EXPECT_EQ(placeholder("packageName"), QStringLiteral("E.g., Developer Utils"));
    EXPECT_EQ(placeholder("description"), QStringLiteral("Descriptive summary"));
    EXPECT_EQ(qobject_cast<QCheckBox*>(view->control(QStringLiteral("needsConfirmation")))->text(),
              QStringLiteral("Needs Confirmation"));

    const auto actions = view->actions();
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].title, QStringLiteral("Create Script"));
    EXPECT_EQ(actions[1].title, QStringLiteral("Create and Open Script"));
}

TEST_F(CreateScriptCommandViewTest, RefreshTimeIsOnlyForInlineScripts) {
    view->show();
    EXPECT_FALSE(view->isRefreshTimeShown());
    view->setValue(QStringLiteral("mode"), QStringLiteral("inline"));
    EXPECT_TRUE(view->isRefreshTimeShown());
    EXPECT_FALSE(view->control(QStringLiteral("withArgument"))->isEnabled());
    view->setValue(QStringLiteral("refreshTime"), QStringLiteral("15m"));
    view->setValue(QStringLiteral("title"), QStringLiteral("Weather Now"));
    ASSERT_TRUE(view->createAt(folder.filePath(QStringLiteral("weather.sh"))).succeeded());
    const ScriptCommand parsed = ScriptCommand::parse(folder.filePath(QStringLiteral("weather.sh")));
    EXPECT_EQ(parsed.runMode, ScriptCommand::RunMode::inline_);
    EXPECT_EQ(parsed.refreshTime, CommandRefreshTime::minutes(15));

    // Leaving inline drops the refresh time from the file.
    view->setValue(QStringLiteral("mode"), QStringLiteral("silent"));
    EXPECT_FALSE(view->isRefreshTimeShown());
    EXPECT_TRUE(view->control(QStringLiteral("withArgument"))->isEnabled());
    EXPECT_FALSE(view->builder().refreshInterval.has_value());
    EXPECT_FALSE(view->builder().fileText().contains(QStringLiteral("refreshTime")));
}

TEST_F(CreateScriptCommandViewTest, APythonScriptWithAnArgumentParsesBackAndRuns) {
    view->setValue(QStringLiteral("template"), QStringLiteral("python"));
    view->setValue(QStringLiteral("mode"), QStringLiteral("compact"));
    view->setValue(QStringLiteral("title"), QStringLiteral("Greet Someone"));
    view->setValue(QStringLiteral("packageName"), QStringLiteral("Developer Utils"));
    view->setValue(QStringLiteral("author"), QStringLiteral("Ada Lovelace"));
    view->setValue(QStringLiteral("authorURL"), QStringLiteral("https://github.com/ada"));
    view->setValue(QStringLiteral("description"), QStringLiteral("Says hello"));
    view->setValue(QStringLiteral("withArgument"), true);
    view->setValue(QStringLiteral("needsConfirmation"), true);
    EXPECT_EQ(view->proposedFileName(), QStringLiteral("greet-someone.py"));
    EXPECT_EQ(view->proposedPath(), folder.filePath(QStringLiteral("greet-someone.py")));

    const QString path = folder.filePath(view->proposedFileName());
    const CommandOutcome outcome = view->createAt(path);
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(presenter.toastTitles(), QStringList{QStringLiteral("Successfully created script")});
    EXPECT_EQ(permissionBits(path), 0755);
    EXPECT_TRUE(opened.isEmpty());

    const ScriptCommand parsed = ScriptCommand::parse(path);
    EXPECT_EQ(parsed.displayName, QStringLiteral("Greet Someone"));
    EXPECT_EQ(parsed.packageName, QStringLiteral("Developer Utils"));
    EXPECT_EQ(parsed.runMode, ScriptCommand::RunMode::compact);
    EXPECT_TRUE(parsed.needsConfirmationAlert);
    EXPECT_EQ(parsed.description, QStringLiteral("Says hello"));
    ASSERT_EQ(parsed.arguments.size(), 1u);
    EXPECT_EQ(parsed.arguments[0].placeholder, QStringLiteral("Placeholder"));
    EXPECT_TRUE(parsed.refreshTime.isNone());
    EXPECT_TRUE(readTestFile(path).startsWith("#!/usr/bin/env python3\n"));

    EXPECT_EQ(run(path, {QStringLiteral("Grace")}), QStringLiteral("Hello World! Argument1 value: Grace"));
    // The service finds it like any other script.
    const auto found = ScriptCommandsService::parseScriptCommands(folder.path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, QStringLiteral("vantrelScript_") + path);
}

// Every language the form offers writes a script that runs here, as a child
// process started through its first line, with and without its argument.
TEST_F(CreateScriptCommandViewTest, EveryOfferedLanguageWritesAScriptThatRuns) {
    const auto* templates = qobject_cast<QComboBox*>(view->control(QStringLiteral("template")));
    ASSERT_TRUE(templates);
    ASSERT_GE(templates->count(), 3);
    for (int index = 0; index < templates->count(); ++index) {
        const QString language = templates->itemData(index).toString();
        SCOPED_TRACE(language.toStdString());
        for (const bool withArgument : {false, true}) {
            view->setValue(QStringLiteral("template"), language);
            view->setValue(QStringLiteral("title"), QStringLiteral("Hello %1 %2").arg(language).arg(withArgument));
            view->setValue(QStringLiteral("withArgument"), withArgument);
            const QString path = folder.filePath(view->proposedFileName());
            ASSERT_TRUE(view->createAt(path).succeeded()) << path.toStdString();
            EXPECT_EQ(permissionBits(path), 0755);
            EXPECT_EQ(ScriptCommand::parse(path).arguments.size(), withArgument ? 1u : 0u);
            EXPECT_EQ(
                run(path, withArgument ? QStringList{QStringLiteral("Linux")} : QStringList{}),
                withArgument ? QStringLiteral("Hello World! Argument1 value: Linux") : QStringLiteral("Hello World!"));
        }
    }
}

TEST_F(CreateScriptCommandViewTest, CreateAndOpenWritesABashScriptAndOpensIt) {
    view->setValue(QStringLiteral("title"), QStringLiteral("Say Hi"));
    const QString path = folder.filePath(QStringLiteral(".hidden-scripts/say-hi.sh"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(view->createAt(path, true).succeeded());
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(permissionBits(path), 0755);
    EXPECT_EQ(run(path, {}), QStringLiteral("Hello World!"));
    const ScriptCommand parsed = ScriptCommand::parse(path);
    EXPECT_EQ(parsed.runMode, ScriptCommand::RunMode::fullOutput);
    EXPECT_TRUE(parsed.arguments.empty());
    EXPECT_FALSE(parsed.needsConfirmationAlert);

    // Overwriting what the save panel confirmed replaces the file.
    view->setValue(QStringLiteral("title"), QStringLiteral("Say Hello"));
    ASSERT_TRUE(view->createAt(path).succeeded());
    EXPECT_EQ(ScriptCommand::parse(path).displayName, QStringLiteral("Say Hello"));

    // An editor that cannot be started is told, the file stays.
    environment.openUrl = [](const QUrl&) { throw VantrelError(QStringLiteral("No application for text files")); };
    presenter.toasts.clear();
    const CommandOutcome outcome = view->createAt(path, true);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(presenter.toastTitles(), (QStringList{"Successfully created script", "Failed to open script file"}));
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(CreateScriptCommandViewTest, AnIncompleteFormOrABadPlaceWritesNothing) {
    // No title: the action stops at the form.
    const CommandOutcome untitled = view->actions()[0].perform();
    EXPECT_FALSE(untitled.succeeded());
    EXPECT_EQ(view->validationMessage(QStringLiteral("title")), QStringLiteral("This field is required"));
    EXPECT_TRUE(QDir(folder.path()).isEmpty());

    view->setValue(QStringLiteral("title"), QStringLiteral("Fine"));
    view->setValue(QStringLiteral("authorURL"), QStringLiteral("not a link"));
    EXPECT_FALSE(view->actions()[1].perform().succeeded());
    EXPECT_FALSE(view->validationMessage(QStringLiteral("authorURL")).isEmpty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(presenter.toasts.empty());

    // Places that cannot take the file: a missing folder, a folder, a read-only folder.
    const CommandOutcome missing = view->createAt(folder.filePath(QStringLiteral("no/such/dir/fine.sh")));
    EXPECT_EQ(missing.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(missing.title, QStringLiteral("Failed to create script file"));
    EXPECT_FALSE(view->createAt(folder.path()).succeeded());
    const QString locked = folder.filePath(QStringLiteral("locked"));
    QDir().mkpath(locked);
    ::chmod(QFile::encodeName(locked).constData(), 0555);
    const bool writable = QFile(locked + QStringLiteral("/probe")).open(QIODevice::WriteOnly);  // root ignores modes
    if (!writable) {
        EXPECT_FALSE(view->createAt(locked + QStringLiteral("/fine.sh")).succeeded());
    }
    ::chmod(QFile::encodeName(locked).constData(), 0755);
    QFile::remove(locked + QStringLiteral("/probe"));

    ASSERT_FALSE(presenter.toasts.empty());
    for (const auto& [id, toast] : presenter.toasts) {
        EXPECT_EQ(toast.style, Toast::Style::failure);
        EXPECT_EQ(toast.title, QStringLiteral("Failed to create script file"));
        EXPECT_FALSE(toast.message.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("no"))));
}

TEST_F(CreateScriptCommandViewTest, ScreenshotsInBothAppearances) {
    // On the window's background, at the launcher's size.
    ThemedFrame host(QSize(750, 560));
    auto* shown = new CreateScriptCommandView(folder.path(), &host);
    host.column()->addWidget(shown);
    shown->setValue(QStringLiteral("template"), QStringLiteral("python"));
    shown->setValue(QStringLiteral("title"), QStringLiteral("Open Pull Requests"));
    shown->setValue(QStringLiteral("packageName"), QStringLiteral("Developer Utils"));
    shown->setValue(QStringLiteral("withArgument"), true);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        host.applyTheme();
        shown->viewDidAppear();
        saveScreenshot(host, QStringLiteral("create-script-command-") + suffix);
    });
}

}  // namespace
}  // namespace vantrel::test
