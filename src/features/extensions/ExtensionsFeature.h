#pragma once

#include "core/api/Feature.h"
#include "features/extensions/ExtensionsApi.h"

#include <QObject>

#include <memory>

namespace vantrel {

class ExtensionCommandsSource;
class ExtensionRegistry;
class FeatureContext;

// Extensions: the installed extension commands in root search (run through
// runExtensionCommand), the "Create Extension" form ("createExtension") and
// `vantrel extensions install|list|remove|create`.
class ExtensionsFeature : public Feature, public ExtensionsApi {
public:
    ExtensionsFeature();
    ~ExtensionsFeature() override;

    QString name() const override { return QStringLiteral("extensions"); }
    void registerWith(FeatureContext& context) override;

    ExtensionRegistry* extensionRegistry() const override { return m_registry.get(); }
    ExtensionCommandsSource* commandsSource() const { return m_source.get(); }

private:
    std::unique_ptr<ExtensionRegistry> m_registry;
    std::unique_ptr<ExtensionCommandsSource> m_source;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
