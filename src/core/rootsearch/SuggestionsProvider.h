#pragma once

#include "core/commands/CommandModel.h"
#include "search/SearchItem.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class NotificationCenter;
class Search;

// The "Suggestions" of the empty root search: what the search engine suggests
// (frecency first) and, when that is fewer than the limit, the commands the
// packages suggest (the integrations offered during onboarding), in their
// order, up to the limit in total.
class SuggestionsProvider {
public:
    static constexpr int kLimit = 5;

    // One suggestion: an item of the search engine, or a package command that
    // has no search result behind it.
    struct Suggestion {
        QString id;
        std::optional<SearchItem> item;
        std::shared_ptr<const VantrelCommand> command;
    };

    using PackageSuggestionsSource = std::function<CommandList()>;

    // packageSuggestionsSource is read at start and on every
    // "vantrel_PackageCommandsDidChange" (center: the default centre when null).
    SuggestionsProvider(Search& search, PackageSuggestionsSource packageSuggestionsSource = {},
                        NotificationCenter* center = nullptr);
    ~SuggestionsProvider();
    SuggestionsProvider(const SuggestionsProvider&) = delete;
    SuggestionsProvider& operator=(const SuggestionsProvider&) = delete;

    // At most `limit` suggestions; the search engine's pass `filter`, so do the
    // package commands (looked up as records with the command id as key).
    std::vector<Suggestion> suggestions(const SearchItemFilter& filter, int limit = kLimit);

    // The ids the search engine suggested at the last call.
    const QSet<QString>& searchSuggestionIds() const { return m_searchSuggestionIds; }
    const std::optional<CommandList>& packageSuggestions() const { return m_packageSuggestions; }
    void refreshPackageSuggestions();
    // Replaces where the package suggestions come from, and reads it.
    void setPackageSuggestionsSource(PackageSuggestionsSource source);

private:
    Search& m_search;
    PackageSuggestionsSource m_packageSuggestionsSource;
    QSet<QString> m_searchSuggestionIds;
    std::optional<CommandList> m_packageSuggestions;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
