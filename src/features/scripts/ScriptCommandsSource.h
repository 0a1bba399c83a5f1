#pragma once

#include "features/scripts/ScriptCommand.h"
#include "search/DataSource.h"

#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

class NotificationCenter;
class ScriptCommandsService;

// Which script commands a rebuild of the script records dropped and added.
struct ScriptCommandsSourceChangeInfo {
    QSet<QString> scriptIdsBeforeUpdate;
    QSet<QString> scriptIdsAfterUpdate;

    QSet<QString> removedIds() const { return scriptIdsBeforeUpdate - scriptIdsAfterUpdate; }
    QSet<QString> addedIds() const { return scriptIdsAfterUpdate - scriptIdsBeforeUpdate; }
    bool operator==(const ScriptCommandsSourceChangeInfo&) const = default;
};

// The script commands of the script commands service as search records
// (source `scripts`, type scriptCommand, key = the command id, name = its
// title, category and keywords = its package name, path = the script).
//
// load() starts the service (in the background) and completes with its
// records. Whenever the service posts "vantrel_scriptCommandsChanged", the
// records are rebuilt and handed to didUpdate, then
// "scriptCommandsSourceChanged" is posted with the ScriptCommandsSourceChangeInfo
// as its object.
class ScriptCommandsSource : public DataSource {
public:
    explicit ScriptCommandsSource(ScriptCommandsService& service, NotificationCenter* center = nullptr);
    ~ScriptCommandsSource() override;
    // Stops using the service: waits for a load that is running, and loads
    // after this deliver nothing. The owner of the service calls it before the
    // service goes (the search engine may keep this source longer).
    void detach();

    SearchRecord::Source source() const override { return SearchRecord::Source::scripts; }
    void load(LoadCompletion completion) override;
    // Reparses every directory, then completes with the records.
    void refresh(LoadCompletion completion) override;

    // Rebuilds the records from the service's commands now: didUpdate, then
    // the change notification. Returns the change.
    ScriptCommandsSourceChangeInfo rebuild();

    QSet<QString> lastScriptIds() const;

    static SearchRecord record(const ScriptCommand& command);
    static std::vector<SearchRecord> records(const std::vector<ScriptCommand>& commands);

private:
    struct Lifetime {
        std::mutex mutex;
        bool alive = true;
    };
    void remember(const std::vector<ScriptCommand>& commands);
    // On a global queue, while this source lives: starts the service (reloading
    // every directory first when asked), remembers the ids and hands over the records.
    void loadRecords(bool reloadDirectories, LoadCompletion completion);

    ScriptCommandsService& m_service;
    NotificationCenter* m_center;
    std::unique_ptr<QObject> m_subscriptions;
    std::shared_ptr<Lifetime> m_lifetime = std::make_shared<Lifetime>();
    mutable std::mutex m_idsMutex;
    QSet<QString> m_lastScriptIds;
};

}  // namespace vantrel

Q_DECLARE_METATYPE(vantrel::ScriptCommandsSourceChangeInfo)
