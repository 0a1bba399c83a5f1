#include "support/RootSearchTestSupport.h"

#include "core/rootsearch/ExpressionParser.h"
#include "platform/qalculate/QalculateCalculator.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// Root search with the real calculator (libqalculate behind ExpressionParser).
class RootSearchCalculatorTest : public RootSearchFixture {
protected:
    // Types a calculation and waits for its answer: on the first use of the
    // engine in this process it comes once the engine has loaded.
    bool typeCalculation(const QString& text) {
        type(text);
        return waitUntil([this] { return controller->section(QStringLiteral("calculator")) != nullptr; }, 30000);
    }

    ExpressionParser parser{std::make_shared<QalculateCalculator>()};
};

TEST_F(RootSearchCalculatorTest, TheFirstCalculationDoesNotHoldUpTypingAndIsAnsweredOnceTheEngineHasLoaded) {
    if (QalculateCalculator::isEngineLoaded()) GTEST_SKIP() << "an earlier case of this process loaded the engine";
    writeApplications({QStringLiteral("Firefox"), QStringLiteral("3*4 Grid")});
    ASSERT_TRUE(start(&parser));
    EXPECT_FALSE(QalculateCalculator::isEngineLoaded());

    type(QStringLiteral("3*4"));
    // The results are there at once; the answer is not yet.
    EXPECT_EQ(sectionIds(), QStringList({"appsAndCommands", "fallbackSuggestions"}));
    EXPECT_EQ(controller->selectedItem()->title, QStringLiteral("3*4 Grid"));

    ASSERT_TRUE(waitUntil([this] { return controller->section(QStringLiteral("calculator")) != nullptr; }, 30000));
    EXPECT_TRUE(QalculateCalculator::isEngineLoaded());
    EXPECT_EQ(sectionIds(), QStringList({"calculator", "appsAndCommands", "fallbackSuggestions"}));
    const ListItem& item = controller->sections().front().items.front();
    EXPECT_EQ(item.title, QStringLiteral("12"));
    EXPECT_EQ(controller->queryWithCalculatorResult(), QStringLiteral("3*4"));
    EXPECT_EQ(controller->selectedItem()->id, QStringLiteral("expression-3*4"));

    // From now on every calculation is answered as it is typed.
    type(QStringLiteral("5 km to m"));
    ASSERT_TRUE(controller->section(QStringLiteral("calculator")));
    EXPECT_EQ(controller->sections().front().items.front().title, QStringLiteral("5000 m"));
}

TEST_F(RootSearchCalculatorTest, ALoadEndingAfterTheQueryChangedAnswersWhatIsTypedThen) {
    if (QalculateCalculator::isEngineLoaded()) GTEST_SKIP() << "an earlier case of this process loaded the engine";
    ASSERT_TRUE(start(&parser));
    type(QStringLiteral("3*4"));
    type(QStringLiteral("3*4+1"));
    ASSERT_TRUE(waitUntil([this] { return controller->section(QStringLiteral("calculator")) != nullptr; }, 30000));
    EXPECT_EQ(controller->sections().front().items.front().title, QStringLiteral("13"));

    // Words typed meanwhile stay without a calculator once it has loaded.
    type(QStringLiteral("file search"));
    EXPECT_FALSE(controller->section(QStringLiteral("calculator")));
}

TEST_F(RootSearchCalculatorTest, ACalculationShowsTheCalculatorAboveTheResults) {
    // An application whose name starts with the calculation: both sections have items.
    writeApplications({QStringLiteral("Firefox"), QStringLiteral("3*4 Grid")});
    ASSERT_TRUE(start(&parser));

    ASSERT_TRUE(typeCalculation(QStringLiteral("3*4")));

    EXPECT_EQ(sectionIds(), QStringList({"calculator", "appsAndCommands", "fallbackSuggestions"}));
    EXPECT_EQ(controller->sections().front().title, QStringLiteral("Calculator"));
    ASSERT_EQ(controller->sections().front().items.size(), 1u);
    const ListItem& item = controller->sections().front().items.front();
    EXPECT_EQ(item.id, QStringLiteral("expression-3*4"));
    EXPECT_EQ(item.title, QStringLiteral("12"));
    EXPECT_EQ(item.subtitle, QStringLiteral("3*4"));
    EXPECT_EQ(controller->queryWithCalculatorResult(), QStringLiteral("3*4"));
    EXPECT_EQ(itemIds(QStringLiteral("appsAndCommands")).size(), 1);
    EXPECT_EQ(controller->section(QStringLiteral("appsAndCommands"))->items.front().title, QStringLiteral("3*4 Grid"));
    // The answer is what Return takes.
    EXPECT_EQ(controller->selectedItem()->id, QStringLiteral("expression-3*4"));
}

