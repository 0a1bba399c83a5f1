// The preferences window over a real database, registry and settings file:
// what its controls write, what they refuse, and how its pages look.
#include "support/AppTestSupport.h"
#include "support/ScreenshotTestSupport.h"

#include "core/api/FeatureContext.h"
#include "core/commands/VantrelCommandsSource.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/Features.h"
#include "kit/UserDefaults.h"
#include "ui/toolkit/KeyRecorder.h"
#include "ui/toolkit/Theme.h"
#include "ui/window/PreferencesWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

using Column = PreferencesWindow::Column;

class PreferencesWindowTest : public RegistryFixture {
protected:
    void SetUp() override {
        Theme::setCurrent(Theme::Appearance::light);
        RegistryFixture::SetUp();
        repository = std::make_shared<SearchRepository>(pool);

        // The rows the data sources write at start: commands, an application,
        // a script command.
        std::vector<SearchRecord> commands;
        for (const auto& command : registry->commands()) {
            const auto package = registry->package(command->packageId());
            commands.push_back(VantrelCommandsSource::record(*command, package ? package->displayName() : QString(),
                                                             SearchRecord::Source::package));
        }
        repository->update(SearchRecord::Source::package, commands, SearchUpdateStrategy::source());

        SearchRecord app = appRecord(QStringLiteral("Calculator"));
        app.key = QStringLiteral("org.example.Calculator.desktop");
        repository->update(SearchRecord::Source::system, {app}, SearchUpdateStrategy::source());
        SearchRecord script = commandRecord(QStringLiteral("/scripts/say-hello.sh"), QStringLiteral("Say Hello"),
                                            SearchRecord::Source::scripts);
        script.type = SearchRecord::ContentType::scriptCommand;
        repository->update(SearchRecord::Source::scripts, {script}, SearchUpdateStrategy::source());

        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/preferences-test.conf"));
        window = std::make_unique<PreferencesWindow>(*registry, repository, *defaults);
        // The pages of the launcher's features, added as the application adds them.
        launcher = std::make_unique<LauncherSearch>(repository, *registry);
        features = std::make_unique<FeatureContext>(
            FeatureContext::Services{*registry, *launcher, *defaults, center, nullptr, nullptr});
        registerFeatures(*features, makeFeatures());
        for (const FeatureContext::PreferencePage& page : features->preferencePages())
            window->addPage(page.title, ImageResource::named(page.iconName), page.make());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override {
        window.reset();
        features.reset();
        launcher.reset();
        Theme::setCurrent(Theme::Appearance::light);
    }

    QTreeWidget* tree() const { return window->extensionsTree(); }

    // The middle of a cell, in viewport coordinates, after bringing it into view.
    QPoint cell(QTreeWidgetItem* row, int column) const {
        for (QTreeWidgetItem* parent = row->parent(); parent; parent = parent->parent()) parent->setExpanded(true);
        tree()->scrollToItem(row);
        QCoreApplication::processEvents();
        const QRect rowRect = tree()->visualItemRect(row);
        const int x = tree()->header()->sectionViewportPosition(column);
        return {x, rowRect.center().y()};
    }

    void clickSwitch(QTreeWidgetItem* row) {
        const QPoint at = cell(row, Column::enabledColumn) + QPoint(8 + 15, 0);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    void typeAlias(const QString& key, const QString& alias) {
        window->setPage(PreferencesWindow::Page::extensions);
        QTreeWidgetItem* row = window->item(key);
        ASSERT_TRUE(row);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          cell(row, Column::aliasColumn) + QPoint(20, 0));
        auto* editor = tree()->viewport()->findChild<QLineEdit*>();
        ASSERT_TRUE(editor) << "no alias editor for " << key.toStdString();
        editor->selectAll();
        QTest::keyClicks(editor, alias);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    // Opens the hotkey cell's recorder and presses a combination in it.
    void pressHotkey(const QString& key, Qt::Key pressed, Qt::KeyboardModifiers modifiers) {
        window->setPage(PreferencesWindow::Page::extensions);
        QTreeWidgetItem* row = window->item(key);
        ASSERT_TRUE(row);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          cell(row, Column::hotkeyColumn) + QPoint(30, 0));
        KeyRecorder* recorder = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            // Closed editors linger hidden until the event loop deletes them.
            for (KeyRecorder* candidate : tree()->viewport()->findChildren<KeyRecorder*>())
                if (candidate->isVisible() && candidate->isRecording()) recorder = candidate;
            return recorder != nullptr;
        }));
        QTest::keyClick(recorder, pressed, modifiers);
        QCoreApplication::processEvents();
    }

    std::optional<SearchRecord> stored(const QString& key) const { return repository->record(key); }

    bool commandEnabled(const char* id) const {
        const auto command = registry->command(CommandIdentifier(id));
        return command && registry->isEnabled(*command);
    }

    QStringList topLevelTitles() const {
        QStringList titles;
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            if (!tree()->topLevelItem(i)->isHidden()) titles << tree()->topLevelItem(i)->text(0);
        return titles;
    }

    std::shared_ptr<SearchRepository> repository;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> features;
    std::unique_ptr<PreferencesWindow> window;
};

