// `vantrel` without a command, and `vantrel toggle|show|hide|open URL|…`: the
// request goes to the running launcher, or this process becomes the launcher.
#include "core/shell/InstanceChannel.h"
#include "features/Features.h"
#include "kit/KeyCombination.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/UserDefaults.h"
#include "main/vantrel/CliCommands.h"
#include "main/vantrel/Composition.h"
#include "ui/window/AppDelegate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSocketNotifier>
#include <QThread>
#include <QUrl>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace vantrel::cli {

namespace {

// Requests for the running launcher, and what each needs.
const QStringList& requestCommands() {
    static const QStringList commands{
        QStringLiteral("toggle"),   QStringLiteral("show"),       QStringLiteral("hide"),   QStringLiteral("open"),
        QStringLiteral("activate"), QStringLiteral("set-hotkey"), QStringLiteral("status"), QStringLiteral("quit")};
    return commands;
}

// Words a start may carry instead of a command.
bool isStartArgument(const QString& argument) {
    return argument == QLatin1String("--background") || argument == QLatin1String("VANTREL_LAUNCHER") ||
           argument == QLatin1String("AUTOMATIC_UPDATE") || argument == QLatin1String("UPDATED_VERSION") ||
           argument == QLatin1String("DATA_SOURCE_CHANGED");
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void printError(const QString& text) {
    std::fprintf(stderr, "vantrel: %s\n", text.toUtf8().constData());
}

// SIGTERM and SIGINT end the launcher the way "Quit Vantrel" does.
int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

void installSignalHandlers(AppDelegate& delegate) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &delegate);
    QObject::connect(notifier, &QSocketNotifier::activated, &delegate, [&delegate] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[0], &byte, 1);
        delegate.terminate();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// Prints what the running launcher answered; the exit status.
int printReply(const InstanceRequest& request, const InstanceReply& reply) {
    if (!reply.ok) {
        printError(reply.message.isEmpty() ? QStringLiteral("the launcher refused '%1'").arg(request.command)
                                           : reply.message);
        return 1;
    }
    if (request.command == QLatin1String("status")) {
        QJsonObject values = reply.values;
        values.insert(QStringLiteral("running"), true);
        std::fputs(QJsonDocument(values).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
    } else if (!reply.message.isEmpty()) {
        std::fprintf(stdout, "%s\n", reply.message.toUtf8().constData());
    }
    return 0;
}

// Starts `vantrel --background` on its own and waits until it answers on the
// instance socket; false (and why) when it does not within `timeoutMs`.
bool startBackgroundLauncher(int timeoutMs, QString* error) {
    qint64 pid = 0;
    // No application object exists yet: this program is the one /proc names.
    const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (program.isEmpty() || !QProcess::startDetached(program, {QStringLiteral("--background")}, {}, &pid)) {
        *error = QStringLiteral("cannot start the launcher");
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (InstanceClient().isRunning()) return true;
        // Gone already: it could not start (no display, no database).
        if (::kill(pid_t(pid), 0) != 0 && !InstanceClient().isRunning()) break;
        QThread::msleep(25);
    }
    *error = QStringLiteral("the launcher did not start; see the log in %1").arg(Paths::logFile());
    return false;
}

int openInBackgroundLauncher(const InstanceRequest& request) {
    QString error;
    if (!startBackgroundLauncher(30000, &error)) {
        printError(error);
        return 1;
    }
    if (const auto reply = InstanceClient().send(request, 10000, &error)) return printReply(request, *reply);
    printError(error);
    return 1;
}

void bootstrapLogging() {
    std::vector<std::shared_ptr<LogHandler>> handlers{std::make_shared<FileLogHandler>()};
    handlers.push_back(std::make_shared<SimpleLogHandler>(stderr, SimpleLogHandler::Options{}));
    Logger::bootstrap(std::make_shared<MultiplexLogHandler>(std::move(handlers)));
}

}  // namespace

bool isLauncherInvocation(int argc, char** argv) {
    const QStringList arguments = argumentsOf(argc, argv);
    if (arguments.isEmpty()) return true;
    return requestCommands().contains(arguments.first()) || isStartArgument(arguments.first());
}

int runLauncher(int argc, char** argv) {
    const QStringList arguments = argumentsOf(argc, argv);
    QString command = arguments.value(0);
    if (command.isEmpty() || isStartArgument(command)) command = QStringLiteral("activate");
    // The desktop entry runs `vantrel open %u`, with no link when started from a menu.
    if (command == QLatin1String("open") && arguments.size() == 1) command = QStringLiteral("activate");
    InstanceRequest request{command, {}};
    if (InstanceRequest::takesArgument(command)) {
        if (arguments.size() != 2) {
            printError(command == QLatin1String("open") ? QStringLiteral("open takes one vantrel:// link")
                                                        : QStringLiteral("set-hotkey takes one key combination "
                                                                         "in its stored form, e.g. Control-Option-49"));
            return 2;
        }
        request.argument = arguments.at(1);
        if (command == QLatin1String("set-hotkey") && !KeyCombination::fromPersistentString(request.argument)) {
            printError(QStringLiteral("'%1' is not a key combination (e.g. Option-49)").arg(request.argument));
            return 2;
        }
    } else if (arguments.size() > 1 && !isStartArgument(arguments.value(0)) &&
               arguments.value(0) != QLatin1String("open")) {
        printError(QStringLiteral("%1 takes no arguments").arg(command));
        return 2;
    }

    // A running launcher takes the request.
    const InstanceClient client;
    if (client.isRunning()) {
        // A background start (at login) leaves a running launcher as it is.
        if (arguments.contains(QStringLiteral("--background"))) return 0;
        QString error;
        if (const auto reply = client.send(request, 5000, &error)) return printReply(request, *reply);
        printError(error);
        return 1;
    }
    if (command == QLatin1String("hide") || command == QLatin1String("quit") || command == QLatin1String("status")) {
        if (command == QLatin1String("status")) {
            std::fputs("{\"running\":false}\n", stdout);
            return 1;
        }
        printError(QStringLiteral("no launcher is running"));
        return 1;
    }
    if (command == QLatin1String("set-hotkey")) {
        UserDefaults::standard().setValue(QStringLiteral("vantrelGlobalHotkey"), request.argument);
        std::fputs("No launcher is running; the hotkey is used from its next start\n", stdout);
        return 0;
    }
    // A link (from the desktop's handler or a terminal) starts the launcher in
    // the background, hands it the link and ends: the exit status says
    // whether the link was handled.
    if (command == QLatin1String("open")) return openInBackgroundLauncher(request);

    // This process becomes the launcher.
    QApplication::setDesktopFileName(QStringLiteral("vantrel"));
    QApplication app(argc, argv);
    installPlatform(composePlatform());
    QApplication::setApplicationName(QStringLiteral("vantrel"));
    QApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    bootstrapLogging();
    Logger({QStringLiteral("Launcher"), QStringLiteral("🚀")})
        .info(QStringLiteral("Application object ready in %1 ms").arg(millisecondsSinceProcessStart()));

    AppDelegate::Options options;
    options.arguments = arguments;
    options.executable = QCoreApplication::applicationFilePath();
    options.makeFeatures = makeFeatures;
    options.startHidden = arguments.contains(QStringLiteral("--background")) || command == QLatin1String("open");
    AppDelegate delegate(options);
    delegate.applicationWillFinishLaunching();
    QString error;
    if (!delegate.applicationDidFinishLaunching(&error)) {
        // Another launcher started at the same moment: it gets the request.
        if (client.isRunning()) {
            if (const auto reply = client.send(request, 5000, &error)) return printReply(request, *reply);
        }
        printError(error);
        return 1;
    }
    installSignalHandlers(delegate);
    if (command == QLatin1String("open")) {
        const QUrl url(request.argument);
        if (!delegate.openUrl(url)) printError(QStringLiteral("unhandled link: ") + request.argument);
    }
    return app.exec();
}

}  // namespace vantrel::cli
