#include "extensions/host/JSEngine.h"

#include <QJsonDocument>

#include <future>

// Exported by JavaScriptCore but declared only in its private headers: the
// execution time limit of a context group, used to stop runaway scripts.
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef ctx, void* context);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                                   JSShouldTerminateCallback callback, void* context);
}

namespace vantrel::extensions {

namespace {

// A JSStringRef owned for the scope.
class JSString {
public:
    explicit JSString(const QString& text)
        : m_string(JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(text.utf16()),
                                                static_cast<size_t>(text.size()))) {}
    explicit JSString(JSStringRef adopted) : m_string(adopted) {}
    ~JSString() {
        if (m_string) JSStringRelease(m_string);
    }
    JSString(const JSString&) = delete;
    JSString& operator=(const JSString&) = delete;
    JSStringRef get() const { return m_string; }
    QString toQString() const {
        if (!m_string) return {};
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(JSStringGetCharactersPtr(m_string)),
                                  static_cast<qsizetype>(JSStringGetLength(m_string)));
    }

private:
    JSStringRef m_string;
};

QString toQString(JSContextRef context, JSValueRef value) {
    JSValueRef exception = nullptr;
    JSString string(JSValueToStringCopy(context, value, &exception));
    if (exception || !string.get()) return {};
    return string.toQString();
}

JSValueRef property(JSContextRef context, JSObjectRef object, const QString& name) {
    JSString key(name);
    JSValueRef exception = nullptr;
    JSValueRef value = JSObjectGetProperty(context, object, key.get(), &exception);
    return exception ? nullptr : value;
}

using NativeBody = std::function<JSValueRef(JSContextRef, size_t, const JSValueRef[], JSValueRef*)>;

JSValueRef callNative(JSContextRef context, JSObjectRef function, JSObjectRef, size_t count, const JSValueRef arguments[],
                      JSValueRef* exception) {
    auto* body = static_cast<NativeBody*>(JSObjectGetPrivate(function));
    if (!body) return JSValueMakeUndefined(context);
    return (*body)(context, count, arguments, exception);
}

void finalizeNative(JSObjectRef object) { delete static_cast<NativeBody*>(JSObjectGetPrivate(object)); }

bool shouldTerminate(JSContextRef, void* engine) { return static_cast<JSEngine*>(engine)->isTerminating(); }

}  // namespace

std::shared_ptr<JSEngine> JSEngine::create(const QString& name) {
    std::shared_ptr<JSEngine> engine(new JSEngine(name));
    std::promise<std::thread::id> started;
    auto startedFuture = started.get_future();
    engine->m_thread = std::thread([raw = engine.get(), &started] {
        started.set_value(std::this_thread::get_id());
        raw->run();
    });
    engine->m_threadId = startedFuture.get();
    engine->sync([raw = engine.get()] { raw->createContext(); });
    return engine;
}

JSEngine::JSEngine(QString name) : m_name(std::move(name)), m_logger({QStringLiteral("JSEngine"), QStringLiteral("⚙️")}) {}

JSEngine::~JSEngine() {
    terminate();
    if (std::this_thread::get_id() == m_threadId) {
        // Dropped from its own queue: nothing can wait for the thread here.
        destroyContext();
        {
            std::lock_guard lock(m_queueMutex);
            m_stopping = true;
            m_queue.clear();
        }
        m_thread.detach();
        return;
    }
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back([this] { destroyContext(); });
        m_stopping = true;
    }
    m_queueCondition.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void JSEngine::run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueCondition.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty()) return;
            work = std::move(m_queue.front());
            m_queue.pop_front();
        }
        work();
    }
}

void JSEngine::async(std::function<void()> work) {
    {
        std::lock_guard lock(m_queueMutex);
        if (m_stopping) return;
        m_queue.push_back(std::move(work));
    }
    m_queueCondition.notify_one();
}

void JSEngine::sync(const std::function<void()>& work) {
    std::promise<void> done;
    auto future = done.get_future();
    {
        std::lock_guard lock(m_queueMutex);
        if (m_stopping) return;
        m_queue.push_back([&] {
            work();
            done.set_value();
        });
    }
    m_queueCondition.notify_one();
    future.wait();
}