TEST_F(RootSearchCalculatorTest, OneCharacterAndPlainWordsGiveNoCalculator) {
    ASSERT_TRUE(start(&parser));
    type(QStringLiteral("2"));
    EXPECT_FALSE(controller->section(QStringLiteral("calculator")));
    type(QStringLiteral("file search"));
    EXPECT_FALSE(controller->section(QStringLiteral("calculator")));
    EXPECT_TRUE(controller->section(QStringLiteral("appsAndCommands")));
}

TEST_F(RootSearchCalculatorTest, TheAnswerIsCopiedInThreeFormsAndCanBePutInTheSearchBar) {
    ASSERT_TRUE(start(&parser));
    ASSERT_TRUE(typeCalculation(QStringLiteral("2*3")));
    const ListItem item = controller->sections().front().items.front();
    auto* provider = dynamic_cast<ExpressionActionProvider*>(item.actionProvider.get());
    ASSERT_TRUE(provider);

    QStringList sections;
    for (const auto& section : provider->sections()) sections << section.id;
    EXPECT_EQ(sections, QStringList({"primaryAndSecondary", "info"}));
    QStringList ids, titles;
    for (const MenuItem& menu : provider->menuItems()) {
        ids << menu.id;
        titles << menu.title;
    }
    EXPECT_EQ(ids, QStringList({"copyAnswer", "copyUnformattedAnswer", "copyQuestionAndAnswer", "insertResult",
                                "openCalculatorInfoLink"}));
    EXPECT_EQ(titles.mid(0, 4), QStringList({"Copy Answer", "Copy Unformatted Answer", "Copy Question and Answer",
                                             "Put Answer in Search Bar"}));

    const CommandOutcome copied = controller->chooseItem(item);
    EXPECT_EQ(copied.hudText, QStringLiteral("Copied to clipboard"));
    EXPECT_EQ(copied.resultText, QStringLiteral("6"));
    EXPECT_EQ(provider->menuItems()[2].perform().resultText, QStringLiteral("2*3 = 6"));

    events.clear();
    provider->menuItems()[3].perform();
    EXPECT_EQ(controller->searchText(), QStringLiteral("6"));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, RootSearchEvent::Kind::searchTextReplaced);
    EXPECT_EQ(events.front().text, QStringLiteral("6"));
}

TEST_F(RootSearchCalculatorTest, AUnitConversionOffersToSwapItsUnits) {
    ASSERT_TRUE(start(&parser));
    ASSERT_TRUE(typeCalculation(QStringLiteral("5 km to mi")));
    ASSERT_EQ(sectionIds().value(0), QStringLiteral("calculator"));
    const ListItem item = controller->sections().front().items.front();
    auto* provider = dynamic_cast<ExpressionActionProvider*>(item.actionProvider.get());
    ASSERT_TRUE(provider);
    const auto sections = provider->sections();
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[1].id, QStringLiteral("unitConversionSection"));
    ASSERT_EQ(sections[1].items.size(), 1u);
    EXPECT_EQ(sections[1].items[0].id, QStringLiteral("swapValues"));
    EXPECT_EQ(sections[1].items[0].title, QStringLiteral("Swap Units"));

    sections[1].items[0].perform();
    EXPECT_TRUE(controller->searchText().startsWith(QStringLiteral("5 ")));
    EXPECT_TRUE(controller->searchText().endsWith(QStringLiteral(" to km"))) << controller->searchText().toStdString();
    EXPECT_TRUE(controller->section(QStringLiteral("calculator")));
}

}  // namespace
}  // namespace vantrel::test
