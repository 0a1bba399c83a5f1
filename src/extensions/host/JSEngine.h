#pragma once

#include "extensions/protocol/JSException.h"
#include "extensions/host/SourceMap.h"
#include "kit/Logger.h"
#include "kit/Promise.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <JavaScriptCore/JavaScript.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

namespace vantrel::extensions {

// One JavaScriptCore virtual machine (context group) and context for one
// running command, used only from its own thread, the engine's serial "js"
// queue. Scripts reach the host through two global functions:
//   require(name)      "vantrel-commands" -> the global Vantrel, else undefined
//   __VantrelAPI__(namespace, method, arguments, callback, callbackInfo, completion)
//
// Callback functions that scripts hand over stay in the engine (protected from
// the collector) and are named by a handle; whoever keeps a handle keeps no
// reference to the context, which ends with the engine.
//
// A script that never returns is ended by terminate(): the machine's execution
// time limit is checked every kTerminationCheckInterval seconds of running
// script, and once terminate() was called the check stops the script.
class JSEngine : public std::enable_shared_from_this<JSEngine> {
public:
    static constexpr double kTerminationCheckInterval = 0.05;

    using CallbackHandle = std::uint64_t;
    // Receives a result on the js thread.
    using Completion = std::function<void(Result<QJsonValue>)>;
    using ExceptionHandler = std::function<void(const JSException&)>;

    struct APICall {
        QString nameSpace;
        QString method;
        QJsonObject arguments;
        std::optional<CallbackHandle> callback;  // set when the script passed a function
        QJsonObject callbackInfo;
    };
    // Performs one call of a script; reply may be called from any thread,
    // once. Its value becomes {"success": true, "value": …} for the script,
    // its error {"success": false, "error": message}.
    using APIHandler = std::function<void(APICall call, std::function<void(Result<QJsonValue>)> reply)>;

    // Starts the js thread and creates the machine and the context named name.
    static std::shared_ptr<JSEngine> create(const QString& name);
    ~JSEngine();
    JSEngine(const JSEngine&) = delete;
    JSEngine& operator=(const JSEngine&) = delete;

    const QString& name() const { return m_name; }

    void setExceptionHandler(ExceptionHandler handler);
    void setAPIHandler(APIHandler handler);

    // Runs work on the js thread, in order. Work posted after the engine has
    // stopped is dropped.
    void async(std::function<void()> work);
    // Runs work on the js thread and waits for it (not from the js thread).
    void sync(const std::function<void()>& work);
    bool isOnJSThread() const { return std::this_thread::get_id() == m_threadId; }

    // The rest runs on the js thread only.

    // Installs "require" and "__VantrelAPI__" into the global object.
    void installHostFunctions();
    // Evaluates a script; its URL names it in exceptions. With a source map,
    // the script's exceptions are translated through its inline map (parsed
    // on the first exception that needs it).
    Result<bool> evaluate(const QString& script, const QString& url, bool translateWithSourceMap);
    // Calls global[object][function](...arguments, completion). The script
    // answers through completion with {"success": true, "value": …} or
    // {"success": false, "error": text}; anything else is "Invalid result
    // object". A missing function or a throw goes to the exception handler,
    // and completion is then not called.
    void call(const QString& object, const QString& function, const QJsonArray& arguments, Completion completion);
    // Calls a stored callback with {"success": true, "value": {"type", "data",
    // "completion"}} or {"success": false, "error": error}. With
    // expectsAnswer, completion gets the script's answer (through the
    // "completion" entry: a result object, else "Invalid callback result");
    // without, completion gets null once the function returned.
    void callback(CallbackHandle handle, const QString& type, const QJsonValue& data, const std::optional<QString>& error,
                  bool expectsAnswer, Completion completion);
    void releaseCallback(CallbackHandle handle);
    bool hasCallback(CallbackHandle handle) const;

    // Drops a reference; when that is on the engine's own thread, the drop
    // happens on another thread (the engine must never end on its own).
    static void release(std::shared_ptr<JSEngine> engine);

    // Stops whatever script runs now and any later one (any thread).
    void terminate();
    bool isTerminating() const { return m_terminating.load(); }

    // The uncaught-exception path: converts, logs, translates, reports.
    void handleException(JSValueRef exception);
    // A thrown value as a JSException (no translation); nullopt when it is not an object.
    std::optional<JSException> convertException(JSValueRef exception);

    JSGlobalContextRef context() const { return m_context; }

private:
    explicit JSEngine(QString name);
    void run();
    void createContext();
    void destroyContext();
    void translate(JSException& exception);

    JSValueRef makeResultObject(const Result<QJsonValue>& result);
    JSObjectRef makeFunction(std::function<JSValueRef(JSContextRef, size_t, const JSValueRef[], JSValueRef*)> body);
    std::optional<QJsonValue> toJson(JSValueRef value);
    JSValueRef fromJson(const QJsonValue& value);
    JSValueRef apiFunction(size_t count, const JSValueRef arguments[]);
    Result<QJsonValue> resultFromObject(JSValueRef value, const QString& invalidMessage);

    QString m_name;
    Logger m_logger;

    // The js queue.
    std::thread m_thread;
    std::thread::id m_threadId;
    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueCondition;
    std::deque<std::function<void()>> m_queue;
    bool m_stopping = false;
    std::atomic_bool m_terminating{false};

    // Owned by the js thread.
    JSContextGroupRef m_group = nullptr;
    JSGlobalContextRef m_context = nullptr;
    JSClassRef m_functionClass = nullptr;
    ExceptionHandler m_exceptionHandler;
    APIHandler m_apiHandler;
    std::map<CallbackHandle, JSObjectRef> m_callbacks;    // protected callback functions
    std::map<std::uint64_t, JSObjectRef> m_completions;   // protected completions awaiting an API reply
    CallbackHandle m_nextHandle = 1;
    using Mapping = std::variant<QString, std::shared_ptr<SourceMap>>;  // generated code, or its parsed map
    std::map<QString, Mapping> m_sourceMaps;
    mutable std::mutex m_handlersMutex;
};

}  // namespace vantrel::extensions
