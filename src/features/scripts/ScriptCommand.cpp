#include "features/scripts/ScriptCommand.h"

#include "kit/Digest.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMap>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QUrl>

#include <unicode/uchar.h>

namespace vantrel {

namespace {

const QRegularExpression& metadataExpression() {
    static const QRegularExpression expression(
        QStringLiteral("^(?:#|\\/\\/)\\s@vantrel\\.(\\w+)\\s+(.*)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return expression;
}

const QRegularExpression& refreshTimeExpression() {
    static const QRegularExpression expression(QStringLiteral("^(\\d+)(s|m|h|d)$"),
                                               QRegularExpression::CaseInsensitiveOption);
    return expression;
}

bool isNewline(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// Only spaces and tabs: other white space belongs to the value.
QString trimmedSpacesAndTabs(QStringView line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(line[begin])) ++begin;
    while (end > begin && blank(line[end - 1])) --end;
    return line.mid(begin, end - begin).toString();
}

QMap<QString, QString> readMetadata(const QString& text) {
    QMap<QString, QString> metadata;
    qsizetype start = 0;
    const auto take = [&](qsizetype end) {
        const QString line = trimmedSpacesAndTabs(QStringView(text).mid(start, end - start));
        const QRegularExpressionMatch match = metadataExpression().match(line);
        if (match.hasMatch()) metadata.insert(match.captured(1), match.captured(2));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isNewline(text[i])) continue;
        take(i);
        start = i + 1;
    }
    take(text.size());
    return metadata;
}

// "my--scripts" → "My  Scripts", "shell_tools" → "Shell Tools".
QString packageNameFromFolder(const QString& folderName) {
    QStringList pieces;
    QString piece;
    for (const QChar c : folderName) {
        if (c.isLetterOrNumber()) {
            piece += c;
        } else {
            pieces << piece;
            piece.clear();
        }
    }
    pieces << piece;
    for (QString& word : pieces)
        if (!word.isEmpty()) word = word.left(1).toUpper() + word.mid(1).toLower();
    return pieces.join(QLatin1Char(' '));
}

bool confirmationValue(const QString& value) {
    const QString lowered = value.toLower();
    static const QStringList yes{QStringLiteral("true"), QStringLiteral("t"), QStringLiteral("yes"),
                                 QStringLiteral("y"), QStringLiteral("1")};
    return yes.contains(lowered);
}

std::optional<ScriptCommand::Argument> decodeArgument(const QString& value) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(value.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value(QLatin1String("type")) != QJsonValue(QStringLiteral("text"))) return std::nullopt;
    const QJsonValue placeholder = object.value(QLatin1String("placeholder"));
    if (!placeholder.isString()) return std::nullopt;
    ScriptCommand::Argument argument;
    argument.placeholder = placeholder.toString();
    const auto optionalBool = [&object](const char* key, std::optional<bool>& into) {
        const QJsonValue entry = object.value(QLatin1String(key));
        if (entry.isUndefined() || entry.isNull()) return true;
        if (!entry.isBool()) return false;
        into = entry.toBool();
        return true;
    };
    if (!optionalBool("percentEncoded", argument.percentEncoded)) return std::nullopt;
    if (!optionalBool("optional", argument.optional)) return std::nullopt;
    return argument;
}

bool isEmoji(const QString& value) {
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, value);
    if (value.isEmpty() || graphemes.toNextBoundary() != value.size()) return false;
    const QList<uint> scalars = value.toUcs4();
    if (scalars.isEmpty()) return false;
    const auto first = static_cast<UChar32>(scalars.first());
    if (!u_hasBinaryProperty(first, UCHAR_EMOJI)) return false;
    return scalars.size() > 1 || first > 0x238C;
}

IconSet remoteIcon(const QUrl& url) {
    return {ImageResource::url(url, QSize(20, 20)), ImageResource::url(url, QSize(32, 32))};
}

std::optional<IconSet> resolveIcon(const QString& value, const QString& scriptFolder) {
    if (isEmoji(value)) return IconSet{ImageResource::emoji(value), std::nullopt};
    const QUrl url(value, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) return remoteIcon(url);
    QString path;
    if (value.startsWith(QLatin1Char('/')))
        path = value;
    else if (value == QLatin1String("~") || value.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + value.mid(1);
    else
        path = QDir::cleanPath(scriptFolder + QLatin1Char('/') + value);
    if (!QFileInfo::exists(path)) return std::nullopt;
    return remoteIcon(QUrl::fromLocalFile(path));
}

IconSet iconSet(const QMap<QString, QString>& metadata, const QString& scriptFolder) {
    std::optional<IconSet> light;
    if (const auto icon = metadata.constFind(QStringLiteral("icon")); icon != metadata.constEnd())
        light = resolveIcon(*icon, scriptFolder);
    IconSet result = light.value_or(IconSet{ImageResource::named(QStringLiteral("command-script-commands-16")), {}});
    const auto darkValue = metadata.constFind(QStringLiteral("iconDark"));
    if (darkValue == metadata.constEnd()) return result;
    const std::optional<IconSet> dark = resolveIcon(*darkValue, scriptFolder);
    if (!dark) return result;
    IconSet themed;
    themed.small = ImageResource::themed(result.small, dark->small);
    themed.medium = ImageResource::themed(result.medium.value_or(result.small), dark->medium.value_or(dark->small));
    return themed;
}

QString hashOf(QMap<QString, QString> metadata, const QString& scriptPath) {
    metadata.insert(QStringLiteral("path"), scriptPath);
    QJsonObject object;  // keeps its keys sorted
    for (auto it = metadata.constBegin(); it != metadata.constEnd(); ++it) object.insert(it.key(), it.value());
    return sha256Hex(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

}  // namespace

CommandRefreshTime CommandRefreshTime::parse(const QString& value) {
    const QRegularExpressionMatch match = refreshTimeExpression().match(value);
    if (!match.hasMatch()) return none();
    bool ok = false;
    const qlonglong count = match.captured(1).toLongLong(&ok);
    if (!ok) return none();
    switch (match.captured(2).toLower().at(0).toLatin1()) {
        case 's':
            return seconds(count);
        case 'm':
            return minutes(count);
        case 'h':
            return hours(count);
        default:
            return days(count);
    }
}

std::optional<double> CommandRefreshTime::lengthInSeconds() const {
    const auto n = static_cast<double>(count);
    switch (unit) {
        case Unit::none:
            return std::nullopt;
        case Unit::seconds:
            return n;
        case Unit::minutes:
            return n * 60.0;
        case Unit::hours:
            return n * 3600.0;
        case Unit::days:
            return n * 86400.0;
    }
    return std::nullopt;
}

QString ScriptCommand::rawValue(RunMode mode) {
    switch (mode) {
        case RunMode::fullOutput:
            return QStringLiteral("fullOutput");
        case RunMode::compact:
            return QStringLiteral("compact");
        case RunMode::silent:
            return QStringLiteral("silent");
        case RunMode::inline_:
            return QStringLiteral("inline");
    }
    return {};
}

std::optional<ScriptCommand::RunMode> ScriptCommand::runModeFromRawValue(const QString& value) {
    for (const RunMode mode : {RunMode::fullOutput, RunMode::compact, RunMode::silent, RunMode::inline_})
        if (value == rawValue(mode)) return mode;
    return std::nullopt;
}

ScriptCommand ScriptCommand::parse(const QString& scriptPath) {
    QFile file(scriptPath);
    if (!file.open(QIODevice::ReadOnly))
        throw VantrelError(QStringLiteral("Cannot read %1: %2").arg(scriptPath, file.errorString()));
    const QMap<QString, QString> metadata = readMetadata(QString::fromUtf8(file.readAll()));

    const auto value = [&metadata](const char* key) -> std::optional<QString> {
        const auto found = metadata.constFind(QLatin1String(key));
        if (found == metadata.constEnd()) return std::nullopt;
        return *found;
    };

    const auto title = value("title");
    const auto mode = value("mode");
    const auto version = value("schemaVersion");
    std::optional<RunMode> runMode = mode ? runModeFromRawValue(*mode) : std::nullopt;
    bool versionOk = false;
    const qlonglong versionNumber = version ? version->toLongLong(&versionOk) : 0;
    if (!title || !runMode || !versionOk || versionNumber != 1)
        throw VantrelError(QStringLiteral("Some required parameters are not specified"));

    const QFileInfo info(scriptPath);
    const QString folder = info.absolutePath();

    ScriptCommand command;
    command.id = idPrefix + scriptPath;
    command.schemaVersion = 1;
    command.scriptPath = scriptPath;
    command.displayName = *title;
    command.packageName = value("packageName").value_or(packageNameFromFolder(QFileInfo(folder).fileName()));
    command.needsConfirmationAlert = confirmationValue(value("needsConfirmation").value_or(QString()));
    command.runMode = *runMode;
    command.currentDirectoryPath = value("currentDirectoryPath");
    command.description = value("description");
    if (const auto refresh = value("refreshTime")) command.refreshTime = CommandRefreshTime::parse(*refresh);
    command.metadataHash = hashOf(metadata, scriptPath);
    if (command.runMode != RunMode::inline_) {
        for (const char* key : {"argument1", "argument2", "argument3"})
            if (const auto json = value(key))
                if (auto argument = decodeArgument(*json)) command.arguments.push_back(std::move(*argument));
    }
    command.icon = iconSet(metadata, folder);
    return command;
}

}  // namespace vantrel
