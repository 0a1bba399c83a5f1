#pragma once

#include "kit/VantrelError.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace vantrel {

// One part as callers hand it over: bytes, and for a file part its name and type.
struct MultipartFormDataItem {
    QByteArray data;
    std::optional<QString> filename;
    std::optional<QString> mimeType;
};

// A multipart/form-data body (RFC 7578) whose file parts are read from disk
// while the body is written, never loaded whole. Append failures are kept:
// the first one wins and is reported as "Mulipart encoding failed, reason: …"
// when the body is written.
class MultipartFormData {
public:
    struct BodyPart {
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray data;     // in-memory parts
        QString filePath;    // file parts (read while streaming)
        qint64 contentLength = 0;
        bool hasInitialBoundary = false;
        bool hasFinalBoundary = false;
    };

    // A boundary "vantrel.boundary.%08x%08x" from two random 32-bit numbers.
    MultipartFormData();
    explicit MultipartFormData(QString boundary);

    const QString& boundary() const { return m_boundary; }
    // "multipart/form-data; boundary=" + boundary.
    const QByteArray& contentType() const { return m_contentType; }

    // A text or data part; with a file name it is a file part
    // ("application/octet-stream" when no type is given).
    void append(const QByteArray& data, const QString& name, const std::optional<QString>& fileName = std::nullopt,
                const std::optional<QString>& mimeType = std::nullopt);
    void append(const MultipartFormDataItem& item, const QString& name);
    // A file part streamed from a local file: its name from the URL, its type
    // from its contents or name.
    void append(const QUrl& fileURL, const QString& name);
    void append(const QUrl& fileURL, const QString& name, const QString& fileName, const QString& mimeType);

    const std::vector<BodyPart>& bodyParts() const { return m_bodyParts; }
    // The first append failure, if any.
    const std::optional<VantrelError>& bodyPartError() const { return m_bodyPartError; }
    // Bytes of the whole encoded body.
    qint64 contentLength() const;

    // Writes the encoded body to a new file at path, streaming file parts in
    // chunks of streamBufferSize bytes. Throws VantrelError ("Mulipart encoding
    // failed, reason: …", "Cannot create HTTPUpload").
    void writeEncodedData(const QString& path) const;
    // The encoded body in memory (small forms and tests).
    QByteArray encode() const;

    qint64 streamBufferSize = 1024;

private:
    void fail(const QString& reason);
    QByteArray partHeader(const BodyPart& part, bool initial) const;

    QString m_boundary;
    QByteArray m_contentType;
    std::vector<BodyPart> m_bodyParts;
    std::optional<VantrelError> m_bodyPartError;
};

}  // namespace vantrel
