// The form's button, separator, token editor and date picker, and the
// action panel's submenus whose entries are answered later.
#include "ui/toolkit/ActionPanel.h"
#include "ui/toolkit/FormView.h"
#include "ui/toolkit/TokenEditor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

void press(QWidget* target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TokenEditor::Token fruit(const QString& id) {
    QString title = id;
    title[0] = title[0].toUpper();
    return {id, title, {}, std::nullopt};
}

// Suggestions answered by hand, later, as a script would.
struct PendingSuggestions {
    std::vector<std::pair<QString, TokenEditor::Answer>> asked;
    TokenEditor::SuggestionSource source() {
        return [this](const QString& text, TokenEditor::Answer answer) { asked.emplace_back(text, std::move(answer)); };
    }
};

TEST(TokenEditorField, ReturnBeforeTheAnswerAddsItsFirstSuggestionAndStaleAnswersAreDropped) {
    QWidget window;
    auto* editor = new TokenEditor(&window);
    PendingSuggestions pending;
    editor->setSuggestionSource(pending.source());
    window.show();

    editor->lineEdit()->setText(QStringLiteral("c"));
    editor->lineEdit()->setText(QStringLiteral("ch"));
    ASSERT_EQ(pending.asked.size(), 2u);
    EXPECT_TRUE(editor->lineEdit()->property("keepsReturn").toBool()) << "Return completes while text is typed";
    press(editor->lineEdit(), Qt::Key_Return);
    // The answer for "c" comes last but is no longer wanted.
    pending.asked[1].second({fruit(QStringLiteral("cherry"))});
    pending.asked[0].second({fruit(QStringLiteral("coconut"))});
    ASSERT_EQ(editor->tokens().size(), 1u);
    EXPECT_EQ(editor->tokens()[0].id, QStringLiteral("cherry"));
    EXPECT_TRUE(editor->text().isEmpty());
    EXPECT_FALSE(editor->lineEdit()->property("keepsReturn").toBool()) << "with nothing typed Return submits the form";
}

TEST(TokenEditorField, ChosenTokensAreNotOfferedAgainAndDownMovesTheChoice) {
    QWidget window;
    auto* editor = new TokenEditor(&window);
    editor->setSuggestionSource([](const QString&, TokenEditor::Answer answer) {
        answer({fruit(QStringLiteral("apple")), fruit(QStringLiteral("apricot")), fruit(QStringLiteral("avocado"))});
    });
    editor->setValue(QVariantList{QVariantMap{{QStringLiteral("id"), QStringLiteral("apple")}, {QStringLiteral("title"), QStringLiteral("Apple")}}});
    window.show();
    editor->lineEdit()->setText(QStringLiteral("a"));
    EXPECT_EQ(editor->suggestionTitles(), QStringList({"Apricot", "Avocado"}));
    press(editor->lineEdit(), Qt::Key_Down);
    press(editor->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(editor->value(),
              QVariantList({QVariantMap{{QStringLiteral("id"), QStringLiteral("apple")}, {QStringLiteral("title"), QStringLiteral("Apple")}},
                            QVariantMap{{QStringLiteral("id"), QStringLiteral("avocado")}, {QStringLiteral("title"), QStringLiteral("Avocado")}}}));
    press(editor->lineEdit(), Qt::Key_Backspace);
    press(editor->lineEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(editor->tokens().empty());
    press(editor->lineEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(editor->tokens().empty()) << "nothing left to remove";
}

TEST(TokenEditorField, EscapeClosesTheSuggestionsBeforeItLeavesTheField) {
    QWidget window;
    auto* editor = new TokenEditor(&window);
    editor->setSuggestionSource([](const QString&, TokenEditor::Answer answer) { answer({fruit(QStringLiteral("banana"))}); });
    window.show();
    EXPECT_FALSE(editor->lineEdit()->property("keepsEscape").toBool()) << "nothing open: Escape is the window's";
    editor->lineEdit()->setText(QStringLiteral("ba"));
    ASSERT_EQ(editor->suggestionTitles(), QStringList({"Banana"}));
    EXPECT_TRUE(editor->lineEdit()->property("keepsEscape").toBool());

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    escape.setAccepted(false);
    QApplication::sendEvent(editor->lineEdit(), &escape);
    EXPECT_TRUE(editor->suggestionTitles().isEmpty()) << "the list closed";
    EXPECT_FALSE(editor->lineEdit()->property("keepsEscape").toBool()) << "the next Escape goes back";
    EXPECT_EQ(editor->text(), QStringLiteral("ba")) << "what was typed stays";
    EXPECT_TRUE(editor->tokens().empty());
}

std::vector<FormView::Field> fields(int* presses) {
    FormView::Field button;
    button.id = QStringLiteral("bell");
    button.title = QStringLiteral("Shop");
    button.type = FormView::Field::Type::button;
    button.buttonTitle = QStringLiteral("Ring");
    button.press = [presses] { ++*presses; };
    FormView::Field separator;
    separator.id = QStringLiteral("rule");
    separator.type = FormView::Field::Type::separator;
    FormView::Field tokens;
    tokens.id = QStringLiteral("fruit");
    tokens.title = QStringLiteral("Fruit");
    tokens.type = FormView::Field::Type::tokenEditor;
    tokens.required = true;
    FormView::Field date;
    date.id = QStringLiteral("when");
    date.title = QStringLiteral("When");
    date.type = FormView::Field::Type::datePicker;
    date.readDate = [](const QString& text) -> std::optional<FormView::DateReading> {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (!day.isValid()) return std::nullopt;
        return FormView::DateReading{day.startOfDay(), false, day.toString(QStringLiteral("d MMMM yyyy"))};
    };
    return {button, separator, tokens, date};
}

TEST(FormFields, ButtonsAndSeparatorsHoldNoValueAndTheDateShowsWhatItReads) {
    int presses = 0;
    FormView form(QStringLiteral("Order"), fields(&presses));
    form.show();
    qobject_cast<QPushButton*>(form.control(QStringLiteral("bell")))->click();
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(form.values().keys(), QStringList({"fruit", "when"}));

    auto* date = qobject_cast<QLineEdit*>(form.control(QStringLiteral("when")));
    date->setText(QStringLiteral("2026-12-24"));
    EXPECT_EQ(form.state().value(QStringLiteral("when")).toMap().value(QStringLiteral("hint")).toString(), QStringLiteral("24 December 2026"));
    date->setText(QStringLiteral("soon"));
    EXPECT_EQ(form.state().value(QStringLiteral("when")).toMap().value(QStringLiteral("message")).toString(),
              QStringLiteral("Not a date I can read: 'soon'"));
    EXPECT_FALSE(form.state().value(QStringLiteral("when")).toMap().contains(QStringLiteral("hint")));

    // A required token editor needs a token; the unreadable date is refused too.
    int submitted = 0;
    form.setSubmitHandler([&submitted](const QVariantMap&) {
        ++submitted;
        return CommandOutcome::done();
    });
    EXPECT_EQ(form.submit().kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(form.validationMessage(QStringLiteral("fruit")), QString::fromLatin1(FormView::requiredMessage));
    qobject_cast<TokenEditor*>(form.control(QStringLiteral("fruit")))->addToken(fruit(QStringLiteral("apple")));
    date->clear();
    EXPECT_TRUE(form.submit().succeeded());
    EXPECT_EQ(submitted, 1);
}

MenuItem lazySubmenu(std::vector<std::pair<QString, MenuItem::SubmenuAnswer>>* asked, bool filtersItself) {
    MenuItem item = MenuItem::make(QStringLiteral("size"), QStringLiteral("Choose Size"), [] { return CommandOutcome::done(); });
    item.loadSubmenu = [asked](const QString& text, MenuItem::SubmenuAnswer answer) { asked->emplace_back(text, std::move(answer)); };
    item.submenuFiltersItself = filtersItself;
    return item;
}

std::vector<MenuItem> entries(const QStringList& titles) {
    std::vector<MenuItem> out;
    for (const QString& title : titles) out.push_back(MenuItem::make(title, title, [] { return CommandOutcome::done(); }));
    return out;
}

TEST(ActionPanelSubmenus, EntriesArriveLaterEscapeGoesBackOneLevelAndLateAnswersAreDropped) {
    QWidget window;
    window.resize(700, 460);
    auto* panel = new ActionPanel(&window);
    std::vector<std::pair<QString, MenuItem::SubmenuAnswer>> asked;
    std::vector<MenuItem> items = entries({"Place Order"});
    items.push_back(lazySubmenu(&asked, false));
    window.show();
    panel->open(QStringLiteral("Order"), items);
    QWidget* filter = panel->findChild<QLineEdit*>(QStringLiteral("actionPanelFilter"));
    ASSERT_NE(filter, nullptr);

    press(filter, Qt::Key_Down);
    press(filter, Qt::Key_Return);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, QString()) << "asked with the submenu's (empty) search text";
    EXPECT_TRUE(panel->visibleTitles().isEmpty()) << "loading";
    asked[0].second(entries({"Small Basket", "Large Crate"}));
    EXPECT_EQ(panel->visibleTitles(), QStringList({"Small Basket", "Large Crate"}));
    panel->setFilterText(QStringLiteral("large"));
    EXPECT_EQ(panel->visibleTitles(), QStringList({"Large Crate"})) << "filtered by the panel itself";

    press(filter, Qt::Key_Escape);
    EXPECT_TRUE(panel->isOpen());
    EXPECT_EQ(panel->visibleTitles(), QStringList({"Place Order", "Choose Size"}));

    // Left before its answer came: the answer changes nothing.
    press(filter, Qt::Key_Down);
    press(filter, Qt::Key_Return);
    ASSERT_EQ(asked.size(), 2u);
    press(filter, Qt::Key_Escape);
    asked[1].second(entries({"Too Late"}));
    EXPECT_EQ(panel->visibleTitles(), QStringList({"Place Order", "Choose Size"}));
    press(filter, Qt::Key_Escape);
    EXPECT_FALSE(panel->isOpen());
}

TEST(ActionPanelSubmenus, ASubmenuThatFiltersItselfIsAskedAtEveryKeystroke) {
    QWidget window;
    window.resize(700, 460);
    auto* panel = new ActionPanel(&window);
    std::vector<std::pair<QString, MenuItem::SubmenuAnswer>> asked;
    window.show();
    panel->openSubmenu(lazySubmenu(&asked, true));
    ASSERT_EQ(asked.size(), 1u);
    asked[0].second(entries({"Small Basket", "Large Crate"}));
    panel->setFilterText(QStringLiteral("xl"));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].first, QStringLiteral("xl"));
    asked[1].second(entries({"Extra Large Crate"}));
    EXPECT_EQ(panel->visibleTitles(), QStringList({"Extra Large Crate"})) << "shown as answered, not filtered again";
}

}  // namespace
