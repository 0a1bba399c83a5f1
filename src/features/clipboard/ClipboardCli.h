#pragma once

#include "core/api/CommandOutcome.h"
#include "data/Records.h"

#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace vantrel {

class ClipboardHistory;

namespace clipboard {

// `vantrel clipboard list [--json] [--category C] [--limit N]`, `copy ID`,
// `paste ID`, `pin ID`, `unpin ID`, `delete ID|--all`. The running launcher
// (which owns the clipboard) answers them all when it runs; without it `list`
// reads the database, and pin, unpin and delete work on it directly.
// Returns the exit status.
int clipboardCommand(ClipboardHistory& history, const QStringList& arguments);

// The running launcher's answer to `vantrel://clipboard/list?json=1&category=C&limit=N`:
// the listing as the command line prints it.
CommandOutcome listRoute(ClipboardHistory& history, const QUrl& url);

// A record as the command line prints it in JSON.
QJsonObject recordJson(const ClipboardRecord& record);

}  // namespace clipboard
}  // namespace vantrel
