// The Wayland clipboard against a real compositor: sway, headless, with
// wl-copy and wl-paste as the other applications. Copies are reported with
// what was fetched, our own content is served (large content included) and
// not reported back, an offer beyond the limit is measured and not read, an
// owner that quits is reported, an owner that never answers is given up
// without holding the event loop, and the primary selection is watched only
// when asked.
#include "platform/freedesktop/WaylandClipboard.h"
#include "support/TestEnvironment.h"
#include "support/WaylandTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <wayland-client.h>

#include <unistd.h>

#include <cstring>

// The protocol's interfaces, from the platform library.
extern "C" {
extern const wl_interface zwlr_data_control_manager_v1_interface;
extern const wl_interface zwlr_data_control_device_v1_interface;
extern const wl_interface zwlr_data_control_source_v1_interface;
}

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

// A client that takes the selection through the data-control protocol and
// then never reads its connection again, so it never delivers.
class HungOwner {
public:
    explicit HungOwner(const QByteArray& socket) : m_display(wl_display_connect(socket.constData())) {}
    ~HungOwner() {
        if (m_display) wl_display_disconnect(m_display);
    }

    bool takeSelection(const char* type) {
        if (!m_display) return false;
        static const wl_registry_listener listener{
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
                auto* self = static_cast<HungOwner*>(data);
                if (std::strcmp(interface, "wl_seat") == 0)
                    self->m_seat = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
                if (std::strcmp(interface, "zwlr_data_control_manager_v1") == 0)
                    self->m_manager = static_cast<wl_proxy*>(
                        wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry* registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip(m_display);
        if (!m_seat || !m_manager) return false;
        // create_data_source, get_data_device, offer and set_selection, by opcode.
        wl_proxy* source =
            wl_proxy_marshal_flags(m_manager, 0, &zwlr_data_control_source_v1_interface, 1, 0, nullptr);
        wl_proxy* device =
            wl_proxy_marshal_flags(m_manager, 1, &zwlr_data_control_device_v1_interface, 1, 0, nullptr, m_seat);
        wl_proxy_marshal_flags(source, 0, nullptr, 1, 0, type);
        wl_proxy_marshal_flags(device, 0, nullptr, 1, 0, source);
        return wl_display_roundtrip(m_display) >= 0;
    }

private:
    wl_display* m_display = nullptr;
    wl_proxy* m_seat = nullptr;
    wl_proxy* m_manager = nullptr;
};

class WaylandClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty(),
                                        "wl-clipboard is not installed");
        compositor = std::make_unique<HeadlessSway>();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(compositor->isRunning(),
                                        "sway did not start headless: " << compositor->why().toStdString());
        clipboard = std::make_unique<WaylandClipboard>(QFile::encodeName(compositor->socket()));
        QString problem;
        ASSERT_TRUE(clipboard->isAvailable(&problem)) << problem.toStdString();
    }

    void TearDown() override {
        clipboard.reset();
        for (auto& process : processes) {
            process->kill();
            process->waitForFinished();
        }
        processes.clear();
        compositor.reset();
    }

    QProcessEnvironment wayland() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), compositor->runtimeDir());
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), compositor->socket());
        // wl-copy keeps what it serves in a folder under TMPDIR; a killed one leaves it.
        environment.insert(QStringLiteral("TMPDIR"), scratch.path());
        return environment;
    }

    void startWatching(qint64 limit = 1024) {
        SystemClipboard::Handlers handlers;
        handlers.choose = [limit](const QStringList& types, SystemClipboard::Selection) {
            std::vector<ClipboardFetch> wanted;
            if (types.contains(QStringLiteral("text/plain"))) wanted.push_back({QStringLiteral("text/plain"), limit});
            if (types.contains(QStringLiteral("image/png"))) wanted.push_back({QStringLiteral("image/png"), limit});
            return wanted;
        };
        handlers.changed = [this](const ClipboardSnapshot& snapshot) { snapshots.push_back(snapshot); };
        handlers.ownerGone = [this](SystemClipboard::Selection) { ++ownersGone; };
        clipboard->start(std::move(handlers));
    }

    // wl-copy in the foreground, owning the selection until it is stopped.
    // Its type is given, not guessed from the content by xdg-mime.
    QProcess* copy(const QByteArray& data, QStringList options = {}) {
        if (!options.contains(QStringLiteral("--type"))) options << QStringLiteral("--type") << QStringLiteral("text/plain");
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(wayland());
        process->start(QStringLiteral("wl-copy"), QStringList{QStringLiteral("--foreground")} + options);
        EXPECT_TRUE(process->waitForStarted());
        process->write(data);
        while (process->bytesToWrite() > 0)
            if (!process->waitForBytesWritten(10000)) break;
        process->closeWriteChannel();
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // wl-paste, with the event loop turning meanwhile: content we own is
    // served from it.
    QByteArray paste(const QStringList& options = {}) const {
        QProcess process;
        process.setProcessEnvironment(wayland());
        process.start(QStringLiteral("wl-paste"), QStringList{QStringLiteral("--no-newline")} + options);
        QByteArray output;
        const bool finished = waitFor(
            [&] {
                output += process.readAllStandardOutput();
                return process.state() == QProcess::NotRunning;
            },
            15000);
        if (!finished) {
            process.kill();
            process.waitForFinished();
            return "<no answer>";
        }
        return output + process.readAllStandardOutput();
    }

    // The text a snapshot fetched, or what became of it.
    static std::string text(const ClipboardSnapshot& snapshot) {
        const auto found = snapshot.data.find(QStringLiteral("text/plain"));
        if (found != snapshot.data.end()) return found->second.toStdString();
        return "<not fetched; offered: " + snapshot.types.join(QLatin1Char(' ')).toStdString() +
               "; failed: " + snapshot.failed.join(QLatin1Char(' ')).toStdString() + ">";
    }

    QTemporaryDir scratch;
    std::unique_ptr<HeadlessSway> compositor;
    std::unique_ptr<WaylandClipboard> clipboard;
    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<ClipboardSnapshot> snapshots;
    int ownersGone = 0;
};

