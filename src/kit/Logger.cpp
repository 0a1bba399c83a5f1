#include "kit/Logger.h"

#include "kit/Paths.h"
#include "kit/UserDefaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <syslog.h>

namespace vantrel {

namespace {

std::mutex g_handlerMutex;
std::shared_ptr<LogHandler> g_handler;

const char* kMinimumLevelKey = "vantrelSimpleLoggerLevel";

}  // namespace

Logger::Logger(Category category, std::shared_ptr<Handler> handler)
    : m_category(std::move(category)), m_handler(std::move(handler)) {}

void Logger::log(Level level, Message message, Metadata metadata, std::source_location where) const {
    std::shared_ptr<Handler> handler = m_handler ? m_handler : sharedHandler();
    if (!handler->accepts(level)) return;
    Record record{level,
                  std::move(message.value),
                  std::move(metadata),
                  QFileInfo(QString::fromUtf8(where.file_name())).fileName(),
                  static_cast<int>(where.line()),
                  QString::fromUtf8(where.function_name()),
                  m_category,
                  QDateTime::currentDateTimeUtc()};
    handler->log(record);
}

QString Logger::levelLabel(Level level, bool compact) {
    switch (level) {
        case Level::debug: return compact ? QStringLiteral("D") : QStringLiteral("Debug");
        case Level::info: return compact ? QStringLiteral("I") : QStringLiteral("Info");
        case Level::warning: return compact ? QStringLiteral("⚠️") : QStringLiteral("⚠️ Warning");
        case Level::error: return compact ? QStringLiteral("🔥") : QStringLiteral("🔥 Error");
    }
    return {};
}

std::optional<Logger::Level> Logger::parseLevel(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("debug") || t == QLatin1String("0")) return Level::debug;
    if (t == QLatin1String("info") || t == QLatin1String("1")) return Level::info;
    if (t == QLatin1String("warning") || t == QLatin1String("2")) return Level::warning;
    if (t == QLatin1String("error") || t == QLatin1String("3")) return Level::error;
    return std::nullopt;
}

std::shared_ptr<LogHandler> Logger::sharedHandler() {
    std::lock_guard lock(g_handlerMutex);
    if (!g_handler) g_handler = std::make_shared<SimpleLogHandler>(stderr);
    return g_handler;
}

void Logger::bootstrap(std::shared_ptr<Handler> handler) {
    std::lock_guard lock(g_handlerMutex);
    g_handler = handler ? std::move(handler) : std::make_shared<NoopLogHandler>();
}

QString renderLogMetadata(const Logger::Metadata& metadata, bool redactPrivate) {
    QStringList parts;
    for (const auto& [key, value] : metadata) {
        const bool hide = redactPrivate && value.privacy == Logger::MetadataValue::Privacy::Private;
        parts << key + QStringLiteral(": ") + (hide ? QStringLiteral("<private>") : value.text);
    }
    return QLatin1Char('{') + parts.join(QStringLiteral(", ")) + QLatin1Char('}');
}

// MARK: SimpleLogHandler

SimpleLogHandler::SimpleLogHandler(FILE* stream) : SimpleLogHandler(stream, Options{}) {}

SimpleLogHandler::SimpleLogHandler(FILE* stream, Options options)
    : m_stream(stream),
      m_options(options),
      m_minimumLevel(options.minimumLevel ? *options.minimumLevel : configuredMinimumLevel()) {}

QString SimpleLogHandler::formatLine(const Logger::Record& record, bool compact, bool showSourceLocations,
                                     bool redactPrivate) {
    QString line = QLatin1Char('[') + Logger::levelLabel(record.level, compact) + QStringLiteral("] ") +
                   record.category.emoji + QLatin1Char(' ') + record.category.label;
    if (showSourceLocations) line += QStringLiteral(" [%1:%2]").arg(record.file).arg(record.line);
    line += QStringLiteral(": ") + record.message;
    if (!record.metadata.empty()) line += QLatin1Char(' ') + renderLogMetadata(record.metadata, redactPrivate);
    return line;
}

