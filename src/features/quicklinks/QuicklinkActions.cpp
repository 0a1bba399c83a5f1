#include "features/quicklinks/QuicklinkActions.h"

#include "core/api/LauncherPresenter.h"
#include "features/quicklinks/QuicklinkIcons.h"
#include "features/quicklinks/QuicklinkLink.h"
#include "features/quicklinks/QuicklinksService.h"
#include "kit/Logger.h"
#include "kit/UrlEncoding.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"
#include "search/Search.h"

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Quicklinks"), QStringLiteral("🔗")});
    return logger;
}

void openWithDefault(const QUrl& url, const LauncherEnvironment* environment) {
    if (environment && environment->openUrl)
        environment->openUrl(url);
    else
        openOnDesktop(url);
}

}  // namespace

QuicklinkCommand::QuicklinkCommand(QuicklinkRecord link) : m_link(std::move(link)) {}

QString QuicklinkCommand::id() const {
    return QuicklinksService::key(m_link.id.value_or(0));
}

std::vector<std::shared_ptr<const CommandParameter>> QuicklinkCommand::parameters() const {
    if (const std::optional<QString> placeholder = quicklinkPlaceholder(m_link.urlString))
        return {std::make_shared<QuicklinkArgument>(*placeholder)};
    return {};
}

IconSet QuicklinkCommand::icon() const {
    return IconSet{quicklinkIcon(m_link), std::nullopt};
}

QuicklinkOpening openQuicklink(const QuicklinkRecord& link, const QStringList& values,
                               const LauncherEnvironment* environment) {
    QuicklinkOpening opening;
    QStringList encoded;
    for (const QString& value : values) encoded << percentEncodedForQuery(value);
    const std::optional<QuicklinkTarget> target = buildQuicklink(link.urlString, encoded);
    if (!target) {
        opening.result = QuicklinkOpening::Result::invalidInputs;
        return opening;
    }
    opening.url = target->url;
    try {
        QString desktopFile;
        if (!link.applicationID.isEmpty()) {
            const auto& desktop = platform().desktop;
            desktopFile = desktop ? desktop->desktopFilePathForId(link.applicationID) : QString();
            if (desktopFile.isEmpty()) {
                opening.applicationMissing = true;
                log().warning("The quicklink's application is not installed: opening with the default one",
                              {{QStringLiteral("application"), link.applicationID}});
            }
        }
        if (!desktopFile.isEmpty())
            launchOnDesktop(desktopFile, {target->url});
        else
            openWithDefault(target->url, environment);
        opening.result = QuicklinkOpening::Result::opened;
    } catch (const std::exception& error) {
        opening.result = QuicklinkOpening::Result::failed;
        opening.error = VantrelError::describe(error);
        log().error("Unable to open Quicklink", {{QStringLiteral("error"), opening.error}});
    }
    return opening;
}

QuicklinkActionProvider::QuicklinkActionProvider(QuicklinkRecord link, Search* search, QString searchText,
                                                 ArgumentsProvider argumentsProvider, QuicklinksService* service,
                                                 LauncherPresenter* presenter, const LauncherEnvironment* environment)
    : m_link(std::move(link)),
      m_search(search),
      m_searchText(std::move(searchText)),
      m_argumentsProvider(std::move(argumentsProvider)),
      m_service(service),
      m_presenter(presenter),
      m_environment(environment) {}

