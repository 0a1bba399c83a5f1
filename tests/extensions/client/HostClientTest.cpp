// The launcher's client against the real extension host process running
// real JavaScriptCore: commands, the API, exceptions at their TypeScript
// place, runaway scripts, a killed host, a broken socket and the sandbox.
#include "extensions/client/ExtensionHostClient.h"
#include "extensions/client/VantrelAPI.h"
#include "extensions/protocol/Messages.h"

#include "ClientTestSupport.h"
#include "support/CapturingLogHandler.h"
#include "support/QtPrinters.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/landlock.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

const QString kApiUser = QStringLiteral(
    "const api = require('vantrel-commands');\n"
    "module.exports = async function () {\n"
    "  const pong = await api.debug.ping();\n"
    "  console.log('ping says', pong, 3, { ok: true });\n"
    "  const encoded = await api.utils.base64Encode('héllo');\n"
    "  const decoded = await api.utils.base64Decode(encoded);\n"
    "  const ids = await api.utils.uuids(2);\n"
    "  const none = await api.utils.uuids(0);\n"
    "  const toast = await api.showToast({ style: 'animated', title: 'Working', message: encoded });\n"
    "  toast.title = 'Still working';\n"
    "  await api.showHUD(decoded + ' ' + ids.length + ' ' + none.length + ' ' + (ids[0] !== ids[1]));\n"
    "  await toast.hide();\n"
    "};\n");

// Calls one API method from a command and logs what came back.
QString callingScript(const QString& nameSpace, const QString& method, const QString& arguments) {
    return QStringLiteral(
               "const api = require('vantrel-commands');\n"
               "module.exports = async function () {\n"
               "  try { console.log('value', JSON.stringify(await api.call('%1', '%2', %3))); }\n"
               "  catch (e) { console.log('error', e.message); }\n"
               "};\n")
        .arg(nameSpace, method, arguments);
}

QString loggedAnswer(LauncherSide& launcher, const QString& name, const QString& nameSpace, const QString& method, const QString& arguments) {
    auto presenter = std::make_shared<RecordingCommandPresenter>();
    const auto result = launcher.run(writeDevelopmentCommand(name, callingScript(nameSpace, method, arguments)), presenter);
    if (!result || result->isFailure()) return QStringLiteral("<command failed>");
    return presenter->events.join(QLatin1Char('\n'));
}

bool kernelHasLandlock() { return syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) >= 1; }

}  // namespace

TEST(ExtensionHostCommands, aDefaultCommandRunsInTheHostAndShowsWhatItCalled) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RecordingCommandPresenter>();
    const auto result = launcher.run(writeDevelopmentCommand(QStringLiteral("apiuser"), kApiUser), presenter);
    ASSERT_TRUE(result.has_value()) << "the command did not finish";
    ASSERT_TRUE(result->isSuccess()) << result->error().errorDescription().toStdString();
    EXPECT_EQ(presenter->events, (QStringList{QStringLiteral("log info: ping says – pong – 3 – {\"ok\":true}"),
                                              QStringLiteral("toast animated: Working – aMOpbGxv"),
                                              QStringLiteral("change toast |Still working|"),
                                              QStringLiteral("toast hud: héllo 2 0 true"), QStringLiteral("hide toast")}));
    EXPECT_TRUE(launcher.api.runningCommands().isEmpty()) << "a finished command is unloaded";
    EXPECT_GT(launcher.client.hostPid(), 0);
}

TEST(ExtensionHostCommands, theEnvironmentNamesTheExtensionAndTheCommand) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RecordingCommandPresenter>();
    const auto result = launcher.run(writeDevelopmentCommand(QStringLiteral("envshow"),
                                                             QStringLiteral("module.exports = function (env) {\n"
                                                                            "  console.log(env.extensionName, env.commandName, typeof env.vantrelVersion,\n"
                                                                            "              JSON.stringify(env.preferences), typeof env.vars.assetsPath);\n"
                                                                            "};\n"),
                                                             QStringLiteral("show-env")),
                                     presenter);
    ASSERT_TRUE(result && result->isSuccess());
    EXPECT_EQ(presenter->events, QStringList{QStringLiteral("log info: envshow – show-env – string – {} – string")});
}

