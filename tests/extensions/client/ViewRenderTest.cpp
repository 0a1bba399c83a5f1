// Renders of a view command through the real extension host: the script's
// `__VantrelAPI__("ui", "render", …)` reaches the presenter as a typed tree,
// the tree's events reach the script's handlers (again and again: the render's
// callback stays alive), a bad tree answers the script with its message, and unloading ends it.
#include "ClientTestSupport.h"

#include "support/CapturingLogHandler.h"

#include <QFile>

#include <csignal>


namespace vantrel::test {
namespace {

namespace views = extensions::views;

// Records renders besides toasts and logs.
class RenderRecorder : public RecordingCommandPresenter {
public:
    void render(views::VantrelViewState state, views::CommandViewController::EventSender send) override {
        states.push_back(std::move(state));
        sender = std::move(send);
    }
    void renderFailed(const QString& message) override { failures << message; }

    QStringList itemTitles() const {
        QStringList titles;
        if (states.empty()) return titles;
        if (const auto* list = std::get_if<views::ListViewModel>(states.back().model.selected()))
            for (const auto& section : list->sections)
                for (const auto& item : section.items) titles << item.title;
        return titles;
    }

    std::vector<views::VantrelViewState> states;
    views::CommandViewController::EventSender sender;
    QStringList failures;
};

// The fixture's development extension, with its launch command set to `command`.
ExtensionPackage fruitCommand(const QString& command) {
    const QString source = QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/views/fruit");
    const QString folder = ExtensionPaths::extensionsDir() + QStringLiteral("/fruit");
    for (const QString& name : {QStringLiteral("package.json"), QStringLiteral("fruit.js"), QStringLiteral("feedback.js"),
                                QStringLiteral("broken.js"), QStringLiteral("storm.js")})
        writeTestFile(folder + QLatin1Char('/') + name, sourceFile(QStringLiteral("tests/fixtures/extensions/views/fruit/") + name).toUtf8());
    QDir().mkpath(folder + QStringLiteral("/assets"));
    QFile::remove(folder + QStringLiteral("/assets/icon.png"));
    QFile::copy(source + QStringLiteral("/assets/icon.png"), folder + QStringLiteral("/assets/icon.png"));
    ExtensionPackage package(ExtensionId(QStringLiteral("fruit"), QStringLiteral("dev")));
    package.manifest = PackageLoader::loadManifest(package.folder());
    package.launchCommand = ExtensionLaunchCommand{ExtensionId::command(package.id, command), std::nullopt};
    return package;
}

TEST(ExtensionViewRender, AListOfThreeItemsRenderedByTheScriptReachesTheLauncherTyped) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RenderRecorder>();
    const auto outcome = launcher.run(fruitCommand(QStringLiteral("fruit")), presenter);
    ASSERT_TRUE(outcome && outcome->isSuccess()) << (outcome ? outcome->error().errorDescription().toStdString() : "timed out");
    ASSERT_EQ(presenter->states.size(), 1u);
    EXPECT_EQ(presenter->itemTitles(), (QStringList{"Apple", "Banana", "Cherry"}));
    const auto& item = std::get<views::ListViewModel>(*presenter->states[0].model.selected()).sections[0].items[0];
    EXPECT_EQ(item.icon->lightSource, ExtensionPaths::extensionsDir() + QStringLiteral("/fruit/assets/icon.png"))
        << "images resolve in the package's assets folder";
    EXPECT_TRUE(launcher.api.runningCommands().contains(QStringLiteral("fruit.fruit__dev")))
        << "a view command stays loaded after its function finished";
}

TEST(ExtensionViewRender, EventsReachTheScriptsHandlersEveryTime) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RenderRecorder>();
    ASSERT_TRUE(launcher.run(fruitCommand(QStringLiteral("fruit")), presenter));
    ASSERT_TRUE(presenter->sender);
    presenter->sender(QStringLiteral("pick"), QJsonValue(QStringLiteral("banana")), {});
    ASSERT_TRUE(waitUntil([&] { return presenter->events.contains(QStringLiteral("toast success: Picked banana")); }, 15000))
        << presenter->events.join('\n').toStdString();
    presenter->sender(QStringLiteral("pick"), QJsonValue(QStringLiteral("cherry")), {});
    EXPECT_TRUE(waitUntil([&] { return presenter->events.contains(QStringLiteral("toast success: Picked cherry")); }, 15000))
        << "the second event of the same render arrives too";
}

TEST(ExtensionViewRender, AHandlerThatAnswersSendsItsAnswerBack) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RenderRecorder>();
    ASSERT_TRUE(launcher.run(fruitCommand(QStringLiteral("feedback")), presenter));
    std::optional<Result<QJsonValue>> answer;
    presenter->sender(QStringLiteral("menu"), QJsonValue(QString()), [&](Result<QJsonValue> result) { answer = std::move(result); });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, 15000));
    ASSERT_TRUE(answer->isSuccess()) << answer->error().errorDescription().toStdString();
    const views::ActionPanelViewModel panel = views::ActionPanelViewModel::fromJson(answer->value(), std::nullopt);
    ASSERT_EQ(panel.sections.at(0).items.size(), 3u);
    EXPECT_EQ(panel.sections[0].items[1].id, QStringLiteral("banana"));
}

TEST(ExtensionViewRender, ABadTreeAnswersTheScriptWithItsMessage) {
    ScopedLogCapture logs;
    LauncherSide launcher;
    auto presenter = std::make_shared<RenderRecorder>();
    ASSERT_TRUE(launcher.run(fruitCommand(QStringLiteral("broken")), presenter));
    EXPECT_EQ(presenter->failures, QStringList{QStringLiteral("Missing property 'title' in listViewItem")});
    EXPECT_TRUE(presenter->events.contains(QStringLiteral("log error: render refused – Missing property 'title' in listViewItem")))
        << presenter->events.join('\n').toStdString();
    EXPECT_TRUE(logs->contains(QStringLiteral("Render error")));
}

TEST(ExtensionViewRender, AViewCommandIsLoadedAgainWhenItsHostDies) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RenderRecorder>();
    ASSERT_TRUE(launcher.run(fruitCommand(QStringLiteral("fruit")), presenter));
    ASSERT_EQ(presenter->states.size(), 1u);
    const qint64 pid = launcher.client.hostPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return presenter->states.size() == 2u; }, 15000)) << "the command renders again in a new host";
    EXPECT_NE(launcher.client.hostPid(), pid);
    EXPECT_EQ(presenter->itemTitles(), (QStringList{"Apple", "Banana", "Cherry"}));
}

TEST(ExtensionViewRender, UnloadingEndsTheViewCommand) {
    LauncherSide launcher;
    auto presenter = std::make_shared<RenderRecorder>();
    ASSERT_TRUE(launcher.run(fruitCommand(QStringLiteral("fruit")), presenter));
    std::optional<Result<QJsonValue>> unloaded;
    launcher.api.unloadCommand(QStringLiteral("fruit.fruit__dev"), [&](Result<QJsonValue> result) { unloaded = std::move(result); });
    ASSERT_TRUE(waitUntil([&] { return unloaded.has_value(); }, 15000));
    EXPECT_FALSE(launcher.api.runningCommands().contains(QStringLiteral("fruit.fruit__dev")));
    // An event after the unload finds no handler and shows nothing.
    presenter->sender(QStringLiteral("pick"), QJsonValue(QStringLiteral("apple")), {});
    ASSERT_TRUE(launcher.ping().has_value());
    EXPECT_FALSE(presenter->events.contains(QStringLiteral("toast success: Picked apple")));
}

}  // namespace
}  // namespace vantrel::test
