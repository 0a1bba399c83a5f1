// Root search keeps up with what its data sources deliver after the first
// load: an application installed while the list shows a query is listed
// without anyone asking for a reload, and the selection stays where it was.
#include "support/RootSearchTestSupport.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class RootSearchFollowsItsSourcesTest : public RootSearchFixture {
protected:
    QStringList resultTitles() const {
        QStringList titles;
        if (const ListSection* results = controller->section(QString(RootSearchController::resultsSectionId)))
            for (const ListItem& item : results->items) titles << item.title;
        return titles;
    }
};

TEST_F(RootSearchFollowsItsSourcesTest, AnApplicationInstalledWhileAQueryIsShownIsListedWithoutAReload) {
    writeApplications({QStringLiteral("Quill Notes"), QStringLiteral("Quarry Maps")});
    ASSERT_TRUE(start());
    type(QStringLiteral("qu"));
    ASSERT_TRUE(resultTitles().contains(QStringLiteral("Quill Notes")));
    ASSERT_FALSE(resultTitles().contains(QStringLiteral("Quokka Paint")));
    // The user moved down to the second result.
    ASSERT_TRUE(controller->setSelectedIndex(1));
    const QString selected = controller->selectedItem()->id;
    const int reloadsBefore = eventCount(RootSearchEvent::Kind::sectionsReloaded);

    // Installed while the launcher runs: the desktop entry lands in the
    // user's applications folder.
    writeApplications({QStringLiteral("Quokka Paint")});

    ASSERT_TRUE(waitUntil([&] { return resultTitles().contains(QStringLiteral("Quokka Paint")); }, 15000))
        << resultTitles().join(QStringLiteral(", ")).toStdString();
    EXPECT_GT(eventCount(RootSearchEvent::Kind::sectionsReloaded), reloadsBefore);
    // Same query, same selected item.
    EXPECT_EQ(controller->searchText(), QStringLiteral("qu"));
    ASSERT_TRUE(controller->selectedItem());
    EXPECT_EQ(controller->selectedItem()->id, selected);
    EXPECT_TRUE(logs->contains(QStringLiteral("Data source(s) partially updated")));

    // And removed again: it goes from the list the same way.
    ASSERT_TRUE(QFile::remove(folders.homeApplications() + QStringLiteral("/quokkapaint.desktop")));
    EXPECT_TRUE(waitUntil([&] { return !resultTitles().contains(QStringLiteral("Quokka Paint")); }, 15000));
}

TEST_F(RootSearchFollowsItsSourcesTest, SectionsForAnotherTextLeaveTheShownListAlone) {
    writeApplications({QStringLiteral("Quill Notes"), QStringLiteral("Vellum Reader")});
    ASSERT_TRUE(start());
    type(QStringLiteral("quill"));
    ASSERT_TRUE(controller->setSelectedIndex(0));
    const int reloadsBefore = eventCount(RootSearchEvent::Kind::sectionsReloaded);

    const std::vector<ListSection> other = controller->sectionsFor(QStringLiteral("vellum"));

    QStringList otherTitles;
    for (const ListSection& section : other)
        if (section.id == RootSearchController::resultsSectionId)
            for (const ListItem& item : section.items) otherTitles << item.title;
    EXPECT_EQ(otherTitles.value(0), QStringLiteral("Vellum Reader"));
    // The window's list, text and selection are as they were.
    EXPECT_EQ(controller->searchText(), QStringLiteral("quill"));
    EXPECT_EQ(resultTitles().value(0), QStringLiteral("Quill Notes"));
    EXPECT_EQ(controller->selectedIndex(), std::optional<int>(0));
    EXPECT_EQ(eventCount(RootSearchEvent::Kind::sectionsReloaded), reloadsBefore);
}

}  // namespace
}  // namespace vantrel::test
