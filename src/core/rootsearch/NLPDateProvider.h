#pragma once

#include "platform/Calculating.h"
#include "search/AutoCompletion.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

// One phrase the date fields complete: what the user may type (`query`, also
// the name it is indexed under, with its `keywords`), what is shown, and the
// expression the calculator turns into the date.
struct NLPDateSuggestion {
    // What kind of phrase it is; `parsed` (the typed text itself read as a
    // date) carries whether it named a time of day.
    struct Kind {
        enum Case { parsed, default_, weekday, month, dayMonth, relativeDate, exactTime };
        Case value = default_;
        bool hasTimeComponent = false;  // parsed only

        Kind(Case kindCase = default_) : value(kindCase) {}  // NOLINT: a case is a kind
        static Kind parsedDate(bool hasTimeComponent) {
            Kind kind(parsed);
            kind.hasTimeComponent = hasTimeComponent;
            return kind;
        }
        friend bool operator==(const Kind& a, const Kind& b) {
            return a.value == b.value && (a.value != parsed || a.hasTimeComponent == b.hasTimeComponent);
        }
    };

    qint64 key = 0;
    Kind kind;
    QString query;
    QString title;
    QString expression;
    QStringList keywords;

    // Indexing and ranking.
    QString name() const { return query; }
    const QStringList& indexableKeywords() const { return keywords; }
    std::optional<QDateTime> frecencyDate() const { return std::nullopt; }
};

struct NLPDateProviderOptions {
    // The current time; the system clock when not set.
    std::function<QDateTime()> now;
    // At most this many results for a non-empty text (every hit costs one
    // evaluation by the calculator).
    int maximumResults = 20;
};

// What a date field shows for one date the text can mean.
class DateProviderResult {
public:
    virtual ~DateProviderResult() = default;
    virtual QString title() const = 0;
    virtual QDateTime date() const = 0;
    virtual bool hasTimeComponent() const = 0;
    virtual NLPDateSuggestion::Kind suggestionKind() const = 0;
    virtual const NLPDateProviderOptions& options() const = 0;
};

class NLPDateProviderResult final : public DateProviderResult {
public:
    NLPDateProviderResult(QString title, QDateTime date, bool hasTimeComponent, NLPDateSuggestion::Kind kind,
                          NLPDateProviderOptions options)
        : m_title(std::move(title)),
          m_date(std::move(date)),
          m_hasTimeComponent(hasTimeComponent),
          m_kind(kind),
          m_options(std::move(options)) {}

    QString title() const override { return m_title; }
    QDateTime date() const override { return m_date; }
    bool hasTimeComponent() const override { return m_hasTimeComponent; }
    NLPDateSuggestion::Kind suggestionKind() const override { return m_kind; }
    const NLPDateProviderOptions& options() const override { return m_options; }

private:
    QString m_title;
    QDateTime m_date;
    bool m_hasTimeComponent;
    NLPDateSuggestion::Kind m_kind;
    NLPDateProviderOptions m_options;
};

class DateProvider {
public:
    virtual ~DateProvider() = default;
    virtual const NLPDateProviderOptions& options() const = 0;
    virtual std::vector<NLPDateProviderResult> results(const QString& text) const = 0;
};

// Turns short phrases ("tomorrow at 9", "in 2 weeks", "3rd march", "12.05")
// into dates for the date fields of forms.
//
// On creation it builds its suggestions (see suggestions()), logs "Index date
// completions" and indexes them by prefix in the background; indexingCompleted
// then runs on the main thread. Until then a non-empty text finds only the
// day-month forms and what the calculator reads from the text itself.
//
// Results for a text:
// - empty: the defaults in order: "now", "Today", "Tomorrow", "in 1 week",
//   then the weekdays from Monday to Sunday;
// - otherwise, lower-cased: a day and a month ("12.05", "3rd march",
//   "on 1 june") first, then the index hits for the text as a prefix in index
//   order, then the text itself read as a date (kind parsed) unless an earlier
//   result already has that date. Every expression goes through the
//   calculator's date parse; what it cannot read is dropped.
// Titles: "Today", "Tomorrow" or "Yesterday" for dates on those days,
// otherwise "EEEE, d MMMM, yyyy" ("Monday, 7 December, 2026") or, with a time
// of day, "EEEE, d MMMM, h:mm a" ("Monday, 7 December, 9:00 AM").
//
// results() may be called from any thread.
class NLPDateProvider : public DateProvider {
public:
    NLPDateProvider(std::shared_ptr<Calculating> calculator, NLPDateProviderOptions options = {},
                    std::function<void()> indexingCompleted = {});
    ~NLPDateProvider() override;
    NLPDateProvider(const NLPDateProvider&) = delete;
    NLPDateProvider& operator=(const NLPDateProvider&) = delete;

    const NLPDateProviderOptions& options() const override { return m_options; }
    std::vector<NLPDateProviderResult> results(const QString& text) const override;

    bool isIndexed() const { return m_indexed->load(); }

    // Every indexed suggestion, in index order: the fixed phrases, the times
    // of day (today from the current hour to 23, tomorrow 0 to 23), the 177
    // relative dates "in 1 day" … "in 59 months", the month names and the
    // weekday names.
    const std::vector<NLPDateSuggestion>& suggestions() const { return m_suggestions; }
    // The indexed suggestions found by the text as a prefix, in index order.
    std::vector<NLPDateSuggestion> completions(const QString& text) const;
    // The suggestions an empty text gives, in order.
    const std::vector<NLPDateSuggestion>& defaultSuggestions() const { return m_defaults; }

    // The day and month a text names ("12.05" → 12 May, "3rd march" → 3 March)
    // as a suggestion, or nothing.
    std::optional<NLPDateSuggestion> dayMonthSuggestion(const QString& lowerCasedText) const;

    // "Today", "Tomorrow", "Yesterday" or the formatted date.
    static QString title(const QDateTime& date, bool hasTimeComponent, const QDateTime& now);

private:
    QDateTime now() const;
    qint64 nextKey() const { return ++m_nextKey; }
    void buildSuggestions();
    NLPDateSuggestion makeSuggestion(NLPDateSuggestion::Kind kind, QString query, QString title, QString expression,
                                     QStringList keywords = {}) const;
    std::optional<NLPDateProviderResult> evaluate(const NLPDateSuggestion& suggestion, const QDateTime& now) const;

    NLPDateProviderOptions m_options;
    std::shared_ptr<Calculating> m_calculator;
    // The source of suggestion keys.
    mutable std::atomic<qint64> m_nextKey{0};
    std::vector<NLPDateSuggestion> m_suggestions;
    std::vector<NLPDateSuggestion> m_defaults;
    std::unique_ptr<AutoCompletion<NLPDateSuggestion>> m_autoCompletion;
    std::shared_ptr<std::atomic<bool>> m_indexed = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace vantrel
