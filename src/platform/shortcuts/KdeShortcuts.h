#pragma once

#include "platform/DesktopShortcuts.h"

#include <QDBusConnection>

namespace vantrel {

// KDE Plasma's global shortcuts, the way its "Add Command" does them: a
// desktop entry under `$XDG_DATA_HOME/kglobalaccel/` whose Exec is the
// command, registered with the global shortcuts service (org.kde.kglobalaccel,
// kglobalaccel5 on Plasma 5, kglobalacceld on Plasma 6) as the "_launch"
// action of a component named after the entry. The service grabs the keys,
// runs the command on each press and keeps the binding in kglobalshortcutsrc.
class KdeShortcuts : public DesktopShortcuts {
public:
    static constexpr const char* service = "org.kde.kglobalaccel";

    struct Options {
        // The bus the service answers on; default: the session bus.
        std::optional<QDBusConnection> bus;
        // Where the entry goes (its kglobalaccel/ folder); default: the
        // user's data folder.
        QString dataHome;
        // How long one call may take, in milliseconds.
        int timeoutMs = 5000;
    };

    KdeShortcuts();
    explicit KdeShortcuts(Options options);
    ~KdeShortcuts() override;

    QString desktopName() const override;
    // The service answers on the bus or can be started by it.
    bool isAvailable() const override;
    std::vector<ShortcutConflict> conflicts(const KeyCombination& keys, const QString& ignoringId = {}) const override;
    void bind(const DesktopShortcut& shortcut) override;
    std::optional<DesktopShortcut> binding(const QString& id) const override;

    // The desktop entry of a binding's id.
    QString entryPath(const QString& id) const;

private:
    Options m_options;
};

}  // namespace vantrel
