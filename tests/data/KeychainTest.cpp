#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "kit/Logger.h"
#include "support/CapturingLogHandler.h"
#include "support/KeychainContract.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

namespace vantrel::test {
namespace {

using namespace keychain_messages;

struct FileBackendTraits {
    static void requireAvailable() {}
    std::shared_ptr<KeychainBackend> makeBackend() {
        return std::make_shared<FileKeychainBackend>(dir.path() + QStringLiteral("/keyring"));
    }
    QTemporaryDir dir;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(FileBackend, KeychainContract, ::testing::Types<FileBackendTraits>);

namespace {

unsigned modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

QStringList corruptCopies(const QString& path) {
    const QFileInfo info(path);
    return QDir(info.absolutePath())
        .entryList({info.fileName() + QStringLiteral(".corrupt-*")}, QDir::Files, QDir::Name);
}

// Whether a line of this level mentioning the fragment was logged.
bool logged(const ScopedLogCapture& log, Logger::Level level, const QString& fragment) {
    const QString prefix = QLatin1Char('[') + Logger::levelLabel(level, false) + QLatin1Char(']');
    for (const QString& line : log->lines())
        if (line.startsWith(prefix) && line.contains(fragment)) return true;
    return false;
}

// Every call of the keychain that reaches the backend fails with its fixed
// message when the backend fails.
void expectEveryCallFails(const Keychain& keychain) {
    const std::pair<std::function<void()>, const char*> calls[] = {
        {[&] { keychain.readItem(QStringLiteral("alice")); }, kCannotReadItem},
        {[&] { keychain.readString(QStringLiteral("alice")); }, kCannotReadItem},
        {[&] { (void)keychain.fetchValue(QStringLiteral("alice")); }, kCannotReadItem},
        {[&] { keychain.createItem("x", QStringLiteral("alice")); }, kCannotCreateItem},
        {[&] { keychain.updateItem("x", QStringLiteral("alice")); }, kCannotUpdateItem},
        {[&] { keychain.saveItem("x", QStringLiteral("alice")); }, kCannotUpdateItem},
        {[&] { keychain.storeValue(QVariant(QByteArray("x")), QStringLiteral("k")); }, kCannotUpdateItem},
        {[&] { keychain.deleteItem(QStringLiteral("alice")); }, kCannotDeleteItem},
        {[&] { keychain.deleteAllItems(); }, kCannotDeleteAllItems},
    };
    for (size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(keychainErrorOf(calls[i].first), calls[i].second) << "call " << i;
}

class FileKeychainTest : public ::testing::Test {
protected:
    QString keyringPath() const { return m_dir.path() + QStringLiteral("/nested/keyring"); }
    std::shared_ptr<FileKeychainBackend> makeBackend() const {
        return std::make_shared<FileKeychainBackend>(keyringPath());
    }
    Keychain makeKeychain(const QString& service = QStringLiteral("vantrel")) const {
        return Keychain(service, makeBackend());
    }
    // Leaves these bytes where the keyring file is.
    void damage(const QByteArray& contents) const { writeTestFile(keyringPath(), contents); }
    QByteArray keyring() const { return readTestFile(keyringPath()); }

    QTemporaryDir m_dir;
};

}  // namespace

// MARK: - Location and format

TEST(FileKeychainBackendTest, DefaultsToTheKeyringFileInTheDataFolder) {
    ScopedXdgHome home;
    const FileKeychainBackend backend;
    EXPECT_EQ(backend.name().toStdString(), "file");
    EXPECT_EQ(backend.path().toStdString(), (home.root() + QStringLiteral("/data/vantrel/keyring")).toStdString());
    EXPECT_EQ(backend.lockPath().toStdString(), (backend.path() + QStringLiteral(".lock")).toStdString());
}

TEST_F(FileKeychainTest, ReadingDoesNotCreateTheFile) {
    const Keychain keychain = makeKeychain();
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotFindItem);
    EXPECT_FALSE(QFileInfo::exists(keyringPath()));
}

TEST_F(FileKeychainTest, TheFileAndItsFolderArePrivate) {
    makeKeychain().saveString(QStringLiteral("secret"), QStringLiteral("alice"));
    EXPECT_EQ(modeOf(keyringPath()), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(keyringPath()).absolutePath()), 0700u);
    EXPECT_EQ(modeOf(keyringPath() + QStringLiteral(".lock")), 0600u);
    // Rewrites stay private.
    makeKeychain().saveString(QStringLiteral("secret 2"), QStringLiteral("alice"));
    makeKeychain().saveString(QStringLiteral("other"), QStringLiteral("bob"));
    EXPECT_EQ(modeOf(keyringPath()), 0600u);
}

TEST_F(FileKeychainTest, TheFileHoldsVersionedBase64ItemsByServiceAndAccount) {
    makeKeychain(QStringLiteral("vantrel")).saveItem(QByteArray("\x00secret", 7), QStringLiteral("alice"));
    makeKeychain(QStringLiteral("vantrel")).saveItem("two", QStringLiteral("bob"));
    makeKeychain(QStringLiteral("other")).saveItem("three", QStringLiteral("alice"));

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(keyring(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    const QJsonObject root = document.object();
    EXPECT_EQ(root.value(QStringLiteral("version")).toInt(), 1);
    const QJsonObject items = root.value(QStringLiteral("items")).toObject();
    EXPECT_EQ(items.keys(), (QStringList{QStringLiteral("other"), QStringLiteral("vantrel")}));
    const QJsonObject vantrel = items.value(QStringLiteral("vantrel")).toObject();
    EXPECT_EQ(vantrel.value(QStringLiteral("alice")).toString().toStdString(),
              QByteArray("\x00secret", 7).toBase64().toStdString());
    EXPECT_EQ(vantrel.value(QStringLiteral("bob")).toString().toStdString(), "dHdv");
    EXPECT_EQ(items.value(QStringLiteral("other")).toObject().value(QStringLiteral("alice")).toString().toStdString(),
              "dGhyZWU=");

    // A service whose last item goes leaves no empty entry behind.
    makeKeychain(QStringLiteral("other")).deleteItem(QStringLiteral("alice"));
    const QJsonObject after = QJsonDocument::fromJson(keyring()).object();
    EXPECT_FALSE(after.value(QStringLiteral("items")).toObject().contains(QStringLiteral("other")));
}

TEST_F(FileKeychainTest, AnotherInstanceOnTheSameFileSeesTheData) {
    const Keychain writer = makeKeychain();
    const Keychain reader = makeKeychain();
    writer.saveString(QStringLiteral("shared"), QStringLiteral("alice"));
    EXPECT_EQ(reader.readString(QStringLiteral("alice")).toStdString(), "shared");
    reader.saveString(QStringLiteral("changed by reader"), QStringLiteral("alice"));
    EXPECT_EQ(writer.readString(QStringLiteral("alice")).toStdString(), "changed by reader");
    writer.deleteItem(QStringLiteral("alice"));
    EXPECT_EQ(keychainErrorOf([&] { reader.readItem(QStringLiteral("alice")); }), kCannotFindItem);
}

// MARK: - Damaged files

TEST_F(FileKeychainTest, AFileThatIsNotJsonFailsReadsClearlyAndIsLeftAlone) {
    const QByteArray garbage = "{\"version\": 1, \"items\": {\"vantrel\": {\"alice\": \"c2Vj";
    damage(garbage);

    FileKeychainBackend backend(keyringPath());
    QByteArray data;
    QString detail;
    EXPECT_EQ(backend.read(QStringLiteral("vantrel"), QStringLiteral("alice"), &data, &detail),
              KeychainBackend::Status::failure);
    EXPECT_EQ(detail.toStdString(), ("keyring file is not valid JSON: " + keyringPath()).toStdString());

    ScopedLogCapture log;
    const Keychain keychain(QStringLiteral("vantrel"), std::make_shared<FileKeychainBackend>(keyringPath()));
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotReadItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.readString(QStringLiteral("alice")); }), kCannotReadItem);
    EXPECT_EQ(keychainErrorOf([&] { (void)keychain.fetchValue(QStringLiteral("alice")); }), kCannotReadItem);
    EXPECT_TRUE(logged(log, Logger::Level::error, QStringLiteral("keyring file is not valid JSON")));

