// Every built-in template, the way an author uses it: `vantrel extensions
// create`, `npm install && npm run build` with the real npm (packages cached
// under the build folder), `vantrel extensions install` of the folder, then
// the extension in `vantrel extensions list` and its command in
// `vantrel search`.
#include "cli/CliTestSupport.h"
#include "extensions/packages/ArchiveFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace vantrel::test {
namespace {

struct Template {
    const char* identifier;
    const char* commandTitle;
};

void PrintTo(const Template& chosen, std::ostream* os) {
    *os << chosen.identifier;
}

class TemplatesBuildTest : public CliFixture, public ::testing::WithParamInterface<Template> {
protected:
    static ToolRun npm(const QStringList& arguments, const QString& folder) {
        return runTool(QStringLiteral("npm"),
                       arguments + QStringList{QStringLiteral("--cache"), QStringLiteral(VANTREL_NPM_CACHE),
                                               QStringLiteral("--no-audit"), QStringLiteral("--no-fund"),
                                               QStringLiteral("--prefer-offline")},
                       folder);
    }
};

TEST_P(TemplatesBuildTest, BuildsInstallsAndIsFound) {
    const Template& chosen = GetParam();
    const QString identifier = QString::fromLatin1(chosen.identifier);
    const QString name = QStringLiteral("Built ") + identifier;
    const QString location = home.root() + QStringLiteral("/code");
    const ProcessRun create = run({QStringLiteral("extensions"), QStringLiteral("create"), QStringLiteral("--template"),
                                   identifier, QStringLiteral("--name"), name, QStringLiteral("--description"),
                                   QStringLiteral("Built by the test"), QStringLiteral("--dir"), location});
    ASSERT_EQ(create.exitCode, 0) << create.err.toStdString();
    const QString folderName = QStringLiteral("Built-") + identifier;
    const QString folder = location + QLatin1Char('/') + folderName;

    const ToolRun install = npm({QStringLiteral("install")}, folder);
    ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/node_modules/@types/vantrel-commands/index.d.ts")).exists())
        << "the API types come from the resources' api folder";
    const ToolRun build = runTool(QStringLiteral("npm"), {QStringLiteral("run"), QStringLiteral("build")}, folder);
    ASSERT_EQ(build.exitCode, 0) << build.output.toStdString();

    const QByteArray script = readTestFile(folder + QStringLiteral("/dist/index.js"));
    EXPECT_TRUE(script.contains("//# sourceMappingURL=data:application/json;base64,"));
    EXPECT_TRUE(script.contains("require(\"vantrel-commands\")")) << "the API stays external";
    // The launcher already knows the extension: the build went to its folder too.
    const QString installed = home.root() + QStringLiteral("/data/vantrel/extensions/") + folderName;
    EXPECT_EQ(readTestFile(installed + QStringLiteral("/index.js")), script);

    const ProcessRun add = run({QStringLiteral("extensions"), QStringLiteral("install"), folder});
    ASSERT_EQ(add.exitCode, 0) << add.err.toStdString();
    const ProcessRun list = run({QStringLiteral("extensions"), QStringLiteral("list"), QStringLiteral("--json")});
    ASSERT_EQ(list.exitCode, 0);
    const QJsonArray extensions = QJsonDocument::fromJson(list.out.toUtf8()).array();
    ASSERT_EQ(extensions.size(), 1) << list.out.toStdString();
    EXPECT_EQ(extensions[0].toObject().value(QStringLiteral("id")).toString(), folderName + QStringLiteral("__dev"));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/node_modules"))) << "only the build is installed";

    const QString title = QString::fromLatin1(chosen.commandTitle) + QStringLiteral(" [DEV]");
    QStringList titles;
    for (const QJsonValue& section : searchSections({QString::fromLatin1(chosen.commandTitle)}))
        for (const QJsonValue& item : section.toObject().value(QStringLiteral("items")).toArray())
            titles << item.toObject().value(QStringLiteral("title")).toString();
    EXPECT_TRUE(titles.contains(title)) << titles.join(QStringLiteral(", ")).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplatesBuildTest,
                         ::testing::Values(Template{"vantrel-extension-template", "Say Hello"},
                                           Template{"list", "Show List"}, Template{"detail", "Show Detail"},
                                           Template{"form", "Show Form"}),
                         [](const ::testing::TestParamInfo<Template>& entry) {
                             QString name = QString::fromLatin1(entry.param.identifier);
                             return name.remove(QLatin1Char('-')).toStdString();
                         });

}  // namespace
}  // namespace vantrel::test
