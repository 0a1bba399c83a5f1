#include "ui/toolkit/SearchBar.h"

#include "ui/toolkit/Theme.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace vantrel {

namespace {

// A left arrow drawn in the theme's secondary colour.
QIcon backArrow(const Theme& theme) {
    QPixmap pixmap(QSize(40, 40));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(theme.secondaryText, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(11, 20), QPointF(29, 20));
    painter.drawLine(QPointF(11, 20), QPointF(19, 12));
    painter.drawLine(QPointF(11, 20), QPointF(19, 28));
    painter.end();
    pixmap.setDevicePixelRatio(2.0);
    return QIcon(pixmap);
}

}  // namespace

SearchBar::SearchBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(barHeight);
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(16, 0, 16, 0);
    m_layout->setSpacing(8);

    m_back = new QToolButton(this);
    m_back->setFixedSize(28, 28);
    m_back->setIconSize(QSize(20, 20));
    m_back->setFocusPolicy(Qt::NoFocus);
    m_back->setAutoRaise(true);
    m_back->setCursor(Qt::PointingHandCursor);
    m_back->setToolTip(QStringLiteral("Back (Esc)"));
    m_back->hide();
    connect(m_back, &QToolButton::clicked, this, &SearchBar::backClicked);
    m_layout->addWidget(m_back);

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("searchField"));
    m_text->setFrame(false);
    m_text->setPlaceholderText(defaultPlaceholder());
    m_text->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_text->installEventFilter(this);
    connect(m_text, &QLineEdit::textEdited, this, [this](const QString& text) {
        resizeTextField();
        emit textEdited(text);
    });
    connect(m_text, &QLineEdit::textChanged, this, [this] { resizeTextField(); });
    m_layout->addWidget(m_text, 1);

    m_title = new QLabel(this);
    m_title->hide();
    m_layout->addWidget(m_title, 1);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("searchHint"));
    m_hint->hide();
    m_layout->addWidget(m_hint, 0);
    m_layout->addStretch(0);
    applyStyle();
}

void SearchBar::setHint(const QString& hint) {
    m_hint->setText(hint);
    m_hint->setVisible(!hint.isEmpty() && m_editable);
}

void SearchBar::setText(const QString& text) {
    if (m_text->text() != text) m_text->setText(text);
}

void SearchBar::setPlaceholder(const QString& placeholder) {
    m_text->setPlaceholderText(placeholder);
}

void SearchBar::setShowsBackButton(bool shows) {
    m_back->setVisible(shows);
}

bool SearchBar::showsBackButton() const {
    return !m_back->isHidden();
}

void SearchBar::setEditable(bool editable, const QString& title) {
    m_editable = editable;
    m_text->setVisible(editable);
    m_title->setVisible(!editable);
    m_title->setText(title);
    if (!editable) {
        m_text->clear();
        m_hint->hide();
    }
}

QString SearchBar::hint() const {
    return m_hint->isHidden() ? QString() : m_hint->text();
}

void SearchBar::setArguments(SearchBarState state) {
    const bool hadArgumentFocus = focusedField() >= 0;
    for (QLineEdit* field : m_arguments) {
        // Gone at once, so that neither the focus chain nor Tab finds it.
        field->hide();
        field->deleteLater();
    }
    m_arguments.clear();
    for (size_t i = 0; i < state.inputParameters.size(); ++i) {
        const auto& parameter = state.inputParameters[i];
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("argumentField"));
        field->setFrame(false);
        QString placeholder = parameter ? parameter->placeholder() : QString();
        if (parameter && parameter->isOptional()) placeholder += QStringLiteral(" (optional)");
        field->setPlaceholderText(placeholder);
        field->setText(state.argumentValues.value(int(i)));
        const QFontMetrics metrics(Theme::current().baseFont);
        field->setFixedWidth(std::clamp(metrics.horizontalAdvance(placeholder) + 28, 90, 220));
        field->setFixedHeight(32);
        field->installEventFilter(this);
        const int index = int(i);
        connect(field, &QLineEdit::textEdited, this,
                [this, index](const QString& value) { emit argumentEdited(index, value); });
        m_layout->insertWidget(m_layout->indexOf(m_title), field);
        // Shown now, so it can take the focus at once.
        field->show();
        m_arguments.push_back(field);
    }
    applyStyle();
    resizeTextField();
    if (state.focusedArgumentIndex && *state.focusedArgumentIndex < argumentCount())
        focusField(*state.focusedArgumentIndex);
    else if (hadArgumentFocus)
        focusText();
}

