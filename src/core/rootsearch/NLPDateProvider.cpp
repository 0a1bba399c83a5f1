#include "core/rootsearch/NLPDateProvider.h"

#include "kit/Logger.h"

#include <QLocale>
#include <QRegularExpression>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Date Provider"), QStringLiteral("📅")});
    return logger;
}

const QStringList& weekdayNames() {
    static const QStringList names{QStringLiteral("Monday"),   QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
                                   QStringLiteral("Thursday"), QStringLiteral("Friday"),  QStringLiteral("Saturday"),
                                   QStringLiteral("Sunday")};
    return names;
}

const QStringList& monthNames() {
    static const QStringList names{QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
                                   QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
                                   QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
                                   QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
    return names;
}

// Two numbers with an optional separator: day and month ("12.05", "3/4").
const QRegularExpression& numericDayMonthPattern() {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:on\\s+)?\\d{1,2}\\s*(\\.|\\/|\\-)?\\s*\\d{1,2}\\s*(?:\\.|\\/|\\-)?\\s*$"));
    return pattern;
}

// The same pattern with the two numbers captured.
const QRegularExpression& numericDayMonthParts() {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:on\\s+)?(\\d{1,2})\\s*(?:\\.|\\/|\\-)?\\s*(\\d{1,2})\\s*(?:\\.|\\/|\\-)?\\s*$"));
    return pattern;
}

// A day number with an optional ordinal suffix, then a word: the month.
const QRegularExpression& namedDayMonthPattern() {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:on\\s+)?(\\d\\d?)\\s*?(?:st|nd|rd|th|\\.)?\\s*(\\w[^\\s]*)"));
    return pattern;
}

// 1…12 for a month word: a month number, or the start (three letters at
// least) of an English month name; 0 for anything else.
int monthNumber(const QString& word) {
    bool isNumber = false;
    const int number = word.toInt(&isNumber);
    if (isNumber) return number >= 1 && number <= 12 ? number : 0;
    QString letters = word;
    while (!letters.isEmpty() && !letters.back().isLetter()) letters.chop(1);
    if (letters.size() < 3) return 0;
    for (int month = 0; month < monthNames().size(); ++month)
        if (monthNames()[month].toLower().startsWith(letters)) return month + 1;
    return 0;
}

QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

}  // namespace

NLPDateProvider::NLPDateProvider(std::shared_ptr<Calculating> calculator, NLPDateProviderOptions options,
                                 std::function<void()> indexingCompleted)
    : m_options(std::move(options)), m_calculator(std::move(calculator)) {
    // Typed dates the phrases do not cover go to the calculator's engine: it
    // loads in the background while the field is new, not on the first key.
    if (m_calculator) m_calculator->prepare();
    buildSuggestions();
    log().info("Index date completions", {{QStringLiteral("count"), QString::number(m_suggestions.size())}});
    m_autoCompletion = std::make_unique<AutoCompletion<NLPDateSuggestion>>(
        AutoCompletionStrategy<NLPDateSuggestion>::radix(), RankingRules<NLPDateSuggestion>());
    m_autoCompletion->update(m_suggestions, [indexed = m_indexed, completed = std::move(indexingCompleted)] {
        indexed->store(true);
        if (completed) completed();
    });
}

NLPDateProvider::~NLPDateProvider() = default;

QDateTime NLPDateProvider::now() const {
    return m_options.now ? m_options.now() : QDateTime::currentDateTime();
}

NLPDateSuggestion NLPDateProvider::makeSuggestion(NLPDateSuggestion::Kind kind, QString query, QString title,
                                                  QString expression, QStringList keywords) const {
    NLPDateSuggestion suggestion;
    suggestion.key = nextKey();
    suggestion.kind = kind;
    suggestion.query = std::move(query);
    suggestion.title = std::move(title);
    suggestion.expression = std::move(expression);
    suggestion.keywords = std::move(keywords);
    return suggestion;
}

