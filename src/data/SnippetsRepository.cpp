#include "data/SnippetsRepository.h"

#include "data/RecordCoding.h"
#include "kit/VantrelError.h"

namespace vantrel {

using namespace RecordCoding;

SnippetsRepository::SnippetsRepository(std::shared_ptr<DatabasePool> pool, Clock now)
    : dbConnection(std::move(pool)), m_now(std::move(now)) {}

QDateTime SnippetsRepository::now() const { return m_now ? m_now() : QDateTime::currentDateTimeUtc(); }

SnippetRecord SnippetsRepository::createRecord(SnippetRecord::Category category, const QString& name,
                                               const QString& text, const std::optional<QString>& mimeType,
                                               const std::optional<QByteArray>& richTextData,
                                               const std::optional<QString>& alias) {
    if (category == SnippetRecord::Category::richText && (!richTextData || richTextData->isEmpty()))
        throw VantrelError(QStringLiteral("Cannot create rich text snippet"));
    SnippetRecord record;
    record.name = name;
    record.text = text;
    record.mimeType = mimeType;
    record.richTextData = richTextData;
    record.alias = alias;
    record.category = category;
    const QDateTime moment = now();
    record.createdAt = moment;
    record.modifiedAt = moment;
    record.accessedAt = moment;
    return create(record);
}

SnippetRecord SnippetsRepository::updateRecordAccessedAt(qint64 id) {
    const QDateTime moment = now();
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("UPDATE snippets SET accessedAt = ? WHERE id = ?"), {moment, id});
        if (db.changes() == 0) throw VantrelError(QStringLiteral("Snippet record not found"));
        return SnippetRecord::fromRow(*db.queryOne(QStringLiteral("SELECT * FROM snippets WHERE id = ?"), {id}));
    });
}

std::optional<SnippetRecord> SnippetsRepository::record(qint64 id) const {
    return dbConnection->read([&](Connection& db) -> std::optional<SnippetRecord> {
        const auto row = db.queryOne(QStringLiteral("SELECT * FROM snippets WHERE id = ?"), {id});
        if (!row) return std::nullopt;
        return SnippetRecord::fromRow(*row);
    });
}

std::vector<SnippetRecord> SnippetsRepository::records(const QString& alias) const {
    return dbConnection->read([&](Connection& db) {
        return recordsFrom<SnippetRecord>(
            db.query(QStringLiteral("SELECT * FROM snippets WHERE alias = ? ORDER BY id"), {alias}));
    });
}

SnippetRecord SnippetsRepository::create(const SnippetRecord& record) {
    return dbConnection->write([&](Connection& db) {
        SnippetRecord stored = record;
        db.execute(insertStatement(SnippetRecord::tableName, SnippetRecord::valueColumnNames()), record.bindValues());
        stored.id = db.lastInsertRowId();
        return stored;
    });
}

std::vector<SnippetRecord> SnippetsRepository::createAll(const std::vector<SnippetRecord>& records) {
    const QDateTime moment = now();
    return dbConnection->write([&](Connection& db) {
        std::vector<SnippetRecord> stored;
        for (SnippetRecord record : records) {
            record.createdAt = record.modifiedAt = record.accessedAt = moment;
            db.execute(insertStatement(SnippetRecord::tableName, SnippetRecord::valueColumnNames()), record.bindValues());
            record.id = db.lastInsertRowId();
            stored.push_back(std::move(record));
        }
        return stored;
    });
}

std::vector<SnippetRecord> SnippetsRepository::readAll() const {
    return dbConnection->read([](Connection& db) {
        return recordsFrom<SnippetRecord>(
            db.query(QStringLiteral("SELECT * FROM snippets ORDER BY isPinned DESC, accessedAt DESC, id DESC")));
    });
}

bool SnippetsRepository::update(const SnippetRecord& record) {
    if (!record.id) return false;
    return dbConnection->write([&](Connection& db) {
        QVariantList arguments = record.bindValues();
        arguments << *record.id;
        db.execute(updateByIdStatement(SnippetRecord::tableName, SnippetRecord::valueColumnNames()), arguments);
        return db.changes() > 0;
    });
}

bool SnippetsRepository::deleteRecord(qint64 id) {
    return dbConnection->write([&](Connection& db) {
        db.execute(QStringLiteral("DELETE FROM snippets WHERE id = ?"), {id});
        return db.changes() > 0;
    });
}

}  // namespace vantrel
