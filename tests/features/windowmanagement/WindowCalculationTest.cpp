// The layouts as numbers: every action on screens of several sizes (odd ones
// and screens that do not start at the origin included) with every gap.
#include "features/windowmanagement/WindowAction.h"
#include "features/windowmanagement/WindowCalculation.h"
#include "support/QtPrinters.h"
#include "support/TableTests.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>


namespace vantrel::test {
namespace {

using A = WindowAction;

std::optional<QRectF> layout(A action, const QRectF& screen, double gap, const QRectF& window = QRectF(50, 60, 400, 300)) {
    return WindowCalculationEngine().resize(window, gap, screen, std::nullopt, std::nullopt, std::nullopt, action);
}

// MARK: Exact rectangles

struct ExactRow {
    const char* name;
    A action;
    QRectF screen;
    WindowManagementGap gap;
    QRectF expected;
};

class LayoutRectangles : public ::testing::TestWithParam<ExactRow> {};

TEST_P(LayoutRectangles, AreTheFlooredRegionWithTheGapInsets) {
    const ExactRow& row = GetParam();
    EXPECT_EQ(layout(row.action, row.screen, windowManagementGapPoints(row.gap)), std::optional<QRectF>(row.expected));
}

const QRectF kThousand(0, 0, 1000, 700);
// An odd-sized screen right of a 1920-wide one, below a 24-pixel panel.
const QRectF kOdd(1920, 24, 1001, 701);
using G = WindowManagementGap;

const ExactRow kExactRows[] = {
    {"LeftHalfOfAThousand", A::leftHalf, kThousand, G::none, {0, 0, 500, 700}},
    {"RightHalfOfAThousand", A::rightHalf, kThousand, G::none, {500, 0, 500, 700}},
    {"TopHalfOfAThousand", A::topHalf, kThousand, G::none, {0, 0, 1000, 350}},
    {"BottomHalfOfAThousand", A::bottomHalf, kThousand, G::none, {0, 350, 1000, 350}},
    {"FirstThirdIs333Wide", A::firstThird, kThousand, G::none, {0, 0, 333, 700}},
    {"CenterThirdFollowsTheFirst", A::centerThird, kThousand, G::none, {333, 0, 333, 700}},
    {"LastThirdEndsAtTheRightEdge", A::lastThird, kThousand, G::none, {667, 0, 333, 700}},
    {"FirstTwoThirdsAreTwoFlooredThirds", A::firstTwoThird, kThousand, G::none, {0, 0, 666, 700}},
    {"LastTwoThirdsEndAtTheRightEdge", A::lastTwoThird, kThousand, G::none, {334, 0, 666, 700}},
    {"TopRightQuarter", A::topRightQuarter, kThousand, G::none, {500, 0, 500, 350}},
    {"BottomLeftQuarter", A::bottomLeftQuarter, kThousand, G::none, {0, 350, 500, 350}},
    {"SecondFourth", A::secondFourth, kThousand, G::none, {250, 0, 250, 700}},
    {"ThirdFourth", A::thirdFourth, kThousand, G::none, {500, 0, 250, 700}},
    {"LastThreeFourths", A::lastThreeFourth, kThousand, G::none, {250, 0, 750, 700}},
    {"BottomThreeFourths", A::bottomThreeFourth, kThousand, G::none, {0, 175, 1000, 525}},
    {"TopCenterSixth", A::topCenterSixth, kThousand, G::none, {333, 0, 333, 350}},
    {"BottomRightSixth", A::bottomRightSixth, kThousand, G::none, {667, 350, 333, 350}},
    {"CenterHalf", A::centerHalf, kThousand, G::none, {250, 0, 500, 700}},
    {"Maximize", A::maximize, kThousand, G::none, {0, 0, 1000, 700}},
    {"CenterKeepsTheSize", A::center, kThousand, G::none, {300, 200, 400, 300}},
    {"MoveRightKeepsTheHeightAndTop", A::moveRight, kThousand, G::none, {600, 60, 400, 300}},
    {"MoveDownKeepsTheLeft", A::moveDown, kThousand, G::none, {50, 400, 400, 300}},
    {"MaximizeHeightKeepsTheColumn", A::maximizeHeight, kThousand, G::none, {50, 0, 400, 700}},
    {"MaximizeWidthKeepsTheRow", A::maximizeWidth, kThousand, G::none, {0, 60, 1000, 300}},
    // Small gap (14): 14 at the screen's border, 7 towards a neighbour.
    {"LeftHalfOfAnOddScreenWithSmallGap", A::leftHalf, kOdd, G::small, {1934, 38, 479, 673}},
    {"RightHalfOfAnOddScreenWithSmallGap", A::rightHalf, kOdd, G::small, {2428, 38, 479, 673}},
    {"CenterThirdOfAnOddScreenWithSmallGap", A::centerThird, kOdd, G::small, {2260, 38, 319, 673}},
    {"LastTwoThirdsOfAnOddScreenWithSmallGap", A::lastTwoThird, kOdd, G::small, {2262, 38, 645, 673}},
    {"TopRightQuarterOfAnOddScreenWithSmallGap", A::topRightQuarter, kOdd, G::small, {2428, 38, 479, 329}},
    {"MaximizeOfAnOddScreenWithSmallGap", A::maximize, kOdd, G::small, {1934, 38, 973, 673}},
    {"CenterIsInTheGapInsetScreen", A::center, kOdd, G::small, {2220, 224, 400, 300}},
    {"MoveLeftStopsAtTheGap", A::moveLeft, kOdd, G::small, {1934, 60, 400, 300}},
    {"MoveUpStopsAtTheGap", A::moveUp, kOdd, G::small, {50, 38, 400, 300}},
    {"ReasonableSizeIgnoresTheGap", A::reasonableSize, kOdd, G::small, {2120, 164, 600, 420}},
    {"ReasonableSizeOnAWideScreenIs1024By864", A::reasonableSize, QRectF(0, 0, 2560, 1440), G::none,
     {768, 288, 1024, 864}},
    {"ReasonableSizeIsAtMost1024By900", A::reasonableSize, QRectF(0, 0, 3840, 2160), G::large,
     {1408, 630, 1024, 900}},
    {"ExtraLargeGapOnMaximize", A::maximize, QRectF(0, 0, 1920, 1080), G::extraLage, {128, 128, 1664, 824}},
};

INSTANTIATE_TEST_SUITE_P(WindowCalculationEngine, LayoutRectangles, ::testing::ValuesIn(kExactRows), RowName());

// MARK: Every layout on every screen with every gap

struct Screen {
    const char* name;
    QRectF rect;
};
const Screen kScreens[] = {
    {"FullHd", {0, 0, 1920, 1080}},
    {"Laptop", {0, 27, 1366, 741}},
    {"OddBesideAnother", {1920, 0, 1001, 701}},
    {"Wide", {-2560, 0, 2560, 1440}},
    {"OddBothWays", {100, 37, 1279, 1023}},
};

struct Neighbours {
    A first;
    A second;
    bool horizontal;
    // The flooring leftover may sit between them (the second is aligned to the far edge).
    double divisor;
};
const Neighbours kNeighbours[] = {
    {A::leftHalf, A::rightHalf, true, 2},        {A::topHalf, A::bottomHalf, false, 2},
    {A::firstThird, A::centerThird, true, 1},    {A::centerThird, A::lastThird, true, 3},
    {A::firstTwoThird, A::lastThird, true, 3},   {A::firstThird, A::lastTwoThird, true, 3},
    {A::firstFourth, A::secondFourth, true, 1},  {A::secondFourth, A::thirdFourth, true, 1},
    {A::thirdFourth, A::lastFourth, true, 4},    {A::firstThreeFourth, A::lastFourth, true, 4},
    {A::firstFourth, A::lastThreeFourth, true, 4},
    {A::topLeftQuarter, A::topRightQuarter, true, 2}, {A::topLeftQuarter, A::bottomLeftQuarter, false, 2},
    {A::topLeftSixth, A::topCenterSixth, true, 1}, {A::topCenterSixth, A::topRightSixth, true, 3},
    {A::topLeftSixth, A::bottomLeftSixth, false, 2},
};

const A kRegionActions[] = {A::centerHalf,        A::maximize,          A::leftHalf,          A::rightHalf,
                            A::topHalf,           A::bottomHalf,        A::firstThird,        A::firstTwoThird,
                            A::centerThird,       A::lastTwoThird,      A::lastThird,         A::topLeftQuarter,
                            A::topRightQuarter,   A::bottomLeftQuarter, A::bottomRightQuarter, A::firstFourth,
                            A::secondFourth,      A::thirdFourth,       A::lastFourth,        A::firstThreeFourth,
                            A::lastThreeFourth,   A::topThreeFourth,    A::bottomThreeFourth, A::topLeftSixth,
                            A::topCenterSixth,    A::topRightSixth,     A::bottomLeftSixth,   A::bottomCenterSixth,
                            A::bottomRightSixth};

class EveryScreenAndGap : public ::testing::TestWithParam<std::tuple<Screen, WindowManagementGap>> {
protected:
    QRectF screen() const { return std::get<0>(GetParam()).rect; }
    double gap() const { return windowManagementGapPoints(std::get<1>(GetParam())); }
};

TEST_P(EveryScreenAndGap, RegionsAreWholePixelsInsideTheScreenAndTheGapFromItsBorder) {
    const QRectF s = screen();
    const double g = gap();
    for (const A action : kRegionActions) {
        SCOPED_TRACE(rawValue(action).toStdString());
        const std::optional<QRectF> r = layout(action, s, g);
        ASSERT_TRUE(r);
        for (const double value : {r->x(), r->y(), r->width(), r->height()}) EXPECT_EQ(value, std::floor(value));
        EXPECT_GT(r->width(), 0);
        EXPECT_GT(r->height(), 0);
        // An edge is either the whole gap from the screen's border or at least
        // half a gap inside (facing a neighbour).
        EXPECT_TRUE(r->left() == s.left() + g || r->left() >= s.left() + g / 2 + 1) << r->left();
        EXPECT_TRUE(r->top() == s.top() + g || r->top() >= s.top() + g / 2 + 1) << r->top();
        EXPECT_TRUE(r->right() == s.right() - g || r->right() <= s.right() - g / 2 - 1) << r->right();
        EXPECT_TRUE(r->bottom() == s.bottom() - g || r->bottom() <= s.bottom() - g / 2 - 1) << r->bottom();
    }
}

TEST_P(EveryScreenAndGap, NeighboursAreOneGapApartPlusWhatFlooringLeavesOver) {
    const QRectF s = screen();
    const double g = gap();
    for (const Neighbours& pair : kNeighbours) {
        SCOPED_TRACE(rawValue(pair.first).toStdString() + " / " + rawValue(pair.second).toStdString());
        const QRectF a = *layout(pair.first, s, g);
        const QRectF b = *layout(pair.second, s, g);
        const double between = pair.horizontal ? b.left() - a.right() : b.top() - a.bottom();
        if (pair.divisor <= 1) {
            EXPECT_EQ(between, g);
        } else {
            EXPECT_GE(between, g);
            EXPECT_LT(between, g + pair.divisor);
        }
    }
}

TEST_P(EveryScreenAndGap, CenterAndReasonableSizeAreCentred) {
    const QRectF s = screen();
    const QRectF centred = *layout(A::center, s, gap());
    EXPECT_LE(std::abs(centred.center().x() - s.center().x()), 0.5);
    EXPECT_LE(std::abs(centred.center().y() - s.center().y()), 0.5);
    const QRectF reasonable = *layout(A::reasonableSize, s, gap());
    EXPECT_EQ(reasonable.width(), std::min(std::floor(s.width() * 0.6), 1024.0));
    EXPECT_EQ(reasonable.height(), std::min(std::floor(s.height() * 0.6), 900.0));
    EXPECT_LE(std::abs(reasonable.center().x() - s.center().x()), 0.5);
}

std::string screenAndGapName(const ::testing::TestParamInfo<std::tuple<Screen, WindowManagementGap>>& info) {
    std::string gap = rawValue(std::get<1>(info.param)).toStdString();
    gap[0] = char(std::toupper(gap[0]));
    return std::string(std::get<0>(info.param).name) + "With" + gap + "Gap";
}

INSTANTIATE_TEST_SUITE_P(WindowCalculationEngine, EveryScreenAndGap,
                         ::testing::Combine(::testing::ValuesIn(kScreens),
                                            ::testing::ValuesIn(allWindowManagementGaps())),
                         screenAndGapName);

// MARK: Actions that work from the window

TEST(WindowCalculationEngine, MediumGapLeavesThirtyTwoPointsBetweenHalvesAndToTheEdges) {
    const QRectF screen(0, 0, 1920, 1080);
    const QRectF left = *layout(A::leftHalf, screen, 32);
    const QRectF right = *layout(A::rightHalf, screen, 32);
    EXPECT_EQ(left.left(), 32);
    EXPECT_EQ(right.left() - left.right(), 32);
    EXPECT_EQ(screen.right() - right.right(), 32);
    EXPECT_EQ(left.top(), 32);
    EXPECT_EQ(screen.bottom() - left.bottom(), 32);
}

TEST(WindowCalculationEngine, NextDisplayScalesTheWindowToTheTargetAndCentresIt) {
    const QRectF here(0, 0, 1440, 900);
    const QRectF there(1440, 0, 2560, 1440);
    const auto moved = WindowCalculationEngine().resize(QRectF(100, 100, 800, 600), 14, here, std::nullopt, there,
                                                        std::nullopt, A::nextDisplay);
    EXPECT_EQ(moved, std::optional<QRectF>(QRectF(1440 + 569, 240, 1422, 960)));
}

TEST(WindowCalculationEngine, PreviousDisplayUsesThePreviousScreen) {
    const QRectF here(1920, 0, 1920, 1080);
    const QRectF before(0, 0, 1920, 1080);
    const auto moved = WindowCalculationEngine().resize(QRectF(2000, 100, 800, 600), 0, here, before, std::nullopt,
                                                        std::nullopt, A::previousDisplay);
    EXPECT_EQ(moved, std::optional<QRectF>(QRectF(560, 240, 800, 600)));
}

TEST(WindowCalculationEngine, WithoutANeighbouringScreenTheFrameStays) {
    const QRectF window(100, 100, 800, 600);
    EXPECT_EQ(layout(A::nextDisplay, QRectF(0, 0, 1920, 1080), 14, window), std::optional<QRectF>(window));
    EXPECT_EQ(layout(A::previousDisplay, QRectF(0, 0, 1920, 1080), 14, window), std::optional<QRectF>(window));
}

TEST(WindowCalculationEngine, MakeLargerGrowsSixteenPointsOnEverySideAroundTheCentre) {
    const QRectF window(400, 250, 600, 400);
    const QRectF larger = *layout(A::makeLarger, QRectF(0, 0, 1440, 900), 32, window);
    EXPECT_EQ(larger.size(), QSizeF(632, 432));
    EXPECT_EQ(larger.center(), window.center());
}

TEST(WindowCalculationEngine, MakeSmallerShrinksUntilAQuarterOfTheScreen) {
    const QRectF screen(0, 0, 1440, 900);
    const QRectF window(400, 250, 600, 400);
    const QRectF smaller = *layout(A::makeSmaller, screen, 0, window);
    EXPECT_EQ(smaller.size(), QSizeF(568, 368));
    EXPECT_EQ(smaller.center(), window.center());
    const QRectF quarter(100, 100, 360, 225);
    EXPECT_EQ(layout(A::makeSmaller, screen, 0, quarter), std::optional<QRectF>(quarter));
}

TEST(WindowCalculationEngine, MakeLargerOfAWindowAsWideAsTheScreenOnlyGrowsTheHeight) {
    const QRectF screen(0, 0, 1000, 800);
    const QRectF larger = *layout(A::makeLarger, screen, 0, QRectF(0, 100, 1000, 400));
    EXPECT_EQ(larger, QRectF(0, 84, 1000, 432));
}

TEST(WindowCalculationEngine, RestoreGivesTheRememberedFrameAndNothingWithoutOne) {
    const QRectF screen(0, 0, 1920, 1080);
    const QRectF before(10, 20, 640, 480);
    EXPECT_EQ(WindowCalculationEngine().resize(QRectF(0, 0, 960, 1080), 14, screen, std::nullopt, std::nullopt, before,
                                               A::restore),
              std::optional<QRectF>(before));
    EXPECT_EQ(layout(A::restore, screen, 14), std::nullopt);
}

TEST(WindowCalculationEngine, FullscreenAndDesktopsHaveNoCalculation) {
    const WindowCalculationEngine engine;
    EXPECT_EQ(engine.actionToCalculationMap().size(), 42u);
    for (const A action : {A::toggleFullscreen, A::nextDesktop, A::previousDesktop}) {
        EXPECT_EQ(engine.actionToCalculationMap().count(action), 0u) << rawValue(action).toStdString();
        EXPECT_EQ(layout(action, QRectF(0, 0, 1920, 1080), 0), std::nullopt);
    }
}

}  // namespace
}  // namespace vantrel::test
