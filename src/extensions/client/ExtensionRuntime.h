#pragma once

#include "extensions/client/ExtensionHostClient.h"
#include "extensions/client/VantrelAPI.h"

namespace vantrel::extensions {

// The launcher's one extension host client and API registry, made on first
// use (the host process itself starts with the first command). Main thread.
class ExtensionRuntime {
public:
    static ExtensionRuntime& shared();

    ExtensionHostClient& client() { return m_client; }
    VantrelAPI& api() { return m_api; }

private:
    ExtensionRuntime();

    ExtensionHostClient m_client;
    VantrelAPI m_api;
};

}  // namespace vantrel::extensions
