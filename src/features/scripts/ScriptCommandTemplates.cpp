#include "features/scripts/ScriptCommandTemplates.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace vantrel {

using Builder = ScriptCommandTemplateBuilder;

const std::vector<Builder::Template>& Builder::allTemplates() {
    static const std::vector<Template> all{Template::bash,   Template::appleScript, Template::swift,
                                           Template::python, Template::ruby,        Template::nodeJS};
    return all;
}

std::vector<Builder::Template> Builder::availableTemplates() {
    std::vector<Template> available;
    for (const Template candidate : allTemplates())
        if (isAvailable(candidate)) available.push_back(candidate);
    return available;
}

QString Builder::interpreter(Template scriptTemplate) {
    const QString line = firstLine(scriptTemplate).mid(2);
    static const QString env = QStringLiteral("/usr/bin/env ");
    return line.startsWith(env) ? line.mid(env.size()).trimmed() : line.trimmed();
}

bool Builder::isAvailable(Template scriptTemplate) {
    const QString program = interpreter(scriptTemplate);
    if (QDir::isAbsolutePath(program)) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable();
    }
    QStringList path{QStringLiteral("/usr/local/bin")};
    path << qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    return !QStandardPaths::findExecutable(program, path).isEmpty();
}

const std::vector<Builder::RefreshInterval>& Builder::allRefreshIntervals() {
    static const std::vector<RefreshInterval> all{
        RefreshInterval::seconds30, RefreshInterval::minute1, RefreshInterval::minutes15, RefreshInterval::hour1,
        RefreshInterval::hours3,    RefreshInterval::hours12, RefreshInterval::day1};
    return all;
}

QString Builder::displayName(Template scriptTemplate) {
    switch (scriptTemplate) {
        case Template::bash:
            return QStringLiteral("Bash");
        case Template::appleScript:
            return QStringLiteral("AppleScript");
        case Template::swift:
            return QStringLiteral("Swift");
        case Template::python:
            return QStringLiteral("Python");
        case Template::ruby:
            return QStringLiteral("Ruby");
        case Template::nodeJS:
            return QStringLiteral("Node.js");
    }
    return {};
}

QString Builder::firstLine(Template scriptTemplate) {
    switch (scriptTemplate) {
        case Template::bash:
            return QStringLiteral("#!/bin/bash");
        case Template::appleScript:
            return QStringLiteral("#!/usr/bin/osascript");
        case Template::swift:
            return QStringLiteral("#!/usr/bin/swift");
        case Template::python:
            return QStringLiteral("#!/usr/bin/env python3");
        case Template::ruby:
            return QStringLiteral("#!/usr/bin/env ruby");
        case Template::nodeJS:
            return QStringLiteral("#!/usr/bin/env node");
    }
    return {};
}

QString Builder::commentPrefix(Template scriptTemplate) {
    return scriptTemplate == Template::swift || scriptTemplate == Template::nodeJS ? QStringLiteral("//")
                                                                                   : QStringLiteral("#");
}

QString Builder::fileExtension(Template scriptTemplate) {
    switch (scriptTemplate) {
        case Template::bash:
            return QStringLiteral("sh");
        case Template::appleScript:
            return QStringLiteral("applescript");
        case Template::swift:
            return QStringLiteral("swift");
        case Template::python:
            return QStringLiteral("py");
        case Template::ruby:
            return QStringLiteral("rb");
        case Template::nodeJS:
            return QStringLiteral("js");
    }
    return {};
}

QString Builder::label(RefreshInterval interval) {
    switch (interval) {
        case RefreshInterval::seconds30:
            return QStringLiteral("30 Seconds");
        case RefreshInterval::minute1:
            return QStringLiteral("1 Minute");
        case RefreshInterval::minutes15:
            return QStringLiteral("15 Minutes");
        case RefreshInterval::hour1:
            return QStringLiteral("1 Hour");
        case RefreshInterval::hours3:
            return QStringLiteral("3 Hours");
        case RefreshInterval::hours12:
            return QStringLiteral("12 Hours");
        case RefreshInterval::day1:
            return QStringLiteral("1 Day");
    }
    return {};
}

