#include "features/extensions/ExtensionCommandRunner.h"

#include "core/api/LauncherPresenter.h"
#include "extensions/client/CommandPresenter.h"
#include "extensions/client/ExtensionRuntime.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "features/extensions/DesktopAppManager.h"
#include "features/extensions/ui/ExtensionCommandView.h"
#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace vantrel {

namespace {

using extensions::ExtensionRuntime;
using extensions::JSException;

const Logger& runnerLog() {
    static const Logger logger({QStringLiteral("Extension Commands"), QStringLiteral("🧩")});
    return logger;
}

// The API's desktop side, given once to the launcher's one API registry.
extensions::VantrelAPI& configuredAPI() {
    extensions::VantrelAPI& api = ExtensionRuntime::shared().api();
    if (!api.appManager()) api.configure(std::make_shared<DesktopAppManager>());
    return api;
}

Toast::Style toastStyle(const QString& style) {
    if (style == QLatin1String("failure")) return Toast::Style::failure;
    if (style == QLatin1String("animated")) return Toast::Style::animated;
    return Toast::Style::success;
}

// The original file of an exception, resolved against the package folder
// when the map names it relatively.
QString exceptionPosition(const JSException& exception, const QString& packageFolder) {
    if (!exception.location) return {};
    QString source = exception.location->source;
    if (source.startsWith(QLatin1String("file://"))) source = QUrl(source).toLocalFile();
    if (QFileInfo(source).isRelative()) source = QDir::cleanPath(QDir(packageFolder).filePath(source));
    return QStringLiteral("%1:%2:%3").arg(source).arg(exception.location->line).arg(exception.location->column + 1);
}

// Shows a running command's output in the launcher window.
class WindowCommandPresenter : public extensions::CommandPresenter {
public:
    WindowCommandPresenter(LauncherPresenter* presenter, QString packageFolder)
        : m_presenter(presenter), m_packageFolder(std::move(packageFolder)) {}

    void showToast(const QString& style, const QString& title, const std::optional<QString>& message) override {
        runnerLog().info(QStringLiteral("Toast: ") + title + (message ? QStringLiteral(" – ") + *message : QString()));
        if (!m_presenter) return;
        if (style == QLatin1String("hud")) {
            // A heads-up message is shown instead of the window.
            if (m_presenter->isWindowVisible()) m_presenter->hideWindow();
            m_presenter->showHUD(message ? title + QStringLiteral(": ") + *message : title);
            return;
        }
        m_toast = Toast{toastStyle(style), title, message.value_or(QString())};
        if (m_presenter->isWindowVisible()) {
            // The command still runs: its toast keeps the Cancel button.
            m_toastId = m_presenter->showToast(m_toast, m_cancel);
        } else {
            m_toastId.reset();
            m_presenter->showHUD(LauncherPresenter::hudText(m_toast));
        }
    }
    void hideToast() override {
        if (m_presenter && m_toastId) m_presenter->hideToast(*m_toastId);
        m_toastId.reset();
    }
    void changeToast(const std::optional<QString>& style, const std::optional<QString>& title,
                     const std::optional<QString>& message) override {
        if (style) m_toast.style = toastStyle(*style);
        if (title) m_toast.title = *title;
        if (message) m_toast.message = *message;
        if (m_presenter && m_toastId) m_presenter->updateToast(*m_toastId, m_toast);
    }
    void log(const QString&, const QString&) override {}  // the command's log has it
    void closeWindow() override {
        if (m_presenter) m_presenter->hideWindow();
    }
    void showException(const JSException& exception) override {
        m_exception = exception;
        runnerLog().error(QStringLiteral("Exception: ") + exception.title(),
                          {{QStringLiteral("at"), exceptionPosition(exception, m_packageFolder)}});
    }

    void render(extensions::views::VantrelViewState state, extensions::views::CommandViewController::EventSender send) override {
        if (m_view) m_view->controller().render(std::move(state), std::move(send));
    }
    void renderFailed(const QString& message) override {
        if (m_view) m_view->controller().renderFailed(message);
    }
    void setView(ExtensionCommandView* view) { m_view = view; }

