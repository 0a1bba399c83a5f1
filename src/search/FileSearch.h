#pragma once

#include "kit/Queue.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel {

class FileIndex;

// Pixel size and resolution of an image file, read from its header (the
// image itself is not decoded). The size is the one the image is shown at:
// an orientation tag that turns it by 90° swaps width and height. The
// resolution is in dots per inch: what the file records (PNG "pHYs", JPEG
// JFIF density), else 72.
struct ImageAttributes {
    double width = 0;
    double height = 0;
    double resolutionWidth = 0;
    double resolutionHeight = 0;

    bool operator==(const ImageAttributes&) const = default;
};

// One file found by a file search.
struct FileModel {
    qint64 id = 0;
    QString name;                        // the file name
    QString path;                        // absolute
    std::optional<QString> contentType;  // MIME type, by file name ("application/pdf", "inode/directory")
    std::optional<QString> kind;         // the MIME type's description ("PDF document")
    std::optional<qint64> size;          // bytes, files only
    std::optional<QDateTime> createdAt;
    std::optional<QDateTime> modifiedAt;
    std::optional<QDateTime> lastUsedAt;             // from the recently used documents, when listed there
    std::optional<ImageAttributes> imageAttributes;  // raster images whose header can be read
};

// Finds files by name in the file index, or lists recently used documents for
// an empty name. Queries run one at a time on the serial queue
// "filesearch.queue"; a new query cancels the previous one, whose completion
// then never runs.
class FileSearch {
public:
    using Completion = std::function<void(std::vector<FileModel>)>;
    // One batch of a streamed query: the files read since the last batch, and
    // whether this is the last one (which may bring no files).
    using Batch = std::function<void(std::vector<FileModel> files, bool finished)>;

    // What a query term asks for: the name prefix and the folders to look in.
    struct Parameters {
        QString name;
        QStringList directories;  // absolute, "~" expanded
        QStringList matches;      // every piece the pattern matched, as written
    };

    // recentDocumentsFile: empty for $XDG_DATA_HOME/recently-used.xbel.
    explicit FileSearch(std::shared_ptr<const FileIndex> index, QString recentDocumentsFile = QString());
    ~FileSearch();
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // At most limit files whose name starts with the term's name part, below
    // the term's folders or else below searchScopes (empty: everywhere the
    // index looks). An empty name lists recently used documents, most recent
    // first. The completion runs on completionQueue.
    void findFiles(const QString& queryString, const QStringList& searchScopes, int limit, Completion completion,
                   Queue completionQueue = Queue::main());
    // The same query, its files handed over as they are read: the first batch
    // once firstBatchSize are there (or batchInterval has passed), then one
    // batch at most every batchInterval, and a last one with finished set. A
    // newer query cancels this one as it does findFiles; no batch of it runs
    // then.
    void streamFiles(const QString& queryString, const QStringList& searchScopes, int limit, Batch batch,
                     Queue completionQueue = Queue::main());

    static constexpr int firstBatchSize = 8;
    static constexpr std::chrono::milliseconds batchInterval{40};

    // Stops the running query; its completion never runs.
    void cancel();

    // Splits "report in ~/Documents" into the name "report" and the folder
    // ~/Documents. Pieces matching `(.*)in\s|"[\/~].+"|[\/~]\S*` are taken out of
    // the term: text before the word "in" and a space is the name; a quoted
    // path or a word starting with "/" or "~" is a folder. Without an "in" the
    // rest of the term (folders removed) is the name.
    static Parameters parseParameters(const QString& term);

    // The model of one file, read from the file system; nullopt (and a log
    // line) when it cannot be read.
    static std::optional<FileModel> toFileModel(const QString& path, qint64 id,
                                                std::optional<QDateTime> lastUsedAt = std::nullopt);
    // The size and resolution of an image file, from its header; nothing for
    // what is not a raster image this build can read.
    static std::optional<ImageAttributes> readImageAttributes(const QString& path);

private:
    // Waits for the index's first build (a few seconds at most); false when
    // it is not there or the query was cancelled meanwhile.
    bool waitForIndex(const std::atomic<bool>& cancelled) const;
    void run(const QString& queryString, const QStringList& searchScopes, int limit, bool inBatches, Batch batch,
             Queue completionQueue);

    std::shared_ptr<const FileIndex> m_index;
    QString m_recentDocumentsFile;
    std::mutex m_mutex;
    std::shared_ptr<std::atomic<bool>> m_current;  // the running query's cancel flag
    QThreadPool m_queue;                           // "filesearch.queue": one thread
};

}  // namespace vantrel
