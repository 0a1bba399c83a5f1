#pragma once

#include "platform/KeyboardMonitor.h"

#include <QByteArray>

#include <memory>

namespace vantrel {

// XInput2 raw key and button events of the root window (nothing is grabbed),
// translated by xkbcommon with the server's keymap, its active group and
// the locale's compose table; typing goes through XTest on the same
// connection, so the monitor can leave its own key presses out.
class X11KeyboardMonitor : public KeyboardMonitor {
public:
    explicit X11KeyboardMonitor(const QByteArray& display = {});
    ~X11KeyboardMonitor() override;
    X11KeyboardMonitor(const X11KeyboardMonitor&) = delete;
    X11KeyboardMonitor& operator=(const X11KeyboardMonitor&) = delete;

    bool start(std::function<void(const GlobalInputEvent& event)> handle, QString* problem) override;
    void stop() override;
    bool isRunning() const override;
    double repeatDelay() const override;
    bool press(Key key, int count, QString* problem) override;
    bool type(const QString& text, QString* problem) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace vantrel
