#include "core/commands/BuiltinCommandRunner.h"

#include "core/commands/LinkDetector.h"
#include "core/commands/PackageRegistry.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/UserDefaults.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"
#include "platform/SystemActions.h"

#include <QHash>
#include <QStringDecoder>
#include <QUrl>

#include <cctype>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Commands"), QStringLiteral("⚙️")});
    return logger;
}

using B = BuiltinBehaviour;

BuiltinCommandBehaviour line(const char* id, BuiltinBehaviour behaviour, const char* sentence = "") {
    return {QString::fromUtf8(id), behaviour, QString::fromUtf8(sentence)};
}

const char* const kSignIn = "Signing in to outside services is not available yet, so ";

std::vector<BuiltinCommandBehaviour> makeTable() {
    std::vector<BuiltinCommandBehaviour> table{
        // The extensions feature lists the store's index.
        line("extensionsStore", B::showView),
        line("windowBounceAnimation", B::notInThisBuild,
             "Window animations on this desktop come from the window manager; the launcher window has no bounce "
             "animation of its own to toggle."),
        line("quitVantrel", B::launcherHook, "Quitting"),
        line("createExtension", B::unavailable, "Extensions are not available yet."),
        line("createScriptCommand", B::showView),
        line("reloadScriptCommands", B::launcherHook, "Reloading script directories"),
        line("refreshSystemSource", B::launcherHook, "Refreshing apps and preferences"),
        line("toggleVantrelAppearance", B::toggleAppearance),
        line("reportError", B::notInThisBuild, "Error reporting is not available on this build."),
        line("recenterMainWindow", B::launcherHook, "Resetting the window position"),
        line("dailyUpdateForm", B::notInThisBuild, "The daily update form is not available yet."),
        // The about feature handles it unless a package manager updates the program.
        line("checkForUpdates", B::notInThisBuild,
             "Vantrel came from a package your package manager keeps up to date; it does not check for updates "
             "itself."),
        line("fileSearch", B::showView),
        line("contacts_search", B::showView),
        line("calendar_schedule", B::showView),
        line("reminders_myReminders", B::showView),
        line("reminders_createReminder", B::showView),
        line("media_hackerNews", B::showView),
        line("urlEncode", B::urlEncode),
        line("urlDecode", B::urlDecode),
        line("openInBrowser", B::openInBrowser),
        line("debug_uiPlayground", B::showView),
        line("applicationSupportDirectory", B::openDataFolder),
        line("formBuilderPlayground", B::showView),
        line("markdownPreview", B::showView),
    };
    for (const char* id : {"toggleBluetooth",   "ejectAllDisks", "quitAllApps",     "showScreenSaver",
                           "toggleHiddenFiles", "logOutSystem",  "restartSystem",   "shutDownSystem",
                           "emptyTrash",        "setVolume0",
                           "setVolume25",       "setVolume50",   "setVolume75",     "setVolume100",
                           "showDesktop",       "unhideAllApps", "hideAllApps",     "toggleSystemAppearance",
                           "turnVolumeDown",    "turnVolumeUp",  "toggleMute",      "lockScreen",
                           "sleepDisplays",     "sleep"})
        table.push_back(line(id, B::systemCommand));
    const struct {
        const char* service;
        std::vector<const char*> ids;
    } integrations[] = {
        {"Asana", {"asana_apiPlayground", "asana_logOut", "asana_myTasks", "asana_createTask"}},
        {"Jira",
         {"jira_logout", "jira_searchIssues", "jira_recentlyUpdatedIssues", "jira_myFilters", "jira_activeSprints",
          "jira_myWatchedIssues", "jira_myReportedIssues", "jira_myOpenIssues", "jira_createIssue"}},
        {"Linear",
         {"linear-activeCycleIssues", "linear-searchIssues", "linear-createdIssues", "linear-assignedIssues",
          "linear-logout", "linear-createIssue"}},
        {"GitHub",
         {"github-logout", "github-searchRepositories", "github-searchIssues", "github-searchPullRequests",
          "github-notifications", "github-actions", "github-createPullRequest", "github-pullRequests",
          "github-openIssues", "github-createdIssues", "github-createIssue"}},
        {"G Suite",
         {"gSuite_logOut", "gSuite_createForm", "gSuite_createPresentation", "gSuite_createSpreadsheet",
          "gSuite_createDocument", "gSuite_searchFiles", "gSuite_myStarredFiles"}},
        {"Zoom", {"zoomLogout", "zoomUpcomingMeetings", "zoomStartMeeting", "zoomScheduleMeeting"}},
    };
    for (const auto& integration : integrations)
        for (const char* id : integration.ids)
            table.push_back({QString::fromUtf8(id), B::unavailable,
                             QString::fromUtf8(kSignIn) + QString::fromUtf8(integration.service) +
                                 QStringLiteral(" commands cannot run yet.")});
    return table;
}

