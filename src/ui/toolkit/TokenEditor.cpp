#include "ui/toolkit/TokenEditor.h"

#include "ui/toolkit/Icons.h"
#include "ui/toolkit/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel {

namespace {

constexpr int visibleSuggestions = 5;
constexpr int suggestionRowHeight = 26;

}  // namespace

TokenEditor::TokenEditor(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tokenEditor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* field = new QWidget(this);
    field->setObjectName(QStringLiteral("tokenField"));
    auto* row = new QHBoxLayout(field);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_chips = new QHBoxLayout();
    m_chips->setContentsMargins(0, 0, 0, 0);
    m_chips->setSpacing(4);
    row->addLayout(m_chips);
    m_edit = new QLineEdit(field);
    m_edit->setObjectName(QStringLiteral("tokenText"));
    m_edit->installEventFilter(this);
    row->addWidget(m_edit, 1);
    layout->addWidget(field);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("tokenSuggestions"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setUniformItemSizes(true);
    m_list->hide();
    layout->addWidget(m_list);

    connect(m_edit, &QLineEdit::textChanged, this, [this] {
        m_addWhenAnswered = false;
        updateKeepsReturn();
        requestSuggestions();
    });
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { chooseSuggestion(m_list->row(item)); });
    setFocusProxy(m_edit);
    updateKeepsReturn();
}

void TokenEditor::setSuggestionSource(SuggestionSource source) { m_source = std::move(source); }

void TokenEditor::setPlaceholderText(const QString& text) { m_edit->setPlaceholderText(text); }

void TokenEditor::setTokens(std::vector<Token> tokens) {
    m_tokens.clear();
    for (Token& token : tokens)
        if (std::none_of(m_tokens.begin(), m_tokens.end(), [&](const Token& t) { return t.id == token.id; }))
            m_tokens.push_back(std::move(token));
    rebuildChips();
    emit tokensChanged();
}

void TokenEditor::addToken(const Token& token) {
    if (std::any_of(m_tokens.begin(), m_tokens.end(), [&](const Token& t) { return t.id == token.id; })) return;
    m_tokens.push_back(token);
    rebuildChips();
    emit tokensChanged();
}

void TokenEditor::removeLastToken() {
    if (m_tokens.empty()) return;
    m_tokens.pop_back();
    rebuildChips();
    emit tokensChanged();
}

QVariantList TokenEditor::value() const {
    QVariantList out;
    for (const Token& token : m_tokens) {
        QVariantMap map{{QStringLiteral("id"), token.id}, {QStringLiteral("title"), token.title}};
        if (!token.badgeColor.isEmpty()) map.insert(QStringLiteral("badgeColor"), token.badgeColor);
        out.append(map);
    }
    return out;
}

std::vector<TokenEditor::Token> TokenEditor::tokensFromValue(const QVariantList& value) {
    std::vector<Token> tokens;
    for (const QVariant& entry : value) {
        const QVariantMap map = entry.toMap();
        Token token;
        token.id = map.isEmpty() ? entry.toString() : map.value(QStringLiteral("id")).toString();
        token.title = map.value(QStringLiteral("title"), token.id).toString();
        token.badgeColor = map.value(QStringLiteral("badgeColor")).toString();
        if (!token.id.isEmpty()) tokens.push_back(std::move(token));
    }
    return tokens;
}

void TokenEditor::setValue(const QVariantList& value) { setTokens(tokensFromValue(value)); }

QString TokenEditor::text() const { return m_edit->text(); }

QStringList TokenEditor::suggestionTitles() const {
    QStringList titles;
    if (m_list->isHidden()) return titles;
    for (const Token& token : m_suggestions) titles << token.title;
    return titles;
}

void TokenEditor::requestSuggestions() {
    const int request = ++m_request;
    const QString typed = m_edit->text().trimmed();
    if (typed.isEmpty() || !m_source) {
        showSuggestions({});
        return;
    }
    QPointer<TokenEditor> self(this);
    m_source(typed, [self, request](std::vector<Token> suggestions) {
        if (!self || request != self->m_request) return;
        self->showSuggestions(std::move(suggestions));
    });
}