TEST(ExtensionHostCommands, anExceptionIsReportedAtItsPlaceInTheTypeScriptSource) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RecordingCommandPresenter>();
    const auto result = launcher.run(
        writeDevelopmentCommand(QStringLiteral("thrower"), sourceFile(QStringLiteral("tests/fixtures/extensions/sourcemaps/esbuild-throws.js"))),
        presenter);
    ASSERT_TRUE(result.has_value());
    ASSERT_TRUE(result->isFailure());
    EXPECT_EQ(result->error().errorDescription(), QStringLiteral("Too many retries: 5"));
    ASSERT_EQ(presenter->exceptions.size(), 1u);
    const auto& exception = presenter->exceptions.front();
    EXPECT_EQ(exception.name, QStringLiteral("RangeError"));
    // throws.ts line 10: `    throw new RangeError(...)`, the constructor at column 15 counted from 1.
    EXPECT_EQ(exception.position(), QStringLiteral("../src/throws.ts:10:15"));
    EXPECT_EQ(presenter->events.first(), QStringLiteral("toast success: Parsing settings"));
}

TEST(ExtensionHostDispatch, namespacesAndMethodsAreCheckedInOrder) {
    LauncherSide launcher;
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("d1"), QStringLiteral("net"), QStringLiteral("open"), QStringLiteral("{}")),
              QStringLiteral("log info: error – Unhandled message: net.open"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("d2"), QStringLiteral("nope"), QStringLiteral("whatever"), QStringLiteral("{}")),
              QStringLiteral("log info: error – Unknown namespace: nope"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("d3"), QStringLiteral("utils"), QStringLiteral("shuffle"), QStringLiteral("{}")),
              QStringLiteral("log info: error – Unknown methodName: shuffle"));
}

