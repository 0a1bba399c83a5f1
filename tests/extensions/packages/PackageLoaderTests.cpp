// Reading a package from disk: its manifest, its files and a command's sources.
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/PackageLoader.h"
#include "support/CapturingLogHandler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>

using namespace vantrel;

namespace {

const QByteArray kManifest = R"({"name":"hello","title":"Hello","description":"Says hello","icon":"icon.png",
    "commands":[{"name":"greet","title":"Greet","description":"Greets","mode":"default"}]})";

class PackageLoaderTest : public ::testing::Test {
protected:
    test::ScopedXdgHome home;
    QString resources = home.root() + QStringLiteral("/resources");
    test::ScopedEnv resourcesEnv{"VANTREL_RESOURCES_DIR", resources.toUtf8()};

    ExtensionPackage writePackage() {
        ExtensionPackage package(ExtensionId(QStringLiteral("hello"), QStringLiteral("dev")));
        test::writeTestFile(package.manifestPath(), kManifest);
        test::writeTestFile(package.folder() + QStringLiteral("/greet.js"), "console.log('hi');");
        package.manifest = PackageLoader::loadManifest(package.folder());
        package.launchCommand = ExtensionLaunchCommand{ExtensionId::command(package.id, QStringLiteral("greet")), {}};
        return package;
    }
};

QString failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
    return QStringLiteral("<no failure>");
}

}  // namespace

TEST_F(PackageLoaderTest, LoadsTheManifestOfAFolder) {
    const ExtensionPackage package = writePackage();
    EXPECT_EQ(package.manifest->title, QStringLiteral("Hello"));

    std::optional<Result<ExtensionManifest>> result;
    PackageLoader::loadManifest(package.folder(), [&](Result<ExtensionManifest> loaded) { result.emplace(std::move(loaded)); });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->isSuccess());
    EXPECT_EQ(result->value().name, QStringLiteral("hello"));
}

TEST_F(PackageLoaderTest, ManifestThatIsMissingOrBrokenSaysWhich) {
    const QString folder = home.root() + QStringLiteral("/empty");
    QDir().mkpath(folder);
    EXPECT_EQ(failureOf([&] { PackageLoader::loadManifest(folder); }),
              QStringLiteral("Could not load URL: ") + folder + QStringLiteral("/package.json"));
    test::writeTestFile(folder + QStringLiteral("/package.json"), R"({"name": 1})");
    EXPECT_TRUE(failureOf([&] { PackageLoader::loadManifest(folder); }).startsWith(QStringLiteral("Could not decode manifest")));
    // A folder named package.json cannot be read either.
    const QString odd = home.root() + QStringLiteral("/odd");
    QDir().mkpath(odd + QStringLiteral("/package.json"));
    EXPECT_TRUE(failureOf([&] { PackageLoader::loadManifest(odd); }).startsWith(QStringLiteral("Could not")));
}

TEST_F(PackageLoaderTest, FilesComeBackInInputOrderAndOptionalOnesMayBeMissing) {
    std::vector<CommandSourceFile> files;
    for (int i = 0; i < 12; ++i) {
        const QString path = home.root() + QStringLiteral("/f%1.txt").arg(i);
        test::writeTestFile(path, QByteArray::number(i));
        files.push_back({QUrl::fromLocalFile(path), true});
    }
    files.push_back({QUrl::fromLocalFile(home.root() + QStringLiteral("/absent.txt")), false});
    const auto contents = PackageLoader::loadFiles(files);
    ASSERT_EQ(contents.size(), files.size());
    for (int i = 0; i < 12; ++i) EXPECT_EQ(contents[size_t(i)], QByteArray::number(i));
    EXPECT_FALSE(contents.back());
}

TEST_F(PackageLoaderTest, AMissingRequiredFileFailsTheWholeLoad) {
    test::ScopedLogCapture log;
    const QString absent = home.root() + QStringLiteral("/absent.js");
    test::writeTestFile(home.root() + QStringLiteral("/there.js"), "x");
    const std::vector<CommandSourceFile> files{{QUrl::fromLocalFile(home.root() + QStringLiteral("/there.js")), true},
                                               {QUrl::fromLocalFile(absent), true}};
    EXPECT_EQ(failureOf([&] { PackageLoader::loadFiles(files); }), QStringLiteral("Could not load data for URL: ") + absent);
    EXPECT_TRUE(log->contains(QStringLiteral("Could not load files: Could not load data for URL: ") + absent));

    std::optional<Result<std::vector<std::optional<QByteArray>>>> result;
    PackageLoader::loadFiles(files, [&](auto loaded) { result.emplace(std::move(loaded)); });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->isFailure());
    EXPECT_TRUE(PackageLoader::loadFiles({}).empty());
}

TEST_F(PackageLoaderTest, SourcesAreTheApiScriptTheCommandScriptAndItsEnvironment) {
    const ExtensionPackage package = writePackage();
    EXPECT_TRUE(failureOf([&] { PackageLoader::loadSources(package); })
                    .startsWith(QStringLiteral("Could not load sources: Could not load data for URL: ") +
                                ExtensionPaths::apiScript()));
    test::writeTestFile(resources + QStringLiteral("/api/index.js"), "var Vantrel = {};");
    const CommandSources sources = PackageLoader::loadSources(package);
    EXPECT_EQ(sources.api, QStringLiteral("var Vantrel = {};"));
    EXPECT_EQ(sources.entryPoint, QStringLiteral("console.log('hi');"));
    ASSERT_TRUE(sources.envData);
    const QJsonObject vars = QJsonDocument::fromJson(*sources.envData).object();
    EXPECT_EQ(vars.value(QStringLiteral("assetsPath")).toString(), package.assetsFolder());
    EXPECT_TRUE(vars.value(QStringLiteral("supportPath")).toString().endsWith(QStringLiteral("/extension-support/hello")));

    ExtensionPackage noCommand = package;
    noCommand.launchCommand.reset();
    EXPECT_EQ(failureOf([&] { PackageLoader::loadSources(noCommand); }),
              QStringLiteral("Could not load sources: No launch command"));

    std::optional<Result<CommandSources>> result;
    PackageLoader::loadSources(package, [&](Result<CommandSources> loaded) { result.emplace(std::move(loaded)); });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }));
    ASSERT_TRUE(result->isSuccess());
    EXPECT_EQ(result->value().entryPoint, sources.entryPoint);
}

TEST(ExtensionPathsTest, ResourcesComeFromTheEnvironmentOrTheSourceTree) {
    {
        test::ScopedEnv env("VANTREL_RESOURCES_DIR", QByteArray("/opt/vantrel-res/"));
        EXPECT_EQ(ExtensionPaths::resourcesDir(), QStringLiteral("/opt/vantrel-res"));
        EXPECT_EQ(ExtensionPaths::apiScript(), QStringLiteral("/opt/vantrel-res/api/index.js"));
        EXPECT_EQ(ExtensionPaths::templatesDir(), QStringLiteral("/opt/vantrel-res/templates"));
    }
    test::ScopedEnv env("VANTREL_RESOURCES_DIR", std::nullopt);
    EXPECT_TRUE(QDir(ExtensionPaths::resourcesDir()).exists());
}
