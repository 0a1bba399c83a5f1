#include "features/clipboard/ClipboardFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "features/clipboard/ClipboardActions.h"
#include "features/clipboard/ClipboardCli.h"
#include "features/clipboard/ClipboardHistory.h"
#include "features/clipboard/ui/ClipboardHistoryView.h"
#include "features/clipboard/ui/ClipboardPreferencesPage.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "platform/Platform.h"
#include "platform/SystemClipboard.h"
#include "search/Search.h"

#include <QDir>
#include <QUrlQuery>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ClipboardHistory"), QStringLiteral("📋")});
    return logger;
}

const QString kCommandId = QStringLiteral("clipboardHistory");

}  // namespace

ClipboardFeature::ClipboardFeature() = default;

ClipboardFeature::~ClipboardFeature() {
    m_actions.reset();
    m_history.reset();
}

void ClipboardFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    ClipboardHistory::Options options;
    options.repository = std::make_shared<ClipboardRepository>(context.search().search().repository()->dbConnection);
    options.registry = &context.registry();
    options.center = &context.center();
    options.imageDirectory = QDir(Paths::dataDir()).filePath(QStringLiteral("Clipboard"));
    m_history = std::make_unique<ClipboardHistory>(std::move(options));
    FeatureContext* shared = &context;
    m_actions = std::make_unique<ClipboardActions>(*m_history, [shared] { return shared->presenter(); });

    // The text that found the command in root search is not a filter of the history.
    context.addCommandHandler(kCommandId, [](const VantrelCommand&, const CommandRunContext&) {
        return CommandOutcome::showView(kCommandId);
    });
    ClipboardHistory* history = m_history.get();
    ClipboardActions* actions = m_actions.get();
    NotificationCenter* center = &context.center();
    context.addView(kCommandId, [history, actions, center](const CommandOutcome& outcome) -> QWidget* {
        return new ClipboardHistoryView(*history, *actions, outcome.initialQuery, center);
    });
    context.addRoute(QStringLiteral("clipboard/list"),
                     [history](const QUrl& url) { return clipboard::listRoute(*history, url); });
    for (const char* action : {"copy", "paste", "pin", "unpin", "delete", "delete-all"})
        context.addRoute(QStringLiteral("clipboard/") + QLatin1String(action),
                         [this](const QUrl& url) { return route(url); });
    context.addCliCommand(QStringLiteral("clipboard"), [history](const QStringList& arguments) -> std::optional<int> {
        return clipboard::clipboardCommand(*history, arguments);
    });
    PackageRegistry* registry = &context.registry();
    context.addPreferencePage({QStringLiteral("Clipboard History"), QStringLiteral("clipboard-history"),
                               [registry, this]() -> QWidget* {
                                   return new ClipboardPreferencesPage(*registry, m_unavailable);
                               }});
}

void ClipboardFeature::start() {
    if (!m_history || m_started) return;
    m_started = true;
    const Platform& desktop = platform();
    if (desktop.clipboardLimitation) {
        m_unavailable = desktop.clipboardLimitation();
        if (!m_unavailable.isEmpty()) log().warning(m_unavailable);
    }
    std::shared_ptr<SystemClipboard> clipboard = desktop.makeClipboard ? desktop.makeClipboard() : nullptr;
    if (!clipboard) {
        if (m_unavailable.isEmpty()) m_unavailable = QStringLiteral("This desktop gives no access to its clipboard.");
        log().warning("Clipboard history cannot watch the clipboard on this desktop");
        return;
    }
    m_history->setClipboard(std::move(clipboard));
    if (desktop.makePasteInjector) m_actions->setInjector(desktop.makePasteInjector());
    m_history->start();
}

bool ClipboardFeature::isTerminal(const ForeignApplication& application) const {
    return ClipboardActions::isTerminal(application);
}

CommandOutcome ClipboardFeature::pasteText(const QString& text, bool direct) {
    if (!m_actions) return CommandOutcome::failed(QStringLiteral("Could not paste"), QStringLiteral("There is no clipboard to write to"));
    return m_actions->pasteText(text, direct);
}

CommandOutcome ClipboardFeature::copyText(const QString& text) {
    if (!m_actions) return CommandOutcome::failed(QStringLiteral("Could not copy"), QStringLiteral("There is no clipboard to write to"));
    return m_actions->copyText(text);
}

CommandOutcome ClipboardFeature::route(const QUrl& url) {
    const QString action = url.path().mid(1);
    if (action == QLatin1String("delete-all")) {
        const qsizetype count = m_history->deleteAll();
        return CommandOutcome::done(QStringLiteral("Deleted %1 entries").arg(count));
    }
    bool ok = false;
    const qint64 id = QUrlQuery(url).queryItemValue(QStringLiteral("id")).toLongLong(&ok);
    std::optional<ClipboardRecord> record;
    if (ok) record = m_history->record(id);
    if (!record) return CommandOutcome::failed(QStringLiteral("Clipboard record not found"), {});
    CommandOutcome outcome;
    if (action == QLatin1String("copy")) {
        outcome = m_actions->copy(*record);
    } else if (action == QLatin1String("paste")) {
        outcome = m_actions->paste(*record, false);
        if (outcome.kind == CommandOutcome::Kind::done && outcome.hudText.isEmpty())
            outcome.hudText = QStringLiteral("Pasted");
    } else if (action == QLatin1String("pin") || action == QLatin1String("unpin")) {
        outcome = m_actions->setPinned(*record, action == QLatin1String("pin"));
        outcome.hudText = outcome.toastTitle;
    } else if (action == QLatin1String("delete")) {
        outcome = m_actions->remove(*record);
        outcome.hudText = outcome.toastTitle;
    } else {
        return CommandOutcome::failed(QStringLiteral("Unknown clipboard action"), action);
    }
    return outcome;
}

}  // namespace vantrel
