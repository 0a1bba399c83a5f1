#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vantrel {

class PackageRegistry;

// "Snippets" in the preferences window: keyword expansion on or off, the
// trigger character typed before keywords (none by default), how the text
// is inserted (automatic, key presses, clipboard), the primary action of a
// snippet in the list and direct paste. When expansion cannot run in this
// session the page says why, under "Keyword Expansion". Every change is
// stored in the package configuration of "snippets" at once, and the running
// keyword monitor follows it.
class SnippetsPreferencesPage : public QWidget {
    Q_OBJECT

public:
    // `problem` answers why expansion does not run now (empty when it does).
    SnippetsPreferencesPage(PackageRegistry& registry, std::function<QString()> problem, QWidget* parent = nullptr);

    QCheckBox* keywordsBox() const { return m_keywords; }
    QLineEdit* triggerEdit() const { return m_trigger; }
    QComboBox* injectionBox() const { return m_injection; }
    QComboBox* pasteModeBox() const { return m_pasteMode; }
    QCheckBox* directPasteBox() const { return m_directPaste; }
    QString problemText() const;
    // Reads the stored settings and the expansion problem again.
    void load();

private:
    void store();

    PackageRegistry& m_registry;
    std::function<QString()> m_problem;
    QLabel* m_problemLabel = nullptr;
    QCheckBox* m_keywords = nullptr;
    QLineEdit* m_trigger = nullptr;
    QComboBox* m_injection = nullptr;
    QComboBox* m_pasteMode = nullptr;
    QCheckBox* m_directPaste = nullptr;
    bool m_loading = false;
};

}  // namespace vantrel
