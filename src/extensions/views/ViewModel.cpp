#include "extensions/views/ViewModel.h"

#include "kit/VantrelError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <array>
#include <initializer_list>

namespace vantrel::extensions::views {

namespace {

constexpr std::array<const char*, 14> kKindNames{
    "commandView",       "listView",          "listViewSection",  "listViewItem",        "detailView",
    "formView",          "formViewTextField", "formViewTextArea", "formViewCheckbox",    "formViewDropdown",
    "formViewButton",    "formViewSeparator", "formViewTokenEditor", "formViewDatePicker",
};

[[noreturn]] void missingProperty(const QString& name, const QString& owner) {
    throw VantrelError(QStringLiteral("Missing property '") + name + QStringLiteral("' in ") + owner);
}

bool absent(const QJsonValue& value) { return value.isUndefined() || value.isNull(); }

// Reads the properties of one object; a property of the wrong type is
// reported like a missing one, so the script learns which one to fix.
class Reader {
public:
    Reader(QJsonObject object, QString owner) : m_object(std::move(object)), m_owner(std::move(owner)) {}

    const QJsonObject& object() const { return m_object; }
    const QString& owner() const { return m_owner; }
    QJsonValue raw(const QString& name) const { return m_object.value(name); }

    std::optional<QString> optionalString(const QString& name) const {
        const QJsonValue value = m_object.value(name);
        if (absent(value)) return std::nullopt;
        if (!value.isString()) missingProperty(name, m_owner);
        return value.toString();
    }
    QString string(const QString& name) const {
        const auto value = optionalString(name);
        if (!value) missingProperty(name, m_owner);
        return *value;
    }
    bool boolean(const QString& name, bool fallback) const {
        const QJsonValue value = m_object.value(name);
        if (absent(value)) return fallback;
        if (!value.isBool()) missingProperty(name, m_owner);
        return value.toBool();
    }
    QJsonArray array(const QString& name, bool required) const {
        const QJsonValue value = m_object.value(name);
        if (absent(value)) {
            if (required) missingProperty(name, m_owner);
            return {};
        }
        if (!value.isArray()) missingProperty(name, m_owner);
        return value.toArray();
    }
    std::optional<QJsonObject> optionalObject(const QString& name) const {
        const QJsonValue value = m_object.value(name);
        if (absent(value)) return std::nullopt;
        if (!value.isObject()) missingProperty(name, m_owner);
        return value.toObject();
    }

private:
    QJsonObject m_object;
    QString m_owner;
};

std::optional<QUrl> assetURLFrom(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    if (text.startsWith(QLatin1String("file:"))) return QUrl(text);
    return QUrl::fromLocalFile(text);
}

// A file name inside the assets folder; links pass as they are.
QString resolveAsset(const std::optional<QString>& name, const std::optional<QUrl>& assetURL) {
    if (!name || name->isEmpty()) return {};
    if (name->startsWith(QLatin1String("http://")) || name->startsWith(QLatin1String("https://"))) return *name;
    if (!assetURL || !assetURL->isLocalFile()) return {};
    const QString folder = QDir::cleanPath(assetURL->toLocalFile());
    const QString path = QDir::cleanPath(folder + QLatin1Char('/') + *name);
    if (!path.startsWith(folder + QLatin1Char('/'))) return {};
    if (!QFileInfo(path).isFile()) return {};
    return path;
}

MenuFilterBehaviour filterBehaviour(const Reader& reader, const QString& name) {
    const auto value = reader.optionalString(name);
    if (!value || *value == QLatin1String("default")) return MenuFilterBehaviour::defaultFilter;
    if (*value == QLatin1String("custom")) return MenuFilterBehaviour::custom;
    missingProperty(name, reader.owner());
}

std::optional<CommandImage> imageProperty(const Reader& reader, const QString& name, const std::optional<QUrl>& assetURL) {
    const QJsonValue value = reader.raw(name);
    if (absent(value)) return std::nullopt;
    if (!value.isObject() && !value.isString()) missingProperty(name, reader.owner());
    return ViewModelFactory::createImage(value, assetURL);
}

ActionPanelViewModel actionPanel(const QJsonObject& object, const std::optional<QUrl>& assetURL, const QString& missingSections) {
    const Reader reader(object, QStringLiteral("actionPanel"));
    ActionPanelViewModel panel;
    panel.title = reader.optionalString(QStringLiteral("title"));
    const QJsonValue sections = object.value(QStringLiteral("sections"));
    if (absent(sections)) {
        if (!missingSections.isEmpty()) throw VantrelError(missingSections);
        return panel;
    }
    if (!sections.isArray()) missingProperty(QStringLiteral("sections"), reader.owner());
    for (const QJsonValue& sectionJson : sections.toArray()) {
        if (!sectionJson.isObject()) missingProperty(QStringLiteral("items"), QStringLiteral("actionSection"));
        const Reader sectionReader(sectionJson.toObject(), QStringLiteral("actionSection"));
        ActionSectionViewModel section;
        section.title = sectionReader.optionalString(QStringLiteral("title"));
        for (const QJsonValue& itemJson : sectionReader.array(QStringLiteral("items"), false)) {
            if (!itemJson.isObject()) missingProperty(QStringLiteral("title"), QStringLiteral("actionItem"));
            const Reader itemReader(itemJson.toObject(), QStringLiteral("actionItem"));
            ActionItemViewModel item;
            item.id = itemReader.optionalString(QStringLiteral("id"));
            item.title = itemReader.string(QStringLiteral("title"));
            item.icon = imageProperty(itemReader, QStringLiteral("icon"), assetURL);
            if (const auto shortcut = itemReader.optionalObject(QStringLiteral("shortcut"))) {
                const Reader shortcutReader(*shortcut, QStringLiteral("shortcut"));
                KeyboardShortcut parsed;
                parsed.key = shortcutReader.string(QStringLiteral("key"));
                for (const QJsonValue& modifier : shortcutReader.array(QStringLiteral("modifiers"), false)) {
                    if (!modifier.isString()) missingProperty(QStringLiteral("modifiers"), QStringLiteral("shortcut"));
                    parsed.modifiers << modifier.toString();
                }
                item.shortcut = parsed;
            }
            item.onAction = itemReader.optionalString(QStringLiteral("onAction"));
            item.submenu = itemReader.optionalString(QStringLiteral("submenu"));
            item.submenuFilterType = filterBehaviour(itemReader, QStringLiteral("submenuFilterType"));
            section.items.push_back(std::move(item));
        }
        panel.sections.push_back(std::move(section));
    }
    return panel;
}

std::optional<ActionPanelViewModel> actionsProperty(const Reader& reader, const std::optional<QUrl>& assetURL) {
    const auto object = reader.optionalObject(QStringLiteral("actions"));
    if (!object) return std::nullopt;
    return actionPanel(*object, assetURL, {});
}

std::optional<SelectionBinding> bindingProperty(const Reader& reader, const QString& name, bool valueRequired) {
    const auto object = reader.optionalObject(name);
    if (!object) return std::nullopt;
    const QJsonValue id = object->value(QStringLiteral("id"));
    const QJsonValue value = object->value(QStringLiteral("value"));
    if (!id.isString() || (!absent(value) && !value.isString()) || (valueRequired && !value.isString()))
        missingProperty(name, reader.owner());
    SelectionBinding binding;
    binding.id = id.toString();
    if (value.isString()) binding.value = value.toString();
    return binding;
}

// The header of a node whose kind must be one of `allowed`.
ViewModelNode readNode(const QJsonValue& json, std::initializer_list<ViewModelKind> allowed, const QString& slot,
                       const std::optional<QUrl>& inherited) {
    if (!json.isObject()) missingProperty(QStringLiteral("kind"), slot);
    const QJsonObject object = json.toObject();
    const QJsonValue kindValue = object.value(QStringLiteral("kind"));
    if (!kindValue.isString()) missingProperty(QStringLiteral("kind"), slot);
    const auto kind = kindFromName(kindValue.toString());
    if (!kind) throw VantrelError(QStringLiteral("Unknown view kind '") + kindValue.toString() + QLatin1Char('\''));
    bool fits = false;
    for (ViewModelKind candidate : allowed) fits = fits || candidate == *kind;
    if (!fits) throw VantrelError(QStringLiteral("Unsupported model kind '") + kindValue.toString() + QLatin1Char('\''));
    const Reader reader(object, kindValue.toString());
    ViewModelNode node;
    node.kind = *kind;
    node.id = reader.string(QStringLiteral("nodeId"));
    node.path = reader.string(QStringLiteral("path"));
    node.tag = reader.optionalString(QStringLiteral("tag"));
    const auto asset = reader.optionalString(QStringLiteral("assetURL"));
    node.assetURL = asset ? assetURLFrom(*asset) : inherited;
    return node;
}

ListViewItemModel createListItem(const QJsonValue& json, const std::optional<QUrl>& inherited) {
    ListViewItemModel item;
    item.node = readNode(json, {ViewModelKind::listViewItem}, QStringLiteral("listViewItem"), inherited);
    const Reader reader(json.toObject(), QStringLiteral("listViewItem"));
    item.title = reader.string(QStringLiteral("title"));
    item.subtitle = reader.optionalString(QStringLiteral("subtitle"));
    item.accessoryTitle = reader.optionalString(QStringLiteral("accessoryTitle"));
    item.icon = imageProperty(reader, QStringLiteral("icon"), item.node.assetURL);
    item.accessoryIcon = imageProperty(reader, QStringLiteral("accessoryIcon"), item.node.assetURL);
    item.index = reader.optionalString(QStringLiteral("index"));
    item.actions = actionsProperty(reader, item.node.assetURL);
    return item;
}

ListSectionViewModel createSection(const QJsonValue& json, const std::optional<QUrl>& inherited) {
    ListSectionViewModel section;
    section.node = readNode(json, {ViewModelKind::listViewSection}, QStringLiteral("listViewSection"), inherited);
    const Reader reader(json.toObject(), QStringLiteral("listViewSection"));
    section.title = reader.optionalString(QStringLiteral("title"));
    section.subtitle = reader.optionalString(QStringLiteral("subtitle"));
    for (const QJsonValue& item : reader.array(QStringLiteral("items"), false))
        section.items.push_back(createListItem(item, section.node.assetURL));
    return section;
}

bool parsesAsDate(const QString& value, const std::optional<QString>& format) {
    if (format && !format->isEmpty()) return QDateTime::fromString(value, *format).isValid() || QDate::fromString(value, *format).isValid();
    return QDateTime::fromString(value, Qt::ISODateWithMs).isValid() || QDateTime::fromString(value, Qt::ISODate).isValid() ||
           QDate::fromString(value, Qt::ISODate).isValid();
}

}  // namespace

QString kindName(ViewModelKind kind) { return QString::fromLatin1(kKindNames[static_cast<std::size_t>(kind)]); }

std::optional<ViewModelKind> kindFromName(const QString& name) {
    for (std::size_t i = 0; i < kKindNames.size(); ++i)
        if (name == QLatin1String(kKindNames[i])) return static_cast<ViewModelKind>(i);
    return std::nullopt;
}

bool isFormItemKind(ViewModelKind kind) { return static_cast<int>(kind) >= static_cast<int>(ViewModelKind::formViewTextField); }

std::optional<std::int64_t> ViewPatchKind::fromName(const QString& name) {
    if (name == QLatin1String("add")) return add;
    if (name == QLatin1String("remove")) return remove;
    if (name == QLatin1String("replace")) return replace;
    if (name == QLatin1String("move")) return move;
    if (name == QLatin1String("copy")) return copy;
    return std::nullopt;
}

ViewPatchOperation ViewPatchOperation::fromJson(const QJsonValue& json) {
    const QJsonObject object = json.toObject();
    const QJsonValue op = object.value(QStringLiteral("op"));
    const QJsonValue path = object.value(QStringLiteral("path"));
    if (!json.isObject() || !op.isString() || !path.isString()) {
        const QString text = json.isObject() ? QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact))
                                             : QString::fromUtf8(QJsonDocument(QJsonArray{json}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
        throw VantrelError(QStringLiteral("Incomplete view patch data ") + text);
    }
    const auto kind = ViewPatchKind::fromName(op.toString());
    if (!kind) throw VantrelError(QStringLiteral("Unknown view patch operation '") + op.toString() + QLatin1Char('\''));
    ViewPatchOperation operation;
    operation.kind = *kind;
    operation.path = path.toString();
    if (object.contains(QStringLiteral("value"))) operation.value = object.value(QStringLiteral("value"));
    return operation;
}

ViewModelPatch ViewModelPatch::fromJson(const QJsonValue& json) {
    if (!json.isArray()) throw VantrelError(QStringLiteral("Missing patch"));
    ViewModelPatch patch;
    for (const QJsonValue& operation : json.toArray()) patch.operations.push_back(ViewPatchOperation::fromJson(operation));
    return patch;
}

bool ViewModelPatch::touches(const QString& text, std::int64_t kinds) const {
    for (const ViewPatchOperation& operation : operations)
        if ((operation.kind & kinds) != 0 && operation.path.contains(text)) return true;
    return false;
}

void ViewModelPatch::append(const ViewModelPatch& later) {
    operations.insert(operations.end(), later.operations.begin(), later.operations.end());
}

ActionPanelViewModel ActionPanelViewModel::fromJson(const QJsonValue& json, const std::optional<QUrl>& assetURL) {
    if (!json.isObject()) throw VantrelError(QStringLiteral("Action sections hasn't been provided"));
    return actionPanel(json.toObject(), assetURL, QStringLiteral("Action sections hasn't been provided"));
}

bool ActionPanelViewModel::isEmpty() const {
    for (const ActionSectionViewModel& section : sections)
        if (!section.items.empty()) return false;
    return true;
}

const ViewModelNode& nodeOf(const ViewModel& model) {
    return std::visit([](const auto& view) -> const ViewModelNode& { return view.node; }, model);
}

QString titleOf(const ViewModel& model) {
    return std::visit([](const auto& view) { return view.navigationTitle.value_or(QString()); }, model);
}

bool isLoadingOf(const ViewModel& model) {
    return std::visit([](const auto& view) { return view.isLoading; }, model);
}

const std::optional<ActionPanelViewModel>& actionsOf(const ViewModel& model) {
    return std::visit([](const auto& view) -> const std::optional<ActionPanelViewModel>& { return view.actions; }, model);
}

const UpdatesInfo& updatesOf(const ViewModel& model) {
    return std::visit([](const auto& view) -> const UpdatesInfo& { return view.updates; }, model);
}

const ViewModel* CommandViewModel::selected() const {
    if (!selectedView.value) return nullptr;
    for (const ViewModel& view : body)
        if (nodeOf(view).id == *selectedView.value) return &view;
    return nullptr;
}

QString statusName(CommandViewModel::Status status) {
    return status == CommandViewModel::Status::active ? QStringLiteral("active") : QStringLiteral("background");
}

CommandViewModel ViewModelFactory::createCommandView(const QJsonValue& json, const std::optional<QUrl>& assetURL) {
    CommandViewModel model;
    model.node = readNode(json, {ViewModelKind::commandView}, QStringLiteral("commandView"), assetURL);
    const Reader reader(json.toObject(), QStringLiteral("commandView"));
    for (const QJsonValue& view : reader.array(QStringLiteral("body"), true)) model.body.push_back(createView(view, model.node.assetURL));
    const auto selected = bindingProperty(reader, QStringLiteral("selectedView"), true);
    if (!selected) missingProperty(QStringLiteral("selectedView"), reader.owner());
    model.selectedView = *selected;
    model.onStatusChange = reader.optionalString(QStringLiteral("onStatusChange"));
    return model;
}

ViewModel ViewModelFactory::createView(const QJsonValue& json, const std::optional<QUrl>& assetURL) {
    const ViewModelNode node =
        readNode(json, {ViewModelKind::listView, ViewModelKind::detailView, ViewModelKind::formView}, QStringLiteral("commandView"), assetURL);
    const Reader reader(json.toObject(), kindName(node.kind));
    switch (node.kind) {
    case ViewModelKind::listView: {
        ListViewModel list;
        list.node = node;
        list.navigationTitle = reader.optionalString(QStringLiteral("navigationTitle"));
        list.isLoading = reader.boolean(QStringLiteral("isLoading"), false);
        list.searchBarHidden = reader.boolean(QStringLiteral("searchBarHidden"), false);
        list.searchBarPlaceholder = reader.optionalString(QStringLiteral("searchBarPlaceholder"));
        list.onSearchTextChange = reader.optionalString(QStringLiteral("onSearchTextChange"));
        list.throttlingEnabled = reader.boolean(QStringLiteral("throttlingEnabled"), false);
        list.actions = actionsProperty(reader, node.assetURL);
        for (const QJsonValue& section : reader.array(QStringLiteral("sections"), false))
            list.sections.push_back(createSection(section, node.assetURL));
        list.selectedItemId = bindingProperty(reader, QStringLiteral("selectedItemId"), false);
        list.onSelectItem = reader.optionalString(QStringLiteral("onSelectItem"));
        return list;
    }
    case ViewModelKind::detailView: {
        DetailViewModel detail;
        detail.node = node;
        detail.navigationTitle = reader.optionalString(QStringLiteral("navigationTitle"));
        detail.isLoading = reader.boolean(QStringLiteral("isLoading"), false);
        detail.actions = actionsProperty(reader, node.assetURL);
        detail.markdown = reader.optionalString(QStringLiteral("markdown"));
        return detail;
    }
    default: {
        FormViewModel form;
        form.node = node;
        form.navigationTitle = reader.optionalString(QStringLiteral("navigationTitle"));
        form.isLoading = reader.boolean(QStringLiteral("isLoading"), false);
        form.actions = actionsProperty(reader, node.assetURL);
        form.submitTitle = reader.optionalString(QStringLiteral("submitTitle")).value_or(QStringLiteral("Submit"));
        for (const QJsonValue& item : reader.array(QStringLiteral("items"), false)) form.items.push_back(createFormItem(item, node.assetURL));
        form.onSubmit = reader.optionalString(QStringLiteral("onSubmit"));
        return form;
    }
    }
}

FormItemViewModel ViewModelFactory::createFormItem(const QJsonValue& json, const std::optional<QUrl>& assetURL) {
    FormItemViewModel item;
    item.node = readNode(json,
                         {ViewModelKind::formViewTextField, ViewModelKind::formViewTextArea, ViewModelKind::formViewCheckbox,
                          ViewModelKind::formViewDropdown, ViewModelKind::formViewButton, ViewModelKind::formViewSeparator,
                          ViewModelKind::formViewTokenEditor, ViewModelKind::formViewDatePicker},
                         QStringLiteral("formView"), assetURL);
    const Reader reader(json.toObject(), kindName(item.node.kind));
    if (item.node.kind == ViewModelKind::formViewSeparator) return item;
    item.title = reader.optionalString(QStringLiteral("title"));
    const QJsonValue value = reader.raw(QStringLiteral("value"));
    switch (item.node.kind) {
    case ViewModelKind::formViewTextField:
    case ViewModelKind::formViewTextArea:
        item.placeholder = reader.optionalString(QStringLiteral("placeholder"));
        item.storeValue = reader.boolean(QStringLiteral("storeValue"), false);
        if (!absent(value) && !value.isString()) missingProperty(QStringLiteral("value"), reader.owner());
        break;
    case ViewModelKind::formViewCheckbox:
        item.checkboxTitle = reader.string(QStringLiteral("checkboxTitle"));
        item.storeValue = reader.boolean(QStringLiteral("storeValue"), false);
        if (!absent(value) && !value.isBool()) missingProperty(QStringLiteral("value"), reader.owner());
        item.onChange = reader.optionalString(QStringLiteral("onChange"));
        break;
    case ViewModelKind::formViewDropdown:
        item.storeValue = reader.boolean(QStringLiteral("storeValue"), false);
        if (!absent(value) && !value.isString()) missingProperty(QStringLiteral("value"), reader.owner());
        item.menu = reader.optionalString(QStringLiteral("menu"));
        item.menuFilterType = filterBehaviour(reader, QStringLiteral("menuFilterType"));
        break;
    case ViewModelKind::formViewButton:
        item.buttonTitle = reader.string(QStringLiteral("buttonTitle"));
        item.description = reader.optionalString(QStringLiteral("description"));
        item.onAction = reader.optionalString(QStringLiteral("onAction"));
        break;
    case ViewModelKind::formViewTokenEditor:
        item.placeholder = reader.optionalString(QStringLiteral("placeholder"));
        item.storeValue = reader.boolean(QStringLiteral("storeValue"), false);
        if (!absent(value) && !value.isArray()) missingProperty(QStringLiteral("value"), reader.owner());
        for (const QJsonValue& token : value.toArray()) item.tokens.push_back(createTokenValue(token, item.node.assetURL));
        item.suggestions = reader.optionalString(QStringLiteral("suggestions"));
        break;
    case ViewModelKind::formViewDatePicker:
        item.storeValue = reader.boolean(QStringLiteral("storeValue"), false);
        item.dateFormat = reader.optionalString(QStringLiteral("dateFormat"));
        if (!absent(value) && !value.isString()) missingProperty(QStringLiteral("value"), reader.owner());
        if (value.isString() && !value.toString().isEmpty() && !parsesAsDate(value.toString(), item.dateFormat))
            throw VantrelError(QStringLiteral("Wrond date format"));
        break;
    default:
        break;
    }
    if (!absent(value)) item.value = value;
    return item;
}

CommandImage ViewModelFactory::createImage(const QJsonValue& json, const std::optional<QUrl>& assetURL) {
    CommandImage image;
    if (json.isString()) {
        image.imageData = json.toString();
    } else {
        const Reader reader(json.toObject(), QStringLiteral("image"));
        image.imageData = reader.optionalString(QStringLiteral("imageData"));
        image.darkImageData = reader.optionalString(QStringLiteral("darkImageData"));
        if (const auto options = reader.optionalObject(QStringLiteral("options"))) {
            const Reader optionsReader(*options, QStringLiteral("image"));
            const auto mask = optionsReader.optionalString(QStringLiteral("mask"));
            if (!mask || *mask == QLatin1String("undefined")) {
                image.mask = CommandImage::Mask::undefined;
            } else if (*mask == QLatin1String("circle")) {
                image.mask = CommandImage::Mask::circle;
            } else if (*mask == QLatin1String("roundedRectangle")) {
                image.mask = CommandImage::Mask::roundedRectangle;
            } else {
                missingProperty(QStringLiteral("mask"), QStringLiteral("image"));
            }
        }
    }
    image.lightSource = resolveAsset(image.imageData, assetURL);
    image.darkSource = image.darkImageData ? resolveAsset(image.darkImageData, assetURL) : image.lightSource;
    return image;
}

TokenValue ViewModelFactory::createTokenValue(const QJsonValue& json, const std::optional<QUrl>& assetURL) {
    if (!json.isObject()) missingProperty(QStringLiteral("id"), QStringLiteral("tokenValue"));
    const Reader reader(json.toObject(), QStringLiteral("tokenValue"));
    TokenValue token;
    token.id = reader.string(QStringLiteral("id"));
    token.title = reader.string(QStringLiteral("title"));
    if (const auto style = reader.optionalObject(QStringLiteral("style"))) {
        const Reader styleReader(*style, QStringLiteral("tokenValue"));
        token.badgeColor = styleReader.optionalString(QStringLiteral("badgeColor"));
        const auto asset = styleReader.optionalString(QStringLiteral("assetURL"));
        token.icon = imageProperty(styleReader, QStringLiteral("icon"), asset ? assetURLFrom(*asset) : assetURL);
    }
    return token;
}

UpdatesInfo updatesFor(ViewModelKind kind, const QString& path, const ViewModelPatch& patch) {
    UpdatesInfo updates;
    if (patch.touches(QStringLiteral("selectedView"))) {
        updates.newSelectedView = true;
        updates.newSelectedItem = updates.shouldUpdateSections = updates.shouldReloadActions = kind == ViewModelKind::listView;
        updates.shouldUpdateMarkdown = kind == ViewModelKind::detailView;
        updates.shouldReloadItems = kind == ViewModelKind::formView;
        return updates;
    }
    switch (kind) {
    case ViewModelKind::listView:
        updates.newSelectedItem = patch.touches(path + QStringLiteral("/selectedItemId"));
        updates.shouldUpdateSections = patch.touches(path + QStringLiteral("/sections"));
        updates.shouldReloadActions = patch.touches(path + QStringLiteral("/actions"));
        break;
    case ViewModelKind::detailView:
        updates.shouldUpdateMarkdown = patch.touches(path + QStringLiteral("/markdown"));
        break;
    case ViewModelKind::formView:
        updates.shouldReloadItems = patch.touches(path + QStringLiteral("/items"));
        break;
    default:
        break;
    }
    return updates;
}

VantrelViewState VantrelViewState::build(const QJsonObject& arguments, const QUrl& assetURL) {
    const QJsonValue model = arguments.value(QStringLiteral("model"));
    if (absent(model)) throw VantrelError(QStringLiteral("Missing view"));
    const QJsonValue patch = arguments.value(QStringLiteral("patch"));
    if (absent(patch) || !patch.isArray()) throw VantrelError(QStringLiteral("Missing patch"));
    VantrelViewState state;
    state.model = ViewModelFactory::createCommandView(model, assetURL.isEmpty() ? std::nullopt : std::optional<QUrl>(assetURL));
    state.setPatch(ViewModelPatch::fromJson(patch));
    return state;
}

void VantrelViewState::setPatch(ViewModelPatch merged) {
    patch = std::move(merged);
    for (ViewModel& view : model.body) {
        std::visit([this](auto& typed) { typed.updates = updatesFor(typed.node.kind, typed.node.path, patch); }, view);
    }
}

namespace {

QJsonValue optionalJson(const std::optional<QString>& value) { return value ? QJsonValue(*value) : QJsonValue(); }

QJsonArray describeActions(const std::optional<ActionPanelViewModel>& panel) {
    QJsonArray out;
    if (!panel) return out;
    for (const ActionSectionViewModel& section : panel->sections)
        for (const ActionItemViewModel& item : section.items) out.append(item.title);
    return out;
}

}  // namespace

QJsonObject describe(const ViewModel& model) {
    const ViewModelNode& node = nodeOf(model);
    QJsonObject out{{QStringLiteral("kind"), kindName(node.kind)},
                    {QStringLiteral("nodeId"), node.id},
                    {QStringLiteral("navigationTitle"), titleOf(model)},
                    {QStringLiteral("isLoading"), isLoadingOf(model)},
                    {QStringLiteral("actions"), describeActions(actionsOf(model))}};
    if (const auto* list = std::get_if<ListViewModel>(&model)) {
        QJsonArray sections;
        for (const ListSectionViewModel& section : list->sections) {
            QJsonArray items;
            for (const ListViewItemModel& item : section.items) {
                items.append(QJsonObject{{QStringLiteral("kind"), kindName(item.node.kind)},
                                         {QStringLiteral("nodeId"), item.node.id},
                                         {QStringLiteral("title"), item.title},
                                         {QStringLiteral("subtitle"), optionalJson(item.subtitle)},
                                         {QStringLiteral("accessoryTitle"), optionalJson(item.accessoryTitle)},
                                         {QStringLiteral("actions"), describeActions(item.actions)}});
            }
            sections.append(QJsonObject{{QStringLiteral("kind"), kindName(section.node.kind)},
                                        {QStringLiteral("nodeId"), section.node.id},
                                        {QStringLiteral("title"), optionalJson(section.title)},
                                        {QStringLiteral("items"), items}});
        }
        out.insert(QStringLiteral("searchBarPlaceholder"), optionalJson(list->searchBarPlaceholder));
        out.insert(QStringLiteral("sections"), sections);
    } else if (const auto* detail = std::get_if<DetailViewModel>(&model)) {
        out.insert(QStringLiteral("markdown"), optionalJson(detail->markdown));
    } else if (const auto* form = std::get_if<FormViewModel>(&model)) {
        QJsonArray items;
        for (const FormItemViewModel& item : form->items) {
            QJsonObject described{{QStringLiteral("kind"), kindName(item.node.kind)},
                                  {QStringLiteral("nodeId"), item.node.id},
                                  {QStringLiteral("title"), optionalJson(item.title)}};
            if (!item.value.isUndefined()) described.insert(QStringLiteral("value"), item.value);
            items.append(described);
        }
        out.insert(QStringLiteral("submitTitle"), form->submitTitle);
        out.insert(QStringLiteral("items"), items);
    }
    return out;
}

QJsonObject describe(const CommandViewModel& model) {
    QJsonArray body;
    for (const ViewModel& view : model.body) body.append(describe(view));
    return {{QStringLiteral("kind"), kindName(model.node.kind)},
            {QStringLiteral("nodeId"), model.node.id},
            {QStringLiteral("selectedView"), optionalJson(model.selectedView.value)},
            {QStringLiteral("body"), body}};
}

}  // namespace vantrel::extensions::views
