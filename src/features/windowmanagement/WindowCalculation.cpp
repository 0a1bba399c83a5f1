#include "features/windowmanagement/WindowCalculation.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

using P = WindowCalculationParameters;

double half(double size) {
    return std::floor(size * 0.5);
}
double third(double size) {
    return std::floor(size / 3);
}
double quarter(double size) {
    return std::floor(size * 0.25);
}

// The region's edges that lie on the screen's border move in by the whole
// gap, the others (facing a neighbour of the same layout) by half of it.
QRectF withGaps(const QRectF& region, const P& p) {
    const QRectF& s = p.screenRect;
    const double g = p.gap;
    const double left = region.left() == s.left() ? g : g / 2;
    const double right = region.right() == s.right() ? g : g / 2;
    const double top = region.top() == s.top() ? g : g / 2;
    const double bottom = region.bottom() == s.bottom() ? g : g / 2;
    return region.adjusted(left, top, -right, -bottom);
}

// Columns: a width at the screen's left edge (or, right-aligned, at its
// right edge), full height; rows alike; cells are both.
enum class Align { start, offset, end };

double place(double origin, double extent, double size, Align align, double offset) {
    switch (align) {
        case Align::start:
            return origin;
        case Align::offset:
            return origin + offset;
        case Align::end:
            return origin + extent - size;
    }
    return origin;
}

QRectF cell(const P& p, double width, Align horizontal, double xOffset, double height, Align vertical,
            double yOffset) {
    const QRectF& s = p.screenRect;
    const QRectF region(place(s.x(), s.width(), width, horizontal, xOffset),
                        place(s.y(), s.height(), height, vertical, yOffset), width, height);
    return withGaps(region, p);
}

QRectF column(const P& p, double width, Align horizontal, double xOffset = 0) {
    return cell(p, width, horizontal, xOffset, p.screenRect.height(), Align::start, 0);
}

QRectF row(const P& p, double height, Align vertical) {
    return cell(p, p.screenRect.width(), Align::start, 0, height, vertical, 0);
}

// A size centred in an area (the offset floored to whole points).
QRectF centred(const QRectF& area, double width, double height) {
    return QRectF(area.x() + std::floor((area.width() - width) / 2), area.y() + std::floor((area.height() - height) / 2),
                  width, height);
}

QRectF insetScreen(const P& p) {
    return p.screenRect.adjusted(p.gap, p.gap, -p.gap, -p.gap);
}

std::optional<QRectF> toDisplay(const P& p, const std::optional<QRectF>& target) {
    if (!target) return p.windowRect;
    const QRectF& s = p.screenRect;
    const double width = std::floor(p.windowRect.width() * target->width() / s.width());
    const double height = std::floor(p.windowRect.height() * target->height() / s.height());
    return centred(*target, width, height);
}

// Grows or shrinks around the centre: the frame is inset by the difference
// between its size and the bounded step on every side.
QRectF stepped(const QRectF& window, double width, double height) {
    const double dx = window.width() - width;
    const double dy = window.height() - height;
    return window.adjusted(dx, dy, -dx, -dy);
}

}  // namespace

