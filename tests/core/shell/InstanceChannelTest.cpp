#include "core/shell/AppRouter.h"
#include "core/shell/InstanceChannel.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <future>

namespace vantrel::test {
namespace {

// Runs work on another thread while this one turns the event loop, where the
// server answers, and gives its result.
template <typename Work>
auto offTheMainThread(Work work) {
    auto future = std::async(std::launch::async, std::move(work));
    waitUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 8000);
    return future.get();
}

// A client call, which blocks.
std::optional<InstanceReply> sendFromAnotherThread(const QString& path, const InstanceRequest& request,
                                                   QString* error = nullptr) {
    auto [reply, failure] = offTheMainThread([path, request] {
        QString message;
        auto answer = InstanceClient(path).send(request, 5000, &message);
        return std::make_pair(answer, message);
    });
    if (error) *error = failure;
    return reply;
}

// Writes raw bytes to the server and returns the line it answers.
QByteArray rawExchange(const QString& path, const QByteArray& bytes) {
    return offTheMainThread([path, bytes] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(3000)) return QByteArray();
        socket.write(bytes);
        socket.waitForBytesWritten(3000);
        QByteArray answer;
        while (!answer.contains('\n') && socket.waitForReadyRead(3000)) answer += socket.readAll();
        return answer;
    });
}

TEST(InstanceChannelTest, MessagesRoundTripAsOneLineOfJson) {
    const InstanceRequest open{QStringLiteral("open"), QStringLiteral("vantrel://commands/emptyTrash")};
    const QByteArray line = open.encode();
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    const auto decoded = InstanceRequest::decode(line);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->command, QStringLiteral("open"));
    EXPECT_EQ(decoded->argument, QStringLiteral("vantrel://commands/emptyTrash"));

    // A search carries its query and options.
    const InstanceRequest search{QStringLiteral("search"), QStringLiteral("fire fox"),
                                 QJsonObject{{QStringLiteral("limit"), 5}}};
    const auto searched = InstanceRequest::decode(search.encode());
    ASSERT_TRUE(searched);
    EXPECT_EQ(searched->argument, QStringLiteral("fire fox"));
    EXPECT_EQ(searched->options.value(QStringLiteral("limit")).toInt(), 5);
    EXPECT_TRUE(InstanceRequest::decode("{\"command\":\"search\"}\n"));

    InstanceReply reply{true, QStringLiteral("Shown"), {{QStringLiteral("visible"), true}}};
    const auto back = InstanceReply::decode(reply.encode());
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->ok);
    EXPECT_EQ(back->message, QStringLiteral("Shown"));
    EXPECT_TRUE(back->values.value(QStringLiteral("visible")).toBool());
}

TEST(InstanceChannelTest, MalformedRequestsAreRefusedWithAReason) {
    const std::vector<std::pair<QByteArray, QString>> cases{
        {"toggle\n", QStringLiteral("The message is not JSON: ")},
        {"[\"toggle\"]\n", QStringLiteral("The message is not a JSON object")},
        {"{\"cmd\":\"toggle\"}\n", QStringLiteral("The message names no command")},
        {"{\"command\":\"reboot\"}\n", QStringLiteral("Unknown command 'reboot'")},
        {"{\"command\":\"open\"}\n", QStringLiteral("The command 'open' needs an argument")},
        {"{\"command\":\"open\",\"argument\":42}\n", QStringLiteral("The argument is not text")},
        {"{\"command\":\"configuration-changed\"}\n",
         QStringLiteral("The command 'configuration-changed' needs an argument")},
        {"{\"command\":\"search\",\"options\":[5]}\n", QStringLiteral("The options are not an object")},
    };
    for (const auto& [line, reason] : cases) {
        QString error;
        EXPECT_FALSE(InstanceRequest::decode(line, &error)) << line.constData();
        EXPECT_TRUE(error.startsWith(reason)) << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(InstanceReply::decode("{\"message\":\"no ok\"}\n", &error));
}

TEST(InstanceChannelTest, TheRunningServerAnswersEachRequestOfAnotherProcess) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("launcher.socket"));
    InstanceServer server(path);
    QStringList received;
    server.setHandler([&](const InstanceRequest& request) {
        received << request.command + QLatin1Char(' ') + request.argument;
        return InstanceReply{true, QStringLiteral("done ") + request.command, {}};
    });
    ASSERT_TRUE(server.listen());

    QString error;
    auto reply = sendFromAnotherThread(path, {QStringLiteral("toggle"), {}}, &error);
    ASSERT_TRUE(reply) << error.toStdString();
    EXPECT_TRUE(reply->ok);
    EXPECT_EQ(reply->message, QStringLiteral("done toggle"));
    reply = sendFromAnotherThread(path, {QStringLiteral("open"), QStringLiteral("vantrel://show")});
    ASSERT_TRUE(reply);
    EXPECT_EQ(received, (QStringList{QStringLiteral("toggle "), QStringLiteral("open vantrel://show")}));

    // Garbage gets a refusal and the server keeps serving.
    const auto refusal = InstanceReply::decode(rawExchange(path, "not json\n"));
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->ok);
    EXPECT_TRUE(refusal->message.startsWith(QStringLiteral("The message is not JSON")));
    EXPECT_TRUE(sendFromAnotherThread(path, {QStringLiteral("hide"), {}}));
    EXPECT_EQ(received.size(), 3);
}