    std::optional<JSException> exception() const { return m_exception; }
    const QString& packageFolder() const { return m_packageFolder; }
    // What stops the running command (empty once it has ended).
    void setCancel(std::function<void()> cancel) { m_cancel = std::move(cancel); }
    bool showedToast() const { return m_toastId.has_value(); }

private:
    QPointer<ExtensionCommandView> m_view;
    LauncherPresenter* m_presenter;
    std::function<void()> m_cancel;
    QString m_packageFolder;
    Toast m_toast;
    std::optional<LauncherPresenter::ToastId> m_toastId;
    std::optional<JSException> m_exception;
};

// Prints a running command's output on the terminal (or collects it for --json).
class TerminalCommandPresenter : public extensions::CommandPresenter {
public:
    TerminalCommandPresenter(bool json, QString packageFolder) : m_json(json), m_packageFolder(std::move(packageFolder)) {}

    void showToast(const QString& style, const QString& title, const std::optional<QString>& message) override {
        QJsonObject event{{QStringLiteral("type"), style == QLatin1String("hud") ? QStringLiteral("hud") : QStringLiteral("toast")},
                          {QStringLiteral("title"), title}};
        if (style != QLatin1String("hud")) event.insert(QStringLiteral("style"), style);
        if (message) event.insert(QStringLiteral("message"), *message);
        const QString suffix = message ? QStringLiteral(" – ") + *message : QString();
        emitEvent(event, style == QLatin1String("hud") ? QStringLiteral("HUD: ") + title + suffix
                                                      : QStringLiteral("Toast (%1): %2%3").arg(style, title, suffix));
    }
    void hideToast() override { emitEvent({{QStringLiteral("type"), QStringLiteral("hideToast")}}, QStringLiteral("Toast hidden")); }
    void changeToast(const std::optional<QString>& style, const std::optional<QString>& title,
                     const std::optional<QString>& message) override {
        QJsonObject event{{QStringLiteral("type"), QStringLiteral("changeToast")}};
        QStringList parts;
        if (style) {
            event.insert(QStringLiteral("style"), *style);
            parts << QStringLiteral("style ") + *style;
        }
        if (title) {
            event.insert(QStringLiteral("title"), *title);
            parts << QStringLiteral("title ") + *title;
        }
        if (message) {
            event.insert(QStringLiteral("message"), *message);
            parts << QStringLiteral("message ") + *message;
        }
        emitEvent(event, QStringLiteral("Toast changed: ") + parts.join(QStringLiteral(", ")));
    }
    void log(const QString& level, const QString& text) override {
        emitEvent({{QStringLiteral("type"), QStringLiteral("log")}, {QStringLiteral("level"), level}, {QStringLiteral("message"), text}},
                  QStringLiteral("Log [%1]: %2").arg(level, text));
    }
    void showException(const JSException& exception) override {
        m_exception = exception;
        QJsonObject event = exception.toDictionary();
        event.insert(QStringLiteral("type"), QStringLiteral("exception"));
        const QString position = exceptionPosition(exception, m_packageFolder);
        if (!position.isEmpty()) event.insert(QStringLiteral("position"), position);
        emitEvent(event, exception.title() + (position.isEmpty() ? QString() : QStringLiteral("\n    at ") + position));
    }
    void closeWindow() override { emitEvent({{QStringLiteral("type"), QStringLiteral("closeWindow")}}, QStringLiteral("Window closed")); }

    void render(extensions::views::VantrelViewState state, extensions::views::CommandViewController::EventSender) override {
        m_state = std::move(state);
        m_renderError.reset();
        if (onRender) onRender();
    }
    void renderFailed(const QString& message) override {
        m_renderError = message;
        if (onRender) onRender();
    }

    QJsonArray events() const { return m_events; }
    bool hadException() const { return m_exception.has_value(); }
    const std::optional<extensions::views::VantrelViewState>& viewState() const { return m_state; }
    const std::optional<QString>& renderError() const { return m_renderError; }
    std::function<void()> onRender;

private:
    void emitEvent(const QJsonObject& event, const QString& line) {
        m_events.append(event);
        if (m_json) return;
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    }

