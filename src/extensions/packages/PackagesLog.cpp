#include "extensions/packages/PackagesLog.h"

namespace vantrel {

const Logger& packagesLog() {
    static const Logger logger({QStringLiteral("Extensions"), QStringLiteral("🧩")});
    return logger;
}

}  // namespace vantrel
