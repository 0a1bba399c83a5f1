#include "features/quicklinks/QuicklinksFeature.h"

#include "core/api/FeatureContext.h"
#include "core/api/LauncherPresenter.h"
#include "core/commands/LinkDetector.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "data/SearchRecord.h"
#include "data/SearchRepository.h"
#include "features/quicklinks/QuicklinkActions.h"
#include "features/quicklinks/QuicklinkIcons.h"
#include "features/quicklinks/QuicklinkLink.h"
#include "features/quicklinks/QuicklinksCli.h"
#include "features/quicklinks/QuicklinksService.h"
#include "features/quicklinks/QuicklinksSource.h"
#include "features/quicklinks/ui/QuicklinkFormView.h"
#include "features/quicklinks/ui/QuicklinksPreferencesPage.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"
#include "search/Search.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Quicklinks"), QStringLiteral("🔗")});
    return logger;
}

const PackageIdentifier kPackage(QStringLiteral("quicklinks"));

}  // namespace

QuicklinksFeature::QuicklinksFeature() = default;

QuicklinksFeature::~QuicklinksFeature() {
    m_subscriptions.reset();
    if (m_source) m_source->detach();
}

void QuicklinksFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    auto repository = std::make_shared<QuicklinksRepository>(context.search().search().repository()->dbConnection);
    m_service = std::make_unique<QuicklinksService>(std::move(repository), &context.center());
    m_source = std::make_shared<QuicklinksSource>(*m_service, &context.center());
    context.addDataSource(m_source);

    // A change made by another process (`vantrel quicklinks add`) reaches the
    // running launcher as a configuration change of the package.
    m_subscriptions = std::make_unique<QObject>();
    QuicklinksSource* source = m_source.get();
    context.center().addObserver(QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
                                 [source](const Notification& notice) {
                                     if (notice.object.toString() == kPackage.rawValue) source->rebuild();
                                 });

    QuicklinksService* service = m_service.get();
    FeatureContext* shared = &context;
    context.addItemResolver([service, shared](const SearchItem& result, const QString& searchText,
                                                    ListItem& item) {
        if (result.result().type() != SearchRecord::ContentType::quicklink) return false;
        const std::optional<qint64> id = QuicklinksService::idFromKey(result.identifier());
        if (!id) return false;
        std::optional<QuicklinkRecord> link;
        try {
            link = service->quicklink(*id);
        } catch (const std::exception& error) {
            log().error("Cannot read quicklink", {{QStringLiteral("error"), VantrelError::describe(error)}});
        }
        if (!link) return false;
        item.title = link->name;
        item.subtitle = QStringLiteral("Quicklink");
        item.icon = quicklinkIcon(*link);
        const bool hasArgument = quicklinkPlaceholder(link->urlString).has_value();
        item.kind = hasArgument ? ListItem::Kind::inputCommand : ListItem::Kind::command;
        if (hasArgument) item.inputCommand = std::make_shared<QuicklinkCommand>(*link);
        RootSearchController* controller = shared->rootSearch();
        const QString key = result.identifier();
        item.actionProvider = std::make_shared<QuicklinkActionProvider>(
            *link, &shared->search().search(), searchText,
            [controller, key] { return controller ? controller->argumentValues(key) : QStringList(); }, service,
            shared->presenter(), shared->environment());
        return true;
    });
    // The quicklinks by id, for what runs them outside of a row (their hotkey, a link).
    context.addCommandResolver([this, service](const QString& id) -> std::shared_ptr<const VantrelCommand> {
        const std::optional<qint64> number = QuicklinksService::idFromKey(id);
        if (!number) return nullptr;
        std::optional<QuicklinkRecord> link;
        try {
            link = service->quicklink(*number);
        } catch (const std::exception&) {
            return nullptr;
        }
        if (!link) return nullptr;
        auto command = std::make_shared<VantrelPackageCommand>();
        command->commandId = CommandIdentifier(id);
        command->commandPackageId = kPackage;
        command->name = link->name;
        command->viewControllerRepresented = false;
        const QuicklinkRecord record = *link;
        command->runner = [this, record](const CommandRunContext& run) { return this->run(record, run.arguments); };
        return command;
    });

    // "Delete All Quicklinks", the package's one listed command.
    BuiltinCommand::Definition deleteAll;
    deleteAll.id = QString(deleteAllCommandId);
    deleteAll.packageId = kPackage.rawValue;
    deleteAll.displayName = QStringLiteral("Delete All Quicklinks");
    deleteAll.isViewControllerRepresented = false;
    deleteAll.icon = IconSet{ImageResource::named(QStringLiteral("command-quicklinks-16")), std::nullopt};
    context.registry().setPackageCommands(
        kPackage, {std::make_shared<BuiltinCommand>(std::move(deleteAll), &context.registry())});
    context.addCommandHandler(QString(deleteAllCommandId),
                              [service, shared](const VantrelCommand&, const CommandRunContext&) {
                                  const auto erase = [service]() -> CommandOutcome {
                                      try {
                                          service->removeAll();
                                      } catch (const std::exception& error) {
                                          return CommandOutcome::failed(QStringLiteral("Unable to delete quicklinks"),
                                                                        VantrelError::describe(error));
                                      }
                                      return CommandOutcome::done(QStringLiteral("Deleted all quicklinks"));
                                  };
                                  LauncherPresenter* presenter = shared->presenter();
                                  if (!presenter) return erase();
                                  Alert alert;
                                  alert.title = QStringLiteral("Delete All Quicklinks?");
                                  alert.message = QStringLiteral("Every quicklink will be deleted. This cannot be undone.");
                                  alert.confirmTitle = QStringLiteral("Delete All");
                                  alert.destructive = true;
                                  presenter->confirm(alert, [presenter, erase](bool confirmed) {
                                      if (confirmed) presenter->handleOutcome(erase());
                                  });
                                  return CommandOutcome::done();
                              });

    // The forms: create (empty, or with the link of the search bar), update and duplicate.
    context.addCommandHandler(QStringLiteral("createQuicklink"), [](const VantrelCommand&, const CommandRunContext&) {
        return CommandOutcome::showView(QStringLiteral("createQuicklink"));
    });
    context.addCommandHandler(QStringLiteral("createQuicklinkWithURL"),
                              [](const VantrelCommand&, const CommandRunContext& run) {
                                  const auto links = LinkDetector::links(run.inputText());
                                  QString link = links.empty() ? run.inputText() : links.front().text;
                                  if (!link.isEmpty() && !link.contains(QLatin1String("://")) && !link.startsWith(QLatin1Char('/')) &&
                                      !link.startsWith(QLatin1Char('~')))
                                      link.prepend(QStringLiteral("https://"));
                                  return CommandOutcome::showView(QStringLiteral("createQuicklinkWithURL"), link);
                              });
    const auto form = [service](QuicklinkForm::Mode mode, QuicklinkRecord base) -> QWidget* {
        return new QuicklinkFormView(*service, mode, std::move(base), QuicklinkFormView::browserApplications());
    };
    context.addView(QStringLiteral("createQuicklink"),
                    [form](const CommandOutcome&) { return form(QuicklinkForm::Mode::create, {}); });
    context.addView(QStringLiteral("createQuicklinkWithURL"), [form](const CommandOutcome& outcome) {
        QuicklinkRecord prefilled;
        prefilled.urlString = outcome.initialQuery;
        return form(QuicklinkForm::Mode::create, prefilled);
    });
    for (const auto& [viewId, mode] : {std::pair{QuicklinkActionProvider::updateViewId, QuicklinkForm::Mode::update},
                                       std::pair{QuicklinkActionProvider::duplicateViewId, QuicklinkForm::Mode::duplicate}}) {
        const QuicklinkForm::Mode formMode = mode;
        context.addView(QString(viewId), [service, form, formMode](const CommandOutcome& outcome) -> QWidget* {
            const auto link = service->quicklink(outcome.arguments.value(0));
            if (!link) return nullptr;
            return form(formMode, *link);
        });
    }
    context.addPreferencePage({QStringLiteral("Quicklinks"), QStringLiteral("quicklinks"),
                               [service]() -> QWidget* { return new QuicklinksPreferencesPage(*service); }});

    context.addCliCommand(QStringLiteral("quicklinks"), [service, source, shared](const QStringList& arguments) {
        return std::optional<int>(quicklinks::quicklinksCommand(*service, *source, *shared, arguments));
    });
    context.addCliCommand(QStringLiteral("run"), [service, shared](const QStringList& arguments) -> std::optional<int> {
        if (arguments.isEmpty()) return std::nullopt;
        return quicklinks::runQuicklink(*service, *shared, arguments.first(), arguments.mid(1));
    });
    context.addHotkeyHandler(int(SearchRecord::ContentType::quicklink), [this, service](const SearchRecord& record) {
        const std::optional<qint64> id = QuicklinksService::idFromKey(record.key);
        const std::optional<QuicklinkRecord> link = id ? service->quicklink(*id) : std::nullopt;
        if (!link) {
            log().warning("No quicklink for the hotkey", {{QStringLiteral("key"), record.key}});
            return;
        }
        const CommandOutcome outcome = run(*link, {});
        if (LauncherPresenter* presenter = m_context->presenter()) presenter->handleOutcome(outcome);
    });
}

CommandOutcome QuicklinksFeature::run(const QuicklinkRecord& link, const QStringList& values) const {
    const QString key = QuicklinksService::key(link.id.value_or(0));
    QuicklinkCommand command(link);
    if (firstMissingArgument(command.parameters(), values)) return CommandOutcome::showArguments(key, values);
    QuicklinkActionProvider provider(
        link, m_context ? &m_context->search().search() : nullptr, QString(), [values] { return values; },
        m_service.get(), m_context ? m_context->presenter() : nullptr, m_context ? m_context->environment() : nullptr);
    return provider.open();
}

}  // namespace vantrel