    // Reads never touch it.
    EXPECT_EQ(keyring(), garbage);
    EXPECT_TRUE(corruptCopies(keyringPath()).isEmpty());
}

TEST_F(FileKeychainTest, AWriteSetsADamagedFileAsideBeforeStartingAfresh) {
    const QByteArray garbage("\x00\x01 not a keyring at all \xff", 26);
    damage(garbage);

    ScopedLogCapture log;
    const Keychain keychain = makeKeychain();
    keychain.saveString(QStringLiteral("fresh"), QStringLiteral("alice"));

    EXPECT_EQ(keychain.readString(QStringLiteral("alice")).toStdString(), "fresh");
    const QStringList copies = corruptCopies(keyringPath());
    ASSERT_EQ(copies.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^keyring\\.corrupt-\\d{14}$")).match(copies.first()).hasMatch())
        << copies.first().toStdString();
    const QString copyPath = QFileInfo(keyringPath()).absolutePath() + QLatin1Char('/') + copies.first();
    EXPECT_EQ(readTestFile(copyPath), garbage);
    EXPECT_TRUE(logged(log, Logger::Level::warning, copyPath));
    EXPECT_EQ(modeOf(keyringPath()), 0600u);

    const QJsonObject root = QJsonDocument::fromJson(keyring()).object();
    EXPECT_EQ(root.value(QStringLiteral("version")).toInt(), 1);
}

TEST_F(FileKeychainTest, EveryDamagedFileIsKeptEvenWithinOneSecond) {
    const Keychain keychain = makeKeychain();
    const QList<QByteArray> damaged = {"first damage", "[\"second\"]", "{\"version\": 1, \"items\": []}"};
    for (const QByteArray& contents : damaged) {
        damage(contents);
        keychain.saveItem("value", QStringLiteral("alice"));
    }
    const QStringList copies = corruptCopies(keyringPath());
    ASSERT_EQ(copies.size(), damaged.size());
    QList<QByteArray> kept;
    for (const QString& copy : copies)
        kept.append(readTestFile(QFileInfo(keyringPath()).absolutePath() + QLatin1Char('/') + copy));
    for (const QByteArray& contents : damaged) EXPECT_TRUE(kept.contains(contents)) << contents.toStdString();
}

TEST_F(FileKeychainTest, JsonThatIsNotAKeyringCountsAsDamaged) {
    const QList<QByteArray> cases = {
        "[1, 2, 3]",
        "{\"items\": {}}",
        "{\"version\": 1}",
        "{\"version\": 1, \"items\": {\"vantrel\": \"not an object\"}}",
        "{\"version\": 1, \"items\": {\"vantrel\": {\"alice\": 12}}}",
        "{\"version\": 1, \"items\": {\"vantrel\": {\"alice\": \"***not base64***\"}}}",
    };
    for (const QByteArray& contents : cases) {
        damage(contents);
        FileKeychainBackend backend(keyringPath());
        QByteArray data;
        QString detail;
        EXPECT_EQ(backend.read(QStringLiteral("vantrel"), QStringLiteral("alice"), &data, &detail),
                  KeychainBackend::Status::failure)
            << contents.toStdString();
        const QRegularExpression expected(
            QStringLiteral("^keyring file is not (valid JSON|a valid keyring \\(.+\\)): ") +
            QRegularExpression::escape(keyringPath()) + QLatin1Char('$'));
        EXPECT_TRUE(expected.match(detail).hasMatch()) << detail.toStdString();
        EXPECT_EQ(keyring(), contents);
    }
}

TEST_F(FileKeychainTest, DeletingFromADamagedFileKeepsTheDamagedCopy) {
    damage("{oops");
    const Keychain keychain = makeKeychain();
    EXPECT_EQ(keychainErrorOf([&] { keychain.deleteItem(QStringLiteral("alice")); }), "<no error>");
    ASSERT_EQ(corruptCopies(keyringPath()).size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(keyring()).object().value(QStringLiteral("version")).toInt(), 1);
}

TEST_F(FileKeychainTest, AFileFromANewerReleaseIsNeitherReadNorReplaced) {
    const QByteArray newer = "{\"version\": 2, \"items\": {}, \"keys\": {}}";
    damage(newer);
    const Keychain keychain = makeKeychain();
    EXPECT_EQ(keychainErrorOf([&] { keychain.readItem(QStringLiteral("alice")); }), kCannotReadItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.saveItem("x", QStringLiteral("alice")); }), kCannotUpdateItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.createItem("x", QStringLiteral("alice")); }), kCannotCreateItem);
    EXPECT_EQ(keyring(), newer);
    EXPECT_TRUE(corruptCopies(keyringPath()).isEmpty());
}

