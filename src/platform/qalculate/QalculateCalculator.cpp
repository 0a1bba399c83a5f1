#include "platform/qalculate/QalculateCalculator.h"

#include "kit/Logger.h"
#include "kit/Queue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <libqalculate/qalculate.h>

#include <mutex>
#include <set>
#include <vector>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger logger({QStringLiteral("Calculator"), QStringLiteral("🧮")});
    return logger;
}

// libqalculate's Calculator is one process-wide object and not thread-safe:
// everything that touches it holds this mutex.
std::mutex& engineMutex() {
    static std::mutex mutex;
    return mutex;
}

// Whether the engine is loaded, and who waits for a background load of it.
// Never locked while engineMutex() is taken after it (the load takes them in
// the order engineMutex(), then this).
struct EngineLoad {
    std::mutex mutex;
    bool loaded = false;
    bool loading = false;
    std::vector<std::function<void()>> waiting;
};

EngineLoad& engineLoad() {
    static EngineLoad load;
    return load;
}

// Creates the engine on first use (its definitions and exchange rates take
// about ten megabytes and a tenth of a second). Call with engineMutex() held.
Calculator* engine() {
    static Calculator* calculator = [] {
        QElapsedTimer timer;
        timer.start();
        // Ignore the locale: "." is the decimal point and "," separates arguments.
        auto* created = new Calculator(true);
        created->loadExchangeRates();
        created->loadGlobalDefinitions();
        created->setExchangeRatesWarningEnabled(false);
        created->useIntervalArithmetic(false);
        created->setPrecision(10);
        {
            std::lock_guard lock(engineLoad().mutex);
            engineLoad().loaded = true;
        }
        logger().info(QStringLiteral("Calculator engine loaded in %1 ms").arg(timer.elapsed()));
        return created;
    }();
    return calculator;
}

// Starts the background load unless the engine is loaded or loading; `loaded`
// (when given) is kept for the load's end. False when the engine is loaded
// already (nothing is kept then).
bool loadInBackground(std::function<void()> loaded) {
    EngineLoad& load = engineLoad();
    {
        std::lock_guard lock(load.mutex);
        if (load.loaded) return false;
        if (loaded) load.waiting.push_back(std::move(loaded));
        if (load.loading) return true;
        load.loading = true;
    }
    Queue::global().dispatch([] {
        {
            std::lock_guard lock(engineMutex());
            engine();
        }
        std::vector<std::function<void()>> waiting;
        {
            std::lock_guard lock(engineLoad().mutex);
            engineLoad().loading = false;
            waiting.swap(engineLoad().waiting);
        }
        for (auto& callback : waiting) callback();
    });
    return true;
}

std::string toStd(const QString& text) {
    return text.toStdString();
}
QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

EvaluationOptions evaluationOptions() {
    EvaluationOptions eo;
    eo.parse_options.units_enabled = true;
    eo.parse_options.limit_implicit_multiplication = true;
    // "sin(90)" is the sine of 90 degrees, as on a pocket calculator.
    eo.parse_options.angle_unit = ANGLE_UNIT_DEGREES;
    eo.approximation = APPROXIMATION_TRY_EXACT;
    eo.mixed_units_conversion = MIXED_UNITS_CONVERSION_NONE;
    eo.auto_post_conversion = POST_CONVERSION_OPTIMAL_SI;
    eo.structuring = STRUCTURING_SIMPLIFY;
    eo.interval_calculation = INTERVAL_CALCULATION_NONE;
    return eo;
}

PrintOptions printOptions() {
    PrintOptions po;
    po.use_unicode_signs = true;  // "°C" rather than "oC"
    po.number_fraction_format = FRACTION_DECIMAL;
    po.indicate_infinite_series = false;
    po.digit_grouping = DIGIT_GROUPING_NONE;
    po.max_decimals = 10;
    po.use_max_decimals = true;
    po.abbreviate_names = true;
    po.spacious = true;
    po.interval_display = INTERVAL_DISPLAY_SIGNIFICANT_DIGITS;
    return po;
}

QString printed(const MathStructure& structure, const PrintOptions& po) {
    MathStructure copy(structure);
    copy.format(po);
    QString text = fromStd(copy.print(po));
    // Plain signs for text that gets copied and typed again.
    text.replace(QChar(0x2212), QLatin1Char('-'));
    text.replace(QChar(0x22C5), QLatin1Char('*'));
    text.replace(QChar(0x2215), QLatin1Char('/'));
    return text;
}

// Discards what the engine reported so far; true when it was only information.
bool drainMessages(Calculator* calculator) {
    bool clean = true;
    while (CalculatorMessage* message = calculator->message()) {
        if (message->type() != MESSAGE_INFORMATION) clean = false;
        calculator->nextMessage();
    }
    return clean;
}

