// The vantrel executable. Until the launcher window exists it answers
// `--version`, `doctor`, `search`, `sources`, `run`, `visit` and `help`.
#include "core/api/CommandOutcome.h"
#include "core/api/FeatureContext.h"
#include "core/commands/BuiltinCommandRunner.h"
#include "core/commands/PackageRegistry.h"
#include "core/commands/PreferencesCommands.h"
#include "core/commands/VantrelCommandsSource.h"
#include "core/rootsearch/ExpressionParser.h"
#include "core/rootsearch/FallbackSearchProvider.h"
#include "core/rootsearch/LauncherSearch.h"
#include "core/rootsearch/RootSearchController.h"
#include "core/rootsearch/RootSearchJson.h"
#include "core/rootsearch/URLSearchProvider.h"
#include "core/shell/InstanceChannel.h"
#include "data/Database.h"
#include "data/DatabaseMigrator.h"
#include "data/Keychain.h"
#include "data/PackageConfigurationRepository.h"
#include "data/VantrelDatabaseMigrator.h"
#include "features/Features.h"
#include "FatalSignals.h"
#include "kit/Memory.h"
#include "kit/AppFlavor.h"
#include "kit/CommandLine.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/Paths.h"
#include "kit/UserDefaults.h"
#include "main/vantrel/CliCommands.h"
#include "main/vantrel/Composition.h"
#include "platform/freedesktop/DesktopLauncher.h"
#include "platform/freedesktop/KeychainFactory.h"
#include "platform/qalculate/QalculateCalculator.h"
#include "search/FileIndex.h"
#include "search/FileSearch.h"
#include "search/Search.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace vantrel;

void print(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
}

void printRow(const QString& label, const QString& value) {
    print(QStringLiteral("%1 %2").arg(label + QLatin1Char(':'), -18).arg(value));
}

void usage() {
    print(QStringLiteral(
        "Usage: vantrel [COMMAND]\n\n"
        "  (no command)                     start the launcher, or show the running one\n"
        "  --background                     start the launcher hidden (autostart)\n"
        "  toggle | show | hide | quit      talk to the running launcher\n"
        "  open URL                         route a vantrel:// link through the launcher (started in the\n"
        "                                   background when none runs); exit status 1 for an unknown link\n"
        "  set-hotkey COMBINATION           change the main hotkey (stored form, e.g. Option-49); a\n"
        "                                   combination another program holds is refused (exit status 1)\n"
        "                                   and the working hotkey stays\n"
        "  status                           print whether the launcher runs and its window state\n"
        "  --version                        print the version\n"
        "  doctor                           check the data folder, the encrypted database and the keyring\n"
        "  search QUERY [--json] [--limit N] [--no-load] [--local]\n"
        "                                   rank the applications and commands for QUERY: the running\n"
        "                                   launcher answers; without one (or with --local) they are loaded here\n"
        "  sources                          load each data source and print its record count and load time\n"
        "  run ID|KEY [ARG...]              open an application or run a command by its record id or key\n"
        "  files [QUERY] [--scope DIR] [--limit N] [--json]\n"
        "                                   find files by name prefix ('report in ~/Documents'); no QUERY:\n"
        "                                   recently used documents\n"
        "  visit KEY [--term TERM]          record that the item with KEY was opened (after typing TERM)\n"
        "  scripts add-dir DIR | remove-dir DIR\n"
        "                                   add or remove a script directory (an empty one gets a template)\n"
        "  scripts list [--json] | dirs     list the script commands (id, title, mode, package, refresh\n"
        "                                   time, arguments) or the script directories\n"
        "  clipboard list [--json] [--category C] [--limit N]\n"
        "                                   the clipboard history, pinned first, then the newest (C: text,\n"
        "                                   image, file, link, color)\n"
        "  clipboard copy|paste|pin|unpin|delete ID, clipboard delete --all\n"
        "                                   act on an entry through the running launcher\n"
        "  config list PACKAGE_ID           print a package's configuration: isEnabled and its payload keys\n"
        "  config get PACKAGE_ID KEY        print one value as JSON (exit status 1 when it is not set)\n"
        "  config set PACKAGE_ID KEY VALUE  store a value (read as JSON when it is JSON, else as text; KEY\n"
        "                                   isEnabled switches the package); a running launcher follows\n"
        "                                   (e.g. config set windowManagement gap small)\n"
        "  quicklinks add --name N --link L [--app DESKTOP_ID] [--alias A] | list [--json] | remove ID\n"
        "                                   manage quicklinks; `run quicklink_ID [VALUE]` opens one\n"
        "  websearches add --name N --link L | list [--json] | remove ID\n"
        "                                   web searches offered under every query ({Query} in the link)\n"
        "  help                             show this text\n\n"
        "Log lines go to the log file; --verbose shows them on standard error too."));
}