// MARK: - Failures

TEST_F(FileKeychainTest, FailuresOfTheFileBecomeTheKeychainErrors) {
    // A folder where the file should be: it can be neither read nor replaced.
    ASSERT_TRUE(QDir().mkpath(keyringPath()));
    ScopedLogCapture log;
    expectEveryCallFails(makeKeychain());
    // The backend's reason reaches the log.
    EXPECT_TRUE(logged(log, Logger::Level::error, keyringPath()));
    EXPECT_TRUE(QFileInfo(keyringPath()).isDir());
}

namespace {

// Answers every call with one status, for the paths a real file rarely takes.
class FixedStatusBackend : public KeychainBackend {
public:
    explicit FixedStatusBackend(Status status, QByteArray data = {}) : m_status(status), m_data(std::move(data)) {}
    QString name() const override { return QStringLiteral("fixed"); }
    Status read(const QString&, const QString&, QByteArray* data, QString* detail) override {
        *data = m_data;
        *detail = QStringLiteral("fixed answer");
        return m_status;
    }
    Status create(const QString&, const QString&, const QByteArray&, QString*) override { return m_status; }
    Status update(const QString&, const QString&, const QByteArray&, QString*) override { return m_status; }
    Status remove(const QString&, const QString&, QString*) override { return m_status; }
    Status removeAll(const QString&, QString*) override { return m_status; }

private:
    Status m_status;
    QByteArray m_data;
};

}  // namespace

