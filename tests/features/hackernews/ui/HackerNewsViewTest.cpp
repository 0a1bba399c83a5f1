// "Hacker News" on the test session's display against a server on 127.0.0.1:
// the list read before shows at once and the server's replaces it; the rows'
// actions; a server that is down keeps the old rows and says why, and without
// old rows the reason fills the view.
#include "support/RecordingPresenter.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"

#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "features/hackernews/HackerNewsAPI.h"
#include "features/hackernews/ui/HackerNewsView.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace vantrel::test {
namespace {

using hackernews::HackerNewsClient;
using hackernews::HackerNewsView;

class HackerNewsViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen());
        ASSERT_TRUE(cacheDir.isValid());
        auto cache = std::make_shared<HTTPCache>(Keychain(QStringLiteral("vantrel-hn-view-test"), std::make_shared<FileKeychainBackend>()),
                                                 [this](const CachingRealm&) {
                                                     CacheConfig config;
                                                     config.directory = cacheDir.path();
                                                     return config;
                                                 });
        http = std::make_unique<HTTPClient>(cache);
        client = std::make_unique<HackerNewsClient>(*http, server.url("/v0/"), QUrl("https://news.example.org/"));
    }

    void serve(const QStringList& titles) {
        QJsonArray ids;
        for (int i = 0; i < titles.size(); ++i) {
            ids.append(i + 1);
            QJsonObject story{{"id", i + 1}, {"title", titles[i]}, {"score", 5}, {"by", "ada"}, {"descendants", 2}};
            if (i % 2 == 0) story.insert("url", QStringLiteral("https://example.org/%1").arg(i + 1));
            server.reply(QStringLiteral("/v0/item/%1.json").arg(i + 1), {200, QJsonDocument(story).toJson()});
        }
        server.reply("/v0/topstories.json", {200, QJsonDocument(ids).toJson()});
    }

    std::unique_ptr<HackerNewsView> open() {
        auto view = std::make_unique<HackerNewsView>(*client);
        view->setPresenter(&presenter);
        view->resize(750, 475);
        view->show();
        return view;
    }

    static QStringList titles(const HackerNewsView& view) {
        QStringList found;
        for (const ListView::Item* item : view.visibleItems()) found << item->title;
        return found;
    }

    ScopedXdgHome home;
    TestHttpServer server;
    QTemporaryDir cacheDir;
    std::unique_ptr<HTTPClient> http;
    std::unique_ptr<HackerNewsClient> client;
    RecordingPresenter presenter;
};

TEST_F(HackerNewsViewTest, TheListReadBeforeShowsAtOnceThenTheServersList) {
    serve({"First", "Second"});
    {
        auto first = open();
        EXPECT_TRUE(first->isLoading());
        EXPECT_TRUE(titles(*first).isEmpty());
        ASSERT_TRUE(waitUntil([&] { return !first->isLoading(); }, 20000));
        EXPECT_EQ(titles(*first), QStringList({"First", "Second"}));
        EXPECT_FALSE(first->isShowingCachedList());
    }
    serve({"Newer", "First", "Second"});
    server.hold("/v0/topstories.json");
    auto view = open();
    EXPECT_TRUE(view->isShowingCachedList());
    EXPECT_EQ(titles(*view), QStringList({"First", "Second"}));
    ASSERT_TRUE(waitUntil([&] { return server.waitingCount("/v0/topstories.json") == 1; }, 20000));
    server.release("/v0/topstories.json");
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    EXPECT_FALSE(view->isShowingCachedList());
    EXPECT_EQ(titles(*view), QStringList({"Newer", "First", "Second"}));
    EXPECT_TRUE(presenter.toasts.empty());
}

TEST_F(HackerNewsViewTest, RowsOpenTheStoryOrItsCommentsAndCopyTheLink) {
    serve({"Link post", "Text post"});
    auto view = open();
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    ASSERT_TRUE(view->selectItem("1"));
    std::vector<MenuItem> actions = view->actions();
    QStringList ids;
    for (const MenuItem& action : actions) ids << action.id;
    EXPECT_EQ(ids, QStringList({"open", "openComments", "copyLink", "copyCommentsLink", "reload"}));
    EXPECT_EQ(actions[0].title, "Open in Browser");
    const CommandOutcome copied = actions[2].perform();
    EXPECT_EQ(copied.resultText, "https://example.org/1");
    EXPECT_EQ(actions[3].perform().resultText, "https://news.example.org/item?id=1");
    // A text post's link is its discussion.
    ASSERT_TRUE(view->selectItem("2"));
    EXPECT_EQ(view->actions()[2].perform().resultText, "https://news.example.org/item?id=2");
    // The filter finds a story by its author or its site.
    view->searchTextChanged("example.org");
    EXPECT_EQ(titles(*view), QStringList({"Link post"}));
}

TEST_F(HackerNewsViewTest, AServerThatIsDownKeepsTheOldRowsAndSaysWhy) {
    serve({"Kept"});
    {
        auto first = open();
        ASSERT_TRUE(waitUntil([&] { return !first->isLoading(); }, 20000));
    }
    server.reply("/v0/topstories.json", {500, "down for maintenance"});
    auto view = open();
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    EXPECT_EQ(titles(*view), QStringList({"Kept"}));
    EXPECT_TRUE(view->isShowingCachedList());
    ASSERT_TRUE(presenter.lastToast());
    EXPECT_EQ(presenter.lastToast()->title, "Could not refresh Hacker News");
    EXPECT_TRUE(presenter.lastToast()->message.startsWith("Could not load the top stories: Request failed with status 500"))
        << presenter.lastToast()->message.toStdString();
}

TEST_F(HackerNewsViewTest, WithoutAnyListTheReasonFillsTheView) {
    server.close();
    auto view = open();
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_EQ(view->emptyText(),
              "Could not load the top stories: Could not connect to the server: '127.0.0.1' refused the connection");
    ASSERT_TRUE(presenter.lastToast());
    EXPECT_EQ(presenter.lastToast()->title, "Failed loading Hacker News");
}

}  // namespace
}  // namespace vantrel::test
