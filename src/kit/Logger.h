#pragma once

#include <QDateTime>
#include <QString>

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <source_location>
#include <utility>
#include <vector>

class QFile;

namespace vantrel {

class UserDefaults;

// Levels, categories, messages and metadata of one log call. A Logger belongs
// to one subsystem (its category) and forwards to a LogHandler; calls below the
// handler's minimum level are dropped before anything is formatted.
class Logger {
public:
    enum class Level { debug = 0, info = 1, warning = 2, error = 3 };

    struct Category {
        QString label;
        QString emoji;
    };

    struct Message {
        QString value;
        Message(const char* text) : value(QString::fromUtf8(text)) {}  // NOLINT: literal messages
        Message(QString text) : value(std::move(text)) {}              // NOLINT
    };

    struct MetadataValue {
        enum class Privacy { Public, Private };
        Privacy privacy = Privacy::Public;
        QString text;
        static MetadataValue publicValue(QString text) { return {Privacy::Public, std::move(text)}; }
        static MetadataValue privateValue(QString text) { return {Privacy::Private, std::move(text)}; }
        MetadataValue() = default;
        MetadataValue(Privacy p, QString t) : privacy(p), text(std::move(t)) {}
        MetadataValue(const char* t) : text(QString::fromUtf8(t)) {}  // NOLINT: public by default
        MetadataValue(QString t) : text(std::move(t)) {}              // NOLINT
    };

    // Ordered as given by the caller.
    using Metadata = std::vector<std::pair<QString, MetadataValue>>;

    struct Record {
        Level level;
        QString message;
        Metadata metadata;
        QString file;  // last path component
        int line = 0;
        QString function;
        Category category;
        QDateTime time;
    };

    class Handler {
    public:
        virtual ~Handler() = default;
        virtual bool accepts(Level level) const = 0;
        virtual void log(const Record& record) = 0;
    };

    explicit Logger(Category category, std::shared_ptr<Handler> handler = nullptr);

    const Category& category() const { return m_category; }

    void log(Level level, Message message, Metadata metadata = {},
             std::source_location where = std::source_location::current()) const;
    void debug(Message message, Metadata metadata = {},
               std::source_location where = std::source_location::current()) const {
        log(Level::debug, std::move(message), std::move(metadata), where);
    }
    void info(Message message, Metadata metadata = {},
              std::source_location where = std::source_location::current()) const {
        log(Level::info, std::move(message), std::move(metadata), where);
    }
    void warning(Message message, Metadata metadata = {},
                 std::source_location where = std::source_location::current()) const {
        log(Level::warning, std::move(message), std::move(metadata), where);
    }
    void error(Message message, Metadata metadata = {},
               std::source_location where = std::source_location::current()) const {
        log(Level::error, std::move(message), std::move(metadata), where);
    }

    static QString levelLabel(Level level, bool compact);
    // "debug", "info", "warning", "error" or 0–3.
    static std::optional<Level> parseLevel(const QString& text);

    // The handler every Logger without its own handler uses. Until bootstrap()
    // is called this is a SimpleLogHandler on standard error.
    static std::shared_ptr<Handler> sharedHandler();
    static void bootstrap(std::shared_ptr<Handler> handler);

private:
    Category m_category;
    std::shared_ptr<Handler> m_handler;  // null: the shared handler at call time
};

using LogHandler = Logger::Handler;

// Renders metadata as "{key: value, key: value}"; private values as "<private>"
// when redactPrivate is set.
QString renderLogMetadata(const Logger::Metadata& metadata, bool redactPrivate);

// One line per message:
// "[Level] <emoji> <label> [File.cpp:42]: message {key: value}".
class SimpleLogHandler : public LogHandler {
public:
    struct Options {
        bool compact = false;
        bool showSourceLocations = true;
        // Unset: read once from the setting "vantrelSimpleLoggerLevel" (default info).
        std::optional<Logger::Level> minimumLevel;
    };

    explicit SimpleLogHandler(FILE* stream = stderr);
    SimpleLogHandler(FILE* stream, Options options);

    static QString formatLine(const Logger::Record& record, bool compact, bool showSourceLocations,
                              bool redactPrivate = false);
    // The minimum level from "vantrelSimpleLoggerLevel" in the standard store,
    // read on the first call and remembered for the process.
    static Logger::Level configuredMinimumLevel();
    static Logger::Level minimumLevelFrom(const UserDefaults& defaults);

    bool accepts(Logger::Level level) const override { return level >= m_minimumLevel; }
    void log(const Logger::Record& record) override;

private:
    FILE* m_stream;
    Options m_options;
    Logger::Level m_minimumLevel;
    std::mutex m_mutex;
};

// Appends time-stamped simple lines to a file (by default Paths::logFile()).
// When the file passes maxBytes it is renamed with the suffix ".1" and a new one begins.
// Private metadata values (copied text, paths, links) are redacted unless the
// handler takes debug messages: the file outlives the session and gets attached
// to bug reports.
class FileLogHandler : public LogHandler {
public:
    explicit FileLogHandler(QString path = QString(), Logger::Level minimumLevel = Logger::Level::info,
                            qint64 maxBytes = 5 * 1024 * 1024);
    ~FileLogHandler() override;
    QString path() const { return m_path; }
    bool accepts(Logger::Level level) const override { return level >= m_minimumLevel; }
    void log(const Logger::Record& record) override;

private:
    bool openLocked();
    QString m_path;
    Logger::Level m_minimumLevel;
    qint64 m_maxBytes;
    std::unique_ptr<QFile> m_file;
    std::mutex m_mutex;
};

// The system log through syslog(3), which the systemd journal collects.
// Private metadata values are redacted.
class SystemLogHandler : public LogHandler {
public:
    explicit SystemLogHandler(Logger::Level minimumLevel = Logger::Level::info);
    bool accepts(Logger::Level level) const override { return level >= m_minimumLevel; }
    void log(const Logger::Record& record) override;

private:
    Logger::Level m_minimumLevel;
};

class MultiplexLogHandler : public LogHandler {
public:
    explicit MultiplexLogHandler(std::vector<std::shared_ptr<LogHandler>> handlers);
    bool accepts(Logger::Level level) const override;
    void log(const Logger::Record& record) override;

private:
    std::vector<std::shared_ptr<LogHandler>> m_handlers;
};

class NoopLogHandler : public LogHandler {
public:
    bool accepts(Logger::Level) const override { return false; }
    void log(const Logger::Record&) override {}
};

}  // namespace vantrel
