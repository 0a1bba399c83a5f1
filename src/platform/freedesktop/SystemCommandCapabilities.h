#pragma once

// The system commands, one group per capability, each in a file of its own
// in this folder; SystemCommands.cpp puts them in one table. Every `run`
// returns the confirmation or throws VantrelError; every `…Problem` says in
// a sentence why the command can do nothing here, or is empty when it can.
// Not for use outside platform/freedesktop.
#include <QString>

namespace vantrel::systemcommands {

// Power (logind): restartSystem, shutDownSystem, sleep.
QString runPowerAction(const QString& commandId);
QString powerProblem(const QString& commandId);

// The screen lock and the screen saver.
QString lockScreen();
QString lockScreenProblem();
QString showScreenSaver();
QString screenSaverProblem();

// Ending the session.
QString logOut();
QString logOutProblem();

// The sound volume: setVolume<level>, turnVolumeUp, turnVolumeDown, toggleMute.
QString runVolumeCommand(const QString& commandId);
QString volumeProblem();

// Bluetooth.
QString toggleBluetooth();
QString bluetoothProblem();

// Desktop settings: hidden files and the light or dark appearance.
QString toggleHiddenFiles();
QString hiddenFilesProblem();
QString toggleSystemAppearance();
QString appearanceProblem();

// The trash (always available).
QString emptyTrash();

// Removable disks and network shares (always available).
QString ejectAllDisks();

// The application windows: showDesktop, quitAllApps, hideAllApps, unhideAllApps.
QString showDesktop();
QString quitAllApps();
QString hideAllApps();
QString unhideAllApps();
QString windowProblem(const QString& commandId);

// The displays' power.
QString sleepDisplays();
QString sleepDisplaysProblem();

}  // namespace vantrel::systemcommands
