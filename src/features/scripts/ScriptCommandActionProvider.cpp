#include "features/scripts/ScriptCommandActionProvider.h"

#include "core/api/LauncherPresenter.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "features/scripts/CommandScheduler.h"
#include "features/scripts/DashboardActionProvider.h"
#include "features/scripts/ScriptCommandRunner.h"
#include "features/scripts/ScriptVantrelCommand.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/UrlEncoding.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/FileManager.h"
#include "platform/Platform.h"
#include "search/Search.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <memory>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Script Commands"), QStringLiteral("📜")});
    return logger;
}

MenuItem menuItem(QLatin1String id, QString title, MenuItem::Run run,
                  MenuItem::ActionType type = MenuItem::ActionType::regular) {
    return MenuItem::make(QString(id), std::move(title), std::move(run), type);
}

Toast toast(Toast::Style style, QString title, QString message = {}) {
    return Toast{style, std::move(title), std::move(message)};
}

// Runs one script without an output handler and hands the result over; the
// runner lives until its process ends, whatever happens to the list item
// that started it.
ScriptCommandRunner* startCollectingRun(const ScriptCommand& command, const QStringList& arguments,
                                        std::function<void(const Result<QString>&)> done) {
    auto* runner = new ScriptCommandRunner(command, {}, QCoreApplication::instance());
    runner->run(arguments, [runner, done = std::move(done)](const Result<QString>& result) {
        done(result);
        runner->deleteLater();
    });
    return runner;
}

}  // namespace

ScriptCommandActionProvider::ScriptCommandActionProvider(ScriptCommand command, Search* search, QString searchTerm,
                                                         ArgumentsProvider argumentsProvider,
                                                         LauncherPresenter* presenter, CommandScheduler* scheduler)
    : m_command(std::move(command)),
      m_search(search),
      m_searchTerm(std::move(searchTerm)),
      m_argumentsProvider(std::move(argumentsProvider)),
      m_presenter(presenter),
      m_scheduler(scheduler) {}

std::vector<MenuItem> ScriptCommandActionProvider::menuItems() const {
    std::vector<MenuItem> items{
        menuItem(runId, QStringLiteral("Run Script"), [this] { return runScript(); }),
        menuItem(openWithId, QStringLiteral("Open With"), [this] { return openWith(); }),
        menuItem(showInFileManagerId, QStringLiteral("Show in File Manager"), [this] { return showInFileManager(); }),
        menuItem(duplicateAndOpenId, QStringLiteral("Duplicate and Open Script"),
                 [this] { return duplicateAndOpen(); }),
        menuItem(copyContentsId, QStringLiteral("Copy Script Contents"), [this] { return copyContents(); }),
        menuItem(
            moveToTrashId, QStringLiteral("Move To Trash"), [this] { return moveToTrash(); },
            MenuItem::ActionType::destructive),
    };
    if (m_openWithMenu) {
        // The applications that open the script's type, the default first.
        for (MenuItem& item : items) {
            if (item.id != QLatin1String(openWithId)) continue;
            MenuItem chooser = m_openWithMenu(m_command.scriptPath, m_presenter);
            chooser.id = item.id;
            chooser.title = item.title;
            item = std::move(chooser);
        }
    }
    return items;
}

std::optional<QVariant> ScriptCommandActionProvider::accessory() const {
    if (m_command.runMode != ScriptCommand::RunMode::inline_) return std::nullopt;
    CommandScheduler& scheduler = m_scheduler ? *m_scheduler : CommandScheduler::shared();
    if (const std::optional<CommandRun> run = scheduler.lastRun(m_command)) return QVariant(run->output.plainText());
    return std::nullopt;
}

std::vector<StyledTextRun> inlineOutputRuns(const ScriptCommand& command, CommandScheduler* schedulerOrNull) {
    if (command.runMode != ScriptCommand::RunMode::inline_) return {};
    CommandScheduler& scheduler = schedulerOrNull ? *schedulerOrNull : CommandScheduler::shared();
    const std::optional<CommandRun> run = scheduler.lastRun(command);
    if (!run) return {};
    const auto colour = [](const std::optional<TerminalColor>& color) {
        if (!color) return QString();
        if (color->rgb) return QStringLiteral("#%1").arg(*color->rgb & 0xFFFFFFu, 6, 16, QLatin1Char('0'));
        return color->themeName.value_or(QString());
    };
    std::vector<StyledTextRun> runs;
    for (const TerminalTextRun& piece : run->output.attributesStringValue) {
        if (piece.text.isEmpty()) continue;
        runs.push_back({piece.text, colour(piece.attributes.foreground), colour(piece.attributes.background),
                        piece.attributes.underline, piece.attributes.strikethrough});
    }
    return runs;
}

