#include "net/MultipartFormData.h"

#include "kit/Digest.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace vantrel {

namespace {

constexpr const char* kCRLF = "\r\n";

QString randomBoundary() {
    quint32 numbers[2] = {0, 0};
    try {
        const QByteArray bytes = secureRandomBytes(int(sizeof numbers));
        std::memcpy(numbers, bytes.constData(), sizeof numbers);
    } catch (const VantrelError&) {
        numbers[0] = quint32(QDateTime::currentMSecsSinceEpoch());
        numbers[1] = quint32(quintptr(&numbers));
    }
    return QString::asprintf("vantrel.boundary.%08x%08x", numbers[0], numbers[1]);
}

QByteArray quoted(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace('\\', "\\\\").replace('"', "\\\"").replace('\r', "%0D").replace('\n', "%0A");
    return '"' + bytes + '"';
}

}  // namespace

MultipartFormData::MultipartFormData() : MultipartFormData(randomBoundary()) {}

MultipartFormData::MultipartFormData(QString boundary)
    : m_boundary(std::move(boundary)), m_contentType("multipart/form-data; boundary=" + m_boundary.toUtf8()) {}

void MultipartFormData::fail(const QString& reason) {
    if (m_bodyPartError) return;  // the first failure wins
    m_bodyPartError = VantrelError(QStringLiteral("Mulipart encoding failed, reason: ") + reason);
}

void MultipartFormData::append(const QByteArray& data, const QString& name, const std::optional<QString>& fileName,
                               const std::optional<QString>& mimeType) {
    BodyPart part;
    QByteArray disposition = "form-data; name=" + quoted(name);
    if (fileName) disposition += "; filename=" + quoted(*fileName);
    part.headers.append(qMakePair(QByteArray("Content-Disposition"), disposition));
    if (mimeType)
        part.headers.append(qMakePair(QByteArray("Content-Type"), mimeType->toUtf8()));
    else if (fileName)
        part.headers.append(qMakePair(QByteArray("Content-Type"), "application/octet-stream"));
    part.data = data;
    part.contentLength = data.size();
    m_bodyParts.push_back(std::move(part));
}

void MultipartFormData::append(const MultipartFormDataItem& item, const QString& name) {
    append(item.data, name, item.filename, item.mimeType);
}

void MultipartFormData::append(const QUrl& fileURL, const QString& name) {
    const QString text = fileURL.toString();
    if (!fileURL.isLocalFile()) {
        fail(QStringLiteral("The URL provided is not a file URL: ") + text);
        return;
    }
    const QString fileName = QFileInfo(fileURL.toLocalFile()).fileName();
    if (fileName.isEmpty()) {
        fail(QStringLiteral("The URL provided does not have a valid filename: ") + text);
        return;
    }
    const QString type = QMimeDatabase().mimeTypeForFile(fileURL.toLocalFile()).name();
    append(fileURL, name, fileName, type.isEmpty() ? QStringLiteral("application/octet-stream") : type);
}

void MultipartFormData::append(const QUrl& fileURL, const QString& name, const QString& fileName,
                               const QString& mimeType) {
    const QString text = fileURL.toString();
    if (!fileURL.isLocalFile()) {
        fail(QStringLiteral("The URL provided is not a file URL: ") + text);
        return;
    }
    const QString path = fileURL.toLocalFile();
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            fail(QStringLiteral("The URL provided is not reachable: ") + text);
        else
            fail(QStringLiteral("The system returned an error while checking the provided URL for reachability.\nURL: ") +
                 text);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        fail(QStringLiteral("The URL provided is a directory: ") + text);
        return;
    }
    if (!S_ISREG(status.st_mode) && !S_ISCHR(status.st_mode) && !S_ISFIFO(status.st_mode)) {
        fail(QStringLiteral("The system returned an error while attempting to fetch the file size from the provided "
                            "URL.\nURL: ") +
             text);
        return;
    }
    if (status.st_size < 0) {
        fail(QStringLiteral("Could not fetch the file size from the provided URL: ") + text);
        return;
    }
    const QFileInfo info(path);
    BodyPart part;
    part.headers.append(qMakePair(QByteArray("Content-Disposition"), "form-data; name=" + quoted(name) + "; filename=" + quoted(fileName)));
    part.headers.append(qMakePair(QByteArray("Content-Type"), mimeType.isEmpty() ? QByteArray("application/octet-stream") : mimeType.toUtf8()));
    part.filePath = info.absoluteFilePath();
    part.contentLength = qint64(status.st_size);
    m_bodyParts.push_back(std::move(part));
}