// --- The acceptance rule -----------------------------------------------------

struct Word {
    qsizetype start = 0;
    qsizetype length = 0;
    QString text;
};

bool isWordStart(QChar c) {
    return c.isLetter();
}
bool isWordPart(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Runs of letters (and digits, "_") starting with a letter; a leading "°"
// belongs to the word ("°C"). "e3" right after a number is an exponent.
std::vector<Word> wordsOf(const QString& text) {
    std::vector<Word> words;
    qsizetype i = 0;
    while (i < text.size()) {
        if (!isWordStart(text[i])) {
            ++i;
            continue;
        }
        qsizetype start = i;
        while (i < text.size() && isWordPart(text[i])) ++i;
        QString word = text.mid(start, i - start);
        if (start > 0 && text[start - 1] == QChar(0x00B0)) {
            --start;
            word.prepend(QChar(0x00B0));
        }
        static const QRegularExpression exponent(QStringLiteral("^[eE]\\d+$"));
        const bool afterNumber = start > 0 && (text[start - 1].isDigit() || text[start - 1] == QLatin1Char('.'));
        if (afterNumber && exponent.match(word).hasMatch()) continue;
        words.push_back({start, word.size(), word});
    }
    return words;
}

// Characters a calculation may contain besides letters, digits and spaces.
bool isAllowedSymbol(QChar c) {
    static const QString allowed = QStringLiteral(".,+-*/^%!()×÷·√°$€£¥₿−_");
    return allowed.contains(c);
}

bool hasOnlyAllowedCharacters(const QString& text) {
    for (QChar c : text) {
        if (c.isLetterOrNumber() || c.isSpace() || isAllowedSymbol(c)) continue;
        return false;
    }
    return true;
}

bool isKnownFunction(Calculator* calculator, const std::string& word) {
    return calculator->getActiveFunction(word) != nullptr;
}

// One unit (with or without prefix), one known constant/variable or one
// function. Call with the mutex held.
bool isKnownWord(Calculator* calculator, const QString& word, const ParseOptions& po) {
    if (word.compare(QLatin1String("mod"), Qt::CaseInsensitive) == 0) return true;
    const std::string name = toStd(word);
    if (isKnownFunction(calculator, name)) return true;
    if (Variable* variable = calculator->getActiveVariable(name)) return variable->isKnown();
    if (calculator->getActiveUnit(name)) return true;
    MathStructure parsed;
    calculator->parse(&parsed, name, po);
    drainMessages(calculator);
    if (parsed.isUnit()) return true;
    if (parsed.isVariable()) return parsed.variable()->isKnown();
    return false;
}

bool isTemperatureWord(const QString& word) {
    static const QStringList names = {QStringLiteral("c"),          QStringLiteral("f"),      QStringLiteral("k"),
                                      QStringLiteral("°c"),         QStringLiteral("°f"),     QStringLiteral("celsius"),
                                      QStringLiteral("fahrenheit"), QStringLiteral("kelvin"), QStringLiteral("degc"),
                                      QStringLiteral("degf")};
    return names.contains(word.toLower());
}

// Replaces words in text by what map returns for them (unchanged when empty).
QString mapWords(const QString& text, const std::function<QString(const QString&)>& map) {
    QString result = text;
    const auto words = wordsOf(text);
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
        const QString replacement = map(it->text);
        if (!replacement.isEmpty()) result.replace(it->start, it->length, replacement);
    }
    return result;
}

// Everyday spellings the engine reads differently.
QString normalizedWords(const QString& text, bool temperature) {
    return mapWords(text, [temperature](const QString& word) -> QString {
        static const QRegularExpression bytes(QStringLiteral("^([kmgtpe]i?)b$"));
        const auto match = bytes.match(word);
        if (match.hasMatch()) {
            // "mb" would be millibarn, "gb" gram·barn: lower-case means bytes.
            QString prefix = match.captured(1);
            prefix = prefix == QLatin1String("k") ? prefix : prefix.left(1).toUpper() + prefix.mid(1);
            return prefix + QLatin1Char('B');
        }
        if (temperature) {
            const QString lower = word.toLower();
            if (lower == QLatin1String("c") || lower == QLatin1String("°c") || lower == QLatin1String("degc"))
                return QStringLiteral("°C");
            if (lower == QLatin1String("f") || lower == QLatin1String("°f") || lower == QLatin1String("degf"))
                return QStringLiteral("°F");
            if (lower == QLatin1String("k")) return QStringLiteral("K");
        }
        return {};
    });
}

struct Query {
    QString quantity;  // what is calculated
    QString target;    // the units of a conversion, empty otherwise
};

