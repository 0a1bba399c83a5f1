#pragma once

#include "support/DatabaseTestSupport.h"
#include "support/QtPrinters.h"

#include "core/commands/PackageRegistry.h"
#include "data/PackageConfigurationRepository.h"
#include "kit/NotificationCenter.h"
#include "search/DataSource.h"

#include <QStringList>

#include <memory>
#include <mutex>

namespace vantrel::test {

// Loads a data source and waits for the records it hands over (none when it failed).
inline std::vector<SearchRecord> loadRecords(DataSource& source) {
    std::mutex mutex;
    std::optional<DataSource::LoadResult> result;
    source.load([&](DataSource::LoadResult loaded) {
        std::lock_guard lock(mutex);
        result = std::move(loaded);
    });
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return result.has_value();
    }));
    std::lock_guard lock(mutex);
    if (!result || !std::holds_alternative<std::vector<SearchRecord>>(*result)) return {};
    return std::get<std::vector<SearchRecord>>(*result);
}

// An opened encrypted database, the configuration rows in it, a registry over
// them and a notification centre of the test's own.
class RegistryFixture : public DatabaseFixture {
protected:
    void SetUp() override {
        pool = open();
        ASSERT_TRUE(pool);
        configurations = std::make_shared<PackageConfigurationRepository>(pool);
        registry = makeRegistry(false);
    }

    std::unique_ptr<PackageRegistry> makeRegistry(bool developmentFlag) {
        return std::make_unique<PackageRegistry>(configurations, developmentFlag, &center);
    }

    // A configuration row written as the preferences window would leave it,
    // with the payload text exactly as given.
    void writeRow(const QString& packageId, bool isEnabled, const QString& payloadText) {
        pool->write([&](Connection& db) {
            db.execute(QStringLiteral("INSERT OR REPLACE INTO vantrelPackageConfiguration (id, isEnabled, jsonPayload) "
                                      "VALUES (?, ?, ?)"),
                       {QStringLiteral("builtin_package_") + packageId, isEnabled, payloadText});
        });
    }

    QStringList packageIds() const {
        QStringList ids;
        for (const auto& package : registry->packages()) ids << package->id().rawValue;
        return ids;
    }

    QStringList commandIds(const QString& packageId) const {
        QStringList ids;
        const auto package = registry->package(PackageIdentifier(packageId));
        if (!package) return ids;
        for (const auto& command : package->commands()) ids << command->id().rawValue;
        return ids;
    }

    std::shared_ptr<const VantrelCommand> command(const char* id) const {
        return registry->command(CommandIdentifier(id));
    }

    NotificationCenter center;
    std::shared_ptr<DatabasePool> pool;
    std::shared_ptr<PackageConfigurationRepository> configurations;
    std::unique_ptr<PackageRegistry> registry;
};

}  // namespace vantrel::test