QByteArray MultipartFormData::partHeader(const BodyPart& part, bool initial) const {
    QByteArray out = initial ? QByteArray() : QByteArray(kCRLF);
    out += "--" + m_boundary.toUtf8() + kCRLF;
    for (const auto& [key, value] : part.headers) out += key + ": " + value + kCRLF;
    out += kCRLF;
    return out;
}

qint64 MultipartFormData::contentLength() const {
    qint64 length = 0;
    for (std::size_t i = 0; i < m_bodyParts.size(); ++i)
        length += partHeader(m_bodyParts[i], i == 0).size() + m_bodyParts[i].contentLength;
    length += QByteArray(kCRLF).size() + 2 + m_boundary.toUtf8().size() + 2;
    return length;
}

void MultipartFormData::writeEncodedData(const QString& path) const {
    if (m_bodyPartError) throw *m_bodyPartError;
    const QString prefix = QStringLiteral("Mulipart encoding failed, reason: ");
    if (path.isEmpty()) throw VantrelError(prefix + QStringLiteral("The provided OutputStream URL is invalid: ") + path);
    if (QFileInfo::exists(path))
        throw VantrelError(prefix + QStringLiteral("A file already exists at the provided URL: ") + path);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw VantrelError(prefix + QStringLiteral("Failed to create an OutputStream for URL: ") + path);
    auto write = [&](const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            throw VantrelError(prefix + QStringLiteral("OutputStream write failed with error: ") + out.errorString());
    };
    const qint64 bufferSize = std::max<qint64>(1, streamBufferSize);
    for (std::size_t i = 0; i < m_bodyParts.size(); ++i) {
        const BodyPart& part = m_bodyParts[i];
        write(partHeader(part, i == 0));
        if (part.filePath.isEmpty()) {
            for (qint64 offset = 0; offset < part.data.size(); offset += bufferSize) write(part.data.mid(offset, bufferSize));
            continue;
        }
        QFile in(part.filePath);
        if (!in.open(QIODevice::ReadOnly))
            throw VantrelError(prefix + QStringLiteral("Failed to create an InputStream for the provided URL: ") +
                               QUrl::fromLocalFile(part.filePath).toString());
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(bufferSize);
            if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
                throw VantrelError(prefix + QStringLiteral("InputStream read failed with error: ") + in.errorString());
            write(chunk);
        }
    }
    write(QByteArray(kCRLF) + "--" + m_boundary.toUtf8() + "--");
    if (!out.flush())
        throw VantrelError(prefix + QStringLiteral("OutputStream write failed with error: ") + out.errorString());
}

QByteArray MultipartFormData::encode() const {
    if (m_bodyPartError) throw *m_bodyPartError;
    QByteArray body;
    for (std::size_t i = 0; i < m_bodyParts.size(); ++i) {
        const BodyPart& part = m_bodyParts[i];
        body += partHeader(part, i == 0);
        if (part.filePath.isEmpty()) {
            body += part.data;
            continue;
        }
        QFile in(part.filePath);
        if (!in.open(QIODevice::ReadOnly))
            throw VantrelError(QStringLiteral("Mulipart encoding failed, reason: Failed to create an InputStream for "
                                              "the provided URL: ") +
                               QUrl::fromLocalFile(part.filePath).toString());
        body += in.readAll();
    }
    body += QByteArray(kCRLF) + "--" + m_boundary.toUtf8() + "--";
    return body;
}

}  // namespace vantrel
