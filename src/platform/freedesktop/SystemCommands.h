#pragma once

#include <QString>
#include <QStringList>

namespace vantrel {

// The desktop actions behind the built-in system commands, carried out on
// the Linux desktop (logind, systemd, the sound server's command-line tool,
// the freedesktop trash, …). Command ids are the registry's own
// ("lockScreen", "emptyTrash", "setVolume50", …).
class SystemCommands {
public:
    // Every command id this class carries out (including the ones that only
    // report that they are unavailable on this desktop).
    static const QStringList& commandIds();
    static bool handles(const QString& commandId);

    // Whether the command can do anything on this desktop; when not,
    // *reason (if given) says why in one sentence.
    static bool isAvailable(const QString& commandId, QString* reason = nullptr);

    // Carries out the command. Returns the short confirmation a HUD shows
    // ("Volume set to 50%", "Trash emptied"); throws VantrelError with a
    // sentence the user can read when it fails or is unavailable here.
    static QString run(const QString& commandId);
};

}  // namespace vantrel
