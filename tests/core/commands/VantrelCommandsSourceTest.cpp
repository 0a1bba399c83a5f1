#include "support/AppTestSupport.h"
#include "support/ApplicationFixture.h"

#include "core/commands/VantrelCommandsSource.h"
#include "data/SearchRepository.h"
#include "search/Search.h"

#include <QThreadPool>

#include <atomic>

namespace vantrel::test {
namespace {

const SearchRecord* find(const std::vector<SearchRecord>& records, const QString& key) {
    for (const SearchRecord& record : records)
        if (record.key == key) return &record;
    return nullptr;
}

class VantrelCommandsSourceTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        repository = std::make_shared<SearchRepository>(pool);
        search = std::make_unique<Search>(repository);
    }

    // Writes the records as the search engine does and rebuilds the index.
    void store(const std::vector<SearchRecord>& records, SearchRecord::Source source = SearchRecord::Source::package) {
        repository->update(source, records, SearchUpdateStrategy::source());
        search->indexAll();
    }

    QStringList resultKeys(const QString& term, bool withFilter = true) {
        QStringList keys;
        const auto items = search->items(term, {}, withFilter ? registry->searchResultFilter() : SearchItemFilter{});
        for (const SearchItem& item : items) keys << item.identifier();
        return keys;
    }

    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;
};

TEST_F(VantrelCommandsSourceTest, CommandBecomesARecordWithPackageAsSubtitleAndLowerCasedKeywords) {
    VantrelPackageCommand command;
    command.commandId = CommandIdentifier("ext_hello");
    command.commandPackageId = PackageIdentifier("packageCommands");
    command.name = "Say Hello";
    command.keywords = {"Foo", "Bar"};
    const SearchRecord record =
        VantrelCommandsSource::record(command, "My Package", SearchRecord::Source::extensionCommands);
    EXPECT_EQ(record.key, "ext_hello");
    EXPECT_EQ(record.type, SearchRecord::ContentType::command);
    EXPECT_EQ(record.source, SearchRecord::Source::extensionCommands);
    EXPECT_EQ(record.name, "Say Hello");
    EXPECT_EQ(record.category, "My Package");
    EXPECT_EQ(record.keywords, "foo,bar");
    EXPECT_EQ(record.frecencyDate, std::nullopt);
    EXPECT_EQ(record.path, std::nullopt);

    command.keywords.clear();
    EXPECT_EQ(VantrelCommandsSource::record(command, "", SearchRecord::Source::package).keywords, std::nullopt);
}

TEST_F(VantrelCommandsSourceTest, LoadsThePublicCommandsOfEnabledPackages) {
    VantrelCommandsSource source(*registry, &center);
    EXPECT_EQ(source.source(), SearchRecord::Source::package);
    const auto records = loadRecords(source);

    const SearchRecord* encode = find(records, "urlEncode");
    ASSERT_TRUE(encode);
    EXPECT_EQ(encode->name, "Encode URL");
    EXPECT_EQ(encode->category, "URL");
    EXPECT_EQ(encode->source, SearchRecord::Source::package);
    EXPECT_TRUE(find(records, "setVolume50"));
    EXPECT_EQ(find(records, "setVolume50")->category, "System");
    // Jira is off by default, the internal playground of Asana is not public,
    // and the URL-only quicklink command is not in a package's list.
    EXPECT_FALSE(find(records, "jira_createIssue"));
    EXPECT_FALSE(find(records, "asana_apiPlayground"));
    EXPECT_FALSE(find(records, "createQuicklinkWithURL"));
    EXPECT_FALSE(find(records, "debug_uiPlayground"));
    // What cannot work in this build (no update channel without its feature) is not listed;
    // the store is.
    EXPECT_TRUE(find(records, "extensionsStore"));
    EXPECT_FALSE(find(records, "checkForUpdates"));
    EXPECT_TRUE(find(records, "clipboardHistory"));
    // Records come in registry order.
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().key, "extensionsStore");
}

TEST_F(VantrelCommandsSourceTest, DevelopmentBuildsAlsoListInternalAndDebugCommands) {
    writeRow("asana", true, "{}");
    const auto development = makeRegistry(true);
    VantrelCommandsSource source(*development, &center);
    const auto records = loadRecords(source);
    EXPECT_TRUE(find(records, "asana_apiPlayground"));
    EXPECT_TRUE(find(records, "debug_uiPlayground"));
    EXPECT_EQ(find(records, "markdownPreview")->category, "Vantrel Debug");
}

