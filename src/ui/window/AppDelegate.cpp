#include "ui/window/AppDelegate.h"
#include "ui/window/HotkeyGuide.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/commands/PreferencesCommands.h"
#include "core/rootsearch/ExpressionParser.h"
#include "core/rootsearch/FallbackSearchProvider.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "core/rootsearch/RootSearchJson.h"
#include "core/rootsearch/URLSearchProvider.h"
#include "core/shell/GlobalHotkeys.h"
#include "core/shell/LoginItem.h"
#include "data/Database.h"
#include "data/Keychain.h"
#include "data/PackageConfigurationRepository.h"
#include "data/SearchRepository.h"
#include "kit/KeyCombination.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Settings.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/HotkeyManager.h"
#include "platform/Platform.h"
#include "ui/toolkit/ActionPanel.h"
#include "ui/toolkit/FormView.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/KeyRecorder.h"
#include "ui/toolkit/LauncherView.h"
#include "ui/toolkit/ListView.h"
#include "ui/toolkit/SearchBar.h"
#include "ui/toolkit/Theme.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PreferencesWindow.h"
#include "ui/window/RootSearchView.h"
#include "ui/window/TrayIcon.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QWindow>

#include <unistd.h>
#include <ctime>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("AppDelegate"), QStringLiteral("🚀")});
    return logger;
}

QString outcomeMessage(const CommandOutcome& outcome) {
    if (outcome.kind == CommandOutcome::Kind::failed)
        return outcome.message.isEmpty() ? outcome.title : outcome.title + QStringLiteral(": ") + outcome.message;
    if (outcome.kind == CommandOutcome::Kind::unavailable) return outcome.message;
    if (outcome.resultText) return *outcome.resultText;
    return outcome.hudText;
}

// Notices when the window it watches is put on screen.
class ExposeWatcher : public QObject {
public:
    ExposeWatcher(std::function<void()> exposed, QObject* parent) : QObject(parent), m_exposed(std::move(exposed)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose) {
            if (auto* window = qobject_cast<QWindow*>(watched); window && window->isExposed()) m_exposed();
        }
        return false;
    }

private:
    std::function<void()> m_exposed;
};

}  // namespace

qint64 millisecondsSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name (which may hold spaces) start after the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // starttime is field 22 of the line, the 20th after the name.
    if (fields.size() < 20) return -1;
    const double startSeconds = fields.at(19).toDouble() / double(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowSeconds = double(now.tv_sec) + double(now.tv_nsec) / 1e9;
    return qint64((nowSeconds - startSeconds) * 1000.0);
}

