#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vantrel {

class NotificationCenter;
class ScriptCommandsService;

// The preferences page of the script directories: each configured folder
// with the number of script commands found in it, buttons to add a folder
// (a folder picker; an empty folder gets the template script) and to remove
// the selected one. Changes go through the script commands service; the list
// follows the configuration and the service's reloads, whoever caused them.
class ScriptDirectoriesPage : public QWidget {
    Q_OBJECT

public:
    enum Column { directoryColumn = 0, commandsColumn = 1 };
    // Holds the full path of a row's folder.
    static constexpr int pathRole = Qt::UserRole + 1;

    // Starts the service when nobody has yet, so the counts are known.
    // center: where the service and the registry post (the default centre when null).
    explicit ScriptDirectoriesPage(ScriptCommandsService& service, QWidget* parent = nullptr,
                                   NotificationCenter* center = nullptr);
    ~ScriptDirectoriesPage() override;

    // Asks for a folder with the folder picker, then adds it.
    void chooseDirectory();
    // Adds the folder; a failure (no folder, added already) is shown under the
    // list and returns false.
    bool addDirectory(const QString& path);
    // Removes the folder (the selected row when empty); false when it was not listed.
    bool removeDirectory(const QString& path = QString());

    // Reads the folders and counts again.
    void reload();
    // Restyles the page in Theme::current() (the preferences window calls it).
    Q_INVOKABLE void applyTheme();

    QTreeWidget* directoryList() const { return m_list; }
    QPushButton* addButton() const { return m_addButton; }
    QPushButton* removeButton() const { return m_removeButton; }
    // The folders as listed, in order.
    QStringList listedDirectories() const;
    // The count shown for a folder; -1 when it is not listed.
    int listedCommandCount(const QString& path) const;
    // The failure shown under the list; empty when none.
    QString message() const;

    // "1 command", "3 commands", "No commands".
    static QString countText(int count);
    // The path with the home folder written as "~".
    static QString displayPath(const QString& path);

signals:
    // The list was rebuilt.
    void reloaded();

private:
    void showMessage(const QString& text);
    void updateButtons();
    void onMainThread(void (ScriptDirectoriesPage::*method)());

    ScriptCommandsService& m_service;
    NotificationCenter* m_center;
    QLabel* m_title = nullptr;
    QLabel* m_description = nullptr;
    QTreeWidget* m_list = nullptr;
    QLabel* m_empty = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    QLabel* m_message = nullptr;
};

}  // namespace vantrel
