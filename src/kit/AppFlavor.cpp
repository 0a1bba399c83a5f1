#include "kit/AppFlavor.h"

namespace vantrel {

QString appFlavorRawValue(AppFlavor flavor) {
    switch (flavor) {
        case AppFlavor::debug:
            return QStringLiteral("debug");
        case AppFlavor::internal:
            return QStringLiteral("internal");
        case AppFlavor::release:
            return QStringLiteral("release");
    }
    return {};
}

std::optional<AppFlavor> appFlavorFromRawValue(const QString& rawValue) {
    for (AppFlavor flavor : {AppFlavor::debug, AppFlavor::internal, AppFlavor::release})
        if (appFlavorRawValue(flavor) == rawValue) return flavor;
    return std::nullopt;
}

AppFlavor currentAppFlavor() {
#ifndef NDEBUG
    return AppFlavor::debug;
#else
    if (qEnvironmentVariable("VANTREL_FLAVOR") == QLatin1String("internal")) return AppFlavor::internal;
    return AppFlavor::release;
#endif
}

}  // namespace vantrel
