#include "features/extensions/ui/ExtensionCommandView.h"

#include "core/rootsearch/NLPDateProvider.h"
#include "kit/KeyCombination.h"
#include "kit/Logger.h"
#include "kit/Throttler.h"
#include "kit/VantrelError.h"
#include "platform/Platform.h"
#include "ui/toolkit/DetailView.h"
#include "ui/toolkit/FormView.h"
#include "ui/toolkit/ListView.h"
#include "ui/toolkit/Theme.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <QFocusEvent>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QHash>
#include <QKeyEvent>
#include <QLocale>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSettings>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vantrel {

namespace {

namespace views = extensions::views;
using views::CommandViewController;

const Logger& viewLog() {
    static const Logger logger({QStringLiteral("Command View"), QStringLiteral("🪟")});
    return logger;
}

std::optional<ImageResource> imageOf(const std::optional<views::CommandImage>& image) {
    if (!image || image->lightSource.isEmpty()) return std::nullopt;
    const auto resource = [](const QString& source) {
        return source.startsWith(QLatin1String("http")) ? ImageResource::url(QUrl(source)) : ImageResource::url(QUrl::fromLocalFile(source));
    };
    if (image->darkSource.isEmpty() || image->darkSource == image->lightSource) return resource(image->lightSource);
    return ImageResource::themed(resource(image->lightSource), resource(image->darkSource));
}

// "cmd" is the launcher's primary modifier (Ctrl on this desktop).
std::optional<KeyCombination> combinationOf(const std::optional<views::KeyboardShortcut>& shortcut) {
    if (!shortcut) return std::nullopt;
    const auto key = KeyEquivalent::fromString(shortcut->key.toLower());
    if (!key) return std::nullopt;
    ModifierKeys modifiers;
    for (const QString& name : shortcut->modifiers) {
        if (name == QLatin1String("cmd") || name == QLatin1String("ctrl") || name == QLatin1String("control")) {
            modifiers.insert(ModifierKeys::control);
        } else if (name == QLatin1String("opt") || name == QLatin1String("alt") || name == QLatin1String("option")) {
            modifiers.insert(ModifierKeys::option);
        } else if (name == QLatin1String("shift")) {
            modifiers.insert(ModifierKeys::shift);
        } else if (name == QLatin1String("super") || name == QLatin1String("meta")) {
            modifiers.insert(ModifierKeys::command);
        }
    }
    return KeyCombination{modifiers, *key};
}

std::vector<MenuItem> menuItemsOf(const std::optional<views::ActionPanelViewModel>& panel, CommandViewController* controller);

// A submenu's entries: the script's "submenu" handler answers an action panel
// for the typed text; a panel without sections gives no entries.
void loadSubmenu(QPointer<CommandViewController> controller, const std::optional<QString>& handler, const QString& text,
                 MenuItem::SubmenuAnswer answer) {
    if (!controller) return answer({});
    controller->sendEvent(handler, QJsonValue(text), [controller, answer = std::move(answer)](Result<QJsonValue> result) {
        if (!controller) return answer({});
        try {
            if (result.isFailure()) throw result.error();
            const std::optional<QUrl> asset = controller->state() ? controller->state()->model.node.assetURL : std::nullopt;
            answer(menuItemsOf(views::ActionPanelViewModel::fromJson(result.value(), asset), controller));
        } catch (const VantrelError& error) {
            viewLog().error(QStringLiteral("Menu sections missing"), {{QStringLiteral("error"), error.errorDescription()}});
            answer({});
        }
    });
}

// The actions of a panel, sections flattened in order; choosing one sends
// its handler the item's id. The view answers in the window itself later.
std::vector<MenuItem> menuItemsOf(const std::optional<views::ActionPanelViewModel>& panel, CommandViewController* controller) {
    std::vector<MenuItem> out;
    if (!panel) return out;
    QPointer<CommandViewController> guarded(controller);
    for (const views::ActionSectionViewModel& section : panel->sections) {
        for (const views::ActionItemViewModel& item : section.items) {
            const QString id = item.id.value_or(item.title);
            MenuItem menuItem = MenuItem::make(id, item.title, [guarded, handler = item.onAction, id] {
                if (guarded) guarded->sendEvent(handler, QJsonValue(id));
                return CommandOutcome::handled();
            });
            if (const auto combination = combinationOf(item.shortcut)) menuItem.shortcuts.push_back(*combination);
            menuItem.image = imageOf(item.icon);
            if (item.submenu) {
                menuItem.loadSubmenu = [guarded, handler = item.submenu](const QString& text, MenuItem::SubmenuAnswer answer) {
                    loadSubmenu(guarded, handler, text, std::move(answer));
                };
                menuItem.submenuFiltersItself = item.submenuFilterType == views::MenuFilterBehaviour::custom;
            }
            out.push_back(std::move(menuItem));
        }
    }
    return out;
}

// MARK: List

class ExtensionListView : public ListView, public views::CommandViewProtocol {
public:
    ExtensionListView(CommandViewController& controller, std::function<std::optional<MenuItem>()> reload)
        : ListView(QString()), m_controller(&controller), m_reload(std::move(reload)) {
        connect(this, &ListView::selectionChanged, this, [this] {
            if (m_applying) return;
            const Item* item = selectedItem();
            const QJsonValue id = item ? QJsonValue(item->id) : QJsonValue(QJsonValue::Null);
            if (m_model.onSelectItem) {
                m_controller->sendEvent(m_model.onSelectItem, id);
            } else if (m_model.selectedItemId) {
                m_controller->sendEvent(m_model.selectedItemId->id, id);
            }
        });
    }

