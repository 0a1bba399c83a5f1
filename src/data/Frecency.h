#pragma once

#include <QDateTime>

namespace vantrel::Frecency {

// Frecency is stored as one date per record: the moment at which the decayed
// score would equal 1. Arithmetic works on milliseconds since 1970.
inline constexpr double kMillisecondsPerDay = 86400000.0;
inline constexpr double kDefaultHalfLifeDays = 10.0;
inline constexpr double kVisitScore = 100.0;

// exp((ln 2 / halfLife) * |now - date| / day)
double score(const QDateTime& date, const QDateTime& now, double halfLifeDays = kDefaultHalfLifeDays);
// now + (ln score / (ln 2 / halfLife)) days
QDateTime date(double score, const QDateTime& now, double halfLifeDays = kDefaultHalfLifeDays);
// The frecency date after one more visit at `visit`: the current score plus
// 100 decayed from the visit to now (a non-positive sum counts as 0).
QDateTime addingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now);

}  // namespace vantrel::Frecency
