#pragma once

#include <QStringList>

#include <optional>

namespace vantrel {

class FeatureContext;
class QuicklinksService;
class QuicklinksSource;

namespace quicklinks {

// `vantrel quicklinks add --name N --link L [--app DESKTOP_ID] [--alias A]`,
// `vantrel quicklinks list [--json]`, `vantrel quicklinks remove ID`.
int quicklinksCommand(QuicklinksService& service, QuicklinksSource& source, FeatureContext& context,
                      const QStringList& arguments);

// `vantrel run quicklink_<id> [VALUE…]`: opens the quicklink (the values
// joined by spaces fill its placeholder). Nothing for ids that are not a
// quicklink's.
std::optional<int> runQuicklink(QuicklinksService& service, FeatureContext& context, const QString& id,
                                const QStringList& values);

}  // namespace quicklinks
}  // namespace vantrel
