#include "data/ClipboardRepository.h"

#include "data/RecordCoding.h"
#include "kit/VantrelError.h"

namespace vantrel {

namespace {

using Columns = ClipboardRecord::Columns;

std::vector<ClipboardRecord> recordsFrom(const std::vector<Row>& rows) {
    std::vector<ClipboardRecord> records;
    records.reserve(rows.size());
    for (const Row& row : rows) records.push_back(ClipboardRecord::fromRow(row));
    return records;
}

// Pinned first, then most recent first (the composite index serves this order).
const QString kListOrder = QStringLiteral(" ORDER BY isPinned DESC, lastModifiedAt DESC, id DESC");

std::vector<ClipboardRecord> deleteWhere(Connection& db, const QString& where, const QVariantList& arguments) {
    auto removed = recordsFrom(db.query(QStringLiteral("SELECT * FROM clipboard") + where, arguments));
    db.execute(QStringLiteral("DELETE FROM clipboard") + where, arguments);
    return removed;
}

}  // namespace

ClipboardRepository::ClipboardRepository(std::shared_ptr<DatabasePool> pool, Clock now)
    : dbConnection(std::move(pool)), m_now(std::move(now)) {}

QDateTime ClipboardRepository::now() const { return m_now ? m_now() : QDateTime::currentDateTimeUtc(); }

ClipboardRecord ClipboardRepository::updateOrCreateRecord(ClipboardRecord::Category category, const QString& text,
                                                          const std::optional<QByteArray>& richTextData,
                                                          const std::optional<QString>& filePath,
                                                          const std::optional<QString>& imageHash,
                                                          const std::optional<QString>& applicationPath) {
    using Category = ClipboardRecord::Category;
    if (category == Category::image && (!imageHash || imageHash->isEmpty()))
        throw VantrelError(QStringLiteral("Cannot update or create image"));

    // The column that identifies the same item within its category.
    QString matchColumn = Columns::text;
    QVariant matchValue = text;
    if (category == Category::image) {
        matchColumn = Columns::imageHash;
        matchValue = *imageHash;
    } else if (category == Category::file && filePath) {
        matchColumn = Columns::filePath;
        matchValue = *filePath;
    }

    const QDateTime moment = now();
    return dbConnection->write([&](Connection& db) {
        const QString rawCategory = ClipboardRecord::rawValue(category);
        const auto existing = db.queryOne(QStringLiteral("SELECT * FROM clipboard WHERE category = ? AND %1 = ? "
                                                         "ORDER BY lastModifiedAt DESC, id DESC LIMIT 1")
                                              .arg(matchColumn),
                                          {rawCategory, matchValue});
        if (existing) {
            ClipboardRecord record = ClipboardRecord::fromRow(*existing);
            record.lastModifiedAt = moment;
            record.copyCount += 1;
            db.execute(QStringLiteral("UPDATE clipboard SET lastModifiedAt = ?, copyCount = ? WHERE id = ?"),
                       {moment, static_cast<qint64>(record.copyCount), *record.id});
            return record;
        }
        ClipboardRecord record;
        record.text = text;
        record.createdAt = moment;
        record.lastModifiedAt = moment;
        record.copyCount = 1;
        record.filePath = filePath;
        record.imageHash = imageHash;
        record.richTextData = richTextData;
        record.category = category;
        record.applicationPath = applicationPath;
        const QStringList& columns = ClipboardRecord::valueColumnNames();
        db.execute(QStringLiteral("INSERT INTO clipboard (%1) VALUES (%2)")
                       .arg(columns.join(QStringLiteral(", ")), RecordCoding::placeholders(columns.size())),
                   record.bindValues());
        record.id = db.lastInsertRowId();
        return record;
    });
}

ClipboardRecord ClipboardRepository::pinRecord(qint64 id, bool isPinned) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("UPDATE clipboard SET isPinned = ? WHERE id = ?"), {isPinned, id});
        if (db.changes() == 0) throw VantrelError(QStringLiteral("Clipboard record not found"));
        return ClipboardRecord::fromRow(*db.queryOne(QStringLiteral("SELECT * FROM clipboard WHERE id = ?"), {id}));
    });
}

