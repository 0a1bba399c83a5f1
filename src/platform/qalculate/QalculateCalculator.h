#pragma once

#include "platform/Calculating.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace vantrel {

// The calculator back end on libqalculate.
//
// libqalculate keeps one process-wide Calculator object that is not thread-safe:
// it is created on first use (global definitions and the exchange rates shipped
// with the library, or the user's fetched copy when there is one; no network),
// not when a QalculateCalculator is made, and every use goes through one
// process-wide mutex. calculateIfLoaded() and prepare() load it on the global
// pool instead, so that typing never waits for it. Each evaluation runs with a
// time limit so a pathological query cannot freeze typing.
//
// The engine reads almost any word as a product of units, constants and
// functions ("terminal" is tonne·e·r·min·a·L), so a query is only answered when
// it is a real calculation. Acceptance rule, in order:
//  1. A conversion is split off at the last " to ", " in ", " as " or " into "
//     ("5 km to mi", "10 usd in eur"; "->" and "→" read as " to "); the target
//     must be units only.
//  2. The quantity part contains at least one digit.
//  3. Every word (a run of letters, digits and "_" starting with a letter) of
//     both parts must on its own be one unit (with or without prefix:
//     "km", "GB"), one constant or variable ("pi", "e") or one function
//     ("sqrt") libqalculate knows; "mod" is allowed as an operator. "firefox",
//     "hello" and "settings" fail here. Before the check a few everyday
//     spellings are normalised: "15% of 80" → "15% * 80", "2 x 3" → "2 * 3",
//     lower-case byte units ("mb", "gb") → "MB", "GB", and in temperature
//     conversions "c" / "f" → "°C" / "°F".
//  4. Without a conversion the quantity needs an operator (+ - * / ^ % ! × ÷ √,
//     parentheses, "mod") or a function call: a bare "42" or "5 kg" is no
//     calculation.
//  5. The engine parses and evaluates within the time limit without any error
//     or warning (a misplaced operator, an overflow, a missing argument).
//  6. The answer is a finite real number, possibly times units, or a date; a
//     conversion answer must be in the target units only, so "5 kg to m"
//     (incompatible units) is rejected.
// Anything else is `invalid`.
class QalculateCalculator : public Calculating {
public:
    struct Options {
        // Longest time one evaluation may take.
        std::chrono::milliseconds timeLimit{80};
        // Longest time an exchange-rate fetch may take.
        std::chrono::seconds fetchTimeout{15};
    };

    QalculateCalculator();
    explicit QalculateCalculator(Options options);
    ~QalculateCalculator() override;

    QString customizationDescription() const override;
    // Runs libqalculate's fetch on a background thread and reloads the rates
    // afterwards; the completion runs on that thread.
    void refreshCurrencyRates(std::function<void(std::optional<QString> error)> completion) override;
    CalculationAnswer calculate(const QString& expression) override;
    // Texts that fail rules 1 and 2 (or hold characters no calculation has)
    // are answered `invalid` without the engine.
    std::optional<CalculationAnswer> calculateIfLoaded(const QString& expression,
                                                       std::function<void()> loaded) override;
    void prepare() override;
    std::optional<QString> stringValue(const QString& expression) override;
    // Dates in words: "now", "today", "tomorrow", "yesterday", weekday names
    // ("monday", "next friday"), "next week|month|year", "in 3 days",
    // "now + 1 week", "today - 2 days", "25 december", "december 25th",
    // "31.12.", each optionally followed by "at 9", "at 9:30", "at 9pm",
    // "at noon"; also "at 17:00" alone and whatever date libqalculate reads
    // itself (ISO dates). Weekday and day-of-month names mean the next such day
    // after today.
    std::optional<ParsedDate> parseDate(const QString& text) override;

    // Whether the process-wide engine has been loaded.
    static bool isEngineLoaded();

    // The same with an explicit "now", for callers that need a fixed clock.
    static std::optional<ParsedDate> parseDate(const QString& text, const QDateTime& now);
    // The text a date is shown with: "Friday, 25 December, 2026", or with a
    // time of day "Friday, 25 December, 9:00 AM".
    static QString formatDate(const QDateTime& date, bool hasTimeComponent);

private:
    Options m_options;
};

}  // namespace vantrel
