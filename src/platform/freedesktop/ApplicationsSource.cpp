#include "platform/freedesktop/ApplicationsSource.h"

#include "kit/UserDefaults.h"
#include "platform/freedesktop/FSDataSource.h"
#include "platform/freedesktop/SystemSource.h"

namespace vantrel {

namespace {
constexpr int kNumberOfRetries = 3;
constexpr double kTimeoutSeconds = 5.0;
}  // namespace

std::unique_ptr<DataSource> makeApplicationsSource(const UserDefaults& defaults,
                                                   std::function<QStringList()> userScopesProvider) {
    if (defaults.value(kFindAppsViaSpotlightKey).toBool())
        return std::make_unique<SystemSource>(kTimeoutSeconds, kNumberOfRetries, std::move(userScopesProvider));
    return std::make_unique<FSDataSource>(kTimeoutSeconds, kNumberOfRetries, std::move(userScopesProvider));
}

}  // namespace vantrel
