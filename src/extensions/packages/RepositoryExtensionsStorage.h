#pragma once

#include "data/ExtensionsRepository.h"
#include "extensions/packages/ExtensionsStorage.h"

#include <memory>

namespace vantrel {

// ExtensionsStorage over the extensions and commands tables. A development
// extension is stored with the uuid "dev" and found by its name; an
// uninstalled command keeps its row with `installed` false, and the last
// installed command of an extension leaves with the extension's row.
class RepositoryExtensionsStorage : public ExtensionsStorage {
public:
    explicit RepositoryExtensionsStorage(std::shared_ptr<ExtensionsRepository> repository);

    std::vector<ExtensionDetails> extensions() override;
    std::optional<ExtensionDetails> extension(const ExtensionId& packageId) override;
    std::vector<ExtensionCommand> commands(int limit) override;
    void saveInstallation(const ExtensionManifest& manifest, const ExtensionInstallation& installation) override;
    bool deleteExtension(const ExtensionId& packageId) override;
    void uninstallCommand(const ExtensionId& commandId) override;
    void storePreferences(const ExtensionId& packageId, const QString& commandName,
                          const std::vector<ExtensionPreference>& preferences) override;

    // The listed form of stored rows (only installed commands).
    static ExtensionDetails details(const ExtensionInfo& info);

private:
    std::optional<ExtensionInfo> find(const ExtensionId& packageId) const;

    std::shared_ptr<ExtensionsRepository> m_repository;
};

}  // namespace vantrel