TEST(KeychainTest, BackendFailuresMapToTheFixedMessages) {
    expectEveryCallFails(
        Keychain(QStringLiteral("vantrel"), std::make_shared<FixedStatusBackend>(KeychainBackend::Status::failure)));
}

TEST(KeychainTest, SavingAMissingItemThatCannotBeCreatedReportsCreation) {
    // update says notFound, create fails: the item cannot be made.
    class NoCreate : public FixedStatusBackend {
    public:
        NoCreate() : FixedStatusBackend(Status::notFound) {}
        Status create(const QString&, const QString&, const QByteArray&, QString*) override { return Status::failure; }
    };
    const Keychain keychain(QStringLiteral("vantrel"), std::make_shared<NoCreate>());
    EXPECT_EQ(keychainErrorOf([&] { keychain.saveItem("x", QStringLiteral("a")); }), kCannotCreateItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.saveString(QStringLiteral("x"), QStringLiteral("a")); }),
              kCannotCreateItem);
    EXPECT_EQ(keychainErrorOf([&] { keychain.deleteAllItems(); }), "<no error>");
    EXPECT_EQ(keychainErrorOf([&] { keychain.deleteItem(QStringLiteral("a")); }), "<no error>");
}

TEST(KeychainTest, SavingANullDocumentIsRefused) {
    const Keychain keychain(QStringLiteral("vantrel"),
                            std::make_shared<FixedStatusBackend>(KeychainBackend::Status::success));
    EXPECT_EQ(keychainErrorOf([&] { keychain.saveObject(QJsonDocument(), QStringLiteral("a")); }),
              "Cannot encode a model as JSON.");
}

