#include "data/SQLite.h"

#include <sqlite3.h>

#include <QTimeZone>

namespace vantrel {

namespace {

QString describe(sqlite3* db, int rc) {
    const char* text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return QStringLiteral("SQLite error %1: %2").arg(rc).arg(QString::fromUtf8(text));
}

[[noreturn]] void fail(sqlite3* db, int rc, const QString& context,
                       std::source_location where = std::source_location::current()) {
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    QString message = describe(db, rc);
    if (!context.isEmpty()) message += QStringLiteral(" (") + context + QLatin1Char(')');
    throw DatabaseError(message, extended ? extended : rc, where);
}

}  // namespace

// MARK: DatabaseError

DatabaseError::DatabaseError(QString message, int resultCode, std::source_location where)
    : VantrelError(std::move(message), where), m_resultCode(resultCode) {}

bool DatabaseError::isUnreadableDatabase() const {
    const int primary = primaryResultCode();
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// MARK: Row

QVariant Row::operator[](const QString& column) const {
    if (!m_names) return {};
    const qsizetype index = m_names->indexOf(column);
    return index < 0 ? QVariant() : m_values.at(index);
}

QVariant Row::operator[](QLatin1String column) const {
    if (!m_names) return {};
    const qsizetype count = m_names->size();
    for (qsizetype i = 0; i < count; ++i)
        if (m_names->at(i) == column) return m_values.at(i);
    return {};
}

// MARK: Statement

Statement::Statement(sqlite3* db, const QString& sql) : m_db(db), m_sql(sql) {
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) fail(db, rc, sql);
    if (!m_stmt) throw DatabaseError(QStringLiteral("Empty statement: ") + sql, SQLITE_MISUSE);
    auto names = std::make_shared<QStringList>();
    const int count = sqlite3_column_count(m_stmt);
    for (int i = 0; i < count; ++i) names->append(QString::fromUtf8(sqlite3_column_name(m_stmt, i)));
    m_names = std::move(names);
}

Statement::~Statement() {
    if (m_stmt) sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_sql(std::move(other.m_sql)), m_names(std::move(other.m_names)) {
    other.m_stmt = nullptr;
}

void Statement::bind(const QVariantList& arguments) {
    for (int i = 0; i < arguments.size(); ++i) bind(i + 1, arguments.at(i));
}

void Statement::bind(int index, const QVariant& value) {
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.metaType().id()) {
            case QMetaType::Bool:
                rc = sqlite3_bind_int64(m_stmt, index, value.toBool() ? 1 : 0);
                break;
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::Short:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray bytes = value.toByteArray();
                rc = sqlite3_bind_blob64(m_stmt, index, bytes.constData(), static_cast<sqlite3_uint64>(bytes.size()),
                                         SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QDateTime: {
                const QByteArray text = DatabaseDate::toText(value.toDateTime()).toUtf8();
                rc = sqlite3_bind_text64(m_stmt, index, text.constData(), static_cast<sqlite3_uint64>(text.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
            default: {
                const QByteArray text = value.toString().toUtf8();
                rc = sqlite3_bind_text64(m_stmt, index, text.constData(), static_cast<sqlite3_uint64>(text.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
        }
    }
    if (rc != SQLITE_OK) fail(m_db, rc, m_sql);
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(m_db, rc, m_sql);
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const { return sqlite3_column_count(m_stmt); }

QVariant Statement::column(int index) const {
    switch (sqlite3_column_type(m_stmt, index)) {
        case SQLITE_INTEGER: return QVariant(static_cast<qlonglong>(sqlite3_column_int64(m_stmt, index)));
        case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, index));
        case SQLITE_TEXT: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
            return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, index)));
        }
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, index));
            return QVariant(QByteArray(data, sqlite3_column_bytes(m_stmt, index)));
        }
        default: return {};
    }
}

bool Statement::isNull(int index) const { return sqlite3_column_type(m_stmt, index) == SQLITE_NULL; }

qint64 Statement::int64(int index) const { return sqlite3_column_int64(m_stmt, index); }

double Statement::real(int index) const { return sqlite3_column_double(m_stmt, index); }

QString Statement::text(int index) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, index)) : QString();
}

Row Statement::row() const {
    QVariantList values;
    const int count = columnCount();
    values.reserve(count);
    for (int i = 0; i < count; ++i) values.append(column(i));
    return Row(m_names, std::move(values));
}

std::vector<Row> Statement::all() {
    std::vector<Row> rows;
    while (step()) rows.push_back(row());
    return rows;
}

// MARK: Connection

Connection::Connection(const QString& path, Mode mode) : m_path(path) {
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
        case Mode::readWriteCreate: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
        case Mode::readWrite: flags |= SQLITE_OPEN_READWRITE; break;
        case Mode::readOnly: flags |= SQLITE_OPEN_READONLY; break;
    }
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = describe(m_db, rc) + QStringLiteral(" (open ") + path + QLatin1Char(')');
        const int extended = m_db ? sqlite3_extended_errcode(m_db) : rc;
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw DatabaseError(message, extended);
    }
    sqlite3_extended_result_codes(m_db, 1);
}

Connection::~Connection() {
    if (m_db) sqlite3_close_v2(m_db);
}

