#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QString;

namespace vantrel {

class AccessibleFocus;
class Calculating;
class DataSource;
class DesktopShortcuts;
class GlobalShortcutsPortal;
class HotkeyManager;
class KeychainBackend;
class PasteInjector;
class PersonalDataStore;
class KeyboardMonitor;
class SystemClipboard;
class UserDefaults;

class ApplicationMenus;
class ColorSchemeSource;
class DesktopServices;
class FileManager;
class SystemActions;
class WindowClient;
class WindowSystem;

// The desktop as the rest of the program sees it: one interface per
// capability (platform/*.h), implemented for X11 and freedesktop desktops
// (platform/x11, platform/freedesktop) and in memory for tests
// (platform/fake).
//
// The program's entry point (main/, and the test entry points) installs the
// implementations once, before anything else runs; every other room only
// reads them. A member left empty means "this desktop has no such thing" and
// every caller copes with that.
struct Platform {
    // Opens links and files and launches applications from desktop entries.
    std::shared_ptr<DesktopServices> desktop;
    // The desktop actions behind the system commands (lock, volume, trash…).
    std::shared_ptr<SystemActions> system;
    // The launcher window's place among the desktop's windows (focus, class,
    // compositing).
    std::shared_ptr<WindowSystem> windows;
    // The user's windows for the window-management commands: the one shared
    // client (made on first call, then the same); null, and *problem (when
    // given) saying why as a whole sentence, where windows cannot be placed
    // (a Wayland session, no display).
    std::function<std::shared_ptr<WindowClient>(QString* problem)> windowClient;
    // Whether the desktop prefers light or dark.
    std::shared_ptr<ColorSchemeSource> colorScheme;
    // Shows files in the desktop's file manager.
    std::shared_ptr<FileManager> fileManager;
    // The installed applications and settings panels as search records
    // (desktop entries), following the desktop's changes.
    std::function<std::shared_ptr<DataSource>(const UserDefaults& defaults)> makeApplicationsSource;
    // Global hotkeys (throws VantrelError when the desktop has none to give).
    std::function<std::unique_ptr<HotkeyManager>()> makeHotkeyManager;
    // The calculator engine behind root search's answers.
    std::function<std::shared_ptr<Calculating>()> makeCalculator;
    // The key code of the stored hotkey form for a key event's native key
    // (QKeyEvent::nativeVirtualKey); nothing when the key has none.
    std::function<std::optional<unsigned>(unsigned nativeKey)> virtualKeyCodeForNativeKey;
    // Where the database key and the services' tokens are kept.
    std::function<std::shared_ptr<KeychainBackend>()> makeKeychainBackend;
    // The custom shortcuts of the desktop the session runs (GNOME, KDE);
    // null when it is none whose settings we can write.
    std::function<std::shared_ptr<DesktopShortcuts>()> makeDesktopShortcuts;
    // The desktop portal's global shortcuts (asks the portal lazily).
    std::function<std::shared_ptr<GlobalShortcutsPortal>()> makeGlobalShortcutsPortal;
    // The desktop's clipboard, watched and written (null where it cannot be).
    std::function<std::shared_ptr<SystemClipboard>()> makeClipboard;
    // Why the session keeps clipboard history from working fully (a Wayland
    // compositor without a data-control protocol); empty when nothing does.
    std::function<QString()> clipboardLimitation;
    // Pasting into the application the user came from.
    std::function<std::shared_ptr<PasteInjector>()> makePasteInjector;
    // Watching the keyboard everywhere and typing into other applications
    // (null where the session gives no way to).
    std::function<std::shared_ptr<KeyboardMonitor>()> makeKeyboardMonitor;
    // The focused element of other applications through the accessibility
    // bus (null where the session has none to ask).
    std::function<std::shared_ptr<AccessibleFocus>()> makeAccessibleFocus;
    // The menu bars of other applications (through the accessibility bus).
    std::function<std::shared_ptr<ApplicationMenus>()> makeApplicationMenus;
    // The desktop's calendars, task lists and address books (Evolution Data
    // Server); the one shared store, made on first call.
    std::function<std::shared_ptr<PersonalDataStore>()> personalData;
    // Shows a desktop notification; false and *problem (when given) saying
    // why when there is no notification server.
    std::function<bool(const QString& summary, const QString& body, QString* problem)> notify;
};

// The installed implementations (all empty until installPlatform is called).
const Platform& platform();
// Replaces the installed implementations; main thread only, before use.
void installPlatform(Platform platform);

}  // namespace vantrel
