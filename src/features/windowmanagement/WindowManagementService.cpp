#include "features/windowmanagement/WindowManagementService.h"

#include "core/commands/PackageRegistry.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

Logger& log() {
    static Logger logger(Logger::Category{QStringLiteral("WindowManagement"), QStringLiteral("🪟")});
    return logger;
}

[[noreturn]] void fail(const char* message) {
    throw VantrelError(QString::fromUtf8(message));
}

QRect toPixels(const QRectF& rect) {
    return QRect(int(std::lround(rect.x())), int(std::lround(rect.y())), int(std::lround(rect.width())),
                 int(std::lround(rect.height())));
}

double overlap(const QRect& a, const QRect& b) {
    const QRect part = a.intersected(b);
    return part.isValid() ? double(part.width()) * part.height() : 0;
}

}  // namespace

WindowManagementService::WindowManagementService(PackageRegistry& registry, NotificationCenter& center,
                                                 ClientFactory client)
    : m_registry(registry), m_clientFactory(std::move(client)), m_subscriptions(std::make_unique<QObject>()) {
    center.addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                       [this](const Notification& notification) {
                           if (notification.object.toString() == packageId) m_gap.reset();
                       });
}

WindowManagementService::~WindowManagementService() = default;

const WindowCalculationEngine& WindowManagementService::engine() {
    if (!m_engine) m_engine = std::make_unique<WindowCalculationEngine>();
    return *m_engine;
}

WindowManagementGap WindowManagementService::gap() {
    if (!m_gap) {
        const std::optional<QString> stored = m_registry.stringValue(PackageIdentifier(QString(packageId)), gapKey);
        m_gap = stored ? windowManagementGapFromRawValue(*stored) : std::nullopt;
        if (stored && !m_gap) log().warning(QStringLiteral("Unknown window gap '%1'; using none").arg(*stored));
        if (!m_gap) m_gap = WindowManagementGap::none;
    }
    return *m_gap;
}

QString WindowManagementService::failureTitle(WindowAction action) {
    return windowActionMoves(action) ? QStringLiteral("Cannot move window") : QStringLiteral("Cannot resize window");
}

WindowClient& WindowManagementService::client() {
    if (!m_client) {
        QString problem;
        if (m_clientFactory) m_client = m_clientFactory(&problem);
        if (!m_client) {
            throw VantrelError(problem.isEmpty() ? QStringLiteral("This desktop lets Vantrel place no windows")
                                                 : problem);
        }
    }
    return *m_client;
}

CommandOutcome WindowManagementService::resizeFocusedWindow(WindowAction action) {
    try {
        perform(action);
        return CommandOutcome::done();
    } catch (const std::exception& error) {
        const QString message = VantrelError::describe(error);
        log().error(QStringLiteral("Window action failed"),
                    {{QStringLiteral("action"), rawValue(action)}, {QStringLiteral("error"), message}});
        return CommandOutcome::failed(failureTitle(action), message);
    }
}

void WindowManagementService::perform(WindowAction action) {
    WindowClient& windows = client();
    const WindowClient::Window window = windows.focusedWindow();
    if (window.sheet) fail("Cannot resize sheets");
    if (window.systemDialog) fail("Cannot resize system dialogs");

    if (action == WindowAction::toggleFullscreen) {
        if (!window.canToggleFullscreen) fail("Focused window cannot toggle fullscreen");
        windows.setFullscreen(window, !window.fullscreen);
        return;
    }
    if (action == WindowAction::nextDesktop || action == WindowAction::previousDesktop) {
        const WindowClient::Desktops desktops = windows.desktops(window);
        if (!desktops.current || desktops.count <= 0) fail("Cannot move window to next space");
        const int target = *desktops.current + (action == WindowAction::nextDesktop ? 1 : -1);
        if (target >= desktops.count) fail("Cannot move space to the right");
        if (target < 0) fail("Cannot move space to the left");
        if (target == *desktops.current) {
            log().info("Next space is same as current space. No update necessary.");
            return;
        }
        windows.moveToDesktop(window, target);
        return;
    }

    // The screen the window is on: the one holding its centre, else the one
    // it overlaps most. Its neighbours in the system's list (wrapping at the
    // ends) are the next and previous displays.
    const std::vector<WindowClient::Screen> screens = windows.screens();
    std::optional<size_t> index;
    for (size_t i = 0; i < screens.size() && !index; ++i)
        if (screens[i].geometry.contains(window.frame.center())) index = i;
    double best = 0;
    for (size_t i = 0; i < screens.size() && !index; ++i)
        best = std::max(best, overlap(screens[i].geometry, window.frame));
    for (size_t i = 0; i < screens.size() && !index && best > 0; ++i)
        if (overlap(screens[i].geometry, window.frame) == best) index = i;
    if (!index) fail("Cannot find screen for focused window");
    std::optional<QRectF> previous, next;
    if (screens.size() > 1) {
        previous = QRectF(screens[(*index + screens.size() - 1) % screens.size()].usableArea);
        next = QRectF(screens[(*index + 1) % screens.size()].usableArea);
    }
    if (!window.resizable) fail("Focused window is not resizable");

    const QRectF frame(window.frame);
    const QRectF screen(screens[*index].usableArea);
    if (frame.width() <= 0 || frame.height() <= 0) fail("Invalid window size");
    if (screen.width() <= 0 || screen.height() <= 0) fail("Invalid screen size");
    const auto& calculations = engine().actionToCalculationMap();
    if (calculations.find(action) == calculations.end()) fail("Invalid window calculation");
    const auto last = m_history.find(qint64(window.id));
    const std::optional<QRectF> rect =
        engine().resize(frame, windowManagementGapPoints(gap()), screen, previous, next,
                        last == m_history.end() ? std::nullopt : std::optional<QRectF>(last->second), action);
    if (!rect || rect->isNull() || rect->width() <= 0 || rect->height() <= 0) fail("Invalid new rectangle for window");

    const QRect target = toPixels(*rect);
    if (target == window.frame) return;
    m_history[qint64(window.id)] = frame;
    windows.setFrame(window, target);
    log().info(QStringLiteral("Resized window"), {{QStringLiteral("action"), rawValue(action)},
                                                  {QStringLiteral("from"), QStringLiteral("%1,%2 %3x%4")
                                                                               .arg(window.frame.x())
                                                                               .arg(window.frame.y())
                                                                               .arg(window.frame.width())
                                                                               .arg(window.frame.height())},
                                                  {QStringLiteral("to"), QStringLiteral("%1,%2 %3x%4")
                                                                             .arg(target.x())
                                                                             .arg(target.y())
                                                                             .arg(target.width())
                                                                             .arg(target.height())}});
}

}  // namespace vantrel
