#pragma once

#include "core/api/CommandOutcome.h"
#include "core/commands/SearchRecordValidation.h"
#include "kit/KeyCombination.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantrel {

class KeyRecorder;
class PackageRegistry;
class SearchRepository;
class UserDefaults;

// The preferences window: a sidebar with two pages.
//
// General: the launcher's hotkey, when the window returns to root search,
// which screen it appears on, starting at login and the appearance.
// Extensions: every package with its commands, then the applications and
// other search records, each with its alias, hotkey and (for packages and
// commands) a switch. Switches go through the package registry, aliases and
// hotkeys through the search-record validator; a refused value leaves the
// stored one as it was and shows the reason under the table.
class PreferencesWindow : public QWidget {
    Q_OBJECT

public:
    enum class Page { general, extensions };
    enum Column { nameColumn = 0, typeColumn, aliasColumn, hotkeyColumn, enabledColumn, columnCount };
    // What a row of the extensions tree stands for.
    enum class RowKind { package = 1, command, record, group };
    enum Role {
        rowKindRole = Qt::UserRole + 1,
        keyRole,        // package id, command id or record key
        packageIdRole,  // commands: their package
        hotkeyRole,     // the stored hotkey text of the row
        hasRecordRole,  // whether the row can carry an alias and a hotkey
    };

    static constexpr QLatin1String globalHotkeyKey{"vantrelGlobalHotkey"};
    static constexpr QLatin1String popToRootTimeoutKey{"popToRootTimeout"};
    static constexpr QLatin1String windowPresentationModeKey{"vantrelWindowPresentationMode"};
    static constexpr QLatin1String appearanceKey{"vantrelAppearance"};
    static constexpr QLatin1String calculatorHintKey{"showCalculatorAnswerInSearchBar"};
    static constexpr QLatin1String addAliasPlaceholder{"Add Alias"};
    static constexpr QLatin1String recordHotkeyPlaceholder{"Record Hotkey"};
    static constexpr int defaultPopToRootTimeout = 90;
    // "Never" is stored as 0 seconds.
    static constexpr int neverPopToRoot = 0;

    PreferencesWindow(PackageRegistry& registry, std::shared_ptr<SearchRepository> repository, UserDefaults& defaults,
                      QWidget* parent = nullptr);
    ~PreferencesWindow() override;

    // Set by the application: whether the autostart entry is on, and a way to
    // switch it (may throw VantrelError; the checkbox then shows the truth).
    std::function<bool()> launchAtLogin;
    std::function<void(bool)> setLaunchAtLogin;
    // Set by the application: makes a recorded combination the launcher's
    // hotkey; answers why it cannot be (empty when it is). Unset: the
    // setting is written.
    std::function<QString(const KeyCombination&)> changeGlobalHotkey;

    // Opens the extensions page with the row of that command (or record key)
    // selected; false when there is no such row (the page is shown anyway).
    bool showPage(const QString& commandId);
    // Opens the page with this title in the sidebar ("General", "Extensions",
    // "Script Commands"…); false (and nothing changes) when there is none.
    bool showPageTitled(const QString& title);
    void setPage(Page page);
    Page currentPage() const;

    // Re-reads the settings, the registry and the search records.
    void reload();
    // Redraws everything in Theme::current().
    void applyTheme();

    // The checks of aliases and hotkeys (the application adds its menu shortcuts).
    SearchRecordValidator& validator() { return m_validator; }

    // What the cells of the extensions tree do; they return false and show
    // the reason under the table when the change is refused.
    bool setPackageEnabled(const QString& packageId, bool enabled);
    bool setCommandEnabled(const QString& commandId, bool enabled);
    bool setAlias(const QString& key, const QString& alias);
    bool setHotkey(const QString& key, const std::optional<KeyCombination>& hotkey);

    // The sentence under the extensions table (empty when all is well).
    QString extensionsMessage() const;
    // What the table says when the search field matches no row ("No matches
    // for 'text'"); empty while some row is shown.
    QString noMatchesText() const;

    // The controls, for the application and for tests.
    KeyRecorder* globalHotkeyRecorder() const { return m_hotkeyRecorder; }
    QComboBox* popToRootTimeoutBox() const { return m_timeoutBox; }
    QComboBox* presentationModeBox() const { return m_presentationBox; }
    QComboBox* appearanceBox() const { return m_appearanceBox; }
    QCheckBox* launchAtLoginBox() const { return m_loginBox; }
    QCheckBox* calculatorHintBox() const { return m_calculatorHintBox; }
    QLineEdit* extensionsSearchField() const { return m_searchField; }
    QTreeWidget* extensionsTree() const { return m_tree; }
    QListWidget* sidebar() const { return m_sidebar; }
    QLabel* noMatchesLabel() const { return m_noMatchesLabel; }
    // Adds a page of another part of the launcher (script directories …) to the
    // sidebar, below the built-in ones; the window takes ownership. A page
    // with an invokable applyTheme() is told of every change of appearance.
    void addPage(const QString& title, const ImageResource& icon, QWidget* page);
    // The row of a package id, command id or record key.
    QTreeWidgetItem* item(const QString& key) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Delegate;
    friend class Delegate;

    QWidget* makeGeneralPage();
    QWidget* makeExtensionsPage();
    void reloadGeneral();
    void reloadExtensions();
    void refreshSwitches();
    void applyFilter(const QString& text);
    // Widens the sidebar to its longest title and the fixed columns of the
    // table to their header and their widest cell.
    void fitSidebar();
    void fitColumns();
    void showExtensionsMessage(const QString& message);
    void treeItemChanged(QTreeWidgetItem* item, int column);
    void treeItemClicked(QTreeWidgetItem* item, int column);
    void storeAppearance(int index);

    PackageRegistry& m_registry;
    std::shared_ptr<SearchRepository> m_repository;
    UserDefaults& m_defaults;
    SearchRecordValidator m_validator;

    QListWidget* m_sidebar = nullptr;
    QStackedWidget* m_pages = nullptr;
    KeyRecorder* m_hotkeyRecorder = nullptr;
    QLabel* m_hotkeyMessage = nullptr;
    QComboBox* m_timeoutBox = nullptr;
    QComboBox* m_presentationBox = nullptr;
    QComboBox* m_appearanceBox = nullptr;
    QCheckBox* m_loginBox = nullptr;
    QCheckBox* m_calculatorHintBox = nullptr;
    QLineEdit* m_searchField = nullptr;
    QTreeWidget* m_tree = nullptr;
    QLabel* m_messageLabel = nullptr;
    QLabel* m_noMatchesLabel = nullptr;
    Delegate* m_delegate = nullptr;
    QHash<QString, QTreeWidgetItem*> m_items;
    bool m_populating = false;
};

}  // namespace vantrel
