#pragma once

#include <QLatin1String>
#include <QStringList>

namespace vantrel {

class PackageRegistry;

// The commands of the "vantrelPreferences" package: one per page of the
// preferences window ("General Preferences", "Extensions Preferences", and
// one for each page a feature adds, such as "Script Commands Preferences"),
// so that typing "preferences" finds a way in. Running one ends with
// CommandOutcome::showPreferences(preferencesPagePrefix + the page's title).
inline constexpr QLatin1String preferencesPagePrefix{"preferencesPage:"};
inline constexpr QLatin1String generalPreferencesPage{"General"};
inline constexpr QLatin1String extensionsPreferencesPage{"Extensions"};

// Gives the package its commands for the built-in pages and these pages of
// the features (titles as the window shows them), replacing earlier ones.
void publishPreferencesCommands(PackageRegistry& registry, const QStringList& featurePageTitles);

}  // namespace vantrel
