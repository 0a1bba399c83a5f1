// Finding, merging and following the script commands of the script directories.
#include "support/AppTestSupport.h"
#include "support/CapturingLogHandler.h"
#include "support/ScriptCommandTestSupport.h"

#include "core/commands/PackageRegistry.h"
#include "features/scripts/ScriptCommandsService.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/UserDefaults.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

namespace vantrel::test {
namespace {

QStringList titles(const std::vector<ScriptCommand>& commands) {
    QStringList list;
    for (const auto& command : commands) list << command.displayName;
    return list;
}

void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class ScriptCommandsServiceTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(folders.filePath(QStringLiteral("defaults.ini")));
        center.addObserver(QString(NotificationNames::scriptCommandsChanged), &observer,
                           [this](const Notification&) { ++changes; });
    }
    void TearDown() override { service.reset(); }

    QString folder(const QString& name) {
        const QString path = folders.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    ScriptCommandsService& make() {
        service = std::make_unique<ScriptCommandsService>(*registry, defaults.get(), &center);
        return *service;
    }

    QTemporaryDir folders;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<ScriptCommandsService> service;
    QObject observer;
    std::atomic<int> changes{0};
    ScopedLogCapture logs;
};

TEST_F(ScriptCommandsServiceTest, LoadsTheScriptsOfTheConfiguredDirectories) {
    const QString scripts = folder(QStringLiteral("scripts"));
    copyFixtureFolder(scriptFixtures(QStringLiteral("commands")), scripts);
    copyFixtureFolder(scriptFixtures(QStringLiteral("rejected")), scripts);
    QDir().mkpath(scripts + QStringLiteral("/sub-folder"));
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/sub-folder/nested.sh"), QStringLiteral("Nested")));
    ASSERT_TRUE(writeScript(scripts + QStringLiteral("/not-executable.sh"),
                            commandText(QStringLiteral("Not Executable")), 0644));

    ScriptCommandsService& scriptsService = make();
    EXPECT_TRUE(scriptsService.commands().empty());  // nothing before start
    ASSERT_TRUE(scriptsService.addDirectory(scripts));
    scriptsService.start();

    EXPECT_EQ(titles(scriptsService.commands()),
              (QStringList{"Coloured Output", "Compact Python", "Exit Three", "Full Output", "Inline Every Second",
                           "Inline Every Twenty Seconds", "Invalid UTF-8", "Megabytes of Output", "Never Ends",
                           "Node Arguments", "Not Executable", "Silent Bash", "Standard Error Only",
                           "Windows Line Endings"}));
    // Made executable for the user.
    EXPECT_TRUE(QFileInfo(scripts + QStringLiteral("/not-executable.sh")).isExecutable());
    // Each rejected file is logged with its path and the reason.
    for (const char* name : {"missing-title.sh", "capital-mode.sh", "schema-version-2.sh"})
        EXPECT_TRUE(logs->contains(QStringLiteral("Failed to parse script command at ") + scripts + QLatin1Char('/') +
                                   QLatin1String(name) +
                                   QStringLiteral(": Some required parameters are not specified")))
            << name;
    EXPECT_TRUE(logs->contains(QStringLiteral("Parsed script files in directories: ") + scripts));
    EXPECT_TRUE(logs->contains(QStringLiteral("Started watching script directories")));
    EXPECT_TRUE(scriptsService.isWatching());

    const QString id = QStringLiteral("vantrelScript_") + scripts + QStringLiteral("/compact.py");
    ASSERT_TRUE(scriptsService.command(id));
    EXPECT_EQ(scriptsService.command(id)->displayName, QStringLiteral("Compact Python"));
    EXPECT_FALSE(scriptsService.command(QStringLiteral("vantrelScript_/nowhere.sh")));
}

TEST_F(ScriptCommandsServiceTest, TheSameFileNameInTwoDirectoriesGivesTwoCommands) {
    const QString first = folder(QStringLiteral("one"));
    const QString second = folder(QStringLiteral("two"));
    ASSERT_TRUE(writeCommand(first + QStringLiteral("/tool.sh"), QStringLiteral("Tool")));
    ASSERT_TRUE(writeCommand(second + QStringLiteral("/tool.sh"), QStringLiteral("Tool"), QStringLiteral("compact")));
    const auto loaded = ScriptCommandsService::loadScriptCommands({first, second}, {});
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded.at(QStringLiteral("vantrelScript_") + first + QStringLiteral("/tool.sh")).packageName,
              QStringLiteral("One"));
    EXPECT_EQ(loaded.at(QStringLiteral("vantrelScript_") + second + QStringLiteral("/tool.sh")).packageName,
              QStringLiteral("Two"));
}