// MARK: General

TEST_F(PreferencesWindowTest, OpensAsADecoratedWindowWithItsPagesAndTheFeaturesPages) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vantrel Preferences"));
    EXPECT_EQ(window->size(), QSize(820, 560));
    EXPECT_FALSE(window->windowFlags() & Qt::FramelessWindowHint);
    ASSERT_GE(window->sidebar()->count(), 3);
    EXPECT_EQ(window->sidebar()->item(0)->text(), QStringLiteral("General"));
    EXPECT_EQ(window->sidebar()->item(1)->text(), QStringLiteral("Extensions"));
    EXPECT_EQ(window->sidebar()->item(2)->text(), QStringLiteral("Script Commands"));
    EXPECT_EQ(window->currentPage(), PreferencesWindow::Page::general);

    QTest::mouseClick(window->sidebar()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      window->sidebar()->visualItemRect(window->sidebar()->item(1)).center());
    EXPECT_EQ(window->currentPage(), PreferencesWindow::Page::extensions);
}

// Every title of the window has the room its font needs, in both appearances
// and on every page, and nothing scrolls sideways at the default size.
TEST_F(PreferencesWindowTest, TitlesAreNotClippedAndNothingScrollsSideways) {
    // Rows with the widest content the cells have: a hotkey with every modifier, a long alias.
    typeAlias(QStringLiteral("fileSearch"), QStringLiteral("wwwwww"));
    pressHotkey(QStringLiteral("clipboardHistory"), Qt::Key_V,
                Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    ASSERT_TRUE(window->extensionsMessage().isEmpty()) << window->extensionsMessage().toStdString();
    ASSERT_TRUE(stored(QStringLiteral("clipboardHistory"))->hotkey);

    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        SCOPED_TRACE(suffix.toStdString());
        window->applyTheme();
        QListWidget* sidebar = window->sidebar();
        for (int row = 0; row < sidebar->count(); ++row) {
            sidebar->setCurrentRow(row);
            QCoreApplication::processEvents();
            const QString title = sidebar->item(row)->text();
            // What the item needs (icon, title and the style's padding) fits the sidebar.
            EXPECT_LE(sidebar->sizeHintForIndex(sidebar->model()->index(row, 0)).width(), sidebar->viewport()->width())
                << title.toStdString();
            EXPECT_GE(sidebar->visualItemRect(sidebar->item(row)).width(),
                      sidebar->fontMetrics().horizontalAdvance(title) + sidebar->iconSize().width())
                << title.toStdString();
            EXPECT_FALSE(sidebar->horizontalScrollBar()->isVisible()) << title.toStdString();
            // No view of the page scrolls sideways.
            for (auto* view : window->findChildren<QAbstractScrollArea*>()) {
                if (!view->isVisible()) continue;
                EXPECT_FALSE(view->horizontalScrollBar()->isVisible())
                    << title.toStdString() << ": " << view->objectName().toStdString();
            }
        }

        window->setPage(PreferencesWindow::Page::extensions);
        QCoreApplication::processEvents();
        QHeaderView* header = tree()->header();
        QFont headerFont = header->font();
        headerFont.setWeight(QFont::DemiBold);
        const QFontMetrics headerMetrics(headerFont);
        for (int column = 0; column < Column::columnCount; ++column) {
            const QString title = tree()->headerItem()->text(column);
            EXPECT_GE(header->sectionSize(column), headerMetrics.horizontalAdvance(title) + 8) << title.toStdString();
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << title.toStdString();
        }
        // The kind of each row, the placeholders and the hotkey's keycaps fit their columns.
        const QFontMetrics small(Theme::current().smallFont);
        for (QTreeWidgetItemIterator it(tree()); *it; ++it) {
            const QString type = (*it)->text(Column::typeColumn);
            EXPECT_LE(small.horizontalAdvance(type) + 8, header->sectionSize(Column::typeColumn)) << type.toStdString();
        }
        EXPECT_LE(small.horizontalAdvance(QString(PreferencesWindow::recordHotkeyPlaceholder)) + 8,
                  header->sectionSize(Column::hotkeyColumn));
        EXPECT_LE(small.horizontalAdvance(QString(PreferencesWindow::addAliasPlaceholder)) + 8,
                  header->sectionSize(Column::aliasColumn));
        int caps = 0;
        for (const QString& label : KeyRecorder::keycapLabels(
                 *KeyCombination::fromPersistentString(*stored(QStringLiteral("clipboardHistory"))->hotkey)))
            caps += std::max(small.horizontalAdvance(label) + 10, small.height() + 4) + 3;
        EXPECT_LE(caps + 8, header->sectionSize(Column::hotkeyColumn));
        EXPECT_FALSE(tree()->horizontalScrollBar()->isVisible());
    });
}

