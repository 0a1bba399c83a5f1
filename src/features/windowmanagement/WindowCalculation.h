#pragma once

#include "features/windowmanagement/WindowAction.h"

#include <QRectF>

#include <functional>
#include <map>
#include <optional>

namespace vantrel {

// What a layout is computed from. Rectangles are in desktop coordinates with
// y growing downwards ("top" is the smaller y).
struct WindowCalculationParameters {
    // The window's current frame, decorations included.
    QRectF windowRect;
    // Space kept around windows, in points.
    double gap = 0;
    // The usable area of the window's screen (without panels and docks).
    QRectF screenRect;
    // The usable areas of the screens before and after it, for
    // previousDisplay and nextDisplay.
    std::optional<QRectF> previousScreenRect;
    std::optional<QRectF> nextScreenRect;
    // The frame before the last action on this window, for restore.
    std::optional<QRectF> lastWindowRect;
};

// The layouts as pure functions: one calculation per action that places the
// window (toggleFullscreen and the desktop moves have none). Sizes that are
// fractions of the screen are floored to whole points; the gap insets an edge
// on the screen's border by the whole gap and an edge facing a neighbouring
// region of the same layout by half of it, so two neighbours end up one gap
// apart.
class WindowCalculationEngine {
public:
    using Calculation = std::function<std::optional<QRectF>(const WindowCalculationParameters&)>;

    WindowCalculationEngine();

    const std::map<WindowAction, Calculation>& actionToCalculationMap() const { return m_calculations; }

    // The new frame; nothing when the action has no calculation or the
    // calculation has no answer (restore without a previous frame).
    std::optional<QRectF> resize(const QRectF& windowRect, double gap, const QRectF& screenRect,
                                 const std::optional<QRectF>& previousScreenRect,
                                 const std::optional<QRectF>& nextScreenRect,
                                 const std::optional<QRectF>& lastWindowRect, WindowAction action) const;

private:
    std::map<WindowAction, Calculation> m_calculations;
};

}  // namespace vantrel