    views::ViewModelKind kind() const override { return views::ViewModelKind::listView; }

    void update(const views::ViewModel& model, const views::UpdatesInfo& updates) override {
        m_model = std::get<views::ListViewModel>(model);
        m_applying = true;
        setSearchPlaceholder(m_model.searchBarPlaceholder.value_or(QStringLiteral("Search…")));
        // A script that answers the search text filters itself.
        setFiltering(!m_model.onSearchTextChange);
        if (updates.shouldUpdateSections || updates.shouldReloadActions || updates.newSelectedView) rebuild();
        if ((updates.newSelectedItem || updates.newSelectedView) && m_model.selectedItemId && m_model.selectedItemId->value)
            selectItem(*m_model.selectedItemId->value);
        m_applying = false;
        emit actionsChanged();
    }

    QString title() const override { return m_model.navigationTitle.value_or(QString()); }
    bool usesSearchBar() const override { return !m_model.searchBarHidden; }

    void searchTextChanged(const QString& text) override {
        ListView::searchTextChanged(text);
        if (!m_model.onSearchTextChange) return;
        const auto send = [controller = QPointer<CommandViewController>(m_controller), handler = m_model.onSearchTextChange, text] {
            if (controller) controller->sendEvent(handler, QJsonValue(text));
        };
        if (!m_model.throttlingEnabled) {
            m_throttler.reset();
            send();
            return;
        }
        if (!m_throttler) m_throttler = std::make_unique<Throttler>(views::ListViewModel::throttleMilliseconds / 1000.0, false, this);
        m_throttler->throttle(send);
    }