std::optional<ClipboardRecord> ClipboardRepository::record(qint64 id) const {
    return dbConnection->read([&](Connection& db) -> std::optional<ClipboardRecord> {
        const auto row = db.queryOne(QStringLiteral("SELECT * FROM clipboard WHERE id = ?"), {id});
        if (!row) return std::nullopt;
        return ClipboardRecord::fromRow(*row);
    });
}

std::vector<ClipboardRecord> ClipboardRepository::records(int limit) const {
    return dbConnection->read([&](Connection& db) {
        return recordsFrom(db.query(QStringLiteral("SELECT * FROM clipboard") + kListOrder + QStringLiteral(" LIMIT ?"),
                                    {limit}));
    });
}

std::vector<ClipboardRecord> ClipboardRepository::records(ClipboardRecord::Category category, int limit) const {
    return dbConnection->read([&](Connection& db) {
        return recordsFrom(db.query(QStringLiteral("SELECT * FROM clipboard WHERE category = ?") + kListOrder +
                                        QStringLiteral(" LIMIT ?"),
                                    {ClipboardRecord::rawValue(category), limit}));
    });
}

std::vector<ClipboardRecord> ClipboardRepository::findRecords(const QString& text,
                                                             const std::optional<ClipboardRecord::Category>& category,
                                                             int limit) const {
    QStringList conditions;
    QVariantList arguments;
    if (!text.isEmpty()) {
        QString escaped = text;
        escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        conditions << QStringLiteral("text LIKE ? ESCAPE '\\'");
        arguments << QStringLiteral("%") + escaped + QStringLiteral("%");
    }
    if (category) {
        conditions << QStringLiteral("category = ?");
        arguments << ClipboardRecord::rawValue(*category);
    }
    arguments << limit;
    const QString where = conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    return dbConnection->read([&](Connection& db) {
        return recordsFrom(
            db.query(QStringLiteral("SELECT * FROM clipboard") + where + kListOrder + QStringLiteral(" LIMIT ?"), arguments));
    });
}

std::optional<ClipboardRecord> ClipboardRepository::latestRecord() const {
    return dbConnection->read([](Connection& db) -> std::optional<ClipboardRecord> {
        const auto row =
            db.queryOne(QStringLiteral("SELECT * FROM clipboard ORDER BY lastModifiedAt DESC, id DESC LIMIT 1"));
        if (!row) return std::nullopt;
        return ClipboardRecord::fromRow(*row);
    });
}

qint64 ClipboardRepository::count() const {
    return dbConnection->read(
        [](Connection& db) { return db.scalar(QStringLiteral("SELECT count(*) FROM clipboard")).toLongLong(); });
}

bool ClipboardRepository::deleteRecord(qint64 id) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("DELETE FROM clipboard WHERE id = ?"), {id});
        return db.changes() > 0;
    });
}

std::vector<ClipboardRecord> ClipboardRepository::deleteAll(bool keepPinned) {
    return dbConnection->write([&](Connection& db) {
        return deleteWhere(db, keepPinned ? QStringLiteral(" WHERE isPinned = 0") : QString(), {});
    });
}

std::vector<ClipboardRecord> ClipboardRepository::deleteRecords(const QDateTime& olderThan, bool keepPinned) {
    return dbConnection->write([&](Connection& db) {
        return deleteWhere(db,
                           keepPinned ? QStringLiteral(" WHERE lastModifiedAt < ? AND isPinned = 0")
                                      : QStringLiteral(" WHERE lastModifiedAt < ?"),
                           {olderThan});
    });
}

std::vector<ClipboardRecord> ClipboardRepository::deleteRecordsBeyond(qint64 limit) {
    return dbConnection->write([&](Connection& db) {
        return deleteWhere(db,
                           QStringLiteral(" WHERE id NOT IN (SELECT id FROM clipboard "
                                          "ORDER BY lastModifiedAt DESC, id DESC LIMIT ?)"),
                           {std::max<qint64>(limit, 0)});
    });
}

}  // namespace vantrel
