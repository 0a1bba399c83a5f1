#pragma once

#include "core/api/CommandOutcome.h"
#include "data/SearchRecord.h"
#include "kit/KeyCombination.h"
#include "platform/HotkeyManager.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;

namespace vantrel {

class NotificationCenter;
class PackageRegistry;
class SearchRepository;
class UserDefaults;

// The launcher's global hotkeys: the main hotkey that shows and hides the
// window ("vantrelGlobalHotkey", Alt+Space unless the user chose another) and
// the hotkeys users give single applications, commands and script commands.
//
// Lives on the main thread. Changes of "vantrelGlobalHotkey" re-register the
// main hotkey at once, the old combination released before the new one is
// taken. Package configuration, hotkey, script-command and quicklink changes
// reload the per-item hotkeys on the next turn of the event loop.
class GlobalHotkeys {
public:
    // Why a combination cannot be the main hotkey.
    struct Refusal {
        KeyCombination combination;
        // Another program holds it (the usual case: the desktop's own binding).
        bool heldByAnotherProgram = false;
        // What the desktop said.
        QString reason;

        // "Alt+Space is used by another application", or "Alt+Space cannot be
        // used as a hotkey: why".
        QString message() const;
    };

    struct Callbacks {
        // The main hotkey was pressed.
        std::function<void()> toggleWindow;
        // The main hotkey was registered, refused or released: ask
        // mainHotkey() and mainHotkeyProblem() what holds now.
        std::function<void()> mainHotkeyChanged;
        // A command run by its hotkey finished; the launcher shows the outcome.
        std::function<void(const SearchRecord& record, const CommandOutcome& outcome)> showCommandOutcome;
        // The hotkey of a record that is neither an application nor a
        // registry command (a script command…) was pressed: the feature that
        // owns the record's type runs it. Returns whether one did.
        std::function<bool(const SearchRecord& record)> runRecord;
        // Starts an application from its desktop entry; throws VantrelError.
        // Empty: the desktop's launch.
        std::function<void(const QString& desktopFilePath)> launchApplication;
        // Handed to commands that act on the launcher; may be null.
        const LauncherEnvironment* environment = nullptr;
    };

    // A per-item hotkey in place.
    struct ItemHotkey {
        SearchRecord record;
        KeyCombination keyCombination;
        HotkeyRegistrationId registration = 0;
    };

    static constexpr QLatin1String globalHotkeyKey{"vantrelGlobalHotkey"};

    // `defaults` and `center` null: the standard store and the default centre.
    GlobalHotkeys(HotkeyManager& manager, PackageRegistry& registry, std::shared_ptr<SearchRepository> repository,
                  Callbacks callbacks, UserDefaults* defaults = nullptr, NotificationCenter* center = nullptr);
    ~GlobalHotkeys();
    GlobalHotkeys(const GlobalHotkeys&) = delete;
    GlobalHotkeys& operator=(const GlobalHotkeys&) = delete;

    // The stored form of Alt+Space, the registered default of
    // "vantrelGlobalHotkey" ("Option-49").
    static QString defaultGlobalHotkey();

    // Registers the main hotkey, follows its setting and the change notices,
    // and loads the per-item hotkeys.
    void start();

    // Releases the current main hotkey and registers the stored one. An empty
    // stored text means no main hotkey; text that names no combination is
    // logged and leaves none. When the desktop refuses the stored combination
    // the previous one is taken again and stored back, so a working hotkey is
    // never lost; without a previous one there is none and
    // mainHotkeyProblem() says why.
    void registerMainHotkey();
    // Makes `combination` the main hotkey and stores it. When the desktop
    // refuses it, the hotkey in place stays (stored as it was) and the
    // refusal is answered.
    std::optional<Refusal> changeMainHotkey(const KeyCombination& combination);
    // The combination registered as main hotkey now.
    std::optional<KeyCombination> mainHotkey() const;
    // Why there is no main hotkey although one is stored; nothing when it
    // works (or the user chose none).
    std::optional<Refusal> mainHotkeyProblem() const { return m_problem; }
    // The stored main hotkey (the default when none is stored); nothing when
    // the user cleared it or the text names no combination.
    std::optional<KeyCombination> storedMainHotkey() const;

    // Replaces the per-item hotkeys with those stored on search records.
    void reloadCommandsGlobalHotkeys();
    const std::vector<ItemHotkey>& itemHotkeys() const;
    // The system source delivered new records (installed or removed
    // applications): reloads the per-item hotkeys on the next turn.
    void systemSourceDidChange();

    // Runs the item bound to a pressed per-item hotkey.
    void handleGlobalHotkey(const SearchRecord& record, const KeyCombination& keyCombination);

private:
    UserDefaults& defaults() const;
    void scheduleReload();
    void defaultsDidChange(const QString& key);
    void unregisterItemHotkeys();
    // Puts `wanted` in place of the main hotkey (the old one released first);
    // on a refusal takes the old one again. Answers the refusal.
    std::optional<Refusal> replaceMainHotkey(const std::optional<KeyCombination>& wanted);
    HotkeyRegistrationId registerMain(const KeyCombination& combination);
    void storeMainHotkey(const KeyCombination& combination);
    std::optional<std::vector<SearchRecord>> loadRecordsWithHotkeys() const;

    HotkeyManager& m_manager;
    PackageRegistry& m_registry;
    std::shared_ptr<SearchRepository> m_repository;
    Callbacks m_callbacks;
    UserDefaults* m_defaults;
    NotificationCenter* m_center;
    // Owns the notification subscriptions and the queued reloads.
    std::unique_ptr<QObject> m_context;
    bool m_started = false;
    std::atomic<bool> m_reloadScheduled{false};

    std::optional<KeyCombination> m_mainHotkey;
    std::optional<HotkeyRegistrationId> m_mainRegistration;
    std::optional<Refusal> m_problem;
    std::vector<ItemHotkey> m_itemHotkeys;
};

}  // namespace vantrel
