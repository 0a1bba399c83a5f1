#pragma once

#include <QString>
#include <QStringList>

namespace vantrel {

// The desktop actions behind the built-in system commands (lock the screen,
// set the volume, empty the trash, hide all windows…). Command ids are the
// registry's own ("lockScreen", "emptyTrash", "setVolume50", …).
class SystemActions {
public:
    virtual ~SystemActions() = default;

    // Every command id carried out here (including the ones that only report
    // that they are unavailable on this desktop).
    virtual QStringList commandIds() const = 0;
    bool handles(const QString& commandId) const { return commandIds().contains(commandId); }
    // Whether the command can do anything on this desktop; when not, *reason
    // (if given) says why in one sentence.
    virtual bool isAvailable(const QString& commandId, QString* reason = nullptr) const = 0;
    // Carries out the command. Returns the short confirmation a HUD shows
    // ("Volume set to 50%", "Trash emptied"); throws VantrelError with a
    // sentence the user can read when it fails or is unavailable here.
    virtual QString run(const QString& commandId) = 0;
};

}  // namespace vantrel
