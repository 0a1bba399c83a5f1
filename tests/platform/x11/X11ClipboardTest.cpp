// The X11 clipboard against the test session's X server, with xclip as the
// other application: copies are reported with what was fetched, an owner
// that never answers does not hold the event loop and is given up, an offer
// far beyond the limit is measured and not read, our own content is served
// (large content in increments), and an owner that quits is reported.
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

namespace vantrel::test {
namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class X11ClipboardTest : public SessionDisplayTest {
protected:
    void SetUp() override {
        SessionDisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
                                        "xclip is not installed");
        clipboard = std::make_unique<X11Clipboard>();
        ASSERT_TRUE(clipboard->isAvailable());
    }

    void TearDown() override {
        clipboard.reset();
        for (auto& process : processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    void startWatching(std::vector<ClipboardFetch> (*choose)(const QStringList&) = nullptr) {
        SystemClipboard::Handlers handlers;
        handlers.choose = [choose](const QStringList& types, SystemClipboard::Selection) {
            if (choose) return choose(types);
            std::vector<ClipboardFetch> wanted;
            if (types.contains(QStringLiteral("UTF8_STRING"))) wanted.push_back({QStringLiteral("UTF8_STRING"), 1024});
            if (types.contains(QStringLiteral("image/png"))) wanted.push_back({QStringLiteral("image/png"), 1024});
            return wanted;
        };
        handlers.changed = [this](const ClipboardSnapshot& snapshot) { snapshots.push_back(snapshot); };
        handlers.ownerGone = [this](SystemClipboard::Selection) { ++ownersGone; };
        clipboard->start(std::move(handlers));
    }

    // xclip in the foreground, owning the clipboard until it is stopped.
    QProcess* copyWithXclip(const QByteArray& data, const QString& type = {}) {
        auto process = std::make_unique<QProcess>();
        QStringList arguments{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i"),
                              QStringLiteral("-quiet")};
        if (!type.isEmpty()) arguments << QStringLiteral("-t") << type;
        process->start(QStringLiteral("xclip"), arguments);
        EXPECT_TRUE(process->waitForStarted());
        process->write(data);
        while (process->bytesToWrite() > 0)
            if (!process->waitForBytesWritten(10000)) break;
        EXPECT_EQ(process->bytesToWrite(), 0);
        process->closeWriteChannel();
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    static QString pasted(const QStringList& extra = {}) {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
                    QStringList{QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")} + extra);
        if (!xclip.waitForFinished(10000)) return QStringLiteral("<no answer>");
        return QString::fromUtf8(xclip.readAllStandardOutput());
    }

    std::unique_ptr<X11Clipboard> clipboard;
    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<ClipboardSnapshot> snapshots;
    int ownersGone = 0;
};

TEST_F(X11ClipboardTest, aCopyIsReportedWithWhatWasFetchedAndTheChangeCounted) {
    EXPECT_TRUE(clipboard->usesSelectionEvents());
    copyWithXclip("already there");
    // What is on the clipboard before the start is not a copy.
    ASSERT_TRUE(waitFor([&] { return pasted() == QLatin1String("already there"); }));
    startWatching();
    const quint64 before = clipboard->changeCount();
    copyWithXclip("copied while watched");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    ASSERT_EQ(snapshots.size(), 1u);
    const ClipboardSnapshot& snapshot = snapshots.front();
    EXPECT_TRUE(snapshot.types.contains(QStringLiteral("UTF8_STRING")));
    EXPECT_EQ(snapshot.data.at(QStringLiteral("UTF8_STRING")), QByteArray("copied while watched"));
    EXPECT_GT(clipboard->changeCount(), before);
    EXPECT_EQ(snapshot.changeCount, clipboard->changeCount());
}

TEST_F(X11ClipboardTest, anOwnerThatNeverAnswersDoesNotHoldTheEventLoopAndIsGivenUp) {
    startWatching();
    // A client that takes the clipboard and then answers nothing.
    QString problem;
    std::unique_ptr<XcbConnection> hung = XcbConnection::open({}, &problem);
    ASSERT_TRUE(hung) << problem.toStdString();
    const xcb_window_t window = xcb_generate_id(hung->get());
    xcb_create_window(hung->get(), XCB_COPY_FROM_PARENT, window, hung->root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(hung->get(), window, hung->atom("CLIPBOARD"), XCB_CURRENT_TIME);
    hung->sync();

    // The event loop keeps turning while the conversion waits.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    const QDeadlineTimer patience(X11Clipboard::kConversionTimeoutMs + 1000);
    while (!patience.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GE(ticks, 10);
    EXPECT_TRUE(snapshots.empty());

    // The next copy is reported as usual.
    copyWithXclip("after the hung owner");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    EXPECT_EQ(snapshots.back().data.at(QStringLiteral("UTF8_STRING")), QByteArray("after the hung owner"));
}

TEST_F(X11ClipboardTest, anOfferFarBeyondTheLimitIsMeasuredAndNotRead) {
    startWatching();
    // 100 MB of text: xclip hands it out in increments.
    const QByteArray huge(100 * 1024 * 1024, 'z');
    copyWithXclip(huge);
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }, 30000));
    const ClipboardSnapshot& snapshot = snapshots.front();
    EXPECT_FALSE(snapshot.data.count(QStringLiteral("UTF8_STRING")));
    ASSERT_TRUE(snapshot.oversized.count(QStringLiteral("UTF8_STRING")));
    EXPECT_GT(snapshot.oversized.at(QStringLiteral("UTF8_STRING")), 1024);
}

TEST_F(X11ClipboardTest, writtenContentIsServedWithItsTypesAndLargeContentInIncrements) {
    startWatching();
    ASSERT_TRUE(clipboard->write({{QStringLiteral("text/plain"), QByteArray("written by vantrel")},
                                  {QStringLiteral("org.vantrel.RestoredType"), QByteArray("1")}}));
    EXPECT_TRUE(clipboard->ownsSelection());
    QString text;
    // xclip asks while our event loop answers.
    QProcess reader;
    reader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    ASSERT_TRUE(waitFor([&] { return reader.state() == QProcess::NotRunning; }));
    EXPECT_EQ(QString::fromUtf8(reader.readAllStandardOutput()), QStringLiteral("written by vantrel"));
    QProcess targets;
    targets.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                            QStringLiteral("-t"), QStringLiteral("TARGETS")});
    ASSERT_TRUE(waitFor([&] { return targets.state() == QProcess::NotRunning; }));
    const QString listed = QString::fromUtf8(targets.readAllStandardOutput());
    EXPECT_TRUE(listed.contains(QStringLiteral("UTF8_STRING")));
    EXPECT_TRUE(listed.contains(QStringLiteral("org.vantrel.RestoredType")));
    // Our own write is no copy.
    EXPECT_TRUE(snapshots.empty());

    QByteArray large(3 * 1024 * 1024 + 17, 'a');
    for (qsizetype i = 0; i < large.size(); i += 4099) large[i] = char('b' + i % 20);
    ASSERT_TRUE(clipboard->write({{QStringLiteral("image/x-test"), large}}));
    QProcess bigReader;
    bigReader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                              QStringLiteral("-t"), QStringLiteral("image/x-test")});
    QByteArray received;
    ASSERT_TRUE(waitFor([&] {
        received += bigReader.readAllStandardOutput();
        return bigReader.state() == QProcess::NotRunning;
    }, 30000));
    received += bigReader.readAllStandardOutput();
    EXPECT_EQ(received.size(), large.size());
    EXPECT_TRUE(received == large);
}

