// What the user reads of the window layouts: the commands' ids, titles and
// descriptions, and the gap setting.
#include "features/windowmanagement/WindowAction.h"
#include "support/TableTests.h"

#include <QSet>
#include <QStringList>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using A = WindowAction;

TEST(WindowActions, AreTheFortyFiveLayoutsInTheirOrder) {
    const auto& actions = allWindowActions();
    ASSERT_EQ(actions.size(), 45u);
    EXPECT_EQ(actions.front(), A::center);
    EXPECT_EQ(actions[5], A::leftHalf);
    EXPECT_EQ(actions[20], A::toggleFullscreen);
    EXPECT_EQ(actions[26], A::reasonableSize);
    EXPECT_EQ(actions.back(), A::makeLarger);
    for (size_t i = 0; i < actions.size(); ++i) EXPECT_EQ(size_t(actions[i]), i);
}

TEST(WindowActions, CommandIdsArePackageIdAndCapitalisedCaseName) {
    EXPECT_EQ(windowActionCommandId(A::leftHalf), QStringLiteral("windowManagementLeftHalf"));
    EXPECT_EQ(windowActionCommandId(A::firstTwoThird), QStringLiteral("windowManagementFirstTwoThird"));
    EXPECT_EQ(windowActionCommandId(A::bottomRightSixth), QStringLiteral("windowManagementBottomRightSixth"));
    for (const A action : allWindowActions())
        EXPECT_EQ(windowActionForCommandId(windowActionCommandId(action)), action) << rawValue(action).toStdString();
    EXPECT_EQ(windowActionForCommandId(QStringLiteral("windowManagementleftHalf")), std::nullopt);
    EXPECT_EQ(windowActionForCommandId(QStringLiteral("windowManagement")), std::nullopt);
    EXPECT_EQ(windowActionForCommandId(QStringLiteral("windowManagementSideways")), std::nullopt);
    EXPECT_EQ(windowActionForCommandId(QStringLiteral("leftHalf")), std::nullopt);
}

struct DescriptionRow {
    const char* name;
    A action;
    const char* title;
    const char* description;
};

class WindowActionTexts : public ::testing::TestWithParam<DescriptionRow> {};

TEST_P(WindowActionTexts, ReadAsTheCommandListShowsThem) {
    const DescriptionRow& row = GetParam();
    EXPECT_EQ(windowActionTitle(row.action), QString::fromUtf8(row.title));
    EXPECT_EQ(windowActionDescription(row.action), QString::fromUtf8(row.description));
}

