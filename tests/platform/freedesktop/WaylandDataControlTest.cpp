// Which clipboard protocols a Wayland compositor offers, asked of a compositor
// made with the real Wayland server library (no desktop compositor runs
// here): one offering a data-control protocol, one offering neither (as
// GNOME's), none at all, and an X11 session.
#include "platform/freedesktop/WaylandDataControl.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <wayland-server.h>

#include <atomic>
#include <thread>

namespace vantrel::test {
namespace {

// A compositor that only lists globals, on a socket of its own in a
// temporary runtime folder, answering on a thread of its own.
class ListingCompositor {
public:
    explicit ListingCompositor(std::vector<const char*> interfaces) {
        m_interfaces.reserve(interfaces.size());
        m_display = wl_display_create();
        for (const char* name : interfaces) {
            wl_interface interface{};
            interface.name = name;
            interface.version = 1;
            m_interfaces.push_back(interface);
        }
        for (const wl_interface& interface : m_interfaces)
            wl_global_create(m_display, &interface, 1, nullptr, [](wl_client*, void*, uint32_t, uint32_t) {});
        m_socket = wl_display_add_socket_auto(m_display);
        m_thread = std::thread([this] {
            wl_event_loop* loop = wl_display_get_event_loop(m_display);
            while (!m_stop) {
                wl_event_loop_dispatch(loop, 20);
                wl_display_flush_clients(m_display);
            }
        });
    }
    ~ListingCompositor() {
        m_stop = true;
        m_thread.join();
        wl_display_destroy(m_display);
    }
    QByteArray socket() const { return QByteArray(m_socket ? m_socket : ""); }

private:
    wl_display* m_display = nullptr;
    const char* m_socket = nullptr;
    std::vector<wl_interface> m_interfaces;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class WaylandDataControlTest : public ::testing::Test {
protected:
    QTemporaryDir runtime;
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path().toLocal8Bit()};
    ScopedEnv session{"XDG_SESSION_TYPE", QByteArray("wayland")};
};

TEST_F(WaylandDataControlTest, aCompositorWithADataControlProtocolIsNamed) {
    ListingCompositor compositor({"wl_compositor", "zwlr_data_control_manager_v1", "wl_seat"});
    ASSERT_FALSE(compositor.socket().isEmpty());
    ScopedEnv display("WAYLAND_DISPLAY", compositor.socket());
    const WaylandDataControl found = WaylandDataControl::probe();
    EXPECT_TRUE(found.connected);
    EXPECT_TRUE(found.wlrDataControl);
    EXPECT_FALSE(found.extDataControl);
    EXPECT_TRUE(found.globals.contains(QStringLiteral("wl_seat")));
    EXPECT_TRUE(WaylandDataControl::sessionLimitation().contains(QStringLiteral("zwlr_data_control_manager_v1")));
}

TEST_F(WaylandDataControlTest, theExtensionProtocolIsPreferredWhenBothAreOffered) {
    ListingCompositor compositor({"ext_data_control_manager_v1", "zwlr_data_control_manager_v1"});
    ScopedEnv display("WAYLAND_DISPLAY", compositor.socket());
    EXPECT_TRUE(WaylandDataControl::probe().extDataControl);
    EXPECT_TRUE(WaylandDataControl::sessionLimitation().contains(QStringLiteral("ext-data-control-v1")));
}

TEST_F(WaylandDataControlTest, aCompositorWithoutEitherIsSaidToGiveNoClipboardAccess) {
    ListingCompositor compositor({"wl_compositor", "wl_seat", "wl_data_device_manager"});
    ScopedEnv display("WAYLAND_DISPLAY", compositor.socket());
    const WaylandDataControl found = WaylandDataControl::probe();
    EXPECT_TRUE(found.connected);
    EXPECT_FALSE(found.hasDataControl());
    const QString said = WaylandDataControl::sessionLimitation();
    EXPECT_TRUE(said.contains(QStringLiteral("neither ext-data-control-v1 nor zwlr_data_control_manager_v1")))
        << said.toStdString();
}

TEST_F(WaylandDataControlTest, noCompositorAnsweringIsSaidAndAnX11SessionHasNoLimitation) {
    ScopedEnv display("WAYLAND_DISPLAY", QByteArray("vantrel-no-such-compositor"));
    EXPECT_FALSE(WaylandDataControl::probe().connected);
    EXPECT_TRUE(WaylandDataControl::sessionLimitation().contains(QStringLiteral("cannot reach")));
    ScopedEnv x11("XDG_SESSION_TYPE", QByteArray("x11"));
    ScopedEnv noDisplay("WAYLAND_DISPLAY", std::nullopt);
    EXPECT_TRUE(WaylandDataControl::sessionLimitation().isEmpty());
}

}  // namespace
}  // namespace vantrel::test
