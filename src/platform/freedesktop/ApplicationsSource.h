#pragma once

#include "search/DataSource.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace vantrel {

class UserDefaults;

// The user default that switches the applications source from folder
// enumeration to the GIO app-info query.
inline constexpr QLatin1String kFindAppsViaSpotlightKey{"findAppsViaSpotlightKey"};

// The launcher's applications source: a SystemSource when
// "findAppsViaSpotlightKey" is true, an FSDataSource otherwise, both with 3
// attempts starting at 5 seconds. userScopesProvider adds folders of desktop
// files. Create it on the main thread.
std::unique_ptr<DataSource> makeApplicationsSource(const UserDefaults& defaults,
                                                   std::function<QStringList()> userScopesProvider = {});

}  // namespace vantrel
