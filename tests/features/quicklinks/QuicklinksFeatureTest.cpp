// Quicklinks in root search over the real stack (encrypted database, search
// engine, registry, every feature): their rows and argument field, opening
// them, aliases, the application they open with, and their actions.
#include "support/RecordingPresenter.h"
#include "support/RootSearchTestSupport.h"

#include "features/quicklinks/QuicklinkActions.h"
#include "features/quicklinks/QuicklinkForm.h"
#include "features/quicklinks/QuicklinksFeature.h"
#include "features/quicklinks/QuicklinksService.h"
#include "features/quicklinks/QuicklinksSource.h"
#include "kit/NotificationNames.h"

#include <QDir>
#include <QFile>

namespace vantrel::test {
namespace {

class QuicklinksFeatureTest : public RootSearchFixture {
protected:
    void SetUp() override {
        RootSearchFixture::SetUp();
        environment.openUrl = [this](const QUrl& url) {
            if (failOpening) throw VantrelError(QStringLiteral("No handler for this link"));
            opened << QString::fromUtf8(url.toEncoded());
        };
    }

    // Root search with the launcher's features, links opening into `opened`.
    bool startWithQuicklinks(const std::vector<QuicklinkRecord>& links) {
        // Stored before the sources load, as the user's earlier quicklinks are.
        QuicklinksRepository repository(pool);
        for (QuicklinkRecord link : links) {
            link.updatedAt = QDateTime::currentDateTimeUtc();
            ids << repository.create(link).id.value_or(0);
        }
        repository_ = std::make_shared<SearchRepository>(pool);
        launcher = std::make_unique<LauncherSearch>(repository_, *registry);
        controller = std::make_unique<RootSearchController>(*launcher, nullptr, *defaults, &center);
        controller->setEnvironment(&environment);
        controller->setEventHandler([this](const RootSearchEvent& event) { events.push_back(event); });
        fallbackProvider = std::make_shared<FallbackSearchProvider>(*registry, &center);
        controller->addSearchProvider(fallbackProvider);
        features = std::make_unique<FeatureContext>(
            FeatureContext::Services{*registry, *launcher, *defaults, center, controller.get(), &environment});
        features->setPresenter(&presenter);
        registerFeatures(*features, makeFeatures());
        quicklinks = features->api<QuicklinksFeature>();
        if (!quicklinks) return false;
        if (!waitUntil([this] { return fallbackProvider->completedRebuilds() > 0; }, 10000)) return false;
        controller->configureSearchDataSources();
        return waitUntil([this] { return logs->contains(QStringLiteral("Data Sources updated, isKeyWindow: false")); },
                         30000);
    }

    static QuicklinkRecord link(const QString& name, const QString& url, const QString& application = {}) {
        QuicklinkRecord record;
        record.name = name;
        record.urlString = url;
        record.applicationID = application;
        return record;
    }

    QString key(int index) const { return QuicklinksService::key(ids.at(index)); }

    // Waits until the search table holds what the quicklinks source published last.
    bool waitForRecords(int count) {
        return waitUntil([&] {
            return pool->read([](Connection& db) {
                       return db.scalar(QStringLiteral("SELECT count(*) FROM search WHERE source = 'quicklinks' "
                                                       "AND uninstalled = 0")).toInt();
                   }) == count;
        });
    }

