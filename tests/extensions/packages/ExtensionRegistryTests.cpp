// The registry over the real database: installing zips made by real tools,
// refusing the unsafe ones, development folders, templates, uninstalling,
// the command cache and its notices.
#include "extensions/packages/ArchiveFixtures.h"
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "extensions/packages/PackageLoader.h"
#include "extensions/packages/RepositoryExtensionsStorage.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "support/DatabaseTestSupport.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

using namespace vantrel;
using test::RawEntry;

namespace {

class ExtensionRegistryTest : public test::OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        registry = std::make_unique<ExtensionRegistry>(
            std::make_shared<RepositoryExtensionsStorage>(std::make_shared<ExtensionsRepository>(pool)), &center);
        center.addObserver(QString(NotificationNames::didUpdateExtensionCommands), &observer,
                           [this](const Notification&) { ++notices; });
        QDir().mkpath(work);
    }

    QString extensionsDir() const { return ExtensionPaths::extensionsDir(); }

    QString failureOf(const std::function<void()>& work) {
        try {
            work();
        } catch (const VantrelError& error) {
            return error.errorDescription();
        }
        return QStringLiteral("<no failure>");
    }

    ExtensionInstallation installation(const QString& uuid = QStringLiteral("0b5e4c1a-store")) {
        ExtensionInstallation made;
        made.uuid = uuid;
        made.username = QStringLiteral("author");
        made.version = QDateTime::currentDateTimeUtc();
        return made;
    }

    // The refusal of an archive, checking that nothing was left in extensions/.
    QString refusal(const QString& archive) {
        const QString failure = failureOf([&] { registry->installPackage(archive, installation()); });
        EXPECT_EQ(test::treeOf(extensionsDir()), QStringList()) << failure.toStdString();
        EXPECT_TRUE(registry->fetchAllExtensions().empty());
        EXPECT_EQ(notices, 0);
        return failure;
    }

    QString work = home.root() + QStringLiteral("/work");
    QString resources = home.root() + QStringLiteral("/resources");
    test::ScopedEnv resourcesEnv{"VANTREL_RESOURCES_DIR", resources.toUtf8()};
    NotificationCenter center;
    QObject observer;
    int notices = 0;
    std::unique_ptr<ExtensionRegistry> registry;
};

}  // namespace

TEST_F(ExtensionRegistryTest, InstallsAZipMadeByZipAndListsItsCommands) {
    test::writePackageFolder(work, QStringLiteral("hello"), {QStringLiteral("greet"), QStringLiteral("wave")});
    const QString archive = test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/Archive.ZIP"));

    const ExtensionPackage package = registry->installPackage(archive, installation());
    EXPECT_EQ(package.id, ExtensionId(QStringLiteral("hello"), QStringLiteral("0b5e4c1a-store")));
    EXPECT_EQ(package.folder(), extensionsDir() + QStringLiteral("/0b5e4c1a-store"));
    EXPECT_TRUE(QFileInfo::exists(package.folder() + QStringLiteral("/greet.js")));
    EXPECT_TRUE(QFileInfo::exists(package.folder() + QStringLiteral("/assets/icon.png")));
    EXPECT_EQ(test::treeOf(extensionsDir()).filter(QStringLiteral(".install")), QStringList());
    EXPECT_EQ(notices, 1);

    const std::vector<ExtensionCommand> commands = registry->commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].packageCommandKey(), QStringLiteral("extension_hello.greet__0b5e4c1a-store"));
    EXPECT_EQ(commands[0].displayTitle(), QStringLiteral("Greet")) << "a store command has no development suffix";
    EXPECT_EQ(commands[0].iconPath(), package.folder() + QStringLiteral("/assets/icon.png"));
    EXPECT_EQ(registry->command(QStringLiteral("extension_hello.wave__0b5e4c1a-store"))->title, QStringLiteral("Wave"));

    const ExtensionPackage runnable = registry->package(commands[1]);
    ASSERT_TRUE(runnable.launchCommand);
    EXPECT_EQ(runnable.launchCommand->id.rawValue(), QStringLiteral("hello.wave__0b5e4c1a-store"));
    EXPECT_EQ(runnable.commandScriptPath(), package.folder() + QStringLiteral("/wave.js"));
    EXPECT_EQ(runnable.manifest->title, QStringLiteral("Hello"));
}

