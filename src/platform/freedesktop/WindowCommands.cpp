#include "platform/freedesktop/SystemCommandCapabilities.h"

#include "kit/VantrelError.h"
#include "platform/freedesktop/SystemCommandSupport.h"
#include "platform/x11/Ewmh.h"

#include <QSet>

#include <memory>
#include <optional>
#include <vector>

#include <unistd.h>

namespace vantrel::systemcommands {

namespace {

// The EWMH hints a window command needs from the window manager.
// Window managers without a desktop mode (fluxbox) get it by minimizing:
// the windows put away are kept here until the next Show Desktop.
constexpr const char* kPutAwayWindows = "_VANTREL_DESKTOP_SHOWN_WINDOWS";

const char* requiredHint(const QString& commandId) {
    if (commandId == QLatin1String("quitAllApps")) return "_NET_CLOSE_WINDOW";
    if (commandId == QLatin1String("unhideAllApps")) return "_NET_ACTIVE_WINDOW";
    return "_NET_CLIENT_LIST";
}

QString windowCommandSentence(const QString& commandId) {
    if (commandId == QLatin1String("showDesktop")) return QStringLiteral("Showing the desktop");
    if (commandId == QLatin1String("quitAllApps")) return QStringLiteral("Quitting all applications");
    if (commandId == QLatin1String("hideAllApps")) return QStringLiteral("Hiding applications");
    return QStringLiteral("Unhiding applications");
}

// Connects and checks the window manager's support; throws when the command cannot work here.
std::unique_ptr<Ewmh> windowDesktop(const QString& commandId, QString* problem = nullptr) {
    QString reason;
    std::unique_ptr<Ewmh> desktop = Ewmh::connect(&reason);
    if (desktop && !desktop->supports(requiredHint(commandId))) {
        reason =
            QStringLiteral("the window manager does not support %1").arg(QString::fromLatin1(requiredHint(commandId)));
        desktop.reset();
    }
    if (!desktop) {
        const QString sentence =
            QStringLiteral("%1 cannot work on this desktop: %2.").arg(windowCommandSentence(commandId), reason);
        if (problem) {
            *problem = sentence;
            return nullptr;
        }
        throw VantrelError(sentence);
    }
    return desktop;
}

const uint32_t kOwnPid = uint32_t(getpid());

bool isOwn(const Ewmh::Window& window) {
    return window.pid == kOwnPid;
}

QString countOf(qsizetype count, const char* singular, const char* plural) {
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromLatin1(count == 1 ? singular : plural));
}

}  // namespace

namespace {

// Without _NET_SHOWING_DESKTOP: minimizes every application window and
// remembers which; the next call restores them (the active one last).
QString showDesktopByMinimizing(Ewmh& desktop) {
    const std::vector<Ewmh::WindowId> putAway = desktop.windowList(kPutAwayWindows);
    const std::vector<Ewmh::Window> windows = desktop.clientWindows();
    const auto hiddenNow = [&](Ewmh::WindowId id) {
        for (const auto& window : windows)
            if (window.id == id) return window.hidden;
        return false;
    };
    std::vector<Ewmh::WindowId> toRestore;
    for (const Ewmh::WindowId id : putAway)
        if (hiddenNow(id)) toRestore.push_back(id);
    desktop.setWindowList(kPutAwayWindows, {});
    if (!toRestore.empty()) {
        // Stored with the active window first: it is restored last, so it ends in front.
        for (auto it = toRestore.rbegin(); it != toRestore.rend(); ++it) desktop.activate(*it);
        desktop.sync();
        return QStringLiteral("Windows shown again");
    }
    const std::optional<Ewmh::WindowId> active = desktop.activeWindow();
    std::vector<Ewmh::WindowId> minimized;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (!it->normal || it->hidden || isOwn(*it)) continue;
        desktop.minimize(it->id);
        if (active && it->id == *active)
            minimized.insert(minimized.begin(), it->id);
        else
            minimized.push_back(it->id);
    }
    desktop.setWindowList(kPutAwayWindows, minimized);
    desktop.sync();
    return QStringLiteral("Showing the desktop");
}

}  // namespace

QString showDesktop() {
    auto desktop = windowDesktop(QStringLiteral("showDesktop"));
    if (!desktop->supports("_NET_SHOWING_DESKTOP")) return showDesktopByMinimizing(*desktop);
    const bool showing = desktop->showingDesktop();
    desktop->setShowingDesktop(!showing);
    desktop->sync();
    return showing ? QStringLiteral("Windows shown again") : QStringLiteral("Showing the desktop");
}

// Asks every application window except Vantrel's own to close, the way a
// taskbar's close button does: applications may ask to save first.
QString quitAllApps() {
    auto desktop = windowDesktop(QStringLiteral("quitAllApps"));
    QSet<qint64> applications;
    for (const Ewmh::Window& window : desktop->clientWindows()) {
        if (!window.normal || isOwn(window)) continue;
        desktop->close(window.id);
        // Windows without a process id count as applications of their own.
        applications.insert(window.pid ? qint64(*window.pid) : -qint64(window.id));
    }
    desktop->sync();
    if (applications.isEmpty()) return QStringLiteral("No applications to quit");
    logger().info("Asked applications to quit", {{QStringLiteral("count"), QString::number(applications.size())}});
    return QStringLiteral("Asked %1 to quit").arg(countOf(applications.size(), "application", "applications"));
}

// Minimizes every application window except those of the frontmost
// application: the one with the active window, or, when that is Vantrel's
// own, the one whose window is topmost.
QString hideAllApps() {
    auto desktop = windowDesktop(QStringLiteral("hideAllApps"));
    const std::vector<Ewmh::Window> windows = desktop->clientWindows();
    const std::optional<Ewmh::WindowId> active = desktop->activeWindow();

    const Ewmh::Window* front = nullptr;
    for (const auto& window : windows) {
        if (active && window.id == *active && !isOwn(window)) front = &window;
    }
    if (!front) {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (it->normal && !it->hidden && !isOwn(*it)) {
                front = &*it;
                break;
            }
        }
    }
    const auto isFront = [&](const Ewmh::Window& window) {
        if (!front) return false;
        if (window.id == front->id) return true;
        return front->pid && window.pid == front->pid;
    };
    qsizetype hidden = 0;
    for (const auto& window : windows) {
        if (!window.normal || window.hidden || isOwn(window) || isFront(window)) continue;
        desktop->minimize(window.id);
        ++hidden;
    }
    desktop->sync();
    if (hidden == 0) return QStringLiteral("No other windows to hide");
    return QStringLiteral("Hid %1").arg(countOf(hidden, "window", "windows"));
}

// Restores every minimized application window, then gives the focus back to
// the window that had it.
QString unhideAllApps() {
    auto desktop = windowDesktop(QStringLiteral("unhideAllApps"));
    const std::optional<Ewmh::WindowId> active = desktop->activeWindow();
    qsizetype restored = 0;
    bool activeWasHidden = false;
    for (const auto& window : desktop->clientWindows()) {
        if (!window.normal || !window.hidden) continue;
        if (active && window.id == *active) activeWasHidden = true;
        desktop->activate(window.id);
        ++restored;
    }
    if (restored > 0 && active && !activeWasHidden) {
        desktop->activate(*active);
    }
    desktop->sync();
    if (restored == 0) return QStringLiteral("No hidden windows");
    return QStringLiteral("Restored %1").arg(countOf(restored, "window", "windows"));
}

QString windowProblem(const QString& id) {
    QString problem;
    windowDesktop(id, &problem);
    return problem;
}

}  // namespace vantrel::systemcommands