AppDelegate::AppDelegate(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_defaults(UserDefaults::standard()),
      m_startup(m_defaults),
      m_launchArguments(LaunchArguments::parse(m_options.arguments)) {
    m_clearToRootTimer.setSingleShot(true);
    connect(&m_clearToRootTimer, &QTimer::timeout, this, &AppDelegate::clearToRootIfPossible);
    log().debug("App delegate created");
}

AppDelegate::~AppDelegate() {
    NotificationCenter::defaultCenter().removeObserver(this);
    // The services that hold on to the window and the registry go first.
    m_hotkeys.reset();
    m_hotkeyManager.reset();
    m_guide.reset();
    m_tray.reset();
    m_preferences.reset();
    if (m_features) m_features->setPresenter(nullptr);
    m_window.reset();
    m_features.reset();
    m_controller.reset();
    m_launcherSearch.reset();
    m_registry.reset();
    log().debug("App delegate released");
}

void AppDelegate::applicationWillFinishLaunching() {
    m_startup.registerDefaults();
}

bool AppDelegate::applicationDidFinishLaunching(QString* error) {
    // Claim the single instance before anything takes time.
    m_server = std::make_unique<InstanceServer>(m_options.socketPath);
    if (!m_server->listen(error)) return false;
    m_server->setHandler([this](const InstanceRequest& request) { return handleInstanceRequest(request); });
    // The tray icon first: the launcher is there for the user while the rest starts.
    startTray();

    // 1. Crash reporting.
    log().info("Crash reporting is not part of this build");
    // 2. The deployment's credentials.
    Environment::current().configure();
    // 3. The database, the registry and root search (extensions are not part of this build).
    try {
        startDatabaseAndSearch();
    } catch (const std::exception& failure) {
        if (error) *error = VantrelError::describe(failure);
        return false;
    }
    if (!m_pool) {
        if (error && error->isEmpty()) *error = QStringLiteral("The database cannot be opened");
        return false;
    }
    createMainWindow();
    // 5. Onboarding of installations that predate it.
    m_startup.runOnboardingMigration();
    // 6. Calendar, reminders and contacts are not part of this build.
    UserDefaultsValue<bool>(QStringLiteral("shouldShowContactsPermissionWarning"), false, &m_defaults).setValue(false);
    // 7. Launch arguments.
    if (m_launchArguments.launchedAtLogin) log().info("Started at login");
    if (m_startup.shouldShowOnboarding(m_launchArguments))
        log().info("Onboarding is not part of this build; showing the launcher instead");
    // 8. The login item, once; the data-source relaunch marker.
    if (!m_options.executable.isEmpty()) {
        LoginItem::installOnce(m_defaults, m_options.executable);
        // A moved or reinstalled program: the entry runs this one again.
        LoginItem::repairIfStale(m_options.executable);
    }
    if (m_launchArguments.dataSourceChanged) log().info("Relaunched after the data sources changed");
    // The handler of vantrel:// links and the icon in the icon theme.
    if (!m_options.executable.isEmpty()) {
        try {
            DesktopIntegration::install(m_options.executable);
        } catch (const std::exception& failure) {
            log().warning(QStringLiteral("Cannot install the desktop entry: ") + VantrelError::describe(failure));
        }
    }
    // 10. The main hotkey and (13) the per-item hotkeys with their change notices.
    startHotkeys();
    // A first start greets with the hotkey.
    if (m_guide->welcomeIfFirstStart(m_hotkeys ? m_hotkeys->mainHotkey() : std::nullopt)) m_windowWanted = true;
    // 11. Clipboard history and snippet keywords start with the features (15).
    // 14. Updates; the install history.
    log().info("Updates are not part of this build");
    m_startup.recordInstallHistory(QCoreApplication::applicationVersion(), m_launchArguments);
    // 15. The features' own work: script directories and their scheduler…
    m_features->startFeatures();

    m_router = std::make_unique<AppRouter>(routes());

    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!m_terminating) log().info("Application should terminate");
        m_terminating = true;
    });

    // A user who cannot get in otherwise (first start, no hotkey) sees the
    // window whatever started the launcher.
    if ((!m_options.startHidden && !m_launchArguments.launchedAtLogin) || m_windowWanted) showWindow();
    m_launched = true;
    log().info(QStringLiteral("Launcher started in %1 ms").arg(millisecondsSinceProcessStart()));
    return true;
}

void AppDelegate::startDatabaseAndSearch() {
    DatabaseOpener::Options options;
    options.keychain =
        std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), platform().makeKeychainBackend());
    QString fatal;
    options.fatalStop = [&fatal](const QString& message) { fatal = message; };
    m_pool = DatabaseOpener(std::move(options)).openDatabase();
    if (!m_pool) throw VantrelError(fatal.isEmpty() ? QStringLiteral("The database cannot be opened") : fatal);

    m_registry = std::make_unique<PackageRegistry>(std::make_shared<PackageConfigurationRepository>(m_pool),
                                                   PackageRegistry::developmentFlagFromEnvironment());
    m_launcherSearch = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(m_pool), *m_registry);
    if (platform().makeCalculator) m_parser = std::make_unique<ExpressionParser>(platform().makeCalculator());
    m_controller = std::make_unique<RootSearchController>(*m_launcherSearch, m_parser.get(), m_defaults);
    m_controller->addSearchProvider(std::make_shared<URLSearchProvider>(*m_registry));
    m_controller->addSearchProvider(std::make_shared<FallbackSearchProvider>(*m_registry));

    m_environment = std::make_unique<LauncherEnvironment>();
    m_environment->userDefaults = &m_defaults;
    m_controller->setEnvironment(m_environment.get());
    registerShellCommands();

    m_features = std::make_unique<FeatureContext>(FeatureContext::Services{*m_registry, *m_launcherSearch, m_defaults,
                                                                           NotificationCenter::defaultCenter(),
                                                                           m_controller.get(), m_environment.get()});
    if (m_options.makeFeatures) registerFeatures(*m_features, m_options.makeFeatures());
    publishPreferencesCommands(*m_registry, preferencePageTitles(*m_features));
    m_controller->configureSearchDataSources();
}

