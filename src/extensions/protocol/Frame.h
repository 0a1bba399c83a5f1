#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel::extensions {

// Messages between the launcher and the extension host travel as frames: a
// 4-byte big-endian length, then that many bytes of one UTF-8 JSON object.
// A frame may hold at most kMaxFrameSize bytes of JSON (16 MiB): a longer one
// is refused by both the writer and the reader.
inline constexpr std::uint32_t kMaxFrameSize = 16u * 1024u * 1024u;
inline constexpr int kFrameHeaderSize = 4;

// The frame of one message; empty when the JSON is longer than kMaxFrameSize.
QByteArray encodeFrame(const QJsonObject& message);

// Cuts a byte stream into messages. Once a frame is bad the reader stops for
// good (the connection must be dropped): the stream cannot be resynchronised.
class FrameReader {
public:
    enum class Failure { none, oversized, notJson, truncated };

    // Appends bytes and returns every message they complete. After a failure
    // nothing more is returned.
    std::vector<QJsonObject> feed(const QByteArray& bytes);
    // The stream ended: a partly received frame makes this a truncation.
    void finish();

    Failure failure() const { return m_failure; }
    bool failed() const { return m_failure != Failure::none; }
    // A sentence for the log, e.g. "Frame of 20000000 bytes exceeds the limit of 16777216 bytes".
    QString failureDescription() const { return m_failureDescription; }
    // Bytes received and not yet part of a complete frame.
    qsizetype pendingBytes() const { return m_buffer.size(); }

private:
    void fail(Failure failure, QString description);

    QByteArray m_buffer;
    Failure m_failure = Failure::none;
    QString m_failureDescription;
};

}  // namespace vantrel::extensions
