// The launcher's hotkeys end to end: the main hotkey from its setting and
// per-item hotkeys from search records in a real database, grabbed on the X
// server of the test session and pressed with xdotool.
#include "support/AppTestSupport.h"

#include "core/shell/GlobalHotkeys.h"
#include "data/SearchRepository.h"
#include "kit/NotificationNames.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/x11/X11HotkeyManager.h"
#include "support/X11TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <vector>

namespace vantrel::test {
namespace {

class GlobalHotkeysTest : public RegistryFixture {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_X_DISPLAY();
        ASSERT_TRUE(displayLock.locked()) << "another test kept the display";
        RegistryFixture::SetUp();
        manager = std::make_unique<X11HotkeyManager>();
        repository = std::make_shared<SearchRepository>(pool);
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/vantrel.conf"));
        appearance = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/appearance.conf"));
        environment.userDefaults = appearance.get();
        QDir().mkpath(home.root() + QStringLiteral("/apps"));
    }

    void TearDown() override { hotkeys.reset(); }

    GlobalHotkeys& start() {
        GlobalHotkeys::Callbacks callbacks;
        callbacks.toggleWindow = [this] { ++toggles; };
        callbacks.showCommandOutcome = [this](const SearchRecord& record, const CommandOutcome& outcome) {
            outcomes.emplace_back(record.key, outcome);
        };
        callbacks.runRecord = [this](const SearchRecord& record) {
            if (record.type != SearchRecord::ContentType::scriptCommand) return false;
            scripts << record.key;
            return true;
        };
        callbacks.environment = &environment;
        hotkeys = std::make_unique<GlobalHotkeys>(*manager, *registry, repository, callbacks, defaults.get(), &center);
        hotkeys->start();
        return *hotkeys;
    }

    // An application whose program leaves a marker file when it runs.
    SearchRecord application(const QString& name) {
        const QString marker = markerOf(name);
        const QString entry = home.root() + QStringLiteral("/apps/") + name + QStringLiteral(".desktop");
        QFile file(entry);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=sh -c \"echo ran > " +
                   marker.toUtf8() + "\"\n");
        file.close();
        SearchRecord record;
        record.key = name + QStringLiteral(".desktop");
        record.type = SearchRecord::ContentType::systemApp;
        record.source = SearchRecord::Source::system;
        record.name = name;
        record.path = entry;
        return record;
    }
    QString markerOf(const QString& name) const { return home.root() + QStringLiteral("/") + name + ".ran"; }

    static SearchRecord command(const QString& id,
                                SearchRecord::ContentType type = SearchRecord::ContentType::command) {
        SearchRecord record;
        record.key = id;
        record.type = type;
        record.source = type == SearchRecord::ContentType::scriptCommand ? SearchRecord::Source::scripts
                                                                         : SearchRecord::Source::package;
        record.name = id;
        if (type == SearchRecord::ContentType::scriptCommand) record.path = QStringLiteral("/scripts/") + id + ".sh";
        return record;
    }

    // Stores the records of their sources, then gives each its hotkey.
    void store(const std::vector<std::pair<SearchRecord, QString>>& withHotkeys) {
        SearchRepository::RecordsBySource bySource;
        for (const auto& [record, hotkey] : withHotkeys) bySource[record.source].push_back(record);
        repository->update(bySource, SearchUpdateStrategy::source());
        pool->write([&](Connection& db) {
            for (const auto& [record, hotkey] : withHotkeys)
                db.execute(QStringLiteral("UPDATE search SET hotkey = ? WHERE key = ?"), {hotkey, record.key});
        });
    }

    // What another program trying the keys would get.
    static QString failureOfRegistering(const char* stored) {
        X11HotkeyManager other;
        return registrationFailure(other, storedCombination(stored));
    }

    QStringList hotkeyLog() const {
        QStringList lines;
        for (const QString& message : logs->messages())
            if (message.contains(QStringLiteral("hotkey"), Qt::CaseInsensitive)) lines << message;
        return lines;
    }

