#include "ui/toolkit/FormView.h"

#include "ui/toolkit/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace vantrel {

struct FormView::Row {
    Field field;
    QLabel* label = nullptr;
    QWidget* control = nullptr;  // what holds the value
    QWidget* frame = nullptr;    // what gets the red border
    QLabel* message = nullptr;
    QLabel* info = nullptr;
    QPushButton* chooser = nullptr;
    QLabel* hint = nullptr;  // date picker: the date its text names
};

namespace {

void setInvalid(QWidget* widget, bool invalid) {
    if (!widget || widget->property("invalid").toBool() == invalid) return;
    widget->setProperty("invalid", invalid);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

bool isEmptyValue(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return true;
    if (value.typeId() == QMetaType::Bool) return false;
    if (value.typeId() == QMetaType::QVariantList) return value.toList().isEmpty();
    return value.toString().trimmed().isEmpty();
}

}  // namespace

FormView::FormView(QString title, std::vector<Field> fields, QWidget* parent)
    : LauncherView(parent), m_title(std::move(title)), m_submitTitle(QStringLiteral("Submit")) {
    setObjectName(QStringLiteral("formView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->viewport()->setObjectName(QStringLiteral("formViewport"));
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    outer->addWidget(scroll);

    auto* content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("formContent"));
    content->setAutoFillBackground(false);
    scroll->setWidget(content);
    auto* centred = new QHBoxLayout(content);
    centred->setContentsMargins(24, 22, 24, 22);
    auto* gridHolder = new QWidget(content);
    gridHolder->setMaximumWidth(620);
    centred->addStretch(1);
    centred->addWidget(gridHolder, 10);
    centred->addStretch(1);
    auto* grid = new QGridLayout(gridHolder);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(14);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(0, 120);

    int line = 0;
    for (Field& field : fields) {
        auto row = std::make_unique<Row>();
        row->field = std::move(field);
        const Field& f = row->field;
        row->label = new QLabel(f.title, gridHolder);
        row->label->setObjectName(QStringLiteral("formLabel"));
        row->label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        row->label->setContentsMargins(0, f.type == Field::Type::checkbox ? 1 : 7, 0, 0);

        auto* cell = new QWidget(gridHolder);
        auto* cellLayout = new QVBoxLayout(cell);
        cellLayout->setContentsMargins(0, 0, 0, 0);
        cellLayout->setSpacing(4);

        switch (f.type) {
            case Field::Type::textField:
            case Field::Type::password: {
                auto* edit = new QLineEdit(cell);
                edit->setPlaceholderText(f.placeholder);
                edit->setText(f.defaultValue.toString());
                if (f.type == Field::Type::password) edit->setEchoMode(QLineEdit::Password);
                row->control = row->frame = edit;
                cellLayout->addWidget(edit);
                break;
            }
            case Field::Type::textArea: {
                auto* edit = new QPlainTextEdit(cell);
                edit->setPlaceholderText(f.placeholder);
                edit->setPlainText(f.defaultValue.toString());
                edit->setTabChangesFocus(true);
                edit->setFixedHeight(96);
                row->control = row->frame = edit;
                cellLayout->addWidget(edit);
                break;
            }
            case Field::Type::checkbox: {
                auto* box = new QCheckBox(f.checkboxLabel, cell);
                box->setChecked(f.defaultValue.toBool());
                row->control = row->frame = box;
                cellLayout->addWidget(box);
                break;
            }
            case Field::Type::dropdown: {
                auto* combo = new QComboBox(cell);
                for (const auto& [value, optionTitle] : f.options) combo->addItem(optionTitle, value);
                const int initial = combo->findData(f.defaultValue.toString());
                combo->setCurrentIndex(initial >= 0 ? initial : (combo->count() > 0 ? 0 : -1));
                row->control = row->frame = combo;
                cellLayout->addWidget(combo);
                break;
            }
            case Field::Type::filePicker: {
                auto* pickerRow = new QWidget(cell);
                auto* pickerLayout = new QHBoxLayout(pickerRow);
                pickerLayout->setContentsMargins(0, 0, 0, 0);
                pickerLayout->setSpacing(8);
                auto* edit = new QLineEdit(pickerRow);
                edit->setPlaceholderText(f.placeholder.isEmpty() ? QStringLiteral("No file chosen") : f.placeholder);
                edit->setText(f.defaultValue.toString());
                row->chooser = new QPushButton(QStringLiteral("Choose…"), pickerRow);
                row->chooser->setObjectName(QStringLiteral("formChooser"));
                row->chooser->setFocusPolicy(Qt::NoFocus);
                const bool directories = f.chooseDirectories;
                const QString caption = f.title;
                connect(row->chooser, &QPushButton::clicked, edit, [edit, directories, caption] {
                    const QString chosen = directories ? QFileDialog::getExistingDirectory(edit, caption, edit->text())
                                                       : QFileDialog::getOpenFileName(edit, caption, edit->text());
                    if (!chosen.isEmpty()) edit->setText(chosen);
                });
                pickerLayout->addWidget(edit, 1);
                pickerLayout->addWidget(row->chooser);
                row->control = row->frame = edit;
                cellLayout->addWidget(pickerRow);
                break;
            }
            case Field::Type::button: {
                auto* buttonRow = new QWidget(cell);
                auto* buttonLayout = new QHBoxLayout(buttonRow);
                buttonLayout->setContentsMargins(0, 0, 0, 0);
                buttonLayout->setSpacing(10);
                auto* button = new QPushButton(f.buttonTitle, buttonRow);
                button->setObjectName(QStringLiteral("formButton"));
                button->setAutoDefault(true);
                // Return on the focused button presses it instead of submitting.
                button->setProperty("keepsReturn", true);
                if (f.press) connect(button, &QPushButton::clicked, this, [press = f.press] { press(); });
                buttonLayout->addWidget(button);
                if (!f.info.isEmpty()) {
                    row->info = new QLabel(f.info, buttonRow);
                    row->info->setObjectName(QStringLiteral("formInfo"));
                    row->info->setWordWrap(true);
                    buttonLayout->addWidget(row->info, 1);
                } else {
                    buttonLayout->addStretch(1);
                }
                row->control = row->frame = button;
                cellLayout->addWidget(buttonRow);
                break;
            }
            case Field::Type::separator: {
                auto* rule = new QFrame(cell);
                rule->setObjectName(QStringLiteral("formSeparator"));
                rule->setFrameShape(QFrame::NoFrame);
                rule->setFixedHeight(1);
                rule->setAutoFillBackground(true);
                row->control = row->frame = rule;
                row->label->hide();
                cellLayout->addWidget(rule);
                break;
            }
            case Field::Type::tokenEditor: {
                auto* editor = new TokenEditor(cell);
                editor->setPlaceholderText(f.placeholder);
                editor->setSuggestionSource(f.suggestions);
                editor->setValue(f.defaultValue.toList());
                row->control = editor;
                row->frame = editor->lineEdit();
                cellLayout->addWidget(editor);
                break;
            }
            case Field::Type::datePicker: {
                auto* edit = new QLineEdit(cell);
                edit->setPlaceholderText(f.placeholder.isEmpty() ? QStringLiteral("tomorrow 9am, next friday, 2026-12-24")
                                                                 : f.placeholder);
                edit->setText(f.defaultValue.toString());
                row->control = row->frame = edit;
                row->hint = new QLabel(cell);
                row->hint->setObjectName(QStringLiteral("formHint"));
                cellLayout->addWidget(edit);
                cellLayout->addWidget(row->hint);
                break;
            }
        }
        row->control->setObjectName(QStringLiteral("field_") + f.id);

        row->message = new QLabel(cell);
        row->message->setObjectName(QStringLiteral("formMessage"));
        row->message->setWordWrap(true);
        row->message->hide();
        cellLayout->addWidget(row->message);
        if (!f.info.isEmpty() && f.type != Field::Type::button) {
            row->info = new QLabel(f.info, cell);
            row->info->setObjectName(QStringLiteral("formInfo"));
            row->info->setWordWrap(true);
            cellLayout->addWidget(row->info);
        }

        // A corrected value clears its message at once.
        Row* raw = row.get();
        const auto revalidate = [this, raw] {
            if (!raw->message->isHidden()) showMessage(*raw, messageFor(*raw));
        };
        if (auto* edit = qobject_cast<QLineEdit*>(row->control))
            connect(edit, &QLineEdit::textChanged, this, revalidate);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(row->control))
            connect(edit, &QPlainTextEdit::textChanged, this, revalidate);
        if (auto* box = qobject_cast<QCheckBox*>(row->control)) connect(box, &QCheckBox::toggled, this, revalidate);
        if (auto* combo = qobject_cast<QComboBox*>(row->control))
            connect(combo, &QComboBox::currentIndexChanged, this, revalidate);
        if (auto* editor = qobject_cast<TokenEditor*>(row->control))
            connect(editor, &TokenEditor::tokensChanged, this, revalidate);
        if (f.type == Field::Type::datePicker) {
            // The date the text names shows while typing, and so does a text that names none.
            auto* edit = static_cast<QLineEdit*>(row->control);
            const auto reread = [this, raw] {
                const std::optional<DateReading> reading = readingOf(*raw);
                raw->hint->setText(reading ? reading->title : QString());
                raw->hint->setVisible(reading.has_value());
                showMessage(*raw, messageFor(*raw));
            };
            connect(edit, &QLineEdit::textChanged, this, reread);
            reread();
        }

        if (f.type == Field::Type::separator) {
            grid->addWidget(cell, line, 0, 1, 2);
        } else {
            grid->addWidget(row->label, line, 0);
            grid->addWidget(cell, line, 1);
        }
        ++line;
        m_rows.push_back(std::move(row));
    }
    grid->setRowStretch(line, 1);
    applyTheme();
}

FormView::~FormView() = default;

void FormView::setSubmitTitle(const QString& title) {
    m_submitTitle = title;
    emit actionsChanged();
}

void FormView::setSubmitHandler(SubmitHandler handler) {
    m_submit = std::move(handler);
}

void FormView::setExtraActions(std::vector<MenuItem> actions) {
    m_extraActions = std::move(actions);
    emit actionsChanged();
}

std::optional<FormView::DateReading> FormView::readingOf(const Row& row) const {
    if (row.field.type != Field::Type::datePicker || !row.field.readDate) return std::nullopt;
    const QString text = static_cast<const QLineEdit*>(row.control)->text().trimmed();
    if (text.isEmpty()) return std::nullopt;
    return row.field.readDate(text);
}

std::optional<FormView::DateReading> FormView::dateReading(const QString& id) const {
    for (const auto& row : m_rows)
        if (row->field.id == id) return readingOf(*row);
    return std::nullopt;
}

QVariantMap FormView::state() const {
    QVariantMap out;
    for (const auto& row : m_rows) {
        const Field::Type type = row->field.type;
        if (type == Field::Type::separator || type == Field::Type::button) continue;
        QVariantMap field{{QStringLiteral("value"), valueOf(*row)}};
        if (row->message->isVisibleTo(this)) field.insert(QStringLiteral("message"), row->message->text());
        if (row->hint && row->hint->isVisibleTo(this)) field.insert(QStringLiteral("hint"), row->hint->text());
        if (auto* editor = qobject_cast<TokenEditor*>(row->control))
            field.insert(QStringLiteral("suggestions"), editor->suggestionTitles());
        out.insert(row->field.id, field);
    }
    return out;
}

QVariant FormView::valueOf(const Row& row) const {
    if (auto* editor = qobject_cast<TokenEditor*>(row.control)) return editor->value();
    if (row.field.type == Field::Type::button || row.field.type == Field::Type::separator) return {};
    if (auto* edit = qobject_cast<QLineEdit*>(row.control)) return edit->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(row.control)) return edit->toPlainText();
    if (auto* box = qobject_cast<QCheckBox*>(row.control)) return box->isChecked();
    if (auto* combo = qobject_cast<QComboBox*>(row.control)) return combo->currentData().toString();
    return {};
}

