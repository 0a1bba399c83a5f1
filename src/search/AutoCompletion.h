#pragma once

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "search/Normalization.h"
#include "search/RadixTree.h"
#include "search/RankingRules.h"
#include "search/SearchKeys.h"
#include "search/Trie.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <algorithm>
#include <atomic>
#include <concepts>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vantrel {

// List items the built-in views filter as the user types: indexable by name
// and keywords, rankable by name and frecency, and copyable.
template <typename T>
concept AutoCompletionItem = IndexableItem<T> && RankableItem<T> && std::copy_constructible<T>;

// Answers the items matching a (normalised) query, the empty query meaning
// every item. May throw; the failure is logged and answers no items.
template <AutoCompletionItem T>
using AutoCompletionRepository = std::function<std::vector<T>(const QString& term)>;

// Where completions come from: a repository that runs every query itself, or
// an in-memory radix tree or trie over the items given to update().
template <AutoCompletionItem T>
class AutoCompletionStrategy {
public:
    enum class Kind { database, radix, trie };

    static AutoCompletionStrategy database(AutoCompletionRepository<T> repository) {
        return AutoCompletionStrategy(Kind::database, std::move(repository));
    }
    static AutoCompletionStrategy radix() { return AutoCompletionStrategy(Kind::radix, {}); }
    static AutoCompletionStrategy trie() { return AutoCompletionStrategy(Kind::trie, {}); }

    Kind kind() const { return m_kind; }
    // Set for the database strategy only.
    const AutoCompletionRepository<T>& repository() const { return m_repository; }

private:
    AutoCompletionStrategy(Kind kind, AutoCompletionRepository<T> repository)
        : m_kind(kind), m_repository(std::move(repository)) {}

    Kind m_kind;
    AutoCompletionRepository<T> m_repository;
};

namespace detail {

const Logger& autoCompletionLog();

template <AutoCompletionItem T>
class AutoCompletionBackend {
public:
    virtual ~AutoCompletionBackend() = default;
    virtual void update(std::vector<T> items, std::function<void()> completion) = 0;
    virtual std::vector<T> completions(const QString& term, bool alwaysRank) const = 0;
};

// Positions of items by their search keys in a radix tree. The tree key is the
// search key in composed form followed by the item's position in decimal, so
// that equal keys of different items stay distinct; a query ending in digits
// can therefore also match the position suffix ("app1" finds the key "app" of
// the item at position 12, stored as "app12").
class RadixPositions {
public:
    template <typename T>
    explicit RadixPositions(const std::vector<T>& items) {
        QByteArray key;
        for (size_t position = 0; position < items.size(); ++position) {
            const qint64 value = static_cast<qint64>(position);
            const QByteArray suffix = QByteArray::number(value);
            for (const QString& searchKey : searchKeys(items[position])) {
                key = searchKey.normalized(QString::NormalizationForm_C).toUtf8();
                key += suffix;
                m_tree.insert(key, value);
            }
        }
    }

    // Ascending, each once.
    std::vector<qint64> positionsWithPrefix(const QString& prefix) const {
        std::vector<qint64> positions;
        m_tree.forEachWithPrefix(prefix.toUtf8(), [&](const char*, size_t, qint64 position) {
            positions.push_back(position);
            return true;
        });
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        return positions;
    }

private:
    RadixTree<qint64> m_tree;
};

// Positions of items by their search keys in a trie; each key carries the
// positions of the items it came from.
class TriePositions {
public:
    template <typename T>
    explicit TriePositions(const std::vector<T>& items) {
        for (size_t position = 0; position < items.size(); ++position)
            for (const QString& searchKey : searchKeys(items[position]))
                m_trie.insert(searchKey, static_cast<qint64>(position));
    }

