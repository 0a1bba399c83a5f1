#pragma once

#include "core/commands/CommandModel.h"
#include "search/DataSource.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

class NotificationCenter;
class PackageRegistry;

// The built-in commands as search records (source `package`).
//
// A command becomes a record: key = command id, type command, name = its
// display name, category = its package's display name (the subtitle; empty
// when the package is not found), keywords = its search keywords joined with
// "," and lower-cased. The records hold the public commands (all commands in
// development builds) of the enabled packages, except the ones a package
// lists under "disabledCommands": a switched-off command has no installed row,
// so it cannot be found even by a search without the registry's result filter;
// its row is only flagged uninstalled, and alias, hotkey and frecency come
// back with it when it is switched on again. Root search still passes
// PackageRegistry::searchResultFilter(), which also covers the time until the
// index is rebuilt.
//
// Records are built on the global thread pool; load() completes with them and
// every later rebuild, on "vantrel_PackageCommandsDidChange", goes to the
// didUpdate callback (strategy `source`).
class VantrelCommandsSource : public DataSource {
public:
    explicit VantrelCommandsSource(PackageRegistry& registry, NotificationCenter* center = nullptr);
    ~VantrelCommandsSource() override;

    SearchRecord::Source source() const override { return SearchRecord::Source::package; }
    void load(LoadCompletion completion) override;
    void refresh(LoadCompletion completion) override;

    // Rebuilds the records and hands them to didUpdate.
    void reload();

    // The record of one command (subtitle: the package's display name, when found).
    static SearchRecord record(const VantrelCommand& command, const QString& packageDisplayName,
                               SearchRecord::Source source);

protected:
    PackageRegistry& registry() const { return m_registry; }
    // The commands to turn into records, read on the calling thread.
    virtual CommandList includedCommands() const;

private:
    struct Entry {
        std::shared_ptr<const VantrelCommand> command;
        QString packageDisplayName;
    };
    struct Lifetime {
        std::mutex mutex;
        bool alive = true;
    };
    std::vector<Entry> snapshot() const;
    void build(std::function<void(std::vector<SearchRecord>)> deliver);

    PackageRegistry& m_registry;
    std::unique_ptr<QObject> m_subscriptions;
    std::shared_ptr<Lifetime> m_lifetime = std::make_shared<Lifetime>();
};

// Commands known only at run time (VantrelPackageCommand values, such as
// extension commands), as records of the source `extensionCommands`. The
// package-enabled test does not apply (their package, "packageCommands", is
// off by default); "disabledCommands" of their package and visibility do.
class VantrelDynamicCommandsSource : public VantrelCommandsSource {
public:
    explicit VantrelDynamicCommandsSource(PackageRegistry& registry, NotificationCenter* center = nullptr);

    SearchRecord::Source source() const override { return SearchRecord::Source::extensionCommands; }

    // Replaces the commands and rebuilds the records (didUpdate).
    void setCommands(std::vector<std::shared_ptr<const VantrelPackageCommand>> commands);

protected:
    CommandList includedCommands() const override;

private:
    mutable std::mutex m_commandsMutex;
    std::vector<std::shared_ptr<const VantrelPackageCommand>> m_commands;
};

}  // namespace vantrel
