// The vantrel executable. Until the launcher window exists it answers
// `--version`, `doctor` and `help`.
#include "data/Database.h"
#include "data/DatabaseMigrator.h"
#include "data/Keychain.h"
#include "data/VantrelDatabaseMigrator.h"
#include "kit/AppFlavor.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "platform/KeychainFactory.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

using namespace vantrel;

void print(const QString& text) { std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout); }

void printRow(const QString& label, const QString& value) {
    print(QStringLiteral("%1 %2").arg(label + QLatin1Char(':'), -18).arg(value));
}

void usage() {
    print(QStringLiteral("Usage: vantrel [--version | doctor | help]\n\n"
                         "  --version   print the version\n"
                         "  doctor      check the data folder, the encrypted database and the keyring\n"
                         "  help        show this text"));
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
    Logger::bootstrap(std::make_shared<MultiplexLogHandler>(std::vector<std::shared_ptr<LogHandler>>{
        std::make_shared<SimpleLogHandler>(stderr), std::make_shared<FileLogHandler>()}));

    // Until the launcher window exists, starting vantrel without a command runs the check.
    if (command.isEmpty() || command == QLatin1String("doctor")) return doctor();

    std::fprintf(stderr, "vantrel: unknown command '%s'\n\n", command.toUtf8().constData());
    usage();
    return 2;
}
