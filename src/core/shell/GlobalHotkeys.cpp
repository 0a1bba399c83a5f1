#include "core/shell/GlobalHotkeys.h"

#include "core/commands/PackageRegistry.h"
#include "data/DatabasePool.h"
#include "data/SearchRepository.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Settings.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"

#include <QObject>
#include <QThread>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("GlobalHotkeys"), QStringLiteral("⌨️")});
    return logger;
}

bool isApplication(SearchRecord::ContentType type) {
    return type == SearchRecord::ContentType::systemApp || type == SearchRecord::ContentType::prefPane;
}

bool isCommand(SearchRecord::ContentType type) {
    return type == SearchRecord::ContentType::command || type == SearchRecord::ContentType::extensionCommand;
}

// The log metadata naming a record: its application, script or command.
Logger::Metadata recordMetadata(const SearchRecord& record) {
    Logger::Metadata metadata;
    if (isApplication(record.type)) {
        metadata.emplace_back(QStringLiteral("bundleID"), record.key);
        metadata.emplace_back(QStringLiteral("path"), record.path.value_or(QString()));
    } else if (record.type == SearchRecord::ContentType::scriptCommand) {
        metadata.emplace_back(QStringLiteral("path"), record.path.value_or(record.key));
    } else {
        metadata.emplace_back(QStringLiteral("commandID"), record.key);
    }
    return metadata;
}

}  // namespace

GlobalHotkeys::GlobalHotkeys(HotkeyManager& manager, PackageRegistry& registry,
                             std::shared_ptr<SearchRepository> repository, Callbacks callbacks, UserDefaults* defaults,
                             NotificationCenter* center)
    : m_manager(manager),
      m_registry(registry),
      m_repository(std::move(repository)),
      m_callbacks(std::move(callbacks)),
      m_defaults(defaults),
      m_center(center ? center : &NotificationCenter::defaultCenter()),
      m_context(std::make_unique<QObject>()) {}

