#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

// The typed form of the tree an extension command renders: what its script
// sends with "ui"/"render" (a "commandView" root and the JSON-Patch that
// produced it), checked and turned into value records. Pure code: no widgets,
// no threads; building throws VantrelError with the message the script gets.
namespace vantrel::extensions::views {

enum class ViewModelKind {
    commandView,
    listView,
    listViewSection,
    listViewItem,
    detailView,
    formView,
    formViewTextField,
    formViewTextArea,
    formViewCheckbox,
    formViewDropdown,
    formViewButton,
    formViewSeparator,
    formViewTokenEditor,
    formViewDatePicker,
};
QString kindName(ViewModelKind kind);
std::optional<ViewModelKind> kindFromName(const QString& name);
bool isFormItemKind(ViewModelKind kind);

// One operation of the patch; kind is one flag of ViewPatchKind.
struct ViewPatchKind {
    static constexpr std::int64_t add = 1;
    static constexpr std::int64_t remove = 2;
    static constexpr std::int64_t replace = 4;
    static constexpr std::int64_t move = 8;
    static constexpr std::int64_t copy = 16;
    static constexpr std::int64_t all = 31;
    // "add" → 1 … "copy" → 16; nullopt for any other name.
    static std::optional<std::int64_t> fromName(const QString& name);
};

struct ViewPatchOperation {
    std::int64_t kind = ViewPatchKind::add;
    QString path;
    std::optional<QJsonValue> value;

    // "Incomplete view patch data …" without "op" or "path",
    // "Unknown view patch operation '…'" for another op.
    static ViewPatchOperation fromJson(const QJsonValue& json);
};

struct ViewModelPatch {
    std::vector<ViewPatchOperation> operations;

    static ViewModelPatch fromJson(const QJsonValue& json);
    // Whether an operation of one of `kinds` has a path containing `text`.
    bool touches(const QString& text, std::int64_t kinds = ViewPatchKind::all) const;
    // This patch followed by `later` (renders applied together).
    void append(const ViewModelPatch& later);
};

// What every node carries. assetURL is inherited from the parent when absent.
struct ViewModelNode {
    ViewModelKind kind = ViewModelKind::commandView;
    QString id;
    QString path;
    std::optional<QString> tag;
    std::optional<QUrl> assetURL;
};

// An image named by the script: a file of the package's assets folder (or an
// http(s) link), one for the light and one for the dark appearance.
struct CommandImage {
    enum class Mask { undefined, circle, roundedRectangle };
    std::optional<QString> imageData;
    std::optional<QString> darkImageData;
    Mask mask = Mask::undefined;
    // The files resolved against the node's assets folder; empty when the
    // name is empty, leaves the folder or the file is not there.
    QString lightSource;
    QString darkSource;
};

struct KeyboardShortcut {
    QStringList modifiers;  // "cmd", "ctrl", "opt"/"alt", "shift"
    QString key;
};

enum class MenuFilterBehaviour { defaultFilter, custom };

struct ActionItemViewModel {
    std::optional<QString> id;
    QString title;
    std::optional<CommandImage> icon;
    std::optional<KeyboardShortcut> shortcut;
    std::optional<QString> onAction;
    std::optional<QString> submenu;
    MenuFilterBehaviour submenuFilterType = MenuFilterBehaviour::defaultFilter;
};

struct ActionSectionViewModel {
    std::optional<QString> title;
    std::vector<ActionItemViewModel> items;
};

struct ActionPanelViewModel {
    std::optional<QString> title;
    std::vector<ActionSectionViewModel> sections;

    // "Action sections hasn't been provided" for an answer without sections.
    static ActionPanelViewModel fromJson(const QJsonValue& json, const std::optional<QUrl>& assetURL);
    bool isEmpty() const;
};

// Which views and parts a render asks to reload (from the patch).
struct UpdatesInfo {
    bool newSelectedView = false;
    // list
    bool newSelectedItem = false;
    bool shouldUpdateSections = false;
    bool shouldReloadActions = false;
    // detail
    bool shouldUpdateMarkdown = false;
    // form
    bool shouldReloadItems = false;

    bool operator==(const UpdatesInfo&) const = default;
};

struct ListViewItemModel {
    ViewModelNode node;
    QString title;
    std::optional<QString> subtitle;
    std::optional<QString> accessoryTitle;
    std::optional<CommandImage> icon;
    std::optional<CommandImage> accessoryIcon;
    std::optional<QString> index;
    std::optional<ActionPanelViewModel> actions;
};

struct ListSectionViewModel {
    ViewModelNode node;
    std::optional<QString> title;
    std::optional<QString> subtitle;
    std::vector<ListViewItemModel> items;
};

// "selectedItemId" / "selectedView": the value shown and the handler told
// when the launcher changes it.
struct SelectionBinding {
    std::optional<QString> value;
    QString id;
};

struct ListViewModel {
    ViewModelNode node;
    std::optional<QString> navigationTitle;
    bool isLoading = false;
    bool searchBarHidden = false;
    std::optional<QString> searchBarPlaceholder;
    std::optional<QString> onSearchTextChange;
    bool throttlingEnabled = false;
    std::optional<ActionPanelViewModel> actions;
    std::vector<ListSectionViewModel> sections;
    std::optional<SelectionBinding> selectedItemId;
    std::optional<QString> onSelectItem;
    UpdatesInfo updates;

