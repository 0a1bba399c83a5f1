// Script commands that take arguments, in the real `vantrel` launcher on the
// test session's X server: a per-item hotkey on a script with a required
// argument brings up the window asking for it, and what the user types there
// is what the script runs with. Driven from outside with xdotool.
#include "support/X11TestSupport.h"

#include "core/shell/InstanceChannel.h"
#include "data/Database.h"
#include "data/Keychain.h"
#include "data/SearchRepository.h"
#include "platform/freedesktop/KeychainFactory.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>

namespace vantrel::test {
namespace {

const QString kExecutable = QStringLiteral(VANTREL_EXECUTABLE);

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessRun run(const QStringList& arguments, const QString& program = kExecutable, int timeoutMs = 20000) {
    QProcess process;
    process.start(program, arguments);
    ProcessRun result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    result.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return result;
}

QString readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// Waits for a condition of another process (the launcher), polling it.
bool eventually(const std::function<bool()>& predicate, int timeoutMs = 10000) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (predicate()) return true;
        QThread::msleep(50);
    }
    return predicate();
}

class ScriptArgumentsEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (hasXDisplay()) releaseAltSpaceFromOpenbox();
    }

    void SetUp() override {
        VANTREL_REQUIRE_X_DISPLAY();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning(), "needs the window manager of scripts/test-session");
        ASSERT_TRUE(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_home = std::make_unique<ScopedXdgHome>();
        m_runtimeEnv = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        m_keyring = std::make_unique<ScopedEnv>("VANTREL_KEYRING", QByteArray("file"));
        m_scripts = m_home->root() + QStringLiteral("/scripts");
        m_marker = m_home->root() + QStringLiteral("/greeted.marker");
        ASSERT_TRUE(QDir().mkpath(m_scripts));
    }

    void TearDown() override {
        stopLauncher();
        m_keyring.reset();
        m_runtimeEnv.reset();
        m_home.reset();
    }

    // A script in the scripts folder: `echo "$1"` into the marker file.
    QString writeGreetingScript() {
        const QString path = m_scripts + QStringLiteral("/greet.sh");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\n"
                                  "# @vantrel.schemaVersion 1\n"
                                  "# @vantrel.title Greet Marker\n"
                                  "# @vantrel.mode silent\n"
                                  "# @vantrel.argument1 { \"type\": \"text\", \"placeholder\": \"Name\" }\n"
                                  "echo \"hello $1\" > \"%1\"\n")
                       .arg(m_marker)
                       .toUtf8());
        file.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return QStringLiteral("vantrelScript_") + path;
    }

    void startLauncher() {
        const qsizetype from = logText().size();
        const auto logged = [&](const QString& line) { return logText().mid(from).contains(line); };
        m_launcher = std::make_unique<QProcess>();
        m_launcher->setProcessChannelMode(QProcess::MergedChannels);
        m_launcher->setStandardOutputFile(m_home->root() + QStringLiteral("/launcher.out"));
        m_launcher->start(kExecutable, {QStringLiteral("--background")});
        ASSERT_TRUE(m_launcher->waitForStarted(5000));
        ASSERT_TRUE(eventually([&] { return logged(QStringLiteral("Launcher started")); }, 30000))
            << logText().toStdString();
        ASSERT_TRUE(eventually([&] { return logged(QStringLiteral("Data source(s) updated")); }, 30000))
            << logText().toStdString();
        ASSERT_TRUE(InstanceClient().isRunning());
        ASSERT_TRUE(eventually([&] { return logged(QStringLiteral("Parsed script files in directories")); }, 30000))
            << logText().toStdString();
    }

    void stopLauncher() {
        if (!m_launcher) return;
        if (m_launcher->state() != QProcess::NotRunning) {
            ::kill(pid_t(m_launcher->processId()), SIGTERM);
            if (!m_launcher->waitForFinished(10000)) {
                m_launcher->kill();
                m_launcher->waitForFinished();
            }
        }
        m_launcher.reset();
    }

    QString logText() const { return readFile(qEnvironmentVariable("XDG_STATE_HOME") + "/vantrel/vantrel.log"); }

    QJsonObject status() const {
        const auto reply = InstanceClient().send({QStringLiteral("status"), {}}, 5000);
        return reply ? reply->values : QJsonObject{};
    }

    // The window is up with the keys in the first argument field.
    bool asksForTheFirstArgument() const {
        const QJsonObject values = status();
        return values.value(QStringLiteral("keyWindow")).toBool() &&
               values.value(QStringLiteral("argumentCount")).toInt() == 1 &&
               values.value(QStringLiteral("focusedArgument")).toInt(-1) == 0;
    }

    void typeText(const QString& text) {
        const ProcessRun typed = run({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text},
                                     QStringLiteral("xdotool"));
        ASSERT_EQ(typed.exitCode, 0) << typed.err.toStdString();
    }

    // Gives the stored record of the script a hotkey (the launcher is stopped).
    void setHotkey(const QString& key, const QString& hotkey) {
        DatabaseOpener::Options options;
        options.keychain =
            std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), makeKeychainBackend());
        auto pool = DatabaseOpener(std::move(options)).openDatabase();
        ASSERT_TRUE(pool);
        SearchRepository repository(pool);
        ASSERT_TRUE(repository.record(key)) << "the script was not stored";
        repository.setHotkey(hotkey, key);
    }

    QTemporaryDir m_runtime;
    std::unique_ptr<ScopedXdgHome> m_home;
    std::unique_ptr<ScopedEnv> m_runtimeEnv;
    std::unique_ptr<ScopedEnv> m_keyring;
    std::unique_ptr<QProcess> m_launcher;
    QString m_scripts;
    QString m_marker;
};

