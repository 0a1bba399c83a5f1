#include "search/FileSearch.h"

#include "kit/Logger.h"
#include "search/FileIndex.h"
#include "search/RecentDocuments.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

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

// The resolution header images are assumed to have when they record none.
constexpr double kDefaultResolution = 72.0;
// How much of an image file is looked through for its resolution.
constexpr qint64 kHeaderBytes = 64 * 1024;

quint32 bigEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

quint16 bigEndian16(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return quint16((b[0] << 8) | b[1]);
}

// The pHYs chunk of a PNG file, when it is in metres: dots per inch.
std::optional<std::pair<double, double>> pngResolution(const QByteArray& header) {
    qsizetype at = 8;  // after the signature
    while (at + 8 <= header.size()) {
        const quint32 length = bigEndian32(header.constData() + at);
        const QByteArray type = header.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND") break;
        if (type == "pHYs" && length >= 9 && at + 8 + 9 <= header.size()) {
            const char* data = header.constData() + at + 8;
            if (static_cast<unsigned char>(data[8]) != 1) return std::nullopt;  // unit unknown: an aspect ratio only
            constexpr double inchesPerMetre = 0.0254;
            return std::pair{bigEndian32(data) * inchesPerMetre, bigEndian32(data + 4) * inchesPerMetre};
        }
        at += 12 + qsizetype(length);
    }
    return std::nullopt;
}

// The density of a JPEG file's JFIF segment, when it has units: dots per inch.
std::optional<std::pair<double, double>> jpegResolution(const QByteArray& header) {
    qsizetype at = 2;  // after the start-of-image marker
    while (at + 4 <= header.size()) {
        if (static_cast<unsigned char>(header[at]) != 0xFF) break;
        const auto marker = static_cast<unsigned char>(header[at + 1]);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) break;  // the image data starts, or the file ends
        const quint16 length = bigEndian16(header.constData() + at + 2);
        if (marker == 0xE0 && length >= 16 && at + 2 + length <= header.size() &&
            header.mid(at + 4, 5) == QByteArray("JFIF\0", 5)) {
            const char* data = header.constData() + at + 4 + 5 + 2;  // after the identifier and the version
            const auto units = static_cast<unsigned char>(data[0]);
            const double x = bigEndian16(data + 1);
            const double y = bigEndian16(data + 3);
            if (units == 1) return std::pair{x, y};
            if (units == 2) return std::pair{x * 2.54, y * 2.54};
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// The formats this build reads, by MIME type (vector images have no pixel size of their own).
const QSet<QByteArray>& rasterImageTypes() {
    static const QSet<QByteArray> types = [] {
        QSet<QByteArray> found;
        for (const QByteArray& type : QImageReader::supportedMimeTypes())
            if (!type.contains("svg")) found.insert(type);
        return found;
    }();
    return types;
}

}  // namespace

bool FileSearch::waitForIndex(const std::atomic<bool>& cancelled) const {
    if (!m_index) return false;
    // In short steps, so that a newer query never waits behind this one.
    constexpr std::chrono::milliseconds step{50};
    for (auto waited = std::chrono::milliseconds(0); waited < kIndexWait; waited += step) {
        if (m_index->waitUntilReady(step)) return true;
        if (cancelled.load()) return false;
    }
    return m_index->isReady();
}

std::optional<ImageAttributes> FileSearch::readImageAttributes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray header = file.read(kHeaderBytes);
    file.close();
    QImageReader reader(path);
    // size() reads the header only; nothing is decoded.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) return std::nullopt;
    ImageAttributes attributes;
    const bool turned = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    attributes.width = turned ? size.height() : size.width();
    attributes.height = turned ? size.width() : size.height();
    std::optional<std::pair<double, double>> resolution;
    if (header.startsWith("\x89PNG\r\n\x1a\n"))
        resolution = pngResolution(header);
    else if (header.startsWith("\xff\xd8"))
        resolution = jpegResolution(header);
    if (resolution && resolution->first > 0 && resolution->second > 0) {
        // Files keep dots per metre as whole numbers: 144 dpi comes back as 143.99.
        attributes.resolutionWidth = std::round(resolution->first * 10) / 10;
        attributes.resolutionHeight = std::round(resolution->second * 10) / 10;
    } else {
        attributes.resolutionWidth = attributes.resolutionHeight = kDefaultResolution;
    }
    return attributes;
}

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
        if (rasterImageTypes().contains(type.name().toLatin1())) model.imageAttributes = readImageAttributes(path);
    }
    if (const QDateTime born = info.birthTime(); born.isValid()) model.createdAt = born;
    if (const QDateTime modified = info.lastModified(); modified.isValid()) model.modifiedAt = modified;
    model.lastUsedAt = std::move(lastUsedAt);
    return model;
}

