#include "platform/freedesktop/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

namespace vantrel {

namespace {

const QString kDesktopEntryGroup = QStringLiteral("Desktop Entry");

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

// Values of one key: the unlocalised one (if present) and one per locale.
struct KeyValues {
    std::optional<QString> plain;
    QHash<QString, QString> localized;
};

// Undoes the escapes of a string value: \s \n \t \r \\. With splitList the
// value is a ';'-separated list where "\;" stands for a literal ';'; an
// unknown escape is kept as written.
QStringList unescape(const QString& raw, bool splitList) {
    QStringList items;
    QString current;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar next = raw.at(++i);
            switch (next.unicode()) {
                case 's':
                    current += QLatin1Char(' ');
                    break;
                case 'n':
                    current += QLatin1Char('\n');
                    break;
                case 't':
                    current += QLatin1Char('\t');
                    break;
                case 'r':
                    current += QLatin1Char('\r');
                    break;
                case '\\':
                    current += QLatin1Char('\\');
                    break;
                case ';':
                    if (splitList) {
                        current += QLatin1Char(';');
                    } else {
                        current += c;
                        current += next;
                    }
                    break;
                default:
                    current += c;
                    current += next;
                    break;
            }
        } else if (splitList && c == QLatin1Char(';')) {
            if (!current.isEmpty()) items.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!splitList || !current.isEmpty()) items.append(current);
    return items;
}

bool isAbsoluteExecutable(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString dataHome() {
    const QString value = qEnvironmentVariable("XDG_DATA_HOME");
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/share"));
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray& contents, const QString& filePath, const QString& id,
                                                const QStringList& locales, QString* error) {
    QByteArray data = contents;
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);

    QHash<QString, KeyValues> keys;
    bool inEntryGroup = false;
    bool sawEntryGroup = false;
    bool sawAnyGroup = false;
    int strayLine = 0;

    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const int lineNumber = static_cast<int>(index) + 1;
        QByteArray bytes = lines.at(index);
        if (bytes.endsWith('\r')) bytes.chop(1);

        QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const QString line = decoder(bytes);
        if (decoder.hasError()) {
            setError(error, QStringLiteral("invalid UTF-8 on line %1").arg(lineNumber));
            return std::nullopt;
        }

        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) continue;

        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']'))) {
                setError(error, QStringLiteral("malformed line %1: unterminated group header").arg(lineNumber));
                return std::nullopt;
            }
            const QString group = trimmed.mid(1, trimmed.size() - 2);
            sawAnyGroup = true;
            if (group == kDesktopEntryGroup) {
                if (sawEntryGroup) {
                    setError(error, QStringLiteral("malformed line %1: second [Desktop Entry] group").arg(lineNumber));
                    return std::nullopt;
                }
                sawEntryGroup = true;
                inEntryGroup = true;
            } else {
                inEntryGroup = false;
            }
            continue;
        }

        if (!inEntryGroup) {
            // Lines of other groups are not ours to judge; text before any
            // group is, but only once we know this is a desktop entry at all.
            if (!sawAnyGroup && strayLine == 0) strayLine = lineNumber;
            continue;
        }

        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            setError(error, QStringLiteral("malformed line %1: expected Key=Value").arg(lineNumber));
            return std::nullopt;
        }
        QString key = line.left(equals).trimmed();
        QString value = line.mid(equals + 1);
        while (!value.isEmpty() && (value.front() == QLatin1Char(' ') || value.front() == QLatin1Char('\t')))
            value.remove(0, 1);
        if (key.isEmpty()) {
            setError(error, QStringLiteral("malformed line %1: empty key").arg(lineNumber));
            return std::nullopt;
        }

        std::optional<QString> locale;
        const qsizetype bracket = key.indexOf(QLatin1Char('['));
        if (bracket >= 0) {
            if (!key.endsWith(QLatin1Char(']')) || bracket == 0) {
                setError(error, QStringLiteral("malformed line %1: bad locale in key \"%2\"").arg(lineNumber).arg(key));
                return std::nullopt;
            }
            locale = key.mid(bracket + 1, key.size() - bracket - 2);
            key.truncate(bracket);
        }

        KeyValues& values = keys[key];
        if (locale)
            values.localized.insert(*locale, value);
        else
            values.plain = value;
    }

    if (!sawEntryGroup) {
        setError(error, QStringLiteral("not a desktop entry: no [Desktop Entry] group"));
        return std::nullopt;
    }
    if (strayLine != 0) {
        setError(error, QStringLiteral("malformed line %1: text before the first group").arg(strayLine));
        return std::nullopt;
    }

    DesktopEntry entry;
    entry.id = id;
    entry.path = filePath;

    const auto raw = [&](const QString& key, bool localized) -> std::optional<QString> {
        const auto found = keys.constFind(key);
        if (found == keys.constEnd()) return std::nullopt;
        if (localized) {
            for (const QString& locale : locales) {
                const auto value = found->localized.constFind(locale);
                if (value != found->localized.constEnd()) return *value;
            }
        }
        return found->plain;
    };
    const auto string = [&](const QString& key, bool localized = false) {
        const std::optional<QString> value = raw(key, localized);
        return value ? unescape(*value, false).constFirst() : QString();
    };
    const auto list = [&](const QString& key, bool localized = false) {
        const std::optional<QString> value = raw(key, localized);
        return value ? unescape(*value, true) : QStringList();
    };
    const auto boolean = [&](const QString& key) {
        const std::optional<QString> value = raw(key, false);
        if (!value || *value == QLatin1String("false")) return false;
        if (*value == QLatin1String("true")) return true;
        entry.warnings.append(QStringLiteral("%1=%2 is not a boolean, read as false").arg(key, *value));
        return false;
    };

    entry.type = string(QStringLiteral("Type"));
    if (entry.type.isEmpty()) {
        setError(error, QStringLiteral("desktop entry has no Type"));
        return std::nullopt;
    }
    entry.name = string(QStringLiteral("Name"), true);
    if (entry.name.isEmpty()) {
        setError(error, QStringLiteral("desktop entry has no Name"));
        return std::nullopt;
    }
    entry.genericName = string(QStringLiteral("GenericName"), true);
    entry.comment = string(QStringLiteral("Comment"), true);
    entry.keywords = list(QStringLiteral("Keywords"), true);
    entry.icon = string(QStringLiteral("Icon"), true);
    entry.exec = string(QStringLiteral("Exec"));
    entry.tryExec = string(QStringLiteral("TryExec"));
    entry.workingDirectory = string(QStringLiteral("Path"));
    entry.terminal = boolean(QStringLiteral("Terminal"));
    entry.noDisplay = boolean(QStringLiteral("NoDisplay"));
    entry.hidden = boolean(QStringLiteral("Hidden"));
    entry.onlyShowIn = list(QStringLiteral("OnlyShowIn"));
    entry.notShowIn = list(QStringLiteral("NotShowIn"));
    entry.categories = list(QStringLiteral("Categories"));
    entry.mimeTypes = list(QStringLiteral("MimeType"));
    entry.actions = list(QStringLiteral("Actions"));
    entry.dbusActivatable = boolean(QStringLiteral("DBusActivatable"));
    entry.startupWMClass = string(QStringLiteral("StartupWMClass"));
    for (auto it = keys.constBegin(); it != keys.constEnd(); ++it)
        if (it.key().startsWith(QLatin1String("X-")) && it->plain)
            entry.extensionKeys.insert(it.key(), unescape(*it->plain, false).constFirst());
    return entry;
}

