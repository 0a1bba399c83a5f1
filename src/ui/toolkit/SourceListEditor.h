#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace vantrel {

// A preferences page that keeps a list of places to read (files, folders,
// links): the list, a field with "Choose File…" (and "Choose Folder…" where
// folders count), "Add" and "Remove", a line saying why a place was refused,
// and a switch for the desktop's own sources. Every change is handed to the
// owner's store at once and the page re-reads what the store holds.
class SourceListEditor : public QWidget {
    Q_OBJECT

public:
    // What the page says, and the object names its parts are found by.
    struct Texts {
        QString pageName;
        QString intro;
        QString listName;
        QString fieldName;
        QString placeholder;
        QString fileDialogTitle;
        QString fileFilter;
        // Empty: folders are not offered.
        QString folderDialogTitle;
        QString desktopLabel;
        QString desktopName;
    };
    struct State {
        QStringList sources;
        bool useDesktop = false;
    };
    // Where the list lives.
    struct Store {
        std::function<State()> load;
        // The place as stored, or nothing (and `problem` says why).
        std::function<std::optional<QString>(const QString& text, QString* problem)> normalize;
        std::function<void(const QString& source)> add;
        std::function<bool(const QString& source)> remove;
        std::function<void(bool on)> setUseDesktop;
    };

    SourceListEditor(const Texts& texts, Store store, QWidget* parent = nullptr);

    QListWidget* sourceList() const { return m_sources; }
    QLineEdit* newSource() const { return m_newSource; }
    QCheckBox* desktopSwitch() const { return m_desktop; }
    QLabel* message() const { return m_message; }
    // Adds what the field holds; false (and the message says why) when the
    // store refuses it.
    bool addFromField();
    bool removeSelected();

private:
    void refresh();

    Store m_store;
    QListWidget* m_sources = nullptr;
    QLineEdit* m_newSource = nullptr;
    QCheckBox* m_desktop = nullptr;
    QLabel* m_message = nullptr;
};

}  // namespace vantrel
