#include "features/snippets/SnippetsFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "features/clipboard/ClipboardApi.h"
#include "features/snippets/SnippetActions.h"
#include "features/snippets/SnippetAliasMonitor.h"
#include "features/snippets/SnippetsCli.h"
#include "features/snippets/SnippetsService.h"
#include "features/snippets/SnippetsSource.h"
#include "features/snippets/ui/SnippetFormView.h"
#include "features/snippets/ui/SnippetsPreferencesPage.h"
#include "features/snippets/ui/SnippetsView.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"
#include "platform/AccessibleFocus.h"
#include "platform/KeyboardMonitor.h"
#include "platform/Platform.h"
#include "platform/SystemClipboard.h"
#include "search/Search.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrlQuery>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Snippets"), QStringLiteral("✂️")});
    return logger;
}

std::vector<ClipboardFormat> readClipboard() {
    std::vector<ClipboardFormat> formats;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
    if (!data) return formats;
    for (const QString& type : data->formats()) {
        // Qt's own offers of the same content under other names.
        if (type.startsWith(QLatin1String("application/x-qt"))) continue;
        formats.push_back({type, data->data(type)});
    }
    return formats;
}

QString clipboardText() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->text() : QString();
}

PackageIdentifier package() {
    return PackageIdentifier(QString(SnippetsService::packageId));
}

TextInjectEngine::Mode engineMode(SnippetInjectionSetting setting) {
    switch (setting) {
        case SnippetInjectionSetting::keys:
            return TextInjectEngine::Mode::keyEvent;
        case SnippetInjectionSetting::clipboard:
            return TextInjectEngine::Mode::clipboard;
        case SnippetInjectionSetting::automatic:
            break;
    }
    return TextInjectEngine::Mode::automatic;
}

// What stands in the way of expansion, in words for the user.
const QString kNeedsX11 = QStringLiteral(
    "Vantrel needs an X11 session in order to insert snippets. Keywords are not expanded in this session.");
const QString kMonitorFailed = QStringLiteral("Vantrel could not watch the keyboard in order to insert snippets: ");

}  // namespace

SnippetsFeature::SnippetsFeature() = default;

SnippetsFeature::~SnippetsFeature() {
    m_subscriptions.reset();
    m_monitor.reset();
    if (m_source) m_source->detach();
    m_actions.reset();
    m_service.reset();
}

void SnippetsFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    m_service = std::make_unique<SnippetsService>(
        std::make_shared<SnippetsRepository>(context.search().search().repository()->dbConnection));
    SnippetsService* service = m_service.get();
    FeatureContext* shared = &context;

    SnippetActions::Dependencies dependencies;
    dependencies.service = service;
    dependencies.registry = &context.registry();
    dependencies.clipboard = [shared] { return shared->api<ClipboardApi>(); };
    dependencies.presenter = [shared] { return shared->presenter(); };
    dependencies.clipboardText = clipboardText;
    m_actions = std::make_unique<SnippetActions>(std::move(dependencies));
    SnippetActions* actions = m_actions.get();

    // Root search: every snippet, found by its name and its keyword.
    Search* search = &context.search().search();
    m_source = std::make_shared<SnippetsSource>(*service, search);
    context.addDataSource(m_source);
    context.addItemResolver([service, actions, search](const SearchItem& result, const QString& searchText,
                                                       ListItem& item) {
        if (result.result().type() != SearchRecord::ContentType::snippet) return false;
        const std::optional<qint64> id = SnippetsSource::idFromKey(result.identifier());
        if (!id) return false;
        std::optional<SnippetRecord> snippet;
        try {
            snippet = service->record(*id);
        } catch (const std::exception& error) {
            log().error("Cannot read snippet", {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
        if (!snippet) return false;
        item.title = snippet->name;
        item.subtitle = QStringLiteral("Snippet");
        item.icon = snippet->category == SnippetRecord::Category::color ? ImageResource::emoji(QStringLiteral("🎨"))
                                                                        : ImageResource::named(QStringLiteral("snippets"));
        item.kind = ListItem::Kind::other;
        item.actionProvider = std::make_shared<SnippetActionProvider>(*snippet, *actions, search, searchText);
        return true;
    });

    // "Search Snippets", "Create Snippet" and the forms of one snippet.
    context.addCommandHandler(QString(searchCommandId), [](const VantrelCommand&, const CommandRunContext&) {
        return CommandOutcome::showView(QString(searchCommandId));
    });
    context.addView(QString(searchCommandId), [service, actions](const CommandOutcome& outcome) -> QWidget* {
        return new SnippetsView(*service, *actions, outcome.initialQuery);
    });
    context.addCommandHandler(QString(createCommandId), [](const VantrelCommand&, const CommandRunContext&) {
        return CommandOutcome::showView(QString(createCommandId));
    });
    context.addView(QString(createCommandId), [this, service](const CommandOutcome&) -> QWidget* {
        return new SnippetFormView(*service, SnippetFormView::Mode::create, {}, m_problem);
    });
    for (const auto& [viewId, mode] :
         {std::pair{SnippetActions::updateViewId, SnippetFormView::Mode::update},
          std::pair{SnippetActions::duplicateViewId, SnippetFormView::Mode::duplicate}}) {
        const SnippetFormView::Mode formMode = mode;
        context.addView(QString(viewId), [this, service, formMode](const CommandOutcome& outcome) -> QWidget* {
            std::optional<SnippetRecord> snippet;
            try {
                snippet = service->record(outcome.arguments.value(0).toLongLong());
            } catch (const std::exception& error) {
                log().error("Cannot read snippet", {{QStringLiteral("error"), VantrelError::describe(error)}});
            }
            if (!snippet) return nullptr;
            return new SnippetFormView(*service, formMode, *snippet, m_problem);
        });
    }

    PackageRegistry* registry = &context.registry();
    context.addPreferencePage({QStringLiteral("Snippets"), QStringLiteral("snippets"), [this, registry]() -> QWidget* {
                                   return new SnippetsPreferencesPage(*registry, [this] { return m_problem; });
                               }});

    for (const char* action : {"add", "remove", "import", "refresh"})
        context.addRoute(QStringLiteral("snippets/") + QLatin1String(action), [this](const QUrl& url) { return route(url); });
    context.addCliCommand(QStringLiteral("snippets"), [service](const QStringList& arguments) -> std::optional<int> {
        return snippets::snippetsCommand(*service, arguments);
    });
}

CommandOutcome SnippetsFeature::route(const QUrl& url) {
    const snippets::ChangeResult result = snippets::applyChange(*m_service, url.path().mid(1), QUrlQuery(url));
    if (!result.ok) return CommandOutcome::failed(result.message, {});
    return CommandOutcome::done(result.message);
}

void SnippetsFeature::start() {
    if (!m_service || m_monitor) return;
    const Platform& desktop = platform();
    SnippetAliasMonitor::Options options;
    options.service = m_service.get();
    // Keys are watched and pressed on X11 only: under Wayland the compositor
    // keeps other applications' keys to itself.
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    if (!wayland && desktop.makeKeyboardMonitor) options.keyboard = desktop.makeKeyboardMonitor();
    TextInjectEngine::Dependencies& injection = options.injection;
    injection.keyboard = options.keyboard;
    injection.clipboard = desktop.makeClipboard ? desktop.makeClipboard() : nullptr;
    injection.readClipboard = readClipboard;
    std::shared_ptr<PasteInjector> windows = desktop.makePasteInjector ? desktop.makePasteInjector() : nullptr;
    injection.focusedApplication = [windows]() -> std::optional<ForeignApplication> {
        if (!windows) return std::nullopt;
        return windows->lastForeignWindow();
    };
    const ClipboardApi* clipboardApi = m_context->api<ClipboardApi>();
    injection.isTerminal = [clipboardApi](const ForeignApplication& application) {
        return clipboardApi && clipboardApi->isTerminal(application);
    };
    injection.transientType = QString(ClipboardApi::transientType);
    injection.restoredType = QString(ClipboardApi::restoredType);
    injection.accessibility = desktop.makeAccessibleFocus ? desktop.makeAccessibleFocus() : nullptr;
    if (injection.accessibility && !injection.accessibility->isAvailable())
        log().info("No accessibility bus: password fields cannot be told apart from other fields");
    options.ownWindowFocused = [] { return QGuiApplication::focusWindow() != nullptr; };
    NotificationCenter* center = &m_context->center();
    SnippetsService* service = m_service.get();
    options.expanded = [center, service](const SnippetRecord& snippet) {
        if (snippet.id) {
            try {
                service->markUsed(*snippet.id);
            } catch (const std::exception& failure) {
                log().error(QStringLiteral("Could not update snippet record. ") + VantrelError::describe(failure));
            }
        }
        center->post(QString(NotificationNames::didMatchSnippetAlias), QVariant::fromValue(snippet.id.value_or(0)));
    };
    m_monitor = std::make_unique<SnippetAliasMonitor>(std::move(options));
    m_subscriptions = std::make_unique<QObject>();
    m_service->changed.connect(m_subscriptions.get(), [this] {
        if (m_monitor) m_monitor->refreshSnippetRecords();
    });
    center->addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                        [this](const Notification& notice) {
                            const QString id = notice.object.toString();
                            if (id.isEmpty() || id == package().rawValue) followSettings();
                        });
    if (m_source) m_source->syncAliases();
    followSettings();
}

void SnippetsFeature::followSettings() {
    PackageRegistry& registry = m_context->registry();
    m_monitor->setTriggerCharacter(SnippetsService::triggerFromRaw(
        registry.stringValue(package(), QString(SnippetsService::triggerCharacterKey)).value_or(QString())));
    m_monitor->setInjectionMode(engineMode(SnippetsService::injectionSettingFromRaw(
        registry.stringValue(package(), QString(SnippetsService::injectionModeKey)).value_or(QString()))));
    const bool enabled = registry.boolValue(package(), QString(SnippetsService::keywordsEnabledKey)).value_or(true);
    if (!enabled) {
        m_monitor->stop();
        return;
    }
    if (m_monitor->isStarted()) return;
    QString problem;
    if (m_monitor->start(&problem)) {
        m_problem.clear();
    } else {
        m_problem = problem.isEmpty() ? kNeedsX11 : kMonitorFailed + problem;
        log().warning(QStringLiteral("Snippet keywords are not expanded: ") + m_problem);
    }
}

}  // namespace vantrel