std::optional<DesktopEntry> DesktopEntry::load(const QString& filePath, const QString& id, const QStringList& locales,
                                               QString* error) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString()));
        return std::nullopt;
    }
    return parse(file.readAll(), filePath, id, locales, error);
}

QStringList DesktopEntry::localeCandidates(const QString& localeName) {
    QString name = localeName.trimmed();
    QString modifier;
    const qsizetype at = name.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        modifier = name.mid(at + 1);
        name.truncate(at);
    }
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);

    QString lang = name;
    QString country;
    const qsizetype underscore = name.indexOf(QLatin1Char('_'));
    if (underscore >= 0) {
        lang = name.left(underscore);
        country = name.mid(underscore + 1);
    }
    if (lang.isEmpty() || lang == QLatin1String("C") || lang == QLatin1String("POSIX")) return {};

    QStringList candidates;
    if (!country.isEmpty() && !modifier.isEmpty())
        candidates.append(lang + QLatin1Char('_') + country + QLatin1Char('@') + modifier);
    if (!country.isEmpty()) candidates.append(lang + QLatin1Char('_') + country);
    if (!modifier.isEmpty()) candidates.append(lang + QLatin1Char('@') + modifier);
    candidates.append(lang);
    return candidates;
}

QStringList DesktopEntry::systemLocales() {
    QString locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty()) break;
    }
    const QStringList base = localeCandidates(locale);
    if (base.isEmpty()) return {};

    QStringList result;
    const QStringList language = qEnvironmentVariable("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& name : language)
        for (const QString& candidate : localeCandidates(name))
            if (!result.contains(candidate)) result.append(candidate);
    for (const QString& candidate : base)
        if (!result.contains(candidate)) result.append(candidate);
    return result;
}

