#include "extensions/client/ExtensionRuntime.h"

namespace vantrel::extensions {

ExtensionRuntime::ExtensionRuntime() : m_api(&m_client) {}

ExtensionRuntime& ExtensionRuntime::shared() {
    // Lives until the process ends; the host ends with it.
    static ExtensionRuntime* runtime = new ExtensionRuntime();
    return *runtime;
}

}  // namespace vantrel::extensions
