#pragma once

#include "core/api/CommandOutcome.h"
#include "core/api/Feature.h"
#include "core/shell/AppRouter.h"
#include "core/shell/AppStartup.h"
#include "core/shell/InstanceChannel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class DatabasePool;
class FeatureContext;
class ExpressionParser;
class GlobalHotkeys;
class HotkeyGuide;
class HotkeyManager;
class LauncherSearch;
class MainWindow;
class PackageRegistry;
class PreferencesWindow;
class RootSearchController;
class TrayIcon;
class UserDefaults;
struct SearchRecord;

// The running launcher: runs the start-up sequence, owns the long-lived
// services (database, registry, root search, the window, hotkeys, tray, the
// link router, script commands) and answers the requests of other `vantrel`
// processes. Everything happens on the main thread.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The process's arguments after the program name ("--background",
        // "VANTREL_LAUNCHER", …).
        QStringList arguments;
        // The absolute path of this program (autostart entry, link handler).
        QString executable;
        // The launcher window stays hidden after the start.
        bool startHidden = false;
        // The single-instance socket; empty: the default one.
        QString socketPath;
        // The features of this launcher (main's list), registered at start.
        std::function<std::vector<std::unique_ptr<Feature>>()> makeFeatures;
    };

    explicit AppDelegate(Options options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Registers the setting defaults.
    void applicationWillFinishLaunching();
    // The start-up sequence. False (and why) when the launcher cannot run:
    // another one answers on the socket, or the database cannot be opened.
    bool applicationDidFinishLaunching(QString* error);
    // "Application should terminate": stops everything and quits the event loop.
    void terminate();

    // MARK: The window

    void showWindow();
    void hideWindow();
    void toggleWindow();
    // The main hotkey was pressed: hides a key window, shows it otherwise, and
    // logs how long the window took to appear.
    void mainHotkeyPressed();
    void showPreferences(const QString& commandId = {});
    // Opens the preferences with the hotkey recorder recording.
    void chooseHotkey();
    // Returns the window to root search after inactivity (see "popToRootTimeout").
    void clearToRootIfPossible();

    // MARK: Requests

    InstanceReply handleInstanceRequest(const InstanceRequest& request);
    bool openUrl(const QUrl& url);
    CommandOutcome runCommand(const QString& commandId, const QStringList& arguments);

    MainWindow* mainWindow() const { return m_window.get(); }
    HotkeyGuide* hotkeyGuide() const { return m_guide.get(); }

private:
    void startDatabaseAndSearch();
    void createMainWindow();
    void startHotkeys();
    // The main hotkey was registered, refused or released.
    void mainHotkeyChanged();
    void registerShellCommands();
    void startTray();
    void scheduleClearToRootIfNeeded();
    void windowExposed();
    void refreshSystemSource();
    AppRouter::Routes routes();

    Options m_options;
    UserDefaults& m_defaults;
    AppStartup m_startup;
    LaunchArguments m_launchArguments;
    std::unique_ptr<InstanceServer> m_server;

    std::shared_ptr<DatabasePool> m_pool;
    std::unique_ptr<PackageRegistry> m_registry;
    std::unique_ptr<LauncherSearch> m_launcherSearch;
    std::unique_ptr<ExpressionParser> m_parser;
    std::unique_ptr<RootSearchController> m_controller;
    std::unique_ptr<LauncherEnvironment> m_environment;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<PreferencesWindow> m_preferences;
    std::unique_ptr<HotkeyManager> m_hotkeyManager;
    std::unique_ptr<GlobalHotkeys> m_hotkeys;
    // What the features registered; they live as long as it.
    std::unique_ptr<FeatureContext> m_features;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<AppRouter> m_router;
    std::unique_ptr<HotkeyGuide> m_guide;
    // The start found a reason to show the window (a first start, no hotkey).
    bool m_windowWanted = false;
    bool m_launched = false;

    QTimer m_clearToRootTimer;
    // From the main hotkey press to the window being on screen.
    std::optional<QElapsedTimer> m_showRequested;
    bool m_terminating = false;
};

// Milliseconds since this process started (from the kernel's start time).
qint64 millisecondsSinceProcessStart();

}  // namespace vantrel