TEST_F(ScriptCommandsServiceTest, ReloadingADirectoryReplacesOnlyItsCommands) {
    const QString first = folder(QStringLiteral("first"));
    const QString second = folder(QStringLiteral("second"));
    ASSERT_TRUE(writeCommand(first + QStringLiteral("/a.sh"), QStringLiteral("A")));
    ASSERT_TRUE(writeCommand(first + QStringLiteral("/b.sh"), QStringLiteral("B")));
    ASSERT_TRUE(writeCommand(second + QStringLiteral("/c.sh"), QStringLiteral("C")));
    auto loaded = ScriptCommandsService::loadScriptCommands({first, second}, {});
    ASSERT_EQ(loaded.size(), 3u);

    // No directories: the map as it was.
    EXPECT_EQ(ScriptCommandsService::loadScriptCommands({}, loaded).size(), 3u);

    QFile::remove(first + QStringLiteral("/b.sh"));
    ASSERT_TRUE(writeCommand(first + QStringLiteral("/a.sh"), QStringLiteral("A2")));
    QFile::remove(second + QStringLiteral("/c.sh"));  // not reloaded: stays
    loaded = ScriptCommandsService::loadScriptCommands({first}, loaded);
    QStringList names;
    for (const auto& [id, command] : loaded) names << command.displayName;
    EXPECT_EQ(names, (QStringList{"A2", "C"}));

    // A folder that does not exist contributes nothing.
    EXPECT_TRUE(ScriptCommandsService::parseScriptCommands(folders.filePath(QStringLiteral("absent"))).empty());
}

TEST_F(ScriptCommandsServiceTest, AddingAnEmptyDirectoryWritesTheTemplate) {
    ScriptCommandsService& scriptsService = make();
    const QString empty = folder(QStringLiteral("empty"));
    ASSERT_TRUE(scriptsService.addDirectory(empty + QStringLiteral("/")));
    const QString templatePath = empty + QStringLiteral("/script-command.template.sh");
    ASSERT_TRUE(QFile::exists(templatePath));
    EXPECT_EQ(permissionBits(templatePath), 0755);
    QFile file(templatePath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.mid(0, 5),
              (QStringList{"#!/bin/bash", "", "# Vantrel Script Command Template", "#",
                           "# Duplicate this file and remove \".template.\" from the filename to get started."}));
    EXPECT_EQ(
        lines.mid(6, 11),
        (QStringList{"#", "# Required parameters:", "# @vantrel.schemaVersion 1", "# @vantrel.title My First Script",
                     "# @vantrel.mode fullOutput", "#", "# Optional parameters:", "# @vantrel.icon 🤖",
                     "# @vantrel.packageName Vantrel Scripts", "", "echo \"Hello from My First Script\""}));
    EXPECT_TRUE(logs->contains(QStringLiteral("Script command template generated")));
    // Stored once, as an absolute path without the trailing slash.
    EXPECT_EQ(scriptsService.directories(), QStringList{empty});
    EXPECT_FALSE(scriptsService.addDirectory(empty));
    EXPECT_EQ(scriptsService.directories(), QStringList{empty});
    // The template is a valid script, but never loaded.
    EXPECT_NO_THROW(ScriptCommand::parse(templatePath));
    EXPECT_TRUE(ScriptCommandsService::parseScriptCommands(empty).empty());

    // A folder with anything in it (even a hidden file) gets nothing.
    const QString used = folder(QStringLiteral("used"));
    ASSERT_TRUE(writeScript(used + QStringLiteral("/.keep"), ""));
    ASSERT_TRUE(scriptsService.addDirectory(used));
    EXPECT_FALSE(QFile::exists(used + QStringLiteral("/script-command.template.sh")));
    EXPECT_EQ(scriptsService.directories(), (QStringList{empty, used}));

    EXPECT_TRUE(scriptsService.removeDirectory(empty));
    EXPECT_FALSE(scriptsService.removeDirectory(empty));
    EXPECT_EQ(scriptsService.directories(), QStringList{used});
}