void TokenEditor::showSuggestions(std::vector<Token> suggestions) {
    suggestions.erase(std::remove_if(suggestions.begin(), suggestions.end(),
                                     [this](const Token& s) {
                                         return s.id.isEmpty() || std::any_of(m_tokens.begin(), m_tokens.end(),
                                                                              [&](const Token& t) { return t.id == s.id; });
                                     }),
                      suggestions.end());
    m_suggestions = std::move(suggestions);
    m_shownRequest = m_request;
    m_list->clear();
    const Theme& theme = Theme::current();
    for (const Token& token : m_suggestions) {
        auto* item = new QListWidgetItem(token.title, m_list);
        if (token.icon) item->setIcon(QIcon(Icons::pixmap(*token.icon, 16, devicePixelRatioF())));
        item->setSizeHint(QSize(0, suggestionRowHeight));
        item->setFont(theme.baseFont);
    }
    const bool any = !m_suggestions.empty() && !m_edit->text().trimmed().isEmpty();
    if (any) {
        m_list->setCurrentRow(0);
        m_list->setFixedHeight(int(std::min<size_t>(m_suggestions.size(), visibleSuggestions)) * suggestionRowHeight + 4);
    }
    m_list->setVisible(any);
    updateKeepsReturn();
    if (m_addWhenAnswered) {
        m_addWhenAnswered = false;
        if (any) chooseSuggestion(0);
    }
}

void TokenEditor::chooseSuggestion(int row) {
    if (row < 0 || row >= int(m_suggestions.size())) return;
    const Token chosen = m_suggestions[size_t(row)];
    addToken(chosen);
    // Clearing the text asks again, with nothing typed: the list closes.
    m_edit->clear();
    m_edit->setFocus(Qt::OtherFocusReason);
}

void TokenEditor::rebuildChips() {
    while (QLayoutItem* item = m_chips->takeAt(0)) {
        if (QWidget* widget = item->widget()) widget->deleteLater();
        delete item;
    }
    const Theme& theme = Theme::current();
    for (const Token& token : m_tokens) {
        auto* chip = new QLabel(token.title, this);
        chip->setObjectName(QStringLiteral("tokenChip"));
        chip->setFont(theme.smallFont);
        const QColor badge = token.badgeColor.isEmpty() ? theme.selectionBackground : QColor(token.badgeColor);
        chip->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: 8px; padding: 2px 8px; }")
                                .arg(Theme::cssColor(badge.isValid() ? badge : theme.selectionBackground),
                                     Theme::cssColor(theme.primaryText)));
        m_chips->addWidget(chip);
    }
    updateKeepsReturn();
}

void TokenEditor::updateKeepsReturn() {
    // Return adds a suggestion while there is text to complete; with nothing
    // typed it is the window's (submit). Escape closes the open suggestions
    // before it goes back anywhere.
    m_edit->setProperty("keepsReturn", !m_edit->text().trimmed().isEmpty());
    m_edit->setProperty("keepsEscape", !m_list->isHidden());
}

bool TokenEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_edit || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier) return QWidget::eventFilter(watched, event);
    switch (key->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up:
            if (m_list->isHidden() || m_suggestions.empty()) return false;
            m_list->setCurrentRow(std::clamp(m_list->currentRow() + (key->key() == Qt::Key_Down ? 1 : -1), 0,
                                             int(m_suggestions.size()) - 1));
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_edit->text().trimmed().isEmpty()) return false;
            if (!m_list->isHidden() && m_shownRequest == m_request && m_list->currentRow() >= 0) {
                chooseSuggestion(m_list->currentRow());
            } else {
                // The answer for this text is still on its way.
                m_addWhenAnswered = true;
            }
            return true;
        case Qt::Key_Escape:
            // Closes the open suggestions; with none open it is the window's.
            if (m_list->isHidden()) return false;
            m_list->hide();
            updateKeepsReturn();
            return true;
        case Qt::Key_Backspace:
            if (!m_edit->text().isEmpty()) return false;
            removeLastToken();
            return true;
        default:
            return false;
    }
}

}  // namespace vantrel
