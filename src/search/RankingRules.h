#pragma once

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <concepts>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vantrel {

// What the list rankings read from an item: its display name and its frecency
// date (the later the date, the more often and recently the item was used).
template <typename T>
concept RankableItem = requires(const T& item) {
    { item.name() } -> std::convertible_to<QString>;
    { item.frecencyDate() } -> std::convertible_to<std::optional<QDateTime>>;
};

// One criterion for ordering list items. isOrderedBefore() must be a strict
// weak ordering; two items for which it answers false both ways are left to
// the next rule. precomputed() is the rule's own complete ordering of a list,
// used instead of pairwise comparisons when the rules are set to precompute.
template <RankableItem T>
class RankingRule {
public:
    virtual ~RankingRule() = default;
    // Rules with a higher priority are asked first.
    virtual double priority() const = 0;
    virtual bool isOrderedBefore(const T& a, const T& b, const QString& term) const = 0;
    virtual std::vector<T> precomputed(std::vector<T> items, const QString& term) const = 0;
};

// Items with a frecency date come before items without one; of two dated
// items the one with the later date comes first.
template <RankableItem T>
class FrecencyRule : public RankingRule<T> {
public:
    explicit FrecencyRule(double priority) : m_priority(priority) {}

    double priority() const override { return m_priority; }

    bool isOrderedBefore(const T& a, const T& b, const QString&) const override {
        const std::optional<QDateTime> dateA = a.frecencyDate();
        const std::optional<QDateTime> dateB = b.frecencyDate();
        if (!dateA) return false;
        if (!dateB) return true;
        return *dateA > *dateB;
    }

    std::vector<T> precomputed(std::vector<T> items, const QString&) const override { return items; }

private:
    double m_priority;
};

// Compares lower-cased names: a name that starts with the term comes before
// one that does not; otherwise names sort alphabetically. The term is taken as
// given, so callers pass it already normalised (lower case).
template <RankableItem T>
class PrefixRule : public RankingRule<T> {
public:
    explicit PrefixRule(double priority) : m_priority(priority) {}

    double priority() const override { return m_priority; }

    bool isOrderedBefore(const T& a, const T& b, const QString& term) const override {
        const QString nameA = QString(a.name()).toLower();
        const QString nameB = QString(b.name()).toLower();
        const bool prefixA = nameA.startsWith(term);
        const bool prefixB = nameB.startsWith(term);
        if (prefixA != prefixB) return prefixA;
        return nameA < nameB;
    }

    std::vector<T> precomputed(std::vector<T> items, const QString&) const override { return items; }

private:
    double m_priority;
};

// An ordered set of rules for the built-in list views. Rules are kept sorted
// by priority, highest first (rules of equal priority keep the given order).
// Copies share the rules, which are immutable.
template <RankableItem T>
class RankingRules {
public:
    using Rule = std::shared_ptr<const RankingRule<T>>;

    explicit RankingRules(std::vector<Rule> rules = {}, bool precompute = false)
        : m_rules(std::move(rules)), m_precompute(precompute) {
        std::erase(m_rules, nullptr);
        std::stable_sort(m_rules.begin(), m_rules.end(),
                         [](const Rule& a, const Rule& b) { return a->priority() > b->priority(); });
    }

    const std::vector<Rule>& rules() const { return m_rules; }
    bool precompute() const { return m_precompute; }

    // With precompute, the first rule's own ordering. Otherwise a stable sort
    // in which each pair is decided by the first rule, in priority order, that
    // puts one of the two first; pairs every rule ties on keep their order.
    std::vector<T> rank(std::vector<T> items, const QString& term) const {
        if (m_precompute && !m_rules.empty()) return m_rules.front()->precomputed(std::move(items), term);
        if (m_rules.empty()) return items;
        std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) {
            for (const Rule& rule : m_rules) {
                if (rule->isOrderedBefore(a, b, term)) return true;
                if (rule->isOrderedBefore(b, a, term)) return false;
            }
            return false;
        });
        return items;
    }

private:
    std::vector<Rule> m_rules;
    bool m_precompute;
};

}  // namespace vantrel
