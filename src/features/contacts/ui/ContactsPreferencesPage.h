#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace vantrel {

class PackageRegistry;

// "Contacts" in the preferences window: the vCard files and folders "Search
// Contacts" reads, and whether the desktop's address books are read too.
class ContactsPreferencesPage : public QWidget {
    Q_OBJECT

public:
    explicit ContactsPreferencesPage(PackageRegistry& registry, QWidget* parent = nullptr);

    QListWidget* sourceList() const { return m_sources; }
    QLineEdit* newSource() const { return m_newSource; }
    QCheckBox* desktopSwitch() const { return m_desktop; }
    QLabel* message() const { return m_message; }
    bool addFromField();
    bool removeSelected();

private:
    void refresh();

    PackageRegistry& m_registry;
    QListWidget* m_sources = nullptr;
    QLineEdit* m_newSource = nullptr;
    QCheckBox* m_desktop = nullptr;
    QLabel* m_message = nullptr;
};

}  // namespace vantrel
