#include "extensions/host/SourceMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <limits>

namespace vantrel::extensions {

namespace {

const QString kMarker = QStringLiteral("//# sourceMappingURL=");
const QString kInlinePrefix = QStringLiteral("data:application/json;base64,");

// Base64 VLQ digit value of a character, or -1.
int vlqDigit(QChar character) {
    const char16_t c = character.unicode();
    if (c >= u'A' && c <= u'Z') return c - u'A';
    if (c >= u'a' && c <= u'z') return c - u'a' + 26;
    if (c >= u'0' && c <= u'9') return c - u'0' + 52;
    if (c == u'+') return 62;
    if (c == u'/') return 63;
    return -1;
}

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

Result<SourceMap> SourceMap::fromGeneratedCode(const QString& generatedCode) {
    const qsizetype marker = generatedCode.lastIndexOf(kMarker);
    if (marker < 0) return VantrelError(QStringLiteral("The given generated code doesn't contain source map data"));
    qsizetype end = generatedCode.indexOf(QLatin1Char('\n'), marker);
    if (end < 0) end = generatedCode.size();
    const QString reference = generatedCode.mid(marker + kMarker.size(), end - marker - kMarker.size()).trimmed();
    if (!reference.startsWith(kInlinePrefix)) {
        if (reference.startsWith(QLatin1String("data:"))) return VantrelError(QStringLiteral("Unknown source map type"));
        return VantrelError(QStringLiteral("Only inline source maps are supported"));
    }
    const auto decoded = QByteArray::fromBase64Encoding(reference.mid(kInlinePrefix.size()).toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return VantrelError(QStringLiteral("The source map Base64 data is invalid"));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(*decoded, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return VantrelError(QStringLiteral("The source map JSON is invalid"));
    }
    const QJsonObject map = document.object();
    const QString mappingsText = map.value(QStringLiteral("mappings")).toString();
    if (mappingsText.isEmpty()) return VantrelError(QStringLiteral("The source map JSON doesn't define any mappings"));

    auto originalCode = extractOriginalCode(map);
    if (originalCode.isFailure()) return originalCode.error();
    auto mappings = extractMappings(mappingsText);
    if (mappings.isFailure()) return mappings.error();

    SourceMap sourceMap;
    sourceMap.m_generatedCode = generatedCode.left(marker);
    sourceMap.m_originalCode = std::move(originalCode).value();
    sourceMap.m_mappings = std::move(mappings).value();
    return sourceMap;
}

Result<std::vector<SourceMap::OriginalCode>> SourceMap::extractOriginalCode(const QJsonObject& map) {
    const QJsonArray sources = map.value(QStringLiteral("sources")).toArray();
    const QJsonArray contents = map.value(QStringLiteral("sourcesContent")).toArray();
    if (sources.isEmpty()) {
        return VantrelError(QStringLiteral("The source map doesn't have any associated original source file"));
    }
    std::vector<OriginalCode> out;
    out.reserve(sources.size());
    for (qsizetype i = 0; i < sources.size(); ++i) {
        OriginalCode code;
        code.url = sources.at(i).toString();
        if (i < contents.size() && contents.at(i).isString()) code.code = contents.at(i).toString();
        out.push_back(std::move(code));
    }
    return out;
}

Result<std::vector<SourceMap::Mapping>> SourceMap::extractMappings(const QString& mappingsText) {
    std::vector<Mapping> mappings;
    // Running values: the original fields are relative to the last segment
    // that had them, across lines; the generated column restarts each line.
    std::int64_t file = 0;
    std::int64_t originalLine = 0;  // from 0 here, from 1 in the mappings
    std::int64_t originalColumn = 0;

    const QStringList lines = mappingsText.split(QLatin1Char(';'));
    for (qsizetype lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
        const QString& line = lines.at(lineIndex);
        if (line.isEmpty()) continue;
        if (lineIndex + 1 > kInt32Max) {
            return VantrelError(QStringLiteral("The generated line %1 exceeds the supported range").arg(lineIndex + 1));
        }
        std::int64_t generatedColumn = 0;
        const QStringList segments = line.split(QLatin1Char(','));
        for (qsizetype segmentIndex = 0; segmentIndex < segments.size(); ++segmentIndex) {
            const QString& segment = segments.at(segmentIndex);
            if (segment.isEmpty()) {
                return VantrelError(QStringLiteral("A VLQ empty segment was encountered at segment index '%1' and line index '%2'")
                                        .arg(segmentIndex)
                                        .arg(lineIndex));
            }
            std::int64_t fields[4] = {0, 0, 0, 0};
            int fieldCount = 0;
            std::int64_t value = 0;
            int shift = 0;
            bool continuing = false;
            for (const QChar character : segment) {
                const int digit = vlqDigit(character);
                if (digit < 0) {
                    return VantrelError(QStringLiteral("A source map decoded mapping character '%1' is invalid at line %2 and segment %3. Segment: %4")
                                            .arg(character)
                                            .arg(lineIndex)
                                            .arg(segmentIndex)
                                            .arg(segment));
                }
                if (!continuing && fieldCount == 4) {
                    return VantrelError(QStringLiteral("Currently only 4 fields are supported on VLQ segments. Unsupported segment at line %1 and segment %2. Segment: %3")
                                            .arg(lineIndex)
                                            .arg(segmentIndex)
                                            .arg(segment));
                }
                if (shift > 30) {
                    // More digits than a 32-bit value needs.
                    return VantrelError(QStringLiteral("The VLQ field in the line %1 and segment %2 is malformed. Segment: %3")
                                            .arg(lineIndex)
                                            .arg(segmentIndex)
                                            .arg(segment));
                }
                value += static_cast<std::int64_t>(digit & 31) << shift;
                continuing = (digit & 32) != 0;
                if (continuing) {
                    shift += 5;
                    continue;
                }
                const bool negative = (value & 1) != 0;
                value >>= 1;
                fields[fieldCount++] = negative ? -value : value;
                value = 0;
                shift = 0;
            }
            if (continuing) {
                return VantrelError(QStringLiteral("The VLQ field in the line %1 and segment %2 is malformed. Segment: %3")
                                        .arg(lineIndex)
                                        .arg(segmentIndex)
                                        .arg(segment));
            }
            if (segmentIndex > 0 && mappings.empty()) {
                return VantrelError(QStringLiteral("Invalid segment at line %1 containing a relative column where an absolute one was expected. Segment: %2")
                                        .arg(lineIndex)
                                        .arg(segment));
            }
            generatedColumn += fields[0];
            const auto outOfRange = [&](const QString& what, std::int64_t number) {
                return VantrelError(QStringLiteral("The %1 '%2' at line %3 and segment %4 is out of range. Segment: %5")
                                        .arg(what)
                                        .arg(number)
                                        .arg(lineIndex)
                                        .arg(segmentIndex)
                                        .arg(segment));
            };
            if (generatedColumn < 0 || generatedColumn > kInt32Max) return outOfRange(QStringLiteral("generated column"), generatedColumn);
            Mapping mapping;
            mapping.generatedCode = {static_cast<std::int32_t>(lineIndex + 1), static_cast<std::int32_t>(generatedColumn)};
            if (fieldCount >= 4) {
                file += fields[1];
                originalLine += fields[2];
                originalColumn += fields[3];
                if (file < 0 || file > std::numeric_limits<std::int16_t>::max()) return outOfRange(QStringLiteral("file index"), file);
                if (originalLine < 0 || originalLine + 1 > kInt32Max) return outOfRange(QStringLiteral("original line"), originalLine + 1);
                if (originalColumn < 0 || originalColumn > kInt32Max) return outOfRange(QStringLiteral("original column"), originalColumn);
                mapping.originalCode = FileLocation{static_cast<std::int32_t>(originalLine + 1),
                                                    static_cast<std::int32_t>(originalColumn), static_cast<std::int16_t>(file)};
            } else if (fieldCount != 1) {
                // Two or three fields name a file without a position.
                return VantrelError(QStringLiteral("The VLQ field in the line %1 and segment %2 is malformed. Segment: %3")
                                        .arg(lineIndex)
                                        .arg(segmentIndex)
                                        .arg(segment));
            }
            mappings.push_back(mapping);
        }
    }
    return mappings;
}

Result<SourceMap::Target> SourceMap::translate(std::int64_t line, std::int64_t column) const {
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    if (line < 1 || column < 0 || line >= kLimit || column >= kLimit) {
        return VantrelError(QStringLiteral("The generated line '%1' and/or column number '%2' are invalid").arg(line).arg(column));
    }
    if (m_mappings.empty()) return VantrelError(QStringLiteral("There must be at least one mapping in this source map instance"));

    const auto after = [&](const Mapping& mapping) {
        return mapping.generatedCode.line > line || (mapping.generatedCode.line == line && mapping.generatedCode.column > column);
    };
    std::size_t next = 0;
    while (next < m_mappings.size() && !after(m_mappings[next])) ++next;
    const auto unmapped = [&] {
        return VantrelError(QStringLiteral("No original location is mapped at generated line '%1' and column '%2'").arg(line).arg(column));
    };
    if (next == 0) return unmapped();
    const std::size_t matchIndex = next - 1;
    const Mapping& match = m_mappings[matchIndex];
    if (!match.originalCode) return unmapped();
    const FileLocation start = *match.originalCode;
    if (start.file < 0 || static_cast<std::size_t>(start.file) >= m_originalCode.size()) {
        return VantrelError(QStringLiteral("The location for the original source file '%1' with line '%2' and column '%3' is invalid")
                                .arg(start.file)
                                .arg(start.line)
                                .arg(start.column));
    }

    Target target;
    target.fileName = m_originalCode[static_cast<std::size_t>(start.file)].url;
    target.line = start.line;
    target.column = start.column;
    for (std::size_t i = matchIndex + 1; i < m_mappings.size(); ++i) {
        const auto& original = m_mappings[i].originalCode;
        if (!original || original->file != start.file) continue;
        if (original->line > start.line || original->column > start.column) {
            target.end = std::make_pair(std::int64_t{original->line}, std::int64_t{original->column});
            break;
        }
    }
    return target;
}

}  // namespace vantrel::extensions
