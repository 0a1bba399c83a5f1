#pragma once

#include "kit/Logger.h"

namespace vantrel {

// The log category of extension packages, the loader and the registry.
const Logger& packagesLog();

}  // namespace vantrel
