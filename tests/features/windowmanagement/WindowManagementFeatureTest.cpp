// The window-management feature in the launcher: its commands in the package,
// found in root search, and what running one does before it touches a window.
#include "support/AppTestSupport.h"
#include "support/RecordingPresenter.h"
#include "support/ScopedPlatform.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/windowmanagement/WindowManagementFeature.h"
#include "kit/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/WindowClient.h"

namespace vantrel::test {
namespace {

class WindowManagementFeatureTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/windows.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<WindowManagementFeature>());
        registerFeatures(*context, std::move(features));
        context->setPresenter(&presenter);
    }

    void TearDown() override {
        context.reset();
        launcher.reset();
    }

    std::shared_ptr<const VantrelCommand> command(const char* id) {
        return registry->command(CommandIdentifier(QString::fromLatin1(id)));
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    RecordingPresenter presenter;
};

TEST_F(WindowManagementFeatureTest, ThePackageListsOneCommandPerLayoutInOrder) {
    const auto package = registry->package(PackageIdentifier("windowManagement"));
    ASSERT_TRUE(package);
    const CommandList commands = package->commands();
    ASSERT_EQ(commands.size(), 45u);
    EXPECT_EQ(commands.front()->id().rawValue, QStringLiteral("windowManagementCenter"));
    EXPECT_EQ(commands[5]->id().rawValue, QStringLiteral("windowManagementLeftHalf"));
    EXPECT_EQ(commands.back()->id().rawValue, QStringLiteral("windowManagementMakeLarger"));
    const auto leftHalf = command("windowManagementLeftHalf");
    ASSERT_TRUE(leftHalf);
    EXPECT_EQ(leftHalf->displayName(), QStringLiteral("Left Half"));
    EXPECT_EQ(leftHalf->description(), QStringLiteral("Resize focused window to the left half of the screen."));
    EXPECT_EQ(leftHalf->packageId().rawValue, QStringLiteral("windowManagement"));
    EXPECT_FALSE(leftHalf->isViewControllerRepresented());
    for (const auto& each : commands) EXPECT_EQ(each->package(), package) << each->id().rawValue.toStdString();
}

TEST_F(WindowManagementFeatureTest, IconsDrawTheRegionOfTheLayout) {
    const auto iconOf = [&](const char* id) { return command(id)->icon().value().small.value; };
    EXPECT_EQ(iconOf("windowManagementLeftHalf"), QStringLiteral("window-layout-0-0-6-12"));
    EXPECT_EQ(iconOf("windowManagementTopRightQuarter"), QStringLiteral("window-layout-6-0-12-6"));
    EXPECT_EQ(iconOf("windowManagementCenterThird"), QStringLiteral("window-layout-4-0-8-12"));
    EXPECT_EQ(iconOf("windowManagementBottomThreeFourth"), QStringLiteral("window-layout-0-3-12-12"));
    EXPECT_EQ(iconOf("windowManagementMaximize"), QStringLiteral("window-layout-0-0-12-12"));
    EXPECT_EQ(iconOf("windowManagementMoveLeft"), QStringLiteral("window-layout-0-4-4-8"));
}

TEST_F(WindowManagementFeatureTest, RootSearchFindsALayoutByItsTitleOnceThePackageIsOn) {
    ASSERT_TRUE(registry->setPackageEnabled(PackageIdentifier("windowManagement"), true));
    ASSERT_TRUE(launcher->loadDataSourcesAndWait());
    const auto items = launcher->items(QStringLiteral("left half"));
    ASSERT_FALSE(items.empty());
    ASSERT_TRUE(items.front().record());
    EXPECT_EQ(items.front().record()->key, QStringLiteral("windowManagementLeftHalf"));
    EXPECT_EQ(items.front().record()->name, QStringLiteral("Left Half"));
}

TEST_F(WindowManagementFeatureTest, RunningALayoutHidesTheLauncherAndSaysWhyWhereWindowsCannotBePlaced) {
    const ScopedPlatform wayland([](Platform& desktop) {
        desktop.windowClient = [](QString* problem) -> std::shared_ptr<WindowClient> {
            if (problem) *problem = QStringLiteral("On Wayland the compositor places the windows.");
            return nullptr;
        };
    });
    LauncherEnvironment environment;
    const CommandOutcome outcome = command("windowManagementLeftHalf")->run({QString(), {}, &environment});
    EXPECT_EQ(presenter.hides, 1);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.title, QStringLiteral("Cannot resize window"));
    EXPECT_EQ(outcome.message, QStringLiteral("On Wayland the compositor places the windows."));

    const CommandOutcome move = command("windowManagementNextDisplay")->run({QString(), {}, &environment});
    EXPECT_EQ(move.title, QStringLiteral("Cannot move window"));
}

}  // namespace
}  // namespace vantrel::test
