#include "extensions/client/VantrelAPI.h"

#include "net/HTTPClient.h"

#include <QPointer>

namespace vantrel::extensions {

namespace {

const QString kHostStopped = QStringLiteral("The extension host stopped while the command ran");
const QString kReloadFailed = QStringLiteral("The extension host stopped and the command could not run again: ");

// A command with a view lives on after its function finished: its tree's
// events and later renders arrive until it is unloaded.
bool showsView(const ExtensionPackage& package) {
    if (!package.manifest || !package.launchCommand) return false;
    for (const ExtensionManifest::Command& command : package.manifest->commands)
        if (ExtensionId::command(package.id, command.name).rawValue() == package.launchCommand->id.rawValue())
            return command.kind() == ExtensionCommandKind::view;
    return false;
}

}  // namespace

const QStringList& VantrelAPI::namespaces() {
    static const QStringList list{QStringLiteral("debug"), QStringLiteral("ui"), QStringLiteral("net"),
                                  QStringLiteral("app"),   QStringLiteral("fs"), QStringLiteral("utils")};
    return list;
}

const std::map<QString, QString>& VantrelAPI::methods() {
    static const std::map<QString, QString> table = [] {
        std::map<QString, QString> out;
        const std::pair<const char*, QStringList> groups[] = {
            {"debug", {QStringLiteral("ping"), QStringLiteral("log")}},
            {"ui", {QStringLiteral("render")}},
            {"net", {QStringLiteral("resumeHTTPRequest"), QStringLiteral("cancelHTTPRequest")}},
            {"app",
             {QStringLiteral("open"), QStringLiteral("setClipboardContents"), QStringLiteral("clearClipboardContents"),
              QStringLiteral("setTimeout"), QStringLiteral("clearTimeout"), QStringLiteral("allLocalStorageItems"),
              QStringLiteral("getLocalStorageItem"), QStringLiteral("setLocalStorageItem"), QStringLiteral("removeLocalStorageItem"),
              QStringLiteral("clearLocalStorage"), QStringLiteral("showToast"), QStringLiteral("hideToast"), QStringLiteral("changeToast")}},
            {"fs",
             {QStringLiteral("readTextFile"), QStringLiteral("writeTextFile"), QStringLiteral("exists"), QStringLiteral("copy"),
              QStringLiteral("rename"), QStringLiteral("remove"), QStringLiteral("stat"), QStringLiteral("makeDirectory"),
              QStringLiteral("readDirectory")}},
            {"utils", {QStringLiteral("uuid"), QStringLiteral("uuids"), QStringLiteral("base64Encode"), QStringLiteral("base64Decode")}},
        };
        for (const auto& [nameSpace, names] : groups) {
            for (const QString& name : names) out.emplace(name, QString::fromLatin1(nameSpace));
        }
        return out;
    }();
    return table;
}

VantrelAPI::VantrelAPI(ExtensionHostClient* client, QObject* parent)
    : QObject(parent),
      m_client(client),
      m_httpClient(new HTTPClient(nullptr, this)),
      m_logger({QStringLiteral("Vantrel API"), QStringLiteral("🧩")}) {
    client->setRequestHandler([this](const QString& name, const QJsonObject& params, Connection::Responder respond) {
        handleHostRequest(name, params, std::move(respond));
    });
    client->setOneWayHandler([this](const QString& name, const QJsonObject& params) { handleHostOneWay(name, params); });
    connect(client, &ExtensionHostClient::interrupted, this, [this] {
        // Commands with a view are loaded again in a new host and render
        // again into their view; those without one are reported through
        // their load, which failed with the connection.
        m_logger.info(QStringLiteral("Reloading views commands"));
        std::vector<std::shared_ptr<CommandAPI>> shown;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& [id, api] : m_commands)
                if (showsView(api->package())) shown.push_back(api);
        }
        for (const std::shared_ptr<CommandAPI>& api : shown) {
            const QString commandId = api->id();
            std::shared_ptr<CommandPresenter> presenter = api->presenter();
            loadCommand(api->package(), presenter, [this, self = QPointer<VantrelAPI>(this), commandId, presenter](Result<QJsonValue> result) {
                if (result.isSuccess() || result.error().errorDescription() == QLatin1String("Command unloaded")) return;
                const QString message = result.error().errorDescription();
                if (self) m_logger.error(QStringLiteral("Could not reload command: ") + commandId, {{QStringLiteral("error"), message}});
                if (presenter) presenter->renderFailed(kReloadFailed + message);
            });
        }
    });
    connect(client, &ExtensionHostClient::invalidated, this, [this] { m_logger.info(QStringLiteral("Reloading command...")); });
}

VantrelAPI::~VantrelAPI() {
    // Whatever still runs ends before the HTTP client goes.
    std::map<QString, std::shared_ptr<CommandAPI>> commands;
    {
        std::lock_guard lock(m_mutex);
        commands.swap(m_commands);
    }
    for (auto& [id, api] : commands) api->uninstall();
}

void VantrelAPI::configure(std::shared_ptr<AppManager> appManager) { m_appManager = std::move(appManager); }