QStringList ScriptCommandActionProvider::preparedArguments(const ScriptCommand& command, const QStringList& values) {
    QStringList prepared;
    for (qsizetype index = 0; index < values.size(); ++index) {
        const bool encode = index < static_cast<qsizetype>(command.arguments.size()) &&
                            command.arguments[static_cast<std::size_t>(index)].percentEncoded.value_or(false);
        prepared << (encode ? percentEncodedForQuery(values[index]) : values[index]);
    }
    return prepared;
}

QString ScriptCommandActionProvider::lastNonEmptyLine(const QString& output) {
    const QStringList lines = output.split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QString trimmed = line->trimmed();
        if (!trimmed.isEmpty()) return trimmed;
    }
    return {};
}

QString ScriptCommandActionProvider::duplicatePath(const QString& scriptPath) {
    const QFileInfo info(scriptPath);
    const QString folder = info.absolutePath();
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int copy = 1;; ++copy) {
        const QString name =
            base + (copy == 1 ? QStringLiteral(" copy") : QStringLiteral(" copy %1").arg(copy)) + suffix;
        const QString candidate = folder + QLatin1Char('/') + name;
        if (!QFileInfo::exists(candidate)) return candidate;
    }
}

void ScriptCommandActionProvider::recordVisit() const {
    if (!m_search) return;
    try {
        if (const auto record = m_search->repository()->record(m_command.id))
            m_search->visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit, m_searchTerm);
        else
            log().warning("No search record to visit", {{QStringLiteral("key"), m_command.id}});
    } catch (const std::exception& error) {
        log().error("Cannot record visit",
                    {{QStringLiteral("key"), m_command.id}, {QStringLiteral("error"), VantrelError::describe(error)}});
    }
}

CommandOutcome ScriptCommandActionProvider::runScript() const {
    if (!QFileInfo(m_command.scriptPath).isFile())
        return CommandOutcome::failed(QStringLiteral("No script file found at path"), m_command.scriptPath);
    const QStringList values = m_argumentsProvider ? m_argumentsProvider() : QStringList();
    for (std::size_t index = 0; index < m_command.arguments.size(); ++index) {
        const ScriptCommand::Argument& argument = m_command.arguments[index];
        if (argument.optional.value_or(false)) continue;
        const auto position = static_cast<qsizetype>(index);
        if (position >= values.size() || values[position].isEmpty())
            return CommandOutcome::failed(QStringLiteral("Value is missing in argument"), argument.placeholder);
    }
    const QStringList arguments = preparedArguments(m_command, values);
    if (!m_command.needsConfirmationAlert) {
        start(arguments);
        return CommandOutcome::done();
    }
    if (!m_presenter)
        return CommandOutcome::unavailable(
            QStringLiteral("This script asks for confirmation before it runs, which needs the launcher window."));
    Alert alert;
    alert.title = QStringLiteral("Are you sure you want to run that script?");
    alert.message = m_command.displayName;
    alert.icon = m_command.icon;
    alert.confirmTitle = QStringLiteral("Run Script");
    // The provider may be gone by the time the user answers; the answer keeps a copy.
    auto copy = std::make_shared<ScriptCommandActionProvider>(*this);
    m_presenter->confirm(alert, [copy, arguments](bool confirmed) {
        if (confirmed) copy->start(arguments);
    });
    return CommandOutcome::done();
}

