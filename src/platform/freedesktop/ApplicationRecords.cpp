#include "platform/freedesktop/ApplicationRecords.h"

#include "kit/Logger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <map>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Applications"), QStringLiteral("🧩")});
    return logger;
}

// A broken file younger than this may still be being written.
constexpr qint64 kRecentWriteSeconds = 5;

void warnSkipped(const QString& path, const QString& reason) {
    log().warning(QStringLiteral("Skipping %1: %2").arg(path, reason));
}

QStringList keywordsOf(const DesktopEntry& entry) {
    QStringList words;
    QSet<QString> seen;
    const auto add = [&](const QString& word) {
        const QString trimmed = word.trimmed();
        if (trimmed.isEmpty()) return;
        const QString folded = trimmed.toCaseFolded();
        if (seen.contains(folded)) return;
        seen.insert(folded);
        words << trimmed;
    };
    for (const QString& keyword : entry.keywords) add(keyword);
    for (const QString& word : entry.genericName.split(QLatin1Char(' '), Qt::SkipEmptyParts)) add(word);
    return words;
}

}  // namespace

ApplicationRecords::Rules ApplicationRecords::Rules::fromEnvironment() {
    Rules rules;
    rules.locales = DesktopEntry::systemLocales();
    rules.currentDesktops = DesktopEntry::currentDesktops();
    return rules;
}

bool ApplicationRecords::isSettingsPanel(const DesktopEntry& entry) {
    if (entry.categories.contains(QLatin1String("Settings")) &&
        entry.extensionKeys.contains(QStringLiteral("X-GNOME-Settings-Panel")))
        return true;
    const QString fileName = QFileInfo(entry.path).fileName();
    if (fileName.startsWith(QLatin1String("kcm_")) || entry.id.startsWith(QLatin1String("kcm_"))) return true;
    const QString program = QFileInfo(execProgram(entry.exec)).fileName();
    return program == QLatin1String("kcmshell5") || program == QLatin1String("kcmshell6");
}

QString ApplicationRecords::execProgram(const QString& exec) {
    qsizetype i = 0;
    while (i < exec.size() && exec.at(i).isSpace()) ++i;
    if (i >= exec.size()) return {};
    QString program;
    if (exec.at(i) == QLatin1Char('"')) {
        // Inside double quotes a backslash escapes '"', '`', '$' and itself.
        for (++i; i < exec.size(); ++i) {
            const QChar c = exec.at(i);
            if (c == QLatin1Char('"')) return program;
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                const QChar next = exec.at(i + 1);
                if (next == QLatin1Char('"') || next == QLatin1Char('`') || next == QLatin1Char('$') ||
                    next == QLatin1Char('\\')) {
                    program += next;
                    ++i;
                    continue;
                }
            }
            program += c;
        }
        return {};  // no closing quote
    }
    while (i < exec.size() && !exec.at(i).isSpace()) program += exec.at(i++);
    return program;
}

ApplicationRecords::Conversion ApplicationRecords::convert(const DesktopEntry& entry, const Rules& rules) {
    const bool settingsPanel = isSettingsPanel(entry);
    // GNOME marks its panels NoDisplay so that menus leave them out; a
    // launcher offers them anyway.
    DesktopEntry rulesView = entry;
    if (settingsPanel) rulesView.noDisplay = false;
    if (!rulesView.isShown(rules.currentDesktops, rules.executableExists)) return {};

    if (!entry.dbusActivatable) {
        if (entry.exec.trimmed().isEmpty()) return {std::nullopt, QStringLiteral("no Exec")};
        const QString program = execProgram(entry.exec);
        if (program.isEmpty()) return {std::nullopt, QStringLiteral("Exec cannot be read: %1").arg(entry.exec)};
        if (!rules.executableExists || !rules.executableExists(program))
            return {std::nullopt, QStringLiteral("program %1 not found").arg(program)};
    }

    SearchRecord record;
    record.key = entry.path;
    record.path = entry.path;
    record.source = SearchRecord::Source::system;
    record.type = settingsPanel ? SearchRecord::ContentType::prefPane : SearchRecord::ContentType::systemApp;
    record.name = entry.name;
    const QStringList keywords = keywordsOf(entry);
    if (!keywords.isEmpty()) record.keywords = SearchRecord::joinKeywords(keywords);
    return {std::move(record), QString()};
}

