#include "core/commands/VantrelCommandsSource.h"

#include "core/commands/PackageRegistry.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Queue.h"

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Commands Source"), QStringLiteral("🧩")});
    return logger;
}

bool isVisible(const VantrelCommand& command, const PackageRegistry& registry) {
    return command.visibility() == VantrelCommandVisibility::public_ || registry.developmentFlag();
}
}  // namespace

VantrelCommandsSource::VantrelCommandsSource(PackageRegistry& registry, NotificationCenter* center)
    : m_registry(registry), m_subscriptions(std::make_unique<QObject>()) {
    NotificationCenter& notifications = center ? *center : NotificationCenter::defaultCenter();
    notifications.addObserver(QString(NotificationNames::packageCommandsDidChange), m_subscriptions.get(),
                              [this](const Notification&) { reload(); });
}

VantrelCommandsSource::~VantrelCommandsSource() {
    m_subscriptions.reset();
    std::lock_guard lock(m_lifetime->mutex);
    m_lifetime->alive = false;
}

SearchRecord VantrelCommandsSource::record(const VantrelCommand& command, const QString& packageDisplayName,
                                           SearchRecord::Source source) {
    SearchRecord record;
    record.key = command.id().rawValue;
    record.type = SearchRecord::ContentType::command;
    record.source = source;
    record.name = command.displayName();
    record.category = packageDisplayName;
    const QStringList keywords = command.searchKeywords();
    if (!keywords.isEmpty()) record.keywords = keywords.join(QLatin1Char(',')).toLower();
    return record;
}

CommandList VantrelCommandsSource::includedCommands() const {
    // One configuration read per package, then the cached disabled lists.
    const auto disabled = m_registry.packageDisabledCommands();
    CommandList included;
    for (const auto& package : m_registry.packages()) {
        if (!m_registry.isPackageEnabled(package->id())) continue;
        const QSet<CommandIdentifier> off = disabled.value(package->id());
        for (const auto& command : package->commands())
            // A command that cannot work in this build is not listed at all.
            if (isVisible(*command, m_registry) && !off.contains(command->id()) &&
                m_registry.availability(command->id().rawValue) != CommandAvailability::notInThisBuild)
                included.push_back(command);
    }
    return included;
}

std::vector<VantrelCommandsSource::Entry> VantrelCommandsSource::snapshot() const {
    std::vector<Entry> entries;
    for (auto& command : includedCommands()) {
        auto package = command->package();
        if (!package) package = m_registry.package(command->packageId());
        entries.push_back({command, package ? package->displayName() : QString()});
    }
    return entries;
}

void VantrelCommandsSource::build(std::function<void(std::vector<SearchRecord>)> deliver) {
    // The registry is read here; only the conversion runs in the background.
    auto entries = std::make_shared<std::vector<Entry>>(snapshot());
    const SearchRecord::Source recordSource = source();
    Queue::global().dispatch([entries, recordSource, deliver = std::move(deliver)] {
        std::vector<SearchRecord> records;
        records.reserve(entries->size());
        for (const Entry& entry : *entries)
            records.push_back(record(*entry.command, entry.packageDisplayName, recordSource));
        deliver(std::move(records));
    });
}

void VantrelCommandsSource::load(LoadCompletion completion) {
    build([completion = std::move(completion)](std::vector<SearchRecord> records) {
        if (completion) completion(std::move(records));
    });
}

void VantrelCommandsSource::refresh(LoadCompletion completion) {
    load(std::move(completion));
}

void VantrelCommandsSource::reload() {
    std::weak_ptr<Lifetime> lifetime = m_lifetime;
    const SearchRecord::Source recordSource = source();
    build([this, lifetime, recordSource](std::vector<SearchRecord> records) {
        const auto alive = lifetime.lock();
        if (!alive) return;
        std::lock_guard lock(alive->mutex);
        if (!alive->alive) return;
        log().debug("Commands reloaded", {{QStringLiteral("source"), SearchRecord::rawValue(recordSource)},
                                          {QStringLiteral("count"), QString::number(records.size())}});
        DataSourceUpdate update;
        update.records[recordSource] = std::move(records);
        update.strategy = SearchUpdateStrategy::source();
        notifyUpdate(update);
    });
}

VantrelDynamicCommandsSource::VantrelDynamicCommandsSource(PackageRegistry& registry, NotificationCenter* center)
    : VantrelCommandsSource(registry, center) {}

void VantrelDynamicCommandsSource::setCommands(std::vector<std::shared_ptr<const VantrelPackageCommand>> commands) {
    {
        std::lock_guard lock(m_commandsMutex);
        m_commands = std::move(commands);
    }
    reload();
}

CommandList VantrelDynamicCommandsSource::includedCommands() const {
    std::vector<std::shared_ptr<const VantrelPackageCommand>> commands;
    {
        std::lock_guard lock(m_commandsMutex);
        commands = m_commands;
    }
    const auto disabled = registry().packageDisabledCommands();
    CommandList included;
    for (const auto& command : commands) {
        if (!isVisible(*command, registry())) continue;
        if (disabled.value(command->packageId()).contains(command->id())) continue;
        included.push_back(command);
    }
    return included;
}

}  // namespace vantrel
