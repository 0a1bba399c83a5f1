#pragma once

#include "core/api/Feature.h"
#include "features/extensions/ExtensionsApi.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace vantrel {

class ExtensionCommandsSource;
class ExtensionRegistry;
class ExtensionsStore;
class FeatureContext;
class HTTPClient;
class PackageRegistry;

// Extensions: the installed extension commands in root search (run through
// runExtensionCommand), the "Create Extension" form ("createExtension") and
// `vantrel extensions install|list|remove|create|store`, and the "Extensions
// Store" ("extensionsStore"): the extensions of a JSON index (the "default"
// package's "extensionsStoreURL"), installed through the registry's zip install.
class ExtensionsFeature : public Feature, public ExtensionsApi {
public:
    ExtensionsFeature();
    ~ExtensionsFeature() override;

    QString name() const override { return QStringLiteral("extensions"); }
    void registerWith(FeatureContext& context) override;

    ExtensionRegistry* extensionRegistry() const override { return m_registry.get(); }
    ExtensionCommandsSource* commandsSource() const { return m_source.get(); }

    inline static const QString storeCommandId = QStringLiteral("extensionsStore");
    inline static const QString storePackageId = QStringLiteral("default");
    inline static const QString storeIndexKey = QStringLiteral("extensionsStoreURL");
    // The index used when the configuration names none: the build's
    // VANTREL_EXTENSIONS_STORE_URL (a placeholder unless a build sets it).
    static QString defaultStoreIndex();
    static QUrl storeIndexUrl(const PackageRegistry& registry);

    // Made on first use, over the desktop's keychain (the HTTP client's cache
    // key); null when there is none.
    ExtensionsStore* store();

private:
    std::unique_ptr<ExtensionRegistry> m_registry;
    std::unique_ptr<ExtensionCommandsSource> m_source;
    std::unique_ptr<QObject> m_subscriptions;
    std::unique_ptr<HTTPClient> m_http;
    std::unique_ptr<ExtensionsStore> m_store;
};

}  // namespace vantrel
