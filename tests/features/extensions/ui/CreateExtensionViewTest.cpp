// The "Create Extension" form on the test session's display, over the real
// database, the real templates and the registry of the feature.
#include "support/AppTestSupport.h"

#include "core/api/FeatureContext.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "features/extensions/CreateExtensionForm.h"
#include "features/extensions/ExtensionsFeature.h"
#include "features/extensions/ui/CreateExtensionView.h"
#include "kit/UserDefaults.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>

namespace vantrel::test {
namespace {

class CreateExtensionViewTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        defaults = std::make_unique<UserDefaults>(home.root() + QStringLiteral("/extensions.conf"));
        launcher = std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(pool), *registry);
        context = std::make_unique<FeatureContext>(FeatureContext::Services{*registry, *launcher, *defaults, center});
        auto made = std::make_unique<ExtensionsFeature>();
        feature = made.get();
        std::vector<std::unique_ptr<Feature>> features;
        features.push_back(std::move(made));
        registerFeatures(*context, std::move(features));
    }

    void TearDown() override {
        view.reset();
        context.reset();
        launcher.reset();
    }

    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<LauncherSearch> launcher;
    std::unique_ptr<FeatureContext> context;
    ExtensionsFeature* feature = nullptr;
    std::unique_ptr<CreateExtensionView> view;
};

TEST_F(CreateExtensionViewTest, OffersTheTemplatesAndCreatesTheChosenOne) {
    QStringList opened;
    view = std::make_unique<CreateExtensionView>(*feature->extensionRegistry(),
                                                 [&](const QString& folder) { opened << folder; });
    auto* templates = qobject_cast<QComboBox*>(view->control(QStringLiteral("template")));
    ASSERT_TRUE(templates);
    QStringList offered;
    for (int i = 0; i < templates->count(); ++i) offered << templates->itemData(i).toString();
    EXPECT_EQ(offered, QStringList({QStringLiteral("detail"), QStringLiteral("form"), QStringLiteral("list"),
                                    QStringLiteral("vantrel-extension-template")}));
    EXPECT_EQ(view->values().value(QStringLiteral("template")).toString(), QStringLiteral("vantrel-extension-template"));
    EXPECT_EQ(view->values().value(QStringLiteral("location")).toString(), QStringLiteral("~/code/extensions"));
    auto* name = qobject_cast<QLineEdit*>(view->control(QStringLiteral("name")));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->placeholderText(), QStringLiteral("Extension package name"));

    // Empty name and no location: the form says what is missing and creates nothing.
    view->setValue(QStringLiteral("location"), QString());
    CommandOutcome outcome = view->submit();
    EXPECT_EQ(view->validationMessage(QStringLiteral("name")), QStringLiteral("Name cannot be empty."));
    EXPECT_EQ(view->validationMessage(QStringLiteral("location")), QStringLiteral("A folder location must be provided."));
    EXPECT_TRUE(feature->extensionRegistry()->commands().empty());

    const QString location = home.root() + QStringLiteral("/code");
    view->setValue(QStringLiteral("name"), QStringLiteral("Fruit Picker"));
    view->setValue(QStringLiteral("description"), QStringLiteral("Picks fruit"));
    view->setValue(QStringLiteral("template"), QStringLiteral("list"));
    view->setValue(QStringLiteral("location"), location);
    std::optional<MenuItem> createAndOpen;
    for (const MenuItem& action : view->actions())
        if (action.title == QStringLiteral("Create and Open Extension Folder")) createAndOpen = action;
    ASSERT_TRUE(createAndOpen);
    outcome = createAndOpen->perform();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    EXPECT_EQ(outcome.hudText, QStringLiteral("Succesfully created extension 'Fruit Picker'"));
    EXPECT_EQ(view->createdFolder(), location + QStringLiteral("/Fruit-Picker"));
    EXPECT_EQ(opened, QStringList{location + QStringLiteral("/Fruit-Picker")});
    EXPECT_TRUE(QFileInfo::exists(location + QStringLiteral("/Fruit-Picker/src/index.ts")));
    ASSERT_EQ(feature->extensionRegistry()->commands().size(), 1u);
    EXPECT_EQ(feature->extensionRegistry()->commands()[0].displayTitle(), QStringLiteral("Show List [DEV]"));
}

TEST_F(CreateExtensionViewTest, AFailedInstallIsReportedWithTheFixedTitle) {
    view = std::make_unique<CreateExtensionView>(*feature->extensionRegistry());
    view->setValue(QStringLiteral("name"), QStringLiteral("Broken"));
    // A location below a file cannot be created.
    const QString file = home.root() + QStringLiteral("/a-file");
    QFile(file).open(QIODevice::WriteOnly);
    view->setValue(QStringLiteral("location"), file + QStringLiteral("/below"));
    const CommandOutcome outcome = view->submit();
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::failed);
    EXPECT_EQ(outcome.title, QStringLiteral("Unable to create extension from template"));
    EXPECT_TRUE(view->createdFolder().isEmpty());
}

}  // namespace
}  // namespace vantrel::test