TEST_F(X11ClipboardTest, anOwnerThatQuitsIsReported) {
    startWatching();
    QProcess* xclip = copyWithXclip("short lived");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    xclip->terminate();
    ASSERT_TRUE(xclip->waitForFinished(5000));
    ASSERT_TRUE(waitFor([&] { return ownersGone == 1; }));
    // Taking it over keeps pasting working.
    ASSERT_TRUE(clipboard->write({{QStringLiteral("text/plain"), QByteArray("short lived")}}));
    QProcess reader;
    reader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    ASSERT_TRUE(waitFor([&] { return reader.state() == QProcess::NotRunning; }));
    EXPECT_EQ(QString::fromUtf8(reader.readAllStandardOutput()), QStringLiteral("short lived"));
}

TEST_F(X11ClipboardTest, theMouseSelectionIsOnlyReportedWhenAskedFor) {
    const auto select = [this](const QByteArray& text) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("primary"),
                                                 QStringLiteral("-i"), QStringLiteral("-quiet")});
        ASSERT_TRUE(process->waitForStarted());
        process->write(text);
        ASSERT_TRUE(process->waitForBytesWritten(5000));
        process->closeWriteChannel();
        processes.push_back(std::move(process));
    };
    startWatching();
    select("selected, not copied");
    // A copy after the selection: once it is reported, the selection would have been too.
    copyWithXclip("copied after selecting");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    ASSERT_EQ(snapshots.size(), 1u);
    EXPECT_FALSE(snapshots.front().primary);

    clipboard->setWatchesPrimary(true);
    select("selected while watched");
    ASSERT_TRUE(waitFor([&] { return snapshots.size() == 2; }));
    EXPECT_TRUE(snapshots.back().primary);
    EXPECT_EQ(snapshots.back().data.at(QStringLiteral("UTF8_STRING")), QByteArray("selected while watched"));
}

TEST_F(X11ClipboardTest, theWatcherStopsReportingWhenStopped) {
    startWatching();
    clipboard->stop();
    EXPECT_FALSE(clipboard->isWatching());
    copyWithXclip("not watched");
    ASSERT_TRUE(waitFor([&] { return pasted() == QLatin1String("not watched"); }));
    // The copy is on the clipboard; nothing was reported.
    QCoreApplication::processEvents();
    EXPECT_TRUE(snapshots.empty());
}

}  // namespace
}  // namespace vantrel::test
