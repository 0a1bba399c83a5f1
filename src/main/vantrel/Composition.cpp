#include "main/vantrel/Composition.h"

#include "platform/freedesktop/FreedesktopPlatform.h"
#include "platform/freedesktop/KeychainFactory.h"
#include "platform/freedesktop/WaylandClipboard.h"
#include "platform/freedesktop/WaylandDataControl.h"
#include "platform/qalculate/QalculateCalculator.h"
#include "platform/shortcuts/DesktopShortcutsFactory.h"
#include "platform/shortcuts/PortalGlobalShortcuts.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11KeyboardMonitor.h"
#include "platform/x11/X11HotkeyManager.h"
#include "platform/x11/X11KeySymbols.h"
#include "platform/x11/X11WindowClient.h"
#include "platform/x11/X11WindowSystem.h"

namespace vantrel {

Platform composePlatform() {
    Platform platform = freedesktopPlatform();
    // Only once the GUI application is up on X11; null before and elsewhere.
    platform.windows = X11WindowSystem::forApplication();
    platform.windowClient = [](QString* problem) { return X11WindowClient::shared(problem); };
    platform.makeHotkeyManager = []() -> std::unique_ptr<HotkeyManager> {
        return std::make_unique<X11HotkeyManager>();
    };
    platform.makeCalculator = []() -> std::shared_ptr<Calculating> { return std::make_shared<QalculateCalculator>(); };
    platform.makeKeychainBackend = [] { return makeKeychainBackend(); };
    platform.virtualKeyCodeForNativeKey = [](unsigned nativeKey) -> std::optional<unsigned> {
        const auto code = X11KeySymbols::virtualKeyCode(nativeKey);
        if (!code) return std::nullopt;
        return unsigned(*code);
    };
    platform.makeDesktopShortcuts = [] { return makeDesktopShortcuts(qEnvironmentVariable("XDG_CURRENT_DESKTOP")); };
    platform.makeGlobalShortcutsPortal = []() -> std::shared_ptr<GlobalShortcutsPortal> {
        return std::make_shared<PortalGlobalShortcuts>();
    };
    platform.makeClipboard = []() -> std::shared_ptr<SystemClipboard> {
        // In a Wayland session the compositor's data-control protocol sees every copy; without it only
        // the copies of X11 applications (through XWayland) can be seen.
        if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            auto wayland = std::make_shared<WaylandClipboard>();
            if (wayland->isAvailable()) return wayland;
        }
        return std::make_shared<X11Clipboard>();
    };
    platform.clipboardLimitation = [] { return WaylandDataControl::sessionLimitation(); };
    platform.makePasteInjector = []() -> std::shared_ptr<PasteInjector> {
        return std::make_shared<X11PasteInjector>();
    };
    platform.makeKeyboardMonitor = []() -> std::shared_ptr<KeyboardMonitor> {
        return std::make_shared<X11KeyboardMonitor>();
    };
    return platform;
}

}  // namespace vantrel
