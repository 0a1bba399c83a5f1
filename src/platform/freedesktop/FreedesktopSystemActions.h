#pragma once

#include "platform/SystemActions.h"

namespace vantrel {

// The system commands of a freedesktop desktop (SystemCommands: logind, the
// session manager, the sound server's tools, GSettings, the trash, GIO's
// mounts and, on X11, the window manager).
class FreedesktopSystemActions : public SystemActions {
public:
    QStringList commandIds() const override;
    bool isAvailable(const QString& commandId, QString* reason = nullptr) const override;
    QString run(const QString& commandId) override;
};

}  // namespace vantrel