std::optional<Query> splitQuery(QString text) {
    text = text.simplified();
    // "15% of 80" → "15% * 80"; "2 x 3" → "2 * 3".
    static const QRegularExpression percentOf(QStringLiteral("%\\s*of\\s+"), QRegularExpression::CaseInsensitiveOption);
    text.replace(percentOf, QStringLiteral("% * "));
    static const QRegularExpression times(QStringLiteral("(?<=\\d)\\s*[xX]\\s*(?=[\\d(])"));
    text.replace(times, QStringLiteral(" * "));

    static const QRegularExpression separator(QStringLiteral("\\s+(?:to|in|as|into)(?=\\s)"),
                                              QRegularExpression::CaseInsensitiveOption);
    Query query;
    query.quantity = text;
    qsizetype last = -1;
    qsizetype lastLength = 0;
    for (auto it = separator.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        last = match.capturedStart();
        lastLength = match.capturedLength();
    }
    if (last > 0) {
        query.quantity = text.left(last).trimmed();
        query.target = text.mid(last + lastLength).trimmed();
        if (query.target.isEmpty()) return std::nullopt;
    }
    const bool temperature = !query.target.isEmpty() && isTemperatureWord(query.target);
    query.quantity = normalizedWords(query.quantity, temperature);
    query.target = normalizedWords(query.target, temperature);
    return query;
}

bool hasOperator(Calculator* calculator, const QString& quantity) {
    static const QString operators = QStringLiteral("+-*/^%!()×÷·√−");
    for (qsizetype i = 0; i < quantity.size(); ++i) {
        // A leading sign alone ("-5") is a number, not an operation.
        if (operators.contains(quantity[i]) && !(i == 0 && quantity[i] == QLatin1Char('-'))) return true;
    }
    for (const Word& word : wordsOf(quantity)) {
        if (word.text.compare(QLatin1String("mod"), Qt::CaseInsensitive) == 0) return true;
        if (calculator->getActiveFunction(toStd(word.text)) && !calculator->getActiveUnit(toStd(word.text)))
            return true;
    }
    return false;
}

// --- Reading the parsed and calculated structures -----------------------------

void collectUnits(const MathStructure& structure, std::set<Unit*>& units) {
    if (structure.isUnit()) {
        units.insert(structure.unit());
        return;
    }
    for (size_t i = 0; i < structure.size(); ++i) collectUnits(structure[i], units);
}

bool isFiniteReal(const Number& number) {
    return number.isReal() && !number.isInfinite() && !number.isUndefined() && !number.includesInfinity();
}

// A finite real number, possibly times units (and powers of units).
bool isPlainQuantity(const MathStructure& structure) {
    switch (structure.type()) {
        case STRUCT_NUMBER:
            return isFiniteReal(structure.number());
        case STRUCT_UNIT:
            return true;
        case STRUCT_NEGATE:
            return isPlainQuantity(structure[0]);
        case STRUCT_POWER:
            return structure[0].isUnit() && structure[1].isNumber();
        case STRUCT_MULTIPLICATION:
            for (size_t i = 0; i < structure.size(); ++i) {
                if (!isPlainQuantity(structure[i])) return false;
            }
            return true;
        default:
            return false;
    }
}

// True when the structure holds anything but numbers, arithmetic, percent
// signs, factorials and "mod".
bool goesBeyondArithmetic(const MathStructure& structure) {
    if (structure.isUnit() || structure.isDateTime()) return true;
    if (structure.isVariable()) {
        const std::string& name = structure.variable()->referenceName();
        if (name != "percent" && name != "permille" && name != "permyriad") return true;
    }
    if (structure.isFunction()) {
        const std::string& name = structure.function()->referenceName();
        if (name != "factorial" && name != "mod" && name != "rem") return true;
    }
    for (size_t i = 0; i < structure.size(); ++i) {
        if (goesBeyondArithmetic(structure[i])) return true;
    }
    return false;
}

// The index of the numeric factor of a product ("5 km", "$10"), if any.
std::optional<size_t> coefficientIndex(const MathStructure& structure) {
    if (!structure.isMultiplication()) return std::nullopt;
    for (size_t i = 0; i < structure.size(); ++i) {
        if (structure[i].isNumber()) return i;
    }
    return std::nullopt;
}

const Number* coefficientOf(const MathStructure& structure) {
    if (structure.isNumber()) return &structure.number();
    if (auto index = coefficientIndex(structure)) return &structure[*index].number();
    return nullptr;
}

// The structure without its numeric coefficient ("5 km" → "km").
MathStructure unitPartOf(const MathStructure& structure) {
    const auto index = coefficientIndex(structure);
    if (!index) return structure;
    MathStructure rest(structure);
    rest.delChild(*index + 1);  // delChild counts from 1
    if (rest.size() == 1) return MathStructure(rest[0]);
    return rest;
}

