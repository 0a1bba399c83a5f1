#include "ui/window/HotkeyGuide.h"

#include "core/commands/ActionProviders.h"
#include "core/rootsearch/RootSearchController.h"
#include "kit/Logger.h"
#include "kit/Settings.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/DesktopShortcuts.h"
#include "platform/GlobalShortcutsPortal.h"
#include "platform/Platform.h"
#include "ui/window/MainWindow.h"

#include <QJsonArray>
#include <QPointer>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Getting In"), QStringLiteral("🚪")});
    return logger;
}

constexpr QLatin1String kPortalBoundKey{"vantrelPortalShortcutBound"};
constexpr QLatin1String kPortalShortcutId{"toggle"};

// One way out, run by Return on its item.
class GuideActionProvider : public ActionProvider {
public:
    GuideActionProvider(QString id, QString title, std::function<void()> run)
        : m_id(std::move(id)), m_title(std::move(title)), m_run(std::move(run)) {}

    std::vector<MenuItem> menuItems() const override {
        auto run = m_run;
        return {MenuItem::make(m_id, m_title, [run] {
            if (run) run();
            return CommandOutcome::done();
        })};
    }
    QString actionPanelTitle() const override { return m_title; }

private:
    QString m_id;
    QString m_title;
    std::function<void()> m_run;
};

}  // namespace

HotkeyGuide::HotkeyGuide(MainWindow& window, RootSearchController& controller, UserDefaults& defaults,
                         QStringList toggleCommand, Hooks hooks, QObject* parent)
    : QObject(parent),
      m_window(window),
      m_controller(controller),
      m_defaults(defaults),
      m_toggleCommand(std::move(toggleCommand)),
      m_hooks(std::move(hooks)) {}

HotkeyGuide::~HotkeyGuide() = default;

void HotkeyGuide::setDesktopShortcuts(std::shared_ptr<DesktopShortcuts> shortcuts) {
    m_desktop = std::move(shortcuts);
    m_desktopLooked = true;
}

void HotkeyGuide::setPortal(std::shared_ptr<GlobalShortcutsPortal> portal) {
    m_portal = std::move(portal);
    m_portalLooked = false;
    m_portalAvailable = false;
}

QString HotkeyGuide::desktopName() const {
    return m_desktop ? m_desktop->desktopName() : QString();
}

// MARK: Welcome

bool HotkeyGuide::welcomeIfFirstStart(const std::optional<KeyCombination>& hotkey) {
    const UserDefaultsValue<bool> shown(QString(welcomeShownKey), false, &m_defaults);
    if (shown.value()) return false;
    shown.setValue(true);
    // A hotkey that does not work says more than a welcome.
    if (m_window.notice() && m_window.notice()->id == hotkeyNoticeId) return true;
    const QString message =
        hotkey ? QStringLiteral("Press %1 to open Vantrel from anywhere, and again to hide it. Type to find "
                                "applications and commands; Return opens the first one.")
                     .arg(hotkey->displayText())
               : QStringLiteral("Vantrel has no hotkey: run “vantrel toggle” to open it, or choose a hotkey in "
                                "Preferences. Type to find applications and commands; Return opens the first one.");
    m_window.setNotice(MainWindow::Notice{QString(welcomeNoticeId), QStringLiteral("Welcome to Vantrel"), message});
    log().info("First start: showing the welcome", {{QStringLiteral("hotkey"), hotkey ? hotkey->displayText() : ""}});
    return true;
}

void HotkeyGuide::windowHidden() {
    if (m_window.notice() && m_window.notice()->id == welcomeNoticeId) m_window.setNotice(std::nullopt);
}

// MARK: Problems

bool HotkeyGuide::hotkeyChanged(const std::optional<KeyCombination>& hotkey,
                                const std::optional<KeyCombination>& wanted, const QString& refusal) {
    if (hotkey || !wanted || refusal.isEmpty()) {
        clearProblem();
        return false;
    }
    showProblem(*wanted, refusal, true);
    return m_wanted.has_value();
}

bool HotkeyGuide::hotkeysUnavailable(const KeyCombination& wanted, const QString& why) {
    log().info("This session gives no global hotkeys", {{QStringLiteral("reason"), why}});
    showProblem(wanted, QStringLiteral("This desktop does not let Vantrel listen for %1").arg(wanted.displayText()),
                false);
    return m_wanted.has_value();
}

