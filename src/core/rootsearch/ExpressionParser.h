#pragma once

#include "platform/Calculating.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace vantrel {

// The calculator of root search: turns a query that is a real calculation into
// an answer, and keeps the exchange rates fresh.
class ExpressionParser {
public:
    enum class Unit { currency, temperature, other };

    struct UnitConversion {
        QString fromUnit;
        QString toUnit;
        QString quantity;
        Unit unitType = Unit::other;
        friend bool operator==(const UnitConversion&, const UnitConversion&) = default;
    };

    struct Math {
        friend bool operator==(const Math&, const Math&) = default;
    };
    struct Expression {
        friend bool operator==(const Expression&, const Expression&) = default;
    };
    struct Unknown {
        friend bool operator==(const Unknown&, const Unknown&) = default;
    };
    struct Invalid {
        friend bool operator==(const Invalid&, const Invalid&) = default;
    };
    using CalculationType = std::variant<UnitConversion, Math, Expression, Unknown, Invalid>;

    struct Output {
        QString result;
        std::optional<QString> expressionMetadata;
        std::optional<QString> resultMetadata;
        std::optional<QString> additionalInfo;
        CalculationType calculationType = Invalid{};
        // The bare answer without unit or formatting ("Copy Unformatted Answer").
        QString unformattedResult;
    };

    // The one error of the currency refresh.
    enum class ExpressionParserError { currenciesRefreshError };
    using RefreshCompletion = std::function<void(std::optional<ExpressionParserError>)>;

    explicit ExpressionParser(std::shared_ptr<Calculating> calculator);

    // The answer for a query that is a calculation; nothing for one that is
    // not (fewer than 2 characters, plain words, names, sentences).
    std::optional<Output> parseInput(const QString& query);
    // The same without waiting for the calculator's engine to load: while it
    // loads (its first use) nothing is answered yet, and `loaded` runs once,
    // on any thread, when it has.
    std::optional<Output> parseInputIfLoaded(const QString& query, std::function<void()> loaded);

    // The text "Copy Question and Answer" copies for this query and output.
    static QString questionAndAnswer(const QString& query, const Output& output);

    // Fetches fresh rates once for every caller waiting at the time; each
    // completion runs once, in the order they were added.
    void refreshCurrencies(RefreshCompletion completion);
    bool isRefreshingCurrencies() const;

    Calculating& calculator() { return *m_calculator; }

private:
    // Shared with the running refresh, so a refresh that ends after the parser
    // is gone still calls its completions.
    struct RefreshState {
        std::mutex mutex;
        bool isRefreshingCurrencies = false;
        std::vector<RefreshCompletion> pendingRefreshCompletions;
    };
    static std::optional<Output> outputOf(const CalculationAnswer& answer);
    static void finishRefresh(const std::shared_ptr<RefreshState>& state, const std::optional<QString>& error);

    std::shared_ptr<Calculating> m_calculator;
    std::shared_ptr<RefreshState> m_refresh = std::make_shared<RefreshState>();
};

}  // namespace vantrel
