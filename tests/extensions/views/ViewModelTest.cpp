// The typed view trees: what a script's render turns into, and the exact
// messages a broken tree or patch answers with.
#include "extensions/views/ViewModel.h"

#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::extensions::views {
namespace {

QJsonObject parse(const char* json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.object();
}

QJsonObject item(const QString& id, const QString& title, const QString& path) {
    return {{"kind", "listViewItem"}, {"nodeId", id}, {"path", path}, {"title", title}};
}

// A command view holding one list of `count` items in one section.
QJsonObject listTree(int count = 3) {
    QJsonArray items;
    for (int i = 0; i < count; ++i)
        items.append(item(QStringLiteral("i%1").arg(i), QStringLiteral("Item %1").arg(i), QStringLiteral("/body/0/sections/0/items/%1").arg(i)));
    const QJsonObject section{{"kind", "listViewSection"}, {"nodeId", "s0"}, {"path", "/body/0/sections/0"}, {"title", "Fruit"}, {"items", items}};
    const QJsonObject list{{"kind", "listView"}, {"nodeId", "list"}, {"path", "/body/0"}, {"navigationTitle", "Fruit"},
                           {"onSearchTextChange", "h-search"}, {"sections", QJsonArray{section}}};
    return {{"kind", "commandView"}, {"nodeId", "root"}, {"path", ""}, {"body", QJsonArray{list}},
            {"selectedView", QJsonObject{{"value", "list"}, {"id", "h-view"}}}};
}

QJsonObject render(const QJsonObject& model, const QJsonArray& patch = {}) { return {{"model", model}, {"patch", patch}}; }

QString buildError(const QJsonObject& arguments) {
    try {
        VantrelViewState::build(arguments, QUrl());
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
    return QStringLiteral("(built)");
}

// Replaces a value deep inside a tree: keys are object keys or array indexes.
QJsonValue edited(const QJsonValue& value, QStringList keys, const QJsonValue& replacement, bool remove = false) {
    if (keys.isEmpty()) return replacement;
    const QString key = keys.takeFirst();
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        const int index = key.toInt();
        if (keys.isEmpty() && remove) {
            array.removeAt(index);
        } else {
            array[index] = edited(array[index], keys, replacement, remove);
        }
        return array;
    }
    QJsonObject object = value.toObject();
    if (keys.isEmpty() && remove) {
        object.remove(key);
    } else {
        object[key] = edited(object.value(key), keys, replacement, remove);
    }
    return object;
}

QJsonObject without(const QJsonObject& tree, const QString& path) {
    return edited(tree, path.split('/', Qt::SkipEmptyParts), {}, true).toObject();
}
QJsonObject with(const QJsonObject& tree, const QString& path, const QJsonValue& value) {
    return edited(tree, path.split('/', Qt::SkipEmptyParts), value).toObject();
}

TEST(ViewModelBuild, AListOfThreeItemsBecomesTypedModels) {
    const VantrelViewState state = VantrelViewState::build(render(listTree()), QUrl());
    ASSERT_EQ(state.model.body.size(), 1u);
    const ViewModel* selected = state.model.selected();
    ASSERT_NE(selected, nullptr);
    const auto& list = std::get<ListViewModel>(*selected);
    EXPECT_EQ(list.navigationTitle, QStringLiteral("Fruit"));
    EXPECT_EQ(list.onSearchTextChange, QStringLiteral("h-search"));
    ASSERT_EQ(list.sections.size(), 1u);
    ASSERT_EQ(list.sections[0].items.size(), 3u);
    EXPECT_EQ(list.sections[0].items[2].title, QStringLiteral("Item 2"));
    EXPECT_EQ(list.sections[0].items[2].node.path, QStringLiteral("/body/0/sections/0/items/2"));
    EXPECT_EQ(state.model.selectedView.id, QStringLiteral("h-view"));
}

TEST(ViewModelBuild, DefaultsOfEveryViewKind) {
    const VantrelViewState state = VantrelViewState::build(render(listTree()), QUrl());
    const auto& list = std::get<ListViewModel>(state.model.body[0]);
    EXPECT_FALSE(list.isLoading);
    EXPECT_FALSE(list.searchBarHidden);
    EXPECT_FALSE(list.throttlingEnabled);
    EXPECT_FALSE(list.selectedItemId.has_value());

    const QJsonObject form = parse(R"({"kind":"formView","nodeId":"f","path":"/body/0","items":[
        {"kind":"formViewTextField","nodeId":"name","path":"/body/0/items/0"},
        {"kind":"formViewCheckbox","nodeId":"ok","path":"/body/0/items/1","checkboxTitle":"Agree"},
        {"kind":"formViewSeparator","nodeId":"sep","path":"/body/0/items/2"}]})");
    const auto model = std::get<FormViewModel>(ViewModelFactory::createView(form));
    EXPECT_EQ(model.submitTitle, QStringLiteral("Submit"));
    ASSERT_EQ(model.items.size(), 3u);
    EXPECT_FALSE(model.items[0].storeValue);
    EXPECT_TRUE(model.items[0].value.isUndefined());
    EXPECT_EQ(model.items[1].checkboxTitle, QStringLiteral("Agree"));
    EXPECT_EQ(model.items[2].node.kind, ViewModelKind::formViewSeparator);
}

