#pragma once

#include "kit/VantrelError.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vantrel {

// A failure reported by SQLite, with its extended result code.
class DatabaseError : public VantrelError {
public:
    DatabaseError(QString message, int resultCode, std::source_location where = std::source_location::current());
    int resultCode() const { return m_resultCode; }
    int primaryResultCode() const { return m_resultCode & 0xff; }
    // SQLITE_NOTADB or SQLITE_CORRUPT: the file is not a readable database (or
    // not with this key).
    bool isUnreadableDatabase() const;

private:
    int m_resultCode;
};

// One result row: column names and values in select order.
class Row {
public:
    Row() = default;
    Row(std::shared_ptr<const QStringList> names, QVariantList values)
        : m_names(std::move(names)), m_values(std::move(values)) {}
    int count() const { return static_cast<int>(m_values.size()); }
    const QVariant& operator[](int index) const { return m_values.at(index); }
    // An invalid QVariant when there is no such column.
    QVariant operator[](const QString& column) const;
    QVariant operator[](QLatin1String column) const;
    const QVariantList& values() const { return m_values; }

private:
    std::shared_ptr<const QStringList> m_names;
    QVariantList m_values;
};

// Values bind as: invalid/null → NULL, bool and integers → INTEGER, double → REAL,
// QString → TEXT, QByteArray → BLOB, QDateTime → TEXT in the database date form.
// Columns read as: NULL → invalid QVariant, INTEGER → qlonglong, REAL → double,
// TEXT → QString, BLOB → QByteArray.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept;

    void bind(const QVariantList& arguments);
    void bind(int index, const QVariant& value);  // 1-based
    // Steps once: true when a row is available.
    bool step();
    void reset();
    int columnCount() const;
    QVariant column(int index) const;
    // Typed reads without a QVariant, for hot paths.
    bool isNull(int index) const;
    qint64 int64(int index) const;
    double real(int index) const;
    QString text(int index) const;
    Row row() const;
    std::vector<Row> all();

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
    std::shared_ptr<const QStringList> m_names;
};

// One SQLite (SQLCipher) connection. Not thread-safe: a pool hands each
// connection to one thread at a time.
class Connection {
public:
    enum class Mode { readWriteCreate, readWrite, readOnly };

    Connection(const QString& path, Mode mode);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }

    // Applies the SQLCipher key; must come before any other statement.
    void setKey(const QByteArray& passphrase);

    // Runs one or more statements without arguments.
    void execute(const QString& sql);
    // Runs one statement with arguments.
    void execute(const QString& sql, const QVariantList& arguments);
    std::vector<Row> query(const QString& sql, const QVariantList& arguments = {});
    std::optional<Row> queryOne(const QString& sql, const QVariantList& arguments = {});
    // The first column of the first row, invalid when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& arguments = {});
    Statement prepare(const QString& sql);

    qint64 lastInsertRowId() const;
    int changes() const;
    bool isInTransaction() const;

    bool tableExists(const QString& table);
    QStringList columnNames(const QString& table);
    QStringList indexNames(const QString& table);

    // BEGIN IMMEDIATE (or DEFERRED), the work, COMMIT; ROLLBACK and rethrow on failure.
    enum class TransactionKind { deferred, immediate };
    void inTransaction(const std::function<void()>& work, TransactionKind kind = TransactionKind::immediate);

private:
    QString m_path;
    sqlite3* m_db = nullptr;
};

// Dates travel as UTC text "yyyy-MM-dd HH:mm:ss.zzz". Reading also accepts the
// forms without milliseconds or seconds, ISO 8601 with "T", and numbers (seconds
// since 1970).
namespace DatabaseDate {
QString toText(const QDateTime& date);
QDateTime fromVariant(const QVariant& value);
}  // namespace DatabaseDate

// Quotes an identifier for SQL ("name" with inner quotes doubled).
QString quoteIdentifier(const QString& name);
// Quotes a text literal for SQL ('text' with inner quotes doubled).
QString quoteLiteral(const QString& text);

}  // namespace vantrel