    std::vector<MenuItem> actions() const override {
        std::vector<MenuItem> out = ListView::actions();
        if (out.empty()) out = menuItemsOf(m_model.actions, m_controller);
        if (auto reload = m_reload(); reload && (out.empty() || out.back().id != reload->id)) out.push_back(*reload);
        return out;
    }


private:
    void rebuild() {
        std::vector<Section> sections;
        const std::vector<MenuItem> listActions = menuItemsOf(m_model.actions, m_controller);
        const std::optional<MenuItem> reload = m_reload();
        for (const views::ListSectionViewModel& sectionModel : m_model.sections) {
            Section section;
            section.title = sectionModel.title.value_or(QString());
            for (const views::ListViewItemModel& itemModel : sectionModel.items) {
                Item item;
                item.id = itemModel.node.id;
                item.title = itemModel.title;
                item.subtitle = itemModel.subtitle.value_or(QString());
                item.icon = imageOf(itemModel.icon);
                if (itemModel.accessoryTitle || imageOf(itemModel.accessoryIcon))
                    item.accessories.push_back({itemModel.accessoryTitle.value_or(QString()), imageOf(itemModel.accessoryIcon)});
                if (itemModel.index) item.keywords = itemModel.index->split(QLatin1Char(' '), Qt::SkipEmptyParts);
                item.actions = menuItemsOf(itemModel.actions, m_controller);
                item.actions.insert(item.actions.end(), listActions.begin(), listActions.end());
                if (reload) item.actions.push_back(*reload);
                section.items.push_back(std::move(item));
            }
            sections.push_back(std::move(section));
        }
        // Same items with new texts (a patch of a title): only their rows repaint.
        m_changedRows = updateItems(sections);
        if (m_changedRows < 0) replaceSections(std::move(sections));
    }

    CommandViewController* m_controller;
    std::function<std::optional<MenuItem>()> m_reload;
    views::ListViewModel m_model;
    std::unique_ptr<Throttler> m_throttler;
    bool m_applying = false;
    int m_changedRows = -1;
};

// MARK: Detail

class ExtensionDetailView : public DetailView, public views::CommandViewProtocol {
public:
    ExtensionDetailView(CommandViewController& controller, std::function<std::optional<MenuItem>()> reload)
        : DetailView(QString()), m_controller(&controller), m_reload(std::move(reload)) {}

    views::ViewModelKind kind() const override { return views::ViewModelKind::detailView; }

    void update(const views::ViewModel& model, const views::UpdatesInfo& updates) override {
        m_model = std::get<views::DetailViewModel>(model);
        if (updates.shouldUpdateMarkdown || updates.newSelectedView) setMarkdown(m_model.markdown.value_or(QString()));
        std::vector<MenuItem> actions = menuItemsOf(m_model.actions, m_controller);
        if (auto reload = m_reload()) actions.push_back(*reload);
        setActions(std::move(actions));
        emit actionsChanged();
    }

    QString title() const override { return m_model.navigationTitle.value_or(QString()); }

private:
    CommandViewController* m_controller;
    std::function<std::optional<MenuItem>()> m_reload;
    views::DetailViewModel m_model;
};

// MARK: Form

QJsonValue toJson(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    return value.toString();
}

// A form item's value as the toolkit's form holds it.
QVariant formValue(const views::FormItemViewModel& item, const QJsonValue& value) {
    switch (item.node.kind) {
    case views::ViewModelKind::formViewCheckbox:
        return value.toBool(false);
    case views::ViewModelKind::formViewTokenEditor: {
        // Token values as the token editor holds them: maps with "id" and "title".
        QVariantList tokens;
        for (const QJsonValue& token : value.toArray())
            if (token.isObject()) tokens.append(token.toObject().toVariantMap());
        return tokens;
    }
    default:
        return value.isString() ? value.toString() : QString();
    }
}

class ExtensionFormView : public LauncherView, public views::CommandViewProtocol {
public:
    ExtensionFormView(CommandViewController& controller, std::function<std::optional<MenuItem>()> reload)
        : m_controller(&controller), m_reload(std::move(reload)) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_layout = layout;
    }

    views::ViewModelKind kind() const override { return views::ViewModelKind::formView; }

    void update(const views::ViewModel& model, const views::UpdatesInfo& updates) override {
        m_model = std::get<views::FormViewModel>(model);
        if (updates.shouldReloadItems || updates.newSelectedView || !m_form) {
            rebuild();
        } else {
            m_form->setSubmitTitle(m_model.submitTitle);
            m_form->setExtraActions(extraActions());
        }
        emit actionsChanged();
    }