TEST_F(PreferencesWindowTest, RecordingTheLauncherHotkeyStoresItsStoredForm) {
    KeyRecorder* recorder = window->globalHotkeyRecorder();
    EXPECT_EQ(recorder->persistentString(), QStringLiteral("Option-49"));

    QTest::mouseClick(recorder, Qt::LeftButton);
    ASSERT_TRUE(recorder->isRecording());
    QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelGlobalHotkey")).toString(), QStringLiteral("Shift-Control-40"));

    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_Space, Qt::AltModifier);
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelGlobalHotkey")).toString(), QStringLiteral("Option-49"));

    // Refused and cancelled keys leave the setting alone; the launcher's own
    // hotkey cannot be cleared.
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, Qt::Key_A);
    EXPECT_EQ(recorder->message(), QStringLiteral("At least one modifier should be included into a hotkey."));
    QTest::keyClick(recorder, Qt::Key_Backspace);
    QTest::keyClick(recorder, Qt::Key_Escape);
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelGlobalHotkey")).toString(), QStringLiteral("Option-49"));
    EXPECT_EQ(recorder->persistentString(), QStringLiteral("Option-49"));
}

TEST_F(PreferencesWindowTest, TimeoutAndScreenChoicesWriteTheirSettings) {
    QComboBox* timeout = window->popToRootTimeoutBox();
    EXPECT_EQ(timeout->currentData().toInt(), 90);
    QStringList titles;
    for (int i = 0; i < timeout->count(); ++i) titles << timeout->itemText(i);
    EXPECT_EQ(titles, QStringList({"After 30 seconds", "After 60 seconds", "After 90 seconds", "After 3 minutes",
                                   "After 5 minutes", "After 10 minutes", "Never"}));

    timeout->setFocus();
    QTest::keyClick(timeout, Qt::Key_Down);
    EXPECT_EQ(defaults->value(QStringLiteral("popToRootTimeout")).toInt(), 180);
    QTest::keyClick(timeout, Qt::Key_End);
    EXPECT_EQ(timeout->currentText(), QStringLiteral("Never"));
    ASSERT_TRUE(defaults->contains(QStringLiteral("popToRootTimeout")));
    EXPECT_EQ(defaults->value(QStringLiteral("popToRootTimeout")).toInt(), 0);

    QComboBox* screen = window->presentationModeBox();
    EXPECT_EQ(screen->currentText(), QStringLiteral("Screen with mouse"));
    QTest::keyClick(screen, Qt::Key_Down);
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelWindowPresentationMode")).toInt(), 1);
    QTest::keyClick(screen, Qt::Key_End);
    EXPECT_EQ(screen->currentText(), QStringLiteral("Primary screen"));
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelWindowPresentationMode")).toInt(), 2);
}

