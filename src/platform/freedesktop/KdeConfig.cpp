#include "platform/freedesktop/KdeConfig.h"

#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace vantrel {

namespace {

QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// "[Group]" → "Group"; nested groups ("[A][B]") keep their brackets inside.
std::optional<QString> groupOf(const QString& line) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')) || !trimmed.endsWith(QLatin1Char(']'))) return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2);
}

std::optional<std::pair<QString, QString>> entryOf(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) return std::nullopt;
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    if (equals <= 0) return std::nullopt;
    return std::make_pair(trimmed.left(equals).trimmed(), trimmed.mid(equals + 1).trimmed());
}

}  // namespace

QString KdeConfigFile::configPath(const QString& name) {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(name);
}

KdeConfigFile::KdeConfigFile(QString path) : m_path(std::move(path)) {}

std::optional<QString> KdeConfigFile::value(const QString& group, const QString& key) const {
    QString current;
    for (const QString& line : readLines(m_path)) {
        if (const auto header = groupOf(line)) {
            current = *header;
            continue;
        }
        if (current != group) continue;
        if (const auto entry = entryOf(line); entry && entry->first == key) return entry->second;
    }
    return std::nullopt;
}

void KdeConfigFile::setValue(const QString& group, const QString& key, const QString& value) {
    QStringList lines = readLines(m_path);
    const QString entry = key + QLatin1Char('=') + value;
    QString current;
    qsizetype groupEnd = -1;
    bool inGroup = false;
    bool written = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const auto header = groupOf(lines[i])) {
            if (inGroup) break;
            current = *header;
            inGroup = current == group;
            if (inGroup) groupEnd = i + 1;
            continue;
        }
        if (!inGroup) continue;
        if (const auto existing = entryOf(lines[i]); existing && existing->first == key) {
            lines[i] = entry;
            written = true;
            break;
        }
        if (!lines[i].trimmed().isEmpty()) groupEnd = i + 1;
    }
    if (!written) {
        if (groupEnd >= 0) {
            lines.insert(groupEnd, entry);
        } else {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
            lines << QLatin1Char('[') + group + QLatin1Char(']') << entry;
        }
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        throw VantrelError(QStringLiteral("Cannot write '%1': %2").arg(m_path, file.errorString()));
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    if (!file.commit()) throw VantrelError(QStringLiteral("Cannot write '%1': %2").arg(m_path, file.errorString()));
}

}  // namespace vantrel