    LauncherEnvironment environment;
    RecordingPresenter presenter;
    QStringList opened;
    bool failOpening = false;
    QList<qint64> ids;
    std::shared_ptr<SearchRepository> repository_;
    QuicklinksFeature* quicklinks = nullptr;
};

TEST_F(QuicklinksFeatureTest, TheNameFindsItTheFieldTakesTheArgumentAndReturnOpensTheFilledLink) {
    ASSERT_TRUE(startWithQuicklinks({link("Map", "https://www.openstreetmap.org/search?query={Place}")}));
    type(QStringLiteral("map"));
    const ListItem* row = controller->selectedItem();
    ASSERT_TRUE(row);
    EXPECT_EQ(row->id, key(0));
    EXPECT_EQ(row->title, QStringLiteral("Map"));
    EXPECT_EQ(row->subtitle, QStringLiteral("Quicklink"));
    ASSERT_TRUE(controller->searchBar().inputCommand);
    ASSERT_EQ(controller->searchBar().inputParameters.size(), 1u);
    EXPECT_EQ(controller->searchBar().inputParameters[0]->placeholder(), QStringLiteral("Place"));
    EXPECT_TRUE(controller->searchBar().inputParameters[0]->percentEncoded());

    // A space after the name keeps the row and its field.
    type(QStringLiteral("map "));
    ASSERT_TRUE(controller->selectedItem());
    EXPECT_EQ(controller->selectedItem()->id, key(0));
    ASSERT_TRUE(controller->searchBar().inputCommand);
    EXPECT_EQ(controller->searchBar().inputCommand->id(), key(0));

    // Return with the field empty asks for the value and opens nothing.
    EXPECT_EQ(controller->chooseSelectedItem().kind, CommandOutcome::Kind::done);
    EXPECT_EQ(controller->searchBar().focusedArgumentIndex, 0);
    EXPECT_TRUE(opened.isEmpty());

    controller->setArgumentValue(0, QStringLiteral("a b#c"));
    const CommandOutcome outcome = controller->chooseSelectedItem();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    EXPECT_TRUE(outcome.toastTitle.isEmpty());
    EXPECT_EQ(opened, QStringList{"https://www.openstreetmap.org/search?query=a%20b%23c"});
    // The use counts for ranking.
    EXPECT_TRUE(waitUntil([&] { return repository_->record(key(0))->frecencyDate.has_value(); }));
}

TEST_F(QuicklinksFeatureTest, AnAliasFindsItAndASpaceMovesTheFocusToItsField) {
    ASSERT_TRUE(startWithQuicklinks(
        {link("Map", "https://www.openstreetmap.org/search?query={Place}"), link("News", "https://example.org/news")}));
    launcher->search().setAlias(QStringLiteral("osm"), key(0));
    // The index learns the alias in the background.
    ASSERT_TRUE(waitUntil([&] {
        type(QStringLiteral("osm"));
        return controller->selectedItem() && controller->selectedItem()->id == key(0);
    }));
    type(QStringLiteral("osm "));
    EXPECT_EQ(controller->searchBar().focusedArgumentIndex, 0);

    // A link without a placeholder opens whatever the bar holds.
    type(QStringLiteral("news"));
    ASSERT_TRUE(controller->selectedItem());
    EXPECT_EQ(controller->selectedItem()->id, key(1));
    EXPECT_FALSE(controller->searchBar().inputCommand);
    controller->chooseSelectedItem();
    EXPECT_EQ(opened, QStringList{"https://example.org/news"});
}

TEST_F(QuicklinksFeatureTest, BadInputsAndFailuresToOpenAreSaid) {
    ASSERT_TRUE(startWithQuicklinks({link("Search", "https://example.org/s?q={Query}")}));
    QuicklinkActionProvider twoValues(link("Search", "https://example.org/s?q={Query}"), nullptr, {},
                                      [] { return QStringList{"a", "b"}; }, quicklinks->service());
    const CommandOutcome invalid = twoValues.open();
    EXPECT_EQ(invalid.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(invalid.title, QStringLiteral("Please enter valid inputs"));

    failOpening = true;
    QuicklinkActionProvider provider(link("Search", "https://example.org/s?q={Query}"), nullptr, {},
                                     [] { return QStringList{"x"}; }, quicklinks->service(), nullptr, &environment);
    const CommandOutcome failed = provider.open();
    EXPECT_EQ(failed.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(failed.title, QStringLiteral("Unable to open Quicklink"));
    EXPECT_EQ(failed.message, QStringLiteral("No handler for this link"));
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(QuicklinksFeatureTest, AGoneApplicationFallsBackToTheDefaultHandlerWithAToast) {
    ASSERT_TRUE(startWithQuicklinks({link("Docs", "https://example.org/docs", "no-such-browser.desktop")}));
    type(QStringLiteral("docs"));
    const CommandOutcome outcome = controller->chooseSelectedItem();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(outcome.toastTitle, QStringLiteral("Application not found, opened with the default application"));
    EXPECT_EQ(opened, QStringList{"https://example.org/docs"});
}

TEST_F(QuicklinksFeatureTest, TheChosenApplicationGetsTheLink) {
    // A real desktop entry whose program writes down what it was given.
    const QString marker = home.root() + QStringLiteral("/opened-with.txt");
    const QString program = home.root() + QStringLiteral("/opener.sh");
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + marker.toUtf8() + ".part' && /bin/mv '" +
                 marker.toUtf8() + ".part' '" + marker.toUtf8() + "'\n");
    script.close();
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    QDir().mkpath(applications);
    QFile entry(applications + QStringLiteral("/vantrel-test-opener.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Test Opener\nExec=" + program.toUtf8() + " %u\n");
    entry.close();

    ASSERT_TRUE(startWithQuicklinks({link("Wiki", "https://example.org/wiki/{Page}", "vantrel-test-opener.desktop")}));
    type(QStringLiteral("wiki"));
    controller->setArgumentValue(0, QStringLiteral("Main Page"));
    const CommandOutcome outcome = controller->chooseSelectedItem();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done) << outcome.title.toStdString() << outcome.message.toStdString();
    EXPECT_TRUE(outcome.toastTitle.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(marker); }, 10000));
    QFile written(marker);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()).trimmed(), QStringLiteral("https://example.org/wiki/Main%20Page"));
    // Not through the default handler.
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(QuicklinksFeatureTest, ChangesRepublishTheRecordsAndDisabledOnesAreNotOffered) {
    ASSERT_TRUE(startWithQuicklinks({link("Alpha", "https://alpha.example.org/")}));
    ASSERT_TRUE(waitForRecords(1));
    int sourceNotices = 0;
    QObject observer;
    center.addObserver(QString(NotificationNames::quicklinksSourceDidChange), &observer,
                       [&](const Notification&) { ++sourceNotices; });

    QuicklinksService& service = *quicklinks->service();
    QuicklinkRecord beta = service.create(link("Beta", "https://beta.example.org/"));
    ASSERT_TRUE(waitForRecords(2));
    EXPECT_EQ(sourceNotices, 1);

    beta.isEnabled = false;
    service.update(beta);
    ASSERT_TRUE(waitForRecords(1));
    type(QStringLiteral("beta"));
    EXPECT_FALSE(findItem(QuicklinksService::key(*beta.id)));

    expectVantrelError([&] { service.remove(999); }, QStringLiteral("Cannot find Quicklink 999"));
}

TEST_F(QuicklinksFeatureTest, ActionsCopyConfigureDuplicateAndDeleteAfterAsking) {
    ASSERT_TRUE(startWithQuicklinks({link("Map", "https://www.openstreetmap.org/search?query={Place}")}));
    type(QStringLiteral("map"));
    const ListItem* row = controller->selectedItem();
    ASSERT_TRUE(row);
    std::vector<MenuItem> items = controller->menuItems(*row);
    QStringList actionIds;
    for (const MenuItem& item : items) actionIds << item.id;
    EXPECT_EQ(actionIds.mid(0, 6), (QStringList{"quicklink_open", "quicklink_copyName", "quicklink_copyURL",
                                                "quicklink_configure", "quicklink_duplicate", "quicklink_delete"}));
    EXPECT_EQ(items[1].perform().resultText, QStringLiteral("Map"));
    EXPECT_EQ(items[2].perform().resultText, QStringLiteral("https://www.openstreetmap.org/search?query={Place}"));
    const CommandOutcome configure = items[3].perform();
    EXPECT_EQ(configure.kind, CommandOutcome::Kind::showView);
    EXPECT_EQ(configure.arguments, QStringList{QString::number(ids[0])});

    presenter.answer = false;
    items[5].perform();
    ASSERT_EQ(presenter.alerts.size(), 1u);
    EXPECT_TRUE(quicklinks->service()->quicklink(ids[0]));
    presenter.answer = true;
    items[5].perform();
    EXPECT_EQ(presenter.toastTitles(), QStringList{"Quicklink deleted"});
    EXPECT_FALSE(quicklinks->service()->quicklink(ids[0]));
    ASSERT_TRUE(waitForRecords(0));
}

TEST_F(QuicklinksFeatureTest, DeleteAllQuicklinksEmptiesTheList) {
    ASSERT_TRUE(startWithQuicklinks({link("One", "https://one.example.org/"), link("Two", "https://two.example.org/")}));
    const auto command = registry->command(CommandIdentifier("deleteAllQuicklinks"));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->displayName(), QStringLiteral("Delete All Quicklinks"));
    command->run({});
    ASSERT_EQ(presenter.outcomes.size(), 1u);
    EXPECT_EQ(presenter.outcomes[0].hudText, QStringLiteral("Deleted all quicklinks"));
    EXPECT_TRUE(quicklinks->service()->quicklinks().empty());
    ASSERT_TRUE(waitForRecords(0));
}