TEST_F(PreferencesWindowTest, ShowsSettingsWrittenElsewhere) {
    defaults->setValue(QStringLiteral("popToRootTimeout"), 300);
    defaults->setValue(QStringLiteral("vantrelWindowPresentationMode"), 2);
    defaults->setValue(QStringLiteral("vantrelGlobalHotkey"), QStringLiteral("Control-Option-14"));
    defaults->setValue(QStringLiteral("vantrelAppearance"), QStringLiteral("dark"));
    window->reload();
    EXPECT_EQ(window->popToRootTimeoutBox()->currentText(), QStringLiteral("After 5 minutes"));
    EXPECT_EQ(window->presentationModeBox()->currentText(), QStringLiteral("Primary screen"));
    EXPECT_EQ(window->globalHotkeyRecorder()->persistentString(), QStringLiteral("Control-Option-14"));
    EXPECT_EQ(window->appearanceBox()->currentText(), QStringLiteral("Dark"));

    // A value none of the choices has stays as it is, and a bad one reads as the default.
    defaults->setValue(QStringLiteral("popToRootTimeout"), 45);
    window->reload();
    EXPECT_EQ(window->popToRootTimeoutBox()->currentText(), QStringLiteral("After 45 seconds"));
    defaults->setValue(QStringLiteral("popToRootTimeout"), QStringLiteral("soon"));
    window->reload();
    EXPECT_EQ(window->popToRootTimeoutBox()->currentText(), QStringLiteral("After 90 seconds"));
    EXPECT_EQ(window->popToRootTimeoutBox()->count(), 7);
}

TEST_F(PreferencesWindowTest, AppearanceChoiceSwitchesTheTheme) {
    QComboBox* appearance = window->appearanceBox();
    EXPECT_EQ(appearance->currentText(), QStringLiteral("System"));
    QTest::keyClick(appearance, Qt::Key_End);
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelAppearance")).toString(), QStringLiteral("dark"));
    EXPECT_TRUE(Theme::current().isDark());
    QTest::keyClick(appearance, Qt::Key_Up);
    EXPECT_EQ(defaults->value(QStringLiteral("vantrelAppearance")).toString(), QStringLiteral("light"));
    EXPECT_FALSE(Theme::current().isDark());
}

