// The inline source-map decoder, against maps written by esbuild and
// TypeScript (tests/fixtures/extensions/sourcemaps, made by make-fixtures.sh)
// and what the source-map library decodes from them, and against bad maps.
#include "extensions/host/SourceMap.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using vantrel::extensions::SourceMap;

namespace {

QString fixture(const QString& name) {
    QFile file(QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/sourcemaps/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QString inlineScript(const QByteArray& mapJson, const QString& code = QStringLiteral("let a = 1;\n")) {
    return code + QStringLiteral("//# sourceMappingURL=data:application/json;base64,") + QString::fromLatin1(mapJson.toBase64()) +
           QLatin1Char('\n');
}

QByteArray mapWith(const QString& mappings, const QJsonArray& sources = {QStringLiteral("a.ts")}) {
    return QJsonDocument(QJsonObject{{QStringLiteral("version"), 3},
                                     {QStringLiteral("sources"), sources},
                                     {QStringLiteral("names"), QJsonArray{}},
                                     {QStringLiteral("mappings"), mappings}})
        .toJson(QJsonDocument::Compact);
}

QString errorOf(const QString& script) {
    const auto map = SourceMap::fromGeneratedCode(script);
    return map.isFailure() ? map.error().errorDescription() : QStringLiteral("<parsed>");
}

class SourceMapAgainstRealTools : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(SourceMapAgainstRealTools, decodesEveryMappingAndTranslatesEveryPositionLikeTheSourceMapLibrary) {
    const QString name = QString::fromLatin1(GetParam());
    const QString script = fixture(name + QStringLiteral(".js"));
    const QJsonObject expected = QJsonDocument::fromJson(fixture(name + QStringLiteral(".expected.json")).toUtf8()).object();
    ASSERT_FALSE(script.isEmpty());
    ASSERT_FALSE(expected.isEmpty());

    const auto parsed = SourceMap::fromGeneratedCode(script);
    ASSERT_TRUE(parsed.isSuccess()) << parsed.error().errorDescription().toStdString();
    const SourceMap& map = parsed.value();

    const QJsonArray sources = expected.value(QStringLiteral("sources")).toArray();
    ASSERT_EQ(map.originalCode().size(), static_cast<std::size_t>(sources.size()));
    for (qsizetype i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(map.originalCode()[static_cast<std::size_t>(i)].url, sources.at(i).toString());
        EXPECT_TRUE(map.originalCode()[static_cast<std::size_t>(i)].code.has_value()) << "sourcesContent is kept";
    }

    const QJsonArray mappings = expected.value(QStringLiteral("mappings")).toArray();
    ASSERT_EQ(map.mappings().size(), static_cast<std::size_t>(mappings.size()));
    for (qsizetype i = 0; i < mappings.size(); ++i) {
        const QJsonArray want = mappings.at(i).toArray();
        const auto& got = map.mappings()[static_cast<std::size_t>(i)];
        ASSERT_EQ(got.generatedCode.line, want.at(0).toInt()) << "mapping " << i;
        ASSERT_EQ(got.generatedCode.column, want.at(1).toInt()) << "mapping " << i;
        ASSERT_EQ(got.originalCode.has_value(), want.size() == 5) << "mapping " << i;
        if (!got.originalCode) continue;
        ASSERT_EQ(got.originalCode->file, want.at(2).toInt()) << "mapping " << i;
        ASSERT_EQ(got.originalCode->line, want.at(3).toInt()) << "mapping " << i;
        ASSERT_EQ(got.originalCode->column, want.at(4).toInt()) << "mapping " << i;
    }

    // The library answers within the generated line only; where it finds
    // nothing on the line we may still answer from an earlier line, so only
    // its hits are compared.
    const QJsonArray positions = expected.value(QStringLiteral("positions")).toArray();
    int compared = 0;
    for (const QJsonValue& value : positions) {
        const QJsonArray position = value.toArray();
        if (position.size() != 5) continue;
        const int line = position.at(0).toInt();
        const int column = position.at(1).toInt();
        const auto target = map.translate(line, column);
        ASSERT_TRUE(target.isSuccess()) << line << ":" << column << " " << target.error().errorDescription().toStdString();
        ASSERT_EQ(target.value().fileName, sources.at(position.at(2).toInt()).toString()) << line << ":" << column;
        ASSERT_EQ(target.value().line, position.at(3).toInt()) << line << ":" << column;
        ASSERT_EQ(target.value().column, position.at(4).toInt()) << line << ":" << column;
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

INSTANTIATE_TEST_SUITE_P(EsbuildAndTypeScript, SourceMapAgainstRealTools,
                         ::testing::Values("esbuild-bundle", "esbuild-minified", "esbuild-throws", "tsc-command", "tsc-format"));

TEST(SourceMapTranslation, givesTheEndFromTheNextMappingOfTheSameFile) {
    // Line 1 col 0 -> a.ts 1:0; line 1 col 4 -> a.ts 1:6.
    const auto map = SourceMap::fromGeneratedCode(inlineScript(mapWith(QStringLiteral("AAAA,IAAM"))));
    ASSERT_TRUE(map.isSuccess());
    const auto target = map.value().translate(1, 2);
    ASSERT_TRUE(target.isSuccess());
    EXPECT_EQ(target.value().fileName, QStringLiteral("a.ts"));
    EXPECT_EQ(target.value().line, 1);
    EXPECT_EQ(target.value().column, 0);
    ASSERT_TRUE(target.value().end.has_value());
    EXPECT_EQ(target.value().end->first, 1);
    EXPECT_EQ(target.value().end->second, 6);
    EXPECT_FALSE(map.value().translate(1, 9).value().end.has_value()) << "the last mapping has no end";
}

TEST(SourceMapTranslation, emptyLinesCountAndOriginalLinesStartAtOne) {
    const auto map = SourceMap::fromGeneratedCode(inlineScript(mapWith(QStringLiteral("AAAA;;AACA"))));
    ASSERT_TRUE(map.isSuccess());
    const auto& mappings = map.value().mappings();
    ASSERT_EQ(mappings.size(), 2u);
    EXPECT_EQ(mappings[0].generatedCode.line, 1);
    EXPECT_EQ(mappings[1].generatedCode.line, 3);
    EXPECT_EQ(mappings[0].originalCode->file, 0);
    EXPECT_EQ(mappings[1].originalCode->file, 0);
    EXPECT_EQ(mappings[0].originalCode->line, 1);
    EXPECT_EQ(mappings[1].originalCode->line, 2);
    EXPECT_EQ(map.value().translate(2, 40).value().line, 1) << "line 2 has no mapping: the one before holds";
}

TEST(SourceMapTranslation, refusesInvalidPositionsAndPositionsBeforeTheFirstMapping) {
    const auto map = SourceMap::fromGeneratedCode(inlineScript(mapWith(QStringLiteral("EAAA"))));
    ASSERT_TRUE(map.isSuccess());
    EXPECT_EQ(map.value().translate(0, 5).error().errorDescription(),
              QStringLiteral("The generated line '0' and/or column number '5' are invalid"));
    EXPECT_EQ(map.value().translate(1, -1).error().errorDescription(),
              QStringLiteral("The generated line '1' and/or column number '-1' are invalid"));
    EXPECT_EQ(map.value().translate(2147483648LL, 0).error().errorDescription(),
              QStringLiteral("The generated line '2147483648' and/or column number '0' are invalid"));
    EXPECT_TRUE(map.value().translate(1, 0).isFailure()) << "the first mapping starts at column 2";
    EXPECT_TRUE(map.value().translate(1, 2).isSuccess());
}

TEST(SourceMapTranslation, refusesAFileIndexOutsideTheSources) {
    // File index 1 with one source.
    const auto map = SourceMap::fromGeneratedCode(inlineScript(mapWith(QStringLiteral("ACAA"))));
    ASSERT_TRUE(map.isSuccess());
    EXPECT_EQ(map.value().translate(1, 0).error().errorDescription(),
              QStringLiteral("The location for the original source file '1' with line '1' and column '0' is invalid"));
}

TEST(SourceMapTranslation, generatedCodeWithoutOriginalDoesNotTranslate) {
    // "AAAA,C": the one-field segment at column 1 has no original position.
    const auto map = SourceMap::fromGeneratedCode(inlineScript(mapWith(QStringLiteral("AAAA,C"))));
    ASSERT_TRUE(map.isSuccess());
    EXPECT_TRUE(map.value().translate(1, 0).isSuccess());
    EXPECT_TRUE(map.value().translate(1, 1).isFailure());
}

TEST(SourceMapExtraction, refusesScriptsWithoutAnInlineBase64JsonMap) {
    EXPECT_EQ(errorOf(QStringLiteral("let a = 1;\n")), QStringLiteral("The given generated code doesn't contain source map data"));
    EXPECT_EQ(errorOf(QStringLiteral("x\n//# sourceMappingURL=data:text/plain;base64,AAAA\n")),
              QStringLiteral("Unknown source map type"));
    EXPECT_EQ(errorOf(QStringLiteral("x\n//# sourceMappingURL=command.js.map\n")),
              QStringLiteral("Only inline source maps are supported"));
    EXPECT_EQ(errorOf(QStringLiteral("x\n//# sourceMappingURL=data:application/json;base64,!!!!\n")),
              QStringLiteral("The source map Base64 data is invalid"));
    EXPECT_EQ(errorOf(inlineScript("{\"version\": 3, \"mappings\": ")), QStringLiteral("The source map JSON is invalid"));
    EXPECT_EQ(errorOf(inlineScript("[1, 2]")), QStringLiteral("The source map JSON is invalid"));
    EXPECT_EQ(errorOf(inlineScript(mapWith(QString()))), QStringLiteral("The source map JSON doesn't define any mappings"));
    EXPECT_EQ(errorOf(inlineScript("{\"version\":3,\"mappings\":\"AAAA\"}")),
              QStringLiteral("The source map doesn't have any associated original source file"));
    EXPECT_EQ(errorOf(inlineScript(mapWith(QStringLiteral("AAAA"), QJsonArray{}))),
              QStringLiteral("The source map doesn't have any associated original source file"));
}

TEST(SourceMapExtraction, keepsTheSourcesContentThatIsThere) {
    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("version"), 3},
                                                      {QStringLiteral("sources"), QJsonArray{QStringLiteral("a.ts"), QStringLiteral("b.ts")}},
                                                      {QStringLiteral("sourcesContent"), QJsonArray{QStringLiteral("let a = 1;")}},
                                                      {QStringLiteral("mappings"), QStringLiteral("AAAA")}})
                                .toJson(QJsonDocument::Compact);
    const auto map = SourceMap::fromGeneratedCode(inlineScript(json));
    ASSERT_TRUE(map.isSuccess());
    ASSERT_EQ(map.value().originalCode().size(), 2u);
    EXPECT_EQ(map.value().originalCode()[0].code, QStringLiteral("let a = 1;"));
    EXPECT_FALSE(map.value().originalCode()[1].code.has_value());
    EXPECT_EQ(map.value().generatedCode(), QStringLiteral("let a = 1;\n")) << "the map's own comment is not part of the code";
}

TEST(SourceMapMappings, reportsEachMalformedSegmentWithItsPlace) {
    const auto error = [](const char* mappings) {
        const auto result = SourceMap::extractMappings(QString::fromLatin1(mappings));
        return result.isFailure() ? result.error().errorDescription() : QStringLiteral("<decoded>");
    };
    EXPECT_EQ(error("AAAA,,AACA"), QStringLiteral("A VLQ empty segment was encountered at segment index '1' and line index '0'"));
    EXPECT_EQ(error("AAAA;AA*A"),
              QStringLiteral("A source map decoded mapping character '*' is invalid at line 1 and segment 0. Segment: AA*A"));
    EXPECT_EQ(error("AAAAA"),
              QStringLiteral("Currently only 4 fields are supported on VLQ segments. Unsupported segment at line 0 and segment 0. Segment: AAAAA"));
    EXPECT_EQ(error("AAAg"), QStringLiteral("The VLQ field in the line 0 and segment 0 is malformed. Segment: AAAg"));
    EXPECT_EQ(error("AA"), QStringLiteral("The VLQ field in the line 0 and segment 0 is malformed. Segment: AA"));
    EXPECT_EQ(error("gggggggggA"), QStringLiteral("The VLQ field in the line 0 and segment 0 is malformed. Segment: gggggggggA"))
        << "more digits than a 32-bit value";
    EXPECT_EQ(error("AAAA;D"), QStringLiteral("The generated column '-1' at line 1 and segment 0 is out of range. Segment: D"));
    EXPECT_EQ(error("AAAA,ADAA"), QStringLiteral("The file index '-1' at line 0 and segment 1 is out of range. Segment: ADAA"));
    // +32767 then +1 leaves the signed 16-bit range of file indexes.
    EXPECT_EQ(error("A+//BAA,ACAA"), QStringLiteral("The file index '32768' at line 0 and segment 1 is out of range. Segment: ACAA"));
    EXPECT_EQ(error("AAAA;;AACA"), QStringLiteral("<decoded>"));
}
