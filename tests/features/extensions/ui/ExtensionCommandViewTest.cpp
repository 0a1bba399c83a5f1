// An extension command's screen on the X display: the toolkit's list, detail
// and form views fed by the script's renders (the trees here are what a script
// sends; the script's side of the events is the function that records them).
#include "features/extensions/ui/ExtensionCommandView.h"

#include "ui/toolkit/DetailView.h"
#include "ui/toolkit/FormView.h"
#include "ui/toolkit/ListView.h"
#include "ui/toolkit/TokenEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPaintEvent>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QWindow>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

namespace views = extensions::views;

bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QJsonObject item(int i, const QString& title, const QString& index = {}) {
    QJsonObject node{{"kind", "listViewItem"},
                     {"nodeId", QStringLiteral("i%1").arg(i)},
                     {"path", QStringLiteral("/body/0/sections/0/items/%1").arg(i)},
                     {"title", title},
                     {"accessoryTitle", "ripe"},
                     {"actions", QJsonObject{{"sections", QJsonArray{QJsonObject{{"items", QJsonArray{
                         QJsonObject{{"id", QStringLiteral("pick-%1").arg(i)}, {"title", "Pick"}, {"onAction", "pick"}},
                         QJsonObject{{"id", "copy"}, {"title", "Copy"}, {"onAction", "copy"},
                                     {"shortcut", QJsonObject{{"modifiers", QJsonArray{"ctrl", "shift"}}, {"key", "c"}}}}}}}}}}}};
    if (!index.isEmpty()) node.insert("index", index);
    return node;
}

QJsonObject listRoot(const QJsonArray& items, const QJsonObject& extra = {}) {
    QJsonObject list{{"kind", "listView"}, {"nodeId", "list"}, {"path", "/body/0"}, {"navigationTitle", "Fruit"},
                     {"sections", QJsonArray{QJsonObject{{"kind", "listViewSection"}, {"nodeId", "s"}, {"path", "/body/0/sections/0"},
                                                         {"title", "In season"}, {"items", items}}}}};
    for (auto it = extra.begin(); it != extra.end(); ++it) list.insert(it.key(), it.value());
    return {{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""}, {"body", QJsonArray{list}},
            {"selectedView", QJsonObject{{"value", "list"}, {"id", "view"}}}};
}

QJsonArray fruitItems() {
    return {item(0, "Apple", "red orchard"), item(1, "Banana", "yellow tropical"), item(2, "Cherry", "red stone")};
}

struct Event {
    QString handler;
    QJsonValue data;
};

class ExtensionCommandViewTest : public ::testing::Test {
protected:
    ExtensionCommandViewTest() : view(options()) {
        view.resize(750, 475);
        view.show();
    }

    ExtensionCommandView::Options options() {
        ExtensionCommandView::Options o;
        o.commandId = QStringLiteral("extension_fruit.fruit__dev");
        o.title = QStringLiteral("Browse Fruit");
        return o;
    }

    void render(const QJsonObject& root, const QJsonArray& patch = {}) {
        const int applied = view.controller().appliedRenders();
        view.controller().render(views::VantrelViewState::build({{"model", root}, {"patch", patch}}, QUrl()),
                                 [this](const QString& handler, const QJsonValue& data, std::function<void(Result<QJsonValue>)> answer) {
                                     events.push_back({handler, data});
                                     if (answer && answers.count(handler)) answer(answers.at(handler));
                                 });
        ASSERT_TRUE(waitFor([&] { return view.controller().appliedRenders() > applied; }));
    }

    ListView* list() const { return dynamic_cast<ListView*>(view.currentView()); }
    QStringList visibleTitles() const {
        QStringList titles;
        if (list())
            for (const ListView::Item* row : list()->visibleItems()) titles << row->title;
        return titles;
    }
    std::vector<Event> eventsFor(const QString& handler) const {
        std::vector<Event> out;
        for (const Event& event : events)
            if (event.handler == handler) out.push_back(event);
        return out;
    }