    ScopedDisplayLock displayLock;
    std::unique_ptr<X11HotkeyManager> manager;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<UserDefaults> appearance;
    LauncherEnvironment environment;
    std::unique_ptr<GlobalHotkeys> hotkeys;
    int toggles = 0;
    std::vector<std::pair<QString, CommandOutcome>> outcomes;
    QStringList scripts;
};

// MARK: The main hotkey

TEST_F(GlobalHotkeysTest, AFreshInstallationUsesAltSpaceStoredAsOption49) {
    EXPECT_EQ(GlobalHotkeys::defaultGlobalHotkey(), QStringLiteral("Option-49"));
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning() && releaseAltSpaceFromOpenbox(),
                                    "needs the openbox of scripts/test-session");
    // The launcher of an end-to-end test may still be letting go of it.
    ASSERT_TRUE(waitUntil([&] { return failureOfRegistering("Option-49") == QStringLiteral("(free)"); }, 60000));

    start();
    EXPECT_FALSE(defaults->contains(QString(GlobalHotkeys::globalHotkeyKey)));
    ASSERT_EQ(hotkeys->mainHotkey(), (KeyCombination{ModifierKeys::option, KeyEquivalent(U' ')}));
    pressKeys(QStringLiteral("alt+space"));
    ASSERT_TRUE(waitUntil([&] { return toggles == 1; }));
    pressKeys(QStringLiteral("alt+space"));
    ASSERT_TRUE(waitUntil([&] { return toggles == 2; }));
}

TEST_F(GlobalHotkeysTest, ChangingTheSettingFreesTheOldCombinationAtOnce) {
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Shift-Command-40"));
    start();
    ASSERT_EQ(hotkeys->mainHotkey()->persistentString(), QStringLiteral("Shift-Command-40"));
    EXPECT_EQ(failureOfRegistering("Shift-Command-40"), QStringLiteral("Cannot register Carbon hotkey."));

    // What the preferences window does; no turn of the event loop in between.
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Control-Option-38"));
    EXPECT_EQ(failureOfRegistering("Shift-Command-40"), QStringLiteral("(free)"));
    EXPECT_EQ(hotkeys->mainHotkey()->persistentString(), QStringLiteral("Control-Option-38"));

    pressKeys(QStringLiteral("ctrl+alt+j"));
    ASSERT_TRUE(waitUntil([&] { return toggles == 1; }));
}

TEST_F(GlobalHotkeysTest, ASettingThatNamesNoCombinationLeavesNoMainHotkey) {
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Shift-Command-40"));
    start();
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Hyper-49"));
    EXPECT_EQ(hotkeys->mainHotkey(), std::nullopt);
    EXPECT_TRUE(logs->contains(QStringLiteral("Cannot parse the global hotkey")));
    EXPECT_EQ(failureOfRegistering("Shift-Command-40"), QStringLiteral("(free)"));

    // Cleared by the user: no hotkey, and no complaint.
    logs->clear();
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QString());
    EXPECT_EQ(hotkeys->mainHotkey(), std::nullopt);
    EXPECT_FALSE(logs->contains(QStringLiteral("Cannot parse the global hotkey")));

    // Back to a good value.
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Control-Option-38"));
    EXPECT_EQ(hotkeys->mainHotkey()->persistentString(), QStringLiteral("Control-Option-38"));
}

