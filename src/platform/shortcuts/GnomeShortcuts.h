#pragma once

#include "platform/DesktopShortcuts.h"

#include <memory>

namespace vantrel {

// GNOME's custom keyboard shortcuts, through GSettings: each is a relocatable
// "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding" (name,
// command, binding) at its own path, listed in the "custom-keybindings" key
// of "org.gnome.settings-daemon.plugins.media-keys". GNOME Settings shows
// them under Keyboard › Custom Shortcuts and the desktop runs the command.
//
// The desktop's own bindings of a combination (window manager, shell and
// media keys) count as conflicts; binding takes the combination from them.
class GnomeShortcuts : public DesktopShortcuts {
public:
    static constexpr const char* mediaKeysSchema = "org.gnome.settings-daemon.plugins.media-keys";
    static constexpr const char* customKeybindingSchema =
        "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
    static constexpr const char* customKeybindingsPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";

    struct Options {
        // A key file to keep the settings in (GSettings' keyfile backend);
        // empty: the desktop's settings backend (dconf).
        QString keyfilePath;
    };

    GnomeShortcuts();
    explicit GnomeShortcuts(Options options);
    ~GnomeShortcuts() override;
    GnomeShortcuts(const GnomeShortcuts&) = delete;
    GnomeShortcuts& operator=(const GnomeShortcuts&) = delete;

    QString desktopName() const override;
    bool isAvailable() const override;
    std::vector<ShortcutConflict> conflicts(const KeyCombination& keys, const QString& ignoringId = {}) const override;
    void bind(const DesktopShortcut& shortcut) override;
    std::optional<DesktopShortcut> binding(const QString& id) const override;

    // The settings path of a binding's id.
    static QString pathOf(const QString& id);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace vantrel