    ExtensionCommandView view;
    std::vector<Event> events;
    std::map<QString, QJsonValue> answers;
};

TEST_F(ExtensionCommandViewTest, LoadingUntilTheFirstRenderThenTheListOfItsItems) {
    EXPECT_EQ(view.currentView(), nullptr);
    EXPECT_EQ(view.title(), QStringLiteral("Browse Fruit"));
    EXPECT_FALSE(view.usesSearchBar());
    render(listRoot(fruitItems()));
    ASSERT_NE(list(), nullptr);
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Banana", "Cherry"}));
    EXPECT_EQ(view.title(), QStringLiteral("Fruit"));
    EXPECT_TRUE(view.usesSearchBar());
    ASSERT_NE(list()->selectedItem(), nullptr);
    EXPECT_EQ(list()->selectedItem()->accessories.at(0).text, QStringLiteral("ripe"));
}

TEST_F(ExtensionCommandViewTest, TypingFiltersOverTitleAndIndex) {
    render(listRoot(fruitItems()));
    view.searchTextChanged(QStringLiteral("ban"));
    EXPECT_EQ(visibleTitles(), (QStringList{"Banana"}));
    view.searchTextChanged(QStringLiteral("red"));
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Cherry"})) << "the index words match too";
    view.searchTextChanged(QStringLiteral("kiwi"));
    EXPECT_TRUE(visibleTitles().isEmpty());
}

TEST_F(ExtensionCommandViewTest, ReturnRunsTheSelectedItemsFirstActionAndShortcutsAreOffered) {
    render(listRoot(fruitItems()));
    view.searchTextChanged(QStringLiteral("cher"));
    const std::vector<MenuItem> actions = view.actions();
    ASSERT_GE(actions.size(), 2u);
    EXPECT_EQ(actions[0].title, QStringLiteral("Pick"));
    ASSERT_EQ(actions[1].shortcuts.size(), 1u);
    EXPECT_EQ(actions[1].shortcuts[0].displayText(), QStringLiteral("Ctrl+Shift+C"));
    const CommandOutcome outcome = actions[0].perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::handled) << "the window stays: the script answers";
    ASSERT_EQ(eventsFor("pick").size(), 1u);
    EXPECT_EQ(eventsFor("pick")[0].data, QJsonValue("pick-2"));
}

TEST_F(ExtensionCommandViewTest, SearchTextGoesToTheScriptThrottled) {
    render(listRoot(fruitItems(), {{"onSearchTextChange", "search"}, {"throttlingEnabled", true}}));
    for (const QString& text : {QStringLiteral("a"), QStringLiteral("ap"), QStringLiteral("app"), QStringLiteral("appl")})
        view.searchTextChanged(text);
    ASSERT_TRUE(waitFor([&] { return !eventsFor("search").empty() && eventsFor("search").back().data == QJsonValue("appl"); }));
    EXPECT_LT(eventsFor("search").size(), 4u) << "keystrokes within the interval are one event";
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Banana", "Cherry"})) << "a script that searches filters itself";
}

TEST_F(ExtensionCommandViewTest, SearchTextWithoutThrottlingGoesAtOnce) {
    render(listRoot(fruitItems(), {{"onSearchTextChange", "search"}}));
    view.searchTextChanged(QStringLiteral("a"));
    view.searchTextChanged(QStringLiteral("ap"));
    ASSERT_EQ(eventsFor("search").size(), 2u);
    EXPECT_EQ(eventsFor("search")[1].data, QJsonValue("ap"));
}

TEST_F(ExtensionCommandViewTest, IsLoadingShowsTheProgressBar) {
    render(listRoot(fruitItems(), {{"isLoading", true}}));
    EXPECT_TRUE(view.isShowingProgress());
    render(listRoot(fruitItems(), {{"isLoading", false}}), {QJsonObject{{"op", "replace"}, {"path", "/body/0/isLoading"}}});
    EXPECT_FALSE(view.isShowingProgress());
}

