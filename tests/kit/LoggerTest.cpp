#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/UserDefaults.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using vantrel::FileLogHandler;
using vantrel::Logger;
using vantrel::LogHandler;
using vantrel::MultiplexLogHandler;
using vantrel::NoopLogHandler;
using vantrel::SimpleLogHandler;
using vantrel::UserDefaults;

namespace {

const Logger::Category kDatabase{QStringLiteral("Database"), QStringLiteral("💾")};

Logger::Record record(Logger::Level level, QString message, Logger::Metadata metadata = {}) {
    return Logger::Record{level,
                          std::move(message),
                          std::move(metadata),
                          QStringLiteral("File.cpp"),
                          12,
                          QStringLiteral("void open()"),
                          kDatabase,
                          QDateTime::currentDateTimeUtc()};
}

// Counts what reaches it, and accepts levels from its minimum up.
class CountingHandler : public LogHandler {
public:
    explicit CountingHandler(Logger::Level minimum) : m_minimum(minimum) {}
    bool accepts(Logger::Level level) const override { return level >= m_minimum; }
    void log(const Logger::Record& r) override {
        ++logCalls;
        lastMessage = r.message;
        lastLevel = r.level;
    }
    int logCalls = 0;
    QString lastMessage;
    Logger::Level lastLevel = Logger::Level::debug;

private:
    Logger::Level m_minimum;
};

QString readAll(FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    QByteArray bytes;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, static_cast<qsizetype>(n));
    return QString::fromUtf8(bytes);
}

}  // namespace

TEST(LoggerTest, SimpleLineHasLevelCategoryLocationAndMessage) {
    EXPECT_EQ(SimpleLogHandler::formatLine(record(Logger::Level::info, QStringLiteral("message")), false, true),
              QStringLiteral("[Info] 💾 Database [File.cpp:12]: message"));
    EXPECT_EQ(SimpleLogHandler::formatLine(record(Logger::Level::info, QStringLiteral("message")), false, false),
              QStringLiteral("[Info] 💾 Database: message"));
    EXPECT_EQ(SimpleLogHandler::formatLine(record(Logger::Level::error, QStringLiteral("failed")), true, true),
              QStringLiteral("[🔥] 💾 Database [File.cpp:12]: failed"));
}

TEST(LoggerTest, LevelLabelsInFullAndCompactForm) {
    EXPECT_EQ(Logger::levelLabel(Logger::Level::debug, false), QStringLiteral("Debug"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::info, false), QStringLiteral("Info"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::warning, false), QStringLiteral("⚠️ Warning"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::error, false), QStringLiteral("🔥 Error"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::debug, true), QStringLiteral("D"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::info, true), QStringLiteral("I"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::warning, true), QStringLiteral("⚠️"));
    EXPECT_EQ(Logger::levelLabel(Logger::Level::error, true), QStringLiteral("🔥"));
    EXPECT_LT(Logger::Level::debug, Logger::Level::info);
    EXPECT_LT(Logger::Level::info, Logger::Level::warning);
    EXPECT_LT(Logger::Level::warning, Logger::Level::error);
}

TEST(LoggerTest, MetadataFollowsTheMessageInCallOrder) {
    const Logger::Metadata metadata{
        {QStringLiteral("id"), QStringLiteral("42")},
        {QStringLiteral("token"), Logger::MetadataValue::privateValue(QStringLiteral("s3cret"))}};
    EXPECT_EQ(SimpleLogHandler::formatLine(record(Logger::Level::warning, QStringLiteral("slow query"), metadata),
                                           false, true),
              QStringLiteral("[⚠️ Warning] 💾 Database [File.cpp:12]: slow query {id: 42, token: s3cret}"));
    EXPECT_EQ(vantrel::renderLogMetadata(metadata, true), QStringLiteral("{id: 42, token: <private>}"));
}

TEST(LoggerTest, SimpleHandlerPrintsOneLinePerMessageWithTheCallersLocation) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    SimpleLogHandler::Options options;
    options.minimumLevel = Logger::Level::debug;
    const Logger logger(kDatabase, std::make_shared<SimpleLogHandler>(stream, options));
    logger.info("opened");
    const int line = __LINE__ - 1;
    logger.debug(QStringLiteral("details"), {{QStringLiteral("pages"), QStringLiteral("3")}});
    const QString text = readAll(stream);
    std::fclose(stream);
    EXPECT_EQ(text, QStringLiteral("[Info] 💾 Database [LoggerTest.cpp:%1]: opened\n"
                                   "[Debug] 💾 Database [LoggerTest.cpp:%2]: details {pages: 3}\n")
                        .arg(line)
                        .arg(line + 2));
}

TEST(LoggerTest, MessagesBelowTheMinimumNeverReachTheHandler) {
    auto handler = std::make_shared<CountingHandler>(Logger::Level::warning);
    const Logger logger(kDatabase, handler);
    logger.debug("quiet");
    logger.info("quiet");
    EXPECT_EQ(handler->logCalls, 0);
    logger.warning("loud");
    logger.error("louder");
    EXPECT_EQ(handler->logCalls, 2);
    EXPECT_EQ(handler->lastMessage, QStringLiteral("louder"));
    EXPECT_EQ(handler->lastLevel, Logger::Level::error);
}

TEST(LoggerTest, SimpleHandlerPrintsOnlyFromItsMinimumLevel) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    SimpleLogHandler::Options options;
    options.minimumLevel = Logger::Level::error;
    const Logger logger(kDatabase, std::make_shared<SimpleLogHandler>(stream, options));
    logger.info("not printed");
    logger.warning("not printed");
    logger.error("printed");
    const QString text = readAll(stream);
    std::fclose(stream);
    EXPECT_EQ(text.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(text.contains(QStringLiteral("]: printed")));
    EXPECT_FALSE(text.contains(QStringLiteral("not printed")));
}

