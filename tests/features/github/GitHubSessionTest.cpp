// The session behind the GitHub lists, against the local GitHub API: an
// expiring token is refreshed once for lists that load together, and a
// response cache that was tampered with is dropped, never shown.
#include "GitHubApiServer.h"

#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "features/github/GitHubServices.h"

#include <QDirIterator>

namespace vantrel::test {
namespace {

using namespace vantrel::github;

class GitHubSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem.toStdString();
        apiURL = std::make_unique<ScopedEnv>("GITHUB_API_URL", server.url().toString().toUtf8());
        serverURL = std::make_unique<ScopedEnv>("GITHUB_SERVER_URL", server.url().toString().toUtf8());
    }

    void storeSession(std::optional<double> expiresIn, const QString& token = QStringLiteral("gho_valid")) {
        OAuthSession session;
        session.credentials.accessToken = token;
        session.credentials.tokenType = QStringLiteral("bearer");
        session.credentials.refreshToken = QStringLiteral("ghr_1");
        session.credentials.expiresIn = expiresIn;
        session.credentials.createdAt = QDateTime::currentDateTimeUtc();
        OAuthUser user;
        user.custom = std::map<QString, QString>{{QStringLiteral("login"), QStringLiteral("octocat")}};
        session.user = user;
        session.version = QStringLiteral("1");
        Keychain(QString::fromLatin1(Keychain::kDefaultService), backend)
            .saveObject(QJsonDocument(session.toJson()), QStringLiteral("github"));
    }

    template <typename T>
    static std::shared_ptr<bool> whenAnswered(const std::shared_ptr<APIResource<T>>& resource, QObject* context) {
        auto answered = std::make_shared<bool>(false);
        resource->subscribe(context, [answered](const typename APIResource<T>::Result& result) {
            if (!result.isLocal()) *answered = true;
        });
        return answered;
    }

    ScopedXdgHome home;
    GitHubApiServer server;
    std::unique_ptr<ScopedEnv> apiURL;
    std::unique_ptr<ScopedEnv> serverURL;
    ScopedEnv clientId{"GITHUB_CLIENT_ID", QByteArray("test-client")};
    ScopedEnv clientSecret{"GITHUB_CLIENT_SECRET", QByteArray("test-secret")};
    std::shared_ptr<KeychainBackend> backend = std::make_shared<FileKeychainBackend>();
};

TEST_F(GitHubSessionTest, ATokenAboutToExpireIsRefreshedOnceForThreeListsLoadingTogether) {
    storeSession(30, QStringLiteral("gho_expiring"));
    auto services = GitHubServices::make(backend);
    GitHubAPI& api = services->api();
    QObject context;
    const auto pulls = whenAnswered(api.pullRequests, &context);
    const auto created = whenAnswered(api.createdIssues, &context);
    const auto open = whenAnswered(api.openIssues, &context);
    api.pullRequests->refresh();
    api.createdIssues->refresh();
    api.openIssues->refresh();
    ASSERT_TRUE(waitUntil([&] { return *pulls && *created && *open; }, 20000));
    EXPECT_EQ(server.count(QStringLiteral("/login/oauth/access_token")), 1);
    EXPECT_EQ(server.last(QStringLiteral("/login/oauth/access_token")).value(QStringLiteral("form")).toObject()
                  .value(QStringLiteral("grant_type")).toString(),
              QStringLiteral("refresh_token"));
    for (const char* operation : {"SearchPullRequests", "SearchCreatedIssues", "SearchOpenIssues"})
        EXPECT_EQ(server.last(QLatin1String(operation)).value(QStringLiteral("authorization")).toString(),
                  QStringLiteral("Bearer gho_refreshed"))
            << operation;
    EXPECT_TRUE(api.pullRequests->latestValue().has_value());
    // The new token is what the keyring keeps.
    const QJsonDocument stored =
        Keychain(QString::fromLatin1(Keychain::kDefaultService), backend).readObject(QStringLiteral("github"));
    EXPECT_EQ(stored.object().value(QStringLiteral("credentials")).toObject().value(QStringLiteral("access_token")).toString(),
              QStringLiteral("gho_refreshed"));
}

TEST_F(GitHubSessionTest, ATokenWithTimeLeftIsSentAsItIs) {
    storeSession(3600);
    auto services = GitHubServices::make(backend);
    QObject context;
    const auto answered = whenAnswered(services->api().notifications, &context);
    services->api().notifications->refresh();
    ASSERT_TRUE(waitUntil([&] { return *answered; }, 20000));
    EXPECT_EQ(server.count(QStringLiteral("/login/oauth/access_token")), 0);
    EXPECT_EQ(server.last(QStringLiteral("/notifications")).value(QStringLiteral("authorization")).toString(),
              QStringLiteral("Bearer gho_valid"));
}

TEST_F(GitHubSessionTest, ATamperedCacheIsDroppedAndNeverShown) {
    storeSession(std::nullopt);
    {
        auto services = GitHubServices::make(backend);
        QObject context;
        const auto answered = whenAnswered(services->api().pullRequests, &context);
        services->api().pullRequests->refresh();
        ASSERT_TRUE(waitUntil([&] { return *answered; }, 20000));
    }
    int tampered = 0;
    for (QDirIterator it(home.root(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (!path.contains(QStringLiteral("urlcache"))) continue;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        for (qsizetype i = bytes.size() / 2; i < bytes.size(); i += 7) bytes[i] = char(bytes[i] ^ 0x5a);
        file.seek(0);
        file.write(bytes);
        ++tampered;
    }
    ASSERT_GT(tampered, 0);
    server.stop();

    auto services = GitHubServices::make(backend);
    QObject context;
    std::vector<APIResource<PullRequestGroups>::Result> results;
    services->api().pullRequests->subscribe(&context, [&](const APIResource<PullRequestGroups>::Result& result) {
        results.push_back(result);
    });
    services->api().pullRequests->refresh();
    ASSERT_TRUE(waitUntil([&] { return !results.empty() && results.back().isFailure(); }, 20000));
    for (const auto& result : results) EXPECT_FALSE(result.value.has_value());
}

}  // namespace
}  // namespace vantrel::test
