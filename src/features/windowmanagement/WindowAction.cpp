#include "features/windowmanagement/WindowAction.h"

#include <array>

namespace vantrel {

namespace {

struct ActionRow {
    WindowAction action;
    const char* raw;
    const char* title;
    const char* description;
    bool moves;
};

// clang-format off
const std::array<ActionRow, 45> kActions{{
    {WindowAction::center, "center", "Center", "Center focused window in screen.", true},
    {WindowAction::centerHalf, "centerHalf", "Center Half", "Resize focused window to the half of the screen and center.", false},
    {WindowAction::maximize, "maximize", "Maximize", "Maximize focused window to fit the screen.", false},
    {WindowAction::maximizeHeight, "maximizeHeight", "Maximize Height", "Maximize height of focused window to fit the screen.", false},
    {WindowAction::maximizeWidth, "maximizeWidth", "Maximize Width", "Maximize width of focused window to fit the screen.", false},
    {WindowAction::leftHalf, "leftHalf", "Left Half", "Resize focused window to the left half of the screen.", false},
    {WindowAction::rightHalf, "rightHalf", "Right Half", "Resize focused window to the right half of the screen.", false},
    {WindowAction::topHalf, "topHalf", "Top Half", "Resize focused window to the top half of the screen.", false},
    {WindowAction::bottomHalf, "bottomHalf", "Bottom Half", "Resize focused window to the bottom half of the screen.", false},
    {WindowAction::firstThird, "firstThird", "First Third", "Resize focused window to the first third of the screen.", false},
    {WindowAction::firstTwoThird, "firstTwoThird", "First Two Thirds", "Resize focused window to the first two thirds of the screen.", false},
    {WindowAction::centerThird, "centerThird", "Center Third", "Resize focused window to the center third of the screen.", false},
    {WindowAction::lastTwoThird, "lastTwoThird", "Last Two Thirds", "Resize focused window to the last two thirds of the screen.", false},
    {WindowAction::lastThird, "lastThird", "Last Third", "Resize focused window to the last third of the screen.", false},
    {WindowAction::topLeftQuarter, "topLeftQuarter", "Top Left Quarter", "Resize focused window to the top left quarter of the screen.", false},
    {WindowAction::topRightQuarter, "topRightQuarter", "Top Right Quarter", "Resize focused window to the top right quarter of the screen.", false},
    {WindowAction::bottomLeftQuarter, "bottomLeftQuarter", "Bottom Left Quarter", "Resize focused window to the bottom left quarter of the screen.", false},
    {WindowAction::bottomRightQuarter, "bottomRightQuarter", "Bottom Right Quarter", "Resize focused window to the bottom right quarter of the screen.", false},
    {WindowAction::nextDisplay, "nextDisplay", "Next Display", "Move focused window to next display.", true},
    {WindowAction::previousDisplay, "previousDisplay", "Previous Display", "Move focused window to previous display.", true},
    {WindowAction::toggleFullscreen, "toggleFullscreen", "Toggle Fullscreen", "Toggle fullscreen mode of focused window.", false},
    {WindowAction::moveLeft, "moveLeft", "Move Left", "Move focused window to the left edge of the screen.", true},
    {WindowAction::moveRight, "moveRight", "Move Right", "Move focused window to the right edge of the screen.", true},
    {WindowAction::moveUp, "moveUp", "Move Up", "Move focused window to the top edge of the screen.", true},
    {WindowAction::moveDown, "moveDown", "Move Down", "Move focused window to the bottom edge of the screen.", true},
    {WindowAction::restore, "restore", "Restore", "Restore focused window to it's last position.", false},
    {WindowAction::reasonableSize, "reasonableSize", "Reasonable Size", "Resize focused window to 60% of the screen (Maximum: 1024x900).", false},
    {WindowAction::firstFourth, "firstFourth", "First Fourth", "Resize focused window to the first fourth of the screen.", false},
    {WindowAction::secondFourth, "secondFourth", "Second Fourth", "Resize focused window to the second fourth of the screen.", false},
    {WindowAction::thirdFourth, "thirdFourth", "Third Fourth", "Resize focused window to the third fourth of the screen.", false},
    {WindowAction::lastFourth, "lastFourth", "Last Fourth", "Resize focused window to the last fourth of the screen.", false},
    {WindowAction::firstThreeFourth, "firstThreeFourth", "First Three Fourths", "Resize focused window to the first three fourths of the screen.", false},
    {WindowAction::lastThreeFourth, "lastThreeFourth", "Last Three Fourths", "Resize focused window to the last three fourths of the screen.", false},
    {WindowAction::topThreeFourth, "topThreeFourth", "Top Three Fourths", "Resize focused window to the top three fourths of the screen.", false},
    {WindowAction::bottomThreeFourth, "bottomThreeFourth", "Bottom Three Fourths", "Resize focused window to the bottom three fourths of the screen.", false},
    {WindowAction::topLeftSixth, "topLeftSixth", "Top Left Sixth", "Resize focused window to the top left sixth of the screen.", false},
    {WindowAction::topCenterSixth, "topCenterSixth", "Top Center Sixth", "Resize focused window to the top center sixth of the screen.", false},
    {WindowAction::topRightSixth, "topRightSixth", "Top Right Sixth", "Resize focused window to the top right sixth of the screen.", false},
    {WindowAction::bottomLeftSixth, "bottomLeftSixth", "Bottom Left Sixth", "Resize focused window to the bottom left sixth of the screen.", false},
    {WindowAction::bottomCenterSixth, "bottomCenterSixth", "Bottom Center Sixth", "Resize focused window to the bottom center sixth of the screen.", false},
    {WindowAction::bottomRightSixth, "bottomRightSixth", "Bottom Right Sixth", "Resize focused window to the bottomr rigth sixth of the screen.", false},
    {WindowAction::nextDesktop, "nextDesktop", "Next Desktop", "Move focused window to next desktop.", true},
    {WindowAction::previousDesktop, "previousDesktop", "Previous Desktop", "Move focused window to previous desktop.", true},
    {WindowAction::makeSmaller, "makeSmaller", "Make Smaller", "Decrease the focused window until it reaches 25% of the screen.", false},
    {WindowAction::makeLarger, "makeLarger", "Make Larger", "Increase the focused window until it reaches the screen size.", false},
}};
// clang-format on

const ActionRow& row(WindowAction action) {
    return kActions[size_t(action)];
}

const QLatin1String kCommandPrefix("windowManagement");

struct GapRow {
    WindowManagementGap gap;
    const char* raw;
    const char* label;
    double points;
};

const std::array<GapRow, 5> kGaps{{
    {WindowManagementGap::none, "none", "None", 0},
    {WindowManagementGap::small, "small", "Small (14px)", 14},
    {WindowManagementGap::medium, "medium", "Medium (32px)", 32},
    {WindowManagementGap::large, "large", "Large (64px)", 64},
    {WindowManagementGap::extraLage, "extraLage", "Extra Large (128px)", 128},
}};

}  // namespace

const std::vector<WindowAction>& allWindowActions() {
    static const std::vector<WindowAction> actions = [] {
        std::vector<WindowAction> list;
        for (const ActionRow& row : kActions) list.push_back(row.action);
        return list;
    }();
    return actions;
}

QString rawValue(WindowAction action) {
    return QString::fromLatin1(row(action).raw);
}

std::optional<WindowAction> windowActionFromRawValue(const QString& raw) {
    for (const ActionRow& row : kActions)
        if (raw == QLatin1String(row.raw)) return row.action;
    return std::nullopt;
}

QString windowActionCommandId(WindowAction action) {
    QString name = rawValue(action);
    name[0] = name[0].toUpper();
    return kCommandPrefix + name;
}

std::optional<WindowAction> windowActionForCommandId(const QString& commandId) {
    if (!commandId.startsWith(kCommandPrefix) || commandId.size() <= kCommandPrefix.size()) return std::nullopt;
    QString name = commandId.mid(kCommandPrefix.size());
    if (!name[0].isUpper()) return std::nullopt;
    name[0] = name[0].toLower();
    return windowActionFromRawValue(name);
}

QString windowActionTitle(WindowAction action) {
    return QString::fromLatin1(row(action).title);
}

QString windowActionDescription(WindowAction action) {
    return QString::fromLatin1(row(action).description);
}

bool windowActionMoves(WindowAction action) {
    return row(action).moves;
}

const std::vector<WindowManagementGap>& allWindowManagementGaps() {
    static const std::vector<WindowManagementGap> gaps{WindowManagementGap::none, WindowManagementGap::small,
                                                       WindowManagementGap::medium, WindowManagementGap::large,
                                                       WindowManagementGap::extraLage};
    return gaps;
}

QString rawValue(WindowManagementGap gap) {
    return QString::fromLatin1(kGaps[size_t(gap)].raw);
}

std::optional<WindowManagementGap> windowManagementGapFromRawValue(const QString& raw) {
    for (const GapRow& row : kGaps)
        if (raw == QLatin1String(row.raw)) return row.gap;
    return std::nullopt;
}

QString windowManagementGapLabel(WindowManagementGap gap) {
    return QString::fromLatin1(kGaps[size_t(gap)].label);
}

double windowManagementGapPoints(WindowManagementGap gap) {
    return kGaps[size_t(gap)].points;
}

}  // namespace vantrel