TEST_F(VantrelCommandsSourceTest, ADisabledCommandNeverAppearsInSearchResults) {
    writeRow("jira", true, "{}");
    registry = makeRegistry(false);
    VantrelCommandsSource source(*registry, &center);
    store(loadRecords(source));
    EXPECT_TRUE(resultKeys("Create Issue").contains("jira_createIssue"));

    // Switched off through the registry: the source rebuilds, the row leaves
    // the results, the other Jira commands stay.
    Deliveries recorder;
    recorder.attach(source);
    registry->setPackageConfiguration(PackageIdentifier("jira"), [](QVariantMap& payload, bool&) {
        payload.insert("disabledCommands", QStringList{"jira_createIssue"});
    });
    ASSERT_TRUE(waitUntil([&] { return recorder.full().size() >= 1; }));
    const DataSourceUpdate update = recorder.full().back();
    EXPECT_EQ(update.strategy, SearchUpdateStrategy::source());
    const auto& records = update.records.at(SearchRecord::Source::package);
    EXPECT_FALSE(find(records, "jira_createIssue"));
    EXPECT_TRUE(find(records, "jira_searchIssues"));

    // Before the index is rebuilt, the registry's filter already hides it.
    EXPECT_FALSE(resultKeys("Create Issue").contains("jira_createIssue"));
    EXPECT_FALSE(resultKeys("jira_createIssue").contains("jira_createIssue"));

    store(records);
    EXPECT_FALSE(resultKeys("Create Issue").contains("jira_createIssue"));
    EXPECT_FALSE(resultKeys("Create Issue", false).contains("jira_createIssue"));
    EXPECT_TRUE(resultKeys("Search Issues").contains("jira_searchIssues"));
}

TEST_F(VantrelCommandsSourceTest, ASwitchedOffCommandKeepsItsAliasForWhenItReturns) {
    writeRow("jira", true, "{}");
    const auto jiraOn = makeRegistry(false);
    VantrelCommandsSource source(*jiraOn, &center);
    store(loadRecords(source));
    repository->setAlias(QStringLiteral("ci"), "jira_createIssue");

    jiraOn->setPackageConfiguration(PackageIdentifier("jira"), [](QVariantMap& payload, bool&) {
        payload.insert("disabledCommands", QStringList{"jira_createIssue"});
    });
    store(loadRecords(source));
    EXPECT_FALSE(resultKeys("ci").contains("jira_createIssue"));

    jiraOn->setPackageConfiguration(PackageIdentifier("jira"),
                                    [](QVariantMap& payload, bool&) { payload.remove("disabledCommands"); });
    store(loadRecords(source));
    const auto record = repository->record(QStringLiteral("jira_createIssue"));
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->uninstalled);
    EXPECT_EQ(record->alias, "ci");
    EXPECT_TRUE(resultKeys("Create Issue").contains("jira_createIssue"));
}

TEST_F(VantrelCommandsSourceTest, DynamicSourceListsItsCommandsAndHonoursDisabledCommands) {
    VantrelDynamicCommandsSource source(*registry, &center);
    EXPECT_EQ(source.source(), SearchRecord::Source::extensionCommands);
    Deliveries recorder;
    recorder.attach(source);

    auto make = [](const char* id, const char* name, VantrelCommandVisibility visibility) {
        auto command = std::make_shared<VantrelPackageCommand>();
        command->commandId = CommandIdentifier(id);
        command->commandPackageId = PackageIdentifier("packageCommands");
        command->name = name;
        command->commandVisibility = visibility;
        command->keywords = {"Weather"};
        return command;
    };
    source.setCommands({make("extension_weather", "Weather", VantrelCommandVisibility::public_),
                        make("extension_devtool", "Dev Tool", VantrelCommandVisibility::internal)});
    ASSERT_TRUE(waitUntil([&] { return recorder.full().size() >= 1; }));
    auto records = recorder.full().back().records.at(SearchRecord::Source::extensionCommands);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].key, "extension_weather");
    EXPECT_EQ(records[0].keywords, "weather");
    EXPECT_EQ(records[0].category, "");  // the extension-commands package has no name

    registry->setPackageConfiguration(PackageIdentifier("packageCommands"), [](QVariantMap& payload, bool&) {
        payload.insert("disabledCommands", QStringList{"extension_weather"});
    });
    ASSERT_TRUE(waitUntil([&] { return recorder.full().size() >= 2; }));
    EXPECT_TRUE(recorder.full().back().records.at(SearchRecord::Source::extensionCommands).empty());
}

TEST_F(VantrelCommandsSourceTest, NothingIsDeliveredAfterTheSourceIsGone) {
    std::atomic<bool> gone{false};
    std::atomic<int> late{0};
    {
        VantrelCommandsSource source(*registry, &center);
        source.setDidUpdate([&](const DataSourceUpdate&) {
            if (gone) ++late;
        });
        for (int i = 0; i < 20; ++i) source.reload();
    }
    gone = true;
    // Rebuilds still queued when the source went away are dropped.
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(late.load(), 0);
}

}  // namespace
}  // namespace vantrel::test