bool DesktopEntry::isShown(const QStringList& desktops,
                           const std::function<bool(const QString&)>& executableExists) const {
    if (hidden || noDisplay) return false;
    if (type != QLatin1String("Application")) return false;

    const auto intersects = [&](const QStringList& names) {
        for (const QString& name : names)
            if (desktops.contains(name)) return true;
        return false;
    };
    if (!onlyShowIn.isEmpty() && !intersects(onlyShowIn)) return false;
    if (intersects(notShowIn)) return false;

    if (!tryExec.isEmpty()) {
        if (QDir::isAbsolutePath(tryExec)) return isAbsoluteExecutable(tryExec);
        return executableExists && executableExists(tryExec);
    }
    return true;
}

QStringList DesktopEntry::currentDesktops() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

bool DesktopEntry::executableOnPath(const QString& program) {
    if (program.isEmpty()) return false;
    if (QDir::isAbsolutePath(program)) return isAbsoluteExecutable(program);
    if (program.contains(QLatin1Char('/'))) return false;
    const QStringList folders = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& folder : folders) {
        if (!QDir::isAbsolutePath(folder)) continue;
        if (isAbsoluteExecutable(folder + QLatin1Char('/') + program)) return true;
    }
    return false;
}

QStringList DesktopEntry::applicationDirectories() {
    QStringList folders;
    const auto add = [&](const QString& path) {
        const QString clean = QDir::cleanPath(path);
        if (!folders.contains(clean)) folders.append(clean);
    };

    const QString home = dataHome();
    add(home + QStringLiteral("/applications"));

    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir)) add(dir + QStringLiteral("/applications"));

    add(home + QStringLiteral("/flatpak/exports/share/applications"));
    add(QStringLiteral("/var/lib/flatpak/exports/share/applications"));
    add(QStringLiteral("/var/lib/snapd/desktop/applications"));
    return folders;
}

QString DesktopEntry::desktopFileId(const QString& applicationsDir, const QString& filePath) {
    const QString base = QDir::cleanPath(applicationsDir);
    const QString file = QDir::cleanPath(filePath);
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    if (!file.startsWith(prefix) || file.size() == prefix.size()) return {};
    QString id = file.mid(prefix.size());
    id.replace(QLatin1Char('/'), QLatin1Char('-'));
    return id;
}

}  // namespace vantrel