void VantrelAPI::loadCommand(const ExtensionPackage& package, std::shared_ptr<CommandPresenter> presenter,
                             std::function<void(Result<QJsonValue>)> completion) {
    if (!package.launchCommand) {
        completion(VantrelError(QStringLiteral("No launch command set in package: ") + package.id.rawValue()));
        return;
    }
    const QString commandId = package.launchCommand->id.rawValue();
    auto api = std::make_shared<CommandAPI>(commandId, package, std::move(presenter), CommandAPI::Services{m_appManager, m_httpClient});
    {
        std::lock_guard lock(m_mutex);
        m_commands[commandId] = api;
    }
    const bool keepsView = showsView(package);
    // The client may answer after this registry is gone (it closes its
    // connection when it goes): then only the caller hears of it.
    QPointer<VantrelAPI> self = this;
    m_client->loadCommand(package.toJson(), [this, self, commandId, api, keepsView, completion = std::move(completion)](Result<QJsonValue> result) {
        if (!self) {
            api->uninstall();
            completion(std::move(result));
            return;
        }
        if (!keepsView || result.isFailure()) removeCommand(commandId, api.get());
        if (result.isFailure() && result.error().errorDescription() == QLatin1String("Connection lost")) {
            m_logger.error(QStringLiteral("Command interrupted: ") + commandId);
            emit commandInterrupted(commandId);
            completion(VantrelError(kHostStopped));
            return;
        }
        if (result.isSuccess()) m_logger.info(QStringLiteral("Loaded package: ") + commandId);
        completion(std::move(result));
    });
}

void VantrelAPI::unloadCommand(const QString& commandId, std::function<void(Result<QJsonValue>)> completion) {
    if (const std::shared_ptr<CommandAPI> api = command(commandId)) removeCommand(commandId, api.get());
    QPointer<VantrelAPI> self = this;
    m_client->unloadCommand(commandId, [this, self, commandId, completion = std::move(completion)](Result<QJsonValue> result) {
        if (self && result.isSuccess()) m_logger.info(QStringLiteral("Unloaded package: ") + commandId);
        completion(std::move(result));
    });
}

void VantrelAPI::removeCommand(const QString& commandId, const CommandAPI* api) {
    std::shared_ptr<CommandAPI> removed;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_commands.find(commandId);
        if (found == m_commands.end() || found->second.get() != api) return;
        removed = std::move(found->second);
        m_commands.erase(found);
    }
    removed->uninstall();
}

std::shared_ptr<CommandAPI> VantrelAPI::command(const QString& commandId) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_commands.find(commandId);
    return found == m_commands.end() ? nullptr : found->second;
}

QStringList VantrelAPI::runningCommands() const {
    std::lock_guard lock(m_mutex);
    QStringList out;
    for (const auto& [id, api] : m_commands) out << id;
    return out;
}

