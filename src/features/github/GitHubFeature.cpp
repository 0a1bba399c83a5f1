#include "features/github/GitHubFeature.h"

#include "core/api/FeatureContext.h"
#include "features/github/GitHubCli.h"

namespace vantrel {

void GitHubFeature::registerWith(FeatureContext& context) {
    context.addCliCommand(QStringLiteral("github"), [](const QStringList& arguments) -> std::optional<int> {
        return github::runCli(arguments);
    });
}

}  // namespace vantrel
