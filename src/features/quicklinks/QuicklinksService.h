#pragma once

#include "data/QuicklinksRepository.h"
#include "data/Records.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class NotificationCenter;

// The stored quicklinks. Every insert, update and delete posts
// "quicklinksDidChange" on the centre, on the calling thread. Database
// failures throw VantrelError.
class QuicklinksService {
public:
    explicit QuicklinksService(std::shared_ptr<QuicklinksRepository> repository, NotificationCenter* center = nullptr);

    // All of them, by name.
    std::vector<QuicklinkRecord> quicklinks() const;
    std::vector<QuicklinkRecord> enabledQuicklinks() const;
    std::optional<QuicklinkRecord> quicklink(qint64 id) const;
    // By the id of its search record ("quicklink_7") or its plain number ("7").
    std::optional<QuicklinkRecord> quicklink(const QString& key) const;

    // Stores a new quicklink (updatedAt is now); returns it with its id.
    QuicklinkRecord create(QuicklinkRecord record);
    // Throws "Cannot find Quicklink <id>" when it is not stored.
    QuicklinkRecord update(QuicklinkRecord record);
    void remove(qint64 id);
    // Returns how many there were.
    int removeAll();

    // The id of a quicklink's search record and command: "quicklink_" + id.
    static QString key(qint64 id);
    static std::optional<qint64> idFromKey(const QString& key);
    static constexpr QLatin1String keyPrefix{"quicklink_"};

    const std::shared_ptr<QuicklinksRepository>& repository() const { return m_repository; }

private:
    void changed() const;

    std::shared_ptr<QuicklinksRepository> m_repository;
    NotificationCenter* m_center;
};

}  // namespace vantrel
