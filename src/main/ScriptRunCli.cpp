// `vantrel run` for script commands: runs the script without a window, the
// way the compact mode does, and prints what it printed.
#include "app/PackageRegistry.h"
#include "app/ScriptCommandActionProvider.h"
#include "app/ScriptCommandRunner.h"
#include "app/ScriptCommandsService.h"
#include "app/TerminalOutputFormatter.h"
#include "data/Database.h"
#include "data/Keychain.h"
#include "data/PackageConfigurationRepository.h"
#include "kit/VantrelError.h"
#include "main/CliCommands.h"
#include "platform/KeychainFactory.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <unistd.h>
#include <cstdio>
#include <memory>

namespace vantrel::cli {

namespace {

void err(const QString& text) {
    std::fputs((QStringLiteral("vantrel: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

// The configured script directories; nothing when the database cannot be opened.
std::optional<QStringList> scriptDirectories() {
    DatabaseOpener::Options options;
    options.keychain =
        std::make_shared<Keychain>(QString::fromLatin1(Keychain::kDefaultService), makeKeychainBackend());
    QString fatal;
    options.fatalStop = [&fatal](const QString& message) { fatal = message; };
    auto pool = DatabaseOpener(std::move(options)).openDatabase();
    if (!pool) {
        err(fatal);
        return std::nullopt;
    }
    PackageRegistry registry(std::make_shared<PackageConfigurationRepository>(pool),
                             PackageRegistry::developmentFlagFromEnvironment());
    ScriptCommandsService service(registry);
    QStringList directories;
    for (const QString& directory : service.directories()) directories << QDir::cleanPath(directory);
    return directories;
}

}  // namespace

std::optional<int> runScriptCommand(const QString& id, const QStringList& arguments) {
    const bool byId = id.startsWith(ScriptCommand::idPrefix);
    const QString path = byId ? id.mid(ScriptCommand::idPrefix.size()) : id;
    // Anything that is neither a script id nor an existing file is some other
    // command's key: the database is not even opened for it.
    if (!byId && !QFileInfo(path).isFile()) return std::nullopt;

    const std::optional<QStringList> directories = scriptDirectories();
    if (!directories) return 1;
    const QFileInfo file(path);
    const QString folder = QDir::cleanPath(file.absolutePath());
    if (!directories->contains(folder)) {
        // A file elsewhere may be the key of another record (a desktop entry).
        if (!byId) return std::nullopt;
        err(QStringLiteral("%1 is not in a script directory; add its folder with `vantrel scripts add-dir`")
                .arg(QDir::cleanPath(file.absoluteFilePath())));
        return 2;
    }
    if (!file.isFile()) {
        err(QStringLiteral("No script file found at path ") + path);
        return 1;
    }

    ScriptCommand command;
    try {
        command = ScriptCommand::parse(QDir::cleanPath(file.absoluteFilePath()));
    } catch (const std::exception& error) {
        err(VantrelError::describe(error));
        return 1;
    }
    for (std::size_t index = 0; index < command.arguments.size(); ++index) {
        const ScriptCommand::Argument& argument = command.arguments[index];
        const auto position = static_cast<qsizetype>(index);
        if (!argument.optional.value_or(false) && (position >= arguments.size() || arguments[position].isEmpty())) {
            err(QStringLiteral("Value is missing in argument: ") + argument.placeholder);
            return 2;
        }
    }

    // Running it by name here is the confirmation a confirming script asks for.
    ScriptCommandRunner runner(command);
    runner.setRunsInOwnProcessGroup(false);
    std::optional<Result<QString>> result;
    QEventLoop loop;
    runner.run(ScriptCommandActionProvider::preparedArguments(command, arguments), [&](const Result<QString>& outcome) {
        result = outcome;
        loop.quit();
    });
    if (!result) loop.exec();

    if (result->isFailure()) {
        err(result->error().errorDescription());
        return 1;
    }
    QString text = result->value();
    // Colours stay for a terminal; a pipe or a file gets the plain text.
    if (!::isatty(STDOUT_FILENO)) {
        TerminalOutputFormatter formatter;
        formatter.append(text);
        text = formatter.plainText();
    }
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace vantrel::cli