WindowCalculationEngine::WindowCalculationEngine() {
    using A = WindowAction;
    auto& m = m_calculations;
    m[A::center] = [](const P& p) {
        return centred(insetScreen(p), p.windowRect.width(), p.windowRect.height());
    };
    m[A::centerHalf] = [](const P& p) {
        const QRectF& s = p.screenRect;
        const double width = half(s.width());
        return column(p, width, Align::offset, std::floor((s.width() - width) / 2));
    };
    m[A::maximize] = [](const P& p) { return column(p, p.screenRect.width(), Align::start); };
    m[A::maximizeHeight] = [](const P& p) {
        const QRectF inset = insetScreen(p);
        return QRectF(p.windowRect.x(), inset.y(), p.windowRect.width(), inset.height());
    };
    m[A::maximizeWidth] = [](const P& p) {
        const QRectF inset = insetScreen(p);
        return QRectF(inset.x(), p.windowRect.y(), inset.width(), p.windowRect.height());
    };
    m[A::leftHalf] = [](const P& p) { return column(p, half(p.screenRect.width()), Align::start); };
    m[A::rightHalf] = [](const P& p) { return column(p, half(p.screenRect.width()), Align::end); };
    m[A::topHalf] = [](const P& p) { return row(p, half(p.screenRect.height()), Align::start); };
    m[A::bottomHalf] = [](const P& p) { return row(p, half(p.screenRect.height()), Align::end); };
    m[A::firstThird] = [](const P& p) { return column(p, third(p.screenRect.width()), Align::start); };
    m[A::firstTwoThird] = [](const P& p) { return column(p, 2 * third(p.screenRect.width()), Align::start); };
    m[A::centerThird] = [](const P& p) {
        const double width = third(p.screenRect.width());
        return column(p, width, Align::offset, width);
    };
    m[A::lastTwoThird] = [](const P& p) { return column(p, 2 * third(p.screenRect.width()), Align::end); };
    m[A::lastThird] = [](const P& p) { return column(p, third(p.screenRect.width()), Align::end); };
    const auto quarterCell = [](Align horizontal, Align vertical) {
        return [horizontal, vertical](const P& p) {
            return cell(p, half(p.screenRect.width()), horizontal, 0, half(p.screenRect.height()), vertical, 0);
        };
    };
    m[A::topLeftQuarter] = quarterCell(Align::start, Align::start);
    m[A::topRightQuarter] = quarterCell(Align::end, Align::start);
    m[A::bottomLeftQuarter] = quarterCell(Align::start, Align::end);
    m[A::bottomRightQuarter] = quarterCell(Align::end, Align::end);
    m[A::nextDisplay] = [](const P& p) { return toDisplay(p, p.nextScreenRect); };
    m[A::previousDisplay] = [](const P& p) { return toDisplay(p, p.previousScreenRect); };
    m[A::moveLeft] = [](const P& p) {
        return QRectF(insetScreen(p).x(), p.windowRect.y(), p.windowRect.width(), p.windowRect.height());
    };
    m[A::moveRight] = [](const P& p) {
        const QRectF inset = insetScreen(p);
        return QRectF(inset.x() + inset.width() - p.windowRect.width(), p.windowRect.y(), p.windowRect.width(),
                      p.windowRect.height());
    };
    m[A::moveUp] = [](const P& p) {
        return QRectF(p.windowRect.x(), insetScreen(p).y(), p.windowRect.width(), p.windowRect.height());
    };
    m[A::moveDown] = [](const P& p) {
        const QRectF inset = insetScreen(p);
        return QRectF(p.windowRect.x(), inset.y() + inset.height() - p.windowRect.height(), p.windowRect.width(),
                      p.windowRect.height());
    };
    m[A::restore] = [](const P& p) { return p.lastWindowRect; };
    m[A::reasonableSize] = [](const P& p) {
        const QRectF& s = p.screenRect;
        return centred(s, std::min(std::floor(0.6 * s.width()), 1024.0), std::min(std::floor(0.6 * s.height()), 900.0));
    };
    const auto fourth = [](int index) {
        return [index](const P& p) {
            const double width = quarter(p.screenRect.width());
            if (index == 3) return column(p, width, Align::end);
            return column(p, width, Align::offset, index * width);
        };
    };
    m[A::firstFourth] = fourth(0);
    m[A::secondFourth] = fourth(1);
    m[A::thirdFourth] = fourth(2);
    m[A::lastFourth] = fourth(3);
    m[A::firstThreeFourth] = [](const P& p) { return column(p, 3 * quarter(p.screenRect.width()), Align::start); };
    m[A::lastThreeFourth] = [](const P& p) { return column(p, 3 * quarter(p.screenRect.width()), Align::end); };
    m[A::topThreeFourth] = [](const P& p) { return row(p, 3 * quarter(p.screenRect.height()), Align::start); };
    m[A::bottomThreeFourth] = [](const P& p) { return row(p, 3 * quarter(p.screenRect.height()), Align::end); };
    const auto sixth = [](int columnIndex, Align vertical) {
        return [columnIndex, vertical](const P& p) {
            const double width = third(p.screenRect.width());
            const Align horizontal = columnIndex == 0 ? Align::start : columnIndex == 1 ? Align::offset : Align::end;
            return cell(p, width, horizontal, width, half(p.screenRect.height()), vertical, 0);
        };
    };
    m[A::topLeftSixth] = sixth(0, Align::start);
    m[A::topCenterSixth] = sixth(1, Align::start);
    m[A::topRightSixth] = sixth(2, Align::start);
    m[A::bottomLeftSixth] = sixth(0, Align::end);
    m[A::bottomCenterSixth] = sixth(1, Align::end);
    m[A::bottomRightSixth] = sixth(2, Align::end);
    m[A::makeLarger] = [](const P& p) {
        const QRectF& w = p.windowRect;
        return stepped(w, std::min(p.screenRect.width(), w.width() + 16), std::min(p.screenRect.height(), w.height() + 16));
    };
    m[A::makeSmaller] = [](const P& p) {
        const QRectF& w = p.windowRect;
        return stepped(w, std::max(quarter(p.screenRect.width()), w.width() - 16),
                       std::max(quarter(p.screenRect.height()), w.height() - 16));
    };
}

std::optional<QRectF> WindowCalculationEngine::resize(const QRectF& windowRect, double gap, const QRectF& screenRect,
                                                      const std::optional<QRectF>& previousScreenRect,
                                                      const std::optional<QRectF>& nextScreenRect,
                                                      const std::optional<QRectF>& lastWindowRect,
                                                      WindowAction action) const {
    const auto found = m_calculations.find(action);
    if (found == m_calculations.end()) return std::nullopt;
    return found->second({windowRect, gap, screenRect, previousScreenRect, nextScreenRect, lastWindowRect});
}

}  // namespace vantrel