TEST(ExtensionHostDispatch, utilitiesRefuseMissingAndInvalidInput) {
    LauncherSide launcher;
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u1"), QStringLiteral("utils"), QStringLiteral("uuids"), QStringLiteral("{}")),
              QStringLiteral("log info: error – Missing count"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u2"), QStringLiteral("utils"), QStringLiteral("uuids"), QStringLiteral("{count: -1}")),
              QStringLiteral("log info: error – Invalid count"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u3"), QStringLiteral("utils"), QStringLiteral("uuids"), QStringLiteral("{count: 0}")),
              QStringLiteral("log info: value – []"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u4"), QStringLiteral("utils"), QStringLiteral("base64Decode"), QStringLiteral("{}")),
              QStringLiteral("log info: error – Missing input"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u5"), QStringLiteral("utils"), QStringLiteral("base64Decode"), QStringLiteral("{input: '%%%'}")),
              QStringLiteral("log info: error – Invalid input"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u6"), QStringLiteral("utils"), QStringLiteral("base64Encode"), QStringLiteral("{input: 5}")),
              QStringLiteral("log info: error – Invalid input"));
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u7"), QStringLiteral("utils"), QStringLiteral("base64Decode"), QStringLiteral("{input: '/w=='}")),
              QStringLiteral("log info: error – Invalid input"))
        << "bytes that are no UTF-8 text";
    EXPECT_EQ(loggedAnswer(launcher, QStringLiteral("u8"), QStringLiteral("app"), QStringLiteral("showToast"), QStringLiteral("{style: 'loud', title: 'x'}")),
              QStringLiteral("log info: error – Missing required argument for toast"));
}

TEST(ExtensionHostRequests, badLoadsAndUnloadsAreRefusedWithTheirMessages) {
    LauncherSide launcher;
    ExtensionPackage package = writeDevelopmentCommand(QStringLiteral("nolaunch"), QStringLiteral("module.exports = function () {};"));
    package.launchCommand.reset();
    std::optional<Result<QJsonValue>> load;
    launcher.client.loadCommand(package.toJson(), [&](Result<QJsonValue> r) { load = r; });
    ASSERT_TRUE(waitUntil([&] { return load.has_value(); }, 15000));
    EXPECT_EQ(load->error().errorDescription(), QStringLiteral("Invalid launch command in package: nolaunch__dev"));

    std::optional<Result<QJsonValue>> garbage;
    launcher.client.loadCommand(QJsonObject{{QStringLiteral("id"), 5}}, [&](Result<QJsonValue> r) { garbage = r; });
    ASSERT_TRUE(waitUntil([&] { return garbage.has_value(); }));
    EXPECT_TRUE(garbage->error().errorDescription().startsWith(QStringLiteral("Could not decode package: ")));

    std::optional<Result<QJsonValue>> unload;
    launcher.client.unloadCommand(QStringLiteral("nounderscores"), [&](Result<QJsonValue> r) { unload = r; });
    ASSERT_TRUE(waitUntil([&] { return unload.has_value(); }));
    EXPECT_EQ(unload->error().errorDescription(), QStringLiteral("Invalid command id: nounderscores"));

    std::optional<Result<QJsonValue>> unknown;
    launcher.client.request(QStringLiteral("format"), {}, [&](Result<QJsonValue> r) { unknown = r; });
    ASSERT_TRUE(waitUntil([&] { return unknown.has_value(); }));
    EXPECT_EQ(unknown->error().errorDescription(), QStringLiteral("Unknown request: format"));

    std::optional<Result<QJsonValue>> missingScript;
    ExtensionPackage noScript = writeDevelopmentCommand(QStringLiteral("noscript"), QString());
    QFile::remove(noScript.commandScriptPath());
    launcher.api.loadCommand(noScript, nullptr, [&](Result<QJsonValue> r) { missingScript = r; });
    ASSERT_TRUE(waitUntil([&] { return missingScript.has_value(); }));
    EXPECT_TRUE(missingScript->error().errorDescription().startsWith(QStringLiteral("Could not load sources: ")));

    const auto pong = launcher.ping();
    ASSERT_TRUE(pong.has_value());
    EXPECT_EQ(pong->value(), QJsonValue(QStringLiteral("pong"))) << "the host is still well";
}

TEST(ExtensionHostRunaway, aLoopingCommandLeavesTheHostResponsiveAndEndsWhenUnloaded) {
    LauncherSide launcher;
    const ExtensionPackage package = writeDevelopmentCommand(
        QStringLiteral("spinner"), QStringLiteral("module.exports = function () { console.log('spinning'); for (;;) {} };"));
    auto presenter = std::make_shared<RecordingCommandPresenter>();
    std::optional<Result<QJsonValue>> outcome;
    launcher.api.loadCommand(package, presenter, [&](Result<QJsonValue> r) { outcome = r; });
    ASSERT_TRUE(waitUntil([&] { return presenter->events.contains(QStringLiteral("log info: spinning")); }, 15000));
    for (int i = 0; i < 3; ++i) {
        const auto pong = launcher.ping();
        ASSERT_TRUE(pong.has_value() && pong->isSuccess()) << "the host answers while the script loops";
    }
    EXPECT_FALSE(outcome.has_value());
    const qint64 pid = launcher.client.hostPid();
    std::optional<Result<QJsonValue>> unloaded;
    launcher.api.unloadCommand(package.launchCommand->id.rawValue(), [&](Result<QJsonValue> r) { unloaded = r; });
    ASSERT_TRUE(waitUntil([&] { return unloaded.has_value() && outcome.has_value(); }, 15000));
    EXPECT_TRUE(unloaded->isSuccess());
    EXPECT_EQ(outcome->error().errorDescription(), QStringLiteral("Command unloaded"));
    auto next = std::make_shared<RecordingCommandPresenter>();
    const auto again = launcher.run(writeDevelopmentCommand(QStringLiteral("after"), kApiUser), next);
    ASSERT_TRUE(again && again->isSuccess());
    EXPECT_EQ(launcher.client.hostPid(), pid) << "the same host ran the next command";
}

TEST(ExtensionHostCrash, killingTheHostReportsTheRunningCommandAndTheNextRunStartsANewHost) {
    ScopedLogCapture logs;
    LauncherSide launcher;
    const ExtensionPackage package = writeDevelopmentCommand(
        QStringLiteral("victim"), QStringLiteral("module.exports = function () { console.log('running'); for (;;) {} };"));
    auto presenter = std::make_shared<RecordingCommandPresenter>();
    std::optional<Result<QJsonValue>> outcome;
    QStringList interrupted;
    QObject::connect(&launcher.api, &extensions::VantrelAPI::commandInterrupted, [&](const QString& id) { interrupted << id; });
    launcher.api.loadCommand(package, presenter, [&](Result<QJsonValue> r) { outcome = r; });
    ASSERT_TRUE(waitUntil([&] { return presenter->events.contains(QStringLiteral("log info: running")); }, 15000));
    const qint64 pid = launcher.client.hostPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 15000));
    EXPECT_EQ(outcome->error().errorDescription(), QStringLiteral("The extension host stopped while the command ran"));
    EXPECT_EQ(interrupted, QStringList{QStringLiteral("victim.command__dev")});
    EXPECT_TRUE(waitUntil([&] { return logs->contains(QStringLiteral("Connection interrupted")); }));
    EXPECT_TRUE(logs->contains(QStringLiteral("Command interrupted: victim.command__dev")));

    auto next = std::make_shared<RecordingCommandPresenter>();
    const auto again = launcher.run(writeDevelopmentCommand(QStringLiteral("survivor"), kApiUser), next);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(again->isSuccess());
    EXPECT_NE(launcher.client.hostPid(), pid);
    EXPECT_GT(launcher.client.hostPid(), 0);
}

TEST(ExtensionHostConnection, aBrokenSocketIsReconnectedToTheSameHost) {
    LauncherSide launcher;
    ASSERT_TRUE(launcher.ping().has_value());
    const qint64 pid = launcher.client.hostPid();
    bool invalidated = false;
    QObject::connect(&launcher.client, &extensions::ExtensionHostClient::invalidated, [&] { invalidated = true; });
    launcher.client.disconnect();
    ASSERT_TRUE(waitUntil([&] { return launcher.client.state() == extensions::ExtensionHostClient::State::disconnected; }));
    const auto pong = launcher.ping();
    ASSERT_TRUE(pong.has_value());
    EXPECT_EQ(pong->value(), QJsonValue(QStringLiteral("pong")));
    EXPECT_EQ(launcher.client.hostPid(), pid);
    EXPECT_FALSE(invalidated) << "closing it ourselves is no breakage";
}

TEST(ExtensionHostConnection, theHostDropsAConnectionThatSendsBadFramesAndServesTheOthers) {
    LauncherSide launcher;
    ASSERT_TRUE(launcher.ping().has_value());
    const auto sendRaw = [&](const QByteArray& bytes) {
        QLocalSocket socket;
        socket.connectToServer(launcher.client.socketPath());
        if (!socket.waitForConnected(5000)) return false;
        socket.write(bytes);
        socket.flush();
        // The host closes its side once it has read the bad frame.
        return waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState || !socket.isValid(); }, 10000) ||
               socket.waitForDisconnected(10000);
    };
    EXPECT_TRUE(sendRaw(QByteArray::fromHex("7fffffff") + "x")) << "oversized";
    EXPECT_TRUE(sendRaw(QByteArray::fromHex("00000005") + "nope!")) << "not JSON";
    EXPECT_TRUE(sendRaw(QByteArray::fromHex("00000002") + "[]")) << "JSON that is no object";
    const auto pong = launcher.ping();
    ASSERT_TRUE(pong.has_value());
    EXPECT_EQ(pong->value(), QJsonValue(QStringLiteral("pong")));
}