void HotkeyGuide::showProblem(const KeyCombination& wanted, const QString& title, bool canGrab) {
    if (!m_desktopLooked) {
        m_desktopLooked = true;
        if (platform().makeDesktopShortcuts) m_desktop = platform().makeDesktopShortcuts();
    }
    if (m_desktop && m_desktop->isAvailable()) {
        // The user let the desktop run the toggle before: that is the way in.
        if (const auto bound = m_desktop->binding(QString(desktopShortcutId))) {
            log().info("The desktop's own shortcut opens Vantrel",
                       {{QStringLiteral("desktop"), desktopName()}, {QStringLiteral("keys"), bound->keys.displayText()}});
            clearProblem();
            return;
        }
    } else {
        m_desktop.reset();
    }
    m_wanted = wanted;
    m_canGrab = canGrab;

    const QString keys = wanted.displayText();
    QStringList ways;
    if (canGrab) ways << QStringLiteral("choose another hotkey");
    if (m_desktop)
        ways << QStringLiteral("let %1 open Vantrel on %2 through its own keyboard shortcuts").arg(desktopName(), keys);
    QString message = canGrab ? QStringLiteral("Vantrel cannot open with it.")
                              : QStringLiteral("Vantrel needs the desktop's help to open with a key.");
    if (!ways.isEmpty()) {
        QString list = ways.join(QStringLiteral(", or "));
        list[0] = list[0].toUpper();
        message += QLatin1Char(' ') + list + QStringLiteral(" (listed below).");
    } else {
        message += QStringLiteral(" Bind “vantrel toggle” to a key in your desktop's keyboard settings.");
    }
    m_window.setNotice(MainWindow::Notice{QString(hotkeyNoticeId), title, message, true});
    log().warning("Showing how to get in without the hotkey", {{QStringLiteral("hotkey"), keys},
                                                               {QStringLiteral("problem"), title}});
    publishItems();

    if (m_portal || (!m_portalLooked && platform().makeGlobalShortcutsPortal)) {
        if (!m_portal) m_portal = platform().makeGlobalShortcutsPortal();
        if (m_portal && !m_portalLooked) {
            m_portalLooked = true;
            QPointer<HotkeyGuide> guard(this);
            m_portal->checkAvailability([guard](bool available, const QString&) {
                if (!guard) return;
                guard->m_portalAvailable = available;
                if (!available || !guard->m_wanted) return;
                // Bound through the portal before: bind again, the portal remembers the keys.
                if (UserDefaultsValue<bool>(QString(kPortalBoundKey), false, &guard->m_defaults).value())
                    guard->bindWithPortal();
                else
                    guard->publishItems();
            });
        }
    }
}

void HotkeyGuide::clearProblem() {
    const bool had = m_wanted.has_value();
    m_wanted.reset();
    if (m_window.notice() && m_window.notice()->id == hotkeyNoticeId) m_window.setNotice(std::nullopt);
    if (had) publishItems();
}

ListItem HotkeyGuide::item(const QString& id, const QString& title, const QString& subtitle,
                           std::function<void()> run) const {
    ListItem item;
    item.id = id;
    item.title = title;
    item.subtitle = subtitle;
    item.kind = ListItem::Kind::gettingStarted;
    item.iconName = QStringLiteral("settings");
    item.actionProvider = std::make_shared<GuideActionProvider>(id, title, std::move(run));
    return item;
}

void HotkeyGuide::publishItems() {
    std::vector<ListItem> items;
    if (m_wanted) {
        const QString keys = m_wanted->displayText();
        if (m_canGrab)
            items.push_back(item(QString(chooseHotkeyItemId), QStringLiteral("Choose Another Hotkey"),
                                 QStringLiteral("Record a combination that is free"), [this] { chooseHotkey(); }));
        if (m_desktop)
            items.push_back(item(QString(desktopShortcutItemId),
                                 QStringLiteral("Open Vantrel with %1 from %2's Keyboard Shortcuts").arg(keys, desktopName()),
                                 QStringLiteral("%1 runs “%2”").arg(desktopName(), m_toggleCommand.join(QLatin1Char(' '))),
                                 [this] { offerDesktopShortcut(); }));
        if (m_portalAvailable)
            items.push_back(item(QString(portalItemId), QStringLiteral("Use the Desktop's Global Shortcuts"),
                                 QStringLiteral("The desktop asks which keys open Vantrel"), [this] { bindWithPortal(); }));
    }
    m_actionTitles.clear();
    for (const ListItem& entry : items) m_actionTitles << entry.title;
    m_controller.setWelcomeItems(std::move(items));
    m_controller.reload();
}

