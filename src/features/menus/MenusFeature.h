#pragma once

#include "core/api/Feature.h"
#include "platform/ApplicationMenus.h"

#include <QString>

#include <memory>
#include <optional>

namespace vantrel {

// "Search Menu Items" (`searchMenuItems`): the menu bar of the application
// the user was in, read through the accessibility bus (ApplicationMenus),
// listed by path ("File › Export › PDF"); Return triggers the item. On the
// command line, `vantrel menus [--pid PID] [--json]` lists them and
// `vantrel run searchMenuItems PATH` triggers one.
class MenusFeature : public Feature {
public:
    inline static const QString commandId = QStringLiteral("searchMenuItems");
    inline static const QString separator = QStringLiteral(" › ");

    QString name() const override { return QStringLiteral("menus"); }
    void registerWith(FeatureContext& context) override;

    // The process of the application the user is in (the window the launcher
    // remembered when it opened, else the active one). Throws VantrelError.
    static qint64 frontApplicationPid();
    // The menus of that application (or of `pid`). Throws VantrelError with
    // the sentence to show.
    static ApplicationMenus::Menus readMenus(std::optional<qint64> pid = std::nullopt);
    // The item whose path is `path` ("File › Export › PDF", also with ">" or
    // "/" between the titles, any case); else the only item whose path
    // contains it. Throws VantrelError naming the candidates otherwise.
    static const ApplicationMenus::Item& find(const ApplicationMenus::Menus& menus, const QString& path);

private:
    // Read by the command, shown by the view it asks for.
    std::optional<ApplicationMenus::Menus> m_pending;
};

}  // namespace vantrel
