// "My Pull Requests" from the encrypted cache to the screen: the stored answer
// read and decrypted, decoded into the groups and laid out as rows of the
// list, with GitHub unreachable. The list asks for 20 open and 20 closed pull
// requests in each of the four groups; over 243 pull requests it shows 126
// rows (each closed one once).
// Also one SearchPullRequests request through the client to the local GitHub
// API (tests/features/github/server/github-api.mjs), and the decoding alone.
// Needs an X display and node; run it inside the test session:
//   scripts/test-session --run build/bench/vantrel_github_bench
#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "features/github/GitHubServices.h"
#include "features/github/ui/GitHubListView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace vantrel;
using namespace vantrel::github;

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The local GitHub API with 160 more pull requests, a signed-in session in a
// private file keyring, and the integration over them.
struct Setup {
    QTemporaryDir home;
    QProcess server;
    int port = 0;
    std::shared_ptr<KeychainBackend> backend;
    std::unique_ptr<GitHubServices> services;

    bool start() {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toUtf8());
        server.start(QStandardPaths::findExecutable(QStringLiteral("node")),
                     {QStringLiteral(VANTREL_SOURCE_DIR "/tests/features/github/server/github-api.mjs")});
        QByteArray output;
        if (!waitFor([&] {
                output += server.readAllStandardOutput();
                return output.contains("listening") || server.state() == QProcess::NotRunning;
            }))
            return false;
        port = QJsonDocument::fromJson(output.left(output.indexOf('\n'))).object().value(QStringLiteral("listening")).toInt();
        if (port == 0) return false;
        server.write("{\"seedPulls\": 240}\n");
        if (!waitFor([&] {
                output += server.readAllStandardOutput();
                return output.contains("\"ack\"");
            }))
            return false;
        qputenv("GITHUB_API_URL", QStringLiteral("http://127.0.0.1:%1").arg(port).toUtf8());
        backend = std::make_shared<FileKeychainBackend>();
        OAuthSession session;
        session.credentials.accessToken = QStringLiteral("gho_valid");
        session.credentials.tokenType = QStringLiteral("bearer");
        session.credentials.createdAt = QDateTime::currentDateTimeUtc();
        OAuthUser user;
        user.custom = std::map<QString, QString>{{QStringLiteral("login"), QStringLiteral("octocat")}};
        session.user = user;
        session.version = QStringLiteral("1");
        Keychain(QString::fromLatin1(Keychain::kDefaultService), backend)
            .saveObject(QJsonDocument(session.toJson()), QStringLiteral("github"));
        services = GitHubServices::make(backend);
        return true;
    }

    void stopServer() {
        if (server.state() == QProcess::NotRunning) return;
        server.closeWriteChannel();
        if (!server.waitForFinished(10000)) server.kill();
    }

    ~Setup() {
        services.reset();
        stopServer();
    }
};

Setup& setup() {
    static Setup* shared = [] {
        auto* made = new Setup;
        if (!made->start()) qFatal("the local GitHub API did not start");
        return made;
    }();
    return *shared;
}

int rows(const PullRequestGroups& groups) {
    int count = 0;
    for (const auto& group : groups.groups) count += int(group.items.size());
    return count;
}

// One SearchPullRequests request through the client (token attached, POST with
// the document and variables as a JSON body, the answer stored in the encrypted cache).
void BM_PullRequestsRequestToLocalServer(benchmark::State& state) {
    GitHubAPI& api = setup().services->api();
    int shown = 0;
    for (auto _ : state) {
        QObject context;
        bool done = false;
        api.pullRequests->subscribe(&context, [&](const APIResource<PullRequestGroups>::Result& result) {
            if (result.isLocal()) return;
            if (result.value) shown = rows(*result.value);
            done = true;
        });
        api.pullRequests->refresh(APIRefreshMode::networkOnly);
        if (!waitFor([&] { return done; })) state.SkipWithError("no answer");
    }
    state.counters["rows"] = shown;
}
BENCHMARK(BM_PullRequestsRequestToLocalServer)->Unit(benchmark::kMillisecond)->UseRealTime();

// The cached answer to rows on the screen, with the server stopped.
void BM_CachedPullRequestsToScreen(benchmark::State& state) {
    Setup& shared = setup();
    shared.stopServer();
    int shown = 0;
    for (auto _ : state) {
        auto view = std::make_unique<GitHubListView>(*shared.services, GitHubListView::Kind::pullRequests, QString());
        view->resize(750, 475);
        view->show();
        if (!waitFor([&] { return view->isShowingCachedList() && !view->visibleItems().empty(); })) {
            state.SkipWithError("the cached list did not show");
            break;
        }
        state.PauseTiming();
        shown = int(view->visibleItems().size());
        // The network's failure comes next; it is not part of the figure.
        waitFor([&] { return !view->isLoading(); });
        view.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = shown;
}
BENCHMARK(BM_CachedPullRequestsToScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