TEST_F(ExtensionCommandViewTest, APatchOfOneTitleKeepsTheSelection) {
    render(listRoot(fruitItems()));
    ASSERT_TRUE(list()->selectItem(QStringLiteral("i1")));
    QJsonArray items = fruitItems();
    items[1] = item(1, "Blueberry");
    render(listRoot(items), {QJsonObject{{"op", "replace"}, {"path", "/body/0/sections/0/items/1/title"}, {"value", "Blueberry"}}});
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Blueberry", "Cherry"}));
    EXPECT_EQ(list()->selectedItem()->id, QStringLiteral("i1"));
}

// What the list's viewport paints, from a moment on.
class PaintedRegion : public QObject {
public:
    explicit PaintedRegion(QWidget* widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintedRegion() override {
        if (m_widget) m_widget->removeEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion region;

private:
    QPointer<QWidget> m_widget;
};

TEST_F(ExtensionCommandViewTest, APatchOfOneTitleRepaintsThatRowOnlyWithoutResettingTheList) {
    render(listRoot(fruitItems()));
    ASSERT_TRUE(list()->selectItem(QStringLiteral("i2")));
    auto* rows = list()->findChild<QListView*>();
    ASSERT_NE(rows, nullptr);
    QAbstractItemModel* model = rows->model();
    const int rowCount = model->rowCount();
    int resets = 0;
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    // The window manager done with the new window (mapped, activated: both
    // repaint it whole), and the first render painted, before the patch comes.
    view.activateWindow();
    for (QDeadlineTimer active(5000); !(view.isActiveWindow() && view.windowHandle()->isExposed()) && !active.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    {
        const PaintedRegion first(rows->viewport());
        rows->viewport()->update();
        QDeadlineTimer deadline(5000);
        while (!first.region.contains(rows->viewport()->rect()) && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(first.region.contains(rows->viewport()->rect())) << "the list was never painted";
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    const PaintedRegion painted(rows->viewport());

    QJsonArray items = fruitItems();
    items[1] = item(1, "Blueberry");
    render(listRoot(items), {QJsonObject{{"op", "replace"}, {"path", "/body/0/sections/0/items/1/title"}, {"value", "Blueberry"}}});

    // The section's title is row 0: Banana's row is 2.
    const QRect banana = rows->visualRect(model->index(2, 0));
    QDeadlineTimer deadline(5000);
    while (!painted.region.contains(banana) && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(painted.region.contains(banana)) << "the changed row was not repainted";
    // A relayout the change set off would be waiting in the queue: let it run.
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    // Nothing but that row: not the section title, not Apple or Cherry.
    EXPECT_EQ(painted.region.boundingRect(), banana);
    EXPECT_EQ(resets, 0) << "the list was rebuilt";
    EXPECT_EQ(model->rowCount(), rowCount);
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Blueberry", "Cherry"}));
    ASSERT_NE(list()->selectedItem(), nullptr);
    EXPECT_EQ(list()->selectedItem()->id, QStringLiteral("i2"));
}

TEST_F(ExtensionCommandViewTest, GoingBackClosesTheTopViewAndShowsTheOneBelowAsItWasLeft) {
    render(listRoot(fruitItems()));
    EXPECT_FALSE(view.goBack()) << "one view: the window closes the command";
    view.searchTextChanged(QStringLiteral("red"));
    ASSERT_TRUE(list()->selectItem(QStringLiteral("i2")));
    LauncherView* first = view.currentView();

    // The script pushes a detail page: the second view of the body is selected.
    QJsonObject root = listRoot(fruitItems());
    QJsonArray body = root.value("body").toArray();
    body.append(QJsonObject{{"kind", "detailView"}, {"nodeId", "about"}, {"path", "/body/1"}, {"navigationTitle", "About Cherry"},
                            {"markdown", "# Cherry"}});
    root.insert("body", body);
    root.insert("selectedView", QJsonObject{{"value", "about"}, {"id", "view"}});
    render(root, {QJsonObject{{"op", "replace"}, {"path", "/selectedView/value"}, {"value", "about"}}});
    ASSERT_NE(dynamic_cast<DetailView*>(view.currentView()), nullptr);
    EXPECT_EQ(view.controller().stackDepth(), 2u);
    QPointer<LauncherView> pushed = view.currentView();

    EXPECT_TRUE(view.goBack());
    EXPECT_EQ(view.currentView(), first);
    EXPECT_EQ(view.title(), QStringLiteral("Fruit"));
    EXPECT_EQ(view.searchText(), QStringLiteral("red"));
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Cherry"}));
    ASSERT_NE(list()->selectedItem(), nullptr);
    EXPECT_EQ(list()->selectedItem()->id, QStringLiteral("i2"));
    ASSERT_FALSE(eventsFor("view").empty());
    EXPECT_EQ(eventsFor("view").back().data, QJsonValue("list"));
    EXPECT_TRUE(waitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return pushed.isNull();
    })) << "the page left is closed";
    EXPECT_FALSE(view.goBack());
}

TEST_F(ExtensionCommandViewTest, ABadTreeShowsTheFailureAndTheLastScreenStays) {
    render(listRoot(fruitItems()));
    view.controller().renderFailed(QStringLiteral("Missing property 'title' in listViewItem"));
    EXPECT_TRUE(view.isShowingFailure());
    EXPECT_EQ(view.failureText(), QStringLiteral("Something goes wrong: Missing property 'title' in listViewItem"));
    EXPECT_EQ(visibleTitles(), (QStringList{"Apple", "Banana", "Cherry"}));
    EXPECT_FALSE(view.actions().empty()) << "the launcher stays usable";
    render(listRoot(fruitItems()));
    EXPECT_FALSE(view.isShowingFailure());
}

TEST_F(ExtensionCommandViewTest, AFirstRenderThatFailsLeavesAMessageInsteadOfLoading) {
    view.controller().renderFailed(QStringLiteral("Unknown view kind 'grid'"));
    EXPECT_TRUE(view.isShowingFailure());
    EXPECT_EQ(view.currentView(), nullptr);
}

TEST_F(ExtensionCommandViewTest, ADetailShowsItsMarkdownAndActions) {
    const QJsonObject root{{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""},
                           {"selectedView", QJsonObject{{"value", "d"}, {"id", "view"}}},
                           {"body", QJsonArray{QJsonObject{{"kind", "detailView"}, {"nodeId", "d"}, {"path", "/body/0"},
                                                           {"navigationTitle", "About"}, {"markdown", "# Apple\n\nCrisp."},
                                                           {"actions", QJsonObject{{"sections", QJsonArray{QJsonObject{
                                                               {"items", QJsonArray{QJsonObject{{"title", "Open"}, {"onAction", "open"}}}}}}}}}}}}};
    render(root);
    auto* detail = dynamic_cast<DetailView*>(view.currentView());
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->markdown(), QStringLiteral("# Apple\n\nCrisp."));
    EXPECT_EQ(view.title(), QStringLiteral("About"));
    ASSERT_EQ(view.actions().size(), 1u);
    view.actions()[0].perform();
    ASSERT_EQ(eventsFor("open").size(), 1u);
}

QJsonObject formRoot(const QString& name = {}) {
    QJsonObject nameField{{"kind", "formViewTextField"}, {"nodeId", "name"}, {"path", "/body/0/items/0"}, {"title", "Name"},
                          {"storeValue", true}};
    if (!name.isEmpty()) nameField.insert("value", name);
    return {{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""},
            {"selectedView", QJsonObject{{"value", "f"}, {"id", "view"}}},
            {"body", QJsonArray{QJsonObject{
                {"kind", "formView"}, {"nodeId", "f"}, {"path", "/body/0"}, {"navigationTitle", "Feedback"}, {"onSubmit", "submit"},
                {"submitTitle", "Send"},
                {"items", QJsonArray{nameField,
                                     QJsonObject{{"kind", "formViewCheckbox"}, {"nodeId", "again"}, {"path", "/body/0/items/1"},
                                                 {"checkboxTitle", "Buy again"}, {"value", true}, {"onChange", "changed"}},
                                     QJsonObject{{"kind", "formViewDropdown"}, {"nodeId", "fav"}, {"path", "/body/0/items/2"},
                                                 {"value", "banana"}, {"menu", "menu"}},
                                     QJsonObject{{"kind", "formViewSeparator"}, {"nodeId", "sep"}, {"path", "/body/0/items/3"}},
                                     QJsonObject{{"kind", "formViewDatePicker"}, {"nodeId", "when"}, {"path", "/body/0/items/4"},
                                                 {"title", "When"}}}}}}}};
}

// The form on screen: a rebuild (the dropdown's entries answered) puts a new
// one in place and deletes the old one later.
FormView* formOf(const ExtensionCommandView& view) {
    LauncherView* current = view.currentView();
    if (!current) return nullptr;
    const QList<FormView*> forms = current->findChildren<FormView*>();
    return forms.isEmpty() ? nullptr : forms.last();
}

TEST_F(ExtensionCommandViewTest, AFormSubmitsEveryValueUnderItsIdAndKeepsStoredValues) {
    QSettings().remove(QStringLiteral("extensionForms"));
    answers["menu"] = QJsonObject{{"sections", QJsonArray{QJsonObject{{"items", QJsonArray{
        QJsonObject{{"id", "apple"}, {"title", "Apple"}}, QJsonObject{{"id", "banana"}, {"title", "Banana"}}}}}}}};
    render(formRoot());
    const auto dropdown = [&]() -> QComboBox* {
        FormView* shown = formOf(view);
        return shown ? qobject_cast<QComboBox*>(shown->control("fav")) : nullptr;
    };
    EXPECT_TRUE(waitFor([&] { return dropdown() && dropdown()->count() == 2; }))
        << "the entries come from the script's menu handler";
    FormView* form = formOf(view);
    ASSERT_NE(form, nullptr);
    auto* combo = dropdown();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Banana"));
    qobject_cast<QLineEdit*>(form->control("name"))->setText(QStringLiteral("Ada"));
    qobject_cast<QCheckBox*>(form->control("again"))->setChecked(false);
    ASSERT_EQ(eventsFor("changed").size(), 1u);
    EXPECT_EQ(eventsFor("changed")[0].data, QJsonValue(false));

    const std::vector<MenuItem> actions = view.actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions[0].title, QStringLiteral("Send"));
    ASSERT_FALSE(actions[0].shortcuts.empty());
    EXPECT_EQ(actions[0].shortcuts[0].displayText(), QStringLiteral("Ctrl+Return")) << "submit with Ctrl+Enter";
    EXPECT_EQ(actions[0].perform().kind, CommandOutcome::Kind::handled);
    ASSERT_EQ(eventsFor("submit").size(), 1u);
    const QJsonObject values = eventsFor("submit")[0].data.toObject();
    EXPECT_EQ(values.value("name"), QJsonValue("Ada"));
    EXPECT_EQ(values.value("again"), QJsonValue(false));
    EXPECT_EQ(values.value("fav"), QJsonValue("banana"));

    // The stored value comes back when the form is shown again.
    ExtensionCommandView again(options());
    again.controller().render(views::VantrelViewState::build({{"model", formRoot()}, {"patch", QJsonArray{}}}, QUrl()),
                              [](const QString&, const QJsonValue&, auto) {});
    ASSERT_TRUE(waitFor([&] { return formOf(again) != nullptr; }));
    EXPECT_EQ(qobject_cast<QLineEdit*>(formOf(again)->control("name"))->text(), QStringLiteral("Ada"));
}

TEST_F(ExtensionCommandViewTest, ADateThatDoesNotParseIsRefusedOnSubmit) {
    render(formRoot());
    FormView* form = formOf(view);
    ASSERT_NE(form, nullptr);
    qobject_cast<QLineEdit*>(form->control("when"))->setText(QStringLiteral("someday"));
    view.actions()[0].perform();
    EXPECT_TRUE(eventsFor("submit").empty());
    EXPECT_EQ(form->validationMessage("when"), QStringLiteral("Not a date I can read: 'someday'"));
    qobject_cast<QLineEdit*>(form->control("when"))->setText(QStringLiteral("2026-12-24"));
    view.actions()[0].perform();
    ASSERT_EQ(eventsFor("submit").size(), 1u);
    EXPECT_EQ(eventsFor("submit")[0].data.toObject().value("when"), QJsonValue("2026-12-24")) << "a day: yyyy-MM-dd";
}

// A form of the remaining kinds: a button, a separator, a token editor and a
// date picker with its own format.
QJsonObject richFormRoot(const QJsonArray& tokens = {}, const QString& date = {}) {
    QJsonObject tokenEditor{{"kind", "formViewTokenEditor"}, {"nodeId", "fruit"}, {"path", "/body/0/items/2"},
                            {"title", "Fruit"}, {"suggestions", "suggest"}};
    if (!tokens.isEmpty()) tokenEditor.insert("value", tokens);
    QJsonObject datePicker{{"kind", "formViewDatePicker"}, {"nodeId", "when"}, {"path", "/body/0/items/3"},
                           {"title", "Delivery"}, {"dateFormat", "dd.MM.yyyy HH:mm"}};
    if (!date.isEmpty()) datePicker.insert("value", date);
    return {{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""},
            {"selectedView", QJsonObject{{"value", "f"}, {"id", "view"}}},
            {"body", QJsonArray{QJsonObject{
                {"kind", "formView"}, {"nodeId", "f"}, {"path", "/body/0"}, {"navigationTitle", "Order"}, {"onSubmit", "submit"},
                {"actions", QJsonObject{{"sections", QJsonArray{QJsonObject{{"items", QJsonArray{
                    QJsonObject{{"id", "size"}, {"title", "Choose Size"}, {"submenu", "sizes"}}}}}}}}},
                {"items", QJsonArray{QJsonObject{{"kind", "formViewButton"}, {"nodeId", "bell"}, {"path", "/body/0/items/0"},
                                                 {"title", "Shop"}, {"buttonTitle", "Ring the Bell"}, {"description", "Once"},
                                                 {"onAction", "ring"}},
                                     QJsonObject{{"kind", "formViewSeparator"}, {"nodeId", "sep"}, {"path", "/body/0/items/1"}},
                                     tokenEditor, datePicker}}}}}};
}

QJsonObject token(const QString& id, const QString& title, const QString& badge = {}) {
    QJsonObject out{{"id", id}, {"title", title}};
    if (!badge.isEmpty()) out.insert("style", QJsonObject{{"badgeColor", badge}});
    return out;
}

TEST_F(ExtensionCommandViewTest, AButtonIsDrawnAndSendsItsHandlerTheItemsId) {
    render(richFormRoot());
    FormView* form = formOf(view);
    ASSERT_NE(form, nullptr);
    auto* button = qobject_cast<QPushButton*>(form->control("bell"));
    ASSERT_NE(button, nullptr) << "the button is drawn";
    EXPECT_EQ(button->text(), QStringLiteral("Ring the Bell"));
    EXPECT_TRUE(button->property("keepsReturn").toBool()) << "Return on the button presses it, not submit";
    EXPECT_NE(form->control("sep"), nullptr) << "the separator is drawn";
    button->click();
    ASSERT_EQ(eventsFor("ring").size(), 1u);
    EXPECT_EQ(eventsFor("ring")[0].data, QJsonValue("bell"));

    // Neither holds a value: the submit leaves them out.
    view.actions()[0].perform();
    ASSERT_EQ(eventsFor("submit").size(), 1u);
    const QJsonObject values = eventsFor("submit")[0].data.toObject();
    EXPECT_FALSE(values.contains("bell"));
    EXPECT_FALSE(values.contains("sep"));
}

TEST_F(ExtensionCommandViewTest, ATokenEditorAsksForSuggestionsAndSubmitsTheTokenValuesAsGiven) {
    answers["suggest"] = QJsonArray{token("banana", "Banana", "#f5d142"), token("bread", "Bread")};
    render(richFormRoot(QJsonArray{token("apple", "Apple")}));
    FormView* form = formOf(view);
    ASSERT_NE(form, nullptr);
    auto* editor = qobject_cast<TokenEditor*>(form->control("fruit"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->tokens().size(), 1u) << "the value's tokens show";

    editor->lineEdit()->setText(QStringLiteral("b"));
    ASSERT_TRUE(waitFor([&] { return editor->suggestionTitles() == QStringList({"Banana", "Bread"}); }));
    ASSERT_FALSE(eventsFor("suggest").empty());
    EXPECT_EQ(eventsFor("suggest").back().data, QJsonValue("b")) << "the handler gets the typed text";

    QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(editor->lineEdit(), &ret);
    ASSERT_EQ(editor->tokens().size(), 2u);
    EXPECT_EQ(editor->tokens()[1].title, QStringLiteral("Banana"));
    EXPECT_TRUE(editor->text().isEmpty());

    view.actions()[0].perform();
    ASSERT_EQ(eventsFor("submit").size(), 1u);
    EXPECT_EQ(eventsFor("submit")[0].data.toObject().value("fruit"),
              QJsonValue(QJsonArray{token("apple", "Apple"), token("banana", "Banana", "#f5d142")}))
        << "an array of token values, each as the script gave it";
    EXPECT_EQ(eventsFor("submit")[0].data.toObject().value("when"), QJsonValue(QJsonValue::Null)) << "no date typed";

    // Backspace in the empty text takes the last token away.
    QKeyEvent back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(editor->lineEdit(), &back);
    EXPECT_EQ(editor->tokens().size(), 1u);
}

TEST_F(ExtensionCommandViewTest, SuggestionsWithoutIdsAreRefusedAndListNothing) {
    answers["suggest"] = QJsonArray{QJsonObject{{"title", "Nameless"}}};
    render(richFormRoot());
    auto* editor = qobject_cast<TokenEditor*>(formOf(view)->control("fruit"));
    ASSERT_NE(editor, nullptr);
    editor->lineEdit()->setText(QStringLiteral("n"));
    ASSERT_TRUE(waitFor([&] { return !eventsFor("suggest").empty(); }));
    QApplication::processEvents();
    EXPECT_TRUE(editor->suggestionTitles().isEmpty());
    EXPECT_TRUE(editor->tokens().empty());
}

TEST_F(ExtensionCommandViewTest, ADatePickerReadsPhrasesAndSubmitsInItsFormat) {
    render(richFormRoot({}, QStringLiteral("24.12.2026 18:30")));
    FormView* form = formOf(view);
    ASSERT_NE(form, nullptr);
    auto* edit = qobject_cast<QLineEdit*>(form->control("when"));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("24.12.2026 18:30")) << "the value, in its format";
    ASSERT_TRUE(form->dateReading("when").has_value());
    EXPECT_EQ(form->dateReading("when")->date, QDateTime(QDate(2026, 12, 24), QTime(18, 30)));

    edit->setText(QStringLiteral("tomorrow 9am"));
    const auto reading = form->dateReading("when");
    ASSERT_TRUE(reading.has_value());
    const QDate tomorrow = QDate::currentDate().addDays(1);
    EXPECT_EQ(reading->date.time(), QTime(9, 0));
    EXPECT_TRUE(reading->title.startsWith(QStringLiteral("Tomorrow, 9:00 AM"))) << reading->title.toStdString();
    EXPECT_TRUE(form->state().value("when").toMap().value("hint").toString().startsWith(QStringLiteral("Tomorrow")));

    edit->setText(QStringLiteral("next friday"));
    ASSERT_TRUE(form->dateReading("when").has_value());
    EXPECT_EQ(form->dateReading("when")->date.date().dayOfWeek(), Qt::Friday);
    EXPECT_GT(form->dateReading("when")->date.date(), QDate::currentDate());

    edit->setText(QStringLiteral("tomorrow 9am"));
    view.actions()[0].perform();
    ASSERT_EQ(eventsFor("submit").size(), 1u);
    const QString sent = eventsFor("submit")[0].data.toObject().value("when").toString();
    EXPECT_TRUE(sent == tomorrow.toString("dd.MM.yyyy") + " 09:00" ||
                sent == QDate::currentDate().addDays(1).toString("dd.MM.yyyy") + " 09:00")
        << sent.toStdString();

    // Text that names no date: a message at once, and nothing is sent.
    edit->setText(QStringLiteral("when pigs fly"));
    EXPECT_EQ(form->state().value("when").toMap().value("message").toString(), QStringLiteral("Not a date I can read: 'when pigs fly'"));
    view.actions()[0].perform();
    EXPECT_EQ(eventsFor("submit").size(), 1u);
}

TEST_F(ExtensionCommandViewTest, ASubmenuAsksItsHandlerAndItsEntriesSendTheirIds) {
    answers["sizes"] = QJsonObject{{"sections", QJsonArray{QJsonObject{{"items", QJsonArray{
        QJsonObject{{"id", "small"}, {"title", "Small Basket"}, {"onAction", "size"}},
        QJsonObject{{"id", "large"}, {"title", "Large Crate"}, {"onAction", "size"}}}}}}}};
    render(richFormRoot());
    const std::vector<MenuItem> actions = view.actions();
    const auto found = std::find_if(actions.begin(), actions.end(), [](const MenuItem& item) { return item.title == "Choose Size"; });
    ASSERT_NE(found, actions.end());
    ASSERT_TRUE(bool(found->loadSubmenu)) << "a submenu, answered by the script";
    std::vector<MenuItem> entries;
    bool answered = false;
    found->loadSubmenu(QString(), [&](std::vector<MenuItem> items) {
        entries = std::move(items);
        answered = true;
    });
    ASSERT_TRUE(waitFor([&] { return answered; }));
    EXPECT_EQ(eventsFor("sizes").back().data, QJsonValue("")) << "the handler gets the submenu's search text";
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].title, QStringLiteral("Large Crate"));
    entries[1].perform();
    ASSERT_EQ(eventsFor("size").size(), 1u);
    EXPECT_EQ(eventsFor("size")[0].data, QJsonValue("large"));

