// The quicklink forms, the preferences page with its library, and the icons
// of quicklink rows (a site's favicon fetched from a favicon service on
// 127.0.0.1 and kept on disk), on the test session's display over the real
// encrypted database.
#include "support/AppTestSupport.h"
#include "support/LocalHttpServer.h"
#include "support/RecordingPresenter.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/quicklinks/QuicklinkActions.h"
#include "features/quicklinks/QuicklinkIcons.h"
#include "features/quicklinks/QuicklinksFeature.h"
#include "features/quicklinks/QuicklinksService.h"
#include "features/quicklinks/ui/QuicklinkFormView.h"
#include "features/quicklinks/ui/QuicklinksPreferencesPage.h"
#include "kit/UserDefaults.h"
#include "ui/toolkit/RemoteImages.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace vantrel::test {
namespace {

class QuicklinkViewsTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/quicklinks.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        auto made = std::make_unique<QuicklinksFeature>();
        feature = made.get();
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::move(made));
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        form.reset();
        context.reset();
        launcher.reset();
    }

    void open(const CommandOutcome& outcome) {
        ASSERT_EQ(outcome.kind, CommandOutcome::Kind::showView);
        form.reset(qobject_cast<QuicklinkFormView*>(context->makeView(outcome)));
        ASSERT_TRUE(form);
        form->setPresenter(&presenter);
        form->show();
        form->viewDidAppear();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    CommandOutcome run(const char* id, const QString& searchText = {}) {
        const auto command = registry->command(CommandIdentifier(id));
        EXPECT_TRUE(command) << id;
        return command ? command->run({searchText, {}, nullptr}) : CommandOutcome{};
    }

    QuicklinksService& service() const { return *feature->service(); }

    RecordingPresenter presenter;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    QuicklinksFeature* feature = nullptr;
    std::unique_ptr<QuicklinkFormView> form;
};

TEST_F(QuicklinkViewsTest, CreateQuicklinkChecksItsFieldsThenStoresIt) {
    open(run("createQuicklink"));
    EXPECT_EQ(form->title(), QStringLiteral("Create Quicklink"));
    auto* link = qobject_cast<QLineEdit*>(form->control("link"));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->placeholderText(), QStringLiteral("https://www.google.com/search?q={Query}"));
    bool described = false;
    for (const QLabel* label : form->findChildren<QLabel*>())
        described |= label->text().startsWith(QStringLiteral("Include input argument by inserting {Query} in the link."));
    EXPECT_TRUE(described);

    form->setValue("link", "not a link");
    EXPECT_FALSE(form->validate());
    EXPECT_EQ(form->validationMessage("name"), QStringLiteral("Please enter a name"));
    EXPECT_EQ(form->validationMessage("link"), QStringLiteral("Please enter a valid link"));
    EXPECT_TRUE(service().quicklinks().empty());

    form->setValue("name", "Map");
    form->setValue("link", "https://www.openstreetmap.org/search?query={Place}");
    const CommandOutcome created = form->submit();
    EXPECT_EQ(created.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(created.hudText, QStringLiteral("Created Quicklink"));
    ASSERT_EQ(service().quicklinks().size(), 1u);
    EXPECT_EQ(service().quicklinks()[0].urlString, QStringLiteral("https://www.openstreetmap.org/search?query={Place}"));
    EXPECT_TRUE(form->savedQuicklink());

    // A path chosen instead of a link.
    open(run("createQuicklink"));
    form->setValue("name", "Downloads");
    form->setValue("path", home.root());
    EXPECT_EQ(form->submit().hudText, QStringLiteral("Created Quicklink"));
    EXPECT_EQ(service().quicklinks().size(), 2u);
}