void JSEngine::createContext() {
    m_group = JSContextGroupCreate();
    JSContextGroupSetExecutionTimeLimit(m_group, kTerminationCheckInterval, &shouldTerminate, this);
    m_context = JSGlobalContextCreateInGroup(m_group, nullptr);
    JSString contextName(m_name);
    JSGlobalContextSetName(m_context, contextName.get());
    JSClassDefinition definition = kJSClassDefinitionEmpty;
    definition.className = "NativeFunction";
    definition.callAsFunction = &callNative;
    definition.finalize = &finalizeNative;
    m_functionClass = JSClassCreate(&definition);
    m_logger.debug(QStringLiteral("Init"), {{QStringLiteral("name"), m_name}});
}

void JSEngine::destroyContext() {
    if (!m_context) return;
    for (auto& [handle, function] : m_callbacks) JSValueUnprotect(m_context, function);
    m_callbacks.clear();
    for (auto& [id, function] : m_completions) JSValueUnprotect(m_context, function);
    m_completions.clear();
    JSGlobalContextRelease(m_context);
    m_context = nullptr;
    JSContextGroupRelease(m_group);
    m_group = nullptr;
    JSClassRelease(m_functionClass);
    m_functionClass = nullptr;
}

void JSEngine::setExceptionHandler(ExceptionHandler handler) {
    std::lock_guard lock(m_handlersMutex);
    m_exceptionHandler = std::move(handler);
}

void JSEngine::setAPIHandler(APIHandler handler) {
    std::lock_guard lock(m_handlersMutex);
    m_apiHandler = std::move(handler);
}

void JSEngine::release(std::shared_ptr<JSEngine> engine) {
    if (engine && engine->isOnJSThread()) {
        // The last reference must not end on the engine's own thread: the
        // destructor waits for that thread.
        std::thread([engine = std::move(engine)]() mutable { engine.reset(); }).detach();
    }
}

void JSEngine::terminate() { m_terminating.store(true); }

JSObjectRef JSEngine::makeFunction(NativeBody body) {
    return JSObjectMake(m_context, m_functionClass, new NativeBody(std::move(body)));
}

std::optional<QJsonValue> JSEngine::toJson(JSValueRef value) {
    if (!value || JSValueIsUndefined(m_context, value)) return std::nullopt;
    JSValueRef exception = nullptr;
    JSString json(JSValueCreateJSONString(m_context, value, 0, &exception));
    if (exception || !json.get()) return std::nullopt;
    // Wrapped so that plain values (numbers, strings) parse as well.
    const QByteArray wrapped = "[" + json.toQString().toUtf8() + "]";
    const QJsonDocument document = QJsonDocument::fromJson(wrapped);
    if (!document.isArray() || document.array().isEmpty()) return std::nullopt;
    return document.array().first();
}

JSValueRef JSEngine::fromJson(const QJsonValue& value) {
    if (value.isUndefined()) return JSValueMakeUndefined(m_context);
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    JSString json(QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2)));
    JSValueRef out = JSValueMakeFromJSONString(m_context, json.get());
    return out ? out : JSValueMakeUndefined(m_context);
}

JSValueRef JSEngine::makeResultObject(const Result<QJsonValue>& result) {
    JSObjectRef object = JSObjectMake(m_context, nullptr, nullptr);
    const auto set = [&](const char* key, JSValueRef value) {
        JSString name(QString::fromLatin1(key));
        JSObjectSetProperty(m_context, object, name.get(), value, kJSPropertyAttributeNone, nullptr);
    };
    set("success", JSValueMakeBoolean(m_context, result.isSuccess()));
    if (result.isSuccess()) {
        if (!result.value().isUndefined()) set("value", fromJson(result.value()));
    } else {
        JSString message(result.error().errorDescription());
        set("error", JSValueMakeString(m_context, message.get()));
    }
    return object;
}

Result<QJsonValue> JSEngine::resultFromObject(JSValueRef value, const QString& invalidMessage) {
    if (!value || !JSValueIsObject(m_context, value)) return VantrelError(invalidMessage);
    JSObjectRef object = JSValueToObject(m_context, value, nullptr);
    JSValueRef success = property(m_context, object, QStringLiteral("success"));
    if (!success || !JSValueIsBoolean(m_context, success)) return VantrelError(invalidMessage);
    if (JSValueToBoolean(m_context, success)) {
        JSValueRef result = property(m_context, object, QStringLiteral("value"));
        return toJson(result).value_or(QJsonValue(QJsonValue::Undefined));
    }
    JSValueRef error = property(m_context, object, QStringLiteral("error"));
    return VantrelError(error && !JSValueIsUndefined(m_context, error) ? toQString(m_context, error) : QString());
}

