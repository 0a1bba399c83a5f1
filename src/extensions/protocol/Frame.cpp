#include "extensions/protocol/Frame.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QtEndian>

namespace vantrel::extensions {

QByteArray encodeFrame(const QJsonObject& message) {
    const QByteArray json = QJsonDocument(message).toJson(QJsonDocument::Compact);
    if (json.size() > static_cast<qsizetype>(kMaxFrameSize)) return {};
    QByteArray frame(kFrameHeaderSize, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(json.size()), frame.data());
    frame.append(json);
    return frame;
}

std::vector<QJsonObject> FrameReader::feed(const QByteArray& bytes) {
    std::vector<QJsonObject> messages;
    if (failed()) return messages;
    m_buffer.append(bytes);
    qsizetype offset = 0;
    while (m_buffer.size() - offset >= kFrameHeaderSize) {
        const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + offset);
        if (length > kMaxFrameSize) {
            fail(Failure::oversized, QStringLiteral("Frame of %1 bytes exceeds the limit of %2 bytes").arg(length).arg(kMaxFrameSize));
            return messages;
        }
        if (m_buffer.size() - offset - kFrameHeaderSize < static_cast<qsizetype>(length)) break;
        const QByteArray json = m_buffer.mid(offset + kFrameHeaderSize, length);
        offset += kFrameHeaderSize + length;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            const QString reason = error.error != QJsonParseError::NoError ? error.errorString()
                                                                          : QStringLiteral("not a JSON object");
            fail(Failure::notJson, QStringLiteral("Frame of %1 bytes is not a JSON object: %2").arg(length).arg(reason));
            return messages;
        }
        messages.push_back(document.object());
    }
    m_buffer.remove(0, offset);
    return messages;
}

void FrameReader::finish() {
    if (failed() || m_buffer.isEmpty()) return;
    if (m_buffer.size() < kFrameHeaderSize) {
        fail(Failure::truncated, QStringLiteral("Stream ended inside a frame header (%1 of 4 bytes)").arg(m_buffer.size()));
        return;
    }
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData());
    fail(Failure::truncated, QStringLiteral("Stream ended inside a frame (%1 of %2 bytes)")
                                 .arg(m_buffer.size() - kFrameHeaderSize)
                                 .arg(length));
}

void FrameReader::fail(Failure failure, QString description) {
    m_failure = failure;
    m_failureDescription = std::move(description);
    m_buffer.clear();
}

}  // namespace vantrel::extensions