QString Builder::value(RefreshInterval interval) {
    switch (interval) {
        case RefreshInterval::seconds30:
            return QStringLiteral("30s");
        case RefreshInterval::minute1:
            return QStringLiteral("1m");
        case RefreshInterval::minutes15:
            return QStringLiteral("15m");
        case RefreshInterval::hour1:
            return QStringLiteral("1h");
        case RefreshInterval::hours3:
            return QStringLiteral("3h");
        case RefreshInterval::hours12:
            return QStringLiteral("12h");
        case RefreshInterval::day1:
            return QStringLiteral("1d");
    }
    return {};
}

QString Builder::body() const {
    const QString greeting = QStringLiteral("Hello World!");
    const QString withValue = QStringLiteral("Hello World! Argument1 value: ");
    switch (scriptTemplate) {
        case Template::bash:
            return withArgument ? QStringLiteral("echo \"%1$1\"").arg(withValue)
                                : QStringLiteral("echo \"%1\"").arg(greeting);
        case Template::appleScript:
            return withArgument
                       ? QStringLiteral("on run argv\n  log \"%1\" & ( item 1 of argv )\nend run").arg(withValue)
                       : QStringLiteral("log \"%1\"").arg(greeting);
        case Template::swift:
            return withArgument ? QStringLiteral("print(\"%1\" + CommandLine.arguments[1])").arg(withValue)
                                : QStringLiteral("print(\"%1\")").arg(greeting);
        case Template::python:
            return withArgument ? QStringLiteral("import sys\n\nprint(\"%1\" + sys.argv[1])").arg(withValue)
                                : QStringLiteral("print(\"%1\")").arg(greeting);
        case Template::ruby:
            return withArgument ? QStringLiteral("puts \"%1\" + ARGV[0]").arg(withValue)
                                : QStringLiteral("puts \"%1\"").arg(greeting);
        case Template::nodeJS:
            return withArgument ? QStringLiteral("console.log(\"%1\" + process.argv.slice(2)[0])").arg(withValue)
                                : QStringLiteral("console.log(\"%1\")").arg(greeting);
    }
    return {};
}

QString Builder::fileText() const {
    const QString prefix = commentPrefix(scriptTemplate);
    QStringList lines;
    const auto comment = [&](const QString& text) { lines << prefix + text; };
    lines << firstLine(scriptTemplate) << QString();
    comment(QStringLiteral(" Required parameters:"));
    comment(QStringLiteral(" @vantrel.schemaVersion 1"));
    comment(QStringLiteral(" @vantrel.title ") + title);
    comment(QStringLiteral(" @vantrel.mode ") + ScriptCommand::rawValue(mode));
    if (refreshInterval) comment(QStringLiteral(" @vantrel.refreshTime ") + value(*refreshInterval));
    comment(QString());
    comment(QStringLiteral(" Optional parameters:"));
    comment(QStringLiteral(" @vantrel.icon 🤖"));
    comment(QStringLiteral(" @vantrel.packageName ") + packageName);
    if (needsConfirmation) comment(QStringLiteral(" @vantrel.needsConfirmation true"));
    if (withArgument)
        comment(QStringLiteral(" @vantrel.argument1 { \"type\": \"text\", \"placeholder\": \"Placeholder\" }"));
    if (!description.isEmpty() || !author.isEmpty() || !authorURL.isEmpty()) {
        comment(QStringLiteral(" Documentation:"));
        if (!description.isEmpty()) comment(QStringLiteral(" @vantrel.description ") + description);
        if (!author.isEmpty()) comment(QStringLiteral(" @vantrel.author ") + author);
        if (!authorURL.isEmpty()) comment(QStringLiteral(" @vantrel.authorURL ") + authorURL);
    }
    lines << QString() << body();
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString Builder::proposedFileName() const {
    return title.toLower().replace(QLatin1Char(' '), QLatin1Char('-')) + QLatin1Char('.') +
           fileExtension(scriptTemplate);
}

QString Builder::templateFileText() {
    return QStringLiteral(
               "#!/bin/bash\n"
               "\n"
               "# Vantrel Script Command Template\n"
               "#\n"
               "# Duplicate this file and remove \".template.\" from the filename to get started.\n"
               "# See full documentation here: %1\n"
               "#\n"
               "# Required parameters:\n"
               "# @vantrel.schemaVersion 1\n"
               "# @vantrel.title My First Script\n"
               "# @vantrel.mode fullOutput\n"
               "#\n"
               "# Optional parameters:\n"
               "# @vantrel.icon 🤖\n"
               "# @vantrel.packageName Vantrel Scripts\n"
               "\n"
               "echo \"Hello from My First Script\"\n")
        .arg(QString(documentationURL));
}

}  // namespace vantrel
