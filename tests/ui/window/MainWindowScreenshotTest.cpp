// The launcher window over a real root search session: the encrypted test
// database, desktop entries in a fixture folder, the built-in commands and
// the real calculator, on the test session's X server.
#include "support/RootSearchTestSupport.h"
#include "support/ScreenshotTestSupport.h"

#include "core/rootsearch/ExpressionParser.h"
#include "platform/qalculate/QalculateCalculator.h"
#include "ui/toolkit/ActionBar.h"
#include "ui/toolkit/ActionPanel.h"
#include "ui/toolkit/FormView.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/ResultList.h"
#include "ui/toolkit/SearchBar.h"
#include "ui/toolkit/Theme.h"
#include "ui/toolkit/ToastView.h"
#include "ui/window/MainWindow.h"
#include "ui/window/RootSearchView.h"

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

// A pushed view with one action, standing in for a command's own screen.
class PlainView : public LauncherView {
public:
    explicit PlainView(QString title, bool search = true) : m_title(std::move(title)), m_search(search) {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(m_title, this));
    }
    QString title() const override { return m_title; }
    bool usesSearchBar() const override { return m_search; }
    QString searchPlaceholder() const override { return QStringLiteral("Search notes…"); }
    void searchTextChanged(const QString& text) override { typed << text; }
    std::vector<MenuItem> actions() const override {
        MenuItem remove = MenuItem::make(
            QStringLiteral("deleteNote"), QStringLiteral("Delete Note"),
            [this] {
                ++*deletes;
                return CommandOutcome::failed(QStringLiteral("Note is locked"), QStringLiteral("Unlock it first"));
            },
            MenuItem::ActionType::destructive);
        remove.shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'x')}};
        MenuItem move{.id = QStringLiteral("moveNote"), .title = QStringLiteral("Move to Folder")};
        move.action =
            std::vector<MenuItem>{MenuItem::make(QStringLiteral("moveToWork"), QStringLiteral("Work"),
                                                 [this] {
                                                     *movedTo = QStringLiteral("Work");
                                                     return CommandOutcome::failed(QStringLiteral("Moved"), {});
                                                 }),
                                  MenuItem{.id = QStringLiteral("moveToHome"), .title = QStringLiteral("Home")}};
        return {MenuItem::make(QStringLiteral("openNote"), QStringLiteral("Open Note"),
                               [this] {
                                   ++*runs;
                                   return CommandOutcome::done();
                               }),
                remove, move};
    }

    QStringList typed;
    std::shared_ptr<int> runs = std::make_shared<int>(0);
    std::shared_ptr<int> deletes = std::make_shared<int>(0);
    std::shared_ptr<QString> movedTo = std::make_shared<QString>();

private:
    QString m_title;
    bool m_search;
};

class MainWindowTest : public RootSearchFixture {
protected:
    void SetUp() override {
        RootSearchFixture::SetUp();
        Theme::setCurrent(Theme::Appearance::light);
        // The fixture's data folders hide the system's icon themes.
        QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << QStringLiteral("/usr/share/icons"));
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        Icons::clearCache();
        environment.userDefaults = defaults.get();
        for (const auto& [name, extra] : std::initializer_list<std::pair<QByteArray, QByteArray>>{
                 {"Firefox", "Icon=web-browser\nComment=Browse the web\n"},
                 {"Files", "Icon=system-file-manager\n"},
                 {"Calculator", "Icon=accessories-calculator\n"},
                 {"Terminal", "Icon=utilities-terminal\n"},
                 {"Text Editor", "Icon=accessories-text-editor\n"}})
            ApplicationFolders::write(folders.homeApplications(),
                                      QString::fromUtf8(name).toLower().remove(QLatin1Char(' ')) + ".desktop",
                                      ApplicationFolders::app(name, extra));
        ASSERT_TRUE(start(&parser));
        window = std::make_unique<MainWindow>(*controller, &environment);
        window->setHidesOnDeactivate(false);
    }

    void TearDown() override {
        window.reset();
        RootSearchFixture::TearDown();
    }

    // Shows the window and waits until it holds the keyboard focus.
    void show() {
        window->showWindow();
        ASSERT_TRUE(waitUntil([this] { return window->isKeyWindow(); }, 5000));
    }

    // Where keys go now: the focused widget of the window.
    QWidget* focused() const {
        QWidget* widget = QApplication::focusWidget();
        return widget && widget->window() == window.get() ? widget : window->searchBar()->textField();
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(focused(), key, modifiers);
    }
    void typeText(const QString& text) { QTest::keyClicks(focused(), text); }
    // Types a calculation and waits for its answer: on the first use of the
    // calculator's engine in this process it comes once the engine has loaded.
    bool typeCalculation(const QString& text) {
        typeText(text);
        return waitUntil([this] { return controller->section(QStringLiteral("calculator")) != nullptr; }, 30000);
    }

    QStringList listTitles() const {
        QStringList titles;
        ResultListModel* model = window->rootView()->list()->resultModel();
        for (int row = 0; row < model->rowCount(); ++row)
            if (!model->data(model->index(row), ResultListModel::IsHeaderRole).toBool())
                titles << model->data(model->index(row)).toString();
        return titles;
    }

    QString selectedTitle() const {
        const ListItem* item = controller->selectedItem();
        return item ? item->title : QString();
    }

    ExpressionParser parser{std::make_shared<QalculateCalculator>()};
    LauncherEnvironment environment;
    std::unique_ptr<MainWindow> window;
};

