#pragma once

#include <QString>

// The names of the notifications subsystems post on the default centre.
namespace vantrel::NotificationNames {

// object: the package id
inline constexpr QLatin1String packageConfigurationDidChange("vantrel_PackageConfigurationDidChange");
inline constexpr QLatin1String packageCommandsDidChange("vantrel_PackageCommandsDidChange");

inline constexpr QLatin1String didUprankItem("didUprankItemNotification");
inline constexpr QLatin1String searchRecordAliasChanged("searchRecordAliasChanged");
inline constexpr QLatin1String searchRecordHotkeyChanged("searchRecordHotkeyChanged");
inline constexpr QLatin1String rootSearchFavoritesChanged("rootSearchFavoritesChanged");

inline constexpr QLatin1String scriptCommandsChanged("vantrel_scriptCommandsChanged");
inline constexpr QLatin1String scriptCommandsSourceChanged("scriptCommandsSourceChanged");

inline constexpr QLatin1String didRunScheduledCommand("didRunScheduledCommand");

inline constexpr QLatin1String didUpdateExtensionCommands("didUpdateExtensionCommands");

inline constexpr QLatin1String quicklinksDidChange("quicklinksDidChange");
inline constexpr QLatin1String quicklinksSourceDidChange("quicklinksSourceDidChange");

inline constexpr QLatin1String didChangeClipboardHistory("didChangeClipboardHistory");

inline constexpr QLatin1String didMatchSnippetAlias("didMatchSnippetAlias");

}  // namespace vantrel::NotificationNames
