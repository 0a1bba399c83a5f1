#include "extensions/host/JSEngines.h"

namespace vantrel::extensions {

JSEngines::JSEngines() : m_logger({QStringLiteral("JSEngines"), QStringLiteral("⚙️")}) {}

JSEngines::~JSEngines() { unloadAll(); }

void JSEngines::initJSEnvironment(const QString& commandId, const QString& commandName, const QJsonObject& environment,
                                  const CommandScripts& scripts, JSEngine::APIHandler apiHandler,
                                  JSEngine::ExceptionHandler exceptionHandler, Completion completion) {
    m_logger.info(QStringLiteral("Initializing JS environment"), {{QStringLiteral("command"), commandId}});
    if (!apiHandler) {
        completion(VantrelError(QStringLiteral("Invalid Vantrel API")));
        return;
    }
    std::shared_ptr<JSEngine> engine = JSEngine::create(commandName);
    engine->setExceptionHandler(std::move(exceptionHandler));
    engine->setAPIHandler(std::move(apiHandler));
    std::shared_ptr<JSEngine> previous;
    {
        std::lock_guard lock(m_mutex);
        auto& slot = m_engines[commandId];
        previous = std::move(slot);
        slot = engine;
    }
    previous.reset();  // a command loaded again starts afresh

    // The queue's work runs before the engine can end, so the raw pointer
    // stays valid in it; no reference to the engine is held on its thread.
    JSEngine* raw = engine.get();
    raw->async([this, raw, commandId, environment, scripts, completion = std::move(completion)]() mutable {
        auto fail = [&](const VantrelError& error) {
            remove(commandId, raw);
            completion(error);
        };
        raw->installHostFunctions();
        if (auto api = raw->evaluate(scripts.apiScript, scripts.apiURL, false); api.isFailure()) return fail(api.error());
        if (auto command = raw->evaluate(scripts.commandScript, scripts.commandURL, true); command.isFailure()) {
            return fail(command.error());
        }
        auto shared = std::make_shared<Completion>(std::move(completion));
        raw->call(QStringLiteral("VantrelCommand"), QStringLiteral("init"), QJsonArray{environment},
                  [this, raw, commandId, shared](Result<QJsonValue> result) {
                      if (raw->isTerminating()) return;
                      if (result.isFailure()) {
                          remove(commandId, raw);
                          (*shared)(result.error());
                          return;
                      }
                      m_logger.info(QStringLiteral("JS environment initialized"), {{QStringLiteral("command"), commandId}});
                      (*shared)(true);
                  });
    });
}

std::shared_ptr<JSEngine> JSEngines::engine(const QString& commandId) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_engines.find(commandId);
    return found == m_engines.end() ? nullptr : found->second;
}

std::size_t JSEngines::count() const {
    std::lock_guard lock(m_mutex);
    return m_engines.size();
}

void JSEngines::remove(const QString& commandId, const JSEngine* engine) {
    std::shared_ptr<JSEngine> removed;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_engines.find(commandId);
        if (found == m_engines.end() || found->second.get() != engine) return;
        removed = std::move(found->second);
        m_engines.erase(found);
    }
    // Called on the engine's own thread: it ends elsewhere.
    JSEngine::release(std::move(removed));
}

void JSEngines::unload(const QString& commandId) {
    std::shared_ptr<JSEngine> engine;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_engines.find(commandId);
        if (found != m_engines.end()) {
            engine = std::move(found->second);
            m_engines.erase(found);
        }
    }
    if (engine) engine->terminate();
    engine.reset();
    m_logger.info(QStringLiteral("Unloaded: ") + commandId);
}

void JSEngines::unloadAll() {
    std::map<QString, std::shared_ptr<JSEngine>> engines;
    {
        std::lock_guard lock(m_mutex);
        engines.swap(m_engines);
    }
    for (auto& [id, engine] : engines) engine->terminate();
    engines.clear();
    m_logger.info(QStringLiteral("Unloaded all"));
}

}  // namespace vantrel::extensions
