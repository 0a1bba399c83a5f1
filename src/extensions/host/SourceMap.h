#pragma once

#include "kit/Promise.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace vantrel::extensions {

// The inline source map of a generated script (revision 3, as esbuild and
// TypeScript write it): "//# sourceMappingURL=data:application/json;base64,…".
// Translates a position of the generated script (line from 1, column from 0)
// to the original file, line (from 1) and column (from 0).
class SourceMap {
public:
    struct OriginalCode {
        QString url;
        std::optional<QString> code;  // from "sourcesContent" when present
    };

    struct Location {
        std::int32_t line = 0;
        std::int32_t column = 0;
    };

    struct FileLocation {
        std::int32_t line = 0;
        std::int32_t column = 0;
        std::int16_t file = 0;
    };

    // One decoded segment. A segment of one field marks generated code that
    // has no original (originalCode is empty): positions it covers do not
    // translate.
    struct Mapping {
        Location generatedCode;
        std::optional<FileLocation> originalCode;
    };

    struct Target {
        QString fileName;
        std::int64_t line = 0;
        std::int64_t column = 0;
        std::optional<std::pair<std::int64_t, std::int64_t>> end;  // line, column
    };

    // Extracts, decodes and parses the inline map of the script.
    static Result<SourceMap> fromGeneratedCode(const QString& generatedCode);

    Result<Target> translate(std::int64_t line, std::int64_t column) const;

    const QString& generatedCode() const { return m_generatedCode; }
    const std::vector<OriginalCode>& originalCode() const { return m_originalCode; }
    const std::vector<Mapping>& mappings() const { return m_mappings; }

    // The two parsing steps over the decoded JSON map; exposed for tests.
    static Result<std::vector<Mapping>> extractMappings(const QString& mappings);
    static Result<std::vector<OriginalCode>> extractOriginalCode(const QJsonObject& map);

private:
    QString m_generatedCode;
    std::vector<OriginalCode> m_originalCode;
    std::vector<Mapping> m_mappings;
};

}  // namespace vantrel::extensions
