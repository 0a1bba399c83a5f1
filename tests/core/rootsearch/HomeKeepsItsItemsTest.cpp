// The home screen keeps its "Commands" and "Apps" rows between empty queries
// and makes them again only when something they are made of changed: every
// change a user can make shows on the next empty query, and nothing is made
// again while nothing changed.
#include "support/RootSearchTestSupport.h"

#include "core/commands/BuiltinCommandRunner.h"

#include <QFile>

namespace vantrel::test {
namespace {

class HomeKeepsItsItemsTest : public RootSearchFixture {
protected:
    void SetUp() override {
        RootSearchFixture::SetUp();
        writeApplications({QStringLiteral("Alpha Notes"), QStringLiteral("Beta Paint"), QStringLiteral("Gamma Maps")});
        ASSERT_TRUE(start());
        home();
    }

    // Back to the empty query from a typed one, as a user clearing the bar.
    void home() {
        type(QStringLiteral("a"));
        type(QString());
    }

    const ListItem* homeItem(const QString& sectionId, const QString& title) const {
        if (const ListSection* section = controller->section(sectionId))
            for (const ListItem& item : section->items)
                if (item.title == title) return &item;
        return nullptr;
    }
    const ListItem* app(const QString& title) const {
        return homeItem(QString(RootSearchController::appsSectionId), title);
    }
    const ListItem* command(const QString& id) const {
        if (const ListSection* section = controller->section(QString(RootSearchController::commandsSectionId)))
            for (const ListItem& item : section->items)
                if (item.id == id) return &item;
        return nullptr;
    }
    QString appKey(const QString& title) const {
        const ListItem* item = app(title);
        return item && item->recordKey() ? *item->recordKey() : QString();
    }
    // The action objects behind the home rows: the same objects mean the
    // rows were kept, new ones that they were made again.
    std::vector<const ActionProvider*> homeProviders() const {
        std::vector<const ActionProvider*> providers;
        for (const QString& id : {QString(RootSearchController::commandsSectionId),
                                 QString(RootSearchController::appsSectionId)})
            if (const ListSection* section = controller->section(id))
                for (const ListItem& item : section->items) providers.push_back(item.actionProvider.get());
        return providers;
    }
    QStringList titles(const QString& sectionId) const {
        QStringList out;
        if (const ListSection* section = controller->section(sectionId))
            for (const ListItem& item : section->items) out << item.title;
        return out;
    }
};

TEST_F(HomeKeepsItsItemsTest, NothingChangedKeepsEveryRowAndItsOrder) {
    ASSERT_TRUE(app(QStringLiteral("Beta Paint")));
    ASSERT_TRUE(command(QStringLiteral("clipboardHistory")));
    const std::vector<const ActionProvider*> before = homeProviders();
    const QStringList apps = titles(QString(RootSearchController::appsSectionId));
    const QStringList commands = titles(QString(RootSearchController::commandsSectionId));

    home();
    EXPECT_EQ(homeProviders(), before);
    EXPECT_EQ(titles(QString(RootSearchController::appsSectionId)), apps);
    EXPECT_EQ(titles(QString(RootSearchController::commandsSectionId)), commands);
    // Whitespace only is the home screen too, and so are sections built
    // without showing them.
    type(QStringLiteral("  "));
    EXPECT_EQ(titles(QString(RootSearchController::appsSectionId)), apps);
    EXPECT_EQ(titles(QString(RootSearchController::commandsSectionId)), commands);
    const std::vector<ListSection> built = controller->sectionsFor(QString());
    for (const ListSection& section : built) {
        if (section.id == RootSearchController::appsSectionId) {
            EXPECT_EQ(section.items.size(), static_cast<size_t>(apps.size()));
        }
    }
}

TEST_F(HomeKeepsItsItemsTest, AnAliasOrHotkeyShowsOnTheNextEmptyQuery) {
    const QString key = appKey(QStringLiteral("Beta Paint"));
    ASSERT_FALSE(key.isEmpty());
    launcher->search().setAlias(QStringLiteral("bp"), key);
    home();
    ASSERT_TRUE(app(QStringLiteral("Beta Paint")));
    EXPECT_EQ(app(QStringLiteral("Beta Paint"))->accessory.value_or(QString()), QStringLiteral("bp"));
    EXPECT_EQ(app(QStringLiteral("Beta Paint"))->alias.value_or(QString()), QStringLiteral("bp"));

    // A command's alias replaces its own accessory.
    launcher->search().setAlias(QStringLiteral("ch"), QStringLiteral("clipboardHistory"));
    home();
    ASSERT_TRUE(command(QStringLiteral("clipboardHistory")));
    EXPECT_EQ(command(QStringLiteral("clipboardHistory"))->accessory.value_or(QString()), QStringLiteral("ch"));

    launcher->search().setHotkey(QStringLiteral("Ctrl+Alt+B"), key);
    home();
    const ListItem* beta = app(QStringLiteral("Beta Paint"));
    ASSERT_TRUE(beta && beta->searchItem && beta->searchItem->record());
    EXPECT_EQ(beta->searchItem->record()->hotkey.value_or(QString()), QStringLiteral("Ctrl+Alt+B"));

    // And taken away again.
    launcher->search().setAlias(std::nullopt, key);
    home();
    EXPECT_FALSE(app(QStringLiteral("Beta Paint"))->accessory.has_value());
}

TEST_F(HomeKeepsItsItemsTest, AFavouriteShowsOnTheNextEmptyQuery) {
    ASSERT_TRUE(app(QStringLiteral("Gamma Maps")));
    ASSERT_TRUE(controller->addToFavorites(*app(QStringLiteral("Gamma Maps"))));
    home();
    EXPECT_EQ(titles(QString(RootSearchController::favoritesSectionId)), QStringList{QStringLiteral("Gamma Maps")});
    const ListItem* gamma = app(QStringLiteral("Gamma Maps"));
    ASSERT_TRUE(gamma && gamma->searchItem && gamma->searchItem->record());
    EXPECT_TRUE(gamma->searchItem->record()->favorite.has_value());

    ASSERT_TRUE(controller->removeFromFavorites(*app(QStringLiteral("Gamma Maps"))));
    home();
    EXPECT_TRUE(titles(QString(RootSearchController::favoritesSectionId)).isEmpty());
    EXPECT_FALSE(app(QStringLiteral("Gamma Maps"))->searchItem->record()->favorite.has_value());
}

TEST_F(HomeKeepsItsItemsTest, AnInstalledOrUninstalledApplicationShowsOnTheNextEmptyQuery) {
    writeApplications({QStringLiteral("Delta Sketch")});
    ASSERT_TRUE(waitUntil(
        [&] {
            home();
            return app(QStringLiteral("Delta Sketch")) != nullptr;
        },
        15000))
        << titles(QString(RootSearchController::appsSectionId)).join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(app(QStringLiteral("Alpha Notes")));

    ASSERT_TRUE(QFile::remove(folders.homeApplications() + QStringLiteral("/alphanotes.desktop")));
    ASSERT_TRUE(waitUntil(
        [&] {
            home();
            return app(QStringLiteral("Alpha Notes")) == nullptr;
        },
        15000));
    EXPECT_TRUE(app(QStringLiteral("Delta Sketch")));
}

TEST_F(HomeKeepsItsItemsTest, ASwitchedOffCommandLeavesTheNextEmptyQuery) {
    ASSERT_TRUE(command(QStringLiteral("clipboardHistory")));
    const quint64 version = repository->table().version();
    ASSERT_TRUE(registry->setPackageConfiguration(PackageIdentifier(QStringLiteral("clipboardHistory")),
                                                  [](QVariantMap& payload, bool&) {
                                                      payload.insert(QString(PackageRegistry::disabledCommandsKey),
                                                                     QStringList{QStringLiteral("clipboardHistory")});
                                                  }));
    // Only the configuration changed, not a single search record.
    EXPECT_EQ(repository->table().version(), version);
    home();
    EXPECT_FALSE(command(QStringLiteral("clipboardHistory")));

    ASSERT_TRUE(registry->setPackageConfiguration(
        PackageIdentifier(QStringLiteral("clipboardHistory")),
        [](QVariantMap& payload, bool&) { payload.remove(QString(PackageRegistry::disabledCommandsKey)); }));
    home();
    EXPECT_TRUE(command(QStringLiteral("clipboardHistory")));
}

TEST_F(HomeKeepsItsItemsTest, AHandlerTakenAwayOrGivenShowsOnTheNextEmptyQuery) {
    // A listed command that works only through the handler its feature gave.
    QString id;
    if (const ListSection* section = controller->section(QString(RootSearchController::commandsSectionId)))
        for (const ListItem& item : section->items)
            if (registry->commandHandler(item.id) &&
                builtinCommandAvailability(item.id) == CommandAvailability::coming && !item.alias) {
                id = item.id;
                break;
            }
    ASSERT_FALSE(id.isEmpty());
    const PackageRegistry::CommandHandler handler = *registry->commandHandler(id);
    EXPECT_NE(command(id)->accessory.value_or(QString()), RootSearchController::comingSoonAccessory);

    // The registry changes, the search records do not.
    const quint64 version = repository->table().version();
    registry->removeCommandHandler(id);
    EXPECT_EQ(repository->table().version(), version);
    home();
    ASSERT_TRUE(command(id));
    EXPECT_EQ(command(id)->accessory.value_or(QString()), RootSearchController::comingSoonAccessory);

    registry->setCommandHandler(id, handler);
    home();
    ASSERT_TRUE(command(id));
    EXPECT_NE(command(id)->accessory.value_or(QString()), RootSearchController::comingSoonAccessory);
}

TEST_F(HomeKeepsItsItemsTest, VisitsReorderTheSuggestionsOnTheNextEmptyQuery) {
    auto visit = [&](const QString& title, int times) {
        const ListItem* item = app(title);
        ASSERT_TRUE(item && item->searchItem);
        // A visit reloads the list: the row is read before.
        const SearchItem result = *item->searchItem;
        for (int i = 0; i < times; ++i) ASSERT_TRUE(launcher->search().visit(result));
    };
    visit(QStringLiteral("Gamma Maps"), 2);
    visit(QStringLiteral("Beta Paint"), 1);
    home();
    QStringList suggested = titles(QString(RootSearchController::suggestionsSectionId));
    ASSERT_TRUE(suggested.contains(QStringLiteral("Gamma Maps")) && suggested.contains(QStringLiteral("Beta Paint")))
        << suggested.join(QStringLiteral(", ")).toStdString();
    EXPECT_LT(suggested.indexOf(QStringLiteral("Gamma Maps")), suggested.indexOf(QStringLiteral("Beta Paint")));
    // The row carries the visited record.
    ASSERT_TRUE(app(QStringLiteral("Beta Paint"))->searchItem->record()->frecencyDate.has_value());

    visit(QStringLiteral("Beta Paint"), 3);
    home();
    suggested = titles(QString(RootSearchController::suggestionsSectionId));
    EXPECT_LT(suggested.indexOf(QStringLiteral("Beta Paint")), suggested.indexOf(QStringLiteral("Gamma Maps")))
        << suggested.join(QStringLiteral(", ")).toStdString();
}

}  // namespace
}  // namespace vantrel::test