TEST_F(ExtensionRegistryTest, ReinstallReplacesTheFolderAndTheCommands) {
    test::writePackageFolder(work, QStringLiteral("hello"), {QStringLiteral("greet"), QStringLiteral("wave")});
    registry->installPackage(test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/v1.zip")), installation());
    test::writeTestFile(extensionsDir() + QStringLiteral("/0b5e4c1a-store/stale.txt"), "old");

    QDir(work + QStringLiteral("/hello")).removeRecursively();
    test::writePackageFolder(work, QStringLiteral("hello"), {QStringLiteral("greet")});
    registry->installPackage(test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/v2.zip")), installation());
    EXPECT_FALSE(QFileInfo::exists(extensionsDir() + QStringLiteral("/0b5e4c1a-store/stale.txt")));
    EXPECT_FALSE(QFileInfo::exists(extensionsDir() + QStringLiteral("/0b5e4c1a-store/wave.js")));
    ASSERT_EQ(registry->commands().size(), 1u);
    EXPECT_EQ(registry->fetchAllExtensions().size(), 1u);
    EXPECT_EQ(test::treeOf(extensionsDir()).filter(QStringLiteral(".previous")), QStringList());
}

TEST_F(ExtensionRegistryTest, AManifestAtTheTopOfTheArchiveIsItsOwnRoot) {
    test::writePackageFolder(work, QStringLiteral("flat"));
    const test::ToolRun zipped = test::runTool(QStringLiteral("zip"), {QStringLiteral("-qr"), work + QStringLiteral("/flat.zip"),
                                                                 QStringLiteral(".")},
                                         work + QStringLiteral("/flat"));
    ASSERT_EQ(zipped.exitCode, 0) << zipped.output.toStdString();
    registry->installPackage(work + QStringLiteral("/flat.zip"), installation());
    EXPECT_TRUE(QFileInfo::exists(extensionsDir() + QStringLiteral("/0b5e4c1a-store/greet.js")));
}

TEST_F(ExtensionRegistryTest, ANameThatIsNotZipIsRefusedBeforeUnpacking) {
    test::writeTestFile(work + QStringLiteral("/archive.tar"), "not looked at");
    EXPECT_EQ(refusal(work + QStringLiteral("/archive.tar")), QStringLiteral("Package must be a zip archive"));
    EXPECT_EQ(refusal(work + QStringLiteral("/nozip")), QStringLiteral("Package must be a zip archive"));
}

TEST_F(ExtensionRegistryTest, BadArchivesAreRefusedWithTheirReasonAndLeaveNothing) {
    const QString notZip = test::writeTestFile(work + QStringLiteral("/text.zip"), "just some text, no archive");
    EXPECT_EQ(refusal(notZip), QStringLiteral("Could not get archive path at: ") + notZip);
    const QString empty = test::writeTestFile(work + QStringLiteral("/empty.zip"), "");
    EXPECT_EQ(refusal(empty), QStringLiteral("Could not get archive path at: ") + empty);
    const QString truncated = work + QStringLiteral("/truncated.zip");
    test::writePackageFolder(work, QStringLiteral("cut"));
    test::zipFolder(work, QStringLiteral("cut"), truncated);
    QFile cut(truncated);
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    EXPECT_FALSE(refusal(truncated).isEmpty());

    const QString hidden = test::rawZip(work + QStringLiteral("/hidden.zip"),
                                        {{QStringLiteral(".hidden/package.json"), test::manifestJson(QStringLiteral("h"))},
                                         {QStringLiteral(".DS_Store"), "x"}});
    EXPECT_EQ(refusal(hidden), QStringLiteral("Could not get archive path at: ") + hidden);

    const QString noManifest =
        test::rawZip(work + QStringLiteral("/nomanifest.zip"), {{QStringLiteral("pkg/greet.js"), "1"}});
    EXPECT_TRUE(refusal(noManifest).startsWith(QStringLiteral("Could not load URL: "))) << refusal(noManifest).toStdString();
    const QString invalid =
        test::rawZip(work + QStringLiteral("/invalid.zip"), {{QStringLiteral("pkg/package.json"), "{\"name\": "}});
    EXPECT_TRUE(refusal(invalid).startsWith(QStringLiteral("Could not decode manifest")));
    const QString wrongTypes = test::rawZip(
        work + QStringLiteral("/types.zip"),
        {{QStringLiteral("pkg/package.json"),
          R"({"name":"n","title":"T","description":"D","icon":"i.png","commands":{"name":"c"}})"}});
    EXPECT_EQ(refusal(wrongTypes), QStringLiteral("Could not decode manifest: Key 'commands' must be an array"));
    const QString badName = test::rawZip(work + QStringLiteral("/badname.zip"),
                                         {{QStringLiteral("pkg/package.json"), test::manifestJson(QStringLiteral("a__b"))}});
    EXPECT_EQ(refusal(badName), QStringLiteral("Invalid extension name: 'a__b'"));
}

TEST_F(ExtensionRegistryTest, EntriesThatEscapeTheFolderAreRefusedAndNothingIsWrittenOutside) {
    const QString marker = QStringLiteral("evil-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString outsideTemp = QDir::tempPath() + QLatin1Char('/') + marker;
    const QString manifest = QStringLiteral("pkg/package.json");

    const QString dotDot = test::rawZip(work + QStringLiteral("/dotdot.zip"),
                                        {{manifest, test::manifestJson(QStringLiteral("pkg"))},
                                         {QStringLiteral("../") + marker, "escaped"}});
    EXPECT_EQ(refusal(dotDot), QStringLiteral("Archive entry escapes its folder: '../%1'").arg(marker));
    const QString deeper = test::rawZip(work + QStringLiteral("/deeper.zip"),
                                        {{manifest, test::manifestJson(QStringLiteral("pkg"))},
                                         {QStringLiteral("pkg/../../") + marker, "escaped"}});
    EXPECT_TRUE(refusal(deeper).startsWith(QStringLiteral("Archive entry escapes its folder: ")));
    const QString absolute = test::rawZip(work + QStringLiteral("/absolute.zip"),
                                          {{manifest, test::manifestJson(QStringLiteral("pkg"))}, {outsideTemp, "escaped"}});
    EXPECT_EQ(refusal(absolute), QStringLiteral("Archive entry escapes its folder: '%1'").arg(outsideTemp));
    EXPECT_FALSE(QFileInfo::exists(outsideTemp));
    EXPECT_FALSE(QFileInfo::exists(home.root() + QLatin1Char('/') + marker));
    EXPECT_FALSE(QFileInfo::exists(work + QLatin1Char('/') + marker));
}

TEST_F(ExtensionRegistryTest, LinksLeavingTheFolderAreRefusedLinksInsideAreKept) {
    // A link to /etc, stored as a link by `zip -y`.
    const QString folder = test::writePackageFolder(work, QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), folder + QStringLiteral("/etc")));
    const QString toEtc = test::zipFolder(work, QStringLiteral("linked"), work + QStringLiteral("/etc.zip"));
    EXPECT_EQ(refusal(toEtc), QStringLiteral("Archive link leaves its folder: 'linked/etc' -> '/etc'"));

    const QString relativeOut = test::rawZip(work + QStringLiteral("/up.zip"),
                                             {{QStringLiteral("pkg/package.json"), test::manifestJson(QStringLiteral("pkg"))},
                                              {QStringLiteral("pkg/up"), "../../..", QStringLiteral("symlink")}});
    EXPECT_EQ(refusal(relativeOut), QStringLiteral("Archive link leaves its folder: 'pkg/up' -> '../../..'"));
    // A link written first, then a file through it: the link alone is refused.
    const QString through = test::rawZip(work + QStringLiteral("/through.zip"),
                                         {{QStringLiteral("pkg/out"), "/tmp", QStringLiteral("symlink")},
                                          {QStringLiteral("pkg/out/x"), "x"}});
    EXPECT_TRUE(refusal(through).startsWith(QStringLiteral("Archive link leaves its folder: ")));

    QFile::remove(folder + QStringLiteral("/etc"));
    ASSERT_TRUE(QFile::link(QStringLiteral("assets/icon.png"), folder + QStringLiteral("/icon-link.png")));
    const QString inside = test::zipFolder(work, QStringLiteral("linked"), work + QStringLiteral("/inside.zip"));
    const ExtensionPackage package = registry->installPackage(inside, installation());
    const QFileInfo link(package.folder() + QStringLiteral("/icon-link.png"));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.canonicalFilePath(), QFileInfo(package.folder() + QStringLiteral("/assets/icon.png")).canonicalFilePath());
}

