// The controller between a script's renders and the views on screen: the
// stack of views, what each render reloads, coalesced render storms and the
// events that go back to the script.
#include "extensions/views/CommandViewController.h"

#include "support/CapturingLogHandler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace vantrel::extensions::views {
namespace {

struct RecordingView : CommandViewProtocol {
    explicit RecordingView(ViewModelKind k) : viewKind(k) {}
    ViewModelKind kind() const override { return viewKind; }
    void update(const ViewModel& model, const UpdatesInfo& flags) override {
        updates.push_back(flags);
        titles.push_back(titleOf(model));
        if (const auto* list = std::get_if<ListViewModel>(&model)) {
            itemTitles.clear();
            for (const auto& section : list->sections)
                for (const auto& item : section.items) itemTitles << item.title;
        }
    }
    ViewModelKind viewKind;
    std::vector<UpdatesInfo> updates;
    QStringList titles;
    QStringList itemTitles;
};

QJsonObject listNode(const QString& id, const QString& path, const QString& title, const QStringList& items, const QString& tag = {}) {
    QJsonArray itemNodes;
    for (int i = 0; i < items.size(); ++i)
        itemNodes.append(QJsonObject{{"kind", "listViewItem"},
                                     {"nodeId", QStringLiteral("%1-%2").arg(id).arg(i)},
                                     {"path", QStringLiteral("%1/sections/0/items/%2").arg(path).arg(i)},
                                     {"title", items[i]}});
    QJsonObject node{{"kind", "listView"}, {"nodeId", id}, {"path", path}, {"navigationTitle", title},
                     {"sections", QJsonArray{QJsonObject{{"kind", "listViewSection"}, {"nodeId", id + "-s"},
                                                         {"path", path + "/sections/0"}, {"items", itemNodes}}}}};
    if (!tag.isEmpty()) node.insert("tag", tag);
    return node;
}

VantrelViewState state(const QJsonArray& body, const QString& selected, const QJsonArray& patch = {}) {
    const QJsonObject root{{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""}, {"body", body},
                           {"selectedView", QJsonObject{{"value", selected}, {"id", "h-selected-view"}}},
                           {"onStatusChange", "h-status"}};
    return VantrelViewState::build({{"model", root}, {"patch", patch}}, QUrl());
}

bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

struct Sent {
    QString handler;
    QJsonValue data;
};

class ControllerTest : public ::testing::Test {
protected:
    CommandViewController controller{QStringLiteral("ext.cmd__dev"), [this](const ViewModel& model) -> CommandViewProtocol* {
                                          if (std::holds_alternative<FormViewModel>(model)) return nullptr;  // a kind this test cannot show
                                          views.push_back(std::make_unique<RecordingView>(nodeOf(model).kind));
                                          return views.back().get();
                                      }};
    std::vector<std::unique_ptr<RecordingView>> views;
    std::vector<Sent> sent;
    CommandViewController::EventSender sender = [this](const QString& handler, const QJsonValue& data, auto) {
        sent.push_back({handler, data});
    };

    void renderAndWait(VantrelViewState next) {
        const int applied = controller.appliedRenders();
        controller.render(std::move(next), sender);
        ASSERT_TRUE(waitFor([&] { return controller.appliedRenders() > applied; }));
    }
};

TEST_F(ControllerTest, FirstRenderCreatesTheSelectedViewWithEverything) {
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple", "Banana", "Cherry"})}, "list"));
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0]->itemTitles, (QStringList{"Apple", "Banana", "Cherry"}));
    EXPECT_TRUE(views[0]->updates[0].shouldUpdateSections);
    EXPECT_EQ(controller.currentView(), views[0].get());
    EXPECT_EQ(controller.currentTag(), QStringLiteral("list"));
}

TEST_F(ControllerTest, ALaterRenderReloadsOnlyWhatItsPatchTouched) {
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple", "Banana"})}, "list"));
    test::ScopedLogCapture log;
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple", "Blueberry"})}, "list",
                        {QJsonObject{{"op", "replace"}, {"path", "/body/0/sections/0/items/1/title"}, {"value", "Blueberry"}}}));
    ASSERT_EQ(views.size(), 1u) << "the same view takes the new model";
    const UpdatesInfo& updates = views[0]->updates.back();
    EXPECT_TRUE(updates.shouldUpdateSections);
    EXPECT_FALSE(updates.shouldReloadActions);
    EXPECT_FALSE(updates.newSelectedItem);
    EXPECT_EQ(views[0]->itemTitles, (QStringList{"Apple", "Blueberry"}));
    EXPECT_TRUE(log->contains(QStringLiteral("Reloaded UI: Sections for `Fruit`")));
    EXPECT_FALSE(log->contains(QStringLiteral("Reloaded UI: Actions Panel")));
}