    bool m_json;
    QString m_packageFolder;
    QJsonArray m_events;
    std::optional<JSException> m_exception;
    std::optional<extensions::views::VantrelViewState> m_state;
    std::optional<QString> m_renderError;
};

// The typed view as an indented outline: one line per node, kind and title.
void printOutline(const extensions::views::CommandViewModel& model) {
    namespace views = extensions::views;
    std::printf("commandView\n");
    for (const views::ViewModel& view : model.body) {
        const views::ViewModelNode& node = views::nodeOf(view);
        const bool selected = model.selectedView.value == node.id;
        std::printf("  %s \"%s\"%s\n", qPrintable(views::kindName(node.kind)), qPrintable(views::titleOf(view)),
                    selected ? " (shown)" : "");
        if (const auto* list = std::get_if<views::ListViewModel>(&view)) {
            for (const views::ListSectionViewModel& section : list->sections) {
                std::printf("    listViewSection \"%s\"\n", qPrintable(section.title.value_or(QString())));
                for (const views::ListViewItemModel& item : section.items)
                    std::printf("      listViewItem \"%s\"\n", qPrintable(item.title));
            }
        } else if (const auto* form = std::get_if<views::FormViewModel>(&view)) {
            for (const views::FormItemViewModel& item : form->items)
                std::printf("    %s \"%s\"\n", qPrintable(views::kindName(item.node.kind)), qPrintable(item.title.value_or(QString())));
        } else if (const auto* detail = std::get_if<views::DetailViewModel>(&view)) {
            std::printf("    markdown: %d characters\n", static_cast<int>(detail->markdown.value_or(QString()).size()));
        }
    }
    std::fflush(stdout);
}

// How long the tree must stay unchanged after a render before `vantrel run`
// prints it, and how long it waits for a first render at all.
constexpr int kSettleMilliseconds = 300;
constexpr int kFirstRenderMilliseconds = 30000;
constexpr int kAfterFinishMilliseconds = 3000;

int runViewCommandFromCommandLine(const ExtensionPackage& package, const QString& key, bool viewJson) {
    auto output = std::make_shared<TerminalCommandPresenter>(true, package.folder());
    QEventLoop loop;
    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(kSettleMilliseconds);
    QObject::connect(&settle, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    output->onRender = [&settle] { settle.start(); };
    std::optional<Result<QJsonValue>> outcome;
    ExtensionRuntime::shared().api().loadCommand(package, output, [&](Result<QJsonValue> result) {
        outcome = std::move(result);
        if (outcome->isFailure()) {
            loop.quit();
        } else if (!output->viewState() && !output->renderError()) {
            // The function finished without a render: one may still follow from its timers.
            deadline.start(kAfterFinishMilliseconds);
        }
    });
    deadline.start(kFirstRenderMilliseconds);
    if (!outcome || outcome->isSuccess()) loop.exec();
    const QString commandId = package.launchCommand->id.rawValue();
    int status = 0;
    if (output->renderError()) {
        std::fprintf(stderr, "Render error: %s\n", qPrintable(*output->renderError()));
        status = 1;
    } else if (outcome && outcome->isFailure()) {
        std::fprintf(stderr, "Could not load command: %s\n", qPrintable(outcome->error().errorDescription()));
        status = 1;
    } else if (!output->viewState()) {
        std::fprintf(stderr, "'%s' rendered no view\n", qPrintable(key));
        status = 1;
    }
    if (status == 0) {
        if (viewJson) {
            const extensions::views::VantrelViewState& state = *output->viewState();
            QJsonObject report{{QStringLiteral("command"), key}, {QStringLiteral("view"), extensions::views::describe(state.model)}};
            if (const auto* shown = state.model.selected()) report.insert(QStringLiteral("shown"), extensions::views::describe(*shown));
            std::printf("%s", QJsonDocument(report).toJson(QJsonDocument::Indented).constData());
            std::fflush(stdout);
        } else {
            printOutline(output->viewState()->model);
        }
    }
    QEventLoop unloaded;
    bool done = false;
    ExtensionRuntime::shared().api().unloadCommand(commandId, [&](Result<QJsonValue>) {
        done = true;
        unloaded.quit();
    });
    QTimer::singleShot(5000, &unloaded, &QEventLoop::quit);
    if (!done) unloaded.exec();
    ExtensionRuntime::shared().client().kill();
    return status;
}

}  // namespace

CommandOutcome runExtensionCommand(ExtensionRegistry& registry, const ExtensionCommand& command, const CommandRunContext& context,
                                   LauncherPresenter* presenter) {
    (void)context;
    ExtensionPackage package;
    try {
        package = registry.package(command);
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Could not load package"), VantrelError::describe(error));
    }
    if (command.kind() == ExtensionCommandKind::view) return CommandOutcome::showView(command.packageCommandKey());
    auto output = std::make_shared<WindowCommandPresenter>(presenter, package.folder());
    const QString title = command.displayTitle();
    const QString commandId = package.launchCommand ? package.launchCommand->id.rawValue() : QString();
    // While it runs, the window says so; its Cancel button, and Escape,
    // unload the command: the host stops the script on the engine's own
    // thread (the host and other commands go on).
    auto stopped = std::make_shared<bool>(false);
    std::optional<LauncherPresenter::ToastId> running;
    if (presenter && presenter->isWindowVisible()) {
        auto stop = [commandId, stopped, title] {
            if (*stopped) return;
            *stopped = true;
            runnerLog().info(QStringLiteral("Stopping command: ") + title);
            ExtensionRuntime::shared().api().unloadCommand(commandId, [](Result<QJsonValue>) {});
        };
        output->setCancel(stop);
        running = presenter->showToast(Toast{Toast::Style::animated, QStringLiteral("Running ") + title, QString()}, stop);
    }
    configuredAPI().loadCommand(package, output, [output, presenter, title, stopped, running](Result<QJsonValue> result) {
        output->setCancel({});
        if (presenter && running && !output->showedToast()) presenter->hideToast(*running);
        if (*stopped) {
            runnerLog().info(QStringLiteral("Command stopped: ") + title);
            return;
        }
        if (result.isSuccess()) {
            // Nothing left to see: the window goes, as for any command that is done.
            if (presenter && running && !output->showedToast() && presenter->isWindowVisible()) presenter->hideWindow();
            return;
        }
        QString message = result.error().errorDescription();
        if (const auto exception = output->exception(); exception && exception->location) {
            message += QStringLiteral(" (") + exceptionPosition(*exception, output->packageFolder()) + QLatin1Char(')');
        }
        runnerLog().error(QStringLiteral("Could not load command: ") + title, {{QStringLiteral("error"), message}});
        if (presenter) presenter->tell(Toast{Toast::Style::failure, QStringLiteral("Could not load command"), message});
    });
    return CommandOutcome::done();
}

LauncherView* extensionCommandView(ExtensionRegistry& registry, const QString& key, LauncherPresenter* presenter) {
    if (!key.startsWith(ExtensionCommand::keyPrefix)) return nullptr;
    const auto command = registry.command(key);
    if (!command || command->kind() != ExtensionCommandKind::view) return nullptr;
    ExtensionPackage package;
    try {
        package = registry.package(*command);
    } catch (const std::exception& error) {
        if (presenter) presenter->tell(Toast{Toast::Style::failure, QStringLiteral("Could not load package"), VantrelError::describe(error)});
        return nullptr;
    }
    const QString commandId = package.launchCommand ? package.launchCommand->id.rawValue() : QString();
    auto output = std::make_shared<WindowCommandPresenter>(presenter, package.folder());
    const QString title = command->displayTitle();
    const auto load = [output, presenter, title, package] {
        ExtensionRuntime::shared().api().loadCommand(package, output, [output, presenter, title](Result<QJsonValue> result) {
            if (result.isSuccess()) return;
            QString message = result.error().errorDescription();
            if (message == QLatin1String("Command unloaded")) return;
            if (const auto exception = output->exception(); exception && exception->location)
                message += QStringLiteral(" (") + exceptionPosition(*exception, output->packageFolder()) + QLatin1Char(')');
            runnerLog().error(QStringLiteral("Could not load command: ") + title, {{QStringLiteral("error"), message}});
            if (presenter) presenter->tell(Toast{Toast::Style::failure, QStringLiteral("Could not load command"), message});
        });
    };
    ExtensionCommandView::Options options;
    options.commandId = key;
    options.title = title;
    if (package.id.isDevelopment()) {
        if (package.manifest && package.manifest->debug) {
            // "cmd" is the launcher's primary modifier: Ctrl here.
            const ExtensionManifest::KeyboardShortcut& manifestShortcut = package.manifest->debug->reloadShortcut;
            ModifierKeys modifiers;
            for (const QString& name : manifestShortcut.modifiers) {
                if (name == QLatin1String("cmd") || name == QLatin1String("ctrl")) modifiers.insert(ModifierKeys::control);
                if (name == QLatin1String("opt") || name == QLatin1String("alt")) modifiers.insert(ModifierKeys::option);
                if (name == QLatin1String("shift")) modifiers.insert(ModifierKeys::shift);
            }
            if (const auto reloadKey = KeyEquivalent::fromString(manifestShortcut.key.toLower()))
                options.reloadShortcut = KeyboardShortcut{modifiers, *reloadKey};
        }
        // Reloads the script in place: the view stays and takes the new renders.
        options.reload = [commandId, load] {
            ExtensionRuntime::shared().api().unloadCommand(commandId, [load, commandId](Result<QJsonValue>) {
                load();
                runnerLog().info(QStringLiteral("Command reloaded"), {{QStringLiteral("command"), commandId}});
            });
        };
    }
    const bool reloadable = static_cast<bool>(options.reload);
    auto* view = new ExtensionCommandView(std::move(options));
    output->setView(view);
    // The host died under the view (killed, crashed): its script is gone, and
    // the view says so instead of answering nothing.
    QObject::connect(&ExtensionRuntime::shared().client(), &extensions::ExtensionHostClient::interrupted, view, [view, reloadable] {
        view->controller().commandStopped(reloadable ? QStringLiteral("The extension host stopped. Reload the command to run it again.")
                                                     : QStringLiteral("The extension host stopped. Open the command again to run it."));
    });
    QObject::connect(view, &QObject::destroyed, [commandId] {
        runnerLog().info(QStringLiteral("Unloading command: ") + commandId);
        ExtensionRuntime::shared().api().unloadCommand(commandId, [commandId](Result<QJsonValue>) {
            runnerLog().info(QStringLiteral("Command unloaded: ") + commandId);
        });
    });
    load();
    return view;
}

std::optional<int> runExtensionCommandFromCommandLine(ExtensionRegistry& registry, const QStringList& arguments) {
    if (arguments.isEmpty() || !arguments.first().startsWith(ExtensionCommand::keyPrefix)) return std::nullopt;
    const QString key = arguments.first();
    const QStringList rest = arguments.mid(1);
    const bool json = rest.contains(QStringLiteral("--json"));
    const bool viewJson = rest.contains(QStringLiteral("--view-json"));
    for (const QString& argument : rest) {
        if (argument != QLatin1String("--json") && argument != QLatin1String("--view-json")) {
            std::fprintf(stderr, "vantrel run: unknown option '%s' (usage: vantrel run extension_<id> [--json | --view-json])\n",
                         qPrintable(argument));
            return 2;
        }
    }
    const auto command = registry.command(key);
    if (!command) {
        std::fprintf(stderr, "vantrel run: no extension command '%s' (see `vantrel extensions list`)\n", qPrintable(key));
        return 1;
    }
    ExtensionPackage package;
    try {
        package = registry.package(*command);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Could not load package: %s\n", qPrintable(VantrelError::describe(error)));
        return 1;
    }
    if (command->kind() == ExtensionCommandKind::view) return runViewCommandFromCommandLine(package, key, viewJson);
    if (viewJson) {
        std::fprintf(stderr, "vantrel run: '%s' shows no view (--view-json is for commands with a view)\n", qPrintable(key));
        return 2;
    }

    auto output = std::make_shared<TerminalCommandPresenter>(json, package.folder());
    std::optional<Result<QJsonValue>> outcome;
    QEventLoop loop;
    configuredAPI().loadCommand(package, output, [&](Result<QJsonValue> result) {
        outcome = std::move(result);
        loop.quit();
    });
    if (!outcome) loop.exec();
    const bool succeeded = outcome->isSuccess();
    if (json) {
        QJsonObject report{{QStringLiteral("command"), key}, {QStringLiteral("success"), succeeded}, {QStringLiteral("events"), output->events()}};
        if (!succeeded) report.insert(QStringLiteral("error"), outcome->error().errorDescription());
        std::printf("%s\n", QJsonDocument(report).toJson(QJsonDocument::Indented).constData());
    } else if (!succeeded && !output->hadException()) {
        std::fprintf(stderr, "Could not load command: %s\n", qPrintable(outcome->error().errorDescription()));
    }
    ExtensionRuntime::shared().client().kill();
    return succeeded ? 0 : 1;
}

}  // namespace vantrel