TEST(ExtensionHostConnection, aHostThatCannotStartFailsTheRequest) {
    extensions::ExtensionHostClient client(QStringLiteral("/nonexistent/vantrel-extension-host"));
    std::optional<Result<QJsonValue>> outcome;
    client.ping([&](Result<QJsonValue> r) { outcome = r; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_TRUE(outcome->error().errorDescription().startsWith(QStringLiteral("Could not start the extension host")));
}

TEST(ExtensionHostSandbox, aFileWriteFromInsideTheHostFails) {
    if (!kernelHasLandlock()) GTEST_SKIP() << "this kernel has no Landlock: the host cannot restrict itself here";
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("escaped.txt"));
    QProcess host;
    host.start(QStringLiteral(VANTREL_EXTENSION_HOST_PROGRAM),
               {QStringLiteral("--socket"), folder.filePath(QStringLiteral("probe.sock")), QStringLiteral("--probe-write"), target});
    ASSERT_TRUE(host.waitForFinished(15000));
    const QString output = QString::fromUtf8(host.readAllStandardOutput());
    EXPECT_TRUE(output.contains(QStringLiteral("probe-write: denied"))) << output.toStdString();
    EXPECT_FALSE(QFile::exists(target));
    // The same write from this (unrestricted) test process works: the folder is writable.
    QFile file(target);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
}