TEST(KeychainTest, AByteOrderMarkIsPartOfTheString) {
    const Keychain keychain(
        QStringLiteral("vantrel"),
        std::make_shared<FixedStatusBackend>(KeychainBackend::Status::success, QByteArray("\xef\xbb\xbfhi")));
    EXPECT_EQ(keychain.readString(QStringLiteral("a")), QString(QChar(0xFEFF)) + QStringLiteral("hi"));
}

// MARK: - Concurrency

TEST_F(FileKeychainTest, ConcurrentWritersInOneProcessLoseNothing) {
    constexpr int kThreads = 8;
    constexpr int kItemsPerThread = 25;
    const auto shared = makeBackend();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Half share one backend (the mutex), half have their own (the file lock).
            const Keychain keychain(QStringLiteral("vantrel"), t % 2 == 0 ? shared : makeBackend());
            for (int i = 0; i < kItemsPerThread; ++i) {
                const QString account = QStringLiteral("thread-%1-item-%2").arg(t).arg(i);
                try {
                    keychain.saveString(account, account);
                    keychain.saveString(QStringLiteral("shared by %1").arg(t), QStringLiteral("contended"));
                } catch (const VantrelError&) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);

    const Keychain reader = makeKeychain();
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kItemsPerThread; ++i) {
            const QString account = QStringLiteral("thread-%1-item-%2").arg(t).arg(i);
            EXPECT_EQ(reader.readString(account).toStdString(), account.toStdString());
        }
    EXPECT_TRUE(reader.readString(QStringLiteral("contended")).startsWith(QStringLiteral("shared by ")));
    EXPECT_TRUE(corruptCopies(keyringPath()).isEmpty());
}

// Run as a child process by the next test: writes items into the keyring file
// named by the environment. Skipped in a normal run.
TEST(FileKeychainWriterProcess, WriteItems) {
    const QString path = qEnvironmentVariable("VANTREL_KEYCHAIN_WRITER_PATH");
    if (path.isEmpty()) GTEST_SKIP() << "runs only as a writer child process";
    const QString prefix = qEnvironmentVariable("VANTREL_KEYCHAIN_WRITER_PREFIX");
    const int count = qEnvironmentVariableIntValue("VANTREL_KEYCHAIN_WRITER_COUNT");
    const Keychain keychain(QStringLiteral("vantrel"), std::make_shared<FileKeychainBackend>(path));
    for (int i = 0; i < count; ++i) {
        const QString account = QStringLiteral("%1-%2").arg(prefix).arg(i);
        keychain.saveString(account, account);
    }
}

TEST_F(FileKeychainTest, ConcurrentWriterProcessesLoseNothing) {
    constexpr int kProcesses = 4;
    constexpr int kItemsPerProcess = 30;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int p = 0; p < kProcesses; ++p) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VANTREL_KEYCHAIN_WRITER_PATH"), keyringPath());
        environment.insert(QStringLiteral("VANTREL_KEYCHAIN_WRITER_PREFIX"), QStringLiteral("process-%1").arg(p));
        environment.insert(QStringLiteral("VANTREL_KEYCHAIN_WRITER_COUNT"), QString::number(kItemsPerProcess));
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--gtest_filter=FileKeychainWriterProcess.WriteItems")});
        processes.push_back(std::move(process));
    }
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardOutput().toStdString();
    }

    const Keychain reader = makeKeychain();
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kItemsPerProcess; ++i) {
            const QString account = QStringLiteral("process-%1-%2").arg(p).arg(i);
            EXPECT_EQ(reader.readString(account).toStdString(), account.toStdString());
        }
}

}  // namespace vantrel::test