QString plainNumber(const Number& number) {
    PrintOptions po = printOptions();
    po.spacious = false;
    po.use_unicode_signs = false;
    return fromStd(number.print(po));
}

// "kilometers", "degrees Fahrenheit" style names for the metadata texts.
QString longUnitName(const MathStructure& unitPart) {
    if (unitPart.isUnit()) {
        QString name = fromStd(unitPart.unit()->print(true, false));
        if (unitPart.unit()->isCurrency()) name = fromStd(unitPart.unit()->title());
        if (Prefix* prefix = unitPart.prefix()) name.prepend(fromStd(prefix->longName()));
        return name;
    }
    PrintOptions po = printOptions();
    po.abbreviate_names = false;
    static const QRegularExpression one(QStringLiteral("^1\\s*"));
    return printed(unitPart, po).remove(one);
}

QString unitSymbol(const MathStructure& unitPart, const PrintOptions& po) {
    if (unitPart.isUnit() && unitPart.unit()->isCurrency() && !unitPart.prefix())
        return fromStd(unitPart.unit()->referenceName());
    // Printed alone a unit reads "1 km".
    static const QRegularExpression one(QStringLiteral("^1\\s*"));
    return printed(unitPart, po).remove(one);
}

// The query of a text that may be a calculation; nothing for a text that
// cannot be one whatever the engine knows (rules 1 and 2 and the characters).
std::optional<Query> calculationQuery(const QString& text) {
    QString trimmed = text.trimmed();
    trimmed.replace(QStringLiteral("->"), QStringLiteral(" to ")).replace(QStringLiteral("→"), QStringLiteral(" to "));
    if (trimmed.isEmpty() || !hasOnlyAllowedCharacters(trimmed)) return std::nullopt;
    auto query = splitQuery(trimmed);
    if (!query) return std::nullopt;
    if (!std::any_of(query->quantity.begin(), query->quantity.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    return query;
}

CalculationAnswer evaluate(const Query& query, std::chrono::milliseconds timeLimit) {
    CalculationAnswer invalid;
    std::lock_guard lock(engineMutex());
    Calculator* calculator = engine();
    drainMessages(calculator);
    const EvaluationOptions eo = evaluationOptions();

    for (const QString* part : {&query.quantity, &query.target}) {
        for (const Word& word : wordsOf(*part)) {
            if (!isKnownWord(calculator, word.text, eo.parse_options)) return invalid;
        }
    }
    const bool conversion = !query.target.isEmpty();
    if (!conversion && !hasOperator(calculator, query.quantity)) return invalid;
    if (conversion && std::any_of(query.target.begin(), query.target.end(), [](QChar c) { return c.isDigit(); })) {
        // A target is units only; "m^2" and "m2" are the only digits allowed.
        static const QRegularExpression unitPowers(QStringLiteral("^[^\\d]*(?:\\^?[23][^\\d]*)*$"));
        if (!unitPowers.match(query.target).hasMatch()) return invalid;
    }

    std::string expression = toStd(query.quantity);
    if (conversion) expression += " to " + toStd(query.target);
    MathStructure result;
    MathStructure parsed;
    MathStructure target;
    // Evaluated on this thread under a time limit: the engine checks the clock
    // as it goes and gives up with an aborted result. (Its own timed calculate
    // hands the work to a thread and polls for it, which costs milliseconds.)
    calculator->startControl(static_cast<int>(timeLimit.count()));
    result = calculator->calculate(expression, eo, &parsed, &target);
    const bool finished = !calculator->aborted();
    calculator->stopControl();
    const bool clean = drainMessages(calculator);
    if (!finished || !clean || result.isAborted()) return invalid;
    if (!result.isDateTime() && !isPlainQuantity(result)) return invalid;

    const PrintOptions po = printOptions();
    CalculationAnswer answer;
    // The number as shown ("5.3" of "5.3 km", not the 5300 m it is computed in).
    MathStructure shown(result);
    shown.format(po);
    const Number* coefficient = coefficientOf(shown);
    if (!coefficient) coefficient = coefficientOf(result);
    answer.unformattedResult = coefficient ? plainNumber(*coefficient) : QString();
    answer.expressionMetadata = printed(parsed, po);

    if (conversion) {
        std::set<Unit*> targetUnits;
        std::set<Unit*> resultUnits;
        collectUnits(target, targetUnits);
        collectUnits(result, resultUnits);
        if (targetUnits.empty() || resultUnits.empty()) return invalid;
        for (Unit* unit : resultUnits) {
            if (!targetUnits.contains(unit))
                return invalid;  // incompatible units: the engine left the quantity as it was
        }
        Unit* targetUnit = *targetUnits.begin();
        answer.kind = CalculationAnswer::Kind::unitConversion;
        if (targetUnit->isCurrency())
            answer.unitType = CalculationAnswer::UnitType::currency;
        else if (targetUnit->baseUnit() == calculator->getActiveUnit("K"))
            answer.unitType = CalculationAnswer::UnitType::temperature;
        PrintOptions resultOptions = po;
        if (answer.unitType == CalculationAnswer::UnitType::currency) {
            resultOptions.max_decimals = 2;
            resultOptions.min_decimals = 2;
            resultOptions.use_min_decimals = true;
        }
        const MathStructure fromUnits = unitPartOf(parsed);
        const MathStructure toUnits = unitPartOf(target);
        const Number* quantity = coefficientOf(parsed);
        answer.quantity = quantity ? plainNumber(*quantity) : printed(parsed, po);
        answer.fromUnit = unitSymbol(fromUnits, po);
        answer.toUnit = unitSymbol(toUnits, po);
        answer.result = coefficient
                            ? printed(MathStructure(*coefficient), resultOptions) + QLatin1Char(' ') + answer.toUnit
                            : printed(result, resultOptions);
        if (coefficient && answer.unitType == CalculationAnswer::UnitType::currency)
            answer.unformattedResult = printed(MathStructure(*coefficient), resultOptions);
        answer.expressionMetadata = longUnitName(fromUnits) + QStringLiteral(" to ") + longUnitName(toUnits);
        answer.resultMetadata = longUnitName(toUnits);
        return answer;
    }

    if (result.isDateTime()) {
        answer.kind = CalculationAnswer::Kind::unknown;
        const QalculateDateTime* date = result.datetime();
        const QDateTime when = QDateTime::fromString(fromStd(date->toISOString()), Qt::ISODate);
        answer.result =
            when.isValid() ? QalculateCalculator::formatDate(when, date->timeIsSet()) : fromStd(date->toISOString());
        answer.unformattedResult = fromStd(date->toISOString());
        return answer;
    }
    answer.kind = goesBeyondArithmetic(parsed) ? CalculationAnswer::Kind::expression : CalculationAnswer::Kind::math;
    answer.result = printed(result, po);
    if (answer.kind == CalculationAnswer::Kind::math) answer.expressionMetadata.reset();
    return answer;
}

// --- Dates ---------------------------------------------------------------------

std::optional<int> numberWord(const QString& word) {
    static const QStringList words = {QStringLiteral("zero"),  QStringLiteral("one"),   QStringLiteral("two"),
                                      QStringLiteral("three"), QStringLiteral("four"),  QStringLiteral("five"),
                                      QStringLiteral("six"),   QStringLiteral("seven"), QStringLiteral("eight"),
                                      QStringLiteral("nine"),  QStringLiteral("ten"),   QStringLiteral("eleven"),
                                      QStringLiteral("twelve")};
    if (word == QLatin1String("a") || word == QLatin1String("an")) return 1;
    const auto index = words.indexOf(word);
    if (index >= 0) return static_cast<int>(index);
    bool ok = false;
    const int value = word.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// 1 = Monday … 7 = Sunday.
std::optional<int> weekdayNumber(const QString& word) {
    static const QStringList names = {
        QStringLiteral("monday"), QStringLiteral("tuesday"),  QStringLiteral("wednesday"), QStringLiteral("thursday"),
        QStringLiteral("friday"), QStringLiteral("saturday"), QStringLiteral("sunday")};
    static const QStringList shortNames = {QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                                           QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                                           QStringLiteral("sun")};
    for (int i = 0; i < 7; ++i) {
        if (word == names[i] || word == shortNames[i] || (word.size() >= 3 && names[i].startsWith(word))) return i + 1;
    }
    return std::nullopt;
}

std::optional<int> monthNumber(const QString& word) {
    static const QStringList names = {
        QStringLiteral("january"), QStringLiteral("february"), QStringLiteral("march"),
        QStringLiteral("april"),   QStringLiteral("may"),      QStringLiteral("june"),
        QStringLiteral("july"),    QStringLiteral("august"),   QStringLiteral("september"),
        QStringLiteral("october"), QStringLiteral("november"), QStringLiteral("december")};
    for (int i = 0; i < 12; ++i) {
        if (word == names[i] || (word.size() >= 3 && names[i].startsWith(word)) ||
            (word == QLatin1String("sept") && i == 8))
            return i + 1;
    }
    return std::nullopt;
}

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
};

std::optional<TimeOfDay> parseTime(const QString& text) {
    if (text == QLatin1String("noon") || text == QLatin1String("midday")) return TimeOfDay{12, 0};
    if (text == QLatin1String("midnight")) return TimeOfDay{0, 0};
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,2})(?:[:.](\\d{2}))?\\s*(am|pm|a\\.m\\.|p\\.m\\.)?$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    int hour = match.captured(1).toInt();
    const int minute = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
    const QString meridiem = match.captured(3);
    if (!meridiem.isEmpty()) {
        if (hour < 1 || hour > 12) return std::nullopt;
        const bool pm = meridiem.startsWith(QLatin1Char('p'));
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || minute > 59) return std::nullopt;
    return TimeOfDay{hour, minute};
}