TEST_F(QuicklinkViewsTest, TheLinkInTheSearchBarPrefillsTheFormAndRowsOpenUpdateAndDuplicate) {
    open(run("createQuicklinkWithURL", QStringLiteral("see example.org/docs please")));
    EXPECT_EQ(form->values().value("link").toString(), QStringLiteral("https://example.org/docs"));
    form->setValue("name", "Docs");
    ASSERT_EQ(form->submit().kind, CommandOutcome::Kind::done);
    const QuicklinkRecord stored = service().quicklinks().at(0);

    QuicklinkActionProvider provider(stored, nullptr, {}, {}, &service());
    const std::vector<MenuItem> actions = provider.menuItems();
    open(actions[3].perform());  // Configure Quicklink
    EXPECT_EQ(form->title(), QStringLiteral("Update Quicklink"));
    EXPECT_EQ(form->values().value("name").toString(), QStringLiteral("Docs"));
    form->setValue("name", "Documentation");
    EXPECT_EQ(form->submit().hudText, QStringLiteral("Updated Quicklink"));
    EXPECT_EQ(service().quicklink(*stored.id)->name, QStringLiteral("Documentation"));

    open(actions[4].perform());  // Duplicate Quicklink
    EXPECT_EQ(form->title(), QStringLiteral("Duplicate Quicklink"));
    form->setValue("name", "Documentation 2");
    EXPECT_EQ(form->submit().hudText, QStringLiteral("Duplicated Quicklink"));
    EXPECT_EQ(service().quicklinks().size(), 2u);

    // Updating one that was deleted meanwhile says so.
    open(actions[3].perform());
    service().remove(*stored.id);
    const CommandOutcome failed = form->submit();
    EXPECT_EQ(failed.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(failed.title, QStringLiteral("Unable to update Quicklink"));
    EXPECT_EQ(failed.message, QStringLiteral("Cannot find Quicklink ") + QString::number(*stored.id));
}

TEST_F(QuicklinkViewsTest, ThePreferencesPageEditsQuicklinksAndAddsFromTheLibrary) {
    QuicklinksPreferencesPage page(service());
    ASSERT_EQ(page.library()->count(), 10);
    EXPECT_TRUE(page.library()->item(1)->text().startsWith(QStringLiteral("Search Wikipedia")));
    ASSERT_TRUE(page.addFromLibrary(1));
    ASSERT_EQ(service().quicklinks().size(), 1u);
    EXPECT_EQ(service().quicklinks()[0].urlString, QStringLiteral("https://en.wikipedia.org/w/index.php?search={Query}"));
    EXPECT_EQ(page.quicklinks()->count(), 1);

    ASSERT_TRUE(page.createNew());
    EXPECT_EQ(page.nameEdit()->text(), QStringLiteral("New Quicklink"));
    page.nameEdit()->setText("");
    EXPECT_FALSE(page.saveSelected());
    EXPECT_EQ(page.message(), QStringLiteral("Name cannot be empty - Please provide a name"));
    page.nameEdit()->setText("Issues");
    page.linkEdit()->setText("nowhere");
    EXPECT_FALSE(page.saveSelected());
    EXPECT_EQ(page.message(), QStringLiteral("Cannot update link - Please enter a valid link"));
    page.linkEdit()->setText("https://tracker.example.org/issues/{Number}");
    EXPECT_TRUE(page.saveSelected());
    QStringList names;
    for (const QuicklinkRecord& link : service().quicklinks()) names << link.name;
    EXPECT_EQ(names, (QStringList{"Issues", "Search Wikipedia"}));
}

TEST_F(QuicklinkViewsTest, RowIconsAreTheSitesFaviconFetchedInTheBackgroundAndKeptOnDisk) {
    LocalHttpServer server;
    ASSERT_TRUE(server.listen());
    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    icon.save(&buffer, "PNG");
    server.route("/s2/favicons?domain=www.openstreetmap.org&sz=64", {200, "image/png", png});
    ScopedEnv service_{"VANTREL_FAVICON_SERVICE", server.url("/s2/favicons").toString().toUtf8()};

    QuicklinkRecord map;
    map.name = "Map";
    map.urlString = "https://www.openstreetmap.org/search?query={Place}";
    const ImageResource image = quicklinkIcon(map);
    ASSERT_EQ(image.type, ImageResource::Type::url);
    const QUrl url(image.value);
    EXPECT_EQ(url.toString(), server.url("/s2/favicons?domain=www.openstreetmap.org&sz=64").toString());
    // Asking does not wait for the network; the image arrives later.
    EXPECT_TRUE(RemoteImages::shared().image(url).isNull());
    ASSERT_TRUE(waitUntil([&] { return RemoteImages::shared().state(url) == RemoteImages::State::loaded; }, 10000));
    EXPECT_EQ(RemoteImages::shared().image(url).size(), QSize(64, 64));
    EXPECT_TRUE(QFile::exists(RemoteImages::cacheFile(url)));
    EXPECT_EQ(server.requests("/s2/favicons?domain=www.openstreetmap.org&sz=64"), 1);

    // Known hosts have their own icon; local names and other applications no favicon.
    QuicklinkRecord google = map;
    google.urlString = "https://www.google.com/search?q={Query}";
    EXPECT_EQ(quicklinkIcon(google), ImageResource::named("search"));
    QuicklinkRecord local = map;
    local.urlString = "http://localhost:8080/";
    EXPECT_NE(quicklinkIcon(local).type, ImageResource::Type::url);
    QuicklinkRecord withApp = map;
    withApp.applicationID = "no-such-app.desktop";
    EXPECT_NE(quicklinkIcon(withApp).type, ImageResource::Type::url);
}

}  // namespace
}  // namespace vantrel::test
