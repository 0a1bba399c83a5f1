#pragma once

// An X client of the test's own on the session's display, with plain xcb:
// makes top-level windows as an application would, and reads what the window
// manager publishes as a pager would.
#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace vantrel::test {

class X11Client {
public:
    X11Client() : m_connection(xcb_connect(nullptr, nullptr)) {
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    }
    ~X11Client() {
        for (xcb_window_t window : m_windows) xcb_destroy_window(m_connection, window);
        sync();
        xcb_disconnect(m_connection);
    }
    X11Client(const X11Client&) = delete;
    X11Client& operator=(const X11Client&) = delete;

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_screen->root; }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return value;
    }

    // A top-level application window of the given size that accepts
    // WM_DELETE_WINDOW, with the given process id (or none), once the window
    // manager has taken it.
    xcb_window_t createWindow(std::optional<uint32_t> pid, uint16_t width = 200, uint16_t height = 150) {
        const xcb_window_t window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, root(), 10, 10, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, XCB_CW_EVENT_MASK, &events);
        const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32, 1,
                            &deleteWindow);
        if (pid)
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32,
                                1, &*pid);
        m_windows.push_back(window);
        // A window manager may drop a map request while it is busy: it is
        // repeated until the window is managed.
        QDeadlineTimer nextMap;
        const bool managed = waitUntil([&] {
            if (nextMap.hasExpired()) {
                xcb_map_window(m_connection, window);
                xcb_flush(m_connection);
                nextMap.setRemainingTime(500);
            }
            return contains(property(root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW), window);
        });
        EXPECT_TRUE(managed) << "the window manager did not take the window";
        return window;
    }

    std::vector<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, atom(name), type, 0, 1024), nullptr);
        std::vector<uint32_t> values;
        if (reply && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    }

    // A property's bytes as they are stored.
    QByteArray bytes(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, 1024), nullptr);
        QByteArray value;
        if (reply)
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
        return value;
    }

    static bool contains(const std::vector<uint32_t>& values, uint32_t value) {
        return std::find(values.begin(), values.end(), value) != values.end();
    }

    bool isHidden(xcb_window_t window) {
        return contains(property(window, "_NET_WM_STATE", XCB_ATOM_ATOM), atom("_NET_WM_STATE_HIDDEN"));
    }
    std::optional<xcb_window_t> activeWindow() {
        const auto active = property(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
        if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
        return active.front();
    }
    bool showingDesktop() {
        const auto value = property(root(), "_NET_SHOWING_DESKTOP", XCB_ATOM_CARDINAL);
        return !value.empty() && value.front() != 0;
    }

    // The windows the window manager asked to close (WM_DELETE_WINDOW) so far.
    const std::vector<xcb_window_t>& closeRequests() {
        const xcb_atom_t protocols = atom("WM_PROTOCOLS");
        const xcb_atom_t deleteWindow = atom("WM_DELETE_WINDOW");
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == protocols && message->data.data32[0] == deleteWindow)
                    m_closeRequests.push_back(message->window);
            }
            std::free(event);
        }
        return m_closeRequests;
    }

    // Takes a selection, as the program that provides it would.
    xcb_window_t ownSelection(const char* name) {
        const xcb_window_t owner = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, owner, root(), -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_windows.push_back(owner);
        xcb_set_selection_owner(m_connection, owner, atom(name), XCB_CURRENT_TIME);
        sync();
        return owner;
    }
    void releaseSelection(const char* name) {
        xcb_set_selection_owner(m_connection, XCB_WINDOW_NONE, atom(name), XCB_CURRENT_TIME);
        sync();
    }

    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

private:
    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen = nullptr;
    std::vector<xcb_window_t> m_windows;
    std::vector<xcb_window_t> m_closeRequests;
};

}  // namespace vantrel::test
