#pragma once

#include "core/api/CommandOutcome.h"
#include "core/commands/CommandModel.h"
#include "search/DataSource.h"

#include <QJsonArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

class Search;

// One place to search the web: its fallback id, its title and how the search
// address is made from the query (already percent-encoded for a URL query).
struct WebSearch {
    QString id;
    QString title;
    IconSet icon;
    std::function<std::optional<QUrl>(const QString& encodedQuery)> urlBuilder;
    int fallbackSearchOrder = 0;

    // The two built-in ones: Google (101) and DuckDuckGo (100).
    static WebSearch google();
    static WebSearch duckDuckGo();
    // A search the user added: `address` holds "{Query}" (or any one name in
    // braces), every occurrence of which takes the query. Order 0.
    static WebSearch custom(const QString& id, const QString& title, const QString& address);

    static constexpr QLatin1String googleId{"builtin_google_fallbackSearch"};
    static constexpr QLatin1String duckDuckGoId{"builtin_duckDuckGo_fallbackSearch"};
};

// A search the user added, as stored in the package's configuration
// ("customWebSearches": [{"id", "title", "url"}]).
struct CustomWebSearch {
    QString id;
    QString title;
    QString url;

    static std::vector<CustomWebSearch> fromJson(const QJsonArray& array);
    static QJsonArray toJson(const std::vector<CustomWebSearch>& searches);
    // Whether the address can be one: a URL with a scheme and a "{…}" placeholder.
    static std::optional<QString> validationMessage(const QString& title, const QString& url);
};

// A web search as a fallback row: the search text becomes the address, which
// opens in the desktop's default browser; the use is recorded for ranking.
class WebSearchCommand final : public FallbackSearchCommand {
public:
    WebSearchCommand(WebSearch webSearch, Search* search);

    const WebSearch& webSearch() const { return m_webSearch; }

    QString id() const override { return m_webSearch.id; }
    PackageIdentifier packageId() const override { return PackageIdentifier(QStringLiteral("webSearches")); }
    std::optional<CommandIdentifier> commandId() const override { return std::nullopt; }
    QString displayName() const override { return m_webSearch.title; }
    FallbackSearchType searchType() const override;
    std::optional<IconSet> icon() const override { return m_webSearch.icon; }
    std::optional<QString> iconTintColorName() const override { return std::nullopt; }
    int fallbackSearchOrder() const override { return m_webSearch.fallbackSearchOrder; }
    CommandOutcome run(const QString& searchText, const CommandRunContext& context) const override;

    // The address for the text: nothing when it cannot be made.
    std::optional<QUrl> searchUrl(const QString& searchText) const;
    // Opens the address; throws VantrelError ("Cannot make a search address…"
    // or the desktop's failure).
    QUrl performSearch(const QString& searchText, const CommandRunContext& context) const;

private:
    void recordUse(const QString& searchText) const;

    WebSearch m_webSearch;
    Search* m_search;
};

// The web searches as rows of the search table (source `provider`, type
// fallbackSearch, key = the fallback id), so that their uses are recorded like
// any other visit. The indexes leave provider rows out: they are not found by
// name, only offered as fallbacks.
class WebSearchesSource : public DataSource {
public:
    using Titles = std::function<std::vector<std::pair<QString, QString>>()>;
    explicit WebSearchesSource(Titles titles) : m_titles(std::move(titles)) {}

    SearchRecord::Source source() const override { return SearchRecord::Source::provider; }
    void load(LoadCompletion completion) override;
    void refresh(LoadCompletion completion) override { load(std::move(completion)); }
    // Publishes the current list.
    void rebuild();

private:
    std::vector<SearchRecord> records() const;
    Titles m_titles;
};

}  // namespace vantrel
