#pragma once

#include "data/Records.h"

#include <QJsonObject>
#include <QStringList>

#include <optional>

namespace vantrel {

class ClipboardHistory;

namespace clipboard {

// `vantrel clipboard list [--json] [--category C] [--limit N]`, `copy ID`,
// `paste ID`, `pin ID`, `unpin ID`, `delete ID|--all`. The running launcher
// (which owns the clipboard) does what changes things; `list` reads the
// database, and pin, unpin and delete work on it directly when no launcher
// runs. Returns the exit status.
int clipboardCommand(ClipboardHistory& history, const QStringList& arguments);

// A record as the command line prints it in JSON.
QJsonObject recordJson(const ClipboardRecord& record);

}  // namespace clipboard
}  // namespace vantrel