// The sections of a search run long: an answer is not held to the request's line length.
TEST(InstanceChannelTest, ALongAnswerArrivesWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("launcher.socket"));
    InstanceServer server(path);
    const QString rows = QString(300 * 1024, QLatin1Char('r'));
    server.setHandler([&](const InstanceRequest&) { return InstanceReply{true, {}, {{QStringLiteral("rows"), rows}}}; });
    ASSERT_TRUE(server.listen());
    QString error;
    const auto reply = sendFromAnotherThread(path, {QStringLiteral("search"), QStringLiteral("r")}, &error);
    ASSERT_TRUE(reply) << error.toStdString();
    EXPECT_EQ(reply->values.value(QStringLiteral("rows")).toString().size(), rows.size());
}

TEST(InstanceChannelTest, ASecondServerOnTheSameSocketIsRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("launcher.socket"));
    InstanceServer first(path);
    first.setHandler([](const InstanceRequest&) { return InstanceReply{true, {}, {}}; });
    ASSERT_TRUE(first.listen());

    const auto [listening, error] = offTheMainThread([path] {
        InstanceServer other(path);
        QString message;
        const bool listens = other.listen(&message);
        return std::make_pair(listens, message);
    });
    EXPECT_FALSE(listening);
    EXPECT_TRUE(error.startsWith(QStringLiteral("Another launcher is running"))) << error.toStdString();
    // The first still answers.
    EXPECT_TRUE(sendFromAnotherThread(path, {QStringLiteral("status"), {}}));
}

TEST(InstanceChannelTest, ASocketLeftBehindByACrashedLauncherIsReplaced) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("launcher.socket"));
    {
        // A bound socket file nobody listens on any more.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_FALSE(InstanceClient(path).isRunning());
    QString error;
    auto reply = sendFromAnotherThread(path, {QStringLiteral("toggle"), {}}, &error);
    EXPECT_FALSE(reply);
    EXPECT_EQ(error, QStringLiteral("No launcher is running"));

    InstanceServer server(path);
    server.setHandler([](const InstanceRequest&) { return InstanceReply{true, QStringLiteral("here"), {}}; });
    ASSERT_TRUE(server.listen(&error)) << error.toStdString();
    reply = sendFromAnotherThread(path, {QStringLiteral("status"), {}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->message, QStringLiteral("here"));
}

TEST(InstanceChannelTest, TheSocketLivesInTheRuntimeFolderAndItsFileGoesWithTheServer) {
    QTemporaryDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString path = InstanceServer::defaultSocketPath();
    EXPECT_EQ(QFileInfo(path).absolutePath(), runtime.path());
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("vantrel-%1.socket").arg(::getuid()));
    {
        InstanceServer server;
        ASSERT_TRUE(server.listen());
        EXPECT_TRUE(QFile::exists(path));
    }
    EXPECT_FALSE(QFile::exists(path));
}

// MARK: URL routing