std::vector<MenuItem> QuicklinkActionProvider::menuItems() const {
    const QString name = m_link.name;
    const QString link = m_link.urlString;
    const QString id = QString::number(m_link.id.value_or(0));
    MenuItem open = MenuItem::make(QString(openId), QStringLiteral("Open Quicklink"), [this] { return this->open(); });
    MenuItem copyName = MenuItem::make(QString(copyNameId), QStringLiteral("Copy Name"), [name] {
        return CommandOutcome::copied(name, QStringLiteral("Copied Name to Clipboard"));
    });
    MenuItem copyLink = MenuItem::make(QString(copyURLId), QStringLiteral("Copy Link"), [link] {
        return CommandOutcome::copied(link, QStringLiteral("Copied Link to Clipboard"));
    });
    MenuItem configure = MenuItem::make(QString(configureId), QStringLiteral("Configure Quicklink"),
                                        [id] { return CommandOutcome::showView(QString(updateViewId), {}, {id}); });
    MenuItem duplicate = MenuItem::make(QString(duplicateId), QStringLiteral("Duplicate Quicklink"),
                                        [id] { return CommandOutcome::showView(QString(duplicateViewId), {}, {id}); });
    MenuItem remove = MenuItem::make(
        QString(deleteId), QStringLiteral("Delete Quicklink"), [this] { return this->remove(); },
        MenuItem::ActionType::destructive);
    return {open, copyName, copyLink, configure, duplicate, remove};
}

CommandOutcome QuicklinkActionProvider::open() const {
    const QStringList values = m_argumentsProvider ? m_argumentsProvider() : QStringList();
    const QuicklinkOpening opening = openQuicklink(m_link, values, m_environment);
    switch (opening.result) {
        case QuicklinkOpening::Result::invalidInputs:
            return CommandOutcome::failed(QStringLiteral("Please enter valid inputs"), QString());
        case QuicklinkOpening::Result::failed:
            return CommandOutcome::failed(QStringLiteral("Unable to open Quicklink"), opening.error);
        case QuicklinkOpening::Result::opened:
            break;
    }
    recordVisit();
    if (opening.applicationMissing) {
        // The link opened, only not where the user asked: the window stays to say so.
        CommandOutcome outcome =
            CommandOutcome::done(QStringLiteral("Opened with the default application: ") + m_link.applicationID +
                                 QStringLiteral(" is not installed"));
        outcome.toastTitle = QStringLiteral("Application not found, opened with the default application");
        return outcome;
    }
    return CommandOutcome::done();
}

CommandOutcome QuicklinkActionProvider::remove() const {
    if (!m_service || !m_link.id) return CommandOutcome::failed(QStringLiteral("Failed to delete Quicklink - "), {});
    QuicklinksService* service = m_service;
    const qint64 id = *m_link.id;
    LauncherPresenter* presenter = m_presenter;
    const auto erase = [service, id]() -> CommandOutcome {
        try {
            service->remove(id);
        } catch (const std::exception& error) {
            return CommandOutcome::failed(QStringLiteral("Failed to delete Quicklink - ") + VantrelError::describe(error),
                                          QString());
        }
        CommandOutcome outcome = CommandOutcome::done();
        outcome.toastTitle = QStringLiteral("Quicklink deleted");
        return outcome;
    };
    if (!presenter) return erase();
    Alert alert;
    alert.title = QStringLiteral("Delete Quicklink?");
    alert.message = QStringLiteral("\"") + m_link.name + QStringLiteral("\" will be deleted. This cannot be undone.");
    alert.confirmTitle = QStringLiteral("Delete");
    alert.destructive = true;
    presenter->confirm(alert, [presenter, erase](bool confirmed) {
        if (!confirmed) return;
        const CommandOutcome outcome = erase();
        if (outcome.kind == CommandOutcome::Kind::failed)
            presenter->showToast({Toast::Style::failure, outcome.title, outcome.message});
        else
            presenter->showToast({Toast::Style::success, outcome.toastTitle, {}});
    });
    return CommandOutcome::done();
}

void QuicklinkActionProvider::recordVisit() const {
    if (!m_search || !m_link.id) return;
    const QString key = QuicklinksService::key(*m_link.id);
    try {
        if (const auto record = m_search->repository()->record(key))
            m_search->visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit, m_searchText);
        else
            log().warning("No search record to visit", {{QStringLiteral("key"), key}});
    } catch (const std::exception& error) {
        log().error("Cannot record visit", {{QStringLiteral("key"), key}, {QStringLiteral("error"), VantrelError::describe(error)}});
    }
}

}  // namespace vantrel