TEST_F(PreferencesWindowTest, LaunchAtLoginGoesThroughTheApplicationsHooks) {
    EXPECT_FALSE(window->launchAtLoginBox()->isEnabled());

    bool installed = false;
    QList<bool> calls;
    window->launchAtLogin = [&] { return installed; };
    window->setLaunchAtLogin = [&](bool on) {
        calls << on;
        installed = on;
    };
    window->reload();
    ASSERT_TRUE(window->launchAtLoginBox()->isEnabled());
    EXPECT_FALSE(window->launchAtLoginBox()->isChecked());

    QTest::mouseClick(window->launchAtLoginBox(), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_EQ(calls, QList<bool>({true}));
    EXPECT_TRUE(window->launchAtLoginBox()->isChecked());

    // A hook that fails leaves the box showing what is really installed.
    window->setLaunchAtLogin = [&](bool) { throw std::runtime_error("read-only folder"); };
    QTest::mouseClick(window->launchAtLoginBox(), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_TRUE(window->launchAtLoginBox()->isChecked());
}

// MARK: Extensions

TEST_F(PreferencesWindowTest, ListsPackagesThenApplicationsAndScripts) {
    const QStringList titles = topLevelTitles();
    EXPECT_EQ(titles.first(), QStringLiteral("Vantrel"));
    EXPECT_TRUE(titles.contains(QStringLiteral("System")));
    EXPECT_TRUE(titles.contains(QStringLiteral("Applications")));
    // Packages hidden in preferences have no group.
    EXPECT_FALSE(titles.contains(QStringLiteral("URL")));
    EXPECT_FALSE(titles.contains(QStringLiteral("Web Searches")));
    EXPECT_FALSE(titles.contains(QStringLiteral("Vantrel Preferences")));

    QTreeWidgetItem* app = window->item(QStringLiteral("org.example.Calculator.desktop"));
    ASSERT_TRUE(app);
    EXPECT_EQ(app->parent()->text(0), QStringLiteral("Applications"));
    EXPECT_EQ(app->text(Column::typeColumn), QStringLiteral("Application"));

    QTreeWidgetItem* script = window->item(QStringLiteral("/scripts/say-hello.sh"));
    ASSERT_TRUE(script);
    EXPECT_EQ(script->parent()->text(0), QStringLiteral("Script Commands"));

    QTreeWidgetItem* trash = window->item(QStringLiteral("emptyTrash"));
    ASSERT_TRUE(trash);
    EXPECT_EQ(trash->text(0), QStringLiteral("Empty Trash"));
    EXPECT_EQ(trash->parent()->text(0), QStringLiteral("System"));
    EXPECT_EQ(trash->checkState(Column::enabledColumn), Qt::Checked);
    // Disabled-by-default packages show their switch off.
    EXPECT_EQ(window->item(QStringLiteral("jira"))->checkState(Column::enabledColumn), Qt::Unchecked);
}

TEST_F(PreferencesWindowTest, CommandSwitchWritesTheDisabledCommands) {
    window->setPage(PreferencesWindow::Page::extensions);
    clickSwitch(window->item(QStringLiteral("emptyTrash")));

    const auto disabled = registry->packageDisabledCommands().value(PackageIdentifier("systemCommands"));
    EXPECT_EQ(disabled, QSet<CommandIdentifier>({CommandIdentifier("emptyTrash")}));
    EXPECT_FALSE(commandEnabled("emptyTrash"));
    EXPECT_TRUE(commandEnabled("lockScreen"));
    EXPECT_EQ(registry->stringListValue(PackageIdentifier("systemCommands"), QStringLiteral("disabledCommands")),
              QStringList({"emptyTrash"}));
    EXPECT_EQ(window->item(QStringLiteral("emptyTrash"))->checkState(Column::enabledColumn), Qt::Unchecked);

    clickSwitch(window->item(QStringLiteral("emptyTrash")));
    EXPECT_TRUE(commandEnabled("emptyTrash"));
    EXPECT_TRUE(registry->packageDisabledCommands().value(PackageIdentifier("systemCommands")).isEmpty());
}

TEST_F(PreferencesWindowTest, PackageSwitchTurnsAllItsCommandsOffAndOn) {
    window->setPage(PreferencesWindow::Page::extensions);
    clickSwitch(window->item(QStringLiteral("systemCommands")));

    EXPECT_FALSE(registry->isPackageEnabled(PackageIdentifier("systemCommands")));
    for (const auto& command : registry->package(PackageIdentifier("systemCommands"))->commands())
        EXPECT_FALSE(registry->isEnabled(*command)) << command->id().rawValue.toStdString();
    EXPECT_TRUE(commandEnabled("fileSearch"));

    clickSwitch(window->item(QStringLiteral("systemCommands")));
    EXPECT_TRUE(registry->isPackageEnabled(PackageIdentifier("systemCommands")));
    EXPECT_TRUE(commandEnabled("emptyTrash"));
}

TEST_F(PreferencesWindowTest, SwitchingOnOneCommandOfAnOffPackageKeepsItsSiblingsOff) {
    window->setPage(PreferencesWindow::Page::extensions);
    clickSwitch(window->item(QStringLiteral("jira_createIssue")));

    EXPECT_TRUE(registry->isPackageEnabled(PackageIdentifier("jira")));
    EXPECT_TRUE(commandEnabled("jira_createIssue"));
    EXPECT_FALSE(commandEnabled("jira_searchIssues"));
    EXPECT_FALSE(commandEnabled("jira_logout"));
    EXPECT_EQ(window->item(QStringLiteral("jira"))->checkState(Column::enabledColumn), Qt::Checked);
    EXPECT_EQ(window->item(QStringLiteral("jira_searchIssues"))->checkState(Column::enabledColumn), Qt::Unchecked);
}

TEST_F(PreferencesWindowTest, AliasIsStoredAndADuplicateIsRefused) {
    typeAlias(QStringLiteral("fileSearch"), QStringLiteral("fs"));
    EXPECT_EQ(stored(QStringLiteral("fileSearch"))->alias, QStringLiteral("fs"));
    EXPECT_EQ(window->item(QStringLiteral("fileSearch"))->text(Column::aliasColumn), QStringLiteral("fs"));
    EXPECT_TRUE(window->extensionsMessage().isEmpty());

    typeAlias(QStringLiteral("clipboardHistory"), QStringLiteral("fs"));
    EXPECT_EQ(window->extensionsMessage(), QStringLiteral("Alias is already in use"));
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("extensionsMessage"))->isVisible());
    EXPECT_EQ(stored(QStringLiteral("clipboardHistory"))->alias, std::nullopt);
    EXPECT_TRUE(window->item(QStringLiteral("clipboardHistory"))->text(Column::aliasColumn).isEmpty());

    typeAlias(QStringLiteral("clipboardHistory"), QStringLiteral("clipboard"));
    EXPECT_EQ(window->extensionsMessage(), QStringLiteral("Alias cannot be longer than 6 characters"));
    typeAlias(QStringLiteral("clipboardHistory"), QStringLiteral("c-h"));
    EXPECT_EQ(window->extensionsMessage(),
              QStringLiteral("Alias contains invalid characters, please use only numbers and letters"));
    EXPECT_EQ(stored(QStringLiteral("clipboardHistory"))->alias, std::nullopt);

    // A good value clears the message; an application takes an alias too.
    typeAlias(QStringLiteral("org.example.Calculator.desktop"), QStringLiteral(" calc "));
    EXPECT_TRUE(window->extensionsMessage().isEmpty());
    EXPECT_EQ(stored(QStringLiteral("org.example.Calculator.desktop"))->alias, QStringLiteral("calc"));
}