void JSEngine::installHostFunctions() {
    JSObjectRef global = JSContextGetGlobalObject(m_context);
    JSObjectRef require = makeFunction([](JSContextRef context, size_t count, const JSValueRef arguments[], JSValueRef*) -> JSValueRef {
        if (count >= 1 && JSValueIsString(context, arguments[0]) &&
            toQString(context, arguments[0]) == QLatin1String("vantrel-commands")) {
            JSValueRef api = property(context, JSContextGetGlobalObject(context), QStringLiteral("Vantrel"));
            return api ? api : JSValueMakeUndefined(context);
        }
        return JSValueMakeUndefined(context);
    });
    JSString requireName(QStringLiteral("require"));
    JSObjectSetProperty(m_context, global, requireName.get(), require, kJSPropertyAttributeDontEnum, nullptr);

    JSObjectRef api = makeFunction([this](JSContextRef, size_t count, const JSValueRef arguments[], JSValueRef*) -> JSValueRef {
        return apiFunction(count, arguments);
    });
    JSString apiName(QStringLiteral("__VantrelAPI__"));
    JSObjectSetProperty(m_context, global, apiName.get(), api, kJSPropertyAttributeDontEnum, nullptr);
}

JSValueRef JSEngine::apiFunction(size_t count, const JSValueRef arguments[]) {
    const auto argument = [&](size_t index) -> JSValueRef {
        return index < count ? arguments[index] : JSValueMakeUndefined(m_context);
    };
    APICall call;
    call.nameSpace = toQString(m_context, argument(0));
    call.method = toQString(m_context, argument(1));
    call.arguments = toJson(argument(2)).value_or(QJsonObject()).toObject();
    call.callbackInfo = toJson(argument(4)).value_or(QJsonObject()).toObject();
    JSValueRef completionValue = argument(5);
    if (!JSValueIsObject(m_context, completionValue) ||
        !JSObjectIsFunction(m_context, JSValueToObject(m_context, completionValue, nullptr))) {
        m_logger.error(QStringLiteral("Call from JS without a completion: %1.%2").arg(call.nameSpace, call.method));
        return JSValueMakeUndefined(m_context);
    }
    JSValueRef callbackValue = argument(3);
    if (JSValueIsObject(m_context, callbackValue)) {
        JSObjectRef callback = JSValueToObject(m_context, callbackValue, nullptr);
        if (JSObjectIsFunction(m_context, callback)) {
            JSValueProtect(m_context, callback);
            const CallbackHandle handle = m_nextHandle++;
            m_callbacks.emplace(handle, callback);
            call.callback = handle;
        }
    }
    m_logger.debug(QStringLiteral("Call from JS: ") + call.nameSpace + QLatin1Char('.') + call.method);

    JSObjectRef completion = JSValueToObject(m_context, completionValue, nullptr);
    JSValueProtect(m_context, completion);
    const std::uint64_t completionId = m_nextHandle++;
    m_completions.emplace(completionId, completion);

    APIHandler handler;
    {
        std::lock_guard lock(m_handlersMutex);
        handler = m_apiHandler;
    }
    std::weak_ptr<JSEngine> weak = weak_from_this();
    auto reply = [weak, completionId](Result<QJsonValue> result) {
        auto engine = weak.lock();
        if (!engine) return;
        JSEngine* raw = engine.get();
        raw->async([raw, completionId, result = std::move(result)] {
            const auto found = raw->m_completions.find(completionId);
            if (found == raw->m_completions.end() || !raw->m_context) return;
            JSObjectRef function = found->second;
            raw->m_completions.erase(found);
            JSValueRef resultObject = raw->makeResultObject(result);
            JSValueRef exception = nullptr;
            JSObjectCallAsFunction(raw->m_context, function, nullptr, 1, &resultObject, &exception);
            JSValueUnprotect(raw->m_context, function);
            if (exception) raw->handleException(exception);
        });
        release(std::move(engine));
    };
    if (!handler) {
        reply(VantrelError(QStringLiteral("Invalid Vantrel API")));
    } else {
        handler(std::move(call), std::move(reply));
    }
    return JSValueMakeUndefined(m_context);
}

Result<bool> JSEngine::evaluate(const QString& script, const QString& url, bool translateWithSourceMap) {
    if (translateWithSourceMap) m_sourceMaps[url] = script;
    JSString source(script);
    JSString sourceURL(url);
    JSValueRef exception = nullptr;
    JSEvaluateScript(m_context, source.get(), nullptr, sourceURL.get(), 1, &exception);
    if (exception) {
        const auto converted = convertException(exception);
        handleException(exception);
        return VantrelError(converted ? converted->title() : toQString(m_context, exception));
    }
    return true;
}