// The shared database with the keyring of this desktop; null (and a message)
// when it cannot be opened.
std::shared_ptr<DatabasePool> openDatabase() {
    DatabaseOpener::Options options;
    options.keychain =
        std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), makeKeychainBackend());
    QString fatal;
    options.fatalStop = [&fatal](const QString& message) { fatal = message; };
    auto pool = DatabaseOpener(std::move(options)).openDatabase();
    if (!pool) std::fprintf(stderr, "vantrel: %s\n", fatal.toUtf8().constData());
    return pool;
}

using cli::takeFlag;
using cli::takeOption;

// The launcher's search engine over the shared database with the features
// registered, as the launcher has them; null (and a message) when that fails.
struct LoadedSearch {
    std::shared_ptr<DatabasePool> pool;
    std::unique_ptr<PackageRegistry> registry;
    std::unique_ptr<LauncherSearch> launcherSearch;
    // The features' data sources and commands, as the launcher has them.
    std::unique_ptr<FeatureContext> features;

    LoadedSearch() = default;
    LoadedSearch(LoadedSearch&&) = default;
    LoadedSearch& operator=(LoadedSearch&&) = default;
    // In the order the members would go, each step named for a crash report.
    ~LoadedSearch() {
        if (!features && !launcherSearch && !pool) return;
        cli::setFatalSignalPhase("releasing the features");
        features.reset();
        cli::setFatalSignalPhase("releasing the search engine");
        launcherSearch.reset();
        registry.reset();
        cli::setFatalSignalPhase("closing the database");
        pool.reset();
        cli::setFatalSignalPhase("returning from the command");
    }
};

// What openSearch does with the data sources: nothing, index what is stored,
// or load them all (as the launcher does at start).
enum class Sources { untouched, indexed, loaded };

void loadSources(LoadedSearch& loaded) {
    if (!loaded.launcherSearch->loadDataSourcesAndWait())
        std::fprintf(stderr, "vantrel: the data sources did not finish loading in time; searching what is stored\n");
}

std::optional<LoadedSearch> openSearch(Sources sources) {
    LoadedSearch loaded;
    loaded.pool = openDatabase();
    if (!loaded.pool) return std::nullopt;
    loaded.registry = std::make_unique<PackageRegistry>(std::make_shared<PackageConfigurationRepository>(loaded.pool),
                                                        PackageRegistry::developmentFlagFromEnvironment());
    loaded.launcherSearch =
        std::make_unique<LauncherSearch>(std::make_shared<SearchRepository>(loaded.pool), *loaded.registry);
    loaded.features = std::make_unique<FeatureContext>(FeatureContext::Services{
        *loaded.registry, *loaded.launcherSearch, UserDefaults::standard(), NotificationCenter::defaultCenter()});
    registerFeatures(*loaded.features, makeFeatures());
    publishPreferencesCommands(*loaded.registry, preferencePageTitles(*loaded.features));
    if (sources == Sources::loaded) loadSources(loaded);
    if (sources == Sources::indexed) loaded.launcherSearch->search().indexAll();
    return loaded;
}

// Prints the sections, as JSON or as a table of titles, accessories and keys.
void printSections(const QJsonArray& sections, bool json) {
    if (json) {
        std::fputs(QJsonDocument(sections).toJson(QJsonDocument::Indented).constData(), stdout);
        return;
    }
    for (const QJsonValue& value : sections) {
        const QJsonObject section = value.toObject();
        print(section.value("title").toString());
        for (const QJsonValue& entry : section.value("items").toArray()) {
            const QJsonObject item = entry.toObject();
            const QString accessory = item.contains("accessory") ? item.value("accessory").toString()
                                                                  : item.value("subtitle").toString();
            print(QStringLiteral("  %1  %2  %3")
                      .arg(item.value("title").toString(), -32)
                      .arg(accessory, -20)
                      .arg(item.value("key").toString()));
        }
    }
}