// The next date with that day and month from today on; yearText (when not
// empty) fixes the year instead.
QDate nextDayMonth(const QDate& today, int day, int month, const QString& yearText) {
    if (!yearText.isEmpty()) return QDate(yearText.toInt(), month, day);
    QDate date(today.year(), month, day);
    if (!date.isValid() || date < today) date = QDate(today.year() + 1, month, day);
    return date;
}

struct DayPart {
    QDateTime date;         // the day (and time for "now" based forms)
    bool isMoment = false;  // carries the current time ("now + 1 hour")
};

std::optional<DayPart> parseDay(const QString& text, const QDateTime& now) {
    const QDate today = now.date();
    auto day = [](const QDate& date) { return DayPart{date.startOfDay(), false}; };
    if (text == QLatin1String("now")) return DayPart{now, true};
    if (text == QLatin1String("today") || text == QLatin1String("tonight")) return day(today);
    if (text == QLatin1String("tomorrow")) return day(today.addDays(1));
    if (text == QLatin1String("yesterday")) return day(today.addDays(-1));

    static const QRegularExpression weekday(QStringLiteral("^(?:on\\s+|next\\s+|this\\s+)?([a-z]+)$"));
    if (auto match = weekday.match(text); match.hasMatch()) {
        if (auto number = weekdayNumber(match.captured(1))) {
            int ahead = (*number - today.dayOfWeek() + 7) % 7;
            if (ahead == 0) ahead = 7;
            return day(today.addDays(ahead));
        }
    }

    static const QRegularExpression nextUnit(QStringLiteral("^next\\s+(week|month|year)$"));
    if (auto match = nextUnit.match(text); match.hasMatch()) {
        const QString unit = match.captured(1);
        if (unit == QLatin1String("week")) return DayPart{now.addDays(7), false};
        if (unit == QLatin1String("month")) return DayPart{now.addMonths(1), false};
        return DayPart{now.addMonths(12), false};
    }

    // "in 3 days", "now + 1 week", "today - 2 days", "in two weeks", "3 days ago".
    static const QRegularExpression relative(
        QStringLiteral("^(?:(?:(now|today|tomorrow|yesterday)\\s*([+-])\\s*)|in\\s+)?([a-z]+|\\d+)\\s*"
                       "(minutes?|mins?|hours?|hrs?|h|days?|d|weeks?|w|months?|years?|y)(\\s+ago)?$"));
    if (auto match = relative.match(text); match.hasMatch()) {
        const bool hasBase = !match.captured(1).isEmpty();
        const bool ago = !match.captured(5).isEmpty();
        const bool startsWithIn = text.startsWith(QLatin1String("in "));
        if (hasBase || ago || startsWithIn) {
            auto count = numberWord(match.captured(3));
            if (!count) return std::nullopt;
            int n = *count;
            if (match.captured(2) == QLatin1String("-") || ago) n = -n;
            DayPart base{now, true};
            if (hasBase && match.captured(1) != QLatin1String("now")) base = *parseDay(match.captured(1), now);
            const QString unit = match.captured(4);
            QDateTime date = base.date;
            if (unit.startsWith(QLatin1String("min")))
                date = date.addSecs(qint64(n) * 60);
            else if (unit.startsWith(QLatin1Char('h')))
                date = date.addSecs(qint64(n) * 3600);
            else if (unit.startsWith(QLatin1Char('d')))
                date = date.addDays(n);
            else if (unit.startsWith(QLatin1Char('w')))
                date = date.addDays(qint64(n) * 7);
            else if (unit.startsWith(QLatin1String("mo")))
                date = date.addMonths(n);
            else
                date = date.addYears(n);
            return DayPart{date, base.isMoment};
        }
    }

    // "25 december", "25th of dec 2027", "on 3 march".
    static const QRegularExpression dayMonth(QStringLiteral(
        "^(?:on\\s+)?(?:the\\s+)?(\\d{1,2})(?:st|nd|rd|th|\\.)?\\s*(?:of\\s+)?([a-z]+)\\.?,?(?:\\s+(\\d{4}))?$"));
    if (auto match = dayMonth.match(text); match.hasMatch()) {
        if (auto month = monthNumber(match.captured(2))) {
            const QDate date = nextDayMonth(today, match.captured(1).toInt(), *month, match.captured(3));
            if (date.isValid()) return day(date);
            return std::nullopt;
        }
    }
    // "december 25", "dec 25th, 2027".
    static const QRegularExpression monthDay(
        QStringLiteral("^(?:on\\s+)?([a-z]+)\\.?\\s+(\\d{1,2})(?:st|nd|rd|th)?,?(?:\\s+(\\d{4}))?$"));
    if (auto match = monthDay.match(text); match.hasMatch()) {
        if (auto month = monthNumber(match.captured(1))) {
            const QDate date = nextDayMonth(today, match.captured(2).toInt(), *month, match.captured(3));
            if (date.isValid()) return day(date);
            return std::nullopt;
        }
    }
    // "31.12.", "31/12", "31.12.2027": day first.
    static const QRegularExpression numeric(
        QStringLiteral("^(?:on\\s+)?(\\d{1,2})\\s*[./-]\\s*(\\d{1,2})\\s*[./-]?\\s*(\\d{4})?$"));
    if (auto match = numeric.match(text); match.hasMatch()) {
        const int dayNumber = match.captured(1).toInt();
        const int month = match.captured(2).toInt();
        if (month < 1 || month > 12 || dayNumber < 1 || dayNumber > 31) return std::nullopt;
        const QDate date = nextDayMonth(today, dayNumber, month, match.captured(3));
        if (date.isValid()) return day(date);
    }
    return std::nullopt;
}

