// The applications feature: the desktop's installed applications become
// search records once it is registered, and a desktop without a list of
// applications adds nothing and says so.
#include "support/AppTestSupport.h"
#include "support/ApplicationFixture.h"
#include "support/ScopedPlatform.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/applications/ApplicationsFeature.h"
#include "kit/UserDefaults.h"
#include "platform/Platform.h"

namespace vantrel::test {
namespace {

class ApplicationsFeatureTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/applications.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
    }

    void TearDown() override {
        context.reset();
        launcher.reset();
    }

    void registerApplications() {
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::make_unique<ApplicationsFeature>());
        registerFeatures(*context, std::move(features));
    }

    ApplicationFolders folders;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
};

TEST_F(ApplicationsFeatureTest, InstalledApplicationsBecomeSearchable) {
    ApplicationFolders::write(folders.homeApplications(), QStringLiteral("orbit.desktop"),
                              ApplicationFolders::app("Orbit Planner"));
    const std::size_t coreSources = launcher->dataSources().size();
    registerApplications();
    EXPECT_EQ(launcher->dataSources().size(), coreSources + 1);
    ASSERT_TRUE(launcher->loadDataSourcesAndWait());
    const auto items = launcher->items(QStringLiteral("orbit pl"));
    ASSERT_FALSE(items.empty());
    ASSERT_TRUE(items.front().record());
    EXPECT_EQ(items.front().record()->name, QStringLiteral("Orbit Planner"));
}

TEST_F(ApplicationsFeatureTest, ADesktopWithoutAListOfApplicationsAddsNothingAndSaysSo) {
    const ScopedPlatform without([](Platform& desktop) { desktop.makeApplicationsSource = nullptr; });
    const std::size_t coreSources = launcher->dataSources().size();
    registerApplications();
    EXPECT_EQ(launcher->dataSources().size(), coreSources);
    EXPECT_TRUE(logs->contains(QStringLiteral("This desktop offers no list of installed applications")));
}

}  // namespace
}  // namespace vantrel::test