TEST_F(GlobalHotkeysTest, AMainHotkeyAnotherProgramHoldsIsReportedAndLeavesNone) {
    X11HotkeyManager other;
    other.observeKeyCombination(*KeyCombination::fromPersistentString(QStringLiteral("Shift-Command-40")),
                                [] { return true; });
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Shift-Command-40"));
    start();
    EXPECT_EQ(hotkeys->mainHotkey(), std::nullopt);
    EXPECT_TRUE(logs->contains(QStringLiteral("Cannot register Carbon hotkey.")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Failed to register the global hotkey")));
}

TEST_F(GlobalHotkeysTest, ACombinationAnotherProgramHoldsNeverReplacesTheWorkingHotkey) {
    X11HotkeyManager other;
    other.observeKeyCombination(storedCombination("Control-Option-17"), [] { return true; });
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Shift-Command-40"));
    start();
    ASSERT_EQ(hotkeys->mainHotkey(), storedCombination("Shift-Command-40"));

    // Changed by the application (preferences, `vantrel set-hotkey`): refused, and why.
    const auto refusal = hotkeys->changeMainHotkey(storedCombination("Control-Option-17"));
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->heldByAnotherProgram);
    EXPECT_EQ(refusal->message(), QStringLiteral("Ctrl+Alt+T is used by another application"));
    EXPECT_EQ(hotkeys->mainHotkey(), storedCombination("Shift-Command-40"));
    EXPECT_EQ(hotkeys->mainHotkeyProblem(), std::nullopt);
    EXPECT_EQ(defaults->value(QString(GlobalHotkeys::globalHotkeyKey)).toString(), QStringLiteral("Shift-Command-40"));
    pressKeys(QStringLiteral("super+shift+k"));
    ASSERT_TRUE(waitUntil([&] { return toggles == 1; }));

    // Written to the setting by someone else: the working one is taken again and stored back.
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Control-Option-17"));
    EXPECT_EQ(hotkeys->mainHotkey(), storedCombination("Shift-Command-40"));
    EXPECT_EQ(defaults->value(QString(GlobalHotkeys::globalHotkeyKey)).toString(), QStringLiteral("Shift-Command-40"));
    EXPECT_TRUE(logs->contains(QStringLiteral("Kept the previous global hotkey")));
    pressKeys(QStringLiteral("super+shift+k"));
    ASSERT_TRUE(waitUntil([&] { return toggles == 2; }));

    // A free one is taken, the old one freed.
    EXPECT_EQ(hotkeys->changeMainHotkey(storedCombination("Control-Option-38")), std::nullopt);
    EXPECT_EQ(defaults->value(QString(GlobalHotkeys::globalHotkeyKey)).toString(), QStringLiteral("Control-Option-38"));
    EXPECT_EQ(failureOfRegistering("Shift-Command-40"), QStringLiteral("(free)"));
}

TEST_F(GlobalHotkeysTest, WithoutAWorkingHotkeyTheProblemIsToldAndAFreeCombinationEndsIt) {
    X11HotkeyManager other;
    other.observeKeyCombination(storedCombination("Shift-Command-40"), [] { return true; });
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Shift-Command-40"));
    int changes = 0;
    GlobalHotkeys::Callbacks callbacks;
    callbacks.mainHotkeyChanged = [&] { ++changes; };
    hotkeys = std::make_unique<GlobalHotkeys>(*manager, *registry, repository, callbacks, defaults.get(), &center);
    hotkeys->start();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(hotkeys->mainHotkey(), std::nullopt);
    ASSERT_TRUE(hotkeys->mainHotkeyProblem());
    EXPECT_EQ(hotkeys->mainHotkeyProblem()->message(), QStringLiteral("Shift+Super+K is used by another application"));
    // The stored choice stays: it works again once the other program lets go.
    EXPECT_EQ(defaults->value(QString(GlobalHotkeys::globalHotkeyKey)).toString(), QStringLiteral("Shift-Command-40"));

    EXPECT_EQ(hotkeys->changeMainHotkey(storedCombination("Control-Option-38")), std::nullopt);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(hotkeys->mainHotkeyProblem(), std::nullopt);
    EXPECT_EQ(hotkeys->mainHotkey(), storedCombination("Control-Option-38"));
}

TEST_F(GlobalHotkeysTest, AnotherSettingsStoreDoesNotMoveTheHotkey) {
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Shift-Command-40"));
    start();
    UserDefaults elsewhere(home.root() + QStringLiteral("/other.conf"));
    elsewhere.setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Control-Option-38"));
    EXPECT_EQ(hotkeys->mainHotkey()->persistentString(), QStringLiteral("Shift-Command-40"));
}

// MARK: Per-item hotkeys

TEST_F(GlobalHotkeysTest, ItemHotkeysOpenTheApplicationRunTheCommandAndTheScript) {
    const SearchRecord app = application(QStringLiteral("Recorder"));
    store({{app, QStringLiteral("Shift-Control-Option-0")},
           {command(QStringLiteral("toggleVantrelAppearance")), QStringLiteral("Shift-Control-Option-1")},
           {command(QStringLiteral("hello"), SearchRecord::ContentType::scriptCommand),
            QStringLiteral("Shift-Control-Option-2")}});
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QString());
    start();
    ASSERT_EQ(hotkeys->itemHotkeys().size(), 3u);

    const QStringList log = hotkeyLog();
    EXPECT_EQ(log.first(), QStringLiteral("Reloading search record hotkeys"));
    EXPECT_TRUE(log.contains(QStringLiteral("Loaded all records with hotkeys")));
    EXPECT_EQ(log.count(QStringLiteral("Found key combination for global hotkey")), 3);
    EXPECT_EQ(log.last(), QStringLiteral("Finished reloading global hotkeys"));
    EXPECT_TRUE(logs->lines().join('\n').contains(QStringLiteral("bundleID: Recorder.desktop")));
    EXPECT_TRUE(logs->lines().join('\n').contains(QStringLiteral("commandID: toggleVantrelAppearance")));

    pressKeys(QStringLiteral("ctrl+alt+shift+a"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(markerOf(QStringLiteral("Recorder"))); }, 15000));

    pressKeys(QStringLiteral("ctrl+alt+shift+s"));
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 1; }));
    EXPECT_EQ(outcomes[0].first, QStringLiteral("toggleVantrelAppearance"));
    EXPECT_EQ(outcomes[0].second.hudText, QStringLiteral("Vantrel appearance: Dark"));
    EXPECT_EQ(appearance->value(QStringLiteral("vantrelAppearance")).toString(), QStringLiteral("dark"));

    pressKeys(QStringLiteral("ctrl+alt+shift+d"));
    ASSERT_TRUE(waitUntil([&] { return scripts.size() == 1; }));
    EXPECT_EQ(scripts, QStringList{QStringLiteral("hello")});
    EXPECT_EQ(toggles, 0);
}

