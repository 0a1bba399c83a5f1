#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

// One named notice, with the object it is about and extra details.
struct Notification {
    QString name;
    QVariant object;
    QVariantMap userInfo;
};

// Named notifications between subsystems. Observers are called synchronously
// on the thread that posts, in the order they were added. An observer is held
// weakly through its QObject: once that object is destroyed the observer is
// dropped without being called. Observers may add and remove observers while
// they are being called; one removed during a delivery is not called after its
// removal, one added during a delivery first hears the next post.
class NotificationCenter {
public:
    using Token = quint64;
    using Callback = std::function<void(const Notification&)>;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process-wide centre.
    static NotificationCenter& defaultCenter();

    // Calls `callback` for every notification named `name` (every notification
    // when the name is empty) whose object equals `object`, when one is given.
    // `observer` owns the registration: it ends when that object is destroyed or
    // when removeObserver(observer) is called. With a null observer only the
    // token ends it. Returns the registration's token (never 0).
    Token addObserver(const QString& name, QObject* observer, Callback callback,
                      std::optional<QVariant> object = std::nullopt);

    void removeObserver(Token token);
    // Every registration of the observer; with a name, only those for that name.
    void removeObserver(QObject* observer, const QString& name = QString());

    void post(const Notification& notification);
    void post(const QString& name, const QVariant& object = QVariant(), const QVariantMap& userInfo = QVariantMap());

    // Live registrations (for a name, or all of them when the name is empty).
    qsizetype observerCount(const QString& name = QString()) const;

private:
    struct Entry;
    void pruneLocked();

    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;
    Token m_nextToken = 1;
};

}  // namespace vantrel