TEST(AppRouterTest, RoutesTheLinksItKnows) {
    QStringList calls;
    AppRouter::Routes routes;
    routes.showWindow = [&] { calls << QStringLiteral("show"); };
    routes.hideWindow = [&] { calls << QStringLiteral("hide"); };
    routes.toggleWindow = [&] { calls << QStringLiteral("toggle"); };
    routes.showPreferences = [&] { calls << QStringLiteral("preferences"); };
    // What a feature registers: here a route for exactly vantrel://scripts/reload.
    routes.featureRoute = [&](const QUrl& url) -> std::optional<CommandOutcome> {
        if (url.host() != QLatin1String("scripts") || url.path() != QLatin1String("/reload")) return std::nullopt;
        calls << QStringLiteral("reload");
        return CommandOutcome::done();
    };
    routes.runCommand = [&](const QString& id, const QStringList& arguments) {
        calls << QStringLiteral("run %1 [%2]").arg(id, arguments.join(u','));
        return CommandOutcome::done(QStringLiteral("Ran"));
    };
    const AppRouter router(routes);
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://show"))), AppRouter::Result::handled);
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://hide"))), AppRouter::Result::handled);
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://toggle"))), AppRouter::Result::handled);
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://preferences"))), AppRouter::Result::handled);
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://scripts/reload"))), AppRouter::Result::handled);
    CommandOutcome outcome;
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://commands/urlEncode?arguments=a%20b&arguments=c")), &outcome),
              AppRouter::Result::handled);
    EXPECT_EQ(outcome.hudText, QStringLiteral("Ran"));
    // A script command's id is its path, its slashes escaped in the link.
    EXPECT_EQ(router.route(QUrl(QStringLiteral("vantrel://commands/vantrelScript_%2Fhome%2Fada%2Fgreet%20me.sh"
                                               "?arguments=Bo"))),
              AppRouter::Result::handled);
    EXPECT_EQ(calls, (QStringList{"show", "hide", "toggle", "preferences", "reload", "run urlEncode [a b,c]",
                                  "run vantrelScript_/home/ada/greet me.sh [Bo]"}));
}

TEST(AppRouterTest, EverythingElseIsLoggedAndLeftAlone) {
    bool called = false;
    AppRouter::Routes routes;
    routes.showWindow = [&] { called = true; };
    routes.runCommand = [&](const QString&, const QStringList&) {
        called = true;
        return CommandOutcome::done();
    };
    const AppRouter router(routes);
    ScopedLogCapture capture;
    for (const char* link :
         {"vantrel://extensions/someone/thing", "https://show", "vantrel://show/extra", "vantrel://commands",
          "vantrel://commands/a/b", "vantrel://scripts/delete", "vantrel://preferences", "not a url at all"}) {
        EXPECT_EQ(router.route(QUrl(QString::fromUtf8(link))), AppRouter::Result::unhandled) << link;
    }
    EXPECT_FALSE(called);
    EXPECT_EQ(capture->messages().count(QStringLiteral("Unhandled Vantrel URL scheme call")), 8);
}

TEST(DesktopIntegrationTest, InstallsTheLinkHandlerAndIconOnceAndRewritesAnOutdatedEntry) {
    ScopedXdgHome home;
    ScopedEnv data("XDG_DATA_HOME", (home.root() + QStringLiteral("/data")).toLocal8Bit());
    const QString program = QStringLiteral("/usr/local/bin/vantrel");
    EXPECT_TRUE(DesktopIntegration::install(program));
    QFile entry(DesktopIntegration::desktopEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    entry.close();
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=/usr/local/bin/vantrel open %u\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nMimeType=x-scheme-handler/vantrel;\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nIcon=vantrel\n")));
    EXPECT_TRUE(QFile::exists(DesktopIntegration::iconPath()));
    EXPECT_TRUE(DesktopIntegration::iconPath().endsWith(QStringLiteral("/icons/hicolor/scalable/apps/vantrel.svg")));

    // Nothing to do the second time; a moved program rewrites the entry.
    EXPECT_FALSE(DesktopIntegration::install(program));
    EXPECT_TRUE(DesktopIntegration::install(QStringLiteral("/opt/vantrel/vantrel")));
}

}  // namespace
}  // namespace vantrel::test