void ScriptCommandActionProvider::start(const QStringList& arguments) const {
    recordVisit();
    LauncherPresenter* presenter = m_presenter;
    const ScriptCommand command = m_command;
    switch (m_command.runMode) {
        case ScriptCommand::RunMode::fullOutput:
            if (presenter)
                presenter->handleOutcome(CommandOutcome::showView(command.id, {}, arguments));
            else
                log().warning("No window to show the output of a script", {{QStringLiteral("id"), command.id}});
            return;
        case ScriptCommand::RunMode::compact: {
            auto canceled = std::make_shared<bool>(false);
            auto toastId = std::make_shared<std::optional<LauncherPresenter::ToastId>>();
            ScriptCommandRunner* runner = startCollectingRun(
                command, arguments, [presenter, canceled, toastId, command](const Result<QString>& result) {
                    if (!presenter || *canceled) return;
                    const QString line = result.isSuccess() ? lastNonEmptyLine(result.value()) : QString();
                    const Toast finished =
                        result.isSuccess()
                            ? toast(Toast::Style::success, QStringLiteral("Script finished running"), line)
                            : toast(Toast::Style::failure, QStringLiteral("Script failed to run"),
                                    result.error().errorDescription());
                    if (*toastId && presenter->isWindowVisible()) {
                        presenter->updateToast(**toastId, finished);
                    } else if (!presenter->isWindowVisible() && result.isSuccess()) {
                        // Started from a hotkey, or the window hid meanwhile: the HUD
                        // says it as silent scripts do.
                        presenter->showHUD(line.isEmpty() ? finished.title : line, command.icon);
                    } else {
                        presenter->tell(finished, command.icon);
                    }
                });
            // The running toast (and its cancel button) lives in the shown window only.
            if (presenter && presenter->isWindowVisible()) {
                QPointer<ScriptCommandRunner> running(runner);
                *toastId = presenter->showToast(
                    toast(Toast::Style::animated, QStringLiteral("Running script...")),
                    [presenter, running, canceled, toastId] {
                        if (*canceled) return;
                        *canceled = true;
                        if (running) running->cancel();
                        if (*toastId)
                            presenter->updateToast(
                                **toastId, toast(Toast::Style::success, QStringLiteral("Script process canceled")));
                    });
            }
            return;
        }
        case ScriptCommand::RunMode::silent:
            if (presenter) presenter->hideWindow();
            startCollectingRun(command, arguments, [presenter, command](const Result<QString>& result) {
                if (!presenter) return;
                if (result.isFailure()) {
                    // The window hid for the run: the HUD tells, unless it was shown again.
                    presenter->tell(toast(Toast::Style::failure, QStringLiteral("Script failed to run"),
                                          result.error().errorDescription()),
                                    command.icon);
                    return;
                }
                const QString line = lastNonEmptyLine(result.value());
                if (!line.isEmpty()) presenter->showHUD(line, command.icon);
            });
            return;
        case ScriptCommand::RunMode::inline_:
            (m_scheduler ? *m_scheduler : CommandScheduler::shared()).run(command);
            return;
    }
}

CommandOutcome ScriptCommandActionProvider::openWith() const {
    try {
        openOnDesktop(QUrl::fromLocalFile(m_command.scriptPath));
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Cannot open script"), VantrelError::describe(error));
    }
    return CommandOutcome::done();
}

CommandOutcome ScriptCommandActionProvider::showInFileManager() const {
    const QFileInfo info(m_command.scriptPath);
    if (!info.exists())
        return CommandOutcome::failed(QStringLiteral("No script file found at path"), m_command.scriptPath);
    // The file manager selects the file (or the folder opens), without waiting on the event loop.
    LauncherPresenter* presenter = m_presenter;
    vantrel::showInFileManager(info.absoluteFilePath(), [presenter](const std::optional<QString>& failure) {
        if (failure && presenter)
            presenter->showToast(toast(Toast::Style::failure, QStringLiteral("Cannot show script"), *failure));
    });
    return CommandOutcome::done();
}

CommandOutcome ScriptCommandActionProvider::duplicateAndOpen() const {
    const QString target = duplicatePath(m_command.scriptPath);
    QFile source(m_command.scriptPath);
    if (!source.copy(target))
        return CommandOutcome::failed(QStringLiteral("Cannot duplicate script"), source.errorString());
    try {
        openOnDesktop(QUrl::fromLocalFile(target));
    } catch (const std::exception& error) {
        return CommandOutcome::failed(QStringLiteral("Cannot open duplicated script"), VantrelError::describe(error));
    }
    return CommandOutcome::done();
}

