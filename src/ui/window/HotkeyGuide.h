#pragma once

#include "kit/KeyCombination.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vantrel {

class DesktopShortcuts;
class GlobalShortcutsPortal;
class MainWindow;
class RootSearchController;
class UserDefaults;
struct ListItem;

// Makes sure a user can always get into the launcher. On the first start it
// greets with the hotkey to press. When the main hotkey cannot work (another
// program holds it, or the desktop gives no key grabs at all) it says so
// across the top of the window and offers the ways out as the first items of
// root search: choosing another hotkey, letting the desktop itself run
// `vantrel toggle` (GNOME's or KDE's custom shortcuts, written after the user
// confirms), or the desktop portal's global shortcuts where one offers them.
//
// Lives on the main thread, next to the window it talks through.
class HotkeyGuide : public QObject {
    Q_OBJECT

public:
    static constexpr QLatin1String welcomeShownKey{"vantrelWelcomeShown"};
    static constexpr QLatin1String welcomeNoticeId{"welcome"};
    static constexpr QLatin1String hotkeyNoticeId{"hotkeyUnavailable"};
    // The id of the desktop's own shortcut that runs the toggle.
    static constexpr QLatin1String desktopShortcutId{"vantrel-toggle"};
    static constexpr QLatin1String chooseHotkeyItemId{"gettingIn-chooseHotkey"};
    static constexpr QLatin1String desktopShortcutItemId{"gettingIn-desktopShortcut"};
    static constexpr QLatin1String portalItemId{"gettingIn-portal"};

    struct Hooks {
        // Opens the hotkey recorder.
        std::function<void()> chooseHotkey;
        // A press of a shortcut the portal bound.
        std::function<void()> toggleWindow;
    };

    // toggleCommand: the command line that toggles the window ("vantrel toggle").
    HotkeyGuide(MainWindow& window, RootSearchController& controller, UserDefaults& defaults,
                QStringList toggleCommand, Hooks hooks, QObject* parent = nullptr);
    ~HotkeyGuide() override;

    // The desktop's shortcut settings and portal; by default the platform's.
    void setDesktopShortcuts(std::shared_ptr<DesktopShortcuts> shortcuts);
    void setPortal(std::shared_ptr<GlobalShortcutsPortal> portal);

    // On the first start (remembered in "vantrelWelcomeShown"), greets with
    // the hotkey. Answers whether the window should show.
    bool welcomeIfFirstStart(const std::optional<KeyCombination>& hotkey);
    // The main hotkey now: `refusal` says why `wanted` could not be had while
    // no hotkey works. Answers whether the window should show for the user
    // to get in (a problem no desktop shortcut already works around).
    bool hotkeyChanged(const std::optional<KeyCombination>& hotkey, const std::optional<KeyCombination>& wanted,
                       const QString& refusal);
    // This session gives no global key grabs at all (Wayland).
    bool hotkeysUnavailable(const KeyCombination& wanted, const QString& why);
    // The window was hidden: a welcome has been read.
    void windowHidden();

    // What the window shows, for the instance channel's status: "notice"
    // (id, title, message) and "noticeActions" (the titles of the ways out).
    QJsonObject status() const;
    QStringList actionTitles() const;

    // The ways out; what the items run.
    void chooseHotkey();
    // Asks, then writes the desktop shortcut.
    void offerDesktopShortcut();
    // Writes it without asking (the user confirmed).
    bool bindDesktopShortcut(QString* error = nullptr);
    void bindWithPortal();

private:
    void showProblem(const KeyCombination& wanted, const QString& title, bool canGrab);
    void clearProblem();
    void publishItems();
    ListItem item(const QString& id, const QString& title, const QString& subtitle, std::function<void()> run) const;
    QString desktopName() const;

    MainWindow& m_window;
    RootSearchController& m_controller;
    UserDefaults& m_defaults;
    QStringList m_toggleCommand;
    Hooks m_hooks;
    std::shared_ptr<DesktopShortcuts> m_desktop;
    bool m_desktopLooked = false;
    std::shared_ptr<GlobalShortcutsPortal> m_portal;
    bool m_portalLooked = false;
    bool m_portalAvailable = false;

    // The problem shown now: the combination the user wants, and whether
    // choosing another one can help (key grabs work here).
    std::optional<KeyCombination> m_wanted;
    bool m_canGrab = true;
    QStringList m_actionTitles;
};

}  // namespace vantrel
