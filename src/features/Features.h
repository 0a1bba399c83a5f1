#pragma once

#include "core/api/Feature.h"

#include <memory>
#include <vector>

namespace vantrel {

// Every feature of this build, in the order of features/FEATURES (made by the
// build from that list).
std::vector<std::unique_ptr<Feature>> makeFeatures();

}  // namespace vantrel