// The running launcher's sections for the query; nothing when no launcher
// runs (or it did not answer, which is said on standard error).
std::optional<QJsonArray> searchInRunningLauncher(const QString& query, int limit) {
    const InstanceClient client;
    if (!client.isRunning()) return std::nullopt;
    QString error;
    const auto reply =
        client.send({QStringLiteral("search"), query, QJsonObject{{QStringLiteral("limit"), limit}}}, 10000, &error);
    if (reply && reply->ok) return reply->values.value(QStringLiteral("sections")).toArray();
    if (reply) error = reply->message;
    std::fprintf(stderr, "vantrel: the running launcher did not answer the search (%s); searching here\n",
                 error.toUtf8().constData());
    return std::nullopt;
}

// Root search for one query, as the launcher window would show it: the
// sections in order, each with its items. A running launcher answers with
// what its engine holds (kept current by its sources); otherwise this
// process loads the sources itself.
int searchCommand(QStringList arguments) {
    const bool json = takeFlag(arguments, QStringLiteral("--json"));
    const bool noLoad = takeFlag(arguments, QStringLiteral("--no-load"));
    const bool local = takeFlag(arguments, QStringLiteral("--local"));
    int limit = 20;
    if (auto text = takeOption(arguments, QStringLiteral("--limit"))) {
        bool ok = false;
        limit = text->toInt(&ok);
        if (!ok || limit < 0) {
            std::fprintf(stderr, "vantrel: --limit takes a whole number\n");
            return 2;
        }
    }
    const QString query = arguments.join(QLatin1Char(' '));
    if (!local) {
        if (const std::optional<QJsonArray> sections = searchInRunningLauncher(query, limit)) {
            printSections(*sections, json);
            return 0;
        }
    }
    std::optional<LoadedSearch> loaded = openSearch(Sources::indexed);
    if (!loaded) return 1;
    LauncherSearch& launcher = *loaded->launcherSearch;

    ExpressionParser parser(std::make_shared<QalculateCalculator>());
    RootSearchController controller(launcher, &parser, UserDefaults::standard());
    auto fallbacks = std::make_shared<FallbackSearchProvider>(launcher.registry());
    controller.addSearchProvider(std::make_shared<URLSearchProvider>(launcher.registry()));
    controller.addSearchProvider(fallbacks);
    {
        // The fallback list is built in the background; the sections need it.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (fallbacks->completedRebuilds() > 0) loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (fallbacks->completedRebuilds() == 0) loop.exec();
    }
    if (noLoad) {
        launcher.search().indexAll();
    } else {
        QEventLoop loop;
        bool reloaded = false;
        controller.setEventHandler([&](const RootSearchEvent& event) {
            if (event.kind != RootSearchEvent::Kind::sectionsReloaded) return;
            reloaded = true;
            loop.quit();
        });
        controller.configureSearchDataSources();
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        if (!reloaded) loop.exec();
        controller.setEventHandler({});
        if (!reloaded)
            std::fprintf(stderr,
                         "vantrel: the data sources did not finish loading in time; searching what is stored\n");
    }
    // A one-off answer: the calculator waits for its engine rather than answering later.
    printSections(sectionsJson(controller.sectionsFor(query), limit), json);
    return 0;
}

