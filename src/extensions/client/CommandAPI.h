#pragma once

#include "extensions/client/CommandPresenter.h"
#include "extensions/packages/ExtensionPackage.h"
#include "extensions/protocol/Messages.h"
#include "kit/Logger.h"
#include "kit/Promise.h"

#include <QJsonObject>
#include <QJsonValue>

#include <functional>
#include <memory>
#include <optional>

namespace vantrel::extensions {

// The launcher's side of one running command: performs the methods its
// script calls. Lives from the command's load to its unload.
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

    CommandAPI(QString id, ExtensionPackage package, std::shared_ptr<CommandPresenter> presenter);
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

    // The command's own log (category named after the extension).
    const Logger& logger() const { return m_logger; }

private:
    QString m_id;
    ExtensionPackage m_package;
    std::shared_ptr<CommandPresenter> m_presenter;
    bool m_hasToast = false;
    Logger m_logger;
};

}  // namespace vantrel::extensions
