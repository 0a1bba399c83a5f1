#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QLabel;

namespace vantrel {

class PackageRegistry;

// "Calendar" in the preferences window: the iCalendar files and links that
// "My Schedule" and "My Reminders" read (added, removed), and whether the
// desktop's own calendars are read too. Stored at once.
class CalendarPreferencesPage : public QWidget {
    Q_OBJECT

public:
    explicit CalendarPreferencesPage(PackageRegistry& registry, QWidget* parent = nullptr);

    QListWidget* sourceList() const { return m_sources; }
    QLineEdit* newSource() const { return m_newSource; }
    QCheckBox* desktopSwitch() const { return m_desktop; }
    QLabel* message() const { return m_message; }
    // Adds what the field holds; false (and the message says why) when it is
    // not an existing file or a link.
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