TEST(LoggerTest, MinimumLevelComesFromTheSetting) {
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.conf")));
    EXPECT_EQ(SimpleLogHandler::minimumLevelFrom(defaults), Logger::Level::info);
    defaults.setValue(QStringLiteral("vantrelSimpleLoggerLevel"), QStringLiteral("debug"));
    EXPECT_EQ(SimpleLogHandler::minimumLevelFrom(defaults), Logger::Level::debug);
    defaults.setValue(QStringLiteral("vantrelSimpleLoggerLevel"), QStringLiteral("error"));
    EXPECT_EQ(SimpleLogHandler::minimumLevelFrom(defaults), Logger::Level::error);
    defaults.setValue(QStringLiteral("vantrelSimpleLoggerLevel"), 2);
    EXPECT_EQ(SimpleLogHandler::minimumLevelFrom(defaults), Logger::Level::warning);
    defaults.setValue(QStringLiteral("vantrelSimpleLoggerLevel"), QStringLiteral("loud"));
    EXPECT_EQ(SimpleLogHandler::minimumLevelFrom(defaults), Logger::Level::info);
}

TEST(LoggerTest, MultiplexForwardsEachMessageToTheHandlersThatWantIt) {
    auto everything = std::make_shared<CountingHandler>(Logger::Level::debug);
    auto errorsOnly = std::make_shared<CountingHandler>(Logger::Level::error);
    auto multiplex =
        std::make_shared<MultiplexLogHandler>(std::vector<std::shared_ptr<LogHandler>>{everything, errorsOnly});
    const Logger logger(kDatabase, multiplex);
    logger.debug("one");
    logger.warning("two");
    logger.error("three");
    EXPECT_EQ(everything->logCalls, 3);
    EXPECT_EQ(errorsOnly->logCalls, 1);
    EXPECT_EQ(errorsOnly->lastMessage, QStringLiteral("three"));

    const MultiplexLogHandler quiet({std::make_shared<CountingHandler>(Logger::Level::error)});
    EXPECT_FALSE(quiet.accepts(Logger::Level::warning));
    EXPECT_TRUE(quiet.accepts(Logger::Level::error));
}

TEST(LoggerTest, NoopHandlerDropsEverything) {
    NoopLogHandler noop;
    EXPECT_FALSE(noop.accepts(Logger::Level::error));
}

TEST(LoggerTest, LoggersWithoutAHandlerUseTheSharedOne) {
    const auto previous = Logger::sharedHandler();
    auto shared = std::make_shared<CountingHandler>(Logger::Level::debug);
    Logger::bootstrap(shared);
    const Logger logger(kDatabase);
    logger.info("to the shared handler");
    Logger::bootstrap(previous);
    logger.info("to the previous handler");
    EXPECT_EQ(shared->logCalls, 1);
    EXPECT_EQ(shared->lastMessage, QStringLiteral("to the shared handler"));
}

TEST(LoggerTest, FileHandlerWritesUnderTheStateFolderAndRotates) {
    vantrel::test::ScopedXdgHome home;
    {
        FileLogHandler defaultFile;
        EXPECT_EQ(defaultFile.path(), vantrel::Paths::logFile());
        EXPECT_TRUE(defaultFile.path().startsWith(home.root() + QStringLiteral("/state/")));
        defaultFile.log(record(Logger::Level::info, QStringLiteral("first line")));
        QFile file(defaultFile.path());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(text.endsWith(QStringLiteral(" [Info] 💾 Database [File.cpp:12]: first line\n")))
            << text.toStdString();
        // Starts with the time of the message.
        EXPECT_TRUE(QDateTime::fromString(text.section(QLatin1Char(' '), 0, 0), Qt::ISODateWithMs).isValid());
    }

    const QString path = home.root() + QStringLiteral("/state/vantrel/small.log");
    FileLogHandler small(path, Logger::Level::info, 300);
    for (int i = 0; i < 20; ++i) small.log(record(Logger::Level::info, QStringLiteral("line %1").arg(i)));
    EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral(".1")));
    EXPECT_LE(QFileInfo(path).size(), 300);
    QFile current(path);
    ASSERT_TRUE(current.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(current.readAll()).contains(QStringLiteral(": line 19\n")));
    EXPECT_FALSE(small.accepts(Logger::Level::debug));

    // What a user copied or opened stays out of the file unless it takes debug messages.
    const Logger::Metadata copied{{QStringLiteral("title"), Logger::MetadataValue::privateValue(QStringLiteral("hunter2"))},
                                  {QStringLiteral("type"), QStringLiteral("Text")}};
    const QString infoPath = home.root() + QStringLiteral("/state/vantrel/info.log");
    FileLogHandler(infoPath, Logger::Level::info).log(record(Logger::Level::info, QStringLiteral("added"), copied));
    const QString infoText = QString::fromUtf8(vantrel::test::readTestFile(infoPath));
    EXPECT_TRUE(infoText.contains(QStringLiteral("{title: <private>, type: Text}"))) << infoText.toStdString();
    EXPECT_FALSE(infoText.contains(QStringLiteral("hunter2")));
    const QString debugPath = home.root() + QStringLiteral("/state/vantrel/debug.log");
    FileLogHandler(debugPath, Logger::Level::debug).log(record(Logger::Level::info, QStringLiteral("added"), copied));
    EXPECT_TRUE(QString::fromUtf8(vantrel::test::readTestFile(debugPath)).contains(QStringLiteral("hunter2")));
}
