// `vantrel run` for script commands: runs the script without a window, the
// way the compact mode does, and prints what it printed.
#include "features/scripts/ScriptsCli.h"

#include "features/scripts/ScriptCommandActionProvider.h"
#include "features/scripts/ScriptCommandRunner.h"
#include "features/scripts/ScriptCommandsService.h"
#include "features/scripts/TerminalOutputFormatter.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <unistd.h>
#include <cstdio>
#include <memory>

namespace vantrel::scripts {

namespace {

void err(const QString& text) {
    std::fputs((QStringLiteral("vantrel: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

}  // namespace

std::optional<int> runScriptCommand(const ScriptCommandsService& service, const QString& id,
                                    const QStringList& arguments) {
    const bool byId = id.startsWith(ScriptCommand::idPrefix);
    const QString path = byId ? id.mid(ScriptCommand::idPrefix.size()) : id;
    // Anything that is neither a script id nor an existing file is some other
    // command's key: the database is not even opened for it.
    if (!byId && !QFileInfo(path).isFile()) return std::nullopt;

    QStringList directories;
    for (const QString& directory : service.directories()) directories << QDir::cleanPath(directory);
    const QFileInfo file(path);
    const QString folder = QDir::cleanPath(file.absolutePath());
    if (!directories.contains(folder)) {
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

}  // namespace vantrel::scripts