// MARK: Behaviour

TEST_F(MainWindowTest, IsOneFramelessToolWindowNamedVantrel) {
    show();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vantrel"));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->searchBar()->textField()->placeholderText(), QStringLiteral("Search for apps and commands…"));
    EXPECT_TRUE(window->searchBar()->textField()->hasFocus());

    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_TRUE(x11);
    xcb_connection_t* connection = x11->connection();
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, false, xcb_window_t(window->winId()), XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
        nullptr);
    ASSERT_TRUE(reply);
    const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    free(reply);
    EXPECT_EQ(value.split('\0').mid(0, 2), QList<QByteArray>({"vantrel", "vantrel"}));
}

TEST_F(MainWindowTest, TypingFiltersTheResultsAndArrowsMoveTheSelection) {
    show();
    EXPECT_FALSE(controller->sections().empty());

    typeText(QStringLiteral("fire"));
    EXPECT_EQ(controller->searchText(), QStringLiteral("fire"));
    ASSERT_FALSE(listTitles().isEmpty());
    EXPECT_EQ(listTitles().first(), QStringLiteral("Firefox"));
    EXPECT_FALSE(listTitles().contains(QStringLiteral("Terminal")));
    EXPECT_EQ(window->actionBar()->primaryActionTitle(), QStringLiteral("Open Application"));

    window->clearSearchBar();
    typeText(QStringLiteral("te"));
    const QStringList titles = listTitles();
    ASSERT_GE(titles.size(), 2);
    EXPECT_EQ(selectedTitle(), titles[0]);
    press(Qt::Key_Down);
    EXPECT_EQ(controller->selectedIndex(), 1);
    EXPECT_EQ(selectedTitle(), titles[1]);
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    EXPECT_EQ(controller->selectedIndex(), 0);
    press(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(controller->selectedIndex(), int(controller->allItems().size()) - 1);
    press(Qt::Key_PageUp);
    press(Qt::Key_PageUp);
    press(Qt::Key_PageUp);
    EXPECT_EQ(controller->selectedIndex(), 0);
    EXPECT_EQ(window->rootView()->list()->selectedItem(), 0);
}

TEST_F(MainWindowTest, CtrlKOpensTheActionsWithThePrimaryFirstAndTypingFiltersThem) {
    show();
    typeText(QStringLiteral("firefox"));
    ASSERT_EQ(selectedTitle(), QStringLiteral("Firefox"));

    press(Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(window->isActionPanelOpen());
    const QStringList titles = window->actionPanel()->visibleTitles();
    ASSERT_FALSE(titles.isEmpty());
    EXPECT_EQ(titles.first(), QStringLiteral("Open Application"));
    EXPECT_TRUE(titles.contains(QStringLiteral("Add to Favorites")));
    // The search text is untouched: Ctrl+K is not the text field's "delete to end".
    EXPECT_EQ(window->searchBar()->text(), QStringLiteral("firefox"));

    typeText(QStringLiteral("favor"));
    EXPECT_EQ(window->actionPanel()->visibleTitles(), QStringList({"Add to Favorites"}));
    typeText(QStringLiteral("zzz"));
    EXPECT_TRUE(window->actionPanel()->visibleTitles().isEmpty());

    press(Qt::Key_Escape);
    EXPECT_FALSE(window->isActionPanelOpen());
    EXPECT_EQ(window->searchBar()->text(), QStringLiteral("firefox"));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ChoosingAnActionInThePanelRunsIt) {
    show();
    typeText(QStringLiteral("firefox"));
    press(Qt::Key_K, Qt::ControlModifier);
    typeText(QStringLiteral("add to fav"));
    press(Qt::Key_Return);
    EXPECT_FALSE(window->isActionPanelOpen());
    // It answered in the window: a toast, and the window stays.
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->actionBar()->toastView()->isVisible());
    EXPECT_EQ(window->actionBar()->toastView()->toast().title, QStringLiteral("Added to favorites"));
    window->clearSearchBar();
    EXPECT_TRUE(waitUntil([this] { return controller->section(QStringLiteral("favorites")) != nullptr; }, 5000));
}

TEST_F(MainWindowTest, EscapeStopsWhatARunningToastOffersToCancelBeforeAnythingElse) {
    show();
    typeText(QStringLiteral("files"));
    int cancelled = 0;
    window->showToast(Toast{Toast::Style::animated, QStringLiteral("Running Loop"), QString()}, [&] { ++cancelled; });
    ASSERT_TRUE(window->actionBar()->toastView()->hasCancelButton());

    press(Qt::Key_Escape);
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(window->searchBar()->text(), QStringLiteral("files")) << "the text stays: Escape stopped the command";
    EXPECT_TRUE(window->isVisible());

    // Nothing left to stop: Escape is itself again.
    press(Qt::Key_Escape);
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(window->searchBar()->text(), QString());
}

TEST_F(MainWindowTest, EscapeClosesThePanelThenClearsTheTextThenHides) {
    show();
    QSignalSpy hidden(window.get(), &MainWindow::windowHidden);
    typeText(QStringLiteral("files"));
    press(Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(window->isActionPanelOpen());

    press(Qt::Key_Escape);
    EXPECT_FALSE(window->isActionPanelOpen());
    EXPECT_EQ(window->searchBar()->text(), QStringLiteral("files"));

    press(Qt::Key_Escape);
    EXPECT_EQ(window->searchBar()->text(), QString());
    EXPECT_EQ(controller->searchText(), QString());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(controller->sections().empty());

    press(Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_TRUE(window->windowHiddenLastTime().isValid());
}

TEST_F(MainWindowTest, TheCalculatorAnswerIsCopiedAndTheWindowHides) {
    show();
    ASSERT_TRUE(typeCalculation(QStringLiteral("2+3*4")));
    EXPECT_EQ(selectedTitle(), QStringLiteral("14"));
    EXPECT_EQ(window->actionBar()->primaryActionTitle(), QStringLiteral("Copy Answer"));

    press(Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("14"));
    EXPECT_EQ(HUDWindow::shared().text(), QStringLiteral("Copied to clipboard"));
}

TEST_F(MainWindowTest, UpInAnEmptyBarBringsBackEarlierSearches) {
    show();
    ASSERT_TRUE(typeCalculation(QStringLiteral("2+2")));
    press(Qt::Key_Return);
    ASSERT_FALSE(window->isVisible());
    show();
    window->clearSearchBar();

    press(Qt::Key_Up);
    EXPECT_EQ(window->searchBar()->text(), QStringLiteral("2+2"));
    EXPECT_EQ(controller->searchText(), QStringLiteral("2+2"));
    EXPECT_TRUE(controller->section(QStringLiteral("calculator")));
    press(Qt::Key_Down);
    EXPECT_EQ(window->searchBar()->text(), QString());
}

TEST_F(MainWindowTest, ACommandViewIsPushedAndLeftWithEscapeOrBackspace) {
    PlainView* pushed = nullptr;
    window->setViewFactory([&](const CommandOutcome& outcome) -> LauncherView* {
        if (outcome.commandId != QLatin1String("notes")) return nullptr;
        pushed = new PlainView(QStringLiteral("Notes"));
        return pushed;
    });
    show();
    typeText(QStringLiteral("fire"));

    window->handleOutcome(CommandOutcome::showView(QStringLiteral("notes")));
    ASSERT_TRUE(pushed);
    EXPECT_FALSE(window->isAtRoot());
    EXPECT_EQ(window->topView(), pushed);
    EXPECT_TRUE(window->searchBar()->showsBackButton());
    EXPECT_EQ(window->searchBar()->text(), QString());
    EXPECT_EQ(window->searchBar()->textField()->placeholderText(), QStringLiteral("Search notes…"));
    EXPECT_EQ(window->actionBar()->primaryActionTitle(), QStringLiteral("Open Note"));

    typeText(QStringLiteral("ab"));
    EXPECT_EQ(pushed->typed, QStringList({"a", "ab"}));
    press(Qt::Key_Backspace);
    press(Qt::Key_Backspace);
    EXPECT_FALSE(window->isAtRoot());
    // Backspace in the empty bar goes back, with the root's text as it was.
    press(Qt::Key_Backspace);
    EXPECT_TRUE(window->isAtRoot());
    EXPECT_EQ(window->searchBar()->text(), QStringLiteral("fire"));
    EXPECT_FALSE(window->searchBar()->showsBackButton());

    window->handleOutcome(CommandOutcome::showView(QStringLiteral("notes")));
    ASSERT_FALSE(window->isAtRoot());
    press(Qt::Key_Escape);
    EXPECT_TRUE(window->isAtRoot());
    EXPECT_TRUE(window->isVisible());

    // A view nobody can build yet says so.
    window->handleOutcome(CommandOutcome::showView(QStringLiteral("somethingElse")));
    EXPECT_TRUE(window->isAtRoot());
    EXPECT_EQ(window->actionBar()->toastView()->toast().title,
              QStringLiteral("This command opens a view that is not available yet"));
}

// A form left with what the user typed is kept as a draft at home, and
// opening the draft shows the form again with that input.
TEST_F(MainWindowTest, AFormLeftWithInputBecomesADraftThatReopensWithIt) {
    using Type = FormView::Field::Type;
    std::vector<FormView*> forms;
    window->setViewFactory([&](const CommandOutcome& outcome) -> LauncherView* {
        if (outcome.commandId != QLatin1String("createQuicklink")) return nullptr;
        auto* form = new FormView(QStringLiteral("Create Quicklink"),
                                  {{.id = QStringLiteral("name"), .title = QStringLiteral("Name"), .required = true},
                                   {.id = QStringLiteral("link"), .title = QStringLiteral("Link")},
                                   {.id = QStringLiteral("open"), .title = QStringLiteral("Open"),
                                    .type = Type::checkbox, .defaultValue = true}});
        form->setSubmitHandler([](const QVariantMap&) { return CommandOutcome::done(); });
        forms.push_back(form);
        return form;
    });
    show();

    // Left untouched: nothing to keep.
    window->handleOutcome(CommandOutcome::showView(QStringLiteral("createQuicklink")));
    ASSERT_EQ(forms.size(), 1u);
    press(Qt::Key_Escape);
    ASSERT_TRUE(window->isAtRoot());
    EXPECT_TRUE(controller->drafts().empty());

    window->handleOutcome(CommandOutcome::showView(QStringLiteral("createQuicklink")));
    ASSERT_EQ(forms.size(), 2u);
    typeText(QStringLiteral("Docs"));
    forms.back()->setValue(QStringLiteral("open"), false);
    press(Qt::Key_Escape);
    ASSERT_TRUE(window->isAtRoot());
    EXPECT_EQ(window->actionBar()->toastView()->toast().title, QStringLiteral("Draft created"));
    ASSERT_EQ(controller->drafts().size(), 1u);
    window->clearSearchBar();
    const ListSection* drafts = controller->section(QStringLiteral("drafts"));
    ASSERT_TRUE(drafts);
    ASSERT_EQ(drafts->items.size(), 1u);
    EXPECT_EQ(drafts->items.front().title, QStringLiteral("Create Quicklink"));

    ASSERT_TRUE(controller->selectItem(drafts->items.front().id));
    press(Qt::Key_Return);
    ASSERT_EQ(forms.size(), 3u);
    EXPECT_EQ(window->topView(), forms.back());
    EXPECT_EQ(forms.back()->values().value(QStringLiteral("name")).toString(), QStringLiteral("Docs"));
    EXPECT_FALSE(forms.back()->values().value(QStringLiteral("open")).toBool());
    // Opened, the draft leaves the list; submitted, the form leaves none behind.
    EXPECT_TRUE(controller->drafts().empty());
    window->handleOutcome(forms.back()->submit());
    window->popView();
    EXPECT_TRUE(controller->drafts().empty());
}

TEST_F(MainWindowTest, TheSearchBarHintsTheCalculatorsAnswerWhenThatIsSwitchedOn) {
    show();
    ASSERT_TRUE(typeCalculation(QStringLiteral("2+3*4")));
    EXPECT_EQ(window->searchBar()->hint(), QString()) << "off unless switched on";
    window->hideWindow();

    defaults->setValue(QString(MainWindow::calculatorHintKey), true);
    show();
    EXPECT_EQ(window->searchBar()->hint(), QStringLiteral("= 14"));
    typeText(QStringLiteral("0"));
    EXPECT_EQ(window->searchBar()->hint(), QStringLiteral("= 122"));
    // Words are no calculation: the hint goes.
    window->clearSearchBar();
    typeText(QStringLiteral("fire"));
    EXPECT_EQ(window->searchBar()->hint(), QString());
}

// A copied result with a success toast keeps the window; one without goes
// to the HUD as the window hides.
TEST_F(MainWindowTest, CopiedResultsAreToastedInTheOpenWindowOrAnnouncedInTheHUD) {
    show();
    window->handleOutcome(CommandOutcome::copied(QStringLiteral("a%20b"), QStringLiteral("Copied to clipboard")));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a%20b"));
    EXPECT_EQ(window->actionBar()->toastView()->toast().title, QStringLiteral("Copied to clipboard"));
    EXPECT_EQ(window->actionBar()->toastView()->toast().style, Toast::Style::success);

    window->handleOutcome(CommandOutcome::done({}, QStringLiteral("plain")));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("plain"));
}

TEST_F(MainWindowTest, AViewsShortcutsWorkWithThePanelClosed) {
    auto* view = new PlainView(QStringLiteral("Notes"));
    show();
    window->pushView(view);
    const auto deletes = view->deletes;
    const auto runs = view->runs;

    press(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(*deletes, 1);
    EXPECT_EQ(window->actionBar()->toastView()->toast().title, QStringLiteral("Note is locked"));
    EXPECT_EQ(window->actionBar()->toastView()->toast().message, QStringLiteral("Unlock it first"));
    EXPECT_TRUE(window->isVisible());

    press(Qt::Key_Return);
    EXPECT_EQ(*runs, 1);
    EXPECT_FALSE(window->isVisible());

    show();
    window->popToRoot();
    EXPECT_TRUE(window->isAtRoot());
}

TEST_F(MainWindowTest, SubmenusOpenInsideThePanelAndEscapeLeavesThem) {
    auto* view = new PlainView(QStringLiteral("Notes"));
    const auto movedTo = view->movedTo;
    show();
    window->pushView(view);
    press(Qt::Key_K, Qt::ControlModifier);
    ASSERT_TRUE(window->isActionPanelOpen());
    EXPECT_EQ(window->actionPanel()->visibleTitles(), QStringList({"Open Note", "Delete Note", "Move to Folder"}));

    typeText(QStringLiteral("move"));
    press(Qt::Key_Return);
    ASSERT_TRUE(window->isActionPanelOpen());
    EXPECT_EQ(window->actionPanel()->visibleTitles(), QStringList({"Work", "Home"}));
    EXPECT_EQ(window->actionPanel()->filterText(), QString());

    press(Qt::Key_Escape);
    EXPECT_EQ(window->actionPanel()->visibleTitles(), QStringList({"Open Note", "Delete Note", "Move to Folder"}));
    typeText(QStringLiteral("move"));
    press(Qt::Key_Return);
    press(Qt::Key_Return);
    EXPECT_FALSE(window->isActionPanelOpen());
    EXPECT_EQ(*movedTo, QStringLiteral("Work"));
    EXPECT_FALSE(window->isAtRoot());
}

TEST_F(MainWindowTest, ConfirmAsksInsideTheWindow) {
    show();
    std::optional<bool> answer;
    window->confirm({QStringLiteral("Empty Trash?"), QStringLiteral("This cannot be undone."), std::nullopt,
                     QStringLiteral("Empty Trash"), QStringLiteral("Cancel"), true},
                    [&](bool confirmed) { answer = confirmed; });
    EXPECT_TRUE(window->isPresentingSheet());
    press(Qt::Key_Escape);
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(*answer);
    EXPECT_TRUE(window->isVisible());

    answer.reset();
    window->confirm(
        {QStringLiteral("Quit?"), {}, std::nullopt, QStringLiteral("Quit"), QStringLiteral("Cancel"), false},
        [&](bool confirmed) { answer = confirmed; });
    press(Qt::Key_Return);
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(*answer);
    EXPECT_FALSE(window->isPresentingSheet());
}

TEST_F(MainWindowTest, PlacementFollowsTheSettingAndRemembersMovedPositions) {
    QScreen* screen = QGuiApplication::screens().first();
    const QRect available = screen->availableGeometry();
    defaults->setValue(QString(MainWindow::presentationModeKey), 2);
    show();
    // Centred horizontally, above the middle.
    EXPECT_NEAR(window->frameGeometry().center().x(), available.center().x(), 2);
    EXPECT_LT(window->geometry().center().y(), available.center().y());
    window->hideWindow();

    QVariantMap cache;
    const QRect g = screen->geometry();
    cache.insert(
        QStringLiteral("%1@%2x%3+%4+%5").arg(screen->name()).arg(g.width()).arg(g.height()).arg(g.x()).arg(g.y()),
        QStringLiteral("100,120"));
    defaults->setValue(QString(MainWindow::positionCacheKey), cache);
    show();
    const int margin = window->isCompositing() ? 24 : 0;
    EXPECT_EQ(window->pos() + QPoint(margin, margin), QPoint(100, 120));

    window->recenter();
    EXPECT_NE(window->pos() + QPoint(margin, margin), QPoint(100, 120));
    EXPECT_TRUE(defaults->value(QString(MainWindow::positionCacheKey)).toMap().isEmpty());

    // A cached position off the screen is ignored.
    cache.insert(cache.firstKey(), QStringLiteral("-5000,-5000"));
    defaults->setValue(QString(MainWindow::positionCacheKey), cache);
    window->hideWindow();
    show();
    EXPECT_TRUE(available.intersects(window->geometry()));
}

TEST_F(MainWindowTest, ToggleShowsThenHides) {
    QSignalSpy shown(window.get(), &MainWindow::windowShown);
    window->toggle();
    ASSERT_TRUE(waitUntil([this] { return window->isKeyWindow(); }, 5000));
    EXPECT_EQ(shown.count(), 1);
    window->toggle();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, HidesWhenAnotherApplicationTakesTheFocus) {
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("xmessage"), {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin")});
    if (program.isEmpty()) GTEST_SKIP() << "xmessage is not installed";
    window->setHidesOnDeactivate(true);
    show();
    QSignalSpy hidden(window.get(), &MainWindow::windowHidden);

    QProcess other;
    other.start(program, {QStringLiteral("-center"), QStringLiteral("another application")});
    ASSERT_TRUE(other.waitForStarted());
    const bool hid = waitUntil([this] { return !window->isVisible(); }, 8000);
    other.kill();
    other.waitForFinished();
    EXPECT_TRUE(hid);
    EXPECT_EQ(hidden.count(), 1);
}

TEST_F(MainWindowTest, ArgumentFieldsFollowTheTextAndTabBetweenThem) {
    show();
    SearchBar* bar = window->searchBar();
    const auto command = std::make_shared<TestInputCommand>(
        QStringLiteral("search-docs"), QStringLiteral("Search Docs"), QStringList({"Query", "Language"}));
    SearchBarState state;
    state.text = QStringLiteral("docs");
    state.inputCommand = command;
    state.inputParameters = command->parameters();
    state.argumentValues = QStringList({QString(), QString()});
    state.focusedArgumentIndex = 0;
    bar->setText(state.text);
    bar->setArguments(state);

    ASSERT_EQ(bar->argumentCount(), 2);
    EXPECT_EQ(bar->argumentField(0)->placeholderText(), QStringLiteral("Query"));
    EXPECT_EQ(bar->argumentField(1)->placeholderText(), QStringLiteral("Language (optional)"));
    EXPECT_EQ(bar->focusedField(), 0);

    typeText(QStringLiteral("qt"));
    press(Qt::Key_Tab);
    EXPECT_EQ(bar->focusedField(), 1);
    typeText(QStringLiteral("en"));
    EXPECT_EQ(bar->argumentValues(), QStringList({"qt", "en"}));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(bar->focusedField(), 0);

    // Tabbing into a field selects its text: one Backspace empties it, the
    // next, in the empty first field, goes back to the text.
    press(Qt::Key_Backspace);
    EXPECT_EQ(bar->argumentField(0)->text(), QString());
    EXPECT_EQ(bar->focusedField(), 0);
    press(Qt::Key_Backspace);
    EXPECT_EQ(bar->focusedField(), -1);
    EXPECT_TRUE(bar->textField()->hasFocus());
    EXPECT_EQ(bar->text(), QStringLiteral("docs"));

    bar->setArguments({});
    EXPECT_EQ(bar->argumentCount(), 0);
}

// The row "Encode URL" by the keys a user presses, its fields following.
TEST_F(MainWindowTest, TheSelectedRowsFieldsTakeTabAndReturnAsksForAnEmptyRequiredOne) {
    show();
    SearchBar* bar = window->searchBar();
    typeText(QStringLiteral("encode url"));
    ASSERT_TRUE(controller->selectedItem());
    ASSERT_EQ(controller->selectedItem()->id, QStringLiteral("urlEncode"));
    // Selected, its field is there at once; the keys stay in the text.
    ASSERT_EQ(bar->argumentCount(), 1);
    EXPECT_EQ(bar->argumentField(0)->placeholderText(), QStringLiteral("Text"));
    EXPECT_EQ(bar->focusedField(), -1);
    EXPECT_TRUE(bar->textField()->hasFocus());

    press(Qt::Key_Tab);
    EXPECT_EQ(bar->focusedField(), 0);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(bar->focusedField(), -1);

    // Return with the field empty moves into it; nothing runs.
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    press(Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(bar->focusedField(), 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));

    typeText(QStringLiteral("a b"));
    EXPECT_EQ(controller->argumentValues(), QStringList{QStringLiteral("a b")});
    press(Qt::Key_Return);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a%20b"));
    EXPECT_EQ(window->actionBar()->toastView()->toast().title, QStringLiteral("Copied to clipboard"));

    // Back in the text, more typing keeps the value while the row stays selected.
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    typeText(QStringLiteral(" "));
    ASSERT_EQ(controller->selectedItem()->id, QStringLiteral("urlEncode"));
    ASSERT_EQ(bar->argumentCount(), 1);
    EXPECT_EQ(bar->argumentField(0)->text(), QStringLiteral("a b"));

    // A click on a row without arguments puts the field away, the focus in the text.
    press(Qt::Key_Tab);
    ASSERT_EQ(bar->focusedField(), 0);
    const auto items = controller->allItems();
    const auto plain =
        std::find_if(items.begin(), items.end(), [](const ListItem* item) { return !item->inputCommand; });
    ASSERT_NE(plain, items.end());
    ResultListView* list = window->rootView()->list();
    const int row = list->resultModel()->rowForItem(int(plain - items.begin()));
    list->scrollTo(list->resultModel()->index(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->resultModel()->index(row)).center());
    EXPECT_EQ(controller->selectedIndex(), int(plain - items.begin()));
    EXPECT_EQ(bar->argumentCount(), 0);
    EXPECT_TRUE(bar->textField()->hasFocus());

    // Escape empties the text; the next one hides.
    press(Qt::Key_Escape);
    EXPECT_EQ(bar->text(), QString());
    press(Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
}

// A hotkey or a link ran a command without its arguments: the window comes
// up at root search with the command selected and the keys in its field.
TEST_F(MainWindowTest, ACommandRunWithoutItsArgumentsShowsTheWindowAskingForThem) {
    auto* view = new PlainView(QStringLiteral("Notes"));
    show();
    window->pushView(view);
    window->hideWindow();
    ASSERT_FALSE(window->isVisible());
    // Hidden as far as the desktop is concerned: the keyboard focus has left it.
    ASSERT_TRUE(waitUntil([this] { return QGuiApplication::focusWindow() != window->windowHandle(); }, 5000));

    window->handleOutcome(CommandOutcome::showArguments(QStringLiteral("urlEncode")));
    ASSERT_TRUE(waitUntil([this] { return window->isKeyWindow(); }, 5000));
    EXPECT_TRUE(window->isAtRoot());
    SearchBar* bar = window->searchBar();
    EXPECT_EQ(bar->text(), QStringLiteral("Encode URL"));
    ASSERT_EQ(bar->argumentCount(), 1);
    EXPECT_TRUE(waitUntil([bar] { return bar->focusedField() == 0; }, 5000));
    EXPECT_EQ(window->rootView()->list()->selectedItem(), controller->selectedIndex());

    typeText(QStringLiteral("x/y"));
    press(Qt::Key_Return);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("x%2Fy"));

    // A command that cannot ask says so.
    window->hideWindow();
    ASSERT_TRUE(waitUntil([this] { return QGuiApplication::focusWindow() != window->windowHandle(); }, 5000));
    window->handleOutcome(CommandOutcome::showArguments(QStringLiteral("noSuchCommand")));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(HUDWindow::shared().text(),
              QStringLiteral("Value is missing in argument: The command cannot ask for its arguments here"));
}

// Nobody sees a toast in a hidden window: what needs no answer goes to the
// HUD, a question brings the window up.
TEST_F(MainWindowTest, WhatAHiddenWindowIsToldGoesToTheHUDAndAQuestionShowsIt) {
    ASSERT_FALSE(window->isVisible());
    window->handleOutcome(CommandOutcome::failed(QStringLiteral("Failed to run Sleep"), QStringLiteral("No session")));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(HUDWindow::shared().text(), QStringLiteral("Failed to run Sleep: No session"));
    window->handleOutcome(CommandOutcome::copied(QStringLiteral("a%20b"), QStringLiteral("Copied to clipboard")));
    EXPECT_EQ(HUDWindow::shared().text(), QStringLiteral("Copied to clipboard"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a%20b"));
    window->tell({Toast::Style::failure, QStringLiteral("Script failed to run"), QStringLiteral("exit 3")});
    EXPECT_EQ(HUDWindow::shared().text(), QStringLiteral("Script failed to run: exit 3"));
    EXPECT_FALSE(window->actionBar()->toastView()->isShowingToast());

    std::optional<bool> answer;
    window->confirm({QStringLiteral("Run it?"), {}, std::nullopt, QStringLiteral("Run Script"), {}, false},
                    [&](bool confirmed) { answer = confirmed; });
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isPresentingSheet());
    ASSERT_TRUE(waitUntil([this] { return window->isKeyWindow(); }, 5000));
    press(Qt::Key_Return);
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(*answer);

    // Shown, the same outcome is a toast.
    window->handleOutcome(CommandOutcome::failed(QStringLiteral("Failed to run Sleep"), QStringLiteral("No session")));
    EXPECT_EQ(window->actionBar()->toastView()->toast().title, QStringLiteral("Failed to run Sleep"));
}

// MARK: Screenshots

// What the user sees: the window's pixels inside its rounded outline.
QImage snapshot(MainWindow& window) {
    QApplication::processEvents();
    const QPixmap pixmap = window.grab();
    QImage image(pixmap.size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixmap.devicePixelRatio());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(QPointF(0, 0), pixmap.deviceIndependentSize()), MainWindow::cornerRadius,
                           MainWindow::cornerRadius);
    if (!window.isCompositing()) painter.setClipPath(outline);
    painter.drawPixmap(0, 0, pixmap);
    return image;
}

TEST_F(MainWindowTest, ScreenshotsInLightAndDark) {
    show();
    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        window->applyTheme();
        const auto save = [&](const QString& name) { saveScreenshot(snapshot(*window), name + '-' + suffix); };

        window->clearSearchBar();
        save(QStringLiteral("home"));

        ASSERT_TRUE(typeCalculation(QStringLiteral("2+3*4")));
        save(QStringLiteral("calculator"));

        window->clearSearchBar();
        typeText(QStringLiteral("calc"));
        save(QStringLiteral("query"));

        window->clearSearchBar();
        typeText(QStringLiteral("fi"));
        save(QStringLiteral("results"));

        press(Qt::Key_K, Qt::ControlModifier);
        ASSERT_TRUE(window->isActionPanelOpen());
        save(QStringLiteral("action-panel"));
        press(Qt::Key_Escape);

        window->showToast({Toast::Style::success, QStringLiteral("Added to favorites"), {}});
        save(QStringLiteral("toast"));
        const auto toast = window->showToast({Toast::Style::failure, QStringLiteral("Unable to open Firefox"),
                                              QStringLiteral("The program is not installed")});
        save(QStringLiteral("toast-failure"));
        window->hideToast(toast);

        window->confirm({QStringLiteral("Empty Trash?"), QStringLiteral("All items in the trash will be deleted."),
                         std::nullopt, QStringLiteral("Empty Trash"), QStringLiteral("Cancel"), true},
                        [](bool) {});
        save(QStringLiteral("confirm"));
        press(Qt::Key_Escape);
        window->clearSearchBar();
    });
}

}  // namespace
}  // namespace vantrel::test
