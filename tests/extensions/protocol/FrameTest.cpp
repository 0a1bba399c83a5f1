// Frames and the connection both processes use: whole, split and bad input.
#include "extensions/protocol/Connection.h"
#include "extensions/protocol/Frame.h"
#include "extensions/protocol/Messages.h"

#include "support/CapturingLogHandler.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::extensions;
using vantrel::test::waitUntil;

namespace {

QByteArray header(quint32 length) {
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<quint32>(length, bytes.data());
    return bytes;
}

// Two ends of a real local socket, each wrapped or raw as a test needs.
struct SocketPair {
    QTemporaryDir dir;
    QLocalServer server;
    QLocalSocket* serverSide = nullptr;
    QLocalSocket* clientSide = new QLocalSocket();

    SocketPair() {
        EXPECT_TRUE(server.listen(dir.filePath(QStringLiteral("s.sock"))));
        clientSide->connectToServer(server.fullServerName());
        EXPECT_TRUE(waitUntil([&] { return server.hasPendingConnections() || (serverSide != nullptr); }));
        serverSide = server.nextPendingConnection();
        EXPECT_TRUE(waitUntil([&] { return clientSide->state() == QLocalSocket::ConnectedState; }));
    }
};

}  // namespace

TEST(Frames, roundTripWholeAndSplitAnywhere) {
    const QJsonObject first{{QStringLiteral("id"), 1}, {QStringLiteral("request"), QStringLiteral("ping")}};
    const QJsonObject second{{QStringLiteral("text"), QStringLiteral("héllo – ✓")}};
    const QByteArray stream = encodeFrame(first) + encodeFrame(second);
    ASSERT_EQ(qFromBigEndian<quint32>(stream.constData()), static_cast<quint32>(encodeFrame(first).size() - 4));

    FrameReader whole;
    EXPECT_EQ(whole.feed(stream), (std::vector<QJsonObject>{first, second}));

    FrameReader byteByByte;
    std::vector<QJsonObject> messages;
    for (char byte : stream) {
        for (auto& message : byteByByte.feed(QByteArray(1, byte))) messages.push_back(message);
    }
    EXPECT_EQ(messages, (std::vector<QJsonObject>{first, second}));
    EXPECT_FALSE(byteByByte.failed());
    byteByByte.finish();
    EXPECT_FALSE(byteByByte.failed()) << "ending between frames is no truncation";
}

TEST(Frames, refuseOversizedNonJsonAndTruncatedInput) {
    FrameReader oversized;
    EXPECT_TRUE(oversized.feed(header(kMaxFrameSize + 1)).empty());
    EXPECT_EQ(oversized.failure(), FrameReader::Failure::oversized);
    EXPECT_EQ(oversized.failureDescription(), QStringLiteral("Frame of 16777217 bytes exceeds the limit of 16777216 bytes"));
    EXPECT_TRUE(oversized.feed(encodeFrame({{QStringLiteral("a"), 1}})).empty()) << "nothing after a failure";

    FrameReader garbage;
    EXPECT_TRUE(garbage.feed(header(3) + "{x}").empty());
    EXPECT_EQ(garbage.failure(), FrameReader::Failure::notJson);

    FrameReader array;
    EXPECT_TRUE(array.feed(header(2) + "[]").empty());
    EXPECT_EQ(array.failure(), FrameReader::Failure::notJson);

    FrameReader empty;
    EXPECT_TRUE(empty.feed(header(0)).empty());
    EXPECT_EQ(empty.failure(), FrameReader::Failure::notJson);

    FrameReader cut;
    const QByteArray frame = encodeFrame({{QStringLiteral("id"), 7}});
    EXPECT_TRUE(cut.feed(frame.left(frame.size() - 2)).empty());
    cut.finish();
    EXPECT_EQ(cut.failure(), FrameReader::Failure::truncated);

    FrameReader cutHeader;
    cutHeader.feed(QByteArray("\0\0", 2));
    cutHeader.finish();
    EXPECT_EQ(cutHeader.failureDescription(), QStringLiteral("Stream ended inside a frame header (2 of 4 bytes)"));

    EXPECT_TRUE(encodeFrame({{QStringLiteral("big"), QString(kMaxFrameSize, QLatin1Char('x'))}}).isEmpty())
        << "the writer refuses what the reader would";
}

