#pragma once

#include <QString>

namespace vantrel {

// Every folder Vantrel reads or writes, answered from the XDG base-directory
// variables at the moment of the call, so tests redirect everything by setting
// XDG_DATA_HOME, XDG_CACHE_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME.
namespace Paths {

inline constexpr const char* kAppFolder = "vantrel";

QString dataDir();    // $XDG_DATA_HOME/vantrel  (database, extensions, keyring file)
QString cacheDir();   // $XDG_CACHE_HOME/vantrel
QString configDir();  // $XDG_CONFIG_HOME/vantrel (vantrel.conf)
QString stateDir();   // $XDG_STATE_HOME/vantrel  (logs)
QString settingsFile();  // configDir()/vantrel.conf
QString logFile();       // stateDir()/vantrel.log
QString databaseFile();  // dataDir()/vantrel-enc.sqlite
QString autostartDir();  // $XDG_CONFIG_HOME/autostart

// Creates the folder with its parents (mode 0700 for the ones it makes).
// Returns false when it cannot.
bool ensureDir(const QString& path);

}  // namespace Paths

}  // namespace vantrel