void AppDelegate::createMainWindow() {
    m_window = std::make_unique<MainWindow>(*m_controller, m_environment.get());
    m_controller->setIsKeyWindow([this] { return m_window && m_window->isKeyWindow(); });
    connect(m_window.get(), &MainWindow::windowHidden, this, &AppDelegate::scheduleClearToRootIfNeeded);
    HotkeyGuide::Hooks hooks;
    hooks.chooseHotkey = [this] { chooseHotkey(); };
    hooks.toggleWindow = [this] { mainHotkeyPressed(); };
    const QString program =
        m_options.executable.isEmpty() ? QStringLiteral("vantrel") : LoginItem::launchCommand(m_options.executable);
    m_guide = std::make_unique<HotkeyGuide>(*m_window, *m_controller, m_defaults,
                                            QStringList{program, QStringLiteral("toggle")}, hooks);
    connect(m_window.get(), &MainWindow::windowHidden, m_guide.get(), &HotkeyGuide::windowHidden);
    connect(m_window.get(), &MainWindow::windowShown, this, [this] { m_clearToRootTimer.stop(); });
    connect(m_window.get(), &MainWindow::preferencesRequested, this,
            [this](const QString& commandId) { showPreferences(commandId); });
    m_window->setViewFactory([this](const CommandOutcome& outcome) -> LauncherView* {
        QWidget* view = m_features->makeView(outcome);
        if (auto* launcherView = qobject_cast<LauncherView*>(view)) return launcherView;
        delete view;
        return nullptr;
    });
    m_features->setPresenter(m_window.get());
    // The appearance follows its setting at once ("Toggle Vantrel Appearance", preferences).
    NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("vantrelUserDefaultsDidChange"), this, [this](const Notification& notification) {
            if (notification.object.toString() != QLatin1String("vantrelAppearance")) return;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    Theme::setCurrent(Theme::desktopAppearance());
                    Icons::clearCache();
                    if (m_window) m_window->applyTheme();
                    if (m_preferences) m_preferences->applyTheme();
                },
                Qt::QueuedConnection);
        });
    // The desktop's colour scheme comes without the start waiting for it.
    Theme::appearanceChanged().connect(this, [this] {
        Icons::clearCache();
        if (m_window) m_window->applyTheme();
        if (m_preferences) m_preferences->applyTheme();
    });
    // The native window exists from now on, so its exposure can be watched.
    m_window->winId();
    if (QWindow* handle = m_window->windowHandle())
        handle->installEventFilter(new ExposeWatcher([this] { windowExposed(); }, this));
}