    QString title() const override { return m_model.navigationTitle.value_or(QString()); }
    std::vector<MenuItem> actions() const override { return m_form ? m_form->actions() : std::vector<MenuItem>{}; }

protected:
    // The window focuses the view: the first field takes it.
    void focusInEvent(QFocusEvent* event) override {
        LauncherView::focusInEvent(event);
        if (m_form) m_form->viewDidAppear();
    }

public:
    bool handleKey(QKeyEvent* event) override { return m_form && m_form->handleKey(event); }
    void viewDidAppear() override {
        if (m_form) m_form->viewDidAppear();
    }
    FormView* form() const { return m_form; }

private:
    QString storeKey(const QString& itemId) const {
        return QStringLiteral("extensionForms/%1/%2").arg(m_controller->commandId(), itemId);
    }

    std::vector<MenuItem> extraActions() const {
        std::vector<MenuItem> out = menuItemsOf(m_model.actions, m_controller);
        if (auto reload = m_reload()) out.push_back(*reload);
        return out;
    }

    void rebuild() {
        // What the user typed survives a reload of the items.
        const QVariantMap typed = m_form ? m_form->values() : QVariantMap();
        std::vector<FormView::Field> fields;
        QSettings settings;
        for (const views::FormItemViewModel& item : m_model.items) {
            FormView::Field field;
            field.id = item.node.id;
            field.title = item.title.value_or(QString());
            field.placeholder = item.placeholder.value_or(QString());
            QJsonValue value = item.value;
            if (item.storeValue && settings.contains(storeKey(item.node.id))) {
                value = QJsonDocument::fromJson(settings.value(storeKey(item.node.id)).toByteArray()).object().value(QStringLiteral("v"));
            }
            switch (item.node.kind) {
            case views::ViewModelKind::formViewTextField:
                field.type = FormView::Field::Type::textField;
                break;
            case views::ViewModelKind::formViewTextArea:
                field.type = FormView::Field::Type::textArea;
                break;
            case views::ViewModelKind::formViewCheckbox:
                field.type = FormView::Field::Type::checkbox;
                field.checkboxLabel = item.checkboxTitle;
                break;
            case views::ViewModelKind::formViewDropdown: {
                field.type = FormView::Field::Type::dropdown;
                const auto known = m_menus.find(item.node.id);
                if (known != m_menus.end()) {
                    field.options = known->second;
                } else {
                    if (value.isString()) field.options.push_back({value.toString(), value.toString()});
                    requestMenu(item);
                }
                if (value.isString() && std::none_of(field.options.begin(), field.options.end(),
                                                     [&](const auto& option) { return option.first == value.toString(); }))
                    viewLog().warning(QStringLiteral("Failed to configure value ") + value.toString() +
                                      QStringLiteral(" since it doesn't exist in the menu"));
                break;
            }
            case views::ViewModelKind::formViewTokenEditor:
                field.type = FormView::Field::Type::tokenEditor;
                rememberTokens(value);
                field.suggestions = [this, handler = item.suggestions, asset = item.node.assetURL](const QString& text,
                                                                                                  TokenEditor::Answer answer) {
                    requestSuggestions(handler, asset, text, std::move(answer));
                };
                break;
            case views::ViewModelKind::formViewDatePicker:
                field.type = FormView::Field::Type::datePicker;
                field.readDate = [this, format = item.dateFormat](const QString& text) { return readDate(text, format); };
                break;
            case views::ViewModelKind::formViewButton:
                field.type = FormView::Field::Type::button;
                field.buttonTitle = item.buttonTitle;
                field.info = item.description.value_or(QString());
                field.press = [controller = QPointer<CommandViewController>(m_controller), handler = item.onAction, id = item.node.id] {
                    if (controller) controller->sendEvent(handler, QJsonValue(id));
                };
                break;
            case views::ViewModelKind::formViewSeparator:
                field.type = FormView::Field::Type::separator;
                break;
            default:
                continue;
            }
            field.defaultValue = typed.contains(field.id) ? typed.value(field.id) : formValue(item, value);
            fields.push_back(std::move(field));
        }
        auto* form = new FormView(title(), std::move(fields), this);
        form->setSubmitTitle(m_model.submitTitle);
        form->setExtraActions(extraActions());
        form->setSubmitHandler([this](const QVariantMap& values) { return submit(values); });
        connect(form, &LauncherView::actionsChanged, this, &LauncherView::actionsChanged);
        for (const views::FormItemViewModel& item : m_model.items) {
            if (item.node.kind != views::ViewModelKind::formViewCheckbox || !item.onChange) continue;
            if (auto* box = qobject_cast<QCheckBox*>(form->control(item.node.id))) {
                connect(box, &QCheckBox::toggled, this, [this, handler = item.onChange](bool on) {
                    m_controller->sendEvent(handler, QJsonValue(on));
                });
            }
        }
        // The field being typed in keeps the keyboard in the new form.
        QString focusedId;
        if (m_form) {
            const QWidget* focused = QApplication::focusWidget();
            for (const views::FormItemViewModel& item : m_model.items) {
                const QWidget* control = m_form->control(item.node.id);
                if (control && focused && (control == focused || control->isAncestorOf(focused))) focusedId = item.node.id;
            }
            m_layout->removeWidget(m_form);
            m_form->deleteLater();
        }
        m_form = form;
        m_layout->addWidget(form);
        form->setPresenter(presenter());
        if (QWidget* control = focusedId.isEmpty() ? nullptr : form->control(focusedId)) control->setFocus();
    }

