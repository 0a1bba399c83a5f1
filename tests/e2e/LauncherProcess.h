#pragma once

// The real `vantrel` launcher as a process of its own on the test session's X
// server, driven from outside the way a user would: started in the
// background, asked through its instance socket, fed keys with xdotool.
#include "support/X11TestSupport.h"

#include "core/shell/InstanceChannel.h"
#include "data/Database.h"
#include "data/Keychain.h"
#include "kit/UserDefaults.h"
#include "platform/freedesktop/KeychainFactory.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

namespace vantrel::test {

inline const QString kExecutable = QStringLiteral(VANTREL_EXECUTABLE);
inline const QString kTextWindow = QStringLiteral(VANTREL_TEXT_WINDOW);
inline const QString kAppName = QStringLiteral("Zebrafish Marker");

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program to its end.
inline ProcessRun run(const QString& program, const QStringList& arguments, int timeoutMs = 15000) {
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

inline QString readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// Waits without running this process's event loop (the launcher is another process).
inline bool eventually(const std::function<bool()>& predicate, int timeoutMs = 10000) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (predicate()) return true;
        QThread::msleep(50);
    }
    return predicate();
}

// A desktop entry that runs `command`.
inline QByteArray desktopEntry(const QString& name, const QString& command) {
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\nTerminal=false\n")
        .arg(name, command)
        .toUtf8();
}

// How the text window of LauncherProcessTest::openTextWindow is made.
struct TextWindowOptions {
    // A password field (one line, its text hidden) instead of a text area.
    bool password = false;
    // Exposes the window on the accessibility bus, as Qt does when a screen
    // reader runs.
    bool accessible = false;
};

