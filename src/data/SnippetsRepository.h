#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/DatabaseRepository.h"
#include "data/Records.h"

#include <functional>
#include <memory>
#include <optional>

namespace vantrel {

// The snippets table.
class SnippetsRepository : public DatabaseRepository<SnippetRecord> {
public:
    using Clock = std::function<QDateTime()>;

    explicit SnippetsRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared(), Clock now = {});

    std::shared_ptr<DatabasePool> dbConnection;

    // A new snippet created, modified and accessed now. A rich-text snippet
    // without rich-text data fails with "Cannot create rich text snippet".
    SnippetRecord createRecord(SnippetRecord::Category category, const QString& name, const QString& text,
                               const std::optional<QString>& mimeType = std::nullopt,
                               const std::optional<QByteArray>& richTextData = std::nullopt,
                               const std::optional<QString>& alias = std::nullopt);
    // Sets accessedAt to now; throws "Snippet record not found" when there is no such row.
    SnippetRecord updateRecordAccessedAt(qint64 id);

    std::optional<SnippetRecord> record(qint64 id) const;
    // Snippets whose alias is exactly the keyword.
    std::vector<SnippetRecord> records(const QString& alias) const;

    SnippetRecord create(const SnippetRecord& record) override;
    // Stores them all in one transaction (all or none), dated now.
    std::vector<SnippetRecord> createAll(const std::vector<SnippetRecord>& records);
    // Pinned first, then the most recently used.
    std::vector<SnippetRecord> readAll() const override;
    bool update(const SnippetRecord& record) override;
    bool deleteRecord(qint64 id) override;

private:
    QDateTime now() const;
    Clock m_now;
};

}  // namespace vantrel