void AppDelegate::startHotkeys() {
    const auto stored = [this] {
        const QString text = m_defaults.value(QString(AppStartup::globalHotkeyKey)).toString();
        return KeyCombination::fromPersistentString(text.isEmpty() ? AppStartup::defaultGlobalHotkey() : text)
            .value_or(KeyCombination{ModifierKeys::option, KeyEquivalent(U' ')});
    };
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        log().warning("Global hotkeys need X11; bind `vantrel toggle` in the desktop's keyboard settings instead",
                      {{QStringLiteral("platform"), QGuiApplication::platformName()}});
        if (m_guide->hotkeysUnavailable(stored(), QStringLiteral("no key grabs on ") + QGuiApplication::platformName()))
            m_windowWanted = true;
        return;
    }
    try {
        if (!platform().makeHotkeyManager) throw VantrelError(QStringLiteral("this desktop gives no global hotkeys"));
        m_hotkeyManager = platform().makeHotkeyManager();
    } catch (const std::exception& failure) {
        log().error(QStringLiteral("Global hotkeys are not available: ") + VantrelError::describe(failure));
        if (m_guide->hotkeysUnavailable(stored(), VantrelError::describe(failure))) m_windowWanted = true;
        return;
    }
    GlobalHotkeys::Callbacks callbacks;
    callbacks.toggleWindow = [this] { mainHotkeyPressed(); };
    callbacks.mainHotkeyChanged = [this] { mainHotkeyChanged(); };
    callbacks.showCommandOutcome = [this](const SearchRecord&, const CommandOutcome& outcome) {
        if (m_window) m_window->handleOutcome(outcome);
    };
    callbacks.runRecord = [this](const SearchRecord& record) {
        const FeatureContext::HotkeyHandler* handler = m_features->hotkeyHandler(int(record.type));
        if (handler) (*handler)(record);
        return handler != nullptr;
    };
    callbacks.environment = m_environment.get();
    m_hotkeys = std::make_unique<GlobalHotkeys>(*m_hotkeyManager, *m_registry, m_launcherSearch->search().repository(),
                                                callbacks, &m_defaults);
    m_hotkeys->start();
}

void AppDelegate::mainHotkeyChanged() {
    if (!m_hotkeys || !m_guide) return;
    const auto problem = m_hotkeys->mainHotkeyProblem();
    const bool show =
        m_guide->hotkeyChanged(m_hotkeys->mainHotkey(), problem ? std::optional(problem->combination) : std::nullopt,
                               problem ? problem->message() : QString());
    if (!show) return;
    if (m_launched)
        showWindow();
    else
        m_windowWanted = true;
}

// The launcher's own commands: they act on this process.
void AppDelegate::registerShellCommands() {
    m_registry->setCommandHandler(QStringLiteral("quitVantrel"),
                                  [this](const VantrelCommand&, const CommandRunContext&) {
                                      QTimer::singleShot(0, this, &AppDelegate::terminate);
                                      return CommandOutcome::done();
                                  });
    m_registry->setCommandHandler(QStringLiteral("recenterMainWindow"),
                                  [this](const VantrelCommand&, const CommandRunContext&) {
                                      if (m_window) m_window->recenter();
                                      return CommandOutcome::done();
                                  });
    m_registry->setCommandHandler(QStringLiteral("refreshSystemSource"),
                                  [this](const VantrelCommand&, const CommandRunContext&) {
                                      refreshSystemSource();
                                      return CommandOutcome::done();
                                  });
}

void AppDelegate::startTray() {
    m_tray = std::make_unique<TrayIcon>();
    connect(m_tray.get(), &TrayIcon::openRequested, this, &AppDelegate::showWindow);
    connect(m_tray.get(), &TrayIcon::preferencesRequested, this, [this] { showPreferences(); });
    connect(m_tray.get(), &TrayIcon::quitRequested, this, &AppDelegate::terminate);
    const bool shown = m_tray->show();
    if (!shown) {
        log().warning("No system tray on this desktop yet; the icon appears when one does");
        connect(m_tray.get(), &TrayIcon::shown, this, [] { log().info("A system tray appeared; the icon is shown"); });
        m_tray->showWhenTrayAppears();
    }
    log().info(QStringLiteral("Tray ready in %1 ms").arg(millisecondsSinceProcessStart()),
               {{QStringLiteral("tray"), shown ? QStringLiteral("shown") : QStringLiteral("unavailable")}});
}

// MARK: The window

void AppDelegate::showWindow() {
    if (!m_window) return;
    m_clearToRootTimer.stop();
    m_window->showWindow();
}

void AppDelegate::hideWindow() {
    if (m_window) m_window->hideWindow();
}

void AppDelegate::toggleWindow() {
    if (!m_window) return;
    if (m_window->isKeyWindow())
        hideWindow();
    else
        showWindow();
}