void JSEngine::call(const QString& object, const QString& function, const QJsonArray& arguments, Completion completion) {
    m_logger.debug(QStringLiteral("Call to JS: ") + object + QLatin1Char('.') + function);
    JSObjectRef global = JSContextGetGlobalObject(m_context);
    JSValueRef target = property(m_context, global, object);
    JSObjectRef targetObject = target && JSValueIsObject(m_context, target) ? JSValueToObject(m_context, target, nullptr) : nullptr;
    JSValueRef functionValue = targetObject ? property(m_context, targetObject, function) : nullptr;
    JSObjectRef functionObject = functionValue && JSValueIsObject(m_context, functionValue)
                                     ? JSValueToObject(m_context, functionValue, nullptr)
                                     : nullptr;
    if (!functionObject || !JSObjectIsFunction(m_context, functionObject)) {
        // Reported like a script's own TypeError.
        JSException missing;
        missing.name = QStringLiteral("TypeError");
        missing.message = QStringLiteral("%1.%2 is not a function").arg(object, function);
        m_logger.error(QStringLiteral("JavaScript Exception: ") + missing.description());
        ExceptionHandler handler;
        {
            std::lock_guard lock(m_handlersMutex);
            handler = m_exceptionHandler;
        }
        if (handler) handler(missing);
        return;
    }
    auto shared = std::make_shared<Completion>(std::move(completion));
    auto called = std::make_shared<bool>(false);
    JSObjectRef completionFunction = makeFunction(
        [this, shared, called](JSContextRef, size_t count, const JSValueRef args[], JSValueRef*) -> JSValueRef {
            if (*called) return JSValueMakeUndefined(m_context);
            *called = true;
            JSValueRef value = count > 0 ? args[0] : nullptr;
            Result<QJsonValue> result = resultFromObject(value, QStringLiteral("Invalid result object"));
            // A failure may carry what was thrown: report it like an uncaught exception.
            if (result.isFailure() && value && JSValueIsObject(m_context, value)) {
                JSValueRef thrown = property(m_context, JSValueToObject(m_context, value, nullptr), QStringLiteral("exception"));
                if (thrown && JSValueIsObject(m_context, thrown)) handleException(thrown);
            }
            (*shared)(std::move(result));
            return JSValueMakeUndefined(m_context);
        });
    std::vector<JSValueRef> values;
    values.reserve(static_cast<size_t>(arguments.size()) + 1);
    for (const QJsonValue& argument : arguments) values.push_back(fromJson(argument));
    values.push_back(completionFunction);
    JSValueRef exception = nullptr;
    JSObjectCallAsFunction(m_context, functionObject, targetObject, values.size(), values.data(), &exception);
    if (exception) handleException(exception);
}

void JSEngine::callback(CallbackHandle handle, const QString& type, const QJsonValue& data, const std::optional<QString>& error,
                        bool expectsAnswer, Completion completion) {
    const auto found = m_callbacks.find(handle);
    if (found == m_callbacks.end()) {
        completion(QJsonValue(QJsonValue::Null));
        return;
    }
    JSObjectRef function = found->second;
    auto shared = std::make_shared<Completion>(std::move(completion));
    auto answered = std::make_shared<bool>(false);
    JSValueRef argument = nullptr;
    if (error) {
        argument = makeResultObject(VantrelError(*error));
    } else {
        JSObjectRef value = JSObjectMake(m_context, nullptr, nullptr);
        const auto set = [&](const char* key, JSValueRef v) {
            JSString name(QString::fromLatin1(key));
            JSObjectSetProperty(m_context, value, name.get(), v, kJSPropertyAttributeNone, nullptr);
        };
        JSString typeString(type);
        set("type", JSValueMakeString(m_context, typeString.get()));
        set("data", data.isUndefined() ? JSValueMakeNull(m_context) : fromJson(data));
        if (expectsAnswer) {
            set("completion", makeFunction([this, shared, answered](JSContextRef, size_t count, const JSValueRef args[], JSValueRef*) -> JSValueRef {
                    if (*answered) return JSValueMakeUndefined(m_context);
                    *answered = true;
                    (*shared)(resultFromObject(count > 0 ? args[0] : nullptr, QStringLiteral("Invalid callback result")));
                    return JSValueMakeUndefined(m_context);
                }));
        }
        JSObjectRef wrapper = JSObjectMake(m_context, nullptr, nullptr);
        JSString success(QStringLiteral("success"));
        JSString valueName(QStringLiteral("value"));
        JSObjectSetProperty(m_context, wrapper, success.get(), JSValueMakeBoolean(m_context, true), kJSPropertyAttributeNone, nullptr);
        JSObjectSetProperty(m_context, wrapper, valueName.get(), value, kJSPropertyAttributeNone, nullptr);
        argument = wrapper;
    }
    JSValueRef exception = nullptr;
    JSObjectCallAsFunction(m_context, function, nullptr, 1, &argument, &exception);
    if (exception) handleException(exception);
    if (!expectsAnswer || error) {
        *answered = true;
        (*shared)(QJsonValue(QJsonValue::Null));
    }
}