void Connection::setKey(const QByteArray& passphrase) {
    const int rc = sqlite3_key(m_db, passphrase.constData(), static_cast<int>(passphrase.size()));
    if (rc != SQLITE_OK) fail(m_db, rc, QStringLiteral("key"));
}

void Connection::execute(const QString& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const int extended = sqlite3_extended_errcode(m_db);
        QString message = QStringLiteral("SQLite error %1: %2 (%3)")
                              .arg(rc)
                              .arg(QString::fromUtf8(error ? error : sqlite3_errstr(rc)), sql);
        sqlite3_free(error);
        throw DatabaseError(message, extended ? extended : rc);
    }
}

void Connection::execute(const QString& sql, const QVariantList& arguments) {
    Statement statement(m_db, sql);
    statement.bind(arguments);
    while (statement.step()) {
    }
}

std::vector<Row> Connection::query(const QString& sql, const QVariantList& arguments) {
    Statement statement(m_db, sql);
    statement.bind(arguments);
    return statement.all();
}

std::optional<Row> Connection::queryOne(const QString& sql, const QVariantList& arguments) {
    Statement statement(m_db, sql);
    statement.bind(arguments);
    if (!statement.step()) return std::nullopt;
    return statement.row();
}

QVariant Connection::scalar(const QString& sql, const QVariantList& arguments) {
    Statement statement(m_db, sql);
    statement.bind(arguments);
    if (!statement.step() || statement.columnCount() == 0) return {};
    return statement.column(0);
}

Statement Connection::prepare(const QString& sql) { return Statement(m_db, sql); }

qint64 Connection::lastInsertRowId() const { return sqlite3_last_insert_rowid(m_db); }

int Connection::changes() const { return sqlite3_changes(m_db); }

bool Connection::isInTransaction() const { return sqlite3_get_autocommit(m_db) == 0; }

bool Connection::tableExists(const QString& table) {
    return scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?"),
                  {table})
               .toLongLong() > 0;
}

QStringList Connection::columnNames(const QString& table) {
    QStringList names;
    for (const Row& row : query(QStringLiteral("SELECT name FROM pragma_table_xinfo(?) ORDER BY cid"), {table}))
        names << row[0].toString();
    return names;
}

QStringList Connection::indexNames(const QString& table) {
    QStringList names;
    for (const Row& row : query(
             QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? ORDER BY name"), {table}))
        names << row[0].toString();
    return names;
}

void Connection::inTransaction(const std::function<void()>& work, TransactionKind kind) {
    execute(kind == TransactionKind::immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN DEFERRED"));
    try {
        work();
        execute(QStringLiteral("COMMIT"));
    } catch (...) {
        if (isInTransaction()) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// MARK: Dates and quoting

namespace DatabaseDate {

namespace {

// "yyyy-MM-dd HH:mm:ss.zzz" read digit by digit: the form every stored date
// has, read on every row of every lookup.
QDateTime parseStoredForm(const QString& text) {
    if (text.size() != 23) return {};
    const QChar* c = text.constData();
    auto number = [&](int from, int count, int* out) {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            const char16_t digit = c[i].unicode();
            if (digit < u'0' || digit > u'9') return false;
            value = value * 10 + (digit - u'0');
        }
        *out = value;
        return true;
    };
    if (c[4] != u'-' || c[7] != u'-' || c[10] != u' ' || c[13] != u':' || c[16] != u':' || c[19] != u'.') return {};
    int year, month, day, hour, minute, second, millisecond;
    if (!number(0, 4, &year) || !number(5, 2, &month) || !number(8, 2, &day) || !number(11, 2, &hour) ||
        !number(14, 2, &minute) || !number(17, 2, &second) || !number(20, 3, &millisecond))
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millisecond);
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, Qt::UTC);
}

}  // namespace

QString toText(const QDateTime& date) {
    if (!date.isValid()) return {};
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QDateTime fromVariant(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return {};
    switch (value.metaType().id()) {
        case QMetaType::QDateTime: return value.toDateTime();
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::Double:
            return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(value.toDouble() * 1000.0), Qt::UTC);
        default: break;
    }
    QString text = value.toString().trimmed();
    if (text.isEmpty()) return {};
    if (QDateTime fast = parseStoredForm(text); fast.isValid()) return fast;
    text.replace(QLatin1Char('T'), QLatin1Char(' '));
    if (text.endsWith(QLatin1Char('Z'))) text.chop(1);
    static const char* const formats[] = {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm",
                                          "yyyy-MM-dd"};
    for (const char* format : formats) {
        QDateTime date = QDateTime::fromString(text, QLatin1String(format));
        if (date.isValid()) {
            date.setTimeSpec(Qt::UTC);
            return date;
        }
    }
    // Fractions of a second with another number of digits.
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    if (dot > 0) {
        QDateTime date = QDateTime::fromString(text.left(dot), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        bool ok = false;
        const double fraction = QStringView(text).mid(dot).toDouble(&ok);
        if (date.isValid() && ok) {
            date.setTimeSpec(Qt::UTC);
            return date.addMSecs(static_cast<qint64>(fraction * 1000.0));
        }
    }
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (ok) return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0), Qt::UTC);
    return {};
}

}  // namespace DatabaseDate

QString quoteIdentifier(const QString& name) {
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString quoteLiteral(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

}  // namespace vantrel