// Dates libqalculate reads itself ("2027-01-15", "2027-01-15T10:00").
std::optional<ParsedDate> parseWithEngine(const QString& text) {
    std::lock_guard lock(engineMutex());
    Calculator* calculator = engine();
    drainMessages(calculator);
    QalculateDateTime date;
    const bool ok = date.set(toStd(text));
    const bool clean = drainMessages(calculator);
    if (!ok || !clean) return std::nullopt;
    const QDateTime when = QDateTime::fromString(fromStd(date.toISOString()), Qt::ISODate);
    if (!when.isValid()) return std::nullopt;
    return ParsedDate{when, date.timeIsSet(), QString()};
}

}  // namespace

QalculateCalculator::QalculateCalculator() : QalculateCalculator(Options{}) {}

QalculateCalculator::QalculateCalculator(Options options) : m_options(options) {}

QalculateCalculator::~QalculateCalculator() = default;

QString QalculateCalculator::customizationDescription() const {
    std::lock_guard lock(engineMutex());
    Calculator* calculator = engine();
    const time_t ratesTime = calculator->getExchangeRatesTime();
    Unit* local = calculator->getLocalCurrency();
    return QStringLiteral(
               "libqalculate %1; precision %2; local currency %3; exchange rates of %4 (%5); time limit %6 ms")
        .arg(QStringLiteral("%1.%2.%3")
                 .arg(QALCULATE_MAJOR_VERSION)
                 .arg(QALCULATE_MINOR_VERSION)
                 .arg(QALCULATE_MICRO_VERSION))
        .arg(calculator->getPrecision())
        .arg(local ? fromStd(local->referenceName()) : QStringLiteral("none"))
        .arg(QDateTime::fromSecsSinceEpoch(ratesTime).toString(Qt::ISODate))
        .arg(fromStd(calculator->getExchangeRatesFileName(1)))
        .arg(m_options.timeLimit.count());
}