TEST_F(ExtensionRegistryTest, DeviceFilesAreRefused) {
    const QString device = test::rawZip(work + QStringLiteral("/device.zip"),
                                        {{QStringLiteral("pkg/package.json"), test::manifestJson(QStringLiteral("pkg"))},
                                         {QStringLiteral("pkg/tty"), "", QStringLiteral("chardev")}});
    EXPECT_EQ(refusal(device), QStringLiteral("Archive entry is not a file, folder or link: 'pkg/tty'"));
}

TEST_F(ExtensionRegistryTest, ArchivesBeyondTheUnpackedLimitAreRefused) {
    registry->archiveLimits().maxUnpackedBytes = 1024 * 1024;
    const QString bomb = test::rawZip(work + QStringLiteral("/bomb.zip"),
                                      {{QStringLiteral("pkg/package.json"), test::manifestJson(QStringLiteral("pkg"))},
                                       {QStringLiteral("pkg/zeros.bin"), QByteArray(3 * 1024 * 1024, '\0')}});
    EXPECT_LT(QFileInfo(bomb).size(), 64 * 1024) << "the archive is small, its contents are not";
    EXPECT_EQ(refusal(bomb), QStringLiteral("Archive is larger than 1048576 bytes when unpacked"));

    registry->archiveLimits().maxUnpackedBytes = ZipArchive::defaultMaxUnpackedBytes;
    registry->archiveLimits().maxEntries = 3;
    const QString many = test::rawZip(work + QStringLiteral("/many.zip"),
                                      {{QStringLiteral("pkg/package.json"), test::manifestJson(QStringLiteral("pkg"))},
                                       {QStringLiteral("pkg/a"), "a"},
                                       {QStringLiteral("pkg/b"), "b"},
                                       {QStringLiteral("pkg/c"), "c"}});
    EXPECT_EQ(refusal(many), QStringLiteral("Archive has more than 3 entries"));
}