    void requestMenu(const views::FormItemViewModel& item) {
        if (!item.menu || m_asked.contains(item.node.id)) return;
        m_asked << item.node.id;
        QPointer<ExtensionFormView> self(this);
        m_controller->sendEvent(item.menu, QJsonValue(QString()), [self, id = item.node.id, asset = item.node.assetURL](Result<QJsonValue> answer) {
            if (!self) return;
            if (answer.isFailure()) {
                viewLog().error(QStringLiteral("Menu sections missing"), {{QStringLiteral("error"), answer.error().errorDescription()}});
                return;
            }
            std::vector<std::pair<QString, QString>> options;
            try {
                const views::ActionPanelViewModel panel = views::ActionPanelViewModel::fromJson(answer.value(), asset);
                for (const auto& section : panel.sections)
                    for (const auto& entry : section.items) options.push_back({entry.id.value_or(entry.title), entry.title});
            } catch (const VantrelError& error) {
                viewLog().error(QStringLiteral("Menu sections missing"), {{QStringLiteral("error"), error.errorDescription()}});
                return;
            }
            self->m_menus[id] = std::move(options);
            // Answers may come while the form is being built: rebuild after it.
            QTimer::singleShot(0, self, [self] {
                if (self) self->rebuild();
            });
        });
    }

    // Token values the script gave (in the tree or as suggestions), by id:
    // what the script gets back keeps everything it put in them.
    void rememberTokens(const QJsonValue& tokens) {
        for (const QJsonValue& token : tokens.toArray())
            if (token.isObject()) m_knownTokens.insert(token.toObject().value(QStringLiteral("id")).toString(), token.toObject());
    }