// Loads each data source on its own, timing it, then stores what they answered.
int sourcesCommand(const QStringList& arguments) {
    if (!arguments.isEmpty()) {
        std::fprintf(stderr, "vantrel: sources takes no arguments\n");
        return 2;
    }
    std::optional<LoadedSearch> loaded = openSearch(Sources::indexed);
    if (!loaded) return 1;
    DataSourceUpdate update;
    int failures = 0;
    print(QStringLiteral("%1  %2  %3")
              .arg(QStringLiteral("Source"), -18)
              .arg(QStringLiteral("Records"), 8)
              .arg(QStringLiteral("Load time")));
    for (const auto& source : loaded->launcherSearch->dataSources()) {
        QEventLoop loop;
        QElapsedTimer timer;
        // The answer may come from another thread, and after the wait gave up.
        auto answer = std::make_shared<std::optional<DataSource::LoadResult>>();
        QPointer<QEventLoop> waiting(&loop);
        timer.start();
        source->load([answer, waiting](DataSource::LoadResult result) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [answer, waiting, result = std::move(result)]() mutable {
                    if (!waiting) return;
                    *answer = std::move(result);
                    waiting->quit();
                },
                Qt::QueuedConnection);
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        if (!*answer) loop.exec();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const QString name = SearchRecord::rawValue(source->source());
        if (!*answer) {
            ++failures;
            print(QStringLiteral("%1  %2  did not answer within 60 s").arg(name, -18).arg(QStringLiteral("-"), 8));
        } else if (const auto* error = std::get_if<DataSourceError>(&**answer)) {
            ++failures;
            print(QStringLiteral("%1  %2  failed: %3")
                      .arg(name, -18)
                      .arg(QStringLiteral("-"), 8)
                      .arg(error->description()));
        } else {
            const auto& records = std::get<std::vector<SearchRecord>>(**answer);
            print(QStringLiteral("%1  %2  %3 ms").arg(name, -18).arg(records.size(), 8).arg(ms, 0, 'f', 1));
            update.records[source->source()] = records;
        }
    }
    QEventLoop loop;
    bool written = false;
    loaded->launcherSearch->search().updateDataSources({update}, 0, [&](const std::optional<VantrelError>& error) {
        if (error) std::fprintf(stderr, "vantrel: %s\n", error->errorDescription().toUtf8().constData());
        written = !error;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return failures == 0 && written ? 0 : 1;
}

// Indexes the file-search folders and answers one query the way the file
// search command does ("report in ~/Documents"; empty: recently used documents).
int filesCommand(QStringList arguments) {
    const bool json = takeFlag(arguments, QStringLiteral("--json"));
    int limit = 20;
    if (auto text = takeOption(arguments, QStringLiteral("--limit"))) {
        bool ok = false;
        limit = text->toInt(&ok);
        if (!ok || limit <= 0) {
            std::fprintf(stderr, "vantrel: --limit takes a positive whole number\n");
            return 2;
        }
    }
    QStringList scopes = FileIndex::scopesFromSettings(UserDefaults::standard());
    while (auto scope = takeOption(arguments, QStringLiteral("--scope"))) scopes << QDir(*scope).absolutePath();
    FileIndex::Options options;
    options.scopes = scopes;
    options.watchChanges = false;
    auto index = std::make_shared<FileIndex>(options);
    index->build();
    FileSearch fileSearch(index);
    QEventLoop loop;
    std::vector<FileModel> found;
    bool answered = false;
    fileSearch.findFiles(arguments.join(QLatin1Char(' ')), {}, limit, [&](std::vector<FileModel> files) {
        found = std::move(files);
        answered = true;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!answered) loop.exec();
    if (!answered) {
        std::fprintf(stderr, "vantrel: the file search did not answer in time\n");
        return 1;
    }
    if (json) {
        QJsonArray array;
        for (const FileModel& file : found) {
            QJsonObject object{{"name", file.name}, {"path", file.path}};
            if (file.contentType) object.insert("contentType", *file.contentType);
            if (file.size) object.insert("size", *file.size);
            if (file.modifiedAt) object.insert("modifiedAt", file.modifiedAt->toString(Qt::ISODate));
            array.append(object);
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    for (const FileModel& file : found) print(file.path);
    return 0;
}

// Prints what running a command ended with; the exit status of `vantrel run`.
int printOutcome(const VantrelCommand& command, const CommandOutcome& outcome) {
    switch (outcome.kind) {
        case CommandOutcome::Kind::done:
            if (outcome.resultText)
                print(*outcome.resultText);
            else
                print(outcome.hudText.isEmpty() ? QStringLiteral("Ran %1").arg(command.displayName())
                                                : outcome.hudText);
            return 0;
        case CommandOutcome::Kind::failed:
            std::fprintf(
                stderr, "vantrel: %s\n",
                (outcome.message.isEmpty() ? outcome.title : outcome.title + QStringLiteral(": ") + outcome.message)
                    .toUtf8()
                    .constData());
            return 1;
        case CommandOutcome::Kind::unavailable:
            std::fprintf(stderr, "vantrel: %s\n", outcome.message.toUtf8().constData());
            return 1;
        case CommandOutcome::Kind::showView:
        case CommandOutcome::Kind::showPreferences:
            std::fprintf(stderr,
                         "vantrel: %s opens its view in the launcher window: run it there (vantrel toggle)\n",
                         command.displayName().toUtf8().constData());
            return 1;
        case CommandOutcome::Kind::handled:
            return 0;
        case CommandOutcome::Kind::showArguments:
            std::fprintf(stderr, "vantrel: %s needs its arguments: give them after the command\n",
                         command.displayName().toUtf8().constData());
            return 1;
    }
    return 1;
}

// Results root search computes instead of storing: the calculator's
// "expression-QUERY" and the fallback searches ("fileSearch_fallbackSearch"),
// which take the search text as their arguments.
int runResultWithoutRecord(LauncherSearch& launcher, const QString& id, const QStringList& arguments) {
    const QString searchText = arguments.join(QLatin1Char(' '));
    if (id.startsWith(QLatin1String("expression-"))) {
        ExpressionParser parser(std::make_shared<QalculateCalculator>());
        const QString query = id.mid(int(qstrlen("expression-")));
        if (const auto output = parser.parseInput(query)) {
            print(output->result);
            return 0;
        }
        std::fprintf(stderr, "vantrel: '%s' is not a calculation\n", query.toUtf8().constData());
        return 1;
    }
    if (const auto fallback = launcher.registry().fallbackSearchCommand(id)) {
        if (!launcher.registry().isEnabled(*fallback)) {
            std::fprintf(stderr, "vantrel: the fallback search '%s' is disabled\n",
                         fallback->displayName().toUtf8().constData());
            return 1;
        }
        LauncherEnvironment environment;
        const CommandRunContext context{searchText, arguments, &environment};
        const CommandOutcome outcome = fallback->run(searchText, context);
        if (const auto commandId = fallback->commandId())
            if (const auto command = launcher.registry().command(*commandId)) return printOutcome(*command, outcome);
        if (outcome.kind == CommandOutcome::Kind::failed)
            std::fprintf(stderr, "vantrel: %s: %s\n", outcome.title.toUtf8().constData(),
                         outcome.message.toUtf8().constData());
        else if (outcome.resultText)
            print(QStringLiteral("Opened ") + *outcome.resultText);
        return outcome.succeeded() ? 0 : 1;
    }
    std::fprintf(stderr, "vantrel: nothing to run has the id or key '%s'\n", id.toUtf8().constData());
    return 1;
}

int runCommand(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "vantrel: run takes an ID or KEY and optional arguments\n");
        return 2;
    }
    std::optional<LoadedSearch> loaded = openSearch(Sources::untouched);
    if (!loaded) return 1;
    // A feature's own runnable things first (a script by its path or id).
    if (const FeatureContext::CliCommand* run = loaded->features->cliCommand(QStringLiteral("run")))
        if (const std::optional<int> status = (*run)(arguments)) return *status;
    loadSources(*loaded);
    LauncherSearch& launcher = *loaded->launcherSearch;
    const QString wanted = arguments.first();
    const QStringList commandArguments = arguments.mid(1);
    const auto& repository = launcher.search().repository();

    std::optional<SearchRecord> record;
    bool numeric = false;
    const qint64 rowId = wanted.toLongLong(&numeric);
    try {
        if (numeric) record = repository->record(rowId);
        if (!record) record = repository->record(wanted);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
        return 1;
    }
    // A disabled command has no row, or one flagged uninstalled: say why.
    const QString commandKey = record ? record->key : wanted;
    if (!record || record->type == SearchRecord::ContentType::command) {
        const auto command = launcher.registry().command(CommandIdentifier(commandKey));
        if (command && !launcher.registry().isEnabled(*command)) {
            std::fprintf(stderr, "vantrel: the command '%s' is disabled\n",
                         command->displayName().toUtf8().constData());
            return 1;
        }
    }
    // A fallback's row only records its uses: it runs as the fallback does.
    if (!record || record->type == SearchRecord::ContentType::fallbackSearch)
        return runResultWithoutRecord(launcher, record ? record->key : wanted, commandArguments);
    if (record->uninstalled) {
        std::fprintf(stderr, "vantrel: '%s' is no longer installed\n", record->name.toUtf8().constData());
        return 1;
    }

    // As root search does: the visit first, then the run.
    launcher.search().visit(SearchItem::fromRecord(*record));
    switch (record->type) {
        case SearchRecord::ContentType::systemApp:
        case SearchRecord::ContentType::prefPane: {
            QList<QUrl> urls;
            for (const QString& argument : commandArguments)
                urls << QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
            try {
                DesktopLauncher::launch(record->path.value_or(record->key), urls);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "vantrel: %s\n", VantrelError::describe(error).toUtf8().constData());
                return 1;
            }
            print(QStringLiteral("Opened %1").arg(record->name));
            return 0;
        }
        case SearchRecord::ContentType::command:
        case SearchRecord::ContentType::extensionCommand: {
            const auto command = launcher.registry().command(CommandIdentifier(record->key), true);
            if (!command) {
                std::fprintf(stderr, "vantrel: the command '%s' is not registered\n", record->key.toUtf8().constData());
                return 1;
            }
            if (!launcher.registry().isEnabled(*command)) {
                std::fprintf(stderr, "vantrel: the command '%s' is disabled\n",
                             command->displayName().toUtf8().constData());
                return 1;
            }
            LauncherEnvironment environment;
            CommandRunContext context{QString(), commandArguments, &environment};
            const CommandOutcome outcome = command->run(context);
            return printOutcome(*command, outcome);
        }
        default:
            std::fprintf(stderr, "vantrel: items of the type %s cannot be run from the command line yet\n",
                         SearchRecord::rawValue(record->type).toUtf8().constData());
            return 1;
    }
}

int visitCommand(QStringList arguments) {
    const std::optional<QString> term = takeOption(arguments, QStringLiteral("--term"));
    if (arguments.size() != 1) {
        std::fprintf(stderr, "vantrel: visit takes one KEY\n");
        return 2;
    }
    auto pool = openDatabase();
    if (!pool) return 1;
    auto repository = std::make_shared<SearchRepository>(pool);
    const std::optional<SearchRecord> record = repository->record(arguments.first());
    if (!record) {
        std::fprintf(stderr, "vantrel: no item with the key '%s'\n", arguments.first().toUtf8().constData());
        return 1;
    }
    Search search(repository);
    const auto visited = search.visit(SearchItem::fromRecord(*record), Ranking::VisitKind::defaultVisit, term);
    if (!visited) {
        std::fprintf(stderr, "vantrel: the visit could not be stored (see the log)\n");
        return 1;
    }
    print(QStringLiteral("Visited %1 (%2)").arg(visited->name(), visited->identifier()));
    return 0;
}

// Tells the running launcher which package configurations this process
// changed (a script directory added…), so that it reads them again.
class ConfigurationChangesForwarder {
public:
    ConfigurationChangesForwarder() {
        NotificationCenter::defaultCenter().addObserver(
            QString(NotificationNames::packageConfigurationDidChange), &m_observer,
            [this](const Notification& notification) {
                const QString id = notification.object.toString();
                if (!id.isEmpty() && !m_changed.contains(id)) m_changed << id;
            });
    }

    ~ConfigurationChangesForwarder() {
        if (m_changed.isEmpty()) return;
        const InstanceClient client;
        if (!client.isRunning()) return;
        for (const QString& id : m_changed) {
            QString error;
            const auto reply = client.send({QStringLiteral("configuration-changed"), id}, 5000, &error);
            if (reply && !reply->ok) error = reply->message;
            if (!reply || !reply->ok)
                std::fprintf(stderr, "vantrel: the running launcher did not take the change (%s); restart it to see it\n",
                             error.toUtf8().constData());
        }
    }

private:
    QObject m_observer;
    QStringList m_changed;
};

// The configuration of one package: its switch (the key "isEnabled") and its
// payload keys. Changes go through the registry, which posts the change
// notice; the forwarder hands it to a running launcher.
int configCommand(const QStringList& arguments) {
    const QString verb = arguments.value(0);
    const int wanted = verb == QLatin1String("list") ? 2 : verb == QLatin1String("get") ? 3 : 4;
    if ((verb != QLatin1String("list") && verb != QLatin1String("get") && verb != QLatin1String("set")) ||
        arguments.size() != wanted) {
        std::fprintf(stderr, "vantrel: config takes list PACKAGE_ID, get PACKAGE_ID KEY or set PACKAGE_ID KEY VALUE\n");
        return 2;
    }
    auto pool = openDatabase();
    if (!pool) return 1;
    PackageRegistry registry(std::make_shared<PackageConfigurationRepository>(pool),
                             PackageRegistry::developmentFlagFromEnvironment());
    const PackageIdentifier id(arguments.at(1));
    if (!registry.package(id)) {
        std::fprintf(stderr, "vantrel: no package has the id '%s'\n", id.rawValue.toUtf8().constData());
        return 1;
    }
    const QString enabledKey = QStringLiteral("isEnabled");
    const auto json = [](const QJsonValue& value) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    };
    const VantrelPackageConfiguration configuration = registry.configuration(id);
    if (verb == QLatin1String("list")) {
        print(QStringLiteral("%1 %2").arg(enabledKey, json(configuration.isEnabled)));
        const QJsonObject payload = configuration.jsonPayload;
        for (auto it = payload.begin(); it != payload.end(); ++it) print(QStringLiteral("%1 %2").arg(it.key(), json(it.value())));
        return 0;
    }
    const QString key = arguments.at(2);
    if (verb == QLatin1String("get")) {
        if (key == enabledKey) {
            print(json(configuration.isEnabled));
            return 0;
        }
        if (!configuration.jsonPayload.contains(key)) {
            std::fprintf(stderr, "vantrel: '%s' is not set for %s\n", key.toUtf8().constData(),
                         id.rawValue.toUtf8().constData());
            return 1;
        }
        print(json(configuration.jsonPayload.value(key)));
        return 0;
    }
    // A JSON value (true, 14, [\"a\"], \"text\") as it stands; anything else is text.
    const QString text = arguments.at(3);
    QJsonParseError error{};
    const QJsonDocument parsed = QJsonDocument::fromJson((QStringLiteral("[") + text + QStringLiteral("]")).toUtf8(), &error);
    const QJsonValue value =
        error.error == QJsonParseError::NoError && parsed.array().size() == 1 ? parsed.array().first() : QJsonValue(text);
    if (key == enabledKey && !value.isBool()) {
        std::fprintf(stderr, "vantrel: isEnabled takes true or false\n");
        return 2;
    }
    const bool written = registry.setPackageConfiguration(id, [&](QVariantMap& payload, bool& isEnabled) {
        if (key == enabledKey)
            isEnabled = value.toBool();
        else
            payload.insert(key, value.toVariant());
    });
    if (!written) {
        std::fprintf(stderr, "vantrel: the configuration could not be written (see the log)\n");
        return 1;
    }
    print(QStringLiteral("%1 %2 %3").arg(id.rawValue, key, json(value)));
    return 0;
}

int doctor() {
    printRow(QStringLiteral("Vantrel"),
             QStringLiteral("%1 (%2)").arg(QStringLiteral(VANTREL_VERSION), appFlavorRawValue(currentAppFlavor())));
    printRow(QStringLiteral("Data folder"), Paths::dataDir());
    printRow(QStringLiteral("Settings file"), Paths::settingsFile());
    printRow(QStringLiteral("Log file"), Paths::logFile());

    QString reason;
    auto backend = makeKeychainBackend(&reason);
    printRow(QStringLiteral("Keyring backend"), QStringLiteral("%1 (%2)").arg(backend->name(), reason));

    DatabaseOpener::Options options;
    options.keychain = std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), backend);
    QString fatal;
    options.fatalStop = [&fatal](const QString& message) { fatal = message; };
    DatabaseOpener opener(std::move(options));
    printRow(QStringLiteral("Database"), opener.path());

    auto pool = opener.openDatabase();
    if (!pool) {
        printRow(QStringLiteral("Database opened"), QStringLiteral("no (%1)").arg(fatal));
        return 1;
    }
    const QStringList applied = pool->read([](Connection& db) { return DatabaseMigrator::appliedIdentifiers(db); });
    DatabaseMigrator all;
    VantrelDatabaseMigrator::registerMigrations(all, [] { return QDateTime::currentDateTimeUtc(); });
    printRow(QStringLiteral("Database opened"), opener.migrationFailed()
                                                    ? QStringLiteral("yes, but a migration failed (see the log)")
                                                    : QStringLiteral("yes (encrypted, write-ahead log)"));
    printRow(QStringLiteral("Migrations"),
             QStringLiteral("%1 of %2 applied").arg(applied.size()).arg(all.identifiers().size()));
    if (!opener.keptUnreadableCopy().isEmpty())
        printRow(QStringLiteral("Unreadable copy"), opener.keptUnreadableCopy());
    return opener.migrationFailed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    cli::reportFatalSignals();
    shareAllocatorArenas();
    // The one place that picks the desktop's implementations.
    installPlatform(composePlatform());
    if (cli::isLauncherInvocation(argc, argv)) {
        cli::setFatalSignalPhase("running the launcher");
        return cli::runLauncher(argc, argv);
    }

    // Exit handlers and static destructors run after main returns.
    std::atexit([] { cli::setFatalSignalPhase("exiting"); });
    QCoreApplication app(argc, argv);
    // Gone just before the application object, whose end waits for the
    // global thread pool's threads.
    const struct ClosingPhase {
        ~ClosingPhase() { cli::setFatalSignalPhase("closing the application"); }
    } closingPhase;
    QCoreApplication::setApplicationName(QStringLiteral("vantrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));

    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool verbose = takeFlag(arguments, QStringLiteral("--verbose"));
    const QString command = arguments.value(0);
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        print(QStringLiteral("vantrel ") + QStringLiteral(VANTREL_VERSION));
        return 0;
    }
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        usage();
        return 0;
    }

    // Log lines go to the log file under the state folder; the commands print
    // what they have to say themselves. --verbose (or a configured level)
    // shows the log lines on standard error as well.
    std::vector<std::shared_ptr<LogHandler>> handlers{std::make_shared<FileLogHandler>()};
    if (verbose || UserDefaults::standard().contains(QStringLiteral("vantrelSimpleLoggerLevel")))
        handlers.push_back(std::make_shared<SimpleLogHandler>(stderr, SimpleLogHandler::Options{}));
    Logger::bootstrap(std::make_shared<MultiplexLogHandler>(std::move(handlers)));

    // Declared before the databases are opened, so that it speaks after they are closed.
    const ConfigurationChangesForwarder forwarder;
    cli::setFatalSignalPhase("running the command");
    // Until the launcher window exists, starting vantrel without a command runs the check.
    if (command.isEmpty() || command == QLatin1String("doctor")) return doctor();
    if (command == QLatin1String("search")) return searchCommand(arguments.mid(1));
    if (command == QLatin1String("visit")) return visitCommand(arguments.mid(1));
    if (command == QLatin1String("sources")) return sourcesCommand(arguments.mid(1));
    if (command == QLatin1String("run")) return runCommand(arguments.mid(1));
    if (command == QLatin1String("files")) return filesCommand(arguments.mid(1));
    if (command == QLatin1String("config")) return configCommand(arguments.mid(1));
    if (std::optional<LoadedSearch> loaded = openSearch(Sources::untouched)) {
        if (const FeatureContext::CliCommand* featureCommand = loaded->features->cliCommand(command))
            if (const std::optional<int> status = (*featureCommand)(arguments.mid(1))) return *status;
    } else {
        return 1;
    }

    std::fprintf(stderr, "vantrel: unknown command '%s'\n\n", command.toUtf8().constData());
    usage();
    return 2;
}
