#pragma once

#include "extensions/client/AppManager.h"
#include "extensions/client/CommandPresenter.h"
#include "extensions/packages/ExtensionPackage.h"
#include "extensions/protocol/Messages.h"
#include "kit/Logger.h"
#include "kit/Promise.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;

namespace vantrel {
class HTTPClient;
}

namespace vantrel::extensions {

// The launcher's side of one running command: performs the methods its
// script calls. Lives from the command's load to its unload; its timers and
// HTTP requests end with it (uninstall()), and what ends that way sends no
// event. Main thread.
class CommandAPI {
public:
    // An event for a callback the script registered with its call.
    struct CallbackParameters {
        QString type;
        CallbackMode mode = CallbackMode::once;
        QJsonValue data;
        std::optional<QString> error;
        std::function<void(Result<QJsonValue>)> completion;  // the script's answer, when wanted
    };
    using Callback = std::function<void(CallbackParameters)>;
    using Completion = std::function<void(Result<QJsonValue>)>;

    // What the desktop side of "app" and the HTTP requests of "net" go
    // through; either may be missing (those methods then fail).
    struct Services {
        std::shared_ptr<AppManager> appManager;
        HTTPClient* httpClient;
    };

    CommandAPI(QString id, ExtensionPackage package, std::shared_ptr<CommandPresenter> presenter, Services services);
    ~CommandAPI();
    CommandAPI(const CommandAPI&) = delete;
    CommandAPI& operator=(const CommandAPI&) = delete;

    const QString& id() const { return m_id; }
    const ExtensionPackage& package() const { return m_package; }
    const std::shared_ptr<CommandPresenter>& presenter() const { return m_presenter; }

    // Cancels what the command left running.
    void uninstall();

    // "debug"
    void ping(const Completion& completion);
    void log(const QJsonObject& arguments, const Completion& completion);
    // "utils"
    void uuid(const Completion& completion);
    void uuids(const QJsonObject& arguments, const Completion& completion);
    void base64Encode(const QJsonObject& arguments, const Completion& completion);
    void base64Decode(const QJsonObject& arguments, const Completion& completion);
    // "ui": builds the tree against the package's assets folder and hands
    // it to the presenter; events of the tree go back through `callback`.
    void render(const QJsonObject& arguments, const Callback& callback, const Completion& completion);
    // "app" toasts
    void showToast(const QJsonObject& arguments, const Completion& completion);
    void hideToast(const Completion& completion);
    void changeToast(const QJsonObject& arguments, const Completion& completion);
    // "app": opening, clipboard, timers (CommandAPI.cpp)
    void open(const QJsonObject& arguments, const Completion& completion);
    void setClipboardContents(const QJsonObject& arguments, const Completion& completion);
    void clearClipboardContents(const Completion& completion);
    void setTimeout(const QJsonObject& arguments, const Callback& callback, const Completion& completion);
    void clearTimeout(const QJsonObject& arguments, const Completion& completion);
    // "app": local storage (CommandAPIStorage.cpp). All items of one
    // extension are one JSON object in a string of the user defaults, under
    // localStorageKey().
    void allLocalStorageItems(const Completion& completion);
    void getLocalStorageItem(const QJsonObject& arguments, const Completion& completion);
    void setLocalStorageItem(const QJsonObject& arguments, const Completion& completion);
    void removeLocalStorageItem(const QJsonObject& arguments, const Completion& completion);
    void clearLocalStorage(const Completion& completion);
    QString localStorageKey() const;
    // "fs" (CommandAPIFiles.cpp)
    void readTextFile(const QJsonObject& arguments, const Completion& completion);
    void writeTextFile(const QJsonObject& arguments, const Completion& completion);
    void exists(const QJsonObject& arguments, const Completion& completion);
    void copy(const QJsonObject& arguments, const Completion& completion);
    void rename(const QJsonObject& arguments, const Completion& completion);
    void remove(const QJsonObject& arguments, const Completion& completion);
    void stat(const QJsonObject& arguments, const Completion& completion);
    void makeDirectory(const QJsonObject& arguments, const Completion& completion);
    void readDirectory(const QJsonObject& arguments, const Completion& completion);
    // "net" (CommandAPIHTTP.cpp)
    void resumeHTTPRequest(const QJsonObject& arguments, const Callback& callback, const Completion& completion);
    void cancelHTTPRequest(const QJsonObject& arguments, const Completion& completion);

    // What is still running: timers and HTTP requests.
    int pendingTimers() const { return static_cast<int>(m_timers.size()); }
    int pendingHTTPRequests() const { return static_cast<int>(m_httpRequests.size()); }

    // The command's own log (category named after the extension).
    const Logger& logger() const { return m_logger; }

private:
    struct HTTPRequestTask;
    void cancelHTTPRequests();
    Result<QJsonObject> readLocalStorage() const;
    void writeLocalStorage(const QJsonObject& values);

    QString m_id;
    ExtensionPackage m_package;
    std::shared_ptr<CommandPresenter> m_presenter;
    Services m_services;
    bool m_hasToast = false;
    Logger m_logger;
    // Owns the timers; anything queued on it ends with the command.
    std::unique_ptr<QObject> m_context;
    std::map<QString, QTimer*> m_timers;
    std::map<QString, std::shared_ptr<HTTPRequestTask>> m_httpRequests;
};

}  // namespace vantrel::extensions