TEST_F(ExtensionRegistryTest, AsynchronousInstallCompletesOnTheMainThreadAfterTheNotice) {
    test::writePackageFolder(work, QStringLiteral("hello"));
    const QString archive = test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/hello.zip"));
    std::optional<Result<ExtensionPackage>> result;
    int noticesAtCompletion = -1;
    QThread* completedOn = nullptr;
    registry->installPackage(archive, installation(), [&](Result<ExtensionPackage> installed) {
        completedOn = QThread::currentThread();
        noticesAtCompletion = notices;
        result.emplace(std::move(installed));
    });
    ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 20000));
    ASSERT_TRUE(result->isSuccess()) << result->error().errorDescription().toStdString();
    EXPECT_EQ(completedOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(noticesAtCompletion, 1);

    std::optional<Result<ExtensionPackage>> refused;
    registry->installPackage(work + QStringLiteral("/x.rar"), installation(), [&](Result<ExtensionPackage> r) { refused.emplace(std::move(r)); });
    ASSERT_TRUE(test::waitUntil([&] { return refused.has_value(); }));
    ASSERT_TRUE(refused->isFailure());
    EXPECT_EQ(refused->error().errorDescription(), QStringLiteral("Package must be a zip archive"));
    EXPECT_EQ(notices, 1);
}