TEST(ViewModelBuild, EveryFormItemKindWithItsProperties) {
    const QJsonObject form = parse(R"({"kind":"formView","nodeId":"f","path":"/body/0","submitTitle":"Send","onSubmit":"h-submit",
      "items":[
        {"kind":"formViewTextField","nodeId":"a","path":"/p","title":"Name","placeholder":"Ada","storeValue":true,"value":"x"},
        {"kind":"formViewTextArea","nodeId":"b","path":"/p","value":"long"},
        {"kind":"formViewCheckbox","nodeId":"c","path":"/p","checkboxTitle":"On","value":true,"onChange":"h-c"},
        {"kind":"formViewDropdown","nodeId":"d","path":"/p","value":"red","menu":"h-menu","menuFilterType":"custom"},
        {"kind":"formViewButton","nodeId":"e","path":"/p","buttonTitle":"Go","description":"Runs it","onAction":"h-go"},
        {"kind":"formViewTokenEditor","nodeId":"g","path":"/p","value":[{"id":"t1","title":"One","style":{"badgeColor":"red"}}],
         "suggestions":"h-sugg"},
        {"kind":"formViewDatePicker","nodeId":"h","path":"/p","value":"2026-12-06","dateFormat":"yyyy-MM-dd"}]})");
    const auto model = std::get<FormViewModel>(ViewModelFactory::createView(form));
    EXPECT_EQ(model.submitTitle, QStringLiteral("Send"));
    EXPECT_EQ(model.onSubmit, QStringLiteral("h-submit"));
    EXPECT_TRUE(model.items[0].storeValue);
    EXPECT_EQ(model.items[0].placeholder, QStringLiteral("Ada"));
    EXPECT_EQ(model.items[2].value, QJsonValue(true));
    EXPECT_EQ(model.items[2].onChange, QStringLiteral("h-c"));
    EXPECT_EQ(model.items[3].menuFilterType, MenuFilterBehaviour::custom);
    EXPECT_EQ(model.items[4].buttonTitle, QStringLiteral("Go"));
    EXPECT_EQ(model.items[4].onAction, QStringLiteral("h-go"));
    ASSERT_EQ(model.items[5].tokens.size(), 1u);
    EXPECT_EQ(model.items[5].tokens[0].badgeColor, QStringLiteral("red"));
    EXPECT_EQ(model.items[6].dateFormat, QStringLiteral("yyyy-MM-dd"));
}

TEST(ViewModelBuild, ActionPanelsWithShortcutsAndSubmenus) {
    QJsonObject tree = listTree(1);
    tree = with(tree, "body/0/sections/0/items/0/actions", parse(R"({"title":"Item","sections":[{"title":"Main","items":[
        {"id":"open","title":"Open","onAction":"h-open","shortcut":{"modifiers":["ctrl","shift"],"key":"o"}},
        {"title":"More","submenu":"h-sub","submenuFilterType":"custom"}]}]})"));
    const VantrelViewState state = VantrelViewState::build(render(tree), QUrl());
    const auto& actions = *std::get<ListViewModel>(state.model.body[0]).sections[0].items[0].actions;
    EXPECT_EQ(actions.title, QStringLiteral("Item"));
    ASSERT_EQ(actions.sections[0].items.size(), 2u);
    const ActionItemViewModel& open = actions.sections[0].items[0];
    EXPECT_EQ(open.id, QStringLiteral("open"));
    ASSERT_TRUE(open.shortcut.has_value());
    EXPECT_EQ(open.shortcut->modifiers, (QStringList{"ctrl", "shift"}));
    EXPECT_EQ(open.shortcut->key, QStringLiteral("o"));
    EXPECT_EQ(actions.sections[0].items[1].submenuFilterType, MenuFilterBehaviour::custom);
}

