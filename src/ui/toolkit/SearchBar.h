#pragma once

#include "core/rootsearch/RootSearchController.h"

#include <QLineEdit>
#include <QWidget>

#include <vector>

class QHBoxLayout;
class QLabel;
class QToolButton;

namespace vantrel {

// The search bar at the top of the launcher window: a back arrow while a view
// is pushed, the text field (or the pushed view's title), and one field per
// argument of the selected input command. Tab and Shift+Tab move between the
// text and the fields; Backspace in an empty first argument goes back to the
// text.
class SearchBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 56;
    static QString defaultPlaceholder() { return QStringLiteral("Search for apps and commands…"); }

    explicit SearchBar(QWidget* parent = nullptr);

    QLineEdit* textField() const { return m_text; }
    QString text() const { return m_text->text(); }
    // Sets the text without reporting it as typed.
    void setText(const QString& text);
    void setPlaceholder(const QString& placeholder);
    // Grey text after the typed text (the calculator's answer); empty hides it.
    void setHint(const QString& hint);
    QString hint() const;
    void setShowsBackButton(bool shows);
    bool showsBackButton() const;
    // Editable text field, or the title of a view that has no search.
    void setEditable(bool editable, const QString& title = {});
    bool isEditable() const { return m_editable; }

    // The argument fields of the input command in `state` (none when it has
    // none). A copy: moving the focus reports back to whoever owns the state.
    void setArguments(SearchBarState state);
    int argumentCount() const { return int(m_arguments.size()); }
    QLineEdit* argumentField(int index) const;
    QStringList argumentValues() const;
    // The index of the focused argument field; -1 for the text field.
    int focusedField() const;
    void focusField(int index);
    void focusText();
    void themeChanged();

signals:
    void textEdited(const QString& text);
    void argumentEdited(int index, const QString& value);
    void argumentActivated(int index);
    void backClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void applyStyle();
    void resizeTextField();

    QHBoxLayout* m_layout;
    QToolButton* m_back;
    QLineEdit* m_text;
    QLabel* m_title;
    QLabel* m_hint;
    std::vector<QLineEdit*> m_arguments;
    bool m_editable = true;
};

}  // namespace vantrel