void VantrelAPI::dispatchMessage(const QString& commandId, const QString& nameSpace, const QString& method, const QJsonObject& arguments,
                                 CommandAPI::Callback callback, const QJsonObject& callbackInfo,
                                 std::function<void(Result<QJsonValue>)> completion) {
    Q_UNUSED(callbackInfo);
    const std::shared_ptr<CommandAPI> api = command(commandId);
    if (!api) {
        completion(VantrelError(QStringLiteral("Invalid command id: ") + commandId));
        return;
    }
    if (!namespaces().contains(nameSpace)) {
        completion(VantrelError(QStringLiteral("Unknown namespace: ") + nameSpace));
        return;
    }
    const auto found = methods().find(method);
    if (found == methods().end()) {
        completion(VantrelError(QStringLiteral("Unknown methodName: ") + method));
        return;
    }
    const QString name = nameSpace + QLatin1Char('.') + method;
    if (found->second != nameSpace) {
        completion(VantrelError(QStringLiteral("Unhandled message: ") + name));
        return;
    }
    // Errors are logged with the method's name before they reach the script.
    auto answer = [this, name, completion = std::move(completion)](Result<QJsonValue> result) {
        if (result.isFailure()) m_logger.error(name + QStringLiteral(": ") + result.error().errorDescription());
        completion(std::move(result));
    };
    using Arguments = const QJsonObject&;
    using Run = std::function<void(CommandAPI&, Arguments, const CommandAPI::Callback&, const CommandAPI::Completion&)>;
    static const std::map<QString, Run> perform{
        {QStringLiteral("ping"), [](CommandAPI& c, Arguments, auto&, auto& done) { c.ping(done); }},
        {QStringLiteral("log"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.log(a, done); }},
        {QStringLiteral("uuid"), [](CommandAPI& c, Arguments, auto&, auto& done) { c.uuid(done); }},
        {QStringLiteral("uuids"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.uuids(a, done); }},
        {QStringLiteral("base64Encode"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.base64Encode(a, done); }},
        {QStringLiteral("base64Decode"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.base64Decode(a, done); }},
        {QStringLiteral("showToast"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.showToast(a, done); }},
        {QStringLiteral("hideToast"), [](CommandAPI& c, Arguments, auto&, auto& done) { c.hideToast(done); }},
        {QStringLiteral("changeToast"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.changeToast(a, done); }},
        {QStringLiteral("render"), [](CommandAPI& c, Arguments a, auto& events, auto& done) { c.render(a, events, done); }},
        {QStringLiteral("open"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.open(a, done); }},
        {QStringLiteral("setClipboardContents"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.setClipboardContents(a, done); }},
        {QStringLiteral("clearClipboardContents"), [](CommandAPI& c, Arguments, auto&, auto& done) { c.clearClipboardContents(done); }},
        {QStringLiteral("setTimeout"), [](CommandAPI& c, Arguments a, auto& events, auto& done) { c.setTimeout(a, events, done); }},
        {QStringLiteral("clearTimeout"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.clearTimeout(a, done); }},
        {QStringLiteral("allLocalStorageItems"), [](CommandAPI& c, Arguments, auto&, auto& done) { c.allLocalStorageItems(done); }},
        {QStringLiteral("getLocalStorageItem"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.getLocalStorageItem(a, done); }},
        {QStringLiteral("setLocalStorageItem"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.setLocalStorageItem(a, done); }},
        {QStringLiteral("removeLocalStorageItem"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.removeLocalStorageItem(a, done); }},
        {QStringLiteral("clearLocalStorage"), [](CommandAPI& c, Arguments, auto&, auto& done) { c.clearLocalStorage(done); }},
        {QStringLiteral("readTextFile"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.readTextFile(a, done); }},
        {QStringLiteral("writeTextFile"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.writeTextFile(a, done); }},
        {QStringLiteral("exists"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.exists(a, done); }},
        {QStringLiteral("copy"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.copy(a, done); }},
        {QStringLiteral("rename"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.rename(a, done); }},
        {QStringLiteral("remove"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.remove(a, done); }},
        {QStringLiteral("stat"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.stat(a, done); }},
        {QStringLiteral("makeDirectory"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.makeDirectory(a, done); }},
        {QStringLiteral("readDirectory"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.readDirectory(a, done); }},
        {QStringLiteral("resumeHTTPRequest"), [](CommandAPI& c, Arguments a, auto& events, auto& done) { c.resumeHTTPRequest(a, events, done); }},
        {QStringLiteral("cancelHTTPRequest"), [](CommandAPI& c, Arguments a, auto&, auto& done) { c.cancelHTTPRequest(a, done); }},
    };
    if (const auto run = perform.find(method); run != perform.end()) return run->second(*api, arguments, callback, answer);
    // A method the API knows but this version does not carry out.
    answer(VantrelError(QStringLiteral("Not built yet: ") + name + QStringLiteral(" is not available in this version of Vantrel")));
}

void VantrelAPI::logException(const QString& commandId, const JSException& exception) {
    const std::shared_ptr<CommandAPI> api = command(commandId);
    if (!api) {
        m_logger.error(QStringLiteral("Invalid command API for: ") + commandId);
        return;
    }
    api->logger().error(QStringLiteral("Exception: ") + exception.description());
    if (api->presenter()) api->presenter()->showException(exception);
}

void VantrelAPI::handleHostRequest(const QString& name, const QJsonObject& params, Connection::Responder respond) {
    if (name != launcherRequest::dispatchMessage) {
        respond(VantrelError(QStringLiteral("Unknown request: ") + name));
        return;
    }
    const auto message = DispatchMessageParams::fromJson(params);
    if (message.isFailure()) {
        respond(message.error());
        return;
    }
    const DispatchMessageParams& call = message.value();
    CommandAPI::Callback callback = [](CommandAPI::CallbackParameters) {};
    if (call.callbackId) {
        QPointer<ExtensionHostClient> client = m_client;
        callback = [client, call](CommandAPI::CallbackParameters event) {
            CallbackParams forwarded{call.commandId, call.nameSpace, call.method, *call.callbackId, event.type,
                                  event.error ? QJsonValue() : event.data, event.mode, std::nullopt, static_cast<bool>(event.completion)};
            if (event.error) forwarded.error = errorDictionary(*event.error);
            if (!client) return;
            client->callback(forwarded, [completion = event.completion](Result<QJsonValue> result) {
                if (completion) completion(std::move(result));
            });
        };
    }
    dispatchMessage(call.commandId, call.nameSpace, call.method, call.arguments, std::move(callback), call.callbackInfo,
                    [respond = std::move(respond)](Result<QJsonValue> result) { respond(std::move(result)); });
}

void VantrelAPI::handleHostOneWay(const QString& name, const QJsonObject& params) {
    if (name == launcherRequest::ping) {
        m_logger.debug(QStringLiteral("pong"));
    } else if (name == launcherRequest::logException) {
        const auto message = LogExceptionParams::fromJson(params);
        if (message.isFailure()) {
            m_logger.error(message.error().errorDescription());
            return;
        }
        logException(message.value().commandId, JSException::fromDictionary(message.value().exception));
    } else {
        m_logger.warning(QStringLiteral("Unknown message from the extension host: ") + name);
    }
}

}  // namespace vantrel::extensions