TEST_F(ControllerTest, ARenderStormAppliesOncePerFrameAndLosesNoReload) {
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple"})}, "list"));
    const int before = controller.appliedRenders();
    for (int i = 0; i < 500; ++i) {
        const QString path = i == 3 ? QStringLiteral("/body/0/actions") : QStringLiteral("/body/0/navigationTitle");
        controller.render(state({listNode("list", "/body/0", QStringLiteral("Fruit %1").arg(i), {"Apple"})}, "list",
                                {QJsonObject{{"op", "replace"}, {"path", path}}}),
                          sender);
    }
    ASSERT_TRUE(waitFor([&] { return controller.appliedRenders() > before; }));
    EXPECT_EQ(controller.receivedRenders(), 501);
    EXPECT_EQ(controller.appliedRenders(), before + 1) << "500 renders in one turn of the loop are one applied render";
    EXPECT_EQ(views[0]->titles.back(), QStringLiteral("Fruit 499")) << "the last tree wins";
    EXPECT_TRUE(views[0]->updates.back().shouldReloadActions) << "an earlier render's reload is kept";
}

TEST_F(ControllerTest, AnotherSelectedViewIsPushedAndBackTellsTheScript) {
    const QJsonArray body{listNode("list", "/body/0", "Fruit", {"Apple"}), listNode("more", "/body/1", "More", {"Kiwi"})};
    renderAndWait(state(body, "list"));
    renderAndWait(state(body, "more", {QJsonObject{{"op", "replace"}, {"path", "/selectedView/value"}}}));
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(controller.stackDepth(), 2u);
    EXPECT_EQ(controller.currentView(), views[1].get());

    EXPECT_TRUE(controller.navigateBack());
    EXPECT_EQ(controller.currentView(), views[0].get());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].handler, QStringLiteral("h-selected-view"));
    EXPECT_EQ(sent[0].data, QJsonValue("list"));
    EXPECT_FALSE(controller.navigateBack()) << "nothing below the first view";
}

TEST_F(ControllerTest, ViewsAreKeptUnderTheirTag) {
    renderAndWait(state({listNode("a", "/body/0", "One", {"x"}, "page")}, "a"));
    renderAndWait(state({listNode("b", "/body/0", "Two", {"y"}, "page")}, "b"));
    EXPECT_EQ(views.size(), 1u) << "a new nodeId under the same tag reuses the view";
    EXPECT_EQ(controller.allTags(), (std::vector<QString>{"page"}));
    EXPECT_EQ(views[0]->titles.back(), QStringLiteral("Two"));
}

TEST_F(ControllerTest, ASelectedViewNotInTheBodyKeepsTheScreen) {
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple"})}, "list"));
    test::ScopedLogCapture log;
    controller.render(state({listNode("list", "/body/0", "Fruit", {"Pear"})}, "nowhere"), sender);
    controller.flush();
    EXPECT_TRUE(log->contains(QStringLiteral("Model is not defined for view: nowhere")));
    EXPECT_EQ(views[0]->itemTitles, (QStringList{"Apple"}));
    EXPECT_FALSE(controller.failure().has_value()) << "the last good screen stays";
}

TEST_F(ControllerTest, AKindThatCannotBeShownFails) {
    QSignalSpy failed(&controller, &CommandViewController::failed);
    const QJsonObject form{{"kind", "formView"}, {"nodeId", "f"}, {"path", "/body/0"}};
    controller.render(state({form}, "f"), sender);
    controller.flush();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(), QStringLiteral("Unsupported model kind 'formView'"));
}

TEST_F(ControllerTest, RenderFailureIsReportedAndTheScreenStays) {
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple"})}, "list"));
    test::ScopedLogCapture log;
    controller.renderFailed(QStringLiteral("Missing property 'title' in listViewItem"));
    EXPECT_EQ(controller.failure(), QStringLiteral("Missing property 'title' in listViewItem"));
    EXPECT_TRUE(log->contains(QStringLiteral("Render error")));
    EXPECT_EQ(views[0]->itemTitles, (QStringList{"Apple"}));
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Pear"})}, "list"));
    EXPECT_FALSE(controller.failure().has_value()) << "a good render clears the failure";
}

TEST_F(ControllerTest, EventsGoToTheirHandlerAndStatusOnlyOnChange) {
    renderAndWait(state({listNode("list", "/body/0", "Fruit", {"Apple"})}, "list"));
    controller.sendEvent(QStringLiteral("h-search"), QJsonValue("app"));
    controller.sendEvent(std::nullopt, QJsonValue("ignored"));
    controller.setStatus(CommandViewModel::Status::background);
    controller.setStatus(CommandViewModel::Status::background);
    controller.setStatus(CommandViewModel::Status::active);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].handler, QStringLiteral("h-search"));
    EXPECT_EQ(sent[0].data, QJsonValue("app"));
    EXPECT_EQ(sent[1].data, QJsonValue("background"));
    EXPECT_EQ(sent[2].data, QJsonValue("active"));
}

}  // namespace
}  // namespace vantrel::extensions::views