void AppDelegate::mainHotkeyPressed() {
    if (!m_window) return;
    if (m_window->isKeyWindow()) {
        m_showRequested.reset();
        hideWindow();
        return;
    }
    // Closing the preferences window first keeps the launcher above it.
    if (m_preferences && m_preferences->isVisible() && m_preferences->isActiveWindow()) m_preferences->hide();
    m_showRequested.emplace();
    m_showRequested->start();
    showWindow();
    // Already on screen (shown but without focus): it counts as shown now.
    if (m_window->windowHandle() && m_window->windowHandle()->isExposed()) windowExposed();
}

void AppDelegate::windowExposed() {
    if (!m_showRequested) return;
    log().info(QStringLiteral("Window shown in %1 ms").arg(m_showRequested->elapsed()));
    m_showRequested.reset();
}

void AppDelegate::showPreferences(const QString& commandId) {
    if (!m_registry) return;
    if (!m_preferences) {
        m_preferences =
            std::make_unique<PreferencesWindow>(*m_registry, m_launcherSearch->search().repository(), m_defaults);
        m_preferences->launchAtLogin = [] { return LoginItem::isEnabled(); };
        const QString executable = m_options.executable;
        m_preferences->setLaunchAtLogin = [executable](bool enabled) { LoginItem::setEnabled(enabled, executable); };
        m_preferences->changeGlobalHotkey = [this](const KeyCombination& combination) -> QString {
            if (!m_hotkeys) {
                m_defaults.setValue(QString(AppStartup::globalHotkeyKey), combination.persistentString().value_or(""));
                return {};
            }
            const auto refusal = m_hotkeys->changeMainHotkey(combination);
            return refusal ? refusal->message() : QString();
        };
        for (const FeatureContext::PreferencePage& page : m_features->preferencePages())
            m_preferences->addPage(page.title, ImageResource::named(page.iconName), page.make());
    }
    if (m_window && m_window->isVisible()) m_window->hideWindow();
    m_preferences->reload();
    if (commandId.startsWith(preferencesPagePrefix))
        m_preferences->showPageTitled(commandId.mid(preferencesPagePrefix.size()));
    else if (!commandId.isEmpty())
        m_preferences->showPage(commandId);
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
}

void AppDelegate::chooseHotkey() {
    showPreferences();
    if (!m_preferences) return;
    m_preferences->setPage(PreferencesWindow::Page::general);
    if (KeyRecorder* recorder = m_preferences->globalHotkeyRecorder()) recorder->startRecording();
}

void AppDelegate::scheduleClearToRootIfNeeded() {
    const std::optional<int> seconds = m_startup.popToRootTimeoutSeconds();
    if (!seconds) return;
    m_clearToRootTimer.start(*seconds * 1000);
}

void AppDelegate::clearToRootIfPossible() {
    if (!m_window || m_window->isVisible()) return;
    const std::optional<int> seconds = m_startup.popToRootTimeoutSeconds();
    if (!seconds) return;
    const QDateTime hiddenAt = m_window->windowHiddenLastTime();
    if (hiddenAt.isValid() && hiddenAt.msecsTo(QDateTime::currentDateTimeUtc()) < qint64(*seconds) * 1000 - 50) {
        // Shown and hidden again meanwhile: wait for the rest of the time.
        scheduleClearToRootIfNeeded();
        return;
    }
    if (!m_window->isAtRoot()) {
        log().info("Clearing to root due to inactivity");
        m_window->popToRoot();
    } else {
        log().info("Clearing search bar due to inactivity");
        m_window->clearSearchBar();
    }
}

void AppDelegate::terminate() {
    if (!m_terminating) log().info("Application should terminate");
    m_terminating = true;
    if (m_window) m_window->hide();
    QCoreApplication::quit();
}

// MARK: Requests

