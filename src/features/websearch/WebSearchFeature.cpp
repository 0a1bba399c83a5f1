#include "features/websearch/WebSearchFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "features/websearch/ui/WebSearchesPreferencesPage.h"
#include "kit/CommandLine.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "search/Search.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <cstdio>

namespace vantrel {

namespace {

const PackageIdentifier kPackage(QStringLiteral("webSearches"));

using cli::printLine;
using cli::takeOption;

void out(const QString& text) {
    printLine(text);
}

void err(const QString& text) {
    cli::printError(text);
}

}  // namespace

QString WebSearchFeature::newCustomId(const QString& title, const std::vector<CustomWebSearch>& existing) {
    QString slug = title.toLower();
    slug.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("_"));
    while (slug.startsWith(QLatin1Char('_'))) slug.remove(0, 1);
    while (slug.endsWith(QLatin1Char('_'))) slug.chop(1);
    if (slug.isEmpty()) slug = QStringLiteral("search");
    const QString base = QStringLiteral("customWebSearch_") + slug;
    QString id = base;
    for (int n = 2;; ++n) {
        const bool taken = std::any_of(existing.begin(), existing.end(),
                                       [&](const CustomWebSearch& search) { return search.id == id; });
        if (!taken) return id;
        id = base + QLatin1Char('_') + QString::number(n);
    }
}


WebSearchFeature::WebSearchFeature() = default;

WebSearchFeature::~WebSearchFeature() {
    m_subscriptions.reset();
}

std::vector<CustomWebSearch> WebSearchFeature::customWebSearches() const {
    if (!m_context) return {};
    const auto value = m_context->registry().configuration(kPackage).jsonPayload.value(customWebSearchesKey);
    return CustomWebSearch::fromJson(value.toArray());
}

bool WebSearchFeature::setCustomWebSearches(const std::vector<CustomWebSearch>& searches) const {
    if (!m_context) return false;
    const QVariantList list = CustomWebSearch::toJson(searches).toVariantList();
    return m_context->registry().setPackageConfiguration(
        kPackage, [&](QVariantMap& payload, bool&) { payload.insert(QString(customWebSearchesKey), list); });
}

std::vector<WebSearch> WebSearchFeature::webSearches() const {
    std::vector<WebSearch> searches{WebSearch::google(), WebSearch::duckDuckGo()};
    for (const CustomWebSearch& custom : customWebSearches())
        searches.push_back(WebSearch::custom(custom.id, custom.title, custom.url));
    return searches;
}

void WebSearchFeature::publish() {
    FallbackList fallbacks;
    Search* search = &m_context->search().search();
    for (WebSearch& webSearch : webSearches())
        fallbacks.push_back(std::make_shared<WebSearchCommand>(std::move(webSearch), search));
    m_context->registry().setPackageFallbackSearchCommands(kPackage, std::move(fallbacks));
    if (m_source) m_source->rebuild();
}

void WebSearchFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    m_source = std::make_shared<WebSearchesSource>([this] {
        std::vector<std::pair<QString, QString>> titles;
        for (const WebSearch& search : webSearches()) titles.emplace_back(search.id, search.title);
        return titles;
    });
    context.addDataSource(m_source);
    publish();
    m_subscriptions = std::make_unique<QObject>();
    context.center().addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                                 [this](const Notification& notice) {
                                     if (notice.object.toString() == kPackage.rawValue) publish();
                                 });

    context.addPreferencePage({QStringLiteral("Web Searches"), QStringLiteral("globe"),
                               [this]() -> QWidget* { return new WebSearchesPreferencesPage(*this); }});

    context.addCliCommand(QStringLiteral("websearches"), [this](const QStringList& given) -> std::optional<int> {
        QStringList arguments = given;
        const QString sub = arguments.isEmpty() ? QString() : arguments.takeFirst();
        if (sub == QLatin1String("add")) {
            const QString title = takeOption(arguments, QStringLiteral("--name")).value_or(QString()).trimmed();
            const QString url = takeOption(arguments, QStringLiteral("--link")).value_or(QString()).trimmed();
            if (const std::optional<QString> problem = CustomWebSearch::validationMessage(title, url)) {
                err(*problem);
                return 2;
            }
            std::vector<CustomWebSearch> searches = customWebSearches();
            const QString id = newCustomId(title, searches);
            searches.push_back({id, title, url});
            if (!setCustomWebSearches(searches)) {
                err(QStringLiteral("Unable to save the web search"));
                return 1;
            }
            out(QStringLiteral("Added web search %1 (%2)").arg(id, title));
            return 0;
        }
        if (sub == QLatin1String("list")) {
            const bool json = arguments.removeAll(QStringLiteral("--json")) > 0;
            QJsonArray array;
            for (const WebSearch& search : webSearches()) {
                const std::optional<QUrl> example = WebSearchCommand(search, nullptr).searchUrl(QStringLiteral("{Query}"));
                QString address;
                for (const CustomWebSearch& custom : customWebSearches())
                    if (custom.id == search.id) address = custom.url;
                if (address.isEmpty() && example)
                    address = QString::fromUtf8(example->toEncoded()).replace(QStringLiteral("%7BQuery%7D"),
                                                                               QStringLiteral("{Query}"));
                if (json)
                    array.append(QJsonObject{{"id", search.id},
                                             {"title", search.title},
                                             {"url", address},
                                             {"priority", search.fallbackSearchOrder}});
                else
                    out(QStringLiteral("%1  %2  %3").arg(search.id, -36).arg(search.title, -16).arg(address));
            }
            if (json) std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
            return 0;
        }
        if (sub == QLatin1String("remove") && arguments.size() == 1) {
            std::vector<CustomWebSearch> searches = customWebSearches();
            const auto before = searches.size();
            std::erase_if(searches, [&](const CustomWebSearch& search) { return search.id == arguments.first(); });
            if (searches.size() == before) {
                err(QStringLiteral("No web search of yours has the id ") + arguments.first());
                return 1;
            }
            if (!setCustomWebSearches(searches)) return 1;
            out(QStringLiteral("Removed web search ") + arguments.first());
            return 0;
        }
        err(QStringLiteral("websearches takes add --name N --link L, list [--json] or remove ID"));
        return 2;
    });
}

}  // namespace vantrel
