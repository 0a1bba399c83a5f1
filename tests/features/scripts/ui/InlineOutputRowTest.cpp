// What an inline script printed, in its row of root search: the colours its
// escape sequences ask for, and the room the row has.
#include "support/ScreenshotTestSupport.h"
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/CommandScheduler.h"
#include "features/scripts/ScriptCommandActionProvider.h"
#include "kit/NotificationCenter.h"
#include "kit/UserDefaults.h"
#include "ui/toolkit/ResultList.h"
#include "ui/toolkit/Theme.h"

#include <QTest>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// Whether the image has a pixel close to the colour, and where the leftmost
// and rightmost of them are (-1 when none).
struct ColourSpan {
    int left = -1;
    int right = -1;
    bool found() const { return left >= 0; }
};

ColourSpan spanOf(const QImage& picture, const QColor& wanted) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    ColourSpan span;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - wanted.red()) + std::abs(c.green() - wanted.green()) +
                                 std::abs(c.blue() - wanted.blue());
            if (distance > 60) continue;
            if (span.left < 0 || x < span.left) span.left = x;
            span.right = std::max(span.right, x);
        }
    return span;
}

// The row without its icon (the icon's pixels may have any colour).
constexpr int iconEnd = 8 + 10 + ResultListDelegate::iconSize + 4;
QImage afterIcon(const QImage& row) {
    return row.copy(iconEnd, 0, row.width() - iconEnd, row.height());
}

class InlineOutputRowTest : public ::testing::Test {
protected:
    void SetUp() override { Theme::setCurrent(Theme::Appearance::light); }
    void TearDown() override { Theme::setCurrent(Theme::Appearance::light); }

    // Runs the script as the scheduler does and makes the row root search shows for it.
    ListItem rowAfterRun(const QByteArray& body) {
        ScriptCommand command =
            scripts.script(QStringLiteral("build-status.sh"), body, ScriptCommand::RunMode::inline_);
        command.displayName = QStringLiteral("Build Status");
        command.packageName = QStringLiteral("CI");
        command.refreshTime = CommandRefreshTime::minutes(5);
        scheduler.run(command);
        EXPECT_TRUE(waitUntil([&] { return scheduler.lastRun(command).has_value(); }, 10000));

        ScriptCommandActionProvider provider(command, nullptr, QString(), {}, nullptr, &scheduler);
        ListItem row;
        row.id = command.id;
        row.title = command.displayName;
        row.subtitle = command.packageName;
        row.kind = ListItem::Kind::command;
        row.icon = command.icon.small;
        if (const auto output = provider.accessory()) row.accessory = output->toString();
        row.styledAccessory = inlineOutputRuns(command, &scheduler);
        return row;
    }

    // The row drawn in a list of that width.
    QImage draw(const ListItem& row, int width) {
        sections = {{QStringLiteral("results"), QStringLiteral("Results"), {row}}};
        list = std::make_unique<ResultListView>();
        list->resize(width, 120);
        list->setSections(sections, std::nullopt);
        list->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(list.get()));
        const int rowIndex = list->resultModel()->rowForItem(0);
        const QRect rect = list->visualRect(list->resultModel()->index(rowIndex));
        return list->viewport()->grab(rect).toImage();
    }

    ScriptFolder scripts;
    NotificationCenter center;
    UserDefaults defaults{scripts.file(QStringLiteral("scheduler.conf"))};
    CommandScheduler scheduler{[] { return std::vector<ScriptCommand>{}; }, &defaults, &center};
    std::vector<ListSection> sections;
    std::unique_ptr<ResultListView> list;
};

// Red, green and a 24-bit blue, as a CI script would print them.
const QByteArray kColouredOutput =
    "printf '\\033[1;31mFAILED\\033[0m 3 of 120 checks, \\033[32mdeploy ready\\033[0m on "
    "\\033[38;2;0;0;255mmain@4f2a9c1\\033[0m\\n'\n";

TEST_F(InlineOutputRowTest, OutputKeepsItsColoursAndTakesTheRoomOfTheRow) {
    const ListItem row = rowAfterRun(kColouredOutput);
    ASSERT_TRUE(row.accessory);
    EXPECT_EQ(*row.accessory, QStringLiteral("FAILED 3 of 120 checks, deploy ready on main@4f2a9c1"));
    ASSERT_EQ(row.styledAccessory.size(), 5u);
    EXPECT_EQ(row.styledAccessory[0].foreground, QStringLiteral("terminalRed"));
    EXPECT_EQ(row.styledAccessory[2].foreground, QStringLiteral("terminalGreen"));
    EXPECT_EQ(row.styledAccessory[4].foreground, QStringLiteral("#0000ff"));

    // Wide enough: all of it, in its colours, far wider than a tag.
    const Theme& theme = Theme::current();
    const QImage wide = draw(row, 900);
    const ColourSpan red = spanOf(wide, theme.named(QStringLiteral("terminalRed")));
    const ColourSpan green = spanOf(wide, theme.named(QStringLiteral("terminalGreen")));
    const ColourSpan blue = spanOf(wide, QColor(0, 0, 255));
    ASSERT_TRUE(red.found());
    ASSERT_TRUE(green.found());
    ASSERT_TRUE(blue.found());
    EXPECT_LT(red.right, green.left);
    EXPECT_LT(green.right, blue.left);
    EXPECT_GT(blue.right - red.left, 300);
    // The title keeps its place on the left, after the icon.
    const ColourSpan wideTitle = spanOf(afterIcon(wide), theme.primaryText);
    ASSERT_TRUE(wideTitle.found());
    EXPECT_LT(wideTitle.left + iconEnd, red.left);

    // Narrow: the title stays, the end of the output gives way.
    const QImage narrow = draw(row, 520);
    EXPECT_TRUE(spanOf(narrow, theme.named(QStringLiteral("terminalRed"))).found());
    EXPECT_FALSE(spanOf(narrow, QColor(0, 0, 255)).found());
    const ColourSpan title = spanOf(afterIcon(narrow), theme.primaryText);
    ASSERT_TRUE(title.found());
    EXPECT_LT(title.left, 20);
    EXPECT_GT(title.right - title.left, 60);
}

TEST_F(InlineOutputRowTest, Screenshots) {
    const ListItem row = rowAfterRun(kColouredOutput);
    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        ThemedFrame frame(QSize(750, 70));
        ResultListView view(&frame);
        frame.column()->addWidget(&view);
        sections = {{QStringLiteral("results"), QStringLiteral("Script Commands"), {row}}};
        view.setSections(sections, 0);
        frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
        saveScreenshot(frame, QStringLiteral("inline-output-row-") + suffix);
    });
}

}  // namespace
}  // namespace vantrel::test