CommandOutcome ScriptCommandActionProvider::copyContents() const {
    QFile file(m_command.scriptPath);
    if (!file.open(QIODevice::ReadOnly))
        return CommandOutcome::failed(QStringLiteral("Cannot read script"), file.errorString());
    const QString text = QString::fromUtf8(file.readAll());
    if (m_presenter) {
        m_presenter->copyToClipboard(text);
        m_presenter->showToast(toast(Toast::Style::success, QStringLiteral("Copied script contents to clipboard")));
    }
    return CommandOutcome::done({}, text);
}

CommandOutcome ScriptCommandActionProvider::moveToTrash() const {
    if (!m_presenter)
        return CommandOutcome::unavailable(
            QStringLiteral("Moving a script to the trash asks first, which needs the launcher window."));
    const QString name = QFileInfo(m_command.scriptPath).fileName();
    Alert alert;
    alert.title = QStringLiteral("Are you sure you want to move ") + name + QStringLiteral(" to the trash?");
    alert.icon = m_command.icon;
    alert.confirmTitle = QStringLiteral("Move To Trash");
    alert.cancelTitle = QStringLiteral("Cancel");
    alert.destructive = true;
    LauncherPresenter* presenter = m_presenter;
    const QString path = m_command.scriptPath;
    presenter->confirm(alert, [presenter, path](bool confirmed) {
        if (!confirmed) return;
        QFile file(path);
        if (file.moveToTrash()) {
            presenter->showToast(toast(Toast::Style::success, QStringLiteral("Moved to trash")));
            return;
        }
        log().error("Cannot move script to the trash",
                    {{QStringLiteral("path"), path}, {QStringLiteral("error"), file.errorString()}});
        presenter->showToast(
            toast(Toast::Style::failure, QStringLiteral("Failed moving to trash"), file.errorString()));
    });
    return CommandOutcome::done();
}

// MARK: Root search rows

std::unique_ptr<QObject> installScriptCommandItems(RootSearchController& controller, ScriptCommandLookup lookup,
                                                   LauncherPresenter* presenter, CommandScheduler* scheduler,
                                                   NotificationCenter* center,
                                                   ScriptCommandActionProvider::OpenWithMenu openWith) {
    RootSearchController* target = &controller;
    controller.addItemResolver([target, lookup, presenter, scheduler, openWith](
                                   const SearchItem& result, const QString& searchText, ListItem& item) {
        if (result.result().type() != SearchRecord::ContentType::scriptCommand || !lookup) return false;
        const std::optional<ScriptCommand> command = lookup(result.identifier());
        if (!command) return false;
        item.title = command->displayName;
        item.subtitle = command->packageName;
        item.kind = command->arguments.empty() ? ListItem::Kind::command : ListItem::Kind::inputCommand;
        // Emoji, links and light/dark pairs are drawn from the image itself.
        item.icon = command->icon.small;
        if (!command->arguments.empty()) item.inputCommand = std::make_shared<ScriptVantrelCommand>(*command, nullptr);
        if (command->runMode == ScriptCommand::RunMode::inline_) {
            // Its output lives in the row: the dashboard's actions.
            auto dashboard = std::make_shared<DashboardActionProvider>(*command, &target->launcherSearch().search(),
                                                                       searchText, presenter, scheduler);
            if (const std::optional<QVariant> output = dashboard->accessory()) item.accessory = output->toString();
            item.styledAccessory = inlineOutputRuns(*command, scheduler);
            item.actionProvider = std::move(dashboard);
            return true;
        }
        auto provider = std::make_shared<ScriptCommandActionProvider>(
            *command, &target->launcherSearch().search(), searchText,
            [target, id = command->id] { return target->argumentValues(id); }, presenter, scheduler);
        provider->setOpenWithMenu(openWith);
        item.actionProvider = std::move(provider);
        return true;
    });

    auto subscription = std::make_unique<QObject>();
    NotificationCenter& notifications = center ? *center : NotificationCenter::defaultCenter();
    notifications.addObserver(QString(NotificationNames::didRunScheduledCommand), subscription.get(),
                              [target](const Notification&) {
                                  target->setPreserveSelectionOnNextReload(true);
                                  target->reload();
                              });
    return subscription;
}

}  // namespace vantrel