TEST_F(ScriptArgumentsEndToEndTest, AHotkeyOnAScriptWithARequiredArgumentAsksForItAndRunsWithWhatIsTyped) {
    const QString id = writeGreetingScript();
    const ProcessRun added = run({QStringLiteral("scripts"), QStringLiteral("add-dir"), m_scripts});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();

    // A first start stores the script's record; the hotkey goes on it.
    startLauncher();
    ASSERT_TRUE(eventually(
        [&] {
            const ProcessRun found = run({QStringLiteral("search"), QStringLiteral("Greet Marker"),
                                          QStringLiteral("--no-load"), QStringLiteral("--json")});
            return found.out.contains(id);
        },
        30000))
        << logText().toStdString();
    stopLauncher();
    // Ctrl+Alt+G.
    setHotkey(id, QStringLiteral("Control-Option-5"));

    startLauncher();
    ASSERT_TRUE(eventually([&] {
        return logText().contains(QStringLiteral("Found key combination for global hotkey"));
    })) << logText().toStdString();
    ASSERT_FALSE(status().value(QStringLiteral("visible")).toBool());

    pressKeys(QStringLiteral("ctrl+alt+g"));
    ASSERT_TRUE(eventually([&] { return asksForTheFirstArgument(); }))
        << QJsonDocument(status()).toJson().toStdString() << logText().toStdString();
    EXPECT_EQ(status().value(QStringLiteral("searchText")).toString(), QStringLiteral("Greet Marker"));
    // Nothing ran without the value.
    EXPECT_FALSE(QFile::exists(m_marker));

    typeText(QStringLiteral("Ada"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return readFile(m_marker) == QStringLiteral("hello Ada\n"); }))
        << readFile(m_marker).toStdString() << logText().toStdString();
    // A silent script: the window went away for the run.
    EXPECT_TRUE(eventually([&] { return !status().value(QStringLiteral("visible")).toBool(); }));
}

TEST_F(ScriptArgumentsEndToEndTest, ALinkToAScriptRunsItWithItsArgumentsOrAsksForThem) {
    const QString id = writeGreetingScript();
    ASSERT_EQ(run({QStringLiteral("scripts"), QStringLiteral("add-dir"), m_scripts}).exitCode, 0);
    startLauncher();
    const QString link = QStringLiteral("vantrel://commands/") + QString::fromLatin1(QUrl::toPercentEncoding(id));

    // With its argument it runs at once.
    const ProcessRun ran = run({QStringLiteral("open"), link + QStringLiteral("?arguments=Bo")});
    EXPECT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    ASSERT_TRUE(eventually([&] { return readFile(m_marker) == QStringLiteral("hello Bo\n"); }))
        << logText().toStdString();
    EXPECT_FALSE(status().value(QStringLiteral("visible")).toBool());

    // Without it the window asks.
    QFile::remove(m_marker);
    const ProcessRun asked = run({QStringLiteral("open"), link});
    EXPECT_EQ(asked.exitCode, 0) << asked.err.toStdString();
    ASSERT_TRUE(eventually([&] { return asksForTheFirstArgument(); }))
        << QJsonDocument(status()).toJson().toStdString();
    EXPECT_FALSE(QFile::exists(m_marker));
}

}  // namespace
}  // namespace vantrel::test