TEST(ViewModelBuild, ImagesResolveInsideTheAssetsFolderOnly) {
    QTemporaryDir package;
    ASSERT_TRUE(QDir(package.path()).mkpath("assets"));
    QFile icon(package.filePath("assets/icon.png"));
    ASSERT_TRUE(icon.open(QIODevice::WriteOnly));
    icon.write("png");
    icon.close();
    QFile secret(package.filePath("secret.png"));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.close();
    const QUrl assets = QUrl::fromLocalFile(package.filePath("assets"));

    QJsonObject tree = listTree(3);
    tree = with(tree, "body/0/sections/0/items/0/icon", parse(R"({"imageData":"icon.png","options":{"mask":"circle"}})"));
    tree = with(tree, "body/0/sections/0/items/1/icon", QJsonValue("../secret.png"));
    tree = with(tree, "body/0/sections/0/items/2/icon", QJsonValue("missing.png"));
    const VantrelViewState state = VantrelViewState::build(render(tree), assets);
    const auto& items = std::get<ListViewModel>(state.model.body[0]).sections[0].items;
    EXPECT_EQ(state.model.node.assetURL, assets) << "the launcher adds the assets folder to the root";
    EXPECT_EQ(items[0].node.assetURL, assets) << "and every node inherits it";
    EXPECT_EQ(items[0].icon->lightSource, package.filePath("assets/icon.png"));
    EXPECT_EQ(items[0].icon->darkSource, package.filePath("assets/icon.png"));
    EXPECT_EQ(items[0].icon->mask, CommandImage::Mask::circle);
    EXPECT_TRUE(items[1].icon->lightSource.isEmpty()) << "a name leaving the assets folder names no image";
    EXPECT_TRUE(items[2].icon->lightSource.isEmpty());
}

TEST(ViewModelBuild, ANodesOwnAssetURLWinsOverTheInheritedOne) {
    QJsonObject tree = with(listTree(1), "body/0/assetURL", QJsonValue("/elsewhere/assets"));
    const VantrelViewState state = VantrelViewState::build(render(tree), QUrl::fromLocalFile("/pkg/assets"));
    const auto& list = std::get<ListViewModel>(state.model.body[0]);
    EXPECT_EQ(list.node.assetURL, QUrl::fromLocalFile("/elsewhere/assets"));
    EXPECT_EQ(list.sections[0].items[0].node.assetURL, QUrl::fromLocalFile("/elsewhere/assets"));
}

// Bad trees: the exact messages the script gets back.
struct BadTree {
    const char* name;
    std::function<QJsonObject()> arguments;
    const char* message;
};

class ViewModelBadInput : public ::testing::TestWithParam<BadTree> {};

TEST_P(ViewModelBadInput, AnswersWithItsMessage) { EXPECT_EQ(buildError(GetParam().arguments()), QString::fromUtf8(GetParam().message)); }