// A test that runs the launcher: XDG folders and a runtime folder of its own,
// the file keyring, and the launcher stopped at the end.
class LauncherProcessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (hasXDisplay()) s_altSpaceFree = releaseAltSpaceFromOpenbox();
    }

    void SetUp() override {
        VANTREL_REQUIRE_X_DISPLAY();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning(), "needs the window manager of scripts/test-session");
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(s_altSpaceFree, "openbox keeps Alt+Space (run inside scripts/test-session)");
        ASSERT_TRUE(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_home = std::make_unique<ScopedXdgHome>();
        m_runtimeEnv = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        m_keyring = std::make_unique<ScopedEnv>("VANTREL_KEYRING", QByteArray("file"));
        m_marker = m_home->root() + QStringLiteral("/launched.marker");
        // An application whose only effect is the marker file.
        QDir().mkpath(applicationsFolder());
        QFile entry(applicationsFolder() + QStringLiteral("/zebrafish-marker.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(desktopEntry(kAppName, QStringLiteral("/bin/sh -c \"echo launched >> %1\"").arg(m_marker)));
    }

    void TearDown() override {
        closeTextWindow();
        stopLauncher();
        m_keyring.reset();
        m_runtimeEnv.reset();
        m_home.reset();
    }

    // Starts the launcher in the background and waits until it answers and
    // has loaded the applications.
    void startLauncher(const QStringList& arguments = {QStringLiteral("--background")}) {
        // Only what this start writes to the log counts.
        const qsizetype from = logText().size();
        const auto logged = [&](const QString& line) { return logText().mid(from).contains(line); };
        m_launcher = std::make_unique<QProcess>();
        m_launcher->setProcessChannelMode(QProcess::MergedChannels);
        m_launcher->setStandardOutputFile(m_home->root() + QStringLiteral("/launcher.out"));
        m_launcher->start(kExecutable, arguments);
        ASSERT_TRUE(m_launcher->waitForStarted(5000));
        ASSERT_TRUE(eventually([&] { return logged(QStringLiteral("Launcher started")); }, 30000))
            << logText().toStdString();
        ASSERT_TRUE(eventually([&] { return logged(QStringLiteral("Loaded data source 'system'")); }, 30000));
        // Loaded is not yet stored: the records are written after every source answered.
        ASSERT_TRUE(eventually([&] { return logged(QStringLiteral("Data source(s) updated")); }, 30000))
            << logText().toStdString();
        ASSERT_TRUE(InstanceClient().isRunning());
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

    // The user's own applications folder (XDG_DATA_HOME/applications).
    static QString applicationsFolder() {
        return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    }

    // The launcher's database, opened the way the launcher opens it (stop the
    // launcher first).
    static std::shared_ptr<DatabasePool> openLaunchersDatabase() {
        DatabaseOpener::Options options;
        options.keychain =
            std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), makeKeychainBackend());
        return DatabaseOpener(std::move(options)).openDatabase();
    }

    // A returning user: the welcome of a first start was seen.
    static void markWelcomeSeen() {
        UserDefaults::standard().setValue(QStringLiteral("vantrelWelcomeShown"), true);
        UserDefaults::standard().sync();
    }

    QString logText() const { return readFile(qEnvironmentVariable("XDG_STATE_HOME") + "/vantrel/vantrel.log"); }

    QJsonObject status() const {
        const auto reply = InstanceClient().send({QStringLiteral("status"), {}}, 5000);
        return reply ? reply->values : QJsonObject{};
    }
    bool isVisible() const { return status().value(QStringLiteral("visible")).toBool(); }
    bool isKeyWindow() const { return status().value(QStringLiteral("keyWindow")).toBool(); }
    // The title of the view on top (empty at root search), the search bar's
    // text and the selected row's id.
    QString topView() const { return status().value(QStringLiteral("view")).toString(); }
    QString searchText() const { return status().value(QStringLiteral("searchText")).toString(); }
    QString selectedItem() const { return status().value(QStringLiteral("selectedItem")).toString(); }
    // The titles of the rows root search lists in the window right now.
    QStringList listedRows() const {
        QStringList rows;
        for (const QJsonValue& row : status().value(QStringLiteral("rows")).toArray()) rows << row.toString();
        return rows;
    }

    // The rows of the extension view shown now.
    QStringList viewRows() const {
        QStringList rows;
        for (const QJsonValue& row : status().value(QStringLiteral("viewRows")).toArray()) rows << row.toString();
        return rows;
    }

    // Copies the extension fixture tests/fixtures/extensions/views/NAME into
    // this test's home and installs it with `vantrel extensions install`, as
    // a developer does with their folder.
    void installViewsFixture(const QString& name) {
        const QString source = QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/views/") + name;
        const QString folder = m_home->root() + QStringLiteral("/dev/") + name;
        QDirIterator files(source, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            // Images are binary: copied as they are.
            if (path.endsWith(QLatin1String(".png"))) {
                ASSERT_TRUE(QDir().mkpath(QFileInfo(folder + path.mid(source.size())).absolutePath()));
                ASSERT_TRUE(QFile::copy(path, folder + path.mid(source.size())));
                continue;
            }
            writeTestFile(folder + path.mid(source.size()), readFile(path).toUtf8());
        }
        const ProcessRun install = run(kExecutable, {QStringLiteral("extensions"), QStringLiteral("install"), folder}, 60000);
        ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    }

    // The launcher window's X id once it is mapped, or empty.
    QString visibleWindowId() const {
        const ProcessRun found =
            run(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--classname"), QStringLiteral("vantrel")},
                5000);
        return found.out.split(QLatin1Char('\n')).value(0);
    }
    QString activeWindowId() const { return run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).out; }

    void showWithHotkey() {
        pressKeys(QStringLiteral("alt+space"));
        ASSERT_TRUE(eventually([&] { return isKeyWindow(); })) << "the hotkey did not show the window";
    }

    void typeText(const QString& text) {
        const ProcessRun typed = run(QStringLiteral("xdotool"),
                                     {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
        ASSERT_EQ(typed.exitCode, 0) << typed.err.toStdString();
    }

    // A window of another application with the focus, holding one text field
    // whose text is written to `output` after every change. Returns its X id
    // (empty, with a failure recorded, when it did not come up). Closed by TearDown.
    QString openTextWindow(const QString& output, const QString& title, TextWindowOptions options = {}) {
        closeTextWindow();
        m_textWindow = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (options.accessible) environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        m_textWindow->setProcessEnvironment(environment);
        QStringList arguments{output, title};
        if (options.password) arguments << QStringLiteral("--password");
        m_textWindow->start(kTextWindow, arguments);
        EXPECT_TRUE(m_textWindow->waitForStarted());
        const ProcessRun found = run(QStringLiteral("xdotool"),
                                     {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--name"), title},
                                     10000);
        const QString window = found.out.split(QLatin1Char('\n')).value(0);
        EXPECT_FALSE(window.isEmpty()) << found.err.toStdString();
        if (window.isEmpty()) return window;
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        EXPECT_TRUE(eventually([&] { return activeWindowId() == window; }));
        return window;
    }

    void closeTextWindow() {
        if (!m_textWindow) return;
        m_textWindow->kill();
        m_textWindow->waitForFinished();
        m_textWindow.reset();
    }

    std::unique_ptr<QProcess> m_textWindow;

    QTemporaryDir m_runtime;
    std::unique_ptr<ScopedXdgHome> m_home;
    std::unique_ptr<ScopedEnv> m_runtimeEnv;
    std::unique_ptr<ScopedEnv> m_keyring;
    std::unique_ptr<QProcess> m_launcher;
    QString m_marker;
    static inline bool s_altSpaceFree = false;
};

}  // namespace vantrel::test
