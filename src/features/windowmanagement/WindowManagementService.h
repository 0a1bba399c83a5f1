#pragma once

#include "core/api/CommandOutcome.h"
#include "features/windowmanagement/WindowAction.h"
#include "features/windowmanagement/WindowCalculation.h"
#include "platform/WindowClient.h"

#include <QObject>
#include <QRectF>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace vantrel {

class NotificationCenter;
class PackageRegistry;

// Runs the window-management actions on the window the user is in: finds it
// through the platform's window client, refuses what cannot be arranged,
// computes the new frame from the screen it is on with the gap of the
// package's configuration, and asks for it. Remembers each window's frame
// before its last change, for restore, for the life of the process.
//
// Main thread only. The gap is read on first use and again whenever the
// package configuration changes.
class WindowManagementService {
public:
    using ClientFactory = std::function<std::shared_ptr<WindowClient>(QString* problem)>;

    static constexpr QLatin1String packageId{"windowManagement"};
    static constexpr QLatin1String gapKey{"gap"};

    WindowManagementService(PackageRegistry& registry, NotificationCenter& center, ClientFactory client);
    ~WindowManagementService();
    WindowManagementService(const WindowManagementService&) = delete;
    WindowManagementService& operator=(const WindowManagementService&) = delete;

    // Runs the action; a failure becomes the failure toast "Cannot move
    // window" or "Cannot resize window" with its sentence, and leaves the
    // window as it was.
    CommandOutcome resizeFocusedWindow(WindowAction action);
    // The same, throwing the failure's VantrelError.
    void perform(WindowAction action);

    WindowManagementGap gap();
    const WindowCalculationEngine& engine();
    // Each window's frame before the last action that changed it.
    const std::map<qint64, QRectF>& history() const { return m_history; }

    // The toast title of a failed action.
    static QString failureTitle(WindowAction action);

private:
    WindowClient& client();

    PackageRegistry& m_registry;
    ClientFactory m_clientFactory;
    std::shared_ptr<WindowClient> m_client;
    std::unique_ptr<WindowCalculationEngine> m_engine;
    std::map<qint64, QRectF> m_history;
    std::optional<WindowManagementGap> m_gap;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
