#include "features/scripts/ScriptCommandsSource.h"

#include "features/scripts/ScriptCommandsService.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"

namespace vantrel {

ScriptCommandsSource::ScriptCommandsSource(ScriptCommandsService& service, NotificationCenter* center)
    : m_service(service),
      m_center(center ? center : &NotificationCenter::defaultCenter()),
      m_subscriptions(std::make_unique<QObject>()) {
    m_center->addObserver(QString(NotificationNames::scriptCommandsChanged), m_subscriptions.get(),
                          [this](const Notification&) { rebuild(); });
}

ScriptCommandsSource::~ScriptCommandsSource() {
    detach();
}

void ScriptCommandsSource::detach() {
    m_subscriptions.reset();
    std::lock_guard lock(m_lifetime->mutex);
    m_lifetime->alive = false;
}

SearchRecord ScriptCommandsSource::record(const ScriptCommand& command) {
    SearchRecord record;
    record.key = command.id;
    record.type = SearchRecord::ContentType::scriptCommand;
    record.source = SearchRecord::Source::scripts;
    record.name = command.displayName;
    record.path = command.scriptPath;
    if (!command.packageName.trimmed().isEmpty()) {
        record.category = command.packageName;
        record.keywords =
            SearchRecord::joinKeywords(command.packageName.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    return record;
}

std::vector<SearchRecord> ScriptCommandsSource::records(const std::vector<ScriptCommand>& commands) {
    std::vector<SearchRecord> list;
    list.reserve(commands.size());
    for (const auto& command : commands) list.push_back(record(command));
    return list;
}

void ScriptCommandsSource::remember(const std::vector<ScriptCommand>& commands) {
    QSet<QString> ids;
    for (const auto& command : commands) ids.insert(command.id);
    std::lock_guard lock(m_idsMutex);
    m_lastScriptIds = std::move(ids);
}

QSet<QString> ScriptCommandsSource::lastScriptIds() const {
    std::lock_guard lock(m_idsMutex);
    return m_lastScriptIds;
}

void ScriptCommandsSource::load(LoadCompletion completion) {
    loadRecords(false, std::move(completion));
}

void ScriptCommandsSource::refresh(LoadCompletion completion) {
    loadRecords(true, std::move(completion));
}

void ScriptCommandsSource::loadRecords(bool reloadDirectories, LoadCompletion completion) {
    std::weak_ptr<Lifetime> lifetime = m_lifetime;
    Queue::global().dispatch([this, lifetime, reloadDirectories, completion = std::move(completion)] {
        std::vector<SearchRecord> loaded;
        if (const auto alive = lifetime.lock()) {
            std::lock_guard lock(alive->mutex);
            if (alive->alive) {
                m_service.start();
                if (reloadDirectories) m_service.reloadAll();
                const auto commands = m_service.commands();
                remember(commands);
                loaded = records(commands);
            }
        }
        if (completion) completion(std::move(loaded));
    });
}

ScriptCommandsSourceChangeInfo ScriptCommandsSource::rebuild() {
    const auto commands = m_service.commands();
    ScriptCommandsSourceChangeInfo change;
    change.scriptIdsBeforeUpdate = lastScriptIds();
    for (const auto& command : commands) change.scriptIdsAfterUpdate.insert(command.id);
    remember(commands);

    DataSourceUpdate update;
    update.records[SearchRecord::Source::scripts] = records(commands);
    update.strategy = SearchUpdateStrategy::source();
    scriptCommandsLog().debug("Script records rebuilt",
                              {{QStringLiteral("count"), QString::number(commands.size())},
                               {QStringLiteral("added"), QString::number(change.addedIds().size())},
                               {QStringLiteral("removed"), QString::number(change.removedIds().size())}});
    notifyUpdate(update);
    m_center->post(QString(NotificationNames::scriptCommandsSourceChanged), QVariant::fromValue(change));
    return change;
}

}  // namespace vantrel