QVariantMap FormView::values() const {
    QVariantMap map;
    for (const auto& row : m_rows) {
        if (row->field.type == Field::Type::button || row->field.type == Field::Type::separator) continue;
        map.insert(row->field.id, valueOf(*row));
    }
    return map;
}

void FormView::setValue(const QString& id, const QVariant& value) {
    for (const auto& row : m_rows) {
        if (row->field.id != id) continue;
        if (auto* edit = qobject_cast<QLineEdit*>(row->control)) edit->setText(value.toString());
        if (auto* edit = qobject_cast<QPlainTextEdit*>(row->control)) edit->setPlainText(value.toString());
        if (auto* box = qobject_cast<QCheckBox*>(row->control)) box->setChecked(value.toBool());
        if (auto* editor = qobject_cast<TokenEditor*>(row->control)) editor->setValue(value.toList());
        if (auto* combo = qobject_cast<QComboBox*>(row->control)) {
            const int index = combo->findData(value.toString());
            if (index >= 0) combo->setCurrentIndex(index);
        }
    }
}

QString FormView::messageFor(const Row& row) const {
    const QVariant value = valueOf(row);
    if (row.field.required) {
        const bool missing = row.field.type == Field::Type::checkbox ? !value.toBool() : isEmptyValue(value);
        if (missing) return QString::fromLatin1(requiredMessage);
    }
    if (row.field.type == Field::Type::datePicker && row.field.readDate) {
        const QString text = value.toString().trimmed();
        if (!text.isEmpty() && !row.field.readDate(text))
            return QString::fromLatin1(unreadableDateMessage) + QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    if (row.field.validate) return row.field.validate(value);
    return {};
}

void FormView::showMessage(Row& row, const QString& message) {
    row.message->setText(message);
    row.message->setVisible(!message.isEmpty());
    setInvalid(row.frame, !message.isEmpty());
}

bool FormView::validate() {
    bool valid = true;
    for (const auto& row : m_rows) {
        const QString message = messageFor(*row);
        showMessage(*row, message);
        valid = valid && message.isEmpty();
    }
    return valid;
}

QString FormView::validationMessage(const QString& id) const {
    for (const auto& row : m_rows) {
        if (row->field.id == id) return row->message->isVisibleTo(this) ? row->message->text() : QString();
    }
    return {};
}

QWidget* FormView::control(const QString& id) const {
    for (const auto& row : m_rows) {
        if (row->field.id == id) return row->control;
    }
    return nullptr;
}

CommandOutcome FormView::submit() {
    if (!validate()) {
        for (const auto& row : m_rows) {
            if (row->message->isVisibleTo(this)) {
                row->control->setFocus(Qt::OtherFocusReason);
                return CommandOutcome::failed(QStringLiteral("Form is incomplete"),
                                              row->field.title + QStringLiteral(": ") + row->message->text());
            }
        }
    }
    CommandOutcome outcome = m_submit ? m_submit(values()) : CommandOutcome::done();
    if (outcome.succeeded()) m_submitted = true;
    return outcome;
}

std::optional<QVariant> FormView::draftState() const {
    if (m_submitted || !m_initialValues) return std::nullopt;
    const QVariantMap current = values();
    if (current == *m_initialValues) return std::nullopt;
    return QVariant(current);
}

void FormView::restoreDraft(const QVariant& state) {
    const QVariantMap values = state.toMap();
    for (auto it = values.begin(); it != values.end(); ++it) setValue(it.key(), it.value());
}

std::vector<MenuItem> FormView::actions() const {
    MenuItem submitItem;
    submitItem.id = QStringLiteral("formSubmit");
    submitItem.title = m_submitTitle;
    submitItem.shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'\r')}};
    auto* self = const_cast<FormView*>(this);
    submitItem.action = MenuItem::Run([self] { return self->submit(); });
    std::vector<MenuItem> items{submitItem};
    items.insert(items.end(), m_extraActions.begin(), m_extraActions.end());
    return items;
}