TEST_F(GlobalHotkeysTest, DisabledUninstalledAndUnreadableItemsAreSkipped) {
    SearchRecord gone = application(QStringLiteral("Gone"));
    store({{gone, QStringLiteral("Shift-Control-Option-0")},
           {command(QStringLiteral("searchIssues")), QStringLiteral("Shift-Control-Option-1")},  // jira: off
           {command(QStringLiteral("noSuchCommand")), QStringLiteral("Shift-Control-Option-2")},
           {command(QStringLiteral("urlEncode")), QStringLiteral("Shift-Hyper-3")},
           {command(QStringLiteral("urlDecode")), QStringLiteral("Shift-Control-Option-3")}});
    pool->write([&](Connection& db) {
        db.execute(QStringLiteral("UPDATE search SET uninstalled = 1 WHERE key = ?"), {gone.key});
    });
    start();

    ASSERT_EQ(hotkeys->itemHotkeys().size(), 1u);
    EXPECT_EQ(hotkeys->itemHotkeys()[0].record.key, QStringLiteral("urlDecode"));
    const QStringList log = hotkeyLog();
    EXPECT_EQ(log.count(QStringLiteral("App not enabled for global hotkey")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Command not enabled for global hotkey")), 2);
    EXPECT_EQ(log.count(QStringLiteral("Cannot parse key combination for global hotkey")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Found key combination for global hotkey")), 1);
    EXPECT_EQ(failureOfRegistering("Shift-Control-Option-0"), QStringLiteral("(free)"));
    EXPECT_EQ(failureOfRegistering("Shift-Control-Option-1"), QStringLiteral("(free)"));
}

TEST_F(GlobalHotkeysTest, ExtensionCommandHotkeysWorkThoughTheirPackageIsOffByDefault) {
    // Extension commands live in "packageCommands", which no user turns on:
    // their hotkeys follow their own switch only, as their search rows do.
    int runs = 0;
    auto extensionCommand = [&](const QString& id) {
        auto command = std::make_shared<VantrelPackageCommand>();
        command->commandId = CommandIdentifier(id);
        command->commandPackageId = PackageIdentifier(QStringLiteral("packageCommands"));
        command->name = id;
        command->runner = [&runs](const CommandRunContext&) {
            ++runs;
            return CommandOutcome::done();
        };
        return command;
    };
    const auto weather = extensionCommand(QStringLiteral("extension_weather.forecast__dev"));
    const auto radar = extensionCommand(QStringLiteral("extension_weather.radar__dev"));
    writeRow(QStringLiteral("packageCommands"), false,
             QStringLiteral("{\"disabledCommands\": [\"extension_weather.radar__dev\"]}"));
    registry = makeRegistry(false);
    registry->addCommandResolver([&](const CommandIdentifier& id) -> std::shared_ptr<const VantrelCommand> {
        if (id == weather->id()) return weather;
        if (id == radar->id()) return radar;
        return nullptr;
    });
    ASSERT_FALSE(registry->isPackageEnabled(PackageIdentifier(QStringLiteral("packageCommands"))));
    SearchRecord forecast = command(weather->id().rawValue, SearchRecord::ContentType::extensionCommand);
    forecast.source = SearchRecord::Source::extensionCommands;
    SearchRecord radarRecord = command(radar->id().rawValue, SearchRecord::ContentType::extensionCommand);
    radarRecord.source = SearchRecord::Source::extensionCommands;
    store({{forecast, QStringLiteral("Shift-Control-Option-4")}, {radarRecord, QStringLiteral("Shift-Control-Option-5")}});
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QString());
    start();

    ASSERT_EQ(hotkeys->itemHotkeys().size(), 1u) << "the disabled command has none";
    EXPECT_EQ(hotkeys->itemHotkeys()[0].record.key, weather->id().rawValue);
    pressKeys(QStringLiteral("ctrl+alt+shift+h"));
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 1; }));
    EXPECT_EQ(outcomes[0].first, weather->id().rawValue);
    EXPECT_EQ(runs, 1);
}

