#pragma once

#include <QDateTime>

#include <optional>

namespace vantrel::Frecency {

// Frecency is stored as one date per record: the moment at which the decayed
// score would equal 1. Arithmetic works on milliseconds since 1970.
inline constexpr double kMillisecondsPerDay = 86400000.0;
inline constexpr double kDefaultHalfLifeDays = 10.0;

// The points one visit adds.
enum class VisitTransition { defaultVisit };
inline constexpr double kDefaultVisitPoints = 100.0;
double rawValue(VisitTransition transition);
// Only 100.0 names a transition.
std::optional<VisitTransition> visitTransition(double rawValue);

// The date of a score that fell to 0: infinitely far in the past, so it sorts
// after every finite frecency date. Its score is 0.
QDateTime farPast();

// exp((ln 2 / halfLife) * |now - date| / day); 0 for farPast().
double score(const QDateTime& date, const QDateTime& now, double halfLifeDays = kDefaultHalfLifeDays);
// now + (ln score / (ln 2 / halfLife)) days; farPast() for a score of 0 or less.
QDateTime date(double score, const QDateTime& now, double halfLifeDays = kDefaultHalfLifeDays);
// The frecency date after one more visit at `visit`: the current score plus
// 100 decayed from the visit to now (a non-positive sum counts as 0).
QDateTime addingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now);
// The same with the visit's points taken away.
QDateTime removingVisit(const QDateTime& visit, const QDateTime& frecencyDate, const QDateTime& now);

}  // namespace vantrel::Frecency
