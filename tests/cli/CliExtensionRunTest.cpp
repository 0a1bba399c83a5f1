// `vantrel run extension_…`: a command runs in the real extension host without
// the window; what it showed is printed, and an exception is reported at its
// place in the TypeScript source.
#include "CliTestSupport.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>

using namespace vantrel::test;

namespace {

class CliExtensionRun : public CliFixture {
protected:
    // A development folder with two "default" commands: "throws" is
    // tests/fixtures/extensions/sourcemaps/esbuild-throws.js (throws.ts built
    // by esbuild, see make-fixtures.sh), "hello" shows a HUD and logs.
    void SetUp() override {
        const QString folder = home.root() + QStringLiteral("/dev/thrower");
        writeTestFile(folder + QStringLiteral("/package.json"), R"({"name": "thrower", "title": "Thrower", "description": "Throws",
  "icon": "icon.png", "commands": [
    {"name": "throws", "title": "Throw", "description": "Throws", "mode": "default"},
    {"name": "hello", "title": "Hello", "description": "Says hello", "mode": "default"},
    {"name": "looks", "title": "Looks", "description": "Has a view", "mode": "view"}]})");
        QFile fixture(QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/sourcemaps/esbuild-throws.js"));
        ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
        writeTestFile(folder + QStringLiteral("/throws.js"), fixture.readAll());
        writeTestFile(folder + QStringLiteral("/hello.js"),
                      "const api = require('vantrel-commands');\n"
                      "module.exports = async () => { console.log('hi', 1); await api.showHUD('Hello'); };\n");
        writeTestFile(folder + QStringLiteral("/looks.js"), "module.exports = () => {};\n");
        const ProcessRun install = run({QStringLiteral("extensions"), QStringLiteral("install"), folder});
        ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    }
};

}  // namespace

TEST_F(CliExtensionRun, aCommandThatThrowsIsReportedAtItsTypeScriptFileLineAndColumn) {
    const ProcessRun thrown = run({QStringLiteral("run"), QStringLiteral("extension_thrower.throws__dev")});
    EXPECT_EQ(thrown.exitCode, 1) << thrown.err.toStdString();
    const QStringList lines = thrown.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << thrown.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Toast (success): Parsing settings"));
    EXPECT_EQ(lines[1], QStringLiteral("RangeError: Too many retries: 5"));
    // throws.ts line 10: `    throw new RangeError(...)`.
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("    at /"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("/src/throws.ts:10:15"))) << lines[2].toStdString();
}

TEST_F(CliExtensionRun, jsonListsWhatTheCommandShowed) {
    const ProcessRun hello = run({QStringLiteral("run"), QStringLiteral("extension_thrower.hello__dev"), QStringLiteral("--json")});
    EXPECT_EQ(hello.exitCode, 0) << hello.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(hello.out.toUtf8()).object();
    EXPECT_EQ(report.value(QStringLiteral("success")), QJsonValue(true));
    EXPECT_EQ(report.value(QStringLiteral("events")).toArray(),
              (QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("log")},
                                      {QStringLiteral("level"), QStringLiteral("info")},
                                      {QStringLiteral("message"), QStringLiteral("hi – 1")}},
                          QJsonObject{{QStringLiteral("type"), QStringLiteral("hud")}, {QStringLiteral("title"), QStringLiteral("Hello")}}}));

    const ProcessRun failed = run({QStringLiteral("run"), QStringLiteral("extension_thrower.throws__dev"), QStringLiteral("--json")});
    EXPECT_EQ(failed.exitCode, 1);
    const QJsonObject failure = QJsonDocument::fromJson(failed.out.toUtf8()).object();
    EXPECT_EQ(failure.value(QStringLiteral("error")), QJsonValue(QStringLiteral("Too many retries: 5")));
    const QJsonObject exception = failure.value(QStringLiteral("events")).toArray().last().toObject();
    EXPECT_EQ(exception.value(QStringLiteral("type")), QJsonValue(QStringLiteral("exception")));
    EXPECT_EQ(exception.value(QStringLiteral("line")), QJsonValue(10));
    EXPECT_TRUE(exception.value(QStringLiteral("position")).toString().endsWith(QStringLiteral("src/throws.ts:10:15")));
}

TEST_F(CliExtensionRun, unknownCommandsViewsAndOptionsAreRefused) {
    const ProcessRun missing = run({QStringLiteral("run"), QStringLiteral("extension_nothing.here__dev")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("no extension command 'extension_nothing.here__dev'"))) << missing.err.toStdString();
    // A view command that never renders says so.
    const ProcessRun view = run({QStringLiteral("run"), QStringLiteral("extension_thrower.looks__dev")});
    EXPECT_EQ(view.exitCode, 1);
    EXPECT_TRUE(view.err.contains(QStringLiteral("rendered no view"))) << view.err.toStdString();
    const ProcessRun viewJson = run({QStringLiteral("run"), QStringLiteral("extension_thrower.hello__dev"), QStringLiteral("--view-json")});
    EXPECT_EQ(viewJson.exitCode, 2) << "a command without a view has no view to print";
    const ProcessRun option = run({QStringLiteral("run"), QStringLiteral("extension_thrower.hello__dev"), QStringLiteral("--fast")});
    EXPECT_EQ(option.exitCode, 2);
}