QLineEdit* SearchBar::argumentField(int index) const {
    return index >= 0 && index < int(m_arguments.size()) ? m_arguments[size_t(index)] : nullptr;
}

QStringList SearchBar::argumentValues() const {
    QStringList values;
    for (QLineEdit* field : m_arguments) values << field->text();
    return values;
}

int SearchBar::focusedField() const {
    for (size_t i = 0; i < m_arguments.size(); ++i)
        if (m_arguments[i]->hasFocus()) return int(i);
    return -1;
}

void SearchBar::focusField(int index) {
    if (QLineEdit* field = argumentField(index)) {
        field->setFocus(Qt::TabFocusReason);
        emit argumentActivated(index);
    } else {
        focusText();
    }
}

void SearchBar::focusText() {
    if (!m_editable) return;
    const bool hadFocus = m_text->hasFocus();
    m_text->setFocus(Qt::OtherFocusReason);
    // Coming back to the bar keeps the text as typed, not selected.
    if (!hadFocus) m_text->deselect();
}

void SearchBar::resizeTextField() {
    // With argument fields the text takes only the room it needs, so the
    // fields sit right after it.
    if (m_arguments.empty()) {
        m_text->setMinimumWidth(0);
        m_text->setMaximumWidth(QWIDGETSIZE_MAX);
        m_layout->setStretchFactor(m_text, 1);
        return;
    }
    const QFontMetrics metrics(m_text->font());
    const QString shown = m_text->text().isEmpty() ? m_text->placeholderText() : m_text->text();
    m_text->setFixedWidth(std::min(metrics.horizontalAdvance(shown) + 12, 360));
    m_layout->setStretchFactor(m_text, 0);
}

void SearchBar::themeChanged() {
    m_back->setIcon(backArrow(Theme::current()));
    applyStyle();
    update();
}

void SearchBar::applyStyle() {
    const Theme& theme = Theme::current();
    m_back->setIcon(backArrow(theme));
    m_back->setStyleSheet(QStringLiteral("QToolButton { border: none; border-radius: 6px; background: transparent; }"
                                         "QToolButton:hover { background: %1; }")
                              .arg(Theme::cssColor(theme.hoverBackground)));
    m_text->setFont(theme.searchFont);
    m_text->setStyleSheet(
        QStringLiteral("QLineEdit { background: transparent; border: none; color: %1; "
                       "selection-background-color: %2; selection-color: %3; }")
            .arg(Theme::cssColor(theme.primaryText), Theme::cssColor(theme.accent), Theme::cssColor(theme.accentText)));
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::PlaceholderText, theme.placeholderText);
    palette.setColor(QPalette::Text, theme.primaryText);
    m_text->setPalette(palette);
    m_title->setFont(theme.searchFont);
    m_title->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(Theme::cssColor(theme.primaryText)));
    m_hint->setFont(theme.searchFont);
    m_hint->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(Theme::cssColor(theme.secondaryText)));
    for (QLineEdit* field : m_arguments) {
        field->setFont(theme.baseFont);
        field->setStyleSheet(QStringLiteral("QLineEdit { background: %1; border: 1px solid %2; border-radius: 7px; "
                                            "padding: 0 8px; color: %3; }"
                                            "QLineEdit:focus { border: 1px solid %4; }")
                                 .arg(Theme::cssColor(theme.fieldBackground), Theme::cssColor(theme.fieldBorder),
                                      Theme::cssColor(theme.primaryText), Theme::cssColor(theme.accent)));
        QPalette fieldPalette = field->palette();
        fieldPalette.setColor(QPalette::PlaceholderText, theme.placeholderText);
        field->setPalette(fieldPalette);
    }
}

bool SearchBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        for (size_t i = 0; i < m_arguments.size(); ++i)
            if (watched == m_arguments[i]) emit argumentActivated(int(i));
        if (watched == m_text) emit argumentActivated(-1);
    }
    if (event->type() != QEvent::KeyPress || m_arguments.empty()) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const int current = focusedField();
    if (key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier)) {
        if (current + 1 < int(m_arguments.size())) focusField(current + 1);
        return true;
    }
    if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier))) {
        if (current >= 0) focusField(current - 1);
        return true;
    }
    if (key->key() == Qt::Key_Backspace && current >= 0 && m_arguments[size_t(current)]->text().isEmpty()) {
        focusField(current - 1);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SearchBar::paintEvent(QPaintEvent*) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setPen(theme.separator);
    painter.drawLine(QPointF(0, height() - 0.5), QPointF(width(), height() - 0.5));
}

}  // namespace vantrel