void NLPDateProvider::buildSuggestions() {
    using Kind = NLPDateSuggestion::Kind;
    const QDateTime current = now();
    auto add = [this](NLPDateSuggestion suggestion) {
        m_suggestions.push_back(suggestion);
        return suggestion;
    };
    auto plain = [&](Kind kind, const QString& text, const QString& expression, QStringList keywords = {}) {
        return add(makeSuggestion(kind, text, text, expression, std::move(keywords)));
    };

    // Fixed phrases.
    const NLPDateSuggestion nowSuggestion =
        plain(Kind::exactTime, QStringLiteral("now"), QStringLiteral("now"), {QStringLiteral("right now")});
    const NLPDateSuggestion today = plain(Kind::default_, QStringLiteral("Today"), QStringLiteral("today"));
    const NLPDateSuggestion tomorrow =
        plain(Kind::default_, QStringLiteral("Tomorrow"), QStringLiteral("tomorrow"), {QStringLiteral("tmr")});
    plain(Kind::default_, QStringLiteral("Yesterday"), QStringLiteral("yesterday"));
    plain(Kind::relativeDate, QStringLiteral("Next week"), QStringLiteral("now + 1 week"));
    plain(Kind::relativeDate, QStringLiteral("Next month"), QStringLiteral("now + 1 month"));
    plain(Kind::relativeDate, QStringLiteral("Next year"), QStringLiteral("now + 12 months"));
    plain(Kind::relativeDate, QStringLiteral("in two weeks"), QStringLiteral("now + 14 days"),
          {QStringLiteral("two weeks")});

    // Times of day: today from the current hour, tomorrow every hour.
    for (int hour = current.time().hour(); hour <= 23; ++hour) {
        const QString time = twoDigits(hour) + QStringLiteral(":00");
        const QString hourText = QString::number(hour);
        add(makeSuggestion(Kind::exactTime, QStringLiteral("at ") + time, QStringLiteral("Today at ") + time,
                           QStringLiteral("today at ") + time,
                           {QStringLiteral("at ") + hourText, QStringLiteral("today at ") + hourText,
                            QStringLiteral("today at ") + time}));
    }
    for (int hour = 0; hour <= 23; ++hour) {
        const QString time = twoDigits(hour) + QStringLiteral(":00");
        add(makeSuggestion(Kind::exactTime, QStringLiteral("tomorrow at ") + time,
                           QStringLiteral("Tomorrow at ") + time, QStringLiteral("tomorrow at ") + time,
                           {QStringLiteral("tomorrow at ") + QString::number(hour)}));
    }

    // Relative dates, counts outermost: "in 1 day", "in 1 week", "in 1 month", "in 2 days", …
    std::optional<NLPDateSuggestion> inOneWeek;
    static const char* const units[] = {"day", "week", "month"};
    for (int count = 1; count <= 59; ++count) {
        for (const char* unitName : units) {
            QString unit = QString::fromLatin1(unitName);
            if (count != 1) unit += QLatin1Char('s');
            const QString amount = QString::number(count) + QLatin1Char(' ') + unit;
            const NLPDateSuggestion suggestion =
                plain(Kind::relativeDate, QStringLiteral("in ") + amount, QStringLiteral("now + ") + amount);
            if (count == 1 && unit == QLatin1String("week")) inOneWeek = suggestion;
        }
    }

    // Months: the first day of the next such month.
    for (const QString& month : monthNames()) plain(Kind::month, month, QStringLiteral("1 ") + month.toLower());

    // Weekdays: the next such day after today.
    std::vector<NLPDateSuggestion> weekdays;
    for (const QString& weekday : weekdayNames()) weekdays.push_back(plain(Kind::weekday, weekday, weekday.toLower()));

    m_defaults = {nowSuggestion, today, tomorrow, *inOneWeek};
    m_defaults.insert(m_defaults.end(), weekdays.begin(), weekdays.end());
}