TEST_F(ExtensionRegistryTest, UninstallingOneCommandThenTheLastTakesTheFolder) {
    test::writePackageFolder(work, QStringLiteral("hello"), {QStringLiteral("greet"), QStringLiteral("wave")});
    const ExtensionPackage package = registry->installPackage(
        test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/hello.zip")), installation());
    std::vector<ExtensionId> unloaded;
    registry->setCommandUnloader([&](const ExtensionId& id) { unloaded.push_back(id); });

    const ExtensionId greet = ExtensionId::command(package.id, QStringLiteral("greet"));
    registry->uninstallCommand(greet);
    EXPECT_EQ(unloaded, std::vector<ExtensionId>{greet});
    ASSERT_EQ(registry->commands().size(), 1u);
    EXPECT_EQ(registry->commands()[0].name, QStringLiteral("wave"));
    EXPECT_TRUE(QFileInfo::exists(package.folder()));
    EXPECT_EQ(notices, 2);

    EXPECT_EQ(failureOf([&] { registry->uninstallCommand(greet); }),
              QStringLiteral("No installed command: hello.greet__0b5e4c1a-store"));

    std::optional<Result<bool>> last;
    registry->uninstallCommand(ExtensionId::command(package.id, QStringLiteral("wave")), [&](Result<bool> r) { last.emplace(std::move(r)); });
    ASSERT_TRUE(test::waitUntil([&] { return last.has_value(); }));
    ASSERT_TRUE(last->isSuccess()) << last->error().errorDescription().toStdString();
    EXPECT_FALSE(QFileInfo::exists(package.folder()));
    EXPECT_TRUE(registry->commands().empty());
    EXPECT_TRUE(registry->fetchAllExtensions().empty());
    EXPECT_EQ(notices, 3);
}

TEST_F(ExtensionRegistryTest, UninstallingAPackageRemovesItsRowsAndFolder) {
    test::writePackageFolder(work, QStringLiteral("hello"));
    const ExtensionPackage package = registry->installPackage(
        test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/hello.zip")), installation());
    registry->uninstallPackage(package.id);
    EXPECT_FALSE(QFileInfo::exists(package.folder()));
    EXPECT_TRUE(registry->fetchAllExtensions().empty());
    EXPECT_TRUE(registry->commands().empty());
    EXPECT_EQ(notices, 2);
    EXPECT_EQ(failureOf([&] { registry->uninstallPackage(package.id); }),
              QStringLiteral("No extension with id: hello__0b5e4c1a-store"));
}

TEST_F(ExtensionRegistryTest, CommandsComeFromTheCacheUntilAChange) {
    test::writePackageFolder(work, QStringLiteral("hello"));
    registry->installPackage(test::zipFolder(work, QStringLiteral("hello"), work + QStringLiteral("/hello.zip")), installation());
    ASSERT_EQ(registry->commands().size(), 1u);
    // A row written behind the registry's back is not seen until the cache drops.
    ExtensionsRepository repository(pool);
    ExtensionInfo info = repository.extensions().front();
    CommandRecord extra = info.commands.front();
    extra.id.reset();
    extra.name = QStringLiteral("extra");
    info.commands.push_back(extra);
    repository.saveExtension(info.extension, info.commands);
    EXPECT_EQ(registry->commands().size(), 1u);
    EXPECT_EQ(registry->fetchCommands(1).size(), 1u);
    EXPECT_EQ(registry->fetchCommands(ExtensionRegistry::commandsLimit).size(), 2u);
    EXPECT_EQ(registry->commands().size(), 2u);
}

TEST_F(ExtensionRegistryTest, DevelopmentFoldersInstallUnderTheirNameWithTheDevSuffix) {
    const QString folder = test::writePackageFolder(work, QStringLiteral("mine"));
    QFile::remove(folder + QStringLiteral("/greet.js"));
    EXPECT_EQ(failureOf([&] { registry->installDevelopmentFolder(folder); }),
              QStringLiteral("The script of command 'greet' is not built: ") + folder + QStringLiteral("/greet.js"));
    EXPECT_EQ(test::treeOf(extensionsDir()), QStringList());

    test::writeTestFile(folder + QStringLiteral("/dist/greet.js"), "built();");
    const ExtensionPackage package = registry->installDevelopmentFolder(folder);
    EXPECT_EQ(package.id.rawValue(), QStringLiteral("mine__dev"));
    EXPECT_EQ(package.folder(), extensionsDir() + QStringLiteral("/mine"));
    EXPECT_EQ(test::readTestFile(package.folder() + QStringLiteral("/greet.js")), QByteArray("built();"));
    const std::vector<ExtensionCommand> commands = registry->commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].displayTitle(), QStringLiteral("Greet [DEV]"));
    EXPECT_EQ(commands[0].packageCommandKey(), QStringLiteral("extension_mine.greet__dev"));

    registry->uninstallPackage(package.id);
    EXPECT_FALSE(QFileInfo::exists(package.folder()));
}

