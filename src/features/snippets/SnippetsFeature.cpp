#include "features/snippets/SnippetsFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "features/clipboard/ClipboardApi.h"
#include "features/snippets/SnippetAliasMonitor.h"
#include "features/snippets/SnippetsCli.h"
#include "features/snippets/SnippetsService.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"
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

}  // namespace

SnippetsFeature::SnippetsFeature() = default;

SnippetsFeature::~SnippetsFeature() {
    m_monitor.reset();
    m_service.reset();
}

void SnippetsFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    m_service = std::make_unique<SnippetsService>(
        std::make_shared<SnippetsRepository>(context.search().search().repository()->dbConnection));
    for (const char* action : {"add", "remove", "import", "refresh"})
        context.addRoute(QStringLiteral("snippets/") + QLatin1String(action), [this](const QUrl& url) { return route(url); });
    SnippetsService* service = m_service.get();
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
    options.keyboard = desktop.makeKeyboardMonitor ? desktop.makeKeyboardMonitor() : nullptr;
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
                        [this](const Notification&) { followSwitch(); });
    followSwitch();
}

void SnippetsFeature::followSwitch() {
    const bool enabled = m_context->registry()
                             .boolValue(PackageIdentifier(QString(SnippetsService::packageId)),
                                        QString(SnippetsService::keywordsEnabledKey))
                             .value_or(true);
    if (!enabled) {
        m_monitor->stop();
        return;
    }
    if (m_monitor->isStarted()) return;
    QString problem;
    if (m_monitor->start(&problem)) {
        m_problem.clear();
    } else {
        m_problem = problem;
        log().warning(QStringLiteral("Snippet keywords are not expanded: ") + problem);
    }
}

}  // namespace vantrel