    // An answer without sections gives no entries.
    answers["sizes"] = QJsonObject{{"title", "Sizes"}};
    answered = false;
    found->loadSubmenu(QStringLiteral("s"), [&](std::vector<MenuItem> items) {
        entries = std::move(items);
        answered = true;
    });
    ASSERT_TRUE(waitFor([&] { return answered; }));
    EXPECT_TRUE(entries.empty());
}

TEST_F(ExtensionCommandViewTest, DevelopmentCommandsOfferReloadWithTheManifestShortcut) {
    int reloads = 0;
    ExtensionCommandView::Options o = options();
    o.reloadShortcut = KeyboardShortcut{ModifierKeys::control, KeyEquivalent(U'r')};
    o.reload = [&reloads] { ++reloads; };
    ExtensionCommandView dev(o);
    EXPECT_EQ(dev.actions().size(), 1u) << "reload is there before the first render";
    dev.controller().render(views::VantrelViewState::build({{"model", listRoot(fruitItems())}, {"patch", QJsonArray{}}}, QUrl()),
                            [](const QString&, const QJsonValue&, auto) {});
    ASSERT_TRUE(waitFor([&] { return dev.currentView() != nullptr; }));
    const std::vector<MenuItem> actions = dev.actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.back().title, QStringLiteral("Reload"));
    EXPECT_EQ(actions.back().shortcuts.at(0).displayText(), QStringLiteral("Ctrl+R"));
    EXPECT_EQ(actions.back().perform().kind, CommandOutcome::Kind::handled);
    EXPECT_EQ(reloads, 1);
    EXPECT_NE(dev.currentView(), nullptr) << "the view stays while the script reloads";
}

}  // namespace
}  // namespace vantrel
