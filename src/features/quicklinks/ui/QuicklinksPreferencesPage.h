#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantrel {

class QuicklinksService;

// "Quicklinks" in the preferences window: the stored quicklinks, each with
// its name and link to edit, "Create New Quicklink", and the library of
// ready-made quicklinks ("Set up a new Quicklink or choose one from the
// library."). Problems show in the page's message line.
class QuicklinksPreferencesPage : public QWidget {
    Q_OBJECT

public:
    explicit QuicklinksPreferencesPage(QuicklinksService& service, QWidget* parent = nullptr);

    QListWidget* quicklinks() const { return m_list; }
    QListWidget* library() const { return m_library; }
    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* linkEdit() const { return m_link; }
    QString message() const;

    // Adds the library entry at this row; false (and "Unable to add Quicklink") on failure.
    bool addFromLibrary(int row);
    // Stores the name and link of the selected quicklink.
    bool saveSelected();
    // A new quicklink with a placeholder name, selected for editing.
    bool createNew();
    void reload();

private:
    void showSelected();

    QuicklinksService& m_service;
    QListWidget* m_list = nullptr;
    QListWidget* m_library = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_link = nullptr;
    QLabel* m_message = nullptr;
};

}  // namespace vantrel
