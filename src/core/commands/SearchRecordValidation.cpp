#include "core/commands/SearchRecordValidation.h"

#include "kit/Logger.h"
#include "kit/VantrelError.h"

#include <limits>

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("Shortcuts"), QStringLiteral("⌨️")});
    return logger;
}

// Another installed record holding the value in the column.
bool heldByAnother(const SearchRepository& repository, const SearchRecord& record,
                   std::optional<QString> SearchRecord::*field, const QString& value) {
    for (const SearchRecord& other : repository.readAllSearchResults({}, std::numeric_limits<int>::max())) {
        if (other.key == record.key) continue;
        const auto& held = other.*field;
        if (held && *held == value) return true;
    }
    return false;
}
}  // namespace

SearchRecordValidator::SearchRecordValidator(std::shared_ptr<SearchRepository> repository)
    : m_repository(std::move(repository)) {}

void SearchRecordValidator::setMenuItemShortcuts(std::vector<MenuItemShortcut> shortcuts) {
    m_menuItemShortcuts = std::move(shortcuts);
}

std::optional<QString> SearchRecordValidator::validateAliasUpdate(const SearchRecord& record,
                                                                  const std::optional<QString>& fromValue,
                                                                  const QString& to) const {
    const QString alias = to.trimmed();
    if (alias.isEmpty()) return std::nullopt;
    if (fromValue && *fromValue == alias) return alias;
    if (alias.toUcs4().size() > kMaximumAliasLength)
        throw VantrelError(QStringLiteral("Alias cannot be longer than 6 characters"));
    for (const uint codePoint : alias.toUcs4()) {
        if (!QChar::isLetterOrNumber(codePoint))
            throw VantrelError(
                QStringLiteral("Alias contains invalid characters, please use only numbers and letters"));
    }
    if (heldByAnother(*m_repository, record, &SearchRecord::alias, alias))
        throw VantrelError(QStringLiteral("Alias is already in use"));
    return alias;
}

std::optional<QString> SearchRecordValidator::validateHotkeyUpdate(const SearchRecord& record,
                                                                   const std::optional<QString>& fromValue,
                                                                   const std::optional<KeyCombination>& to) const {
    if (!to) return std::nullopt;
    if (to->modifierKeys.isEmpty())
        throw VantrelError(QStringLiteral("At least one modifier should be included into a hotkey."));
    const auto persistent = to->persistentString();
    if (!persistent) {
        log().error(QStringLiteral("Couldn't convert hotkey to peristentString: ") + to->displayText());
        log().error("Failed to process the hotkey");
        throw VantrelError(QStringLiteral("Failed to process the hotkey"));
    }
    if (fromValue && *fromValue == *persistent) return persistent;
    if (heldByAnother(*m_repository, record, &SearchRecord::hotkey, *persistent))
        throw VantrelError(QStringLiteral("Hotkey is already in use"));
    for (const MenuItemShortcut& shortcut : m_menuItemShortcuts)
        if (shortcut.combination == *to)
            throw VantrelError(QStringLiteral("This hotkey is already used by the menu item ") + shortcut.title);
    return persistent;
}

SearchRecord SearchRecordValidator::updateAlias(const SearchRecord& record, const QString& alias) {
    const auto value = validateAliasUpdate(record, record.alias, alias);
    try {
        return m_repository->setAlias(value, record.key);
    } catch (const std::exception& error) {
        log().error("Failed to update alias in the database",
                    {{QStringLiteral("key"), record.key}, {QStringLiteral("error"), VantrelError::describe(error)}});
        throw;
    }
}

SearchRecord SearchRecordValidator::updateHotkey(const SearchRecord& record,
                                                 const std::optional<KeyCombination>& hotkey) {
    const auto value = validateHotkeyUpdate(record, record.hotkey, hotkey);
    SearchRecord updated;
    try {
        updated = m_repository->setHotkey(value, record.key);
    } catch (const std::exception& error) {
        log().error("Failed to update hotkey in the database",
                    {{QStringLiteral("key"), record.key}, {QStringLiteral("error"), VantrelError::describe(error)}});
        throw;
    }
    // The analytics event of the change, kept in the log until analytics exist.
    log().info(value ? "Global Hotkey Set" : "Global Hotkey Removed", {{QStringLiteral("item"), record.key}});
    return updated;
}

}  // namespace vantrel