const QHash<QString, qsizetype>& tableIndex() {
    static const QHash<QString, qsizetype> index = [] {
        QHash<QString, qsizetype> byId;
        const auto& table = builtinCommandBehaviours();
        for (qsizetype i = 0; i < static_cast<qsizetype>(table.size()); ++i) byId.insert(table[i].commandId, i);
        return byId;
    }();
    return index;
}

void openOnDesktop(const QUrl& url) {
    const std::shared_ptr<DesktopServices> desktop = platform().desktop;
    if (!desktop) throw VantrelError(QStringLiteral("There is no desktop to open \"%1\" with.").arg(url.toString()));
    desktop->open(url);
}

void openUrl(const CommandRunContext& context, const QUrl& url) {
    if (context.environment && context.environment->openUrl)
        context.environment->openUrl(url);
    else
        openOnDesktop(url);
}

// A command the running launcher carries out (quit, reload…) registers its
// handler there; without one, this process is not the launcher.
CommandOutcome runWithoutLauncher(const VantrelCommand& command, const BuiltinCommandBehaviour& behaviour) {
    return CommandOutcome::failed(command.displayName(),
                                  behaviour.sentence + QStringLiteral(" is only available while Vantrel is running."));
}

// What the commands that end work or the session would do, said instead of
// done in a dry run.
QString dryRunSentence(const QString& id) {
    static const QHash<QString, QString> sentences{
        {QStringLiteral("restartSystem"), QStringLiteral("restart the computer")},
        {QStringLiteral("shutDownSystem"), QStringLiteral("shut the computer down")},
        {QStringLiteral("sleep"), QStringLiteral("put the computer to sleep")},
        {QStringLiteral("logOutSystem"), QStringLiteral("log out of the session")},
        {QStringLiteral("lockScreen"), QStringLiteral("lock the screen")},
        {QStringLiteral("quitAllApps"), QStringLiteral("ask every application to quit")},
        {QStringLiteral("emptyTrash"), QStringLiteral("empty the trash")},
        {QStringLiteral("ejectAllDisks"), QStringLiteral("eject every removable disk")},
        // These change what every window on the screen shows.
        {QStringLiteral("showDesktop"), QStringLiteral("show the desktop")},
        {QStringLiteral("hideAllApps"), QStringLiteral("minimize the windows of every other application")},
        {QStringLiteral("unhideAllApps"), QStringLiteral("restore every minimized window")},
        {QStringLiteral("sleepDisplays"), QStringLiteral("turn the displays off")},
        {QStringLiteral("showScreenSaver"), QStringLiteral("start the screen saver")},
    };
    return sentences.value(id);
}

// The desktop's own sentence becomes the message: "unavailable" when the
// command cannot work on this desktop, a failure otherwise.
CommandOutcome runSystemCommand(const VantrelCommand& command) {
    const QString id = command.id().rawValue;
    const std::shared_ptr<SystemActions> system = platform().system;
    if (!system)
        return CommandOutcome::unavailable(
            QStringLiteral("System commands need a freedesktop desktop (D-Bus, logind), which this build has none of."));
    if (isDryRun()) {
        if (const QString sentence = dryRunSentence(id); !sentence.isEmpty()) {
            QString problem;
            if (!system->isAvailable(id, &problem)) return CommandOutcome::unavailable(problem);
            return CommandOutcome::done(QStringLiteral("Dry run: would %1").arg(sentence));
        }
    }
    try {
        return CommandOutcome::done(system->run(id));
    } catch (const std::exception& error) {
        const QString message = VantrelError::describe(error);
        log().error("System command failed", {{QStringLiteral("commandId"), id}, {QStringLiteral("error"), message}});
        if (!system->isAvailable(id)) return CommandOutcome::unavailable(message);
        return CommandOutcome::failed(QStringLiteral("Failed to run ") + command.displayName(), message);
    }
}

CommandOutcome toggleAppearance(const CommandRunContext& context) {
    UserDefaults& defaults = context.environment && context.environment->userDefaults
                                 ? *context.environment->userDefaults
                                 : UserDefaults::standard();
    const QString current = defaults.value(vantrelAppearanceKey).toString();
    const QString next = current == QLatin1String("dark") ? QStringLiteral("light") : QStringLiteral("dark");
    defaults.setValue(vantrelAppearanceKey, next);
    return CommandOutcome::done(next == QLatin1String("dark") ? QStringLiteral("Vantrel appearance: Dark")
                                                              : QStringLiteral("Vantrel appearance: Light"));
}

}  // namespace

bool isDryRun() {
    const QByteArray value = qgetenv("VANTREL_DRY_RUN");
    return !value.isEmpty() && value != "0";
}