void QalculateCalculator::refreshCurrencyRates(std::function<void(std::optional<QString> error)> completion) {
    // The download runs without the engine lock (it may take seconds), so it
    // does not go through libqalculate's own fetch, which reports through the
    // engine's message list; the new files are read in under the lock.
    std::vector<std::pair<QString, QString>> sources;
    {
        std::lock_guard lock(engineMutex());
        Calculator* calculator = engine();
        for (int i = 1; i <= 10; ++i) {
            const QString url = fromStd(calculator->getExchangeRatesUrl(i));
            if (url.isEmpty()) break;
            sources.emplace_back(url, fromStd(calculator->getExchangeRatesFileName(i)));
        }
    }
    const auto timeout = m_options.fetchTimeout;
    // On the global pool: the download blocks its thread, and the pool is
    // waited for when the program ends, where a detached thread was not.
    Queue::global().dispatch([sources = std::move(sources), timeout, completion = std::move(completion)] {
        // The first source (the European Central Bank) holds almost every
        // currency; the others only add a few, so only its failure fails the refresh.
        std::optional<QString> error;
        bool primaryFetched = false;
        int fetched = 0;
        for (const auto& [url, file] : sources) {
            QDir().mkpath(QFileInfo(file).absolutePath());
            const QString partial = file + QStringLiteral(".part");
            QProcess curl;
            curl.start(QStringLiteral("curl"),
                       {QStringLiteral("--silent"), QStringLiteral("--fail"), QStringLiteral("--location"),
                        QStringLiteral("--max-time"), QString::number(timeout.count()), QStringLiteral("--output"),
                        partial, url});
            const bool done = curl.waitForFinished(int(timeout.count()) * 1000 + 2000);
            if (!done) {
                curl.kill();
                curl.waitForFinished(1000);
            }
            if (done && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0 &&
                QFileInfo(partial).size() > 0) {
                QFile::remove(file);
                if (QFile::rename(partial, file)) {
                    ++fetched;
                    primaryFetched = primaryFetched || url == sources.front().first;
                }
            } else {
                QFile::remove(partial);
                logger().warning("Could not download exchange rates", {{QStringLiteral("url"), url}});
            }
        }
        if (!primaryFetched)
            error = sources.empty()
                        ? QStringLiteral("No exchange-rate source")
                        : QStringLiteral("Could not download exchange rates from %1").arg(sources.front().first);
        if (fetched > 0) {
            std::lock_guard lock(engineMutex());
            Calculator* calculator = engine();
            if (!calculator->loadExchangeRates() && !error)
                error = QStringLiteral("Could not read the downloaded exchange rates");
            drainMessages(calculator);
        }
        completion(error);
    });
}

