// The vantrel executable. Until the launcher window exists it answers
// `--version`, `doctor` and `help`.
#include "data/Database.h"
#include "data/DatabaseMigrator.h"
#include "data/Keychain.h"
#include "data/VantrelDatabaseMigrator.h"
#include "kit/AppFlavor.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/UserDefaults.h"
#include "platform/KeychainFactory.h"
#include "search/Search.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>

namespace {

using namespace vantrel;

void print(const QString& text) { std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout); }

void printRow(const QString& label, const QString& value) {
    print(QStringLiteral("%1 %2").arg(label + QLatin1Char(':'), -18).arg(value));
}

void usage() {
    print(QStringLiteral(
        "Usage: vantrel [COMMAND]\n\n"
        "  --version                        print the version\n"
        "  doctor                           check the data folder, the encrypted database and the keyring\n"
        "  search QUERY [--json] [--limit N] rank the stored items for QUERY as the launcher does\n"
        "  visit KEY [--term TERM]          record that the item with KEY was opened (after typing TERM)\n"
        "  help                             show this text"));
}

// The shared database with the keyring of this desktop; null (and a message)
// when it cannot be opened.
std::shared_ptr<DatabasePool> openDatabase() {
    DatabaseOpener::Options options;
    options.keychain = std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), makeKeychainBackend());
    QString fatal;
    options.fatalStop = [&fatal](const QString& message) { fatal = message; };
    auto pool = DatabaseOpener(std::move(options)).openDatabase();
    if (!pool) std::fprintf(stderr, "vantrel: %s\n", fatal.toUtf8().constData());
    return pool;
}

// The value after `option` in the arguments (removing both), or nothing.
std::optional<QString> takeOption(QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
    const QString value = arguments.at(at + 1);
    arguments.remove(at, 2);
    return value;
}

bool takeFlag(QStringList& arguments, const QString& flag) { return arguments.removeAll(flag) > 0; }

int searchCommand(QStringList arguments) {
    const bool json = takeFlag(arguments, QStringLiteral("--json"));
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
    auto pool = openDatabase();
    if (!pool) return 1;
    Search search(std::make_shared<SearchRepository>(pool));
    search.indexAll();
    std::vector<SearchItem> items = search.items(query);
    if (items.size() > static_cast<size_t>(limit)) items.erase(items.begin() + limit, items.end());

    if (json) {
        QJsonArray array;
        for (const SearchItem& item : items) {
            const SearchResult& result = item.result();
            QJsonObject object{{"name", result.name()},
                               {"key", result.identifier()},
                               {"type", SearchRecord::rawValue(result.type())}};
            if (const SearchRecord* record = item.record()) {
                object.insert("source", SearchRecord::rawValue(record->source));
                if (record->alias) object.insert("alias", *record->alias);
                if (record->frecencyDate)
                    object.insert("frecencyDate", DatabaseDate::toText(*record->frecencyDate));
            }
            array.append(object);
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    if (items.empty()) {
        print(QStringLiteral("No results for \"%1\"").arg(query));
        return 0;
    }
    for (const SearchItem& item : items) {
        const SearchRecord* record = item.record();
        print(QStringLiteral("%1  %2  %3  %4")
                  .arg(item.name(), -32)
                  .arg(SearchRecord::rawValue(item.result().type()), -16)
                  .arg(record ? SearchRecord::rawValue(record->source) : QString(), -10)
                  .arg(item.identifier()));
    }
    return 0;
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
    printRow(QStringLiteral("Database opened"),
             opener.migrationFailed() ? QStringLiteral("yes, but a migration failed (see the log)")
                                      : QStringLiteral("yes (encrypted, write-ahead log)"));
    printRow(QStringLiteral("Migrations"),
             QStringLiteral("%1 of %2 applied").arg(applied.size()).arg(all.identifiers().size()));
    if (!opener.keptUnreadableCopy().isEmpty())
        printRow(QStringLiteral("Unreadable copy"), opener.keptUnreadableCopy());
    return opener.migrationFailed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString command = arguments.value(0);
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        print(QStringLiteral("vantrel ") + QStringLiteral(VANTREL_VERSION));
        return 0;
    }
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        usage();
        return 0;
    }

    // Messages go to standard error and to the log file under the state folder.
    // Commands whose output is meant for reading or piping keep standard error
    // to warnings unless a level is configured.
    SimpleLogHandler::Options stderrOptions;
    const bool quiet = command == QLatin1String("search") || command == QLatin1String("visit");
    if (quiet && !UserDefaults::standard().contains(QStringLiteral("vantrelSimpleLoggerLevel")))
        stderrOptions.minimumLevel = Logger::Level::warning;
    Logger::bootstrap(std::make_shared<MultiplexLogHandler>(std::vector<std::shared_ptr<LogHandler>>{
        std::make_shared<SimpleLogHandler>(stderr, stderrOptions), std::make_shared<FileLogHandler>()}));

    // Until the launcher window exists, starting vantrel without a command runs the check.
    if (command.isEmpty() || command == QLatin1String("doctor")) return doctor();
    if (command == QLatin1String("search")) return searchCommand(arguments.mid(1));
    if (command == QLatin1String("visit")) return visitCommand(arguments.mid(1));

    std::fprintf(stderr, "vantrel: unknown command '%s'\n\n", command.toUtf8().constData());
    usage();
    return 2;
}