InstanceReply AppDelegate::handleInstanceRequest(const InstanceRequest& request) {
    const auto visible = [this] { return QJsonObject{{QStringLiteral("visible"), m_window && m_window->isVisible()}}; };
    if (request.command == QLatin1String("toggle")) {
        toggleWindow();
        return {true, {}, visible()};
    }
    if (request.command == QLatin1String("show") || request.command == QLatin1String("activate")) {
        showWindow();
        return {true, {}, visible()};
    }
    if (request.command == QLatin1String("hide")) {
        hideWindow();
        return {true, {}, visible()};
    }
    if (request.command == QLatin1String("status")) {
        QJsonObject values = visible();
        values.insert(QStringLiteral("keyWindow"), m_window && m_window->isKeyWindow());
        values.insert(QStringLiteral("atRoot"), m_window && m_window->isAtRoot());
        values.insert(QStringLiteral("sheet"), m_window && m_window->isPresentingSheet());
        if (m_window) {
            // What the window shows: the view on top (its title; empty at the
            // root), the search bar's text and the selected row's id.
            LauncherView* top = m_window->topView();
            const bool atRoot = m_window->isAtRoot();
            QString selected;
            if (atRoot) {
                if (const ListItem* item = m_controller->selectedItem()) selected = item->id;
            } else if (const auto* list = qobject_cast<const ListView*>(top)) {
                if (const ListView::Item* item = list->selectedItem()) selected = item->id;
            }
            // The rows of the list a pushed view shows (its own, or one inside it).
            if (!atRoot && top) {
                const ListView* shown = qobject_cast<const ListView*>(top);
                for (const ListView* inner : top->findChildren<ListView*>())
                    if (!shown && inner->isVisible()) shown = inner;
                QJsonArray rows;
                if (shown) {
                    for (const ListView::Item* item : shown->visibleItems()) rows.append(item->title);
                    if (selected.isEmpty())
                        if (const ListView::Item* item = shown->selectedItem()) selected = item->id;
                }
                values.insert(QStringLiteral("viewRows"), rows);
                values.insert(QStringLiteral("viewFailure"), top->failureText());
            }
            values.insert(QStringLiteral("view"), atRoot || !top ? QString() : top->title());
            values.insert(QStringLiteral("searchText"), m_window->searchBar()->text());
            values.insert(QStringLiteral("selectedItem"), selected);
            values.insert(QStringLiteral("actionPanel"), m_window->isActionPanelOpen());
            if (m_window->isActionPanelOpen())
                values.insert(QStringLiteral("actionPanelRows"), QJsonArray::fromStringList(m_window->actionPanel()->visibleTitles()));
            // The fields of a form on top: values, messages and what they list.
            if (!atRoot && top) {
                const FormView* form = qobject_cast<const FormView*>(top);
                for (const FormView* inner : top->findChildren<FormView*>())
                    if (!form && inner->isVisible()) form = inner;
                if (form) values.insert(QStringLiteral("form"), QJsonObject::fromVariantMap(form->state()));
            }
            const SearchBar* bar = m_window->searchBar();
            values.insert(QStringLiteral("argumentCount"), bar->argumentCount());
            values.insert(QStringLiteral("focusedArgument"), bar->focusedField());
        }
        values.insert(QStringLiteral("pid"), qint64(QCoreApplication::applicationPid()));
        if (m_hotkeys)
            if (const auto hotkey = m_hotkeys->mainHotkey())
                values.insert(QStringLiteral("hotkey"), hotkey->persistentString().value_or(QString()));
        // What the window tells the user (a welcome, a hotkey that cannot work).
        if (m_guide) {
            const QJsonObject guide = m_guide->status();
            for (auto it = guide.begin(); it != guide.end(); ++it) values.insert(it.key(), it.value());
        }
        // What root search lists right now, as the window shows it.
        if (m_window && m_window->rootView())
            values.insert(QStringLiteral("rows"), QJsonArray::fromStringList(m_window->rootView()->listedTitles()));
        return {true, {}, values};
    }
    if (request.command == QLatin1String("search")) {
        // The sections this launcher's engine gives the text, built aside:
        // the window keeps its own query and selection.
        if (!m_controller) return {false, QStringLiteral("Not ready yet"), {}};
        const int limit = request.options.value(QStringLiteral("limit")).toInt(20);
        return {true,
                {},
                {{QStringLiteral("sections"), sectionsJson(m_controller->sectionsFor(request.argument), limit)}}};
    }
    if (request.command == QLatin1String("configuration-changed")) {
        // Another process changed a package's configuration (`vantrel scripts
        // add-dir`): everything that follows it reads it again.
        NotificationCenter::defaultCenter().post(QString(NotificationNames::packageConfigurationDidChange),
                                                 request.argument);
        return {true, {}, {}};
    }
    if (request.command == QLatin1String("open")) {
        const QUrl url(request.argument);
        if (url.scheme() != AppRouter::scheme)
            return {false, QStringLiteral("Not a vantrel:// link: ") + request.argument, {}};
        CommandOutcome outcome;
        const bool handled = m_router->route(url, &outcome) == AppRouter::Result::handled;
        if (!handled) return {false, QStringLiteral("Unhandled link: ") + request.argument, {}};
        return {outcome.succeeded(), outcomeMessage(outcome), visible()};
    }
    if (request.command == QLatin1String("set-hotkey")) {
        const auto combination = KeyCombination::fromPersistentString(request.argument);
        if (!combination) return {false, QStringLiteral("Not a key combination: ") + request.argument, {}};
        if (!m_hotkeys) {
            m_defaults.setValue(QString(AppStartup::globalHotkeyKey), request.argument);
            return {false, QStringLiteral("This desktop gives Vantrel no global hotkeys; bind “vantrel toggle” in its "
                                          "keyboard settings"),
                    {}};
        }
        // The old combination is released first; a refused one leaves it in place.
        const auto refusal = m_hotkeys->changeMainHotkey(*combination);
        if (!refusal) return {true, {}, {}};
        QString message = refusal->message();
        if (const auto kept = m_hotkeys->mainHotkey())
            message += QStringLiteral("; the hotkey stays ") + kept->displayText();
        return {false, message, {}};
    }
    if (request.command == QLatin1String("quit")) {
        QTimer::singleShot(0, this, &AppDelegate::terminate);
        return {true, {}, {}};
    }
    return {false, QStringLiteral("Unknown command '%1'").arg(request.command), {}};
}

