#pragma once

#include "data/SearchRecord.h"
#include "data/SearchRepository.h"
#include "kit/KeyCombination.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// Checks and stores the alias and hotkey a user gives a search record
// (application, command, script command, quicklink) in preferences.
//
// Aliases are trimmed; empty means "remove". They hold at most 6 letters or
// digits and belong to one record only. Hotkeys need a modifier, belong to one
// record only, must not be the shortcut of a menu item of the application and
// are stored in their persistent text form ("Option-49"). A refused value
// throws VantrelError with the rule's sentence; nothing is written then.
class SearchRecordValidator {
public:
    // A keyboard shortcut of the application's own menus.
    struct MenuItemShortcut {
        QString title;
        KeyCombination combination;
    };

    static constexpr int kMaximumAliasLength = 6;

    explicit SearchRecordValidator(std::shared_ptr<SearchRepository> repository);

    // The launcher registers the shortcuts of its menus here.
    void setMenuItemShortcuts(std::vector<MenuItemShortcut> shortcuts);
    const std::vector<MenuItemShortcut>& menuItemShortcuts() const { return m_menuItemShortcuts; }

    // validateUpdate(fromValue:to:) for an alias: the value to store (trimmed,
    // nothing to remove it). Throws "Alias cannot be longer than 6 characters",
    // "Alias contains invalid characters, please use only numbers and letters"
    // or "Alias is already in use".
    std::optional<QString> validateAliasUpdate(const SearchRecord& record, const std::optional<QString>& fromValue,
                                               const QString& to) const;
    // validateUpdate(fromValue:to:) for a hotkey: the persistent form to store
    // (nothing to remove it). Throws "At least one modifier should be included
    // into a hotkey.", "Hotkey is already in use", "This hotkey is already used
    // by the menu item <title>" or "Failed to process the hotkey".
    std::optional<QString> validateHotkeyUpdate(const SearchRecord& record, const std::optional<QString>& fromValue,
                                                const std::optional<KeyCombination>& to) const;

    // Validates, then writes through the repository. A failed write is logged
    // ("Failed to update alias in the database" / "Failed to update hotkey in
    // the database") and rethrown.
    SearchRecord updateAlias(const SearchRecord& record, const QString& alias);
    SearchRecord updateHotkey(const SearchRecord& record, const std::optional<KeyCombination>& hotkey);

private:
    std::shared_ptr<SearchRepository> m_repository;
    std::vector<MenuItemShortcut> m_menuItemShortcuts;
};

}  // namespace vantrel
