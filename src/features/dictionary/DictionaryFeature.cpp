#include "features/dictionary/DictionaryFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "features/dictionary/DictionaryEntry.h"
#include "features/dictionary/ui/DictionaryView.h"

#include <cstdio>

namespace vantrel {

DictServer DictionaryFeature::server(const PackageRegistry& registry, QString* problem) {
    const std::optional<QString> stored = registry.stringValue(PackageIdentifier(packageId), serverKey);
    if (!stored || stored->trimmed().isEmpty()) return DictServer{};
    if (const auto parsed = DictServer::parse(*stored)) return *parsed;
    if (problem)
        *problem = QStringLiteral("The dictionary server \"%1\" is not host[:port]; using %2.")
                       .arg(*stored, DictServer{}.toString());
    return DictServer{};
}

int DictionaryFeature::timeoutMs(const PackageRegistry& registry) {
    const std::optional<double> seconds = registry.doubleValue(PackageIdentifier(packageId), timeoutKey);
    if (!seconds || *seconds <= 0 || *seconds > 120) return DictClient::defaultTimeoutMs;
    return static_cast<int>(*seconds * 1000);
}

void DictionaryFeature::registerWith(FeatureContext& context) {
    PackageRegistry* registry = &context.registry();
    // The fallback runs the command with the search text: the view starts with it.
    context.addCommandHandler(commandId, [](const VantrelCommand&, const CommandRunContext& run) {
        return CommandOutcome::showView(commandId, run.inputText());
    });
    context.addView(commandId, [registry](const CommandOutcome& outcome) -> QWidget* {
        return new DictionaryView(server(*registry), timeoutMs(*registry), outcome.initialQuery);
    });
    context.addCliCommand(QStringLiteral("define"), [registry](const QStringList& arguments) -> std::optional<int> {
        const QString word = arguments.join(QLatin1Char(' ')).simplified();
        if (word.isEmpty() || word.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "usage: vantrel define WORD\n");
            return 2;
        }
        QString problem;
        const DictServer dictServer = server(*registry, &problem);
        if (!problem.isEmpty()) std::fprintf(stderr, "vantrel: %s\n", problem.toUtf8().constData());
        const DictLookup lookup = DictClient::lookupAndWait(dictServer, word, timeoutMs(*registry));
        const QByteArray text = dictionaryPlainText(lookup).toUtf8();
        if (lookup.failed()) {
            std::fprintf(stderr, "vantrel: %s", text.constData());
            return 1;
        }
        std::fputs(text.constData(), stdout);
        return lookup.definitions.empty() ? 1 : 0;
    });
}

}  // namespace vantrel
