// The "scriptCommands" package switch and its disabled commands, as root
// search sees them: script rows come from files, not from the package's
// command list, so the search filter is what hides them.
#include "support/AppTestSupport.h"
#include "support/ScriptCommandTestSupport.h"

#include "data/SearchRepository.h"
#include "features/scripts/ScriptCommandsService.h"
#include "features/scripts/ScriptCommandsSource.h"
#include "search/Search.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

const PackageIdentifier scriptsPackage("scriptCommands");

class ScriptCommandsPackageSwitchTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        ASSERT_TRUE(folder.isValid());
        repository = std::make_shared<SearchRepository>(pool);
        search = std::make_unique<Search>(repository);

        ASSERT_TRUE(writeCommand(folder.filePath(QStringLiteral("deploy.sh")), QStringLiteral("Deploy Site"),
                                 QStringLiteral("compact")));
        ASSERT_TRUE(writeCommand(folder.filePath(QStringLiteral("backup.sh")), QStringLiteral("Deploy Backup")));
        const auto commands = ScriptCommandsService::parseScriptCommands(folder.path());
        ASSERT_EQ(commands.size(), 2u);
        for (const ScriptCommand& command : commands) ids[command.displayName] = command.id;

        // The script rows as the script source writes them, next to a
        // built-in command whose name matches the same query.
        std::vector<SearchRecord> records = ScriptCommandsSource::records(commands);
        repository->update(SearchRecord::Source::scripts, records, SearchUpdateStrategy::source());
        repository->update(SearchRecord::Source::package,
                           {commandRecord(QStringLiteral("deployPreview"), QStringLiteral("Deploy Preview"))},
                           SearchUpdateStrategy::source());
        search->indexAll();
    }

    QStringList results(const QString& query, const SearchItemFilter& filter = {}) const {
        QStringList keys;
        for (const SearchItem& item : search->items(query, {}, filter ? filter : registry->searchResultFilter()))
            keys << item.identifier();
        keys.sort();
        return keys;
    }

    QStringList expected(std::initializer_list<QString> keys) const {
        QStringList list(keys);
        list.sort();
        return list;
    }

    QTemporaryDir folder;
    std::map<QString, QString> ids;
    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<Search> search;
};

TEST_F(ScriptCommandsPackageSwitchTest, SwitchingThePackageOffHidesEveryScriptUntilItIsOnAgain) {
    const QString site = ids[QStringLiteral("Deploy Site")];
    const QString backup = ids[QStringLiteral("Deploy Backup")];
    ASSERT_TRUE(registry->isPackageEnabled(scriptsPackage));
    EXPECT_EQ(results(QStringLiteral("deploy")), expected({site, backup, QStringLiteral("deployPreview")}));

    // Root search keeps the filter it took at start: it follows the switch.
    const SearchItemFilter kept = registry->searchResultFilter();
    ASSERT_TRUE(registry->setPackageEnabled(scriptsPackage, false));
    EXPECT_EQ(results(QStringLiteral("deploy")), expected({QStringLiteral("deployPreview")}));
    EXPECT_EQ(results(QStringLiteral("deploy"), kept), expected({QStringLiteral("deployPreview")}));

    ASSERT_TRUE(registry->setPackageEnabled(scriptsPackage, true));
    EXPECT_EQ(results(QStringLiteral("deploy"), kept), expected({site, backup, QStringLiteral("deployPreview")}));
}

TEST_F(ScriptCommandsPackageSwitchTest, OtherPackagesSwitchesLeaveScriptsAlone) {
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier("systemCommands"), false));
    EXPECT_EQ(results(QStringLiteral("deploy")).size(), 3);
}

TEST_F(ScriptCommandsPackageSwitchTest, ADisabledScriptIsHiddenAlone) {
    const QString site = ids[QStringLiteral("Deploy Site")];
    const QString backup = ids[QStringLiteral("Deploy Backup")];
    ASSERT_TRUE(registry->setPackageConfiguration(scriptsPackage, [&](QVariantMap& payload, bool&) {
        payload.insert(QString(PackageRegistry::disabledCommandsKey), QStringList{site});
    }));
    EXPECT_EQ(results(QStringLiteral("deploy")), expected({backup, QStringLiteral("deployPreview")}));

    ASSERT_TRUE(registry->setPackageConfiguration(scriptsPackage, [&](QVariantMap& payload, bool&) {
        payload.insert(QString(PackageRegistry::disabledCommandsKey), QStringList{});
    }));
    EXPECT_EQ(results(QStringLiteral("deploy")), expected({site, backup, QStringLiteral("deployPreview")}));
}

TEST_F(ScriptCommandsPackageSwitchTest, AStoredSwitchIsReadWhenTheRegistryIsCreated) {
    writeRow(QStringLiteral("scriptCommands"), false, QStringLiteral("{\"scriptCommandsDirectories\": []}"));
    registry = makeRegistry(false);
    EXPECT_EQ(results(QStringLiteral("deploy")), expected({QStringLiteral("deployPreview")}));

    // A row whose payload cannot be read still switches the package by its column.
    writeRow(QStringLiteral("scriptCommands"), true, QStringLiteral("{not json"));
    registry = makeRegistry(false);
    EXPECT_EQ(results(QStringLiteral("deploy")).size(), 3);
}

}  // namespace
}  // namespace vantrel::test