INSTANTIATE_TEST_SUITE_P(
    Messages, ViewModelBadInput,
    ::testing::Values(
        BadTree{"NoModel", [] { return QJsonObject{{"patch", QJsonArray{}}}; }, "Missing view"},
        BadTree{"NoPatch", [] { return QJsonObject{{"model", listTree()}}; }, "Missing patch"},
        BadTree{"PatchNotAnArray", [] { return QJsonObject{{"model", listTree()}, {"patch", "add"}}; }, "Missing patch"},
        BadTree{"ItemWithoutTitle", [] { return render(without(listTree(), "body/0/sections/0/items/1/title")); },
                "Missing property 'title' in listViewItem"},
        BadTree{"ItemTitleNotAString", [] { return render(with(listTree(), "body/0/sections/0/items/1/title", 42)); },
                "Missing property 'title' in listViewItem"},
        BadTree{"ItemWithoutKind", [] { return render(without(listTree(), "body/0/sections/0/items/0/kind")); },
                "Missing property 'kind' in listViewItem"},
        BadTree{"ItemWithoutNodeId", [] { return render(without(listTree(), "body/0/sections/0/items/0/nodeId")); },
                "Missing property 'nodeId' in listViewItem"},
        BadTree{"ListWithoutPath", [] { return render(without(listTree(), "body/0/path")); }, "Missing property 'path' in listView"},
        BadTree{"RootWithoutNodeId", [] { return render(without(listTree(), "nodeId")); }, "Missing property 'nodeId' in commandView"},
        BadTree{"RootWithoutBody", [] { return render(without(listTree(), "body")); }, "Missing property 'body' in commandView"},
        BadTree{"RootWithoutSelectedView", [] { return render(without(listTree(), "selectedView")); },
                "Missing property 'selectedView' in commandView"},
        BadTree{"UnknownKind", [] { return render(with(listTree(), "body/0/sections/0/items/0/kind", "gridItem")); },
                "Unknown view kind 'gridItem'"},
        BadTree{"KindInTheWrongPlace", [] { return render(with(listTree(), "body/0/kind", "listViewItem")); },
                "Unsupported model kind 'listViewItem'"},
        BadTree{"RootOfAnotherKind", [] { return render(with(listTree(), "kind", "listView")); }, "Unsupported model kind 'listView'"},
        BadTree{"IsLoadingNotABoolean", [] { return render(with(listTree(), "body/0/isLoading", "yes")); },
                "Missing property 'isLoading' in listView"},
        BadTree{"SectionsNotAnArray", [] { return render(with(listTree(), "body/0/sections", QJsonObject{})); },
                "Missing property 'sections' in listView"},
        BadTree{"ActionWithoutTitle",
                [] {
                    return render(with(listTree(), "body/0/actions", parse(R"({"sections":[{"items":[{"onAction":"x"}]}]})")));
                },
                "Missing property 'title' in actionItem"},
        BadTree{"CheckboxWithoutCheckboxTitle",
                [] {
                    return render(parse(R"({"kind":"commandView","nodeId":"r","path":"","selectedView":{"value":"f","id":"h"},
                        "body":[{"kind":"formView","nodeId":"f","path":"/body/0","items":[
                        {"kind":"formViewCheckbox","nodeId":"c","path":"/body/0/items/0"}]}]})"));
                },
                "Missing property 'checkboxTitle' in formViewCheckbox"},
        BadTree{"DateThatDoesNotParse",
                [] {
                    return render(parse(R"({"kind":"commandView","nodeId":"r","path":"","selectedView":{"value":"f","id":"h"},
                        "body":[{"kind":"formView","nodeId":"f","path":"/body/0","items":[
                        {"kind":"formViewDatePicker","nodeId":"d","path":"/body/0/items/0","value":"yesterday-ish",
                         "dateFormat":"yyyy-MM-dd"}]}]})"));
                },
                "Wrond date format"},
        BadTree{"UnknownPatchOp",
                [] { return render(listTree(), QJsonArray{QJsonObject{{"op", "test"}, {"path", "/body/0"}}}); },
                "Unknown view patch operation 'test'"},
        BadTree{"PatchWithoutPath", [] { return render(listTree(), QJsonArray{QJsonObject{{"op", "add"}}}); },
                R"(Incomplete view patch data {"op":"add"})"},
        BadTree{"PatchWithoutOp", [] { return render(listTree(), QJsonArray{QJsonObject{{"path", "/x"}}}); },
                R"(Incomplete view patch data {"path":"/x"})"},
        BadTree{"PatchOperationNotAnObject", [] { return render(listTree(), QJsonArray{7}); }, "Incomplete view patch data 7"}),
    [](const ::testing::TestParamInfo<BadTree>& tree) { return std::string(tree.param.name); });

TEST(ViewPatch, OperationNamesMapToSingleFlags) {
    EXPECT_EQ(ViewPatchKind::fromName("add"), 1);
    EXPECT_EQ(ViewPatchKind::fromName("remove"), 2);
    EXPECT_EQ(ViewPatchKind::fromName("replace"), 4);
    EXPECT_EQ(ViewPatchKind::fromName("move"), 8);
    EXPECT_EQ(ViewPatchKind::fromName("copy"), 16);
    EXPECT_EQ(ViewPatchKind::all, 31);
    EXPECT_FALSE(ViewPatchKind::fromName("Add").has_value());
    const auto operation = ViewPatchOperation::fromJson(parse(R"({"op":"replace","path":"/a/b","value":{"x":1}})"));
    EXPECT_EQ(operation.kind, ViewPatchKind::replace);
    EXPECT_EQ(operation.path, QStringLiteral("/a/b"));
    ASSERT_TRUE(operation.value.has_value());
    EXPECT_EQ(operation.value->toObject().value("x"), QJsonValue(1));
}

UpdatesInfo listUpdates(const QJsonArray& patch) {
    return std::get<ListViewModel>(VantrelViewState::build(render(listTree(), patch), QUrl()).model.body[0]).updates;
}