TEST_F(ExtensionRegistryTest, TemplatesInstallAFolderAndADevelopmentPackage) {
    EXPECT_TRUE(ExtensionRegistry::templateIdentifiers().isEmpty());
    const QString templateFolder = resources + QStringLiteral("/templates/basic");
    test::writeTestFile(templateFolder + QStringLiteral("/package.json"),
                        R"({"name":"basic","title":"Basic","description":"Template","icon":"icon.png",
                            "commands":[{"name":"index","title":"Run","description":"Runs","mode":"default"}],
                            "devDependencies":{"esbuild":"^0.20.0"}})");
    test::writeTestFile(templateFolder + QStringLiteral("/src/index.ts"), "export default function () {}\n");
    test::writeTestFile(templateFolder + QStringLiteral("/assets/icon.png"), "png");
    test::writeTestFile(resources + QStringLiteral("/templates/list/package.json"), "{}");
    EXPECT_EQ(ExtensionRegistry::templateIdentifiers(), QStringList({QStringLiteral("basic"), QStringLiteral("list")}));

    const QString location = work + QStringLiteral("/code");
    EXPECT_EQ(failureOf([&] { registry->installTemplate(QString(), QStringLiteral("N"), QString(), location); }),
              QStringLiteral("Empty template identifier"));
    EXPECT_EQ(failureOf([&] { registry->installTemplate(QStringLiteral("basic"), QString(), QString(), location); }),
              QStringLiteral("A name is required to install a template"));
    EXPECT_EQ(failureOf([&] { registry->installTemplate(QStringLiteral("nope"), QStringLiteral("N"), QString(), location); }),
              QStringLiteral("There is no template with identifier 'nope'"));
    EXPECT_EQ(failureOf([&] { registry->installTemplate(QStringLiteral("../templates"), QStringLiteral("N"), QString(), location); }),
              QStringLiteral("There is no template with identifier '../templates'"));
    EXPECT_EQ(failureOf([&] { registry->installTemplate(QStringLiteral("basic"), QStringLiteral("N"), QString(), location); }),
              QStringLiteral("The TypeScript API wasn't found"));
    EXPECT_EQ(notices, 0);

    test::writeTestFile(resources + QStringLiteral("/api/index.js"), "var Vantrel = {};");
    const QString created =
        registry->installTemplate(QStringLiteral("basic"), QStringLiteral("My Ext/2"), QStringLiteral("Does things"), location);
    EXPECT_EQ(created, location + QStringLiteral("/My-Ext-2"));
    EXPECT_TRUE(QFileInfo::exists(created + QStringLiteral("/src/index.ts")));
    const ExtensionManifest manifest = PackageLoader::loadManifest(created);
    EXPECT_EQ(manifest.name, QStringLiteral("My-Ext-2"));
    EXPECT_EQ(manifest.title, QStringLiteral("My Ext/2"));
    EXPECT_EQ(manifest.description, QStringLiteral("Does things"));
    ASSERT_TRUE(manifest.devDependencies);
    EXPECT_EQ(manifest.devDependencies->value(QStringLiteral("@types/vantrel-commands")),
              QStringLiteral("file:") + ExtensionPaths::apiDir());
    EXPECT_EQ(manifest.devDependencies->value(QStringLiteral("esbuild")), QStringLiteral("^0.20.0"));
    EXPECT_FALSE(test::readTestFile(created + QStringLiteral("/package.json")).contains("__vtl__"));

    const QString config = extensionsDir() + QStringLiteral("/My-Ext-2");
    EXPECT_EQ(test::readTestFile(config + QStringLiteral("/package.json")), test::readTestFile(created + QStringLiteral("/package.json")));
    EXPECT_TRUE(QFileInfo::exists(config + QStringLiteral("/assets/icon.png")));
    const std::vector<ExtensionCommand> commands = registry->commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].displayTitle(), QStringLiteral("Run [DEV]"));
    EXPECT_EQ(notices, 1);

    // A second install of the same name starts again from the template.
    test::writeTestFile(created + QStringLiteral("/scratch.txt"), "mine");
    registry->installTemplate(QStringLiteral("basic"), QStringLiteral("My Ext/2"), QStringLiteral("Again"), location);
    EXPECT_FALSE(QFileInfo::exists(created + QStringLiteral("/scratch.txt")));
    EXPECT_EQ(registry->fetchAllExtensions().size(), 1u);
}

TEST_F(ExtensionRegistryTest, StorageFailuresDegradeToEmptyLists) {
    pool->write([](Connection& db) { db.execute(QStringLiteral("DROP TABLE commands"));
        db.execute(QStringLiteral("DROP TABLE extensions")); });
    EXPECT_TRUE(registry->fetchAllExtensions().empty());
    EXPECT_TRUE(registry->commands().empty());
    EXPECT_FALSE(registry->fetchExtension(ExtensionId(QStringLiteral("a"), QStringLiteral("dev"))));
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not fetch all extensions")));
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not fetch commands")));
}