TEST(Messages, decodeStrictlyAndKeepOptionalParts) {
    const CallbackParams params{QStringLiteral("a.b__dev"), QStringLiteral("app"), QStringLiteral("setTimeout"), QStringLiteral("cb"),
                                QStringLiteral("timeout"), QJsonValue(3), CallbackMode::keepAlive, std::nullopt, true};
    const auto decoded = CallbackParams::fromJson(params.toJson());
    ASSERT_TRUE(decoded.isSuccess());
    EXPECT_EQ(decoded.value().mode, CallbackMode::keepAlive);
    EXPECT_EQ(decoded.value().data, QJsonValue(3));
    EXPECT_TRUE(decoded.value().expectsAnswer);

    QJsonObject badMode = params.toJson();
    badMode.insert(QStringLiteral("mode"), QStringLiteral("forever"));
    EXPECT_EQ(CallbackParams::fromJson(badMode).error().errorDescription(),
              QStringLiteral("Invalid callback request: missing or invalid 'mode'"));
    EXPECT_EQ(DispatchMessageParams::fromJson({{QStringLiteral("commandId"), 1}}).error().errorDescription(),
              QStringLiteral("Invalid dispatchMessage request: missing or invalid 'commandId'"));
    EXPECT_EQ(UnloadCommandParams::fromJson({}).error().errorDescription(),
              QStringLiteral("Invalid unloadCommand request: missing or invalid 'id'"));
    EXPECT_EQ(LoadCommandParams::fromJson({{QStringLiteral("package"), QStringLiteral("x")}}).error().errorDescription(),
              QStringLiteral("Invalid loadCommand request: missing or invalid 'package'"));
    EXPECT_EQ(errorFromDictionary(QJsonValue(5)).errorDescription(), QStringLiteral("Unknown error"));
    EXPECT_EQ(errorFromDictionary(errorDictionary(VantrelError(QStringLiteral("Boom")))).errorDescription(), QStringLiteral("Boom"));
}

TEST(Connections, answerRequestsByIdInBothDirections) {
    SocketPair pair;
    Connection launcher(pair.clientSide, QStringLiteral("host"));
    Connection host(pair.serverSide, QStringLiteral("launcher"));
    host.setRequestHandler([](const QString& name, const QJsonObject& params, Connection::Responder respond) {
        if (name == QLatin1String("echo")) {
            // Answered later and from another thread.
            std::thread([respond, params] { respond(QJsonValue(params)); }).detach();
        } else {
            respond(VantrelError(QStringLiteral("Unknown request: ") + name));
        }
    });
    QStringList oneWays;
    launcher.setOneWayHandler([&](const QString& name, const QJsonObject&) { oneWays << name; });

    std::optional<Result<QJsonValue>> echoed;
    std::optional<Result<QJsonValue>> refused;
    launcher.sendRequest(QStringLiteral("echo"), {{QStringLiteral("n"), 1}}, [&](Result<QJsonValue> r) { echoed = r; });
    launcher.sendRequest(QStringLiteral("nope"), {}, [&](Result<QJsonValue> r) { refused = r; });
    host.sendOneWay(QStringLiteral("ping"), {});
    ASSERT_TRUE(waitUntil([&] { return echoed && refused && !oneWays.isEmpty(); }));
    EXPECT_EQ(echoed->value(), QJsonValue(QJsonObject{{QStringLiteral("n"), 1}}));
    EXPECT_EQ(refused->error().errorDescription(), QStringLiteral("Unknown request: nope"));
    EXPECT_EQ(oneWays, QStringList{QStringLiteral("ping")});
}

TEST(Connections, aBadFrameDropsTheConnectionAndFailsWhatWaits) {
    vantrel::test::ScopedLogCapture logs;
    SocketPair pair;
    Connection launcher(pair.clientSide, QStringLiteral("host"));
    bool closed = false;
    QObject::connect(&launcher, &Connection::closed, [&] { closed = true; });
    std::optional<Result<QJsonValue>> pending;
    launcher.sendRequest(QStringLiteral("slow"), {}, [&](Result<QJsonValue> r) { pending = r; });
    pair.serverSide->write(header(4) + "nope");
    pair.serverSide->flush();
    ASSERT_TRUE(waitUntil([&] { return closed; }));
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->error().errorDescription(), QStringLiteral("Connection lost"));
    EXPECT_FALSE(launcher.isOpen());
    EXPECT_TRUE(launcher.failure().startsWith(QStringLiteral("Frame of 4 bytes is not a JSON object")));
    EXPECT_TRUE(logs->messages().filter(QStringLiteral("Dropping connection to host: Frame of 4 bytes")).size() == 1);
    std::optional<Result<QJsonValue>> after;
    launcher.sendRequest(QStringLiteral("again"), {}, [&](Result<QJsonValue> r) { after = r; });
    ASSERT_TRUE(after.has_value()) << "a closed connection answers at once";
    EXPECT_EQ(after->error().errorDescription(), QStringLiteral("Connection lost"));
}

TEST(Connections, aPeerThatStopsMidFrameIsATruncation) {
    vantrel::test::ScopedLogCapture logs;
    SocketPair pair;
    Connection launcher(pair.clientSide, QStringLiteral("host"));
    bool closed = false;
    QObject::connect(&launcher, &Connection::closed, [&] { closed = true; });
    pair.serverSide->write(header(100) + "{\"id\":");
    pair.serverSide->flush();
    pair.serverSide->disconnectFromServer();
    ASSERT_TRUE(waitUntil([&] { return closed; }));
    EXPECT_EQ(launcher.failure(), QStringLiteral("Stream ended inside a frame (6 of 100 bytes)"));
}

TEST(Connections, messagesWithoutTheEnvelopeDropTheConnection) {
    SocketPair pair;
    Connection launcher(pair.clientSide, QStringLiteral("host"));
    bool closed = false;
    QObject::connect(&launcher, &Connection::closed, [&] { closed = true; });
    pair.serverSide->write(encodeFrame({{QStringLiteral("hello"), 1}}));
    pair.serverSide->flush();
    ASSERT_TRUE(waitUntil([&] { return closed; }));
    EXPECT_EQ(launcher.failure(), QStringLiteral("Message is neither a request nor a reply"));
}