    // Asks the script's "suggestions" handler for the typed text; the answer
    // is an array of token values.
    void requestSuggestions(const std::optional<QString>& handler, const std::optional<QUrl>& asset, const QString& text,
                            TokenEditor::Answer answer) {
        if (!handler) {
            answer({});
            return;
        }
        QPointer<ExtensionFormView> self(this);
        m_controller->sendEvent(handler, QJsonValue(text), [self, asset, answer = std::move(answer)](Result<QJsonValue> result) {
            if (!self) return;
            std::vector<TokenEditor::Token> tokens;
            try {
                if (result.isFailure()) throw result.error();
                if (!result.value().isArray()) throw VantrelError(QStringLiteral("Missing property 'suggestions' in formViewTokenEditor"));
                for (const QJsonValue& json : result.value().toArray()) {
                    const views::TokenValue token = views::ViewModelFactory::createTokenValue(json, asset);
                    tokens.push_back({token.id, token.title, token.badgeColor.value_or(QString()), imageOf(token.icon)});
                }
                self->rememberTokens(result.value());
            } catch (const VantrelError& error) {
                viewLog().error(QStringLiteral("Token suggestions refused"), {{QStringLiteral("error"), error.errorDescription()}});
                tokens.clear();
            }
            answer(std::move(tokens));
        });
    }

    // The date a date picker's text names: first in the item's own format
    // (ISO 8601 without one), then as a phrase ("tomorrow 9am", "next friday").
    std::optional<FormView::DateReading> readDate(const QString& text, const std::optional<QString>& format) {
        QDateTime date;
        bool hasTime = true;
        // A day alone first: a date-time format also reads "2026-12-24" (as midnight).
        const QDate day = format && !format->isEmpty() ? QDate::fromString(text, *format) : QDate::fromString(text, Qt::ISODate);
        if (day.isValid()) {
            date = day.startOfDay();
            hasTime = false;
        } else {
            date = format && !format->isEmpty() ? QDateTime::fromString(text, *format) : QDateTime::fromString(text, Qt::ISODate);
        }
        if (!date.isValid()) {
            if (!m_dates && platform().makeCalculator) m_dates = std::make_unique<NLPDateProvider>(platform().makeCalculator());
            if (!m_dates) return std::nullopt;
            const std::vector<NLPDateProviderResult> results = m_dates->results(text);
            if (results.empty()) return std::nullopt;
            date = results.front().date();
            hasTime = results.front().hasTimeComponent() || results.front().suggestionKind().value == NLPDateSuggestion::Kind::exactTime;
            if (!hasTime) date = date.date().startOfDay();
        }
        FormView::DateReading reading{date, hasTime, NLPDateProvider::title(date, hasTime, QDateTime::currentDateTime())};
        if (hasTime && !reading.title.contains(QLatin1Char(':')))
            reading.title += QStringLiteral(", ") + QLocale(QLocale::English).toString(date.time(), QStringLiteral("h:mm AP"));
        reading.title += QStringLiteral(" (") + formatDate(reading, format) + QLatin1Char(')');
        return reading;
    }

    // What the script gets for a date: the item's format, else ISO 8601
    // (a day without a time as yyyy-MM-dd).
    static QString formatDate(const FormView::DateReading& reading, const std::optional<QString>& format) {
        if (format && !format->isEmpty()) return reading.date.toString(*format);
        return reading.hasTime ? reading.date.toString(Qt::ISODate) : reading.date.date().toString(Qt::ISODate);
    }

    CommandOutcome submit(const QVariantMap& values) {
        QJsonObject out;
        QSettings settings;
        for (const views::FormItemViewModel& item : m_model.items) {
            if (!values.contains(item.node.id)) continue;
            QJsonValue value = toJson(values.value(item.node.id));
            if (item.node.kind == views::ViewModelKind::formViewTokenEditor) {
                QJsonArray tokens;
                for (const QVariant& token : values.value(item.node.id).toList()) {
                    const QJsonObject shown = QJsonObject::fromVariantMap(token.toMap());
                    tokens.append(m_knownTokens.value(shown.value(QStringLiteral("id")).toString(), shown));
                }
                value = tokens;
            } else if (item.node.kind == views::ViewModelKind::formViewDatePicker) {
                const std::optional<FormView::DateReading> reading = m_form->dateReading(item.node.id);
                value = reading ? QJsonValue(formatDate(*reading, item.dateFormat)) : QJsonValue(QJsonValue::Null);
            }
            out.insert(item.node.id, value);
            if (item.storeValue)
                settings.setValue(storeKey(item.node.id), QJsonDocument(QJsonObject{{QStringLiteral("v"), value}}).toJson(QJsonDocument::Compact));
        }
        m_controller->sendEvent(m_model.onSubmit, out);
        return CommandOutcome::handled();
    }