    // Search-text events pass a throttler of this interval when throttlingEnabled.
    static constexpr int throttleMilliseconds = 250;
};

struct DetailViewModel {
    ViewModelNode node;
    std::optional<QString> navigationTitle;
    bool isLoading = false;
    std::optional<ActionPanelViewModel> actions;
    std::optional<QString> markdown;
    UpdatesInfo updates;
};

struct TokenValue {
    QString id;
    QString title;
    std::optional<QString> badgeColor;
    std::optional<CommandImage> icon;
};

// One form item; which fields mean something depends on node.kind.
struct FormItemViewModel {
    ViewModelNode node;
    std::optional<QString> title;
    std::optional<QString> placeholder;
    bool storeValue = false;
    // text field/area, dropdown, date picker: a string; checkbox: a boolean;
    // token editor: an array of token values. Undefined when not given.
    QJsonValue value{QJsonValue::Undefined};
    std::vector<TokenValue> tokens;  // token editor: `value`, typed
    QString checkboxTitle;           // checkbox (required)
    std::optional<QString> onChange;  // checkbox
    std::optional<QString> menu;      // dropdown
    MenuFilterBehaviour menuFilterType = MenuFilterBehaviour::defaultFilter;
    QString buttonTitle;  // button (required)
    std::optional<QString> description;
    std::optional<QString> onAction;     // button
    std::optional<QString> suggestions;  // token editor
    std::optional<QString> dateFormat;   // date picker: the format of `value`
};

struct FormViewModel {
    ViewModelNode node;
    std::optional<QString> navigationTitle;
    bool isLoading = false;
    std::optional<ActionPanelViewModel> actions;
    QString submitTitle = QStringLiteral("Submit");
    std::vector<FormItemViewModel> items;
    std::optional<QString> onSubmit;
    UpdatesInfo updates;
};

using ViewModel = std::variant<ListViewModel, DetailViewModel, FormViewModel>;
const ViewModelNode& nodeOf(const ViewModel& model);
// The navigation title, or "" when the view has none.
QString titleOf(const ViewModel& model);
bool isLoadingOf(const ViewModel& model);
const std::optional<ActionPanelViewModel>& actionsOf(const ViewModel& model);
const UpdatesInfo& updatesOf(const ViewModel& model);

struct CommandViewModel {
    enum class Status { active, background };
    ViewModelNode node;
    std::vector<ViewModel> body;
    SelectionBinding selectedView;  // value: the nodeId of the view to show
    std::optional<QString> onStatusChange;

    // The body view whose nodeId is selectedView.value; null when none is.
    const ViewModel* selected() const;
};
QString statusName(CommandViewModel::Status status);

// Builds typed models from node objects, recursively, by "kind".
class ViewModelFactory {
public:
    // The root ("commandView"); assetURL is what nodes without their own inherit.
    static CommandViewModel createCommandView(const QJsonValue& node, const std::optional<QUrl>& assetURL = std::nullopt);
    static ViewModel createView(const QJsonValue& node, const std::optional<QUrl>& assetURL = std::nullopt);
    static FormItemViewModel createFormItem(const QJsonValue& node, const std::optional<QUrl>& assetURL = std::nullopt);
    static CommandImage createImage(const QJsonValue& json, const std::optional<QUrl>& assetURL);
    static TokenValue createTokenValue(const QJsonValue& json, const std::optional<QUrl>& assetURL);
};

// The change flags of a view whose node path is `path`, from the patch.
UpdatesInfo updatesFor(ViewModelKind kind, const QString& path, const ViewModelPatch& patch);

// One render: the typed tree and its patch, with every view's flags set.
struct VantrelViewState {
    CommandViewModel model;
    ViewModelPatch patch;

    // arguments: {"model": root node, "patch": [operations]}. "Missing view",
    // "Missing patch", then the factory's and the patch's messages.
    // assetURL: the package's assets folder, added to the root when absent.
    static VantrelViewState build(const QJsonObject& arguments, const QUrl& assetURL);
    // Recomputes every view's flags from `patch` (after patches were merged).
    void setPatch(ViewModelPatch merged);
};

// The typed model as JSON for people and tests: kinds, ids, titles, items.
QJsonObject describe(const CommandViewModel& model);
QJsonObject describe(const ViewModel& model);

}  // namespace vantrel::extensions::views