Logger::Level SimpleLogHandler::minimumLevelFrom(const UserDefaults& defaults) {
    const QVariant stored = defaults.value(QString::fromLatin1(kMinimumLevelKey));
    if (stored.isValid()) {
        if (auto level = Logger::parseLevel(stored.toString())) return *level;
    }
    return Logger::Level::info;
}

Logger::Level SimpleLogHandler::configuredMinimumLevel() {
    static const Logger::Level level = minimumLevelFrom(UserDefaults::standard());
    return level;
}

void SimpleLogHandler::log(const Logger::Record& record) {
    const QByteArray line = formatLine(record, m_options.compact, m_options.showSourceLocations).toUtf8() + '\n';
    std::lock_guard lock(m_mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), m_stream);
    std::fflush(m_stream);
}

// MARK: FileLogHandler

FileLogHandler::FileLogHandler(QString path, Logger::Level minimumLevel, qint64 maxBytes)
    : m_path(path.isEmpty() ? Paths::logFile() : std::move(path)), m_minimumLevel(minimumLevel), m_maxBytes(maxBytes) {}

FileLogHandler::~FileLogHandler() = default;

bool FileLogHandler::openLocked() {
    if (m_file && m_file->isOpen()) return true;
    if (!Paths::ensureDir(QFileInfo(m_path).absolutePath())) return false;
    m_file = std::make_unique<QFile>(m_path);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_file.reset();
        return false;
    }
    m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

void FileLogHandler::log(const Logger::Record& record) {
    const QByteArray line = (record.time.toString(Qt::ISODateWithMs) + QLatin1Char(' ') +
                             SimpleLogHandler::formatLine(record, false, true, m_minimumLevel > Logger::Level::debug))
                                .toUtf8() +
                            '\n';
    std::lock_guard lock(m_mutex);
    if (!openLocked()) return;
    if (m_file->size() + line.size() > m_maxBytes && m_file->size() > 0) {
        m_file->close();
        QFile::remove(m_path + QStringLiteral(".1"));
        QFile::rename(m_path, m_path + QStringLiteral(".1"));
        m_file.reset();
        if (!openLocked()) return;
    }
    m_file->write(line);
    m_file->flush();
}

// MARK: SystemLogHandler

SystemLogHandler::SystemLogHandler(Logger::Level minimumLevel) : m_minimumLevel(minimumLevel) {
    static const QByteArray ident = [] {
        const QString name = QCoreApplication::applicationName();
        return (name.isEmpty() ? QStringLiteral("vantrel") : name).toUtf8();
    }();
    openlog(ident.constData(), LOG_PID, LOG_USER);
}

void SystemLogHandler::log(const Logger::Record& record) {
    int priority = LOG_INFO;
    switch (record.level) {
        case Logger::Level::debug: priority = LOG_DEBUG; break;
        case Logger::Level::info: priority = LOG_INFO; break;
        case Logger::Level::warning: priority = LOG_WARNING; break;
        case Logger::Level::error: priority = LOG_ERR; break;
    }
    QString text = record.category.label + QStringLiteral(": ") + record.message;
    if (!record.metadata.empty()) text += QLatin1Char(' ') + renderLogMetadata(record.metadata, true);
    syslog(priority, "%s", text.toUtf8().constData());
}

// MARK: MultiplexLogHandler

MultiplexLogHandler::MultiplexLogHandler(std::vector<std::shared_ptr<LogHandler>> handlers)
    : m_handlers(std::move(handlers)) {}

bool MultiplexLogHandler::accepts(Logger::Level level) const {
    for (const auto& handler : m_handlers)
        if (handler->accepts(level)) return true;
    return false;
}

void MultiplexLogHandler::log(const Logger::Record& record) {
    for (const auto& handler : m_handlers)
        if (handler->accepts(record.level)) handler->log(record);
}

}  // namespace vantrel