bool FormView::handleKey(QKeyEvent* /*event*/) {
    return false;
}

void FormView::viewDidAppear() {
    if (!m_initialValues) m_initialValues = values();
    applyTheme();
    for (const auto& row : m_rows) {
        if (row->field.type == Field::Type::separator) continue;
        row->control->setFocus(Qt::OtherFocusReason);
        break;
    }
}

void FormView::applyTheme() {
    const Theme& theme = Theme::current();
    const QString sheet =
        QStringLiteral(
            "QLabel#formLabel { color: %1; }"
            "QLabel#formInfo { color: %2; }"
            "QLabel#formMessage { color: %3; }"
            "QLineEdit, QPlainTextEdit, QComboBox { background: %4; color: %5; border: 1px solid %6;"
            " border-radius: 6px; padding: 5px 8px; selection-background-color: %7; selection-color: %8; }"
            "QLineEdit:focus, QPlainTextEdit:focus, QComboBox:focus { border: 1px solid %7; }"
            "QLineEdit[invalid=\"true\"], QPlainTextEdit[invalid=\"true\"], QComboBox[invalid=\"true\"] {"
            " border: 1px solid %3; }"
            "QComboBox::drop-down { border: none; width: 22px; }"
            "QComboBox QAbstractItemView { background: %4; color: %5; selection-background-color: %9;"
            " selection-color: %5; border: 1px solid %6; }"
            "QCheckBox { color: %5; spacing: 8px; }"
            "QCheckBox[invalid=\"true\"] { color: %3; }"
            "QCheckBox::indicator { width: 15px; height: 15px; border: 1px solid %6; border-radius: 4px;"
            " background: %4; }"
            "QCheckBox::indicator:checked { background: %7; border: 1px solid %7; }"
            "QPushButton#formChooser { background: %10; color: %5; border: 1px solid %6; border-radius: 6px;"
            " padding: 5px 12px; }"
            "QPushButton#formChooser:hover { background: %9; }"
            "QPushButton#formButton { background: %10; color: %5; border: 1px solid %6; border-radius: 6px;"
            " padding: 5px 14px; }"
            "QPushButton#formButton:hover { background: %9; }"
            "QPushButton#formButton:focus { border: 1px solid %7; }"
            "QFrame#formSeparator { background: %6; }"
            "QLabel#formHint { color: %1; }"
            "QLabel#tokenChip { color: %5; }"
            "QListWidget#tokenSuggestions { background: %4; color: %5; border: 1px solid %6; border-radius: 6px; }"
            "QListWidget#tokenSuggestions::item:selected { background: %9; color: %5; }"
            "QScrollArea, QWidget#formViewport, QWidget#formContent { background: transparent; border: none; }")
            .arg(theme.secondaryText.name(), theme.tertiaryText.name(), theme.failure.name(),
                 theme.fieldBackground.name(), theme.primaryText.name(), theme.fieldBorder.name(), theme.accent.name(),
                 theme.accentText.name(), theme.selectionBackground.name())
            .arg(theme.keycapBackground.name());
    setStyleSheet(sheet + theme.scrollBarStyleSheet());
    for (const auto& row : m_rows) {
        row->label->setFont(theme.baseFont);
        row->control->setFont(theme.baseFont);
        row->message->setFont(theme.smallFont);
        if (row->info) row->info->setFont(theme.smallFont);
        if (row->hint) row->hint->setFont(theme.smallFont);
    }
}

}  // namespace vantrel
