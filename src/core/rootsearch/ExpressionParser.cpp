#include "core/rootsearch/ExpressionParser.h"

#include "kit/Logger.h"
#include "kit/Queue.h"

#include <QDateTime>
#include <QLocale>

#include <utility>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger logger({QStringLiteral("Expression Parser"), QStringLiteral("🧮")});
    return logger;
}

const QString incompatibleUnitsError = QStringLiteral("Error: incompatible units");

ExpressionParser::Unit unitOf(CalculationAnswer::UnitType type) {
    switch (type) {
        case CalculationAnswer::UnitType::currency:
            return ExpressionParser::Unit::currency;
        case CalculationAnswer::UnitType::temperature:
            return ExpressionParser::Unit::temperature;
        case CalculationAnswer::UnitType::other:
            break;
    }
    return ExpressionParser::Unit::other;
}

ExpressionParser::CalculationType calculationTypeOf(const CalculationAnswer& answer) {
    switch (answer.kind) {
        case CalculationAnswer::Kind::unitConversion:
            return ExpressionParser::UnitConversion{answer.fromUnit, answer.toUnit, answer.quantity,
                                                    unitOf(answer.unitType)};
        case CalculationAnswer::Kind::math:
            return ExpressionParser::Math{};
        case CalculationAnswer::Kind::expression:
            return ExpressionParser::Expression{};
        case CalculationAnswer::Kind::unknown:
            return ExpressionParser::Unknown{};
        case CalculationAnswer::Kind::invalid:
            break;
    }
    return ExpressionParser::Invalid{};
}

}  // namespace

ExpressionParser::ExpressionParser(std::shared_ptr<Calculating> calculator) : m_calculator(std::move(calculator)) {}

std::optional<ExpressionParser::Output> ExpressionParser::parseInput(const QString& query) {
    if (query.trimmed().size() < 2) return std::nullopt;
    return outputOf(m_calculator->calculate(query));
}

std::optional<ExpressionParser::Output> ExpressionParser::parseInputIfLoaded(const QString& query,
                                                                             std::function<void()> loaded) {
    if (query.trimmed().size() < 2) return std::nullopt;
    const std::optional<CalculationAnswer> answer = m_calculator->calculateIfLoaded(query, std::move(loaded));
    if (!answer) return std::nullopt;
    return outputOf(*answer);
}

std::optional<ExpressionParser::Output> ExpressionParser::outputOf(const CalculationAnswer& answer) {
    Output output;
    output.calculationType = calculationTypeOf(answer);
    // The one error worth showing: the user asked for a conversion that cannot be.
    const bool incompatible = answer.result == incompatibleUnitsError;
    if (std::holds_alternative<Invalid>(output.calculationType) || (answer.result.isEmpty() && !incompatible))
        return std::nullopt;
    output.result = incompatible ? answer.result.mid(QStringLiteral("Error: ").size()) : answer.result;
    output.expressionMetadata = answer.expressionMetadata;
    output.resultMetadata = answer.resultMetadata;
    output.unformattedResult = answer.unformattedResult.isEmpty() ? output.result : answer.unformattedResult;
    return output;
}

QString ExpressionParser::questionAndAnswer(const QString& query, const Output& output) {
    if (const auto* conversion = std::get_if<UnitConversion>(&output.calculationType))
        return conversion->quantity + QLatin1Char(' ') + conversion->fromUnit + QStringLiteral(" equals ") +
               output.result;
    if (std::holds_alternative<Math>(output.calculationType)) return query + QStringLiteral(" = ") + output.result;
    return query + QStringLiteral(" is ") + output.result;
}

void ExpressionParser::refreshCurrencies(RefreshCompletion completion) {
    {
        std::lock_guard lock(m_refresh->mutex);
        m_refresh->pendingRefreshCompletions.push_back(std::move(completion));
        if (m_refresh->isRefreshingCurrencies) return;  // the running refresh calls it
        m_refresh->isRefreshingCurrencies = true;
    }
    // The back end may finish on any thread; waiting callers hear back on the main queue.
    m_calculator->refreshCurrencyRates([state = m_refresh](std::optional<QString> error) {
        Queue::main().dispatch([state, error] { finishRefresh(state, error); });
    });
}

void ExpressionParser::finishRefresh(const std::shared_ptr<RefreshState>& state, const std::optional<QString>& error) {
    std::vector<RefreshCompletion> completions;
    {
        std::lock_guard lock(state->mutex);
        state->isRefreshingCurrencies = false;
        completions.swap(state->pendingRefreshCompletions);
    }
    std::optional<ExpressionParserError> result;
    if (error) {
        logger().error("Failed refreshing currency rates",
                       {{QStringLiteral("operation"), QStringLiteral("refreshCurrencies(completion:)")},
                        {QStringLiteral("error"), *error}});
        result = ExpressionParserError::currenciesRefreshError;
    } else {
        const QString now = QLocale::system().toString(QDateTime::currentDateTime(), QLocale::LongFormat);
        logger().info(QStringLiteral("Currency rates successfully refreshed at ") + now);
    }
    for (auto& pending : completions) pending(result);
}

bool ExpressionParser::isRefreshingCurrencies() const {
    std::lock_guard lock(m_refresh->mutex);
    return m_refresh->isRefreshingCurrencies;
}

}  // namespace vantrel