TEST_F(PreferencesWindowTest, HotkeyCellRecordsThroughValidation) {
    pressHotkey(QStringLiteral("emptyTrash"), Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(stored(QStringLiteral("emptyTrash"))->hotkey, QStringLiteral("Control-Option-14"));
    EXPECT_TRUE(window->extensionsMessage().isEmpty());

    pressHotkey(QStringLiteral("lockScreen"), Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(window->extensionsMessage(), QStringLiteral("Hotkey is already in use"));
    EXPECT_EQ(stored(QStringLiteral("lockScreen"))->hotkey, std::nullopt);

    // A function key alone passes the field but not the rule for records.
    pressHotkey(QStringLiteral("lockScreen"), Qt::Key_F6, Qt::NoModifier);
    EXPECT_EQ(window->extensionsMessage(), QStringLiteral("At least one modifier should be included into a hotkey."));
    EXPECT_EQ(stored(QStringLiteral("lockScreen"))->hotkey, std::nullopt);

    // Backspace in the cell removes the hotkey.
    pressHotkey(QStringLiteral("emptyTrash"), Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(stored(QStringLiteral("emptyTrash"))->hotkey, std::nullopt);
}

TEST_F(PreferencesWindowTest, SearchFieldFiltersTheTree) {
    window->setPage(PreferencesWindow::Page::extensions);
    QTest::keyClicks(window->extensionsSearchField(), QStringLiteral("trash"));
    EXPECT_EQ(topLevelTitles(), QStringList({"System"}));
    EXPECT_FALSE(window->item(QStringLiteral("emptyTrash"))->isHidden());
    EXPECT_TRUE(window->item(QStringLiteral("lockScreen"))->isHidden());
    EXPECT_TRUE(window->item(QStringLiteral("systemCommands"))->isExpanded());

    window->extensionsSearchField()->clear();
    QTest::keyClicks(window->extensionsSearchField(), QStringLiteral("calc"));
    EXPECT_TRUE(topLevelTitles().contains(QStringLiteral("Applications")));

    window->extensionsSearchField()->clear();
    EXPECT_FALSE(window->item(QStringLiteral("lockScreen"))->isHidden());
    EXPECT_GT(topLevelTitles().size(), 10);
}

TEST_F(PreferencesWindowTest, TypeColumnSaysWhatEachRowIs) {
    // The launcher's own packages are built in, whatever they hold.
    for (const char* id : {"default", "systemCommands", "scriptCommands", "quicklinks", "jira"})
        EXPECT_EQ(window->item(QString::fromLatin1(id))->text(Column::typeColumn), QStringLiteral("Built-in")) << id;
    EXPECT_EQ(window->item(QStringLiteral("emptyTrash"))->text(Column::typeColumn), QStringLiteral("Command"));
    EXPECT_EQ(window->item(QStringLiteral("/scripts/say-hello.sh"))->text(Column::typeColumn),
              QStringLiteral("Script Command"));
    EXPECT_EQ(window->item(QStringLiteral("org.example.Calculator.desktop"))->text(Column::typeColumn),
              QStringLiteral("Application"));
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
        EXPECT_NE(tree()->topLevelItem(i)->text(Column::typeColumn), QStringLiteral("Extension"))
            << tree()->topLevelItem(i)->text(0).toStdString();
}

TEST_F(PreferencesWindowTest, SearchThatMatchesNothingSaysSo) {
    window->setPage(PreferencesWindow::Page::extensions);
    EXPECT_TRUE(window->noMatchesText().isEmpty());
    EXPECT_FALSE(window->noMatchesLabel()->isVisible());

    QTest::keyClicks(window->extensionsSearchField(), QStringLiteral("zebra"));
    EXPECT_TRUE(topLevelTitles().isEmpty());
    EXPECT_EQ(window->noMatchesText(), QStringLiteral("No matches for 'zebra'"));
    ASSERT_TRUE(window->noMatchesLabel()->isVisible());
    // Over the empty table, where the rows would be.
    const QRect label(window->noMatchesLabel()->mapTo(window.get(), QPoint(0, 0)), window->noMatchesLabel()->size());
    const QRect table(tree()->viewport()->mapTo(window.get(), QPoint(0, 0)), tree()->viewport()->size());
    EXPECT_TRUE(table.contains(label.center())) << "label at " << label.center().x() << "," << label.center().y();
    // An empty table has nothing to scroll.
    EXPECT_TRUE(waitUntil([&] { return !tree()->verticalScrollBar()->isVisible(); }));

    // One more letter, one less: the rows and the label follow.
    QTest::keyClick(window->extensionsSearchField(), Qt::Key_Backspace);
    EXPECT_EQ(window->noMatchesText(), QStringLiteral("No matches for 'zebr'"));
    window->extensionsSearchField()->clear();
    EXPECT_TRUE(window->noMatchesText().isEmpty());
    EXPECT_FALSE(window->noMatchesLabel()->isVisible());
    EXPECT_GT(topLevelTitles().size(), 10);
}

TEST_F(PreferencesWindowTest, ShowPageSelectsTheCommand) {
    EXPECT_TRUE(window->showPage(QStringLiteral("emptyTrash")));
    EXPECT_EQ(window->currentPage(), PreferencesWindow::Page::extensions);
    ASSERT_TRUE(tree()->currentItem());
    EXPECT_EQ(tree()->currentItem()->text(0), QStringLiteral("Empty Trash"));
    EXPECT_TRUE(tree()->currentItem()->parent()->isExpanded());

    window->setPage(PreferencesWindow::Page::general);
    EXPECT_FALSE(window->showPage(QStringLiteral("noSuchCommand")));
    EXPECT_EQ(window->currentPage(), PreferencesWindow::Page::extensions);
}

// MARK: Screenshots

TEST_F(PreferencesWindowTest, ScreenshotsOfEveryPageInBothAppearances) {
    // A script folder with a few scripts for the script commands page.
    QTemporaryDir scripts;
    ASSERT_TRUE(scripts.isValid());
    for (const char* name : {"open-pull-requests", "toggle-wi-fi", "clear-build-folders"}) {
        QFile file(scripts.filePath(QString::fromLatin1(name) + QStringLiteral(".sh")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\n# @vantrel.schemaVersion 1\n# @vantrel.title " + QByteArray(name).replace('-', ' ') +
                   "\n# @vantrel.mode silent\necho done\n");
    }
    registry->setPackageConfiguration(PackageIdentifier("scriptCommands"), [&](QVariantMap& payload, bool&) {
        payload.insert(QStringLiteral("scriptCommandsDirectories"), QStringList{scripts.path()});
    });
    auto* folders = window->findChild<QTreeWidget*>(QStringLiteral("scriptDirectoriesList"));
    ASSERT_TRUE(folders);
    ASSERT_TRUE(waitUntil(
        [&] {
            return folders->topLevelItemCount() == 1 &&
                   folders->topLevelItem(0)->text(1) == QStringLiteral("3 commands");
        },
        10000));

    typeAlias(QStringLiteral("fileSearch"), QStringLiteral("fs"));
    pressHotkey(QStringLiteral("clipboardHistory"), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    window->setPage(PreferencesWindow::Page::extensions);
    cell(window->item(QStringLiteral("fileSearch")), 0);
    cell(window->item(QStringLiteral("clipboardHistory")), 0);
    window->item(QStringLiteral("default"))->setExpanded(false);
    tree()->scrollToTop();

    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        window->applyTheme();
        for (int row = 0; row < window->sidebar()->count(); ++row) {
            window->sidebar()->setCurrentRow(row);
            const QString page = window->sidebar()->item(row)->text().toLower().replace(QLatin1Char(' '), '-');
            saveScreenshot(*window, QStringLiteral("preferences-%1-%2").arg(page, suffix));
        }
        window->setPage(PreferencesWindow::Page::extensions);
        window->extensionsSearchField()->setText(QStringLiteral("no such thing"));
        ASSERT_TRUE(waitUntil([&] { return !tree()->verticalScrollBar()->isVisible(); }));
        saveScreenshot(*window, QStringLiteral("preferences-extensions-no-matches-") + suffix);
        window->extensionsSearchField()->clear();
    });
}

}  // namespace
}  // namespace vantrel::test