void FileSearch::findFiles(const QString& queryString, const QStringList& searchScopes, int limit,
                           Completion completion, Queue completionQueue) {
    run(
        queryString, searchScopes, limit, false,
        [completion = std::move(completion)](std::vector<FileModel> files, bool) {
            if (completion) completion(std::move(files));
        },
        std::move(completionQueue));
}

void FileSearch::streamFiles(const QString& queryString, const QStringList& searchScopes, int limit, Batch batch,
                             Queue completionQueue) {
    run(queryString, searchScopes, limit, true, std::move(batch), std::move(completionQueue));
}

void FileSearch::run(const QString& queryString, const QStringList& searchScopes, int limit, bool inBatches,
                     Batch batch, Queue completionQueue) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard lock(m_mutex);
        if (m_current) m_current->store(true);
        m_current = cancelled;
    }
    // What was read goes out when it is time: a batch is dropped when a newer
    // query came in meanwhile, also after it was posted.
    struct Delivery {
        std::vector<FileModel> pending;
        QElapsedTimer sinceLast;
        bool deliveredAny = false;
    };
    auto deliver = [cancelled, batch = std::move(batch), completionQueue = std::move(completionQueue)](
                       std::vector<FileModel> files, bool finished) {
        if (cancelled->load()) return;
        completionQueue.dispatch([cancelled, batch, finished, files = std::move(files)]() mutable {
            if (!cancelled->load() && batch) batch(std::move(files), finished);
        });
    };

    m_queue.start([this, queryString, searchScopes, limit, inBatches, cancelled, deliver = std::move(deliver)] {
        if (cancelled->load()) return;
        Delivery delivery;
        delivery.sinceLast.start();
        size_t count = 0;
        const auto add = [&](FileModel model) {
            delivery.pending.push_back(std::move(model));
            ++count;
            if (!inBatches) return;
            const bool due = delivery.deliveredAny
                                 ? std::chrono::milliseconds(delivery.sinceLast.elapsed()) >= batchInterval
                                 : delivery.pending.size() >= size_t(firstBatchSize) ||
                                       std::chrono::milliseconds(delivery.sinceLast.elapsed()) >= batchInterval;
            if (!due) return;
            deliver(std::exchange(delivery.pending, {}), false);
            delivery.deliveredAny = true;
            delivery.sinceLast.restart();
        };

        const Parameters parameters = parseParameters(queryString.trimmed());
        QStringList scopes = parameters.directories.isEmpty() ? searchScopes : parameters.directories;
        for (QString& scope : scopes) scope = expandedFolder(scope);
        const QString query = parameters.name.isEmpty() ? QStringLiteral("recently used documents")
                                                        : QStringLiteral("name prefix \"%1\"").arg(parameters.name);
        log().info(QStringLiteral("Find file with query: ") + query + QStringLiteral(" searchScopes: ") +
                   listDescription(scopes));

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
                if (auto model = toFileModel(document.path, ++id, document.lastUsedAt)) add(std::move(*model));
                if (count >= static_cast<size_t>(limit)) break;
            }
        } else if (!waitForIndex(*cancelled)) {
            if (cancelled->load()) return;
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
                if (auto model = toFileModel(hit.path, hit.id)) add(std::move(*model));
            }
        }
        if (cancelled->load()) return;
        log().info(QStringLiteral("Finished file index query with %1 records").arg(count));
        deliver(std::move(delivery.pending), true);
    });
}

}  // namespace vantrel
