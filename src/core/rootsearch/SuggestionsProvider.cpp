#include "core/rootsearch/SuggestionsProvider.h"

#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "search/Search.h"

namespace vantrel {

SuggestionsProvider::SuggestionsProvider(Search& search, PackageSuggestionsSource packageSuggestionsSource,
                                         NotificationCenter* center)
    : m_search(search),
      m_packageSuggestionsSource(std::move(packageSuggestionsSource)),
      m_subscriptions(std::make_unique<QObject>()) {
    refreshPackageSuggestions();
    NotificationCenter& notifications = center ? *center : NotificationCenter::defaultCenter();
    notifications.addObserver(QString(NotificationNames::packageCommandsDidChange), m_subscriptions.get(),
                              [this](const Notification&) { refreshPackageSuggestions(); });
}

SuggestionsProvider::~SuggestionsProvider() = default;

void SuggestionsProvider::refreshPackageSuggestions() {
    if (m_packageSuggestionsSource)
        m_packageSuggestions = m_packageSuggestionsSource();
    else
        m_packageSuggestions.reset();
}

void SuggestionsProvider::setPackageSuggestionsSource(PackageSuggestionsSource source) {
    m_packageSuggestionsSource = std::move(source);
    refreshPackageSuggestions();
}

std::vector<SuggestionsProvider::Suggestion> SuggestionsProvider::suggestions(const SearchItemFilter& filter,
                                                                              int limit) {
    std::vector<Suggestion> out;
    if (limit <= 0) return out;
    m_searchSuggestionIds.clear();
    for (SearchItem& item : m_search.suggestions(limit, filter)) {
        // Fallback searches answer every query; they are no suggestion.
        if (item.result().type() == SearchRecord::ContentType::fallbackSearch) continue;
        const QString id = item.identifier();
        if (m_searchSuggestionIds.contains(id)) continue;
        m_searchSuggestionIds.insert(id);
        out.push_back({id, std::move(item), nullptr});
    }
    if (out.size() >= static_cast<size_t>(limit) || !m_packageSuggestions) return out;
    for (const auto& command : *m_packageSuggestions) {
        if (out.size() >= static_cast<size_t>(limit)) break;
        if (!command) continue;
        const QString id = command->id().rawValue;
        if (m_searchSuggestionIds.contains(id)) continue;
        std::optional<SearchItem> item;
        try {
            if (auto record = m_search.repository()->record(id); record && !record->uninstalled)
                item = SearchItem::fromRecord(std::move(*record));
        } catch (const std::exception&) {
            // Without its row the command is still suggested, only not ranked.
        }
        if (item && filter && !filter(*item)) continue;
        m_searchSuggestionIds.insert(id);
        out.push_back({id, std::move(item), command});
    }
    return out;
}

}  // namespace vantrel
