#pragma once

#include "platform/PersonalData.h"

#include <memory>
#include <mutex>

namespace vantrel {

// PersonalDataStore over Evolution Data Server (its source registry, calendar
// and address-book factories on the session bus, through libecal and
// libebook). Calls are serialised; each one connects to the collection it
// needs and lets the connection go afterwards.
class EvolutionDataStore : public PersonalDataStore {
public:
    EvolutionDataStore();
    ~EvolutionDataStore() override;

    QString problem() override;
    std::vector<Collection> collections(Kind kind) override;
    QByteArray events(const QString& collectionUid, const QDateTime& from, const QDateTime& to) override;
    QByteArray tasks(const QString& collectionUid) override;
    void saveComponent(const QString& collectionUid, const QByteArray& component) override;
    QList<QByteArray> contacts(const QString& collectionUid, const QString& query) override;
    QString createCollection(Kind kind, const QString& name) override;
    void saveContact(const QString& collectionUid, const QByteArray& vcard) override;

    // The shared store of the process.
    static std::shared_ptr<EvolutionDataStore> shared();

private:
    struct State;
    std::unique_ptr<State> m_state;
    std::recursive_mutex m_mutex;
};

// A notification through org.freedesktop.Notifications on the session bus.
bool showDesktopNotification(const QString& summary, const QString& body, QString* problem);

}  // namespace vantrel
