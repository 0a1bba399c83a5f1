#pragma once

#include <QString>

#include <optional>

namespace vantrel {

// Which kind of build is running: debug builds switch on debug-only behaviour,
// internal builds show the settings meant for the team.
enum class AppFlavor { debug, internal, release };

// "debug", "internal", "release".
QString appFlavorRawValue(AppFlavor flavor);
std::optional<AppFlavor> appFlavorFromRawValue(const QString& rawValue);

// debug in builds without NDEBUG; otherwise internal when the environment
// variable VANTREL_FLAVOR is "internal", and release in every other case.
AppFlavor currentAppFlavor();

}  // namespace vantrel
