#pragma once

#include <QIcon>
#include <QObject>

#include <chrono>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace vantrel {

// The launcher's icon in the panel's tray (StatusNotifierItem on current
// desktops, the X11 tray elsewhere) with its menu: "Open Vantrel",
// "Preferences…" and "Quit Vantrel". Clicking the icon opens the launcher.
// Without a tray on this desktop nothing is shown and the launcher stays
// reachable through its hotkey and `vantrel toggle`.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon; false when the desktop has no tray.
    bool show();
    // Shows the icon as soon as a tray appears (a panel started after the
    // launcher, a tray extension switched on): tries again every `interval`
    // until it succeeds, then emits shown().
    void showWhenTrayAppears(std::chrono::milliseconds interval = std::chrono::seconds(5));
    bool isVisible() const;
    QMenu* menu() const { return m_menu.get(); }

    // The application's icon: the icon theme's "vantrel", else our own drawing.
    static QIcon applicationIcon();

signals:
    // The icon went up after showWhenTrayAppears waited for a tray.
    void shown();
    void openRequested();
    void preferencesRequested();
    void quitRequested();

private:
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    QTimer* m_retry = nullptr;
};

}  // namespace vantrel
