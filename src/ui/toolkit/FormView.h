#pragma once

#include "ui/toolkit/LauncherView.h"
#include "ui/toolkit/TokenEditor.h"

#include <QDateTime>

#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QFormLayout;
class QLabel;

namespace vantrel {

// A form: one row per field (a label on the left, the control on the right,
// a red message under it when the value is not accepted). Submitting checks
// every field first; the values reach the submit handler as a map from
// field id to value (text: QString, checkbox: bool, dropdown: the chosen
// option's value, file picker: the path, token editor: a list of maps with
// "id" and "title", date picker: the typed text). Buttons and separators
// hold no value.
class FormView : public LauncherView {
    Q_OBJECT

public:
    // What a date picker read from its text.
    struct DateReading {
        QDateTime date;
        bool hasTime = false;
        // How the field describes it ("Tomorrow, 9:00 AM").
        QString title;
    };

    struct Field {
        enum class Type { textField, password, textArea, checkbox, dropdown, filePicker, button, separator, tokenEditor, datePicker };
        QString id;
        QString title;
        Type type = Type::textField;
        QVariant defaultValue;
        QString placeholder;
        // Grey help text under the control.
        QString info;
        // dropdown: (value, title) pairs; checkbox: the text beside the box.
        std::vector<std::pair<QString, QString>> options;
        QString checkboxLabel;
        bool required = false;
        // filePicker: choose a folder instead of a file.
        bool chooseDirectories = false;
        // The message to show when the value is not accepted; empty when it is.
        std::function<QString(const QVariant& value)> validate;
        // button: the text on it and what pressing it (click, Space or Return) does;
        // `info` is shown beside it.
        QString buttonTitle;
        std::function<void()> press;
        // tokenEditor: where the suggestions of the typed text come from.
        TokenEditor::SuggestionSource suggestions;
        // datePicker: the date a text means, read as it is typed and shown
        // under the field; a text it cannot read shows `unreadableDate`.
        std::function<std::optional<DateReading>(const QString& text)> readDate;
    };
    using SubmitHandler = std::function<CommandOutcome(const QVariantMap& values)>;

    FormView(QString title, std::vector<Field> fields, QWidget* parent = nullptr);
    ~FormView() override;

    // The submit action's title ("Submit" unless changed) and what it does.
    void setSubmitTitle(const QString& title);
    void setSubmitHandler(SubmitHandler handler);
    // Actions after the submit action in the action panel.
    void setExtraActions(std::vector<MenuItem> actions);

    QVariantMap values() const;
    void setValue(const QString& id, const QVariant& value);
    // Checks every field and shows or clears the messages; true when all pass.
    bool validate();
    QString validationMessage(const QString& id) const;
    // What the submit action does: validate, then hand the values over.
    CommandOutcome submit();
    // The control of a field (QLineEdit, QPlainTextEdit, QCheckBox, QComboBox,
    // or the line edit of a file picker).
    QWidget* control(const QString& id) const;
    // A date picker's reading of its text now; nothing when empty or unreadable.
    std::optional<DateReading> dateReading(const QString& id) const;
    // Per field: "value", the "message" shown (if any), the date picker's
    // "hint" and the token editor's listed "suggestions" (what a tester sees).
    QVariantMap state() const;

    QString title() const override { return m_title; }
    std::vector<MenuItem> actions() const override;
    bool handleKey(QKeyEvent* event) override;
    void viewDidAppear() override;
    // The values, once they differ from what the form first showed and were
    // not submitted.
    std::optional<QVariant> draftState() const override;
    void restoreDraft(const QVariant& state) override;

    static constexpr const char* requiredMessage = "This field is required";
    // A date picker's text that names no date: this, then the text in quotes.
    static constexpr const char* unreadableDateMessage = "Not a date I can read: ";

private:
    struct Row;
    QVariant valueOf(const Row& row) const;
    std::optional<DateReading> readingOf(const Row& row) const;
    QString messageFor(const Row& row) const;
    void showMessage(Row& row, const QString& message);
    void applyTheme();

    QString m_title;
    QString m_submitTitle;
    SubmitHandler m_submit;
    std::vector<MenuItem> m_extraActions;
    std::vector<std::unique_ptr<Row>> m_rows;
    // The values as the form first appeared, and whether a submit went through.
    std::optional<QVariantMap> m_initialValues;
    bool m_submitted = false;
};

}  // namespace vantrel
