#include "data/Frecency.h"

#include <cmath>
#include <numbers>
#include <optional>

namespace vantrel::Frecency {

namespace {
double lambda(double halfLifeDays) { return std::numbers::ln2 / halfLifeDays; }
double daysBetween(const QDateTime& a, const QDateTime& b) {
    return std::fabs(static_cast<double>(a.toMSecsSinceEpoch() - b.toMSecsSinceEpoch())) / kMillisecondsPerDay;
}
QDateTime applyingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now, double sign) {
    const double current = frecencyDate.isValid() ? score(frecencyDate, now) : 0.0;
    double s = current + sign * kDefaultVisitPoints * std::exp(-lambda(kDefaultHalfLifeDays) * daysBetween(now, visit));
    if (s <= 0) s = 0;
    return date(s, now);
}
}  // namespace

double rawValue(VisitTransition) { return kDefaultVisitPoints; }

std::optional<VisitTransition> visitTransition(double raw) {
    if (raw == kDefaultVisitPoints) return VisitTransition::defaultVisit;
    return std::nullopt;
}

QDateTime farPast() {
    static const QDateTime past(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    return past;
}

double score(const QDateTime& date, const QDateTime& now, double halfLifeDays) {
    if (date <= farPast()) return 0.0;
    return std::exp(lambda(halfLifeDays) * daysBetween(now, date));
}

QDateTime date(double score, const QDateTime& now, double halfLifeDays) {
    if (!(score > 0)) return farPast();
    const double days = std::log(score) / lambda(halfLifeDays);
    return now.addMSecs(static_cast<qint64>(std::llround(days * kMillisecondsPerDay)));
}

QDateTime addingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now) {
    return applyingVisit(visit, frecencyDate, now, 1.0);
}

QDateTime removingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now) {
    return applyingVisit(visit, frecencyDate, now, -1.0);
}

}  // namespace vantrel::Frecency
