#pragma once

namespace vantrel {

class ExtensionRegistry;

// What the extensions feature offers other features: the registry of the
// installed extensions (null before the feature registered).
class ExtensionsApi {
public:
    virtual ~ExtensionsApi() = default;
    virtual ExtensionRegistry* extensionRegistry() const = 0;
};

}  // namespace vantrel
