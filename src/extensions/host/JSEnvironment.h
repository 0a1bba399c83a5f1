#pragma once

#include "extensions/packages/ExtensionPackage.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

namespace vantrel::extensions {

// The object VantrelCommand.init receives:
//   "vantrelVersion"  the application's version
//   "extensionName"   the package's name
//   "commandName"     the launch command's file base name, null without one
//   "preferences"     {name: {"value"?, "default"?, "required", "type"}} of the launch command
//   "vars"            the command's environment data (a JSON object; anything
//                     else is logged as "Failed parsing env vars" and gives {})
QJsonObject environmentObject(const ExtensionPackage& package, const std::optional<QByteArray>& envData);

// The version the host reports to commands.
QString vantrelVersion();

}  // namespace vantrel::extensions
