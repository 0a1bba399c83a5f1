#include "features/windowmanagement/WindowManagementFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "core/commands/PackageRegistry.h"
#include "core/shell/InstanceChannel.h"
#include "features/windowmanagement/WindowCalculation.h"
#include "features/windowmanagement/WindowManagementService.h"
#include "features/windowmanagement/ui/WindowManagementPage.h"
#include "platform/Platform.h"
#include "platform/WindowClient.h"

#include <QUrl>

#include <cmath>
#include <cstdio>

namespace vantrel {

WindowManagementFeature::WindowManagementFeature() = default;
WindowManagementFeature::~WindowManagementFeature() = default;

ImageResource WindowManagementFeature::icon(WindowAction action) {
    // The layout on a screen of 12 x 12 (every fraction is whole there), for
    // a window in the middle; actions without a region of their own show
    // what they do to that window.
    static const WindowCalculationEngine engine;
    const QRectF screen(0, 0, 12, 12);
    const QRectF window(3, 3, 6, 6);
    std::optional<QRectF> region;
    switch (action) {
        case WindowAction::toggleFullscreen:
            region = screen;
            break;
        case WindowAction::makeLarger:
            region = QRectF(2, 2, 8, 8);
            break;
        case WindowAction::makeSmaller:
            region = QRectF(4, 4, 4, 4);
            break;
        case WindowAction::nextDisplay:
        case WindowAction::nextDesktop:
            region = QRectF(6, 3, 6, 6);
            break;
        case WindowAction::previousDisplay:
        case WindowAction::previousDesktop:
            region = QRectF(0, 3, 6, 6);
            break;
        case WindowAction::restore:
            region = QRectF(1, 1, 7, 7);
            break;
        case WindowAction::moveLeft:
        case WindowAction::moveRight:
        case WindowAction::moveUp:
        case WindowAction::moveDown:
        case WindowAction::center:
            region = engine.resize(QRectF(4, 4, 4, 4), 0, screen, {}, {}, {}, action);
            break;
        default:
            region = engine.resize(window, 0, screen, {}, {}, {}, action);
    }
    const QRect r = region.value_or(window).toRect();
    return ImageResource::named(QStringLiteral("window-layout-%1-%2-%3-%4")
                                    .arg(r.x())
                                    .arg(r.y())
                                    .arg(r.x() + r.width())
                                    .arg(r.y() + r.height()));
}

void WindowManagementFeature::registerWith(FeatureContext& context) {
    // The desktop's client, asked for when the first layout runs.
    m_service = std::make_unique<WindowManagementService>(
        context.registry(), context.center(), [](QString* problem) -> std::shared_ptr<WindowClient> {
            const auto& client = platform().windowClient;
            return client ? client(problem) : nullptr;
        });
    WindowManagementService* service = m_service.get();
    FeatureContext* features = &context;
    const QString package(WindowManagementService::packageId);

    CommandList commands;
    for (const WindowAction action : allWindowActions()) {
        BuiltinCommand::Definition definition;
        definition.id = windowActionCommandId(action);
        definition.packageId = package;
        definition.displayName = windowActionTitle(action);
        definition.description = windowActionDescription(action);
        definition.isViewControllerRepresented = false;
        definition.searchKeywords = {QStringLiteral("window")};
        definition.icon = IconSet{icon(action), std::nullopt};
        commands.push_back(std::make_shared<BuiltinCommand>(std::move(definition), &context.registry()));
        context.addCommandHandler(windowActionCommandId(action),
                                  [service, features, action](const VantrelCommand&, const CommandRunContext&) {
                                      // The launcher goes first, so the window the user
                                      // was in is in front again.
                                      if (LauncherPresenter* presenter = features->presenter())
                                          presenter->hideWindow();
                                      return service->resizeFocusedWindow(action);
                                  });
    }
    context.registry().setPackageCommands(PackageIdentifier(package), std::move(commands));

    context.addPreferencePage({QStringLiteral("Window Management"), QStringLiteral("window"),
                               [features]() -> QWidget* { return new WindowManagementPage(features->registry()); }});

    // `vantrel run windowManagementLeftHalf`: a running launcher does it, with
    // its gap and the frames it remembers for restore; without one the
    // command runs in this process like any other.
    context.addCliCommand(QStringLiteral("run"), [](const QStringList& arguments) -> std::optional<int> {
        if (arguments.isEmpty() || !windowActionForCommandId(arguments.first())) return std::nullopt;
        return InstanceClient().runCommand(arguments.first());
    });
}

}  // namespace vantrel
