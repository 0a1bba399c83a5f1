#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace vantrel {

// What the calculator engine answers for one expression.
struct CalculationAnswer {
    enum class Kind {
        unitConversion,  // a quantity converted to another unit ("5 km to mi")
        math,            // plain arithmetic on numbers ("2*3")
        expression,      // something else the engine evaluated (functions, percentages…)
        unknown,         // evaluated, but of a kind the engine does not say
        invalid,         // not a calculation at all
    };
    enum class UnitType { currency, temperature, other };

    Kind kind = Kind::invalid;
    QString result;  // the answer as shown ("3.10686 mi")
    QString unformattedResult;  // the bare number where there is one ("3.10686")
    std::optional<QString> expressionMetadata;  // what the input was understood as
    std::optional<QString> resultMetadata;      // what the answer is (unit name…)
    // unitConversion only
    QString fromUnit;
    QString toUnit;
    QString quantity;
    UnitType unitType = UnitType::other;
};

struct ParsedDate {
    QDateTime date;
    bool hasTimeComponent = false;
    QString stringValue;
};

// The calculator back end: arithmetic, units, temperatures, currencies and dates.
class Calculating {
public:
    virtual ~Calculating() = default;
    // The engine's settings as text (locale, currency file…), for diagnostics.
    virtual QString customizationDescription() const = 0;
    // Fetches fresh exchange rates; the completion gets an error text on failure.
    virtual void refreshCurrencyRates(std::function<void(std::optional<QString> error)> completion) = 0;
    // Waits for the engine to load when this is its first use.
    virtual CalculationAnswer calculate(const QString& expression) = 0;
    // The answer when it can be given without waiting for the engine to load:
    // nothing while it is loading, in the background, and then `loaded` runs
    // once, on any thread, when it has. A text that is no calculation at all
    // is answered `invalid` at once, without loading anything.
    virtual std::optional<CalculationAnswer> calculateIfLoaded(const QString& expression,
                                                               std::function<void()> loaded) {
        (void)loaded;
        return calculate(expression);
    }
    // Starts loading the engine in the background unless it is loaded (or
    // loading) already, for a first use that is about to come.
    virtual void prepare() {}
    // A text-valued query: the answer text of the expression, if it has one.
    virtual std::optional<QString> stringValue(const QString& expression) = 0;
    virtual std::optional<ParsedDate> parseDate(const QString& text) = 0;
};

}  // namespace vantrel