// MARK: The ways out

void HotkeyGuide::chooseHotkey() {
    if (m_hooks.chooseHotkey) m_hooks.chooseHotkey();
}

void HotkeyGuide::offerDesktopShortcut() {
    if (!m_desktop || !m_wanted) return;
    const QString keys = m_wanted->displayText();
    QString message = QStringLiteral("%1 will run “%2” when you press %3.")
                          .arg(desktopName(), m_toggleCommand.join(QLatin1Char(' ')), keys);
    const std::vector<ShortcutConflict> conflicts = m_desktop->conflicts(*m_wanted, QString(desktopShortcutId));
    if (!conflicts.empty())
        message += QStringLiteral(" %1 uses %2 for “%3” now; the new shortcut takes it over.")
                       .arg(conflicts.front().owner, keys, conflicts.front().action);
    message += QStringLiteral(" You can change it later in %1's keyboard settings.").arg(desktopName());
    QPointer<HotkeyGuide> guard(this);
    m_window.confirm(Alert{QStringLiteral("Add a %1 keyboard shortcut?").arg(desktopName()), message, std::nullopt,
                           QStringLiteral("Add Shortcut"), QStringLiteral("Cancel"), false},
                     [guard, keys](bool confirmed) {
                         if (!guard || !confirmed) return;
                         QString error;
                         if (guard->bindDesktopShortcut(&error))
                             guard->m_window.showToast({Toast::Style::success, QStringLiteral("Shortcut added"),
                                                        QStringLiteral("Press %1 to open Vantrel").arg(keys)});
                         else
                             guard->m_window.showToast(
                                 {Toast::Style::failure, QStringLiteral("Cannot add the shortcut"), error});
                     });
}

bool HotkeyGuide::bindDesktopShortcut(QString* error) {
    if (!m_desktop || !m_wanted) {
        if (error) *error = QStringLiteral("This desktop's keyboard settings cannot be written");
        return false;
    }
    try {
        m_desktop->bind(DesktopShortcut{QString(desktopShortcutId), QStringLiteral("Toggle Vantrel"), m_toggleCommand,
                                        *m_wanted});
    } catch (const std::exception& failure) {
        const QString text = VantrelError::describe(failure);
        log().error(QStringLiteral("Cannot add the desktop shortcut: ") + text);
        if (error) *error = text;
        return false;
    }
    clearProblem();
    return true;
}

void HotkeyGuide::bindWithPortal() {
    if (!m_portal || !m_wanted) return;
    const QString keys = m_wanted->displayText();
    const bool silent = UserDefaultsValue<bool>(QString(kPortalBoundKey), false, &m_defaults).value();
    if (!silent) m_window.showToast({Toast::Style::animated, QStringLiteral("Asking the desktop…"), {}});
    QPointer<HotkeyGuide> guard(this);
    m_portal->bind(QString(kPortalShortcutId), QStringLiteral("Show and hide Vantrel"), *m_wanted,
                   m_hooks.toggleWindow, [guard, silent](bool ok, const QString& message) {
                       if (!guard) return;
                       UserDefaultsValue<bool>(QString(kPortalBoundKey), false, &guard->m_defaults).setValue(ok);
                       if (ok) {
                           guard->clearProblem();
                           if (!silent)
                               guard->m_window.showToast({Toast::Style::success, QStringLiteral("Global shortcut added"),
                                                          QStringLiteral("Press it to open Vantrel")});
                       } else {
                           guard->publishItems();
                           guard->m_window.showToast(
                               {Toast::Style::failure, QStringLiteral("The desktop did not add the shortcut"), message});
                       }
                   });
}

// MARK: Status

QStringList HotkeyGuide::actionTitles() const {
    return m_actionTitles;
}

QJsonObject HotkeyGuide::status() const {
    QJsonObject values;
    if (const auto& notice = m_window.notice()) {
        values.insert(QStringLiteral("notice"), QJsonObject{{QStringLiteral("id"), notice->id},
                                                            {QStringLiteral("title"), notice->title},
                                                            {QStringLiteral("message"), notice->message}});
        values.insert(QStringLiteral("noticeActions"), QJsonArray::fromStringList(m_actionTitles));
    }
    return values;
}

}  // namespace vantrel