TEST_F(GlobalHotkeysTest, TheSameHotkeyOnTwoItemsKeepsTheFirst) {
    store({{command(QStringLiteral("toggleVantrelAppearance")), QStringLiteral("Shift-Control-Option-1")},
           {command(QStringLiteral("urlEncode")), QStringLiteral("Shift-Control-Option-1")}});
    start();
    ASSERT_EQ(hotkeys->itemHotkeys().size(), 1u);
    EXPECT_EQ(hotkeys->itemHotkeys()[0].record.key, QStringLiteral("toggleVantrelAppearance"));
    EXPECT_TRUE(logs->contains(QStringLiteral("Handler for these Carbon keys has already been registered.")));

    pressKeys(QStringLiteral("ctrl+alt+shift+s"));
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 1; }));
    EXPECT_EQ(outcomes[0].first, QStringLiteral("toggleVantrelAppearance"));
}

TEST_F(GlobalHotkeysTest, AnItemCannotTakeTheMainHotkey) {
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Control-Option-38"));
    store({{command(QStringLiteral("urlEncode")), QStringLiteral("Control-Option-38")}});
    start();
    EXPECT_TRUE(hotkeys->itemHotkeys().empty());
    pressKeys(QStringLiteral("ctrl+alt+j"));
    ASSERT_TRUE(waitUntil([&] { return toggles == 1; }));
    EXPECT_TRUE(outcomes.empty());
}

TEST_F(GlobalHotkeysTest, HotkeyAndPackageChangesReloadTheItemHotkeys) {
    store({{command(QStringLiteral("urlEncode")), QStringLiteral("Shift-Control-Option-1")}});
    start();
    ASSERT_EQ(hotkeys->itemHotkeys().size(), 1u);

    // A new hotkey set in preferences: the old combination goes, the new one works.
    repository->setHotkey(QStringLiteral("Shift-Control-Option-2"), QStringLiteral("urlEncode"));
    ASSERT_TRUE(waitUntil([&] {
        return hotkeys->itemHotkeys().size() == 1 &&
               hotkeys->itemHotkeys()[0].keyCombination.persistentString() == QStringLiteral("Shift-Control-Option-2");
    }));
    EXPECT_EQ(failureOfRegistering("Shift-Control-Option-1"), QStringLiteral("(free)"));
    pressKeys(QStringLiteral("ctrl+alt+shift+d"));
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 1; }));

    // The package switched off: its command's hotkey is released.
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier(QStringLiteral("url")), false));
    ASSERT_TRUE(waitUntil([&] { return hotkeys->itemHotkeys().empty(); }));
    EXPECT_EQ(failureOfRegistering("Shift-Control-Option-2"), QStringLiteral("(free)"));

    // Removed hotkeys stay removed.
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier(QStringLiteral("url")), true));
    ASSERT_TRUE(waitUntil([&] { return hotkeys->itemHotkeys().size() == 1; }));
    repository->setHotkey(std::nullopt, QStringLiteral("urlEncode"));
    ASSERT_TRUE(waitUntil([&] { return hotkeys->itemHotkeys().empty(); }));
}