const DescriptionRow kDescriptions[] = {
    {"Center", A::center, "Center", "Center focused window in screen."},
    {"CenterHalf", A::centerHalf, "Center Half", "Resize focused window to the half of the screen and center."},
    {"Maximize", A::maximize, "Maximize", "Maximize focused window to fit the screen."},
    {"MaximizeHeight", A::maximizeHeight, "Maximize Height", "Maximize height of focused window to fit the screen."},
    {"MaximizeWidth", A::maximizeWidth, "Maximize Width", "Maximize width of focused window to fit the screen."},
    {"LeftHalf", A::leftHalf, "Left Half", "Resize focused window to the left half of the screen."},
    {"RightHalf", A::rightHalf, "Right Half", "Resize focused window to the right half of the screen."},
    {"FirstThird", A::firstThird, "First Third", "Resize focused window to the first third of the screen."},
    {"FirstTwoThird", A::firstTwoThird, "First Two Thirds",
     "Resize focused window to the first two thirds of the screen."},
    {"TopLeftQuarter", A::topLeftQuarter, "Top Left Quarter",
     "Resize focused window to the top left quarter of the screen."},
    {"FirstFourth", A::firstFourth, "First Fourth", "Resize focused window to the first fourth of the screen."},
    {"FirstThreeFourth", A::firstThreeFourth, "First Three Fourths",
     "Resize focused window to the first three fourths of the screen."},
    {"TopThreeFourth", A::topThreeFourth, "Top Three Fourths",
     "Resize focused window to the top three fourths of the screen."},
    {"TopLeftSixth", A::topLeftSixth, "Top Left Sixth", "Resize focused window to the top left sixth of the screen."},
    {"BottomRightSixthKeepsItsSpelling", A::bottomRightSixth, "Bottom Right Sixth",
     "Resize focused window to the bottomr rigth sixth of the screen."},
    {"MoveLeft", A::moveLeft, "Move Left", "Move focused window to the left edge of the screen."},
    {"ReasonableSize", A::reasonableSize, "Reasonable Size",
     "Resize focused window to 60% of the screen (Maximum: 1024x900)."},
    {"RestoreKeepsItsSpelling", A::restore, "Restore", "Restore focused window to it's last position."},
    {"NextDisplay", A::nextDisplay, "Next Display", "Move focused window to next display."},
    {"PreviousDisplay", A::previousDisplay, "Previous Display", "Move focused window to previous display."},
    {"MakeLarger", A::makeLarger, "Make Larger", "Increase the focused window until it reaches the screen size."},
    {"MakeSmaller", A::makeSmaller, "Make Smaller", "Decrease the focused window until it reaches 25% of the screen."},
    {"ToggleFullscreen", A::toggleFullscreen, "Toggle Fullscreen", "Toggle fullscreen mode of focused window."},
    {"NextDesktop", A::nextDesktop, "Next Desktop", "Move focused window to next desktop."},
};

INSTANTIATE_TEST_SUITE_P(WindowActions, WindowActionTexts, ::testing::ValuesIn(kDescriptions), RowName());

TEST(WindowActions, EveryActionHasATitleAndADescriptionOfItsOwn) {
    QStringList titles, descriptions;
    for (const A action : allWindowActions()) {
        titles << windowActionTitle(action);
        descriptions << windowActionDescription(action);
    }
    EXPECT_EQ(QSet<QString>(titles.begin(), titles.end()).size(), 45);
    EXPECT_EQ(QSet<QString>(descriptions.begin(), descriptions.end()).size(), 45);
}

TEST(WindowManagementGaps, HaveTheirLabelsAndPoints) {
    using G = WindowManagementGap;
    EXPECT_EQ(windowManagementGapLabel(G::small), QStringLiteral("Small (14px)"));
    EXPECT_EQ(windowManagementGapLabel(G::medium), QStringLiteral("Medium (32px)"));
    EXPECT_EQ(windowManagementGapLabel(G::large), QStringLiteral("Large (64px)"));
    EXPECT_EQ(windowManagementGapLabel(G::extraLage), QStringLiteral("Extra Large (128px)"));
    EXPECT_EQ(windowManagementGapPoints(G::none), 0);
    EXPECT_EQ(windowManagementGapPoints(G::small), 14);
    EXPECT_EQ(windowManagementGapPoints(G::medium), 32);
    EXPECT_EQ(windowManagementGapPoints(G::large), 64);
    EXPECT_EQ(windowManagementGapPoints(G::extraLage), 128);
}

TEST(WindowManagementGaps, AreStoredByTheirRawValues) {
    for (const WindowManagementGap gap : allWindowManagementGaps())
        EXPECT_EQ(windowManagementGapFromRawValue(rawValue(gap)), gap);
    EXPECT_EQ(rawValue(WindowManagementGap::extraLage), QStringLiteral("extraLage"));
    EXPECT_EQ(windowManagementGapFromRawValue(QStringLiteral("extraLarge")), std::nullopt);
    EXPECT_EQ(windowManagementGapFromRawValue(QStringLiteral("Small")), std::nullopt);
    EXPECT_EQ(windowManagementGapFromRawValue(QString()), std::nullopt);
}

}  // namespace
}  // namespace vantrel::test
