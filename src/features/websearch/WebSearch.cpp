#include "features/websearch/WebSearch.h"

#include "kit/Logger.h"
#include "kit/UrlEncoding.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "search/Search.h"

#include <QJsonObject>
#include <QRegularExpression>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("WebSearches"), QStringLiteral("🌐")});
    return logger;
}

// The address up to and including "q=" followed by the query.
std::function<std::optional<QUrl>(const QString&)> prefixBuilder(const QString& prefix) {
    return [prefix](const QString& encoded) -> std::optional<QUrl> {
        const QUrl url(prefix + encoded, QUrl::StrictMode);
        if (!url.isValid()) return std::nullopt;
        return url;
    };
}

const QRegularExpression& placeholderPattern() {
    static const QRegularExpression pattern(QStringLiteral("\\{.*?\\}"));
    return pattern;
}

}  // namespace

WebSearch WebSearch::google() {
    return {QString(googleId), QStringLiteral("Google"), IconSet{ImageResource::named(QStringLiteral("globe")), {}},
            prefixBuilder(QStringLiteral("https://www.google.com/search?q=")), 101};
}

WebSearch WebSearch::duckDuckGo() {
    return {QString(duckDuckGoId), QStringLiteral("DuckDuckGo"),
            IconSet{ImageResource::named(QStringLiteral("globe")), {}},
            prefixBuilder(QStringLiteral("https://duckduckgo.com/?q=")), 100};
}

WebSearch WebSearch::custom(const QString& id, const QString& title, const QString& address) {
    auto builder = [address](const QString& encoded) -> std::optional<QUrl> {
        const QRegularExpressionMatch match = placeholderPattern().match(address);
        if (!match.hasMatch()) return std::nullopt;
        QString text = address;
        text.replace(match.captured(0), encoded);
        const QUrl url(text, QUrl::TolerantMode);
        if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;
        return url;
    };
    return {id, title, IconSet{ImageResource::named(QStringLiteral("globe")), {}}, builder, 0};
}

std::vector<CustomWebSearch> CustomWebSearch::fromJson(const QJsonArray& array) {
    std::vector<CustomWebSearch> searches;
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        CustomWebSearch search{object.value(QStringLiteral("id")).toString(),
                               object.value(QStringLiteral("title")).toString(),
                               object.value(QStringLiteral("url")).toString()};
        if (search.id.isEmpty() || validationMessage(search.title, search.url)) {
            log().warning("Skipping a stored web search that is not whole", {{QStringLiteral("id"), search.id}});
            continue;
        }
        searches.push_back(std::move(search));
    }
    return searches;
}

QJsonArray CustomWebSearch::toJson(const std::vector<CustomWebSearch>& searches) {
    QJsonArray array;
    for (const CustomWebSearch& search : searches)
        array.append(QJsonObject{{"id", search.id}, {"title", search.title}, {"url", search.url}});
    return array;
}

std::optional<QString> CustomWebSearch::validationMessage(const QString& title, const QString& url) {
    if (title.trimmed().isEmpty()) return QStringLiteral("Name can not be empty. Please provide a name.");
    if (url.trimmed().isEmpty()) return QStringLiteral("Link can not be empty. Please provide a link.");
    if (!placeholderPattern().match(url).hasMatch())
        return QStringLiteral("The address needs a placeholder for the query, such as {Query}");
    const QUrl parsed(url.trimmed(), QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty()) return QStringLiteral("Please provide a valid link");
    return std::nullopt;
}

WebSearchCommand::WebSearchCommand(WebSearch webSearch, Search* search)
    : m_webSearch(std::move(webSearch)), m_search(search) {}

FallbackSearchType WebSearchCommand::searchType() const {
    return FallbackSearchType::browser;
}

std::optional<QUrl> WebSearchCommand::searchUrl(const QString& searchText) const {
    const QString encoded = percentEncodedForQuery(searchText);
    if (encoded.isEmpty() && !searchText.isEmpty()) return std::nullopt;
    return m_webSearch.urlBuilder ? m_webSearch.urlBuilder(encoded) : std::nullopt;
}

QUrl WebSearchCommand::performSearch(const QString& searchText, const CommandRunContext& context) const {
    const std::optional<QUrl> url = searchUrl(searchText);
    if (!url) throw VantrelError(QStringLiteral("Cannot make a search address for the text"));
    try {
        if (context.environment && context.environment->openUrl)
            context.environment->openUrl(*url);
        else
            openOnDesktop(*url);
    } catch (const std::exception& error) {
        log().error("Failed to open URL in WebSearchCommand", {{QStringLiteral("error"), VantrelError::describe(error)}});
        throw;
    }
    recordUse(searchText);
    return *url;
}

CommandOutcome WebSearchCommand::run(const QString& searchText, const CommandRunContext& context) const {
    try {
        const QUrl url = performSearch(searchText, context);
        CommandOutcome outcome = CommandOutcome::done();
        outcome.resultText = QString::fromUtf8(url.toEncoded());
        return outcome;
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Search ") + m_webSearch.title + QStringLiteral(" failed"),
                                      VantrelError::describe(error));
    }
}

void WebSearchCommand::recordUse(const QString& searchText) const {
    if (!m_search) return;
    try {
        if (const auto record = m_search->repository()->record(m_webSearch.id))
            m_search->visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit, searchText);
    } catch (const std::exception& error) {
        log().error("Cannot record the web search", {{QStringLiteral("error"), VantrelError::describe(error)}});
    }
}

std::vector<SearchRecord> WebSearchesSource::records() const {
    std::vector<SearchRecord> list;
    for (const auto& [id, title] : m_titles()) {
        SearchRecord record;
        record.key = id;
        record.type = SearchRecord::ContentType::fallbackSearch;
        record.source = SearchRecord::Source::provider;
        record.name = title;
        record.category = QStringLiteral("Web Searches");
        list.push_back(std::move(record));
    }
    return list;
}

void WebSearchesSource::load(LoadCompletion completion) {
    if (completion) completion(records());
}

void WebSearchesSource::rebuild() {
    DataSourceUpdate update;
    update.records[SearchRecord::Source::provider] = records();
    update.strategy = SearchUpdateStrategy::source();
    notifyUpdate(update);
}

}  // namespace vantrel
