#include "platform/shortcuts/KdeShortcuts.h"

#include "kit/DesktopExec.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/VantrelError.h"
#include "platform/shortcuts/ShortcutKeys.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace vantrel {

namespace kglobalaccel {

// A key sequence as the service sends it: up to four keys, "(ai)".
struct KeySequence {
    QList<int> keys;
};

QDBusArgument& operator<<(QDBusArgument& argument, const KeySequence& sequence) {
    argument.beginStructure();
    argument.beginArray(QMetaType::fromType<int>());
    for (int i = 0; i < 4; ++i) argument << (i < sequence.keys.size() ? sequence.keys.at(i) : 0);
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, KeySequence& sequence) {
    sequence.keys.clear();
    argument.beginStructure();
    argument.beginArray();
    while (!argument.atEnd()) {
        int key = 0;
        argument >> key;
        if (key != 0) sequence.keys << key;
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

}  // namespace kglobalaccel

}  // namespace vantrel

Q_DECLARE_METATYPE(vantrel::kglobalaccel::KeySequence)

namespace vantrel {

namespace {

using kglobalaccel::KeySequence;

const Logger& log() {
    static const Logger logger({QStringLiteral("DesktopShortcuts"), QStringLiteral("⌨️")});
    return logger;
}

// setShortcutKeys flags of the service.
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kLaunchAction = QStringLiteral("_launch");

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<KeySequence>();
        qDBusRegisterMetaType<QList<KeySequence>>();
        return true;
    }();
    (void)registered;
}

// The arguments of an Exec value as desktopExecArgument writes them.
QStringList execArguments(QString value) {
    value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    QStringList arguments;
    QString current;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < value.size()) {
                current += value.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = any = true;
        } else if (c == QLatin1Char(' ')) {
            if (any || !current.isEmpty()) arguments << current;
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty()) arguments << current;
    for (QString& argument : arguments) argument.replace(QLatin1String("%%"), QLatin1String("%"));
    return arguments;
}

QStringList actionId(const QString& component, const QString& action, const QString& componentName,
                     const QString& actionName) {
    return {component, action, componentName, actionName};
}

QString componentOf(const QString& id) {
    return id + QStringLiteral(".desktop");
}

}  // namespace

KdeShortcuts::KdeShortcuts() : KdeShortcuts(Options{}) {}

KdeShortcuts::KdeShortcuts(Options options) : m_options(std::move(options)) {
    registerTypes();
    if (m_options.dataHome.isEmpty()) m_options.dataHome = QFileInfo(Paths::dataDir()).absolutePath();
}

KdeShortcuts::~KdeShortcuts() = default;

QString KdeShortcuts::desktopName() const {
    return QStringLiteral("KDE Plasma");
}

QString KdeShortcuts::entryPath(const QString& id) const {
    return m_options.dataHome + QStringLiteral("/kglobalaccel/") + componentOf(id);
}

namespace {

QDBusConnection busOf(const std::optional<QDBusConnection>& bus) {
    return bus ? *bus : QDBusConnection::sessionBus();
}

// Calls the service; the reply's arguments, or a VantrelError.
QList<QVariant> call(const QDBusConnection& bus, int timeoutMs, const QString& method, const QList<QVariant>& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(KdeShortcuts::service), kPath, kInterface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        throw VantrelError(QStringLiteral("KDE's global shortcuts service did not answer: ") + reply.errorMessage());
    return reply.arguments();
}

std::optional<KeySequence> sequenceOf(const KeyCombination& keys) {
    const auto key = shortcutkeys::qtKey(keys);
    if (!key) return std::nullopt;
    return KeySequence{{*key}};
}

QList<KeySequence> sequencesIn(const QVariant& value) {
    QList<KeySequence> sequences;
    if (value.canConvert<QDBusArgument>()) qvariant_cast<QDBusArgument>(value) >> sequences;
    return sequences;
}

}  // namespace

bool KdeShortcuts::isAvailable() const {
    QDBusConnectionInterface* interface = busOf(m_options.bus).interface();
    if (!interface) return false;
    if (interface->isServiceRegistered(QString::fromLatin1(service))) return true;
    const QDBusReply<QStringList> activatable = interface->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(QString::fromLatin1(service));
}

