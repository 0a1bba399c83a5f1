#include "search/AutoCompletion.h"

namespace vantrel::detail {

const Logger& autoCompletionLog() {
    static const Logger logger({QStringLiteral("Search"), QStringLiteral("🔎")});
    return logger;
}

}  // namespace vantrel::detail
