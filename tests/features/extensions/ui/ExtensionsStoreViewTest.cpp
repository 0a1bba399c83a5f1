// "Extensions Store" on the test session's display, over the real database
// and the feature's registry, against an index and zips on 127.0.0.1: the
// list with the installed mark, installing and uninstalling from the row's
// action with the toasts that follow them, and the reasons a bad index or a
// bad zip give.
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"
#include "support/TestHttpServer.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "extensions/packages/ArchiveFixtures.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "features/extensions/ExtensionsFeature.h"
#include "features/extensions/ui/ExtensionsStoreView.h"
#include "kit/UserDefaults.h"

#include <QDir>
#include <QFile>

namespace vantrel::test {
namespace {

class ExtensionsStoreViewTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        QDir().mkpath(work);
        ASSERT_TRUE(server.listen());
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/extensions.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        auto made = std::make_unique<ExtensionsFeature>();
        feature = made.get();
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::move(made));
        registerFeatures(*context, std::move(features));
        ASSERT_TRUE(feature->store());
    }
    void TearDown() override {
        view.reset();
        context.reset();
        launcher.reset();
    }

    void serveZip(const QString& name, const QString& path) {
        writePackageFolder(work, name, {QStringLiteral("greet")});
        QFile zip(zipFolder(work, name, work + QLatin1Char('/') + name + QStringLiteral(".zip")));
        ASSERT_TRUE(zip.open(QIODevice::ReadOnly));
        server.reply(path, {200, zip.readAll(), {{"Content-Type", "application/zip"}}});
    }

    void open() {
        view = std::make_unique<ExtensionsStoreView>(*feature->store(), server.url("/index.json"), [this] { ++changes; });
        view->setPresenter(&presenter);
        view->resize(750, 475);
        view->show();
        ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    }

    // The rows by section: "Installed: Title" or "Extensions: Title".
    QStringList rows() const {
        QStringList found;
        for (const ListView::Item* item : view->visibleItems()) {
            const bool installed = std::any_of(item->accessories.begin(), item->accessories.end(),
                                               [](const ListView::Accessory& a) { return a.text == "Installed"; });
            found << (installed ? "Installed: " : "Extensions: ") + item->title;
        }
        return found;
    }

    void runPrimary(const QString& id) {
        ASSERT_TRUE(view->selectItem(id));
        const std::vector<MenuItem> actions = view->actions();
        ASSERT_FALSE(actions.empty());
        EXPECT_EQ(actions.front().id, "install-uninstall");
        actions.front().perform();
        ASSERT_TRUE(waitUntil([&] { return !view->isBusy(); }, 30000));
    }

    QString work = home.root() + QStringLiteral("/work");
    TestHttpServer server;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    ExtensionsFeature* feature = nullptr;
    std::unique_ptr<ExtensionsStoreView> view;
    RecordingPresenter presenter;
    int changes = 0;
};

TEST_F(ExtensionsStoreViewTest, InstallsAndUninstallsFromTheRowWithToasts) {
    serveZip("weather", "/weather.zip");
    server.reply("/index.json", {200, R"([
        {"id": "w", "name": "weather", "title": "Weather", "description": "Forecasts", "author": "Ada",
         "download_url": "/weather.zip"},
        {"id": "c", "name": "clock", "title": "Clock", "description": "Time", "download_url": "/clock.zip"}
    ])"});
    open();
    EXPECT_EQ(rows(), QStringList({"Extensions: Weather", "Extensions: Clock"}));
    EXPECT_TRUE(presenter.toasts.empty());

    ASSERT_TRUE(view->selectItem("w"));
    EXPECT_EQ(view->actions().front().title, "Install Extension");
    runPrimary("w");
    // The progress toast is updated in place with the result.
    EXPECT_EQ(presenter.toastTitles(), QStringList({"Installing extension...", "Extension installed"}));
    EXPECT_EQ(presenter.toasts.back().id, presenter.toasts.front().id);
    EXPECT_EQ(rows(), QStringList({"Installed: Weather", "Extensions: Clock"}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(feature->extensionRegistry()->commands().size(), 1u);

    ASSERT_TRUE(view->selectItem("w"));
    EXPECT_EQ(view->actions().front().title, "Uninstall Extension");
    runPrimary("w");
    EXPECT_EQ(presenter.lastToast()->title, "Extension uninstalled");
    EXPECT_EQ(rows(), QStringList({"Extensions: Weather", "Extensions: Clock"}));
    EXPECT_TRUE(feature->extensionRegistry()->fetchAllExtensions().empty());

    // The clock's zip is missing on the server.
    runPrimary("c");
    EXPECT_EQ(presenter.lastToast()->title, "Failed to download the extension");
    EXPECT_EQ(presenter.lastToast()->message, "Request failed with status 404: Not Found");
    EXPECT_EQ(view->lastFailure(), "Failed to download the extension: Request failed with status 404: Not Found");
    EXPECT_EQ(rows(), QStringList({"Extensions: Weather", "Extensions: Clock"}));
}

TEST_F(ExtensionsStoreViewTest, ABadIndexSaysWhyAndEntriesLeftOutAreNamed) {
    server.reply("/index.json", {200, R"([{"name": "half", "title": "Half"},
        {"name": "ok", "title": "OK", "description": "fine", "download_url": "/ok.zip"}])"});
    open();
    EXPECT_EQ(rows(), QStringList({"Extensions: OK"}));
    ASSERT_TRUE(presenter.lastToast());
    EXPECT_EQ(presenter.lastToast()->title, "1 entry of the index was left out");
    EXPECT_EQ(presenter.lastToast()->message, "Entry 1 ('half') has no 'description'");

    server.reply("/index.json", {200, "{\"extensions\": ["});
    view->reload();
    ASSERT_TRUE(waitUntil([&] { return !view->isLoading(); }, 20000));
    EXPECT_TRUE(view->isShowingEmptyView());
    EXPECT_TRUE(view->emptyText().startsWith("The extension index is not valid JSON: ")) << view->emptyText().toStdString();
    EXPECT_EQ(presenter.lastToast()->title, "Failed loading extensions");
}

}  // namespace
}  // namespace vantrel::test