std::vector<ShortcutConflict> KdeShortcuts::conflicts(const KeyCombination& keys, const QString& ignoringId) const {
    std::vector<ShortcutConflict> found;
    const auto sequence = sequenceOf(keys);
    if (!sequence) return found;
    QStringList holder;
    try {
        const auto reply = call(busOf(m_options.bus), m_options.timeoutMs, QStringLiteral("actionList"),
                                {QVariant::fromValue(*sequence)});
        if (!reply.isEmpty()) holder = reply.front().toStringList();
    } catch (const std::exception& error) {
        log().warning(QStringLiteral("Cannot ask KDE who holds a combination: ") + VantrelError::describe(error));
        return found;
    }
    if (holder.size() < 4 || (!ignoringId.isEmpty() && holder.at(0) == componentOf(ignoringId))) return found;
    found.push_back({holder.at(2).isEmpty() ? holder.at(0) : holder.at(2), holder.at(3).isEmpty() ? holder.at(1) : holder.at(3)});
    return found;
}

void KdeShortcuts::bind(const DesktopShortcut& shortcut) {
    const auto sequence = sequenceOf(shortcut.keys);
    if (!sequence)
        throw VantrelError(QStringLiteral("KDE cannot bind this combination: ") + shortcut.keys.displayText());
    if (shortcut.id.isEmpty() || shortcut.command.isEmpty())
        throw VantrelError(QStringLiteral("A desktop shortcut needs an id and a command"));
    if (!isAvailable()) throw VantrelError(QStringLiteral("KDE's global shortcuts service is not running"));

    // The entry the service runs on a press.
    const QString path = entryPath(shortcut.id);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw VantrelError(QStringLiteral("Cannot create the folder of ") + path);
    QStringList exec;
    for (const QString& argument : shortcut.command) exec << desktopExecArgument(argument);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw VantrelError(QStringLiteral("Cannot write ") + path);
    file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n")
                   .arg(shortcut.name, exec.join(QLatin1Char(' ')))
                   .toUtf8());
    if (!file.commit()) throw VantrelError(QStringLiteral("Cannot write ") + path);

    const QDBusConnection bus = busOf(m_options.bus);
    const int timeout = m_options.timeoutMs;
    const QString component = componentOf(shortcut.id);

    // Whoever holds the keys lets them go.
    const auto holderReply = call(bus, timeout, QStringLiteral("actionList"), {QVariant::fromValue(*sequence)});
    const QStringList holder = holderReply.isEmpty() ? QStringList() : holderReply.front().toStringList();
    if (holder.size() >= 4 && holder.at(0) != component) {
        QList<KeySequence> kept;
        for (const KeySequence& held :
             sequencesIn(call(bus, timeout, QStringLiteral("shortcutKeys"), {holder}).value(0)))
            if (held.keys != sequence->keys) kept << held;
        call(bus, timeout, QStringLiteral("setShortcutKeys"), {holder, QVariant::fromValue(kept), kNoAutoloading});
        log().info("Took the combination from a KDE shortcut",
                   {{QStringLiteral("component"), holder.at(0)}, {QStringLiteral("action"), holder.at(1)}});
    }

    const QStringList ours = actionId(component, kLaunchAction, shortcut.name, shortcut.name);
    call(bus, timeout, QStringLiteral("doRegister"), {ours});
    const auto set = sequencesIn(call(bus, timeout, QStringLiteral("setShortcutKeys"),
                                      {ours, QVariant::fromValue(QList<KeySequence>{*sequence}),
                                       kSetPresent | kNoAutoloading})
                                     .value(0));
    const bool taken = std::any_of(set.begin(), set.end(),
                                   [&](const KeySequence& given) { return given.keys == sequence->keys; });
    if (!taken)
        throw VantrelError(QStringLiteral("KDE did not give %1 to the shortcut").arg(shortcut.keys.displayText()));
    log().info("Added a KDE global shortcut", {{QStringLiteral("component"), component},
                                               {QStringLiteral("keys"), shortcut.keys.displayText()}});
}

std::optional<DesktopShortcut> KdeShortcuts::binding(const QString& id) const {
    QFile file(entryPath(id));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    DesktopShortcut shortcut{id, {}, {}, KeyCombination{ModifierKeys(), KeyEquivalent(U' ')}};
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Name="))) shortcut.name = line.mid(5);
        if (line.startsWith(QLatin1String("Exec="))) shortcut.command = execArguments(line.mid(5));
    }
    std::optional<KeyCombination> keys;
    try {
        const auto reply = call(busOf(m_options.bus), m_options.timeoutMs, QStringLiteral("shortcutKeys"),
                                {actionId(componentOf(id), kLaunchAction, QString(), QString())});
        for (const KeySequence& sequence : sequencesIn(reply.value(0)))
            if (sequence.keys.size() == 1 && (keys = shortcutkeys::fromQtKey(sequence.keys.front()))) break;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!keys) return std::nullopt;
    shortcut.keys = *keys;
    return shortcut;
}

}  // namespace vantrel
