#include "features/quicklinks/QuicklinksService.h"

#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <QDateTime>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Quicklinks"), QStringLiteral("🔗")});
    return logger;
}

VantrelError missing(qint64 id) {
    return VantrelError(QStringLiteral("Cannot find Quicklink ") + QString::number(id));
}

}  // namespace

QuicklinksService::QuicklinksService(std::shared_ptr<QuicklinksRepository> repository, NotificationCenter* center)
    : m_repository(std::move(repository)), m_center(center ? center : &NotificationCenter::defaultCenter()) {}

std::vector<QuicklinkRecord> QuicklinksService::quicklinks() const {
    return m_repository->readAll();
}

std::vector<QuicklinkRecord> QuicklinksService::enabledQuicklinks() const {
    std::vector<QuicklinkRecord> enabled;
    for (QuicklinkRecord& record : m_repository->readAll())
        if (record.isEnabled) enabled.push_back(std::move(record));
    return enabled;
}

std::optional<QuicklinkRecord> QuicklinksService::quicklink(qint64 id) const {
    return m_repository->record(id);
}

std::optional<QuicklinkRecord> QuicklinksService::quicklink(const QString& key) const {
    std::optional<qint64> id = idFromKey(key);
    if (!id) {
        bool numeric = false;
        const qint64 plain = key.toLongLong(&numeric);
        if (numeric) id = plain;
    }
    return id ? quicklink(*id) : std::nullopt;
}

QuicklinkRecord QuicklinksService::create(QuicklinkRecord record) {
    record.id.reset();
    record.updatedAt = QDateTime::currentDateTimeUtc();
    QuicklinkRecord stored = m_repository->create(record);
    log().info("Created quicklink", {{QStringLiteral("id"), QString::number(stored.id.value_or(-1))}});
    changed();
    return stored;
}

QuicklinkRecord QuicklinksService::update(QuicklinkRecord record) {
    if (!record.id) throw VantrelError(QStringLiteral("Cannot find Quicklink without an id"));
    record.updatedAt = QDateTime::currentDateTimeUtc();
    if (!m_repository->update(record)) throw missing(*record.id);
    changed();
    return record;
}

void QuicklinksService::remove(qint64 id) {
    if (!m_repository->deleteRecord(id)) throw missing(id);
    changed();
}

int QuicklinksService::removeAll() {
    int count = 0;
    for (const QuicklinkRecord& record : m_repository->readAll())
        if (record.id && m_repository->deleteRecord(*record.id)) ++count;
    changed();
    return count;
}

QString QuicklinksService::key(qint64 id) {
    return QString(keyPrefix) + QString::number(id);
}

std::optional<qint64> QuicklinksService::idFromKey(const QString& key) {
    if (!key.startsWith(keyPrefix)) return std::nullopt;
    bool ok = false;
    const qint64 id = key.mid(keyPrefix.size()).toLongLong(&ok);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

void QuicklinksService::changed() const {
    m_center->post(QString(NotificationNames::quicklinksDidChange));
}

}  // namespace vantrel