void JSEngine::releaseCallback(CallbackHandle handle) {
    const auto found = m_callbacks.find(handle);
    if (found == m_callbacks.end()) return;
    if (m_context) JSValueUnprotect(m_context, found->second);
    m_callbacks.erase(found);
}

bool JSEngine::hasCallback(CallbackHandle handle) const { return m_callbacks.count(handle) > 0; }

std::optional<JSException> JSEngine::convertException(JSValueRef exception) {
    if (!exception || !JSValueIsObject(m_context, exception)) return std::nullopt;
    JSObjectRef object = JSValueToObject(m_context, exception, nullptr);
    JSException out;
    const auto text = [&](const QString& key) -> std::optional<QString> {
        JSValueRef value = property(m_context, object, key);
        if (!value || JSValueIsUndefined(m_context, value) || JSValueIsNull(m_context, value)) return std::nullopt;
        return toQString(m_context, value);
    };
    const auto number = [&](const QString& key) -> std::optional<std::int64_t> {
        JSValueRef value = property(m_context, object, key);
        if (!value || !JSValueIsNumber(m_context, value)) return std::nullopt;
        return static_cast<std::int64_t>(JSValueToNumber(m_context, value, nullptr));
    };
    out.name = text(QStringLiteral("name")).value_or(QStringLiteral("Error"));
    out.message = text(QStringLiteral("message"));
    out.stack = text(QStringLiteral("stack"));
    const auto source = text(QStringLiteral("sourceURL"));
    const auto line = number(QStringLiteral("line"));
    const auto column = number(QStringLiteral("column"));
    if (source && line && column) {
        // JavaScriptCore counts columns from 1; locations count them from 0
        // like source maps do.
        out.location = JSException::Location{*source, *line, std::max<std::int64_t>(*column - 1, 0), std::nullopt};
    }
    return out;
}

void JSEngine::handleException(JSValueRef exception) {
    if (m_terminating.load()) return;  // the end of a terminated script is no error of its own
    auto converted = convertException(exception);
    if (!converted) {
        m_logger.error(QStringLiteral("Invalid JavaScript Exception: ") + toQString(m_context, exception));
        return;
    }
    m_logger.error(QStringLiteral("JavaScript Exception: ") + converted->description());
    translate(*converted);
    ExceptionHandler handler;
    {
        std::lock_guard lock(m_handlersMutex);
        handler = m_exceptionHandler;
    }
    if (handler) handler(*converted);
}

void JSEngine::translate(JSException& exception) {
    if (!exception.location) return;
    const auto entry = m_sourceMaps.find(exception.location->source);
    if (entry == m_sourceMaps.end()) return;
    if (const auto* generated = std::get_if<QString>(&entry->second)) {
        auto parsed = SourceMap::fromGeneratedCode(*generated);
        if (parsed.isFailure()) {
            m_logger.error(QStringLiteral("Source map data couldn't be extracted from generated code"),
                           {{QStringLiteral("error"), parsed.error().errorDescription()}});
            return;
        }
        entry->second = std::make_shared<SourceMap>(std::move(parsed).value());
    }
    const auto& map = std::get<std::shared_ptr<SourceMap>>(entry->second);
    const auto target = map->translate(exception.location->line, exception.location->column);
    if (target.isFailure()) {
        m_logger.error(QStringLiteral("Source map was unable to translate to original source code location"),
                       {{QStringLiteral("error"), target.error().errorDescription()}});
        return;
    }
    exception.location = JSException::Location{target.value().fileName, target.value().line, target.value().column, target.value().end};
}

}  // namespace vantrel::extensions
