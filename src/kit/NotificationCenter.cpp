#include "kit/NotificationCenter.h"

#include <algorithm>
#include <atomic>

namespace vantrel {

struct NotificationCenter::Entry {
    NotificationCenter::Token token = 0;
    QString name;
    std::optional<QVariant> object;
    bool hasObserver = false;
    QPointer<QObject> observer;
    QObject* observerAddress = nullptr;  // for removal by object; never dereferenced
    NotificationCenter::Callback callback;
    std::atomic<bool> removed{false};

    bool isAlive() const { return !removed.load() && (!hasObserver || !observer.isNull()); }
    bool matches(const Notification& notification) const {
        if (!name.isEmpty() && name != notification.name) return false;
        if (object && *object != notification.object) return false;
        return true;
    }
};

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, QObject* observer, Callback callback,
                                                          std::optional<QVariant> object) {
    auto entry = std::make_shared<Entry>();
    entry->name = name;
    entry->object = std::move(object);
    entry->hasObserver = observer != nullptr;
    entry->observer = observer;
    entry->observerAddress = observer;
    entry->callback = std::move(callback);
    std::lock_guard lock(m_mutex);
    pruneLocked();
    entry->token = m_nextToken++;
    m_entries.push_back(entry);
    return entry->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries)
        if (entry->token == token) entry->removed.store(true);
    pruneLocked();
}

void NotificationCenter::removeObserver(QObject* observer, const QString& name) {
    if (!observer) return;
    std::lock_guard lock(m_mutex);
    for (const auto& entry : m_entries)
        if (entry->observerAddress == observer && (name.isEmpty() || entry->name == name)) entry->removed.store(true);
    pruneLocked();
}

void NotificationCenter::post(const QString& name, const QVariant& object, const QVariantMap& userInfo) {
    post(Notification{name, object, userInfo});
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Entry>> snapshot;
    {
        std::lock_guard lock(m_mutex);
        pruneLocked();
        snapshot.reserve(m_entries.size());
        for (const auto& entry : m_entries)
            if (entry->matches(notification)) snapshot.push_back(entry);
    }
    for (const auto& entry : snapshot)
        if (entry->isAlive() && entry->callback) entry->callback(notification);
}

qsizetype NotificationCenter::observerCount(const QString& name) const {
    std::lock_guard lock(m_mutex);
    return std::count_if(m_entries.begin(), m_entries.end(), [&](const std::shared_ptr<Entry>& entry) {
        return entry->isAlive() && (name.isEmpty() || entry->name == name);
    });
}

void NotificationCenter::pruneLocked() {
    std::erase_if(m_entries, [](const std::shared_ptr<Entry>& entry) { return !entry->isAlive(); });
}

}  // namespace vantrel