std::optional<NLPDateSuggestion> NLPDateProvider::dayMonthSuggestion(const QString& lowerCasedText) const {
    int day = 0;
    int month = 0;
    if (numericDayMonthPattern().match(lowerCasedText).hasMatch()) {
        const QRegularExpressionMatch parts = numericDayMonthParts().match(lowerCasedText);
        if (!parts.hasMatch()) return std::nullopt;
        day = parts.captured(1).toInt();
        month = parts.captured(2).toInt();
        if (month < 1 || month > 12) return std::nullopt;
    } else if (const QRegularExpressionMatch match = namedDayMonthPattern().match(lowerCasedText); match.hasMatch()) {
        day = match.captured(1).toInt();
        month = monthNumber(match.captured(2));
        if (month == 0) return std::nullopt;
    } else {
        return std::nullopt;
    }
    // Any year will do for the check; 2024 has a 29 February.
    if (!QDate(2024, month, day).isValid()) return std::nullopt;
    const QString monthName = monthNames()[month - 1];
    const QString text = QString::number(day) + QLatin1Char(' ') + monthName;
    return makeSuggestion(NLPDateSuggestion::Kind::dayMonth, lowerCasedText, text,
                          QString::number(day) + QLatin1Char(' ') + monthName.toLower());
}

QString NLPDateProvider::title(const QDateTime& date, bool hasTimeComponent, const QDateTime& now) {
    const QDate day = date.date();
    const QDate today = now.date();
    if (day == today) return QStringLiteral("Today");
    if (day == today.addDays(1)) return QStringLiteral("Tomorrow");
    if (day == today.addDays(-1)) return QStringLiteral("Yesterday");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(
        date, hasTimeComponent ? QStringLiteral("dddd, d MMMM, h:mm AP") : QStringLiteral("dddd, d MMMM, yyyy"));
}

std::optional<NLPDateProviderResult> NLPDateProvider::evaluate(const NLPDateSuggestion& suggestion,
                                                               const QDateTime& current) const {
    if (!m_calculator) return std::nullopt;
    const std::optional<ParsedDate> parsed = m_calculator->parseDate(suggestion.expression);
    if (!parsed || !parsed->date.isValid()) return std::nullopt;
    NLPDateSuggestion::Kind kind = suggestion.kind;
    if (kind.value == NLPDateSuggestion::Kind::parsed) kind.hasTimeComponent = parsed->hasTimeComponent;
    return NLPDateProviderResult(title(parsed->date, parsed->hasTimeComponent, current), parsed->date,
                                 parsed->hasTimeComponent, kind, m_options);
}

std::vector<NLPDateSuggestion> NLPDateProvider::completions(const QString& text) const {
    if (text.trimmed().isEmpty()) return {};
    return m_autoCompletion->completions(text.toLower());
}

std::vector<NLPDateProviderResult> NLPDateProvider::results(const QString& text) const {
    const QDateTime current = now();
    std::vector<NLPDateProviderResult> results;
    if (text.isEmpty()) {
        for (const NLPDateSuggestion& suggestion : m_defaults)
            if (auto result = evaluate(suggestion, current)) results.push_back(std::move(*result));
        return results;
    }

    const QString lowered = text.toLower();
    const auto limit = static_cast<size_t>(std::max(1, m_options.maximumResults));
    if (const auto dayMonth = dayMonthSuggestion(lowered))
        if (auto result = evaluate(*dayMonth, current)) results.push_back(std::move(*result));

    for (const NLPDateSuggestion& hit : completions(lowered)) {
        if (results.size() >= limit) break;
        if (auto result = evaluate(hit, current)) results.push_back(std::move(*result));
    }

    NLPDateSuggestion typed;
    typed.kind = NLPDateSuggestion::Kind::parsedDate(false);
    typed.query = lowered;
    typed.expression = lowered;
    if (auto result = evaluate(typed, current)) {
        const bool known = std::any_of(results.begin(), results.end(), [&](const NLPDateProviderResult& earlier) {
            return earlier.date() == result->date() && earlier.hasTimeComponent() == result->hasTimeComponent();
        });
        if (!known && results.size() < limit) results.push_back(std::move(*result));
    }
    return results;
}

}  // namespace vantrel