TEST_F(WaylandClipboardTest, aCopyIsReportedWithWhatWasFetchedAndTheChangeCounted) {
    EXPECT_EQ(clipboard->protocolName(), QStringLiteral("zwlr_data_control_manager_v1"));
    copy("already there");
    ASSERT_TRUE(waitFor([&] { return paste() == "already there"; }));
    ASSERT_TRUE(waitFor([&] { return clipboard->changeCount() >= 1; }));
    // What was on the clipboard before the start is not a copy.
    startWatching();
    const quint64 before = clipboard->changeCount();
    copy("copied while watched");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    ASSERT_EQ(snapshots.size(), 1u) << text(snapshots.front());
    const ClipboardSnapshot& snapshot = snapshots.front();
    EXPECT_TRUE(snapshot.types.contains(QStringLiteral("text/plain")));
    EXPECT_EQ(text(snapshot), "copied while watched");
    EXPECT_FALSE(snapshot.primary);
    EXPECT_FALSE(snapshot.application.has_value());
    EXPECT_GT(clipboard->changeCount(), before);
    EXPECT_EQ(snapshot.changeCount, clipboard->changeCount());
}

TEST_F(WaylandClipboardTest, ourContentIsServedUnderTheTextTypesAndNotReportedBack) {
    startWatching();
    ASSERT_TRUE(clipboard->write({{QStringLiteral("text/plain"), QByteArray("written by us")},
                                  {QStringLiteral("org.vantrel.RestoredType"), QByteArray()}}));
    EXPECT_TRUE(clipboard->ownsSelection());
    EXPECT_EQ(paste(), QByteArray("written by us"));
    EXPECT_EQ(paste({QStringLiteral("--type"), QStringLiteral("UTF8_STRING")}), QByteArray("written by us"));
    const QByteArray types = paste({QStringLiteral("--list-types")});
    EXPECT_TRUE(types.contains("org.vantrel.RestoredType")) << types.toStdString();
    EXPECT_TRUE(types.contains("text/plain;charset=utf-8")) << types.toStdString();
    // Our write was counted as a change but not reported; the next copy is.
    EXPECT_GE(clipboard->changeCount(), 1u);
    copy("someone else");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    ASSERT_EQ(snapshots.size(), 1u) << text(snapshots.front());
    EXPECT_EQ(text(snapshots.front()), "someone else");
    EXPECT_TRUE(waitFor([&] { return !clipboard->ownsSelection(); }));
}

