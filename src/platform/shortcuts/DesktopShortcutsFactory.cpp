#include "platform/shortcuts/DesktopShortcutsFactory.h"

#include "platform/shortcuts/GnomeShortcuts.h"
#include "platform/shortcuts/KdeShortcuts.h"

#include <QStringList>

namespace vantrel {

std::shared_ptr<DesktopShortcuts> makeDesktopShortcuts(const QString& currentDesktop) {
    for (const QString& name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString desktop = name.trimmed().toUpper();
        if (desktop == QLatin1String("KDE")) return std::make_shared<KdeShortcuts>();
        if (desktop == QLatin1String("GNOME") || desktop == QLatin1String("UNITY") ||
            desktop == QLatin1String("BUDGIE"))
            return std::make_shared<GnomeShortcuts>();
    }
    return nullptr;
}

}  // namespace vantrel
