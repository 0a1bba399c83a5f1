#pragma once

#include "core/api/CommandOutcome.h"

#include <QVariantList>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QHBoxLayout;
class QLineEdit;
class QListWidget;

namespace vantrel {

// A field holding a list of tokens (chips) chosen from suggestions: the text
// typed after the chips asks for the suggestions of that text, shown in a
// list under the field. Down/Up move through them; Return or a click adds the
// highlighted one (Return before the answer arrived adds the first suggestion
// of the answer); Backspace in the empty text removes the last token. A token
// is chosen once: suggestions already chosen are not listed again.
class TokenEditor : public QWidget {
    Q_OBJECT

public:
    struct Token {
        QString id;
        QString title;
        // A colour name or "#rrggbb" for the chip; empty: the theme's.
        QString badgeColor;
        std::optional<ImageResource> icon;
        bool operator==(const Token& other) const { return id == other.id && title == other.title; }
    };
    using Answer = std::function<void(std::vector<Token> suggestions)>;
    // Asked for the suggestions of a text; answers once, now or later.
    using SuggestionSource = std::function<void(const QString& text, Answer answer)>;

    explicit TokenEditor(QWidget* parent = nullptr);

    void setSuggestionSource(SuggestionSource source);
    void setPlaceholderText(const QString& text);

    const std::vector<Token>& tokens() const { return m_tokens; }
    void setTokens(std::vector<Token> tokens);
    void addToken(const Token& token);
    void removeLastToken();
    // The tokens as a list of maps with "id" and "title" (and "badgeColor" when set).
    QVariantList value() const;
    void setValue(const QVariantList& value);
    static std::vector<Token> tokensFromValue(const QVariantList& value);

    // The typed text and the suggestions listed for it.
    QString text() const;
    QStringList suggestionTitles() const;
    QLineEdit* lineEdit() const { return m_edit; }

signals:
    void tokensChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void requestSuggestions();
    void showSuggestions(std::vector<Token> suggestions);
    void chooseSuggestion(int row);
    void rebuildChips();
    void updateKeepsReturn();

    SuggestionSource m_source;
    std::vector<Token> m_tokens;
    std::vector<Token> m_suggestions;
    QHBoxLayout* m_chips = nullptr;
    QLineEdit* m_edit = nullptr;
    QListWidget* m_list = nullptr;
    // Which request the list shows; older answers are dropped.
    int m_request = 0;
    int m_shownRequest = 0;
    // Return came before the answer of the text it was typed with.
    bool m_addWhenAnswered = false;
};

}  // namespace vantrel
