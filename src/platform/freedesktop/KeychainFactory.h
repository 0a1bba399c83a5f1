#pragma once

#include "data/Keychain.h"

#include <QString>

#include <memory>

namespace vantrel {

// The keychain backend of this desktop. VANTREL_KEYRING=secret-service or
// VANTREL_KEYRING=file forces one (any other value is logged and ignored);
// otherwise the Secret Service when one answers on the session bus, else the
// private keyring file, with a warning in the log. reason, when given, tells
// why this backend was chosen (for `vantrel doctor`).
std::shared_ptr<KeychainBackend> makeKeychainBackend(QString* reason = nullptr);

// The keychain of the service "vantrel" over makeKeychainBackend().
Keychain makeDefaultKeychain();

}  // namespace vantrel
