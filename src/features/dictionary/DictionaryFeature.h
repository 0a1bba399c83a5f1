#pragma once

#include "core/api/Feature.h"
#include "features/dictionary/DictClient.h"

namespace vantrel {

class PackageRegistry;

// "Define Word" and its fallback: definitions from a DICT server (a local
// dictd by default), shown in the launcher's detail view, and
// `vantrel define WORD` on the command line. The server and the timeout are
// the "dictionary" package's configuration ("server": "host[:port]",
// "timeout": seconds).
class DictionaryFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("dictionary");
    inline static const QString commandId = QStringLiteral("dictionary_defineWord");
    inline static const QString serverKey = QStringLiteral("server");
    inline static const QString timeoutKey = QStringLiteral("timeout");

    QString name() const override { return QStringLiteral("dictionary"); }
    void registerWith(FeatureContext& context) override;

    // The configured server (localhost:2628 when none is set); a value that
    // is not a server is reported in `problem` and the default is used.
    static DictServer server(const PackageRegistry& registry, QString* problem = nullptr);
    static int timeoutMs(const PackageRegistry& registry);
};

}  // namespace vantrel
