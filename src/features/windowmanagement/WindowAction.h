#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

// The layouts and moves the window-management commands apply to the focused
// window, in the order the commands are listed.
enum class WindowAction {
    center,
    centerHalf,
    maximize,
    maximizeHeight,
    maximizeWidth,
    leftHalf,
    rightHalf,
    topHalf,
    bottomHalf,
    firstThird,
    firstTwoThird,
    centerThird,
    lastTwoThird,
    lastThird,
    topLeftQuarter,
    topRightQuarter,
    bottomLeftQuarter,
    bottomRightQuarter,
    nextDisplay,
    previousDisplay,
    toggleFullscreen,
    moveLeft,
    moveRight,
    moveUp,
    moveDown,
    restore,
    reasonableSize,
    firstFourth,
    secondFourth,
    thirdFourth,
    lastFourth,
    firstThreeFourth,
    lastThreeFourth,
    topThreeFourth,
    bottomThreeFourth,
    topLeftSixth,
    topCenterSixth,
    topRightSixth,
    bottomLeftSixth,
    bottomCenterSixth,
    bottomRightSixth,
    nextDesktop,
    previousDesktop,
    makeSmaller,
    makeLarger,
};

// All 45 actions, in order.
const std::vector<WindowAction>& allWindowActions();

// The case name ("leftHalf").
QString rawValue(WindowAction action);
std::optional<WindowAction> windowActionFromRawValue(const QString& raw);

// The command of an action: "windowManagement" + the case name with a
// capital first letter ("windowManagementLeftHalf").
QString windowActionCommandId(WindowAction action);
std::optional<WindowAction> windowActionForCommandId(const QString& commandId);

// The command's title ("Left Half") and its description in the command list.
QString windowActionTitle(WindowAction action);
QString windowActionDescription(WindowAction action);

// Whether the action only moves the window (its failures say "Cannot move
// window"); the others resize it ("Cannot resize window").
bool windowActionMoves(WindowAction action);

// The space kept around windows, stored under "gap" in the package's
// configuration by its raw value.
enum class WindowManagementGap { none, small, medium, large, extraLage };

const std::vector<WindowManagementGap>& allWindowManagementGaps();
QString rawValue(WindowManagementGap gap);
std::optional<WindowManagementGap> windowManagementGapFromRawValue(const QString& raw);
// "Small (14px)"; "None" for none.
QString windowManagementGapLabel(WindowManagementGap gap);
// The gap in points: the number in its label, 0 for none.
double windowManagementGapPoints(WindowManagementGap gap);

}  // namespace vantrel
