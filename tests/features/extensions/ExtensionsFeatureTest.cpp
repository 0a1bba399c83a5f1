// Extension commands in root search over the real stack (encrypted database,
// search engine, registry, every feature), and the Create Extension form's
// checks.
#include "support/RootSearchTestSupport.h"

#include "extensions/packages/ArchiveFixtures.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "extensions/packages/RepositoryExtensionsStorage.h"
#include "features/extensions/CreateExtensionForm.h"
#include "features/extensions/ExtensionCommandsSource.h"
#include "features/extensions/ExtensionsFeature.h"
#include "kit/NotificationNames.h"

#include <QDir>

namespace vantrel::test {
namespace {

class ExtensionsFeatureTest : public RootSearchFixture {
protected:
    void SetUp() override {
        RootSearchFixture::SetUp();
        QDir().mkpath(work);
    }

    bool startWithExtensions() {
        if (!start()) return false;
        feature = features->api<ExtensionsFeature>();
        return feature && feature->extensionRegistry();
    }

    ExtensionPackage install(const QString& name, const QStringList& commands) {
        writePackageFolder(work, name, commands);
        ExtensionInstallation installation;
        installation.uuid = QStringLiteral("store-") + name;
        return feature->extensionRegistry()->installPackage(
            zipFolder(work, name, work + QLatin1Char('/') + name + QStringLiteral(".zip")), installation);
    }

    QString work = home.root() + QStringLiteral("/work");
    ExtensionsFeature* feature = nullptr;
};

TEST_F(ExtensionsFeatureTest, InstalledCommandsAppearInRootSearchAndLeaveWithTheirExtension) {
    ASSERT_TRUE(startWithExtensions());
    int sourceChanges = 0;
    QObject observer;
    center.addObserver(QString(ExtensionCommandsSource::changedNotice), &observer, [&](const Notification&) { ++sourceChanges; });

    const ExtensionPackage package = install(QStringLiteral("weather"), {QStringLiteral("forecast")});
    EXPECT_EQ(sourceChanges, 1);
    const QString key = QStringLiteral("extension_weather.forecast__store-weather");
    type(QStringLiteral("forecast"));
    ASSERT_TRUE(waitUntil([&] { return findItem(key) != nullptr; }, 10000)) << itemIds(QStringLiteral("appsAndCommands")).join(QLatin1Char(' ')).toStdString();
    const ListItem* item = findItem(key);
    EXPECT_EQ(item->title, QStringLiteral("Forecast"));
    EXPECT_EQ(item->subtitle, QStringLiteral("Weather"));

    const auto command = registry->command(CommandIdentifier(key));
    ASSERT_TRUE(command);
    ASSERT_TRUE(command->icon());
    EXPECT_EQ(command->icon()->small.type, ImageResource::Type::url);
    EXPECT_EQ(command->icon()->small.value, QUrl::fromLocalFile(package.folder() + QStringLiteral("/assets/icon.png")).toString());

    feature->extensionRegistry()->uninstallPackage(package.id);
    EXPECT_FALSE(registry->command(CommandIdentifier(key)));
    type(QString());
    type(QStringLiteral("forecast"));
    ASSERT_TRUE(waitUntil([&] { return findItem(key) == nullptr; }, 10000));
}

TEST_F(ExtensionsFeatureTest, DevelopmentCommandsCarryTheSuffixAndAMissingPackageFailsToLoad) {
    ASSERT_TRUE(startWithExtensions());
    const QString folder = writePackageFolder(work, QStringLiteral("tools"), {QStringLiteral("build")});
    const ExtensionPackage package = feature->extensionRegistry()->installDevelopmentFolder(folder);
    const auto command = registry->command(CommandIdentifier(QStringLiteral("extension_tools.build__dev")));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->displayName(), QStringLiteral("Build [DEV]"));

    // The folder gone behind the registry's back: the package cannot be built.
    QDir(package.folder()).removeRecursively();
    const CommandOutcome outcome = command->run(CommandRunContext{});
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.title, QStringLiteral("Could not load package"));
    EXPECT_TRUE(outcome.message.startsWith(QStringLiteral("Could not load URL: "))) << outcome.message.toStdString();
}

TEST_F(ExtensionsFeatureTest, ChangesFromAnotherProcessArriveAsAConfigurationChange) {
    ASSERT_TRUE(startWithExtensions());
    ExtensionsFeature* shown = feature;
    ExtensionCommandsSource* source = shown->commandsSource();
    ASSERT_TRUE(source->commands().empty());
    // Another registry over the same database stands in for `vantrel extensions install`.
    NotificationCenter otherCenter;
    ExtensionRegistry other(std::make_shared<RepositoryExtensionsStorage>(std::make_shared<ExtensionsRepository>(pool)),
                            &otherCenter);
    writePackageFolder(work, QStringLiteral("remote"));
    ExtensionInstallation installation;
    installation.uuid = QStringLiteral("r1");
    other.installPackage(zipFolder(work, QStringLiteral("remote"), work + QStringLiteral("/remote.zip")), installation);
    EXPECT_TRUE(source->commands().empty()) << "the launcher's cache still holds the old list";
    center.post(QString(NotificationNames::packageConfigurationDidChange), QString(ExtensionCommandsSource::packageId));
    ASSERT_EQ(source->commands().size(), 1u);
    EXPECT_EQ(source->commands()[0]->displayName(), QStringLiteral("Greet"));
}

TEST(CreateExtensionFormTest, ChecksNameAndLocation) {
    namespace form = CreateExtensionForm;
    EXPECT_EQ(form::nameError(QString()), QStringLiteral("Name cannot be empty."));
    EXPECT_EQ(form::nameError(QStringLiteral("   ")), QStringLiteral("Name cannot be empty."));
    EXPECT_FALSE(form::nameError(QStringLiteral("Mine")));
    EXPECT_EQ(form::locationError(QString()), QStringLiteral("A folder location must be provided."));
    EXPECT_EQ(form::locationError(QStringLiteral("relative/path")), QStringLiteral("The given location is invalid."));
    EXPECT_EQ(form::locationError(QStringLiteral("/etc/passwd")), QStringLiteral("The given location is invalid."));
    EXPECT_FALSE(form::locationError(QStringLiteral("~/code/extensions")));
    EXPECT_EQ(form::expandedLocation(QStringLiteral("~/code")), QDir::homePath() + QStringLiteral("/code"));
    EXPECT_EQ(form::initialTemplate({QStringLiteral("detail"), QStringLiteral("vantrel-extension-template")}),
              QStringLiteral("vantrel-extension-template"));
    EXPECT_EQ(form::initialTemplate({QStringLiteral("detail")}), QStringLiteral("detail"));
    EXPECT_EQ(form::initialTemplate({}), QString());
}

}  // namespace
}  // namespace vantrel::test