    CommandViewController* m_controller;
    std::function<std::optional<MenuItem>()> m_reload;
    views::FormViewModel m_model;
    QVBoxLayout* m_layout = nullptr;
    FormView* m_form = nullptr;
    std::map<QString, std::vector<std::pair<QString, QString>>> m_menus;
    QSet<QString> m_asked;
    QHash<QString, QJsonObject> m_knownTokens;
    std::unique_ptr<NLPDateProvider> m_dates;
};

}  // namespace

ExtensionCommandView::ExtensionCommandView(Options options, QWidget* parent) : LauncherView(parent), m_options(std::move(options)) {
    m_controller = std::make_unique<CommandViewController>(
        m_options.commandId, [this](const views::ViewModel& model) { return makeView(model); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(2);
    m_progress->hide();
    layout->addWidget(m_progress);
    m_failure = new QLabel(this);
    m_failure->setObjectName(QStringLiteral("extensionViewFailure"));
    m_failure->setWordWrap(true);
    m_failure->setContentsMargins(16, 8, 16, 8);
    m_failure->setStyleSheet(QStringLiteral("color: #d9534f;"));
    m_failure->hide();
    layout->addWidget(m_failure);
    m_stack = new QStackedWidget(this);
    m_loading = new QLabel(QStringLiteral("Loading…"), m_stack);
    m_loading->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(m_loading);
    layout->addWidget(m_stack, 1);

    connect(m_controller.get(), &CommandViewController::currentViewChanged, this, &ExtensionCommandView::showCurrent);
    connect(m_controller.get(), &CommandViewController::viewRemoved, this, [this](views::CommandViewProtocol* removed) {
        if (auto* widget = dynamic_cast<QWidget*>(removed)) {
            m_stack->removeWidget(widget);
            // Escape may still be on its way through the widget that goes.
            widget->deleteLater();
        }
    });
    connect(m_controller.get(), &CommandViewController::rendered, this, [this] {
        m_failure->hide();
        const views::ViewModel* model = m_controller->currentModel();
        m_progress->setVisible(model && views::isLoadingOf(*model));
        refreshSearchBar();
        emit actionsChanged();
    });
    connect(m_controller.get(), &CommandViewController::failed, this, [this](const QString& message) {
        m_failure->setText(QStringLiteral("Something goes wrong: ") + message);
        m_failure->show();
        if (!currentView()) m_loading->setText(QStringLiteral("This command's view could not be shown"));
        emit actionsChanged();
    });
}

ExtensionCommandView::~ExtensionCommandView() {
    // The inner views go with the stack; the controller must not outlive them.
    m_controller.reset();
}

views::CommandViewProtocol* ExtensionCommandView::makeView(const views::ViewModel& model) {
    auto reload = [this] { return reloadAction(); };
    LauncherView* view = nullptr;
    views::CommandViewProtocol* protocol = nullptr;
    if (std::holds_alternative<views::ListViewModel>(model)) {
        auto* list = new ExtensionListView(*m_controller, reload);
        view = list;
        protocol = list;
    } else if (std::holds_alternative<views::DetailViewModel>(model)) {
        auto* detail = new ExtensionDetailView(*m_controller, reload);
        view = detail;
        protocol = detail;
    } else {
        auto* form = new ExtensionFormView(*m_controller, reload);
        view = form;
        protocol = form;
    }
    view->setPresenter(presenter());
    view->setCommandId(m_options.commandId);
    connect(view, &LauncherView::actionsChanged, this, [this, view] {
        if (currentView() == view) emit actionsChanged();
    });
    m_stack->addWidget(view);
    return protocol;
}

void ExtensionCommandView::showCurrent() {
    LauncherView* view = currentView();
    if (!view) return;
    m_stack->setCurrentWidget(view);
    view->setPresenter(presenter());
    view->viewDidAppear();
    // Another view: the search bar takes its text, even under the same title.
    m_searchBarSetup.clear();
    refreshSearchBar();
    emit actionsChanged();
}

void ExtensionCommandView::refreshSearchBar() {
    const QString setup = title() + QLatin1Char('\n') + (usesSearchBar() ? QLatin1Char('1') : QLatin1Char('0')) + searchPlaceholder();
    if (setup == m_searchBarSetup) return;
    m_searchBarSetup = setup;
    emit searchBarChanged();
}

LauncherView* ExtensionCommandView::currentView() const {
    return dynamic_cast<LauncherView*>(m_controller ? m_controller->currentView() : nullptr);
}

bool ExtensionCommandView::isShowingFailure() const { return !m_failure->isHidden(); }
QString ExtensionCommandView::failureText() const { return m_failure->isHidden() ? QString() : m_failure->text(); }
bool ExtensionCommandView::isShowingProgress() const { return !m_progress->isHidden(); }

std::optional<MenuItem> ExtensionCommandView::reloadAction() const {
    if (!m_options.reload) return std::nullopt;
    MenuItem item = MenuItem::make(QStringLiteral("reload"), QStringLiteral("Reload"), [reload = m_options.reload, id = m_options.commandId] {
        viewLog().info(QStringLiteral("Reload command: ") + id);
        reload();
        return CommandOutcome::handled();
    });
    if (m_options.reloadShortcut) item.shortcuts.push_back(KeyCombination{m_options.reloadShortcut->modifiers, m_options.reloadShortcut->key});
    return item;
}

QString ExtensionCommandView::title() const {
    const LauncherView* view = currentView();
    const QString inner = view ? view->title() : QString();
    return inner.isEmpty() ? m_options.title : inner;
}

bool ExtensionCommandView::usesSearchBar() const {
    const LauncherView* view = currentView();
    return view && view->usesSearchBar();
}

QString ExtensionCommandView::searchPlaceholder() const {
    const LauncherView* view = currentView();
    return view ? view->searchPlaceholder() : LauncherView::searchPlaceholder();
}

void ExtensionCommandView::searchTextChanged(const QString& text) {
    if (LauncherView* view = currentView()) view->searchTextChanged(text);
}

QString ExtensionCommandView::searchText() const {
    const LauncherView* view = currentView();
    return view ? view->searchText() : QString();
}

std::vector<MenuItem> ExtensionCommandView::actions() const {
    const LauncherView* view = currentView();
    std::vector<MenuItem> out = view ? view->actions() : std::vector<MenuItem>{};
    if (out.empty())
        if (auto reload = reloadAction()) out.push_back(*reload);
    return out;
}

bool ExtensionCommandView::handleKey(QKeyEvent* event) {
    LauncherView* view = currentView();
    return view && view->handleKey(event);
}

bool ExtensionCommandView::goBack() { return m_controller->navigateBack(); }

void ExtensionCommandView::viewDidAppear() {
    m_controller->setStatus(views::CommandViewModel::Status::active);
    if (LauncherView* view = currentView()) view->viewDidAppear();
}

void ExtensionCommandView::focusInEvent(QFocusEvent* event) {
    LauncherView::focusInEvent(event);
    if (LauncherView* view = currentView()) view->setFocus(event->reason());
}

void ExtensionCommandView::viewWillDisappear() { m_controller->setStatus(views::CommandViewModel::Status::background); }

}  // namespace vantrel