std::optional<SearchRecord> ApplicationRecords::readFile(const QString& path, const QString& id, const Rules& rules,
                                                         QString* problem) {
    const auto fail = [&](const QString& reason) -> std::optional<SearchRecord> {
        warnSkipped(path, reason);
        if (problem) *problem = reason;
        return std::nullopt;
    };

    const QFileInfo info(path);
    if (!info.exists()) return fail(QStringLiteral("cannot be read (dangling link or removed)"));
    if (!info.isFile()) return fail(QStringLiteral("not a regular file"));
    if (info.size() > rules.maxFileSize)
        return fail(QStringLiteral("larger than %1 bytes (%2 bytes)").arg(rules.maxFileSize).arg(info.size()));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot be read: %1").arg(file.errorString()));
    // The file may grow between the check and the read: never take more than
    // the bound.
    const QByteArray contents = file.read(rules.maxFileSize + 1);
    if (contents.size() > rules.maxFileSize) return fail(QStringLiteral("larger than %1 bytes").arg(rules.maxFileSize));

    QString error;
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(contents, path, id, rules.locales, &error);
    if (!entry) return fail(QStringLiteral("unparsable: %1").arg(error));

    Conversion conversion = convert(*entry, rules);
    if (!conversion.problem.isEmpty()) return fail(conversion.problem);
    if (!conversion.record) log().debug(QStringLiteral("Not offering desktop file %1").arg(path));
    return std::move(conversion.record);
}

ApplicationRecords::FolderListing ApplicationRecords::readFolder(const QString& folder, const Rules& rules,
                                                                 const std::function<bool()>& cancelled) {
    FolderListing listing;
    listing.folder = QDir::cleanPath(folder);
    if (!QFileInfo(listing.folder).isDir()) return listing;
    listing.exists = true;

    QSet<QString> visited;
    std::map<QString, Entry> byId;
    const QDateTime recentLimit = QDateTime::currentDateTime().addSecs(-kRecentWriteSeconds);

    const std::function<void(const QString&)> visit = [&](const QString& directory) {
        const QString canonical = QFileInfo(directory).canonicalFilePath();
        if (canonical.isEmpty()) {
            log().warning(QStringLiteral("Could not enumerate directory: ") + directory);
            return;
        }
        if (visited.contains(canonical)) {
            warnSkipped(directory, QStringLiteral("folder %1 already read (symbolic link)").arg(canonical));
            return;
        }
        visited.insert(canonical);

        QDir dir(directory);
        if (!dir.isReadable()) {
            log().warning(QStringLiteral("Could not enumerate directory: ") + directory);
            return;
        }
        ++listing.directoryCount;
        const QFileInfoList children =
            dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        QStringList subfolders;
        for (const QFileInfo& child : children) {
            if (cancelled && cancelled()) return;
            const QString childPath = directory + QLatin1Char('/') + child.fileName();
            if (child.isDir()) {
                subfolders << childPath;
                continue;
            }
            if (!child.fileName().endsWith(QLatin1String(".desktop"))) continue;
            const QString id = DesktopEntry::desktopFileId(listing.folder, childPath);
            if (id.isEmpty() || byId.count(id)) continue;  // a shallower file of the same id won
            QString problem;
            std::optional<SearchRecord> record = readFile(childPath, id, rules, &problem);
            if (record) {
                byId.emplace(id, Entry{id, std::move(*record)});
            } else if (!problem.isEmpty()) {
                const QDateTime modified = QFileInfo(childPath).lastModified();
                if (modified.isValid() && modified > recentLimit) listing.recentlyWrittenProblems << childPath;
            }
        }
        // Files of a folder come before those of its subfolders, so the
        // shallower of two files with the same id wins.
        for (const QString& subfolder : subfolders) {
            if (cancelled && cancelled()) return;
            visit(subfolder);
        }
    };
    visit(listing.folder);

    listing.entries.reserve(byId.size());
    for (auto& [id, entry] : byId) listing.entries.push_back(std::move(entry));
    return listing;
}

std::vector<SearchRecord> ApplicationRecords::visibleRecords(const std::vector<FolderListing>& listings) {
    std::vector<SearchRecord> records;
    QSet<QString> seen;
    for (const FolderListing& listing : listings) {
        for (const Entry& entry : listing.entries) {
            if (seen.contains(entry.id)) continue;
            seen.insert(entry.id);
            records.push_back(entry.record);
        }
    }
    return records;
}

std::vector<SearchRecord> ApplicationRecords::visibleRecords(const std::vector<FolderListing>& listings, size_t index) {
    std::vector<SearchRecord> records;
    if (index >= listings.size()) return records;
    QSet<QString> hidden;
    for (size_t i = 0; i < index; ++i)
        for (const Entry& entry : listings[i].entries) hidden.insert(entry.id);
    for (const Entry& entry : listings[index].entries)
        if (!hidden.contains(entry.id)) records.push_back(entry.record);
    return records;
}

QString ApplicationRecords::secondsText(double seconds) {
    QString text = QString::number(seconds, 'g', 12);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('n')))
        text += QStringLiteral(".0");
    return text;
}

}  // namespace vantrel