TEST_F(QuicklinksFeatureTest, TheFormChecksItsFieldsAndCreatesUpdatesAndDuplicates) {
    ASSERT_TRUE(startWithQuicklinks({}));
    QuicklinksService& service = *quicklinks->service();
    using Mode = QuicklinkForm::Mode;
    EXPECT_EQ(QuicklinkForm::save(service, Mode::create, {}, "", "https://x.org", {}).message,
              QStringLiteral("Name can not be empty. Please provide a name."));
    EXPECT_EQ(QuicklinkForm::save(service, Mode::create, {}, "X", " ", {}).message,
              QStringLiteral("Link can not be empty. Please provide a link."));
    EXPECT_EQ(QuicklinkForm::save(service, Mode::create, {}, "X", "no link", {}).message,
              QStringLiteral("Please provide a valid link"));
    EXPECT_EQ(QuicklinkForm::nameError(""), QStringLiteral("Please enter a name"));
    EXPECT_EQ(QuicklinkForm::linkError("no link"), QStringLiteral("Please enter a valid link"));

    const auto created = QuicklinkForm::save(service, Mode::create, {}, " Repo ", "https://git.example.org/{Name}", {});
    ASSERT_TRUE(created.saved);
    EXPECT_EQ(created.title, QStringLiteral("Created Quicklink"));
    EXPECT_EQ(created.quicklink->name, QStringLiteral("Repo"));

    const auto updated =
        QuicklinkForm::save(service, Mode::update, *created.quicklink, "Repos", "https://git.example.org/{Name}", "x.desktop");
    ASSERT_TRUE(updated.saved);
    EXPECT_EQ(updated.title, QStringLiteral("Updated Quicklink"));
    EXPECT_EQ(service.quicklink(*created.quicklink->id)->applicationID, QStringLiteral("x.desktop"));

    const auto duplicated =
        QuicklinkForm::save(service, Mode::duplicate, *updated.quicklink, "Repos copy", "https://git.example.org/{Name}", {});
    ASSERT_TRUE(duplicated.saved);
    EXPECT_EQ(duplicated.title, QStringLiteral("Duplicated Quicklink"));
    EXPECT_NE(duplicated.quicklink->id, created.quicklink->id);
    EXPECT_EQ(service.quicklinks().size(), 2u);

    QuicklinkRecord gone = *created.quicklink;
    gone.id = 4242;
    const auto missing = QuicklinkForm::save(service, Mode::update, gone, "Gone", "https://x.org", {});
    EXPECT_FALSE(missing.saved);
    EXPECT_EQ(missing.title, QStringLiteral("Unable to update Quicklink"));
    EXPECT_EQ(missing.message, QStringLiteral("Cannot find Quicklink 4242"));
}

}  // namespace
}  // namespace vantrel::test