TEST(ViewPatch, ATitleChangeInASectionReloadsOnlyTheSections) {
    UpdatesInfo expected;
    expected.shouldUpdateSections = true;
    EXPECT_EQ(listUpdates({QJsonObject{{"op", "replace"}, {"path", "/body/0/sections/1/items/0/title"}, {"value", "New"}}}), expected);
}

TEST(ViewPatch, EachListPartHasItsFlag) {
    UpdatesInfo actions;
    actions.shouldReloadActions = true;
    EXPECT_EQ(listUpdates({QJsonObject{{"op", "add"}, {"path", "/body/0/actions/sections/0"}}}), actions);
    UpdatesInfo selection;
    selection.newSelectedItem = true;
    EXPECT_EQ(listUpdates({QJsonObject{{"op", "replace"}, {"path", "/body/0/selectedItemId/value"}}}), selection);
    EXPECT_EQ(listUpdates({QJsonObject{{"op", "replace"}, {"path", "/body/1/sections/0/items/0/title"}}}), UpdatesInfo{})
        << "another view's change is not this list's";
}

TEST(ViewPatch, TouchingSelectedViewReloadsEverythingOfTheView) {
    const UpdatesInfo updates = listUpdates({QJsonObject{{"op", "replace"}, {"path", "/selectedView/value"}}});
    EXPECT_TRUE(updates.newSelectedView);
    EXPECT_TRUE(updates.newSelectedItem);
    EXPECT_TRUE(updates.shouldUpdateSections);
    EXPECT_TRUE(updates.shouldReloadActions);
}

TEST(ViewPatch, AnEmptyPatchReloadsNothing) { EXPECT_EQ(listUpdates({}), UpdatesInfo{}); }

TEST(ViewPatch, DetailAndFormFlags) {
    const QJsonObject tree = parse(R"({"kind":"commandView","nodeId":"r","path":"","selectedView":{"value":"d","id":"h"},
        "body":[{"kind":"detailView","nodeId":"d","path":"/body/0","markdown":"# Hi"},
                {"kind":"formView","nodeId":"f","path":"/body/1","items":[]}]})");
    const VantrelViewState state = VantrelViewState::build(
        render(tree, {QJsonObject{{"op", "replace"}, {"path", "/body/0/markdown"}}, QJsonObject{{"op", "add"}, {"path", "/body/1/items/0"}}}),
        QUrl());
    EXPECT_TRUE(std::get<DetailViewModel>(state.model.body[0]).updates.shouldUpdateMarkdown);
    EXPECT_TRUE(std::get<FormViewModel>(state.model.body[1]).updates.shouldReloadItems);
    EXPECT_FALSE(std::get<FormViewModel>(state.model.body[1]).updates.newSelectedView);
}

TEST(ViewPatch, MergedPatchesKeepTheFlagsOfEveryRender) {
    VantrelViewState first = VantrelViewState::build(
        render(listTree(), {QJsonObject{{"op", "replace"}, {"path", "/body/0/sections/0/items/0/title"}}}), QUrl());
    VantrelViewState second =
        VantrelViewState::build(render(listTree(), {QJsonObject{{"op", "replace"}, {"path", "/body/0/actions"}}}), QUrl());
    ViewModelPatch merged = first.patch;
    merged.append(second.patch);
    second.setPatch(merged);
    const UpdatesInfo& updates = std::get<ListViewModel>(second.model.body[0]).updates;
    EXPECT_TRUE(updates.shouldUpdateSections);
    EXPECT_TRUE(updates.shouldReloadActions);
}

TEST(ViewModelDescribe, NamesKindsAndTitles) {
    const QJsonObject described = describe(VantrelViewState::build(render(listTree()), QUrl()).model);
    EXPECT_EQ(described.value("kind"), QJsonValue("commandView"));
    const QJsonObject list = described.value("body").toArray().at(0).toObject();
    EXPECT_EQ(list.value("kind"), QJsonValue("listView"));
    const QJsonArray items = list.value("sections").toArray().at(0).toObject().value("items").toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items.at(1).toObject().value("title"), QJsonValue("Item 1"));
    EXPECT_EQ(items.at(1).toObject().value("kind"), QJsonValue("listViewItem"));
}

TEST(ActionPanelAnswer, WithoutSectionsIsRefused) {
    try {
        ActionPanelViewModel::fromJson(QJsonObject{{"title", "Menu"}}, std::nullopt);
        FAIL() << "built";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Action sections hasn't been provided"));
    }
}

}  // namespace
}  // namespace vantrel::extensions::views