TEST_F(GlobalHotkeysTest, ScriptCommandAndQuicklinkChangesReloadToo) {
    start();
    store({{command(QStringLiteral("urlEncode")), QStringLiteral("Shift-Control-Option-1")}});
    EXPECT_TRUE(hotkeys->itemHotkeys().empty());
    NotificationCenter::defaultCenter().post(QString(NotificationNames::scriptCommandsChanged));
    ASSERT_TRUE(waitUntil([&] { return hotkeys->itemHotkeys().size() == 1; }));

    pool->write([&](Connection& db) { db.execute(QStringLiteral("UPDATE search SET hotkey = NULL")); });
    NotificationCenter::defaultCenter().post(QString(NotificationNames::quicklinksDidChange));
    ASSERT_TRUE(waitUntil([&] { return hotkeys->itemHotkeys().empty(); }));

    pool->write(
        [&](Connection& db) { db.execute(QStringLiteral("UPDATE search SET hotkey = 'Shift-Control-Option-1'")); });
    hotkeys->systemSourceDidChange();
    ASSERT_TRUE(waitUntil([&] { return hotkeys->itemHotkeys().size() == 1; }));
}

TEST_F(GlobalHotkeysTest, AnApplicationThatCannotStartIsReportedAsAFailure) {
    SearchRecord broken = application(QStringLiteral("Broken"));
    broken.path = home.root() + QStringLiteral("/apps/missing.desktop");
    start();
    hotkeys->handleGlobalHotkey(broken, KeyCombination{ModifierKeys::option, KeyEquivalent(U'b')});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].second.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcomes[0].second.title, QStringLiteral("Unable to open Broken"));
}

TEST_F(GlobalHotkeysTest, ACommandThatTakesArgumentsIsShownToAskForThemInsteadOfRunning) {
    start();
    hotkeys->handleGlobalHotkey(command(QStringLiteral("urlEncode")),
                                KeyCombination{ModifierKeys::option, KeyEquivalent(U'e')});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].second.kind, CommandOutcome::Kind::showArguments);
    EXPECT_EQ(outcomes[0].second.commandId, QStringLiteral("urlEncode"));
    EXPECT_FALSE(outcomes[0].second.resultText);
}

TEST_F(GlobalHotkeysTest, OtherItemKindsAreNotRunByHotkeys) {
    start();
    SearchRecord quicklink;
    quicklink.key = QStringLiteral("docs");
    quicklink.type = SearchRecord::ContentType::quicklink;
    hotkeys->handleGlobalHotkey(quicklink, KeyCombination{ModifierKeys::option, KeyEquivalent(U'q')});
    EXPECT_TRUE(logs->contains(QStringLiteral("Unhandled item type in hotkey handling. This should never happen")));
    EXPECT_TRUE(outcomes.empty());
    EXPECT_TRUE(scripts.isEmpty());
}

TEST_F(GlobalHotkeysTest, ReleasingTheHotkeysFreesEveryCombination) {
    defaults->setValue(QString(GlobalHotkeys::globalHotkeyKey), QStringLiteral("Control-Option-38"));
    store({{command(QStringLiteral("urlEncode")), QStringLiteral("Shift-Control-Option-1")}});
    start();
    hotkeys.reset();
    EXPECT_EQ(failureOfRegistering("Control-Option-38"), QStringLiteral("(free)"));
    EXPECT_EQ(failureOfRegistering("Shift-Control-Option-1"), QStringLiteral("(free)"));
}

}  // namespace
}  // namespace vantrel::test