GlobalHotkeys::~GlobalHotkeys() {
    // Subscriptions end with the context; grabs are released so that the
    // combinations are free for whoever comes next.
    m_context.reset();
    unregisterItemHotkeys();
    if (m_mainRegistration) {
        try {
            m_manager.unregister(*m_mainRegistration);
        } catch (const std::exception& error) {
            log().error("Failed to unregister the main hotkey",
                        {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
    }
}

QString GlobalHotkeys::defaultGlobalHotkey() {
    const auto form = KeyCombination{ModifierKeys::option, KeyEquivalent(U' ')}.persistentString();
    if (!form) {
        log().error("Unexpected missing value", {{QStringLiteral("key"), QString(globalHotkeyKey)}});
        return QStringLiteral("Option-49");
    }
    return *form;
}

UserDefaults& GlobalHotkeys::defaults() const {
    return m_defaults ? *m_defaults : UserDefaults::standard();
}

void GlobalHotkeys::start() {
    if (m_started) return;
    m_started = true;
    QObject* context = m_context.get();

    // The settings store and the search table post on the default centre; the
    // registry on the centre it was given.
    NotificationCenter& defaultCenter = NotificationCenter::defaultCenter();
    defaultCenter.addObserver(QString(UserDefaults::didChangeNotification), context,
                              [this](const Notification& notice) {
                                  const QString path = notice.userInfo.value(QStringLiteral("path")).toString();
                                  if (!path.isEmpty() && path != defaults().path()) return;
                                  defaultsDidChange(notice.object.toString());
                              });
    std::vector<NotificationCenter*> centers{m_center};
    if (m_center != &defaultCenter) centers.push_back(&defaultCenter);
    for (NotificationCenter* center : centers)
        for (const QLatin1String name :
             {NotificationNames::packageConfigurationDidChange, NotificationNames::packageCommandsDidChange,
              NotificationNames::searchRecordHotkeyChanged, NotificationNames::scriptCommandsChanged,
              NotificationNames::quicklinksDidChange})
            center->addObserver(QString(name), context, [this](const Notification&) { scheduleReload(); });

    registerMainHotkey();
    reloadCommandsGlobalHotkeys();
}

void GlobalHotkeys::defaultsDidChange(const QString& key) {
    if (key != globalHotkeyKey) return;
    if (QThread::currentThread() == m_context->thread()) {
        registerMainHotkey();
        return;
    }
    QMetaObject::invokeMethod(
        m_context.get(), [this] { registerMainHotkey(); }, Qt::QueuedConnection);
}

QString GlobalHotkeys::Refusal::message() const {
    if (heldByAnotherProgram) return combination.displayText() + QStringLiteral(" is used by another application");
    return combination.displayText() + QStringLiteral(" cannot be used as a hotkey: ") + reason;
}

std::optional<KeyCombination> GlobalHotkeys::storedMainHotkey() const {
    const UserDefaultsValue<QString> setting(UserDefaultsKey(QString(globalHotkeyKey)), defaultGlobalHotkey(),
                                             &defaults());
    const QString stored = setting.value();
    if (stored.isEmpty()) return std::nullopt;
    return KeyCombination::fromPersistentString(stored);
}

void GlobalHotkeys::storeMainHotkey(const KeyCombination& combination) {
    if (const auto text = combination.persistentString())
        if (defaults().value(QString(globalHotkeyKey)).toString() != *text)
            defaults().setValue(QString(globalHotkeyKey), *text);
}

HotkeyRegistrationId GlobalHotkeys::registerMain(const KeyCombination& combination) {
    return m_manager.observeKeyCombination(combination, [this] {
        if (m_callbacks.toggleWindow) m_callbacks.toggleWindow();
        return true;
    });
}

std::optional<GlobalHotkeys::Refusal> GlobalHotkeys::replaceMainHotkey(const std::optional<KeyCombination>& wanted) {
    // The old combination goes first, so that it is free the moment the
    // setting changes.
    const std::optional<KeyCombination> previous = m_mainRegistration ? m_mainHotkey : std::nullopt;
    if (m_mainRegistration) {
        const HotkeyRegistrationId old = *m_mainRegistration;
        m_mainRegistration.reset();
        m_mainHotkey.reset();
        try {
            m_manager.unregister(old);
        } catch (const std::exception& error) {
            log().error("Failed to unregister the main hotkey",
                        {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
    }
    if (!wanted) return std::nullopt;
    try {
        m_mainRegistration = registerMain(*wanted);
        m_mainHotkey = wanted;
        log().info("Registered the global hotkey", {{QStringLiteral("hotkey"), wanted->displayText()}});
        return std::nullopt;
    } catch (const std::exception& error) {
        const Refusal refusal{*wanted, HotkeyManager::isHeldByAnotherProgram(error), VantrelError::describe(error)};
        log().error("Failed to register the global hotkey", {{QStringLiteral("hotkey"), wanted->displayText()},
                                                             {QStringLiteral("error"), refusal.message()}});
        if (previous) {
            try {
                m_mainRegistration = registerMain(*previous);
                m_mainHotkey = previous;
                log().info("Kept the previous global hotkey", {{QStringLiteral("hotkey"), previous->displayText()}});
            } catch (const std::exception& again) {
                log().error("Failed to register the global hotkey",
                            {{QStringLiteral("hotkey"), previous->displayText()},
                             {QStringLiteral("error"), VantrelError::describe(again)}});
            }
        }
        return refusal;
    }
}

void GlobalHotkeys::registerMainHotkey() {
    const UserDefaultsValue<QString> setting(UserDefaultsKey(QString(globalHotkeyKey)), defaultGlobalHotkey(),
                                             &defaults());
    const QString stored = setting.value();
    std::optional<KeyCombination> wanted;
    if (!stored.isEmpty()) {
        wanted = KeyCombination::fromPersistentString(stored);
        if (!wanted) log().error("Cannot parse the global hotkey", {{QStringLiteral("hotkey"), stored}});
    }
    if (m_mainRegistration && wanted == m_mainHotkey) return;

    const std::optional<Refusal> refusal = replaceMainHotkey(wanted);
    // A working hotkey stays working, and stored.
    if (refusal && m_mainRegistration) storeMainHotkey(*m_mainHotkey);
    m_problem = m_mainRegistration ? std::nullopt : refusal;
    if (m_callbacks.mainHotkeyChanged) m_callbacks.mainHotkeyChanged();
}

std::optional<GlobalHotkeys::Refusal> GlobalHotkeys::changeMainHotkey(const KeyCombination& combination) {
    if (!m_mainRegistration || m_mainHotkey != combination) {
        const std::optional<Refusal> refusal = replaceMainHotkey(combination);
        if (refusal) {
            if (!m_mainRegistration) m_problem = refusal;
            if (m_callbacks.mainHotkeyChanged) m_callbacks.mainHotkeyChanged();
            return refusal;
        }
    }
    m_problem.reset();
    storeMainHotkey(combination);
    if (m_callbacks.mainHotkeyChanged) m_callbacks.mainHotkeyChanged();
    return std::nullopt;
}

std::optional<KeyCombination> GlobalHotkeys::mainHotkey() const {
    return m_mainRegistration ? m_mainHotkey : std::nullopt;
}

void GlobalHotkeys::systemSourceDidChange() {
    scheduleReload();
}

void GlobalHotkeys::scheduleReload() {
    if (!m_context || m_reloadScheduled.exchange(true)) return;
    QMetaObject::invokeMethod(
        m_context.get(),
        [this] {
            m_reloadScheduled = false;
            reloadCommandsGlobalHotkeys();
        },
        Qt::QueuedConnection);
}

std::optional<std::vector<SearchRecord>> GlobalHotkeys::loadRecordsWithHotkeys() const {
    static const QString statement =
        QStringLiteral("SELECT %1 FROM search WHERE hotkey IS NOT NULL AND hotkey != '' ORDER BY id")
            .arg(SearchRecord::columnNames().join(QStringLiteral(", ")));
    try {
        return m_repository->dbConnection->read([](Connection& db) {
            Statement query = db.prepare(statement);
            std::vector<SearchRecord> records;
            while (query.step()) records.push_back(SearchRecord::fromStatement(query));
            return records;
        });
    } catch (const std::exception& error) {
        log().error("Failed loading all records with hotkeys",
                    {{QStringLiteral("error"), VantrelError::describe(error)}});
        return std::nullopt;
    }
}

void GlobalHotkeys::unregisterItemHotkeys() {
    for (const ItemHotkey& hotkey : m_itemHotkeys) {
        try {
            m_manager.unregister(hotkey.registration);
        } catch (const std::exception& error) {
            log().error(
                "Failed to unregister global hotkey",
                {{QStringLiteral("key"), hotkey.record.key}, {QStringLiteral("error"), VantrelError::describe(error)}});
        }
    }
    m_itemHotkeys.clear();
}

void GlobalHotkeys::reloadCommandsGlobalHotkeys() {
    log().info("Reloading search record hotkeys");
    const auto records = loadRecordsWithHotkeys();
    if (!records) return;
    log().info("Loaded all records with hotkeys", {{QStringLiteral("count"), QString::number(records->size())}});

    unregisterItemHotkeys();
    for (const SearchRecord& record : *records) {
        if (isApplication(record.type) && record.uninstalled) {
            log().info("App not enabled for global hotkey", recordMetadata(record));
            continue;
        }
        if (isCommand(record.type) || record.type == SearchRecord::ContentType::scriptCommand) {
            const auto command = m_registry.command(CommandIdentifier(record.key));
            // Extension commands belong to "packageCommands", a package that is
            // off by default: like root search, only their own switch counts.
            const bool enabled =
                command ? (record.type == SearchRecord::ContentType::extensionCommand
                               ? !m_registry.isCommandDisabled(command->id())
                               : m_registry.isEnabled(*command))
                        : record.type == SearchRecord::ContentType::scriptCommand && !record.uninstalled;
            if (!enabled) {
                log().info("Command not enabled for global hotkey", recordMetadata(record));
                continue;
            }
        }
        const auto combination = KeyCombination::fromPersistentString(*record.hotkey);
        if (!combination) {
            Logger::Metadata metadata = recordMetadata(record);
            metadata.emplace_back(QStringLiteral("hotkey"), *record.hotkey);
            log().error("Cannot parse key combination for global hotkey", metadata);
            continue;
        }
        Logger::Metadata metadata = recordMetadata(record);
        metadata.emplace_back(QStringLiteral("hotkey"), combination->displayText());
        log().info("Found key combination for global hotkey", metadata);
        try {
            const HotkeyRegistrationId id = m_manager.observeKeyCombination(*combination, [this, record, combination] {
                handleGlobalHotkey(record, *combination);
                return true;
            });
            m_itemHotkeys.push_back({record, *combination, id});
        } catch (const std::exception& error) {
            metadata.emplace_back(QStringLiteral("error"), VantrelError::describe(error));
            log().error("Failed to register global hotkey", metadata);
        }
    }
    log().info("Finished reloading global hotkeys", {{QStringLiteral("count"), QString::number(m_itemHotkeys.size())}});
}

const std::vector<GlobalHotkeys::ItemHotkey>& GlobalHotkeys::itemHotkeys() const {
    return m_itemHotkeys;
}

void GlobalHotkeys::handleGlobalHotkey(const SearchRecord& record, const KeyCombination& keyCombination) {
    Logger::Metadata metadata = recordMetadata(record);
    metadata.emplace_back(QStringLiteral("hotkey"), keyCombination.displayText());
    log().info("Global hotkey pressed", metadata);

    if (isApplication(record.type)) {
        const QString path = record.path.value_or(record.key);
        try {
            if (m_callbacks.launchApplication)
                m_callbacks.launchApplication(path);
            else
                launchOnDesktop(path);
        } catch (const std::exception& error) {
            log().error("Failed to open application for global hotkey",
                        {{QStringLiteral("path"), path}, {QStringLiteral("error"), VantrelError::describe(error)}});
            if (m_callbacks.showCommandOutcome)
                m_callbacks.showCommandOutcome(record,
                                               CommandOutcome::failed(QStringLiteral("Unable to open ") + record.name,
                                                                      VantrelError::describe(error)));
        }
        return;
    }
    if (isCommand(record.type)) {
        const auto command = m_registry.command(CommandIdentifier(record.key), true);
        if (!command) return;
        CommandRunContext context{QString(), QStringList(), m_callbacks.environment};
        CommandOutcome outcome;
        try {
            // A hotkey gives no arguments: the window asks for the required ones.
            const auto input = command->inputCommand();
            if (input && firstMissingArgument(input->parameters(), {}))
                outcome = CommandOutcome::showArguments(record.key);
            else
                outcome = command->run(context);
        } catch (const std::exception& error) {
            outcome = CommandOutcome::failed(QStringLiteral("Failed to run ") + command->displayName(),
                                             VantrelError::describe(error));
        }
        if (!outcome.succeeded())
            log().error("Command run by global hotkey failed",
                        {{QStringLiteral("commandID"), record.key}, {QStringLiteral("message"), outcome.message}});
        if (m_callbacks.showCommandOutcome) m_callbacks.showCommandOutcome(record, outcome);
        return;
    }
    if (m_callbacks.runRecord && m_callbacks.runRecord(record)) return;
    log().error("Unhandled item type in hotkey handling. This should never happen",
                {{QStringLiteral("type"), SearchRecord::rawValue(record.type)}, {QStringLiteral("key"), record.key}});
}

}  // namespace vantrel
