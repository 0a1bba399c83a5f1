#pragma once

#include "extensions/host/JSEngine.h"
#include "kit/Logger.h"

#include <QJsonObject>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

namespace vantrel::extensions {

// The two scripts a command runs: the shared API script, then its own.
struct CommandScripts {
    QString apiScript;
    QString apiURL;
    QString commandScript;
    QString commandURL;
};

// The engines of the running commands of one host process, by command id.
class JSEngines {
public:
    using Completion = std::function<void(Result<bool>)>;

    JSEngines();
    ~JSEngines();

    // Creates the command's engine (named after commandName), installs the
    // host functions, evaluates the API script and the command's script and
    // calls VantrelCommand.init(environment). The engine is kept under
    // commandId from the start, so that the command can be unloaded while its
    // function still runs; completion (on the js thread) gets the engine once
    // the command's function has finished, or the error (the engine is then
    // dropped).  A command unloaded before then never completes.
    void initJSEnvironment(const QString& commandId, const QString& commandName, const QJsonObject& environment,
                           const CommandScripts& scripts, JSEngine::APIHandler apiHandler,
                           JSEngine::ExceptionHandler exceptionHandler, Completion completion);

    std::shared_ptr<JSEngine> engine(const QString& commandId) const;
    std::size_t count() const;

    // Drops the command's engine (stopping a script that still runs).
    void unload(const QString& commandId);
    void unloadAll();

private:
    void remove(const QString& commandId, const JSEngine* engine);

    mutable std::mutex m_mutex;
    std::map<QString, std::shared_ptr<JSEngine>> m_engines;
    Logger m_logger;
};

}  // namespace vantrel::extensions