CommandAvailability builtinCommandAvailability(const QString& commandId) {
    const auto behaviour = builtinCommandBehaviour(commandId);
    if (!behaviour) return CommandAvailability::available;
    if (behaviour->behaviour == B::notInThisBuild) return CommandAvailability::notInThisBuild;
    if (behaviour->behaviour == B::unavailable) return CommandAvailability::coming;
    return CommandAvailability::available;
}

const std::vector<BuiltinCommandBehaviour>& builtinCommandBehaviours() {
    static const std::vector<BuiltinCommandBehaviour> table = makeTable();
    return table;
}

std::optional<BuiltinCommandBehaviour> builtinCommandBehaviour(const QString& commandId) {
    const auto found = tableIndex().constFind(commandId);
    if (found == tableIndex().constEnd()) return std::nullopt;
    return builtinCommandBehaviours()[static_cast<size_t>(*found)];
}

QString urlEncoded(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

std::optional<QString> urlDecoded(const QString& text) {
    // Only "%" followed by two hexadecimal digits is an escape; any other
    // percent sign stays as it is.
    const QByteArray input = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (input[i] == '%' && i + 2 < input.size() && std::isxdigit(static_cast<unsigned char>(input[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(input[i + 2]))) {
            bytes.append(static_cast<char>(QByteArray::fromHex(input.mid(i + 1, 2)).at(0)));
            i += 2;
        } else {
            bytes.append(input[i]);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return decoded;
}

CommandOutcome runBuiltinCommand(const VantrelCommand& command, const CommandRunContext& context,
                                 const PackageRegistry* registry) {
    const QString id = command.id().rawValue;
    if (registry) {
        if (const PackageRegistry::CommandHandler* handler = registry->commandHandler(id)) {
            try {
                return (*handler)(command, context);
            } catch (const std::exception& error) {
                log().error("Command failed", {{QStringLiteral("commandId"), id},
                                               {QStringLiteral("error"), VantrelError::describe(error)}});
                return CommandOutcome::failed(QStringLiteral("Failed to run ") + command.displayName(),
                                              VantrelError::describe(error));
            }
        }
    }
    const auto behaviour = builtinCommandBehaviour(id);
    if (!behaviour) {
        log().error("Unknown built-in command", {{QStringLiteral("commandId"), id}});
        return CommandOutcome::failed(command.displayName(), QStringLiteral("This command cannot run: ") + id);
    }
    try {
        switch (behaviour->behaviour) {
            case B::systemCommand:
                return runSystemCommand(command);
            case B::urlEncode: {
                const QString input = context.inputText();
                if (input.isEmpty())
                    return CommandOutcome::failed(QStringLiteral("Could not encode URL"),
                                                  QStringLiteral("There is no text to encode."));
                const QString encoded = urlEncoded(input);
                return CommandOutcome::copied(encoded, QStringLiteral("Copied to clipboard"));
            }
            case B::urlDecode: {
                const QString input = context.inputText();
                if (input.isEmpty())
                    return CommandOutcome::failed(QStringLiteral("Could not decode URL"),
                                                  QStringLiteral("There is no text to decode."));
                const auto decoded = urlDecoded(input);
                if (!decoded)
                    return CommandOutcome::failed(QStringLiteral("Could not decode URL"),
                                                  QStringLiteral("The escapes do not form valid UTF-8 text."));
                return CommandOutcome::copied(*decoded, QStringLiteral("Copied to clipboard"));
            }
            case B::openInBrowser: {
                // The link the text holds (the first one), not the text around it.
                const QString input = context.inputText();
                const std::vector<DetectedLink> links = LinkDetector::links(input);
                const QUrl url = links.empty() ? QUrl() : QUrl::fromUserInput(links.front().text);
                if (!url.isValid() || url.scheme().isEmpty())
                    return CommandOutcome::failed(QStringLiteral("Cannot open URL"),
                                                  QStringLiteral("The text is not a link: ") + input);
                openUrl(context, url);
                return CommandOutcome::done();
            }
            case B::launcherHook:
                return runWithoutLauncher(command, *behaviour);
            case B::toggleAppearance:
                return toggleAppearance(context);
            case B::openDataFolder:
                openUrl(context, QUrl::fromLocalFile(Paths::dataDir()));
                return CommandOutcome::done();
            case B::showView:
                return CommandOutcome::showView(id, context.searchText);
            case B::unavailable:
            case B::notInThisBuild:
                return CommandOutcome::unavailable(behaviour->sentence);
        }
    } catch (const std::exception& error) {
        log().error("Command failed",
                    {{QStringLiteral("commandId"), id}, {QStringLiteral("error"), VantrelError::describe(error)}});
        return CommandOutcome::failed(QStringLiteral("Failed to run ") + command.displayName(),
                                      VantrelError::describe(error));
    }
    return CommandOutcome::done();
}

}  // namespace vantrel
