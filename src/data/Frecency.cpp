#include "data/Frecency.h"

#include <cmath>
#include <numbers>

namespace vantrel::Frecency {

namespace {
double lambda(double halfLifeDays) { return std::numbers::ln2 / halfLifeDays; }
double daysBetween(const QDateTime& a, const QDateTime& b) {
    return std::fabs(static_cast<double>(a.toMSecsSinceEpoch() - b.toMSecsSinceEpoch())) / kMillisecondsPerDay;
}
}  // namespace

double score(const QDateTime& date, const QDateTime& now, double halfLifeDays) {
    return std::exp(lambda(halfLifeDays) * daysBetween(now, date));
}

QDateTime date(double score, const QDateTime& now, double halfLifeDays) {
    const double days = std::log(score) / lambda(halfLifeDays);
    return now.addMSecs(static_cast<qint64>(std::llround(days * kMillisecondsPerDay)));
}

QDateTime addingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now) {
    const double current = frecencyDate.isValid() ? score(frecencyDate, now) : 0.0;
    double s = current + kVisitScore * std::exp(-lambda(kDefaultHalfLifeDays) * daysBetween(now, visit));
    if (s <= 0) s = 0;
    return date(s, now);
}

}  // namespace vantrel::Frecency
