// vantrel-extension-host: runs extension commands in JavaScriptCore, apart
// from the launcher. The launcher starts it with the path of a Unix socket to
// listen on; the host prints "ready" on standard output once it listens, and
// exits with its parent.
//
//   vantrel-extension-host --socket PATH [--allow-read FOLDER]...
//   vantrel-extension-host --socket PATH --probe-write FILE   (diagnostics)
//
// The host holds no file, network or clipboard access of its own: scripts
// reach those through the launcher. Where the kernel has Landlock it can read
// only the extensions folder, the API folder, the folders given with
// --allow-read, /dev/urandom and the time-zone data, and can write nowhere. --probe-write
// tries to create FILE under that sandbox, prints "probe-write: allowed" or
// "probe-write: denied (reason)" and exits.
#include "extensions/host/CommandHost.h"
#include "extensions/packages/ExtensionPaths.h"
#include "extensions/protocol/Connection.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "main/vantrel-extension-host/Sandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/prctl.h>

#include <csignal>
#include <cstdio>

using namespace vantrel;
using namespace vantrel::extensions;

int main(int argc, char** argv) {
    // Ends with the launcher that started it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-extension-host"));
    const Logger logger({QStringLiteral("Extension Host"), QStringLiteral("🧩")});

    QString socketPath;
    QString probeWrite;
    // JavaScriptCore seeds its random numbers from /dev/urandom and stops
    // without it; the time-zone data gives Date the local zone.
    QStringList readable{ExtensionPaths::extensionsDir(), ExtensionPaths::apiDir(), QStringLiteral("/dev/urandom"),
                         QStringLiteral("/usr/share/zoneinfo"), QStringLiteral("/etc/localtime")};
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--socket") && hasValue) {
            socketPath = arguments.at(++i);
        } else if (argument == QLatin1String("--allow-read") && hasValue) {
            readable << arguments.at(++i);
        } else if (argument == QLatin1String("--probe-write") && hasValue) {
            probeWrite = arguments.at(++i);
        } else {
            std::fprintf(stderr, "usage: vantrel-extension-host --socket PATH [--allow-read FOLDER]... [--probe-write FILE]\n");
            return 2;
        }
    }
    if (socketPath.isEmpty()) {
        std::fprintf(stderr, "vantrel-extension-host: --socket PATH is required\n");
        return 2;
    }

    // Before the sandbox, which forbids making files: the extensions folder
    // (so that it can be read once it fills) and the socket.
    Paths::ensureDir(ExtensionPaths::extensionsDir());
    QLocalServer server;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    if (!server.listen(socketPath)) {
        std::fprintf(stderr, "vantrel-extension-host: cannot listen on %s: %s\n", qPrintable(socketPath), qPrintable(server.errorString()));
        return 3;
    }

    const auto sandbox = extensionhost::applySandbox(readable);
    if (sandbox.applied) {
        logger.info(sandbox.description);
    } else {
        logger.warning(sandbox.description);
    }

    if (!probeWrite.isEmpty()) {
        QFile file(probeWrite);
        if (file.open(QIODevice::WriteOnly)) {
            file.write("written from inside the extension host\n");
            std::printf("probe-write: allowed\n");
        } else {
            std::printf("probe-write: denied (%s)\n", qPrintable(file.errorString()));
        }
        std::printf("sandbox: %s\n", qPrintable(sandbox.description));
        return 0;
    }

    QObject::connect(&server, &QLocalServer::newConnection, &server, [&server, &logger] {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            auto* connection = new Connection(socket, QStringLiteral("launcher"), &server);
            auto* host = new CommandHost(connection, connection);
            QObject::connect(connection, &Connection::closed, connection, [connection, host, &logger] {
                host->close();
                logger.info(QStringLiteral("Launcher connection ended"));
                connection->deleteLater();
            });
        }
    });

    std::printf("ready\n");
    std::fflush(stdout);
    const int status = app.exec();
    server.close();
    QFile::remove(socketPath);
    return status;
}
