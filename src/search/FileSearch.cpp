#include "search/FileSearch.h"

#include "kit/Logger.h"
#include "search/FileIndex.h"
#include "search/RecentDocuments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileSearch"), QStringLiteral("📄")});
    return logger;
}

// How long a query waits for the file index's first build.
constexpr std::chrono::seconds kIndexWait{5};

QString listDescription(const QStringList& items) {
    return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString expandedFolder(QString folder) {
    if (folder == QLatin1String("~"))
        folder = QDir::homePath();
    else if (folder.startsWith(QLatin1String("~/")))
        folder = QDir::homePath() + folder.mid(1);
    return QDir::cleanPath(folder);
}

bool isAtOrBelow(const QString& path, const QString& folder) {
    if (path == folder) return true;
    if (folder.endsWith(QLatin1Char('/'))) return path.startsWith(folder);
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == QLatin1Char('/');
}

bool isAtOrBelowNative(const QByteArray& path, const QByteArray& folder) {
    if (path == folder) return true;
    if (folder.endsWith('/')) return path.startsWith(folder);
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == '/';
}

}  // namespace

FileSearch::FileSearch(std::shared_ptr<const FileIndex> index, QString recentDocumentsFile)
    : m_index(std::move(index)), m_recentDocumentsFile(std::move(recentDocumentsFile)) {
    m_queue.setObjectName(QStringLiteral("filesearch.queue"));
    m_queue.setMaxThreadCount(1);
}

FileSearch::~FileSearch() {
    cancel();
    m_queue.waitForDone();
}

void FileSearch::cancel() {
    std::lock_guard lock(m_mutex);
    if (m_current) m_current->store(true);
    m_current.reset();
}

FileSearch::Parameters FileSearch::parseParameters(const QString& term) {
    static const QRegularExpression pattern(QStringLiteral(R"((.*)in\s|"[\/~].+"|[\/~]\S*)"));
    Parameters parameters;
    std::optional<QString> nameBeforeIn;
    QString rest;
    qsizetype copied = 0;
    QRegularExpressionMatchIterator it = pattern.globalMatch(term);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        parameters.matches << match.captured(0);
        if (match.capturedStart(1) >= 0) {
            // "in" counts only as a word of its own: "main file" is not "ma" in "file".
            const QString before = match.captured(1);
            if (!before.isEmpty() && !before.back().isSpace()) continue;
            nameBeforeIn = before.trimmed();
        } else {
            QString folder = match.captured(0);
            if (folder.size() >= 2 && folder.startsWith(QLatin1Char('"')) && folder.endsWith(QLatin1Char('"')))
                folder = folder.mid(1, folder.size() - 2);
            parameters.directories << expandedFolder(folder);
        }
        rest += term.mid(copied, match.capturedStart(0) - copied) + QLatin1Char(' ');
        copied = match.capturedEnd(0);
    }
    rest += term.mid(copied);
    parameters.name = nameBeforeIn ? *nameBeforeIn : rest.simplified();
    log().info(QStringLiteral("Parsed query: ") + parameters.name + QStringLiteral(", directories: ") +
               listDescription(parameters.directories) + QStringLiteral(", matches: ") +
               listDescription(parameters.matches));
    return parameters;
}

std::optional<FileModel> FileSearch::toFileModel(const QString& path, qint64 id, std::optional<QDateTime> lastUsedAt) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        log().error("Could not copy file metadata attributes", {{"path", Logger::MetadataValue::privateValue(path)}});
        return std::nullopt;
    }
    static const QMimeDatabase mimeDatabase;
    FileModel model;
    model.id = id;
    model.name = info.fileName();
    model.path = path;
    if (info.isDir()) {
        model.contentType = QStringLiteral("inode/directory");
        model.kind = mimeDatabase.mimeTypeForName(*model.contentType).comment();
    } else {
        const QMimeType type = mimeDatabase.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        model.contentType = type.name();
        model.kind = type.comment();
        model.size = info.size();
    }
    if (const QDateTime born = info.birthTime(); born.isValid()) model.createdAt = born;
    if (const QDateTime modified = info.lastModified(); modified.isValid()) model.modifiedAt = modified;
    model.lastUsedAt = std::move(lastUsedAt);
    return model;
}

void FileSearch::findFiles(const QString& queryString, const QStringList& searchScopes, int limit,
                           Completion completion, Queue completionQueue) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard lock(m_mutex);
        if (m_current) m_current->store(true);
        m_current = cancelled;
    }
    // The completion is dropped when a newer query came in meanwhile, also
    // after it was posted.
    auto deliver = [cancelled, completion = std::move(completion),
                    completionQueue = std::move(completionQueue)](std::vector<FileModel> files) {
        if (cancelled->load()) return;
        completionQueue.dispatch([cancelled, completion, files = std::move(files)]() mutable {
            if (!cancelled->load() && completion) completion(std::move(files));
        });
    };

    m_queue.start([this, queryString, searchScopes, limit, cancelled, deliver = std::move(deliver)] {
        if (cancelled->load()) return;
        const Parameters parameters = parseParameters(queryString.trimmed());
        QStringList scopes = parameters.directories.isEmpty() ? searchScopes : parameters.directories;
        for (QString& scope : scopes) scope = expandedFolder(scope);
        const QString query = parameters.name.isEmpty() ? QStringLiteral("recently used documents")
                                                        : QStringLiteral("name prefix \"%1\"").arg(parameters.name);
        log().info(QStringLiteral("Find file with query: ") + query + QStringLiteral(" searchScopes: ") +
                   listDescription(scopes));

        std::vector<FileModel> files;
        if (limit <= 0) {
            // Nothing asked for.
        } else if (parameters.name.isEmpty()) {
            const QString file =
                m_recentDocumentsFile.isEmpty() ? RecentDocuments::defaultFile() : m_recentDocumentsFile;
            qint64 id = 0;
            for (const RecentDocument& document : RecentDocuments::read(file)) {
                if (cancelled->load()) return;
                if (!scopes.isEmpty() && std::none_of(scopes.begin(), scopes.end(), [&](const QString& scope) {
                        return isAtOrBelow(document.path, scope);
                    }))
                    continue;
                const QFileInfo info(document.path);
                if (!info.isFile()) continue;
                if (auto model = toFileModel(document.path, ++id, document.lastUsedAt))
                    files.push_back(std::move(*model));
                if (files.size() >= static_cast<size_t>(limit)) break;
            }
        } else if (!m_index || !m_index->waitUntilReady(kIndexWait)) {
            log().error(QStringLiteral("Could not create file search query for: ") + query,
                        {{"reason", "the file index is not ready"}});
        } else {
            QList<QByteArray> nativeScopes;
            for (const QString& scope : scopes) nativeScopes << QFile::encodeName(scope);
            FileIndex::FolderFilter inScope;
            if (!nativeScopes.isEmpty())
                inScope = [&nativeScopes](const QByteArray& folder) {
                    return std::any_of(nativeScopes.begin(), nativeScopes.end(),
                                       [&](const QByteArray& scope) { return isAtOrBelowNative(folder, scope); });
                };
            const std::vector<FileIndex::Hit> hits =
                m_index->itemsWithPrefix(parameters.name, limit, inScope, cancelled.get());
            for (const FileIndex::Hit& hit : hits) {
                if (cancelled->load()) return;
                if (auto model = toFileModel(hit.path, hit.id)) files.push_back(std::move(*model));
            }
        }
        if (cancelled->load()) return;
        log().info(QStringLiteral("Finished file index query with %1 records").arg(files.size()));
        deliver(std::move(files));
    });
}

}  // namespace vantrel
