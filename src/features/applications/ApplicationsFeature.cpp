#include "features/applications/ApplicationsFeature.h"

#include "core/api/FeatureContext.h"
#include "kit/Logger.h"
#include "platform/Platform.h"
#include "search/DataSource.h"

namespace vantrel {

void ApplicationsFeature::registerWith(FeatureContext& context) {
    const auto& make = platform().makeApplicationsSource;
    if (!make) {
        Logger(Logger::Category{QStringLiteral("Applications"), QStringLiteral("🗂️")})
            .warning("This desktop offers no list of installed applications");
        return;
    }
    context.addDataSource(make(context.defaults()));
}

}  // namespace vantrel