TEST_F(ScriptCommandsServiceTest, AddingSomethingThatIsNoFolderFails) {
    ScriptCommandsService& scriptsService = make();
    EXPECT_THROW(scriptsService.addDirectory(folders.filePath(QStringLiteral("absent"))), VantrelError);
    const QString file = folders.filePath(QStringLiteral("file.txt"));
    ASSERT_TRUE(writeScript(file, "text"));
    EXPECT_THROW(scriptsService.addDirectory(file), VantrelError);
    EXPECT_TRUE(scriptsService.directories().isEmpty());
}

TEST_F(ScriptCommandsServiceTest, ConfigurationChangesRestartWatchingAndReload) {
    ScriptCommandsService& scriptsService = make();
    scriptsService.start();
    EXPECT_FALSE(scriptsService.isWatching());
    const QString scripts = folder(QStringLiteral("later"));
    ASSERT_TRUE(
        writeCommand(scripts + QStringLiteral("/hello.sh"), QStringLiteral("Hello"), QStringLiteral("compact")));

    ASSERT_TRUE(scriptsService.addDirectory(scripts));
    ASSERT_TRUE(waitUntil([&] { return scriptsService.commands().size() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
    EXPECT_TRUE(scriptsService.isWatching());

    logs->clear();
    ASSERT_TRUE(scriptsService.removeDirectory(scripts));
    ASSERT_TRUE(waitUntil([&] { return scriptsService.commands().empty(); }));
    ASSERT_TRUE(waitUntil([&] { return changes == 2; }));
    EXPECT_FALSE(scriptsService.isWatching());
    EXPECT_TRUE(logs->contains(QStringLiteral("Stopped watching script directories")));
}

TEST_F(ScriptCommandsServiceTest, ANewFileAppearsAfterTheThrottledReload) {
    const QString scripts = folder(QStringLiteral("watched"));
    ASSERT_TRUE(
        writeCommand(scripts + QStringLiteral("/first.sh"), QStringLiteral("First"), QStringLiteral("compact")));
    ScriptCommandsService& scriptsService = make();
    scriptsService.addDirectory(scripts);
    scriptsService.start();
    ASSERT_EQ(titles(scriptsService.commands()), QStringList{"First"});
    ASSERT_EQ(changes, 1);

    ASSERT_TRUE(
        writeCommand(scripts + QStringLiteral("/second.sh"), QStringLiteral("Second"), QStringLiteral("compact")));
    ASSERT_TRUE(waitUntil([&] { return scriptsService.commands().size() == 2; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return changes == 2; }));
    EXPECT_EQ(titles(scriptsService.commands()), (QStringList{"First", "Second"}));

    QFile::remove(scripts + QStringLiteral("/first.sh"));
    ASSERT_TRUE(waitUntil([&] { return scriptsService.commands().size() == 1; }, 10000));
    EXPECT_EQ(titles(scriptsService.commands()), QStringList{"Second"});
}

TEST_F(ScriptCommandsServiceTest, EditingOnlyTheBodyPostsNothingEditingMetadataPostsOnce) {
    const QString scripts = folder(QStringLiteral("edits"));
    const QString path = scripts + QStringLiteral("/tool.sh");
    const QStringList metadata{"schemaVersion 1", "title Tool", "mode compact"};
    ASSERT_TRUE(writeScript(path, scriptText(metadata, QStringLiteral("echo one"))));
    ScriptCommandsService& scriptsService = make();
    scriptsService.addDirectory(scripts);
    scriptsService.start();
    ASSERT_EQ(changes, 1);

    logs->clear();
    ASSERT_TRUE(writeScript(path, scriptText(metadata, QStringLiteral("echo two"))));
    ASSERT_TRUE(waitUntil(
        [&] { return logs->contains(QStringLiteral("Scripts metadata didn't change. Skipping UI reload.")); }, 10000));
    EXPECT_EQ(changes, 1);

    ASSERT_TRUE(writeScript(path, scriptText(metadata + QStringList{"description Now with a description"})));
    ASSERT_TRUE(waitUntil([&] { return changes == 2; }, 10000));
    EXPECT_EQ(scriptsService.commands().at(0).description, QStringLiteral("Now with a description"));
    EXPECT_TRUE(logs->contains(QStringLiteral("Scripts metadata changed. Notifying about the change.")));
    spin(1500);  // a second throttled reload, if any, finds nothing new
    EXPECT_EQ(changes, 2);
}

TEST_F(ScriptCommandsServiceTest, ReloadAllPostsOnlyWhenSomethingChanged) {
    const QString scripts = folder(QStringLiteral("manual"));
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/a.sh"), QStringLiteral("A")));
    ScriptCommandsService& scriptsService = make();
    scriptsService.addDirectory(scripts);
    scriptsService.start();
    ASSERT_EQ(changes, 1);
    scriptsService.reloadAll();
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/b.sh"), QStringLiteral("B")));
    scriptsService.reloadAll();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(scriptsService.commands().size(), 2u);
}

// What `vantrel scripts add-dir` does in its own process: the same database,
// a registry and a centre of its own, so this service hears nothing of it.
TEST_F(ScriptCommandsServiceTest, ReloadingAllReadsTheDirectoriesAnotherProcessStored) {
    const QString first = folder(QStringLiteral("first"));
    const QString second = folder(QStringLiteral("second"));
    ASSERT_TRUE(writeCommand(first + QStringLiteral("/a.sh"), QStringLiteral("Alpha")));
    ASSERT_TRUE(writeCommand(second + QStringLiteral("/b.sh"), QStringLiteral("Beta")));
    ScriptCommandsService& scriptsService = make();
    scriptsService.addDirectory(first);
    scriptsService.start();
    ASSERT_EQ(titles(scriptsService.commands()), QStringList{"Alpha"});
    ASSERT_EQ(changes, 1);

    NotificationCenter otherCenter;
    PackageRegistry otherRegistry(configurations, false, &otherCenter);
    ScriptCommandsService commandLine(otherRegistry, defaults.get(), &otherCenter);
    ASSERT_TRUE(commandLine.addDirectory(second));
    EXPECT_EQ(titles(scriptsService.commands()), QStringList{"Alpha"});

    logs->clear();
    scriptsService.reloadAll();
    EXPECT_EQ(titles(scriptsService.commands()), (QStringList{"Alpha", "Beta"}));
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(logs->contains(QStringLiteral("Scripts metadata didn't change. Skipping UI reload.")));
    // The new folder is watched from now on.
    ASSERT_TRUE(writeCommand(second + QStringLiteral("/c.sh"), QStringLiteral("Gamma")));
    EXPECT_TRUE(waitUntil([&] { return scriptsService.commands().size() == 3; }, 10000));

    // A folder without scripts changes no metadata, but the list of folders
    // changed: that is announced too, and the folder is watched.
    const QString empty = folder(QStringLiteral("empty"));
    ASSERT_TRUE(writeScript(empty + QStringLiteral("/notes.txt"), "not a script\n"));
    ASSERT_TRUE(commandLine.addDirectory(empty));
    const int before = changes;
    scriptsService.reloadAll();
    EXPECT_EQ(changes, before + 1);
    ASSERT_TRUE(writeCommand(empty + QStringLiteral("/d.sh"), QStringLiteral("Delta")));
    EXPECT_TRUE(waitUntil([&] { return scriptsService.commands().size() == 4; }, 10000));

    // Removed there, gone here after the next reload.
    ASSERT_TRUE(commandLine.removeDirectory(second));
    scriptsService.reloadAll();
    EXPECT_EQ(titles(scriptsService.commands()), (QStringList{"Alpha", "Delta"}));
}

TEST_F(ScriptCommandsServiceTest, ReloadingInTheBackgroundAnnouncesOnTheCreatingThread) {
    const QString scripts = folder(QStringLiteral("background"));
    ASSERT_TRUE(writeCommand(scripts + QStringLiteral("/late.sh"), QStringLiteral("Late")));
    ScriptCommandsService& scriptsService = make();
    scriptsService.start();
    // Stored where this service does not hear it, so only the reload finds it.
    NotificationCenter otherCenter;
    PackageRegistry otherRegistry(configurations, false, &otherCenter);
    ASSERT_TRUE(ScriptCommandsService(otherRegistry, defaults.get(), &otherCenter).addDirectory(scripts));

    QThread* announcedOn = nullptr;
    QObject listener;
    center.addObserver(QString(NotificationNames::scriptCommandsChanged), &listener,
                       [&](const Notification&) { announcedOn = QThread::currentThread(); });
    QThread* doneOn = nullptr;
    scriptsService.reloadAllInBackground([&] { doneOn = QThread::currentThread(); });
    // The call returned before the folder was parsed.
    EXPECT_TRUE(scriptsService.commands().empty());
    ASSERT_TRUE(waitUntil([&] { return doneOn != nullptr; }, 10000));
    EXPECT_EQ(titles(scriptsService.commands()), QStringList{"Late"});
    EXPECT_EQ(doneOn, QThread::currentThread());
    EXPECT_EQ(announcedOn, QThread::currentThread());
}

class ScriptDirectoryEventsTest : public ::testing::Test {
protected:
    using Event = ScriptDirectoryEvent;
    const QStringList watched{"/s/one", "/s/two"};
    ScopedLogCapture logs;

    static Event file(const char* path, quint32 change = Event::itemCreated) {
        return {QString::fromUtf8(path), change | Event::itemIsFile};
    }
    static Event directory(const char* path, quint32 change = Event::itemCreated) {
        return {QString::fromUtf8(path), change | Event::itemIsDir};
    }
};

TEST_F(ScriptDirectoryEventsTest, FileEventsReloadTheirOwnDirectories) {
    EXPECT_EQ(ScriptCommandsService::directoriesToReload({file("/s/two/a.sh"), file("/s/two/b.sh", Event::itemModified),
                                                          file("/s/one/c.sh", Event::itemRemoved)},
                                                         watched, true),
              (QStringList{"/s/two", "/s/one"}));
    EXPECT_TRUE(logs->messages().last().startsWith(QStringLiteral("FileWatcher changed: ")));
    EXPECT_TRUE(logs->messages().last().endsWith(QStringLiteral(", uniqueDirectories: /s/two, /s/one")));
}

TEST_F(ScriptDirectoryEventsTest, AnEventOfAWatchedDirectoryReloadsThemAll) {
    EXPECT_EQ(ScriptCommandsService::directoriesToReload({file("/s/two/a.sh"), directory("/s/one", Event::itemRemoved)},
                                                         watched, true),
              watched);
}

TEST_F(ScriptDirectoryEventsTest, FilteringDropsWhatDoesNotConcernTheScripts) {
    EXPECT_TRUE(ScriptCommandsService::directoriesToReload({file("/s/one/.hidden.sh"), file("/s/one/sub/deep.sh"),
                                                            directory("/s/one/sub"), file("/s/one/flagless.sh", 0)},
                                                           watched, true)
                    .isEmpty());
    EXPECT_TRUE(logs->contains(QStringLiteral("Filtering out file event: /s/one/sub/deep.sh [created, file]")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Filtering out directory event: /s/one/sub [created, directory]")));
    EXPECT_TRUE(logs->contains(QStringLiteral("No events after filtering out. Skipping reload.")));
}

TEST_F(ScriptDirectoryEventsTest, WithoutTheFlagNothingIsFiltered) {
    EXPECT_EQ(ScriptCommandsService::directoriesToReload({file("/s/one/.hidden.sh"), directory("/s/one/sub")}, watched,
                                                         false),
              watched);
}

TEST_F(ScriptCommandsServiceTest, EventsAreFilteredOnlyWhenTheTrackingFlagIsOn) {
    const QString scripts = folder(QStringLiteral("flag"));
    ScriptCommandsService& scriptsService = make();
    scriptsService.addDirectory(scripts);
    scriptsService.start();
    const std::vector<ScriptDirectoryEvent> hiddenFileCreated{
        {scripts + QStringLiteral("/.hidden"), ScriptDirectoryEvent::itemCreated | ScriptDirectoryEvent::itemIsFile}};

    // Never set: off, so every event reloads.
    logs->clear();
    scriptsService.directoryEventsReceived(hiddenFileCreated);
    EXPECT_TRUE(logs->messages().first().startsWith(QStringLiteral("FileWatcher directory changed. Events: ")));
    EXPECT_FALSE(logs->contains(QStringLiteral("No events after filtering out. Skipping reload.")));

    defaults->setValue(QString(ScriptCommandsService::improvedTrackingFlagKey), true);
    logs->clear();
    scriptsService.directoryEventsReceived(hiddenFileCreated);
    EXPECT_TRUE(logs->contains(QStringLiteral("No events after filtering out. Skipping reload.")));
}

}  // namespace
}  // namespace vantrel::test