bool AppDelegate::openUrl(const QUrl& url) {
    return m_router && m_router->route(url) == AppRouter::Result::handled;
}

CommandOutcome AppDelegate::runCommand(const QString& commandId, const QStringList& arguments) {
    const auto command = m_registry->command(CommandIdentifier(commandId));
    if (!command) return CommandOutcome::failed(QStringLiteral("Command not found"), commandId);
    if (!m_registry->isEnabled(*command))
        return CommandOutcome::failed(QStringLiteral("Command is disabled"), command->displayName());
    const CommandRunContext context{arguments.join(QLatin1Char(' ')), arguments, m_environment.get()};
    // Required arguments the link does not give are asked for in the window.
    const auto input = command->inputCommand();
    const CommandOutcome outcome = input && firstMissingArgument(input->parameters(), arguments)
                                       ? CommandOutcome::showArguments(commandId, arguments)
                                       : command->run(context);
    if (m_window) {
        if (outcome.kind == CommandOutcome::Kind::showView) showWindow();
        m_window->handleOutcome(outcome);
    }
    return outcome;
}

AppRouter::Routes AppDelegate::routes() {
    AppRouter::Routes routes;
    routes.showWindow = [this] { showWindow(); };
    routes.hideWindow = [this] { hideWindow(); };
    routes.toggleWindow = [this] { toggleWindow(); };
    routes.showPreferences = [this] { showPreferences(); };
    routes.featureRoute = [this](const QUrl& url) -> std::optional<CommandOutcome> {
        const FeatureContext::RouteHandler* handler = m_features ? m_features->route(url) : nullptr;
        if (!handler) return std::nullopt;
        return (*handler)(url);
    };
    routes.runCommand = [this](const QString& id, const QStringList& arguments) { return runCommand(id, arguments); };
    return routes;
}

void AppDelegate::refreshSystemSource() {
    m_launcherSearch->search().loadDataSources(0, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_controller) m_controller->reload();
                if (m_hotkeys) m_hotkeys->systemSourceDidChange();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace vantrel
