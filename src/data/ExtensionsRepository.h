#pragma once

#include "data/Database.h"
#include "data/DatabasePool.h"
#include "data/Records.h"

#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// The installed extensions and their commands.
class ExtensionsRepository {
public:
    explicit ExtensionsRepository(std::shared_ptr<DatabasePool> dbConnection = Database::shared());

    std::shared_ptr<DatabasePool> dbConnection;

    // Inserts the extension (no id) or updates its row (id), and makes its
    // commands match `commands` in the same transaction: commands are matched
    // by name within the extension, so a command keeps its id across updates;
    // commands no longer listed are deleted. Returns what was stored.
    ExtensionInfo saveExtension(const ExtensionRecord& extension, const std::vector<CommandRecord>& commands);

    // Every extension with its commands, by title.
    std::vector<ExtensionInfo> extensions() const;
    std::optional<ExtensionInfo> extension(qint64 id) const;
    // By uuid when the request has one, else by name.
    std::optional<ExtensionInfo> extension(const ExtensionRequest& request) const;

    // The command with its extension, read in one joined row.
    std::optional<CommandInfo> commandInfo(qint64 commandId) const;
    std::optional<CommandInfo> commandInfo(const CommandRequest& request) const;

    // Deletes the extension and its commands; returns whether it was there.
    bool deleteExtension(qint64 id);
};

}  // namespace vantrel
