// What a new user sees first all works: nothing is suggested that cannot run,
// what cannot work in this build is not listed at all, and what is still to
// come says so on its row.
#include "support/RootSearchTestSupport.h"

#include "core/commands/BuiltinCommandRunner.h"

namespace vantrel::test {
namespace {

class HomeOffersWhatWorksTest : public RootSearchFixture {};

TEST_F(HomeOffersWhatWorksTest, SuggestionsRunAndComingCommandsSaySo) {
    ASSERT_TRUE(start());
    type(QString());
    const ListSection* suggestions = controller->section(RootSearchController::suggestionsSectionId);
    ASSERT_TRUE(suggestions);
    EXPECT_FALSE(suggestions->items.empty());
    for (const ListItem& item : suggestions->items) {
        ASSERT_TRUE(item.command) << item.id.toStdString();
        EXPECT_EQ(registry->availability(item.command->id().rawValue), CommandAvailability::available)
            << item.id.toStdString();
    }

    // Every command of the registry: not in this build → nowhere; coming →
    // found, with its state; everything else found as it is.
    for (const auto& command : registry->commands()) {
        // (Commands of switched-off packages and hidden ones are never listed.)
        if (!registry->isEnabled(*command) || command->visibility() != VantrelCommandVisibility::public_) continue;
        const QString id = command->id().rawValue;
        type(command->displayName());
        const ListItem* row = findItem(id);
        switch (registry->availability(id)) {
            case CommandAvailability::notInThisBuild:
                EXPECT_FALSE(row) << id.toStdString() << " cannot work in this build but is listed";
                break;
            case CommandAvailability::coming:
                ASSERT_TRUE(row) << id.toStdString();
                EXPECT_EQ(row->accessory.value_or(QString()), RootSearchController::comingSoonAccessory)
                    << id.toStdString();
                break;
            case CommandAvailability::available:
                if (row) {
                    EXPECT_NE(row->accessory.value_or(QString()), RootSearchController::comingSoonAccessory);
                }
                break;
        }
    }
    // A few a new user would otherwise meet first.
    for (const char* id : {"dailyUpdateForm", "reportError"})
        EXPECT_EQ(registry->availability(QString::fromLatin1(id)), CommandAvailability::notInThisBuild) << id;
    // Clipboard history is a feature of this build.
    EXPECT_EQ(registry->availability(QStringLiteral("clipboardHistory")), CommandAvailability::available);
}

TEST_F(HomeOffersWhatWorksTest, AHandlerMakesAComingCommandAvailable) {
    EXPECT_EQ(registry->availability(QStringLiteral("jira_createIssue")), CommandAvailability::coming);
    registry->setCommandHandler(QStringLiteral("jira_createIssue"),
                                [](const VantrelCommand&, const CommandRunContext&) { return CommandOutcome::done(); });
    EXPECT_EQ(registry->availability(QStringLiteral("jira_createIssue")), CommandAvailability::available);
    EXPECT_EQ(registry->command(CommandIdentifier("jira_createIssue"))->run({}).kind, CommandOutcome::Kind::done);
}

}  // namespace
}  // namespace vantrel::test
