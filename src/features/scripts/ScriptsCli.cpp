// `vantrel scripts`: the script directories of the configuration and the
// script commands found in them.
#include "features/scripts/ScriptsCli.h"

#include "features/scripts/ScriptCommandsService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace vantrel::scripts {

namespace {

void out(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
}

void err(const QString& text) {
    std::fputs((QStringLiteral("vantrel: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

int scriptsUsage() {
    std::fputs("Usage: vantrel scripts add-dir DIR | remove-dir DIR | dirs | list [--json]\n", stderr);
    return 2;
}

QString refreshTimeText(const CommandRefreshTime& time) {
    switch (time.unit) {
        case CommandRefreshTime::Unit::none:
            return {};
        case CommandRefreshTime::Unit::seconds:
            return QString::number(time.count) + QLatin1Char('s');
        case CommandRefreshTime::Unit::minutes:
            return QString::number(time.count) + QLatin1Char('m');
        case CommandRefreshTime::Unit::hours:
            return QString::number(time.count) + QLatin1Char('h');
        case CommandRefreshTime::Unit::days:
            return QString::number(time.count) + QLatin1Char('d');
    }
    return {};
}

QJsonObject commandJson(const ScriptCommand& command) {
    QJsonArray arguments;
    for (const auto& argument : command.arguments) {
        QJsonObject entry{{QStringLiteral("type"), QStringLiteral("text")},
                          {QStringLiteral("placeholder"), argument.placeholder}};
        if (argument.percentEncoded) entry.insert(QStringLiteral("percentEncoded"), *argument.percentEncoded);
        if (argument.optional) entry.insert(QStringLiteral("optional"), *argument.optional);
        arguments.append(entry);
    }
    QJsonObject object{
        {QStringLiteral("id"), command.id},
        {QStringLiteral("title"), command.displayName},
        {QStringLiteral("mode"), ScriptCommand::rawValue(command.runMode)},
        {QStringLiteral("packageName"), command.packageName},
        {QStringLiteral("scriptPath"), command.scriptPath},
        {QStringLiteral("needsConfirmation"), command.needsConfirmationAlert},
        {QStringLiteral("arguments"), arguments},
        {QStringLiteral("metadataHash"), command.metadataHash},
    };
    const QString refresh = refreshTimeText(command.refreshTime);
    object.insert(QStringLiteral("refreshTime"), refresh.isEmpty() ? QJsonValue() : QJsonValue(refresh));
    if (command.description) object.insert(QStringLiteral("description"), *command.description);
    if (command.currentDirectoryPath)
        object.insert(QStringLiteral("currentDirectoryPath"), *command.currentDirectoryPath);
    return object;
}

// One row: id, title, mode, package, refresh time, argument placeholders.
QString commandRow(const ScriptCommand& command) {
    QStringList placeholders;
    for (const auto& argument : command.arguments) placeholders << argument.placeholder;
    const QString refresh = refreshTimeText(command.refreshTime);
    return QStringList{command.id,
                       command.displayName,
                       ScriptCommand::rawValue(command.runMode),
                       command.packageName,
                       refresh.isEmpty() ? QStringLiteral("-") : refresh,
                       placeholders.isEmpty() ? QStringLiteral("-") : placeholders.join(QStringLiteral(", "))}
        .join(QLatin1Char('\t'));
}

}  // namespace

int scriptsCommand(ScriptCommandsService& service, const QStringList& arguments) {
    QStringList rest = arguments;
    const QString action = rest.isEmpty() ? QString() : rest.takeFirst();
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    const bool takesDirectory = action == QLatin1String("add-dir") || action == QLatin1String("remove-dir");
    if (takesDirectory ? rest.size() != 1 : (!rest.isEmpty() || action.isEmpty())) return scriptsUsage();
    if (!takesDirectory && action != QLatin1String("list") && action != QLatin1String("dirs")) return scriptsUsage();

    if (action == QLatin1String("add-dir")) {
        // Checked before anything is written.
        const QFileInfo info(rest.first());
        if (!info.isDir()) {
            err(info.exists() ? QStringLiteral("%1 is not a folder").arg(rest.first())
                              : QStringLiteral("there is no folder at %1").arg(rest.first()));
            return 2;
        }
    }

    if (action == QLatin1String("add-dir")) {
        const QString absolute = QDir::cleanPath(QFileInfo(rest.first()).absoluteFilePath());
        const QString templatePath = absolute + QLatin1Char('/') + QString(ScriptCommandsService::templateFileName);
        const bool hadTemplate = QFile::exists(templatePath);
        try {
            if (!service.addDirectory(absolute)) {
                out(QStringLiteral("Already a script directory: ") + absolute);
                return 0;
            }
        } catch (const std::exception& error) {
            err(QString::fromUtf8(error.what()));
            return 2;
        }
        out(QStringLiteral("Added script directory: ") + absolute);
        if (!hadTemplate && QFile::exists(templatePath))
            out(QStringLiteral("The folder was empty: wrote ") + templatePath);
        return 0;
    }
    if (action == QLatin1String("remove-dir")) {
        const QString absolute = QDir::cleanPath(QFileInfo(rest.first()).absoluteFilePath());
        if (!service.removeDirectory(absolute)) {
            err(QStringLiteral("%1 is not a script directory").arg(absolute));
            return 1;
        }
        out(QStringLiteral("Removed script directory: ") + absolute);
        return 0;
    }

    const QStringList directories = service.directories();
    if (action == QLatin1String("dirs")) {
        if (json) {
            out(QString::fromUtf8(
                QJsonDocument(QJsonArray::fromStringList(directories)).toJson(QJsonDocument::Indented)));
        } else {
            for (const QString& directory : directories) out(directory);
        }
        return 0;
    }

    service.reloadAll();
    const std::vector<ScriptCommand> commands = service.commands();
    if (json) {
        QJsonArray list;
        for (const auto& command : commands) list.append(commandJson(command));
        const QJsonObject document{{QStringLiteral("directories"), QJsonArray::fromStringList(directories)},
                                   {QStringLiteral("commands"), list}};
        out(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)));
        return 0;
    }
    if (directories.isEmpty()) {
        err(QStringLiteral("no script directories yet; add one with `vantrel scripts add-dir DIR`"));
        return 0;
    }
    for (const auto& command : commands) out(commandRow(command));
    return 0;
}

}  // namespace vantrel::scripts