CalculationAnswer QalculateCalculator::calculate(const QString& expression) {
    const std::optional<Query> query = calculationQuery(expression);
    if (!query) return {};
    return evaluate(*query, m_options.timeLimit);
}

std::optional<CalculationAnswer> QalculateCalculator::calculateIfLoaded(const QString& expression,
                                                                        std::function<void()> loaded) {
    const std::optional<Query> query = calculationQuery(expression);
    if (!query) return CalculationAnswer{};
    if (loadInBackground(std::move(loaded))) return std::nullopt;
    return evaluate(*query, m_options.timeLimit);
}

void QalculateCalculator::prepare() {
    loadInBackground({});
}

bool QalculateCalculator::isEngineLoaded() {
    std::lock_guard lock(engineLoad().mutex);
    return engineLoad().loaded;
}

std::optional<QString> QalculateCalculator::stringValue(const QString& expression) {
    const CalculationAnswer answer = calculate(expression);
    if (answer.kind == CalculationAnswer::Kind::invalid) return std::nullopt;
    return answer.result;
}

std::optional<ParsedDate> QalculateCalculator::parseDate(const QString& text) {
    if (auto parsed = parseDate(text, QDateTime::currentDateTime())) return parsed;
    auto parsed = parseWithEngine(text.trimmed());
    if (parsed) parsed->stringValue = formatDate(parsed->date, parsed->hasTimeComponent);
    return parsed;
}

std::optional<ParsedDate> QalculateCalculator::parseDate(const QString& input, const QDateTime& now) {
    QString text = input.simplified().toLower();
    if (text.isEmpty()) return std::nullopt;

    // A trailing time of day: "… at 9", "… at 9:30 pm", "… 9am", "… 17:00".
    std::optional<TimeOfDay> time;
    static const QRegularExpression atTime(QStringLiteral("(?:^|\\s+)at\\s+(.+)$"));
    static const QRegularExpression bareTime(QStringLiteral(
        "(?:^|\\s+)(\\d{1,2}(?::\\d{2})?\\s*(?:am|pm|a\\.m\\.|p\\.m\\.)|\\d{1,2}:\\d{2}|noon|midnight)$"));
    for (const auto* pattern : {&atTime, &bareTime}) {
        const auto match = pattern->match(text);
        if (!match.hasMatch()) continue;
        time = parseTime(match.captured(1).trimmed());
        if (!time) return std::nullopt;
        text = text.left(match.capturedStart()).trimmed();
        break;
    }

    std::optional<DayPart> day;
    if (text.isEmpty()) {
        if (!time) return std::nullopt;
        day = DayPart{now.date().startOfDay(), false};
    } else {
        day = parseDay(text, now);
        if (!day) return std::nullopt;
    }
    ParsedDate parsed;
    parsed.date = day->date;
    parsed.hasTimeComponent = day->isMoment;
    if (time) {
        parsed.date = QDateTime(day->date.date(), QTime(time->hour, time->minute));
        parsed.hasTimeComponent = true;
    }
    parsed.stringValue = formatDate(parsed.date, parsed.hasTimeComponent);
    return parsed;
}

QString QalculateCalculator::formatDate(const QDateTime& date, bool hasTimeComponent) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(
        date, hasTimeComponent ? QStringLiteral("dddd, d MMMM, h:mm AP") : QStringLiteral("dddd, d MMMM, yyyy"));
}

}  // namespace vantrel