    // Ascending, each once.
    std::vector<qint64> positionsWithPrefix(const QString& prefix) const {
        std::vector<qint64> positions;
        for (const TrieMatch& match : m_trie.wordsWithPrefix(prefix))
            positions.insert(positions.end(), match.meta.begin(), match.meta.end());
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        return positions;
    }

private:
    Trie m_trie;
};

// The in-memory strategies. An update builds a new index and item table on the
// global thread pool and swaps them in whole; lookups take the current pair
// under a short lock and search it without one, so a lookup during an update
// answers from the previous items, never from a half-built index. Of two
// overlapping updates the one started last wins. Nothing exists before the
// first update, and lookups answer no items until then.
template <AutoCompletionItem T, typename Positions>
class IndexedAutoCompletion : public AutoCompletionBackend<T>,
                              public std::enable_shared_from_this<IndexedAutoCompletion<T, Positions>> {
public:
    explicit IndexedAutoCompletion(RankingRules<T> ranking) : m_ranking(std::move(ranking)) {}

    void update(std::vector<T> items, std::function<void()> completion) override {
        const quint64 generation = ++m_started;
        auto self = this->shared_from_this();
        Queue::global().dispatch(
            [self, generation, items = std::move(items), completion = std::move(completion)]() mutable {
                auto snapshot = std::make_shared<const Snapshot>(std::move(items));
                self->install(std::move(snapshot), generation);
                if (completion) Queue::main().dispatch(completion);
            });
    }

    std::vector<T> completions(const QString& term, bool alwaysRank) const override {
        const std::shared_ptr<const Snapshot> snapshot = current();
        if (!snapshot) return {};
        if (term.isEmpty()) return alwaysRank ? m_ranking.rank(snapshot->items, term) : snapshot->items;
        const QString normalized = normalizedForSearch(term);
        std::vector<T> found;
        for (qint64 position : snapshot->positions.positionsWithPrefix(normalized))
            if (position >= 0 && static_cast<size_t>(position) < snapshot->items.size())
                found.push_back(snapshot->items[static_cast<size_t>(position)]);
        return m_ranking.rank(std::move(found), normalized);
    }

private:
    struct Snapshot {
        explicit Snapshot(std::vector<T> list) : positions(list), items(std::move(list)) {}
        Positions positions;
        std::vector<T> items;  // by position
    };

    std::shared_ptr<const Snapshot> current() const {
        std::lock_guard lock(m_lock);
        return m_snapshot;
    }

    void install(std::shared_ptr<const Snapshot> snapshot, quint64 generation) {
        {
            std::lock_guard lock(m_lock);
            if (generation < m_installed) return;
            m_installed = generation;
            m_snapshot.swap(snapshot);
        }
        // The previous snapshot (or the outdated new one) is freed outside the
        // lock, unless a lookup still holds it.
        snapshot.reset();
    }

    RankingRules<T> m_ranking;
    std::atomic<quint64> m_started{0};
    mutable std::mutex m_lock;
    quint64 m_installed = 0;
    std::shared_ptr<const Snapshot> m_snapshot;
};

// Every query goes to the repository; there is nothing to update.
template <AutoCompletionItem T>
class DatabaseAutoCompletion : public AutoCompletionBackend<T> {
public:
    DatabaseAutoCompletion(AutoCompletionRepository<T> repository, RankingRules<T> ranking)
        : m_repository(std::move(repository)), m_ranking(std::move(ranking)) {}

    void update(std::vector<T>, std::function<void()> completion) override {
        if (completion) completion();
    }

    std::vector<T> completions(const QString& term, bool alwaysRank) const override {
        if (!m_repository) return {};
        try {
            if (term.isEmpty()) {
                std::vector<T> items = m_repository(term);
                return alwaysRank ? m_ranking.rank(std::move(items), term) : items;
            }
            const QString normalized = normalizedForSearch(term);
            return m_ranking.rank(m_repository(normalized), normalized);
        } catch (const std::exception& error) {
            autoCompletionLog().error("Failed searching completions",
                                      {{QStringLiteral("error"), QString::fromUtf8(error.what())}});
        } catch (...) {
            autoCompletionLog().error("Failed searching completions");
        }
        return {};
    }

private:
    AutoCompletionRepository<T> m_repository;
    RankingRules<T> m_ranking;
};

}  // namespace detail

// Filters a list view's own items as the user types. Built with a strategy and
// the rules that order what matches:
// - radix / trie: update() indexes the items on a background thread (the
//   completion then runs on the main thread); completions() looks the
//   normalised term up as a prefix of the items' search keys and ranks the
//   matches with it. The empty term gives every item, in the given order, or
//   ranked with the empty term when alwaysRank is set.
// - database: update() only calls the completion; completions() asks the
//   repository (with the empty term as is, any other term normalised) and
//   ranks the answer, the empty term's only when alwaysRank is set.
// completions() is safe to call from any thread, also while an update runs.
template <AutoCompletionItem T>
class AutoCompletion {
public:
    AutoCompletion(const AutoCompletionStrategy<T>& strategy, RankingRules<T> ranking) {
        switch (strategy.kind()) {
            case AutoCompletionStrategy<T>::Kind::database:
                m_backend =
                    std::make_shared<detail::DatabaseAutoCompletion<T>>(strategy.repository(), std::move(ranking));
                break;
            case AutoCompletionStrategy<T>::Kind::radix:
                m_backend =
                    std::make_shared<detail::IndexedAutoCompletion<T, detail::RadixPositions>>(std::move(ranking));
                break;
            case AutoCompletionStrategy<T>::Kind::trie:
                m_backend =
                    std::make_shared<detail::IndexedAutoCompletion<T, detail::TriePositions>>(std::move(ranking));
                break;
        }
    }
    AutoCompletion(const AutoCompletion&) = delete;
    AutoCompletion& operator=(const AutoCompletion&) = delete;
    // A moved-from instance must not be used again.
    AutoCompletion(AutoCompletion&&) noexcept = default;
    AutoCompletion& operator=(AutoCompletion&&) noexcept = default;

    void update(std::vector<T> items, std::function<void()> completion = {}) {
        m_backend->update(std::move(items), std::move(completion));
    }

    std::vector<T> completions(const QString& term, bool alwaysRank = false) const {
        return m_backend->completions(term, alwaysRank);
    }

private:
    std::shared_ptr<detail::AutoCompletionBackend<T>> m_backend;
};

}  // namespace vantrel