TEST_F(WaylandClipboardTest, largeContentIsServedWhole) {
    QByteArray large(3 * 1024 * 1024, 'x');
    for (qsizetype i = 0; i < large.size(); i += 4096) large[i] = char('a' + (i / 4096) % 26);
    ASSERT_TRUE(clipboard->write({{QStringLiteral("text/plain"), large}}));
    const QByteArray received = paste();
    EXPECT_EQ(received.size(), large.size());
    EXPECT_TRUE(received == large);
}

TEST_F(WaylandClipboardTest, anOfferBeyondTheLimitIsMeasuredAndNotRead) {
    startWatching(1024);
    copy(QByteArray(200 * 1024, 'y'));
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    const ClipboardSnapshot& snapshot = snapshots.front();
    EXPECT_EQ(snapshot.data.count(QStringLiteral("text/plain")), 0u);
    ASSERT_EQ(snapshot.oversized.count(QStringLiteral("text/plain")), 1u);
    EXPECT_GT(snapshot.oversized.at(QStringLiteral("text/plain")), 1024);
}

TEST_F(WaylandClipboardTest, anOwnerThatQuitsIsReported) {
    startWatching();
    QProcess* owner = copy("short-lived");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    owner->kill();
    owner->waitForFinished();
    ASSERT_TRUE(waitFor([&] { return ownersGone == 1; }));
    // Taking it over keeps the content pasteable.
    ASSERT_TRUE(clipboard->write({{QStringLiteral("text/plain"), QByteArray("short-lived")}}));
    EXPECT_EQ(paste(), QByteArray("short-lived"));
    EXPECT_EQ(ownersGone, 1);
}

TEST_F(WaylandClipboardTest, anOwnerThatNeverAnswersIsGivenUpWithoutHoldingTheEventLoop) {
    startWatching();
    HungOwner hung(QFile::encodeName(compositor->socket()));
    ASSERT_TRUE(hung.takeSelection("text/plain"));

    // The event loop keeps turning while the read waits.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }, WaylandClipboard::kConversionTimeoutMs + 10000));
    EXPECT_GE(ticks, 10);
    EXPECT_EQ(snapshots.back().data.count(QStringLiteral("text/plain")), 0u);
    EXPECT_TRUE(snapshots.back().failed.contains(QStringLiteral("text/plain")));

    // The next copy is reported as usual.
    copy("after the hung owner");
    ASSERT_TRUE(waitFor([&] { return snapshots.size() == 2; }));
    EXPECT_EQ(snapshots.back().data.at(QStringLiteral("text/plain")), QByteArray("after the hung owner"));
}

TEST_F(WaylandClipboardTest, thePrimarySelectionIsWatchedOnlyWhenAsked) {
    startWatching();
    copy("selected with the mouse", {QStringLiteral("--primary")});
    ASSERT_TRUE(waitFor([&] { return paste({QStringLiteral("--primary")}) == "selected with the mouse"; }));
    copy("copied");
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    for (const ClipboardSnapshot& snapshot : snapshots) EXPECT_FALSE(snapshot.primary);

    snapshots.clear();
    clipboard->setWatchesPrimary(true);
    copy("selected again", {QStringLiteral("--primary")});
    ASSERT_TRUE(waitFor([&] { return !snapshots.empty(); }));
    EXPECT_TRUE(snapshots.back().primary);
    EXPECT_EQ(snapshots.back().data.at(QStringLiteral("text/plain")), QByteArray("selected again"));
    ASSERT_TRUE(clipboard->write({{QStringLiteral("text/plain"), QByteArray("our primary")}},
                                 SystemClipboard::Selection::primary));
    EXPECT_EQ(paste({QStringLiteral("--primary")}), QByteArray("our primary"));
}

TEST(WaylandClipboardUnavailable, saysWhyWhenNoCompositorAnswers) {
    WaylandClipboard clipboard("/nonexistent/vantrel-no-compositor");
    QString problem;
    EXPECT_FALSE(clipboard.isAvailable(&problem));
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_TRUE(clipboard.protocolName().isEmpty());
    EXPECT_FALSE(clipboard.write({{QStringLiteral("text/plain"), QByteArray("x")}}));
}

}  // namespace
}  // namespace vantrel::test
