#pragma once

#include "platform/SystemClipboard.h"

#include <QByteArray>

#include <memory>

namespace vantrel {

// The X11 clipboard over a connection of its own, read on the creating
// thread's event loop (a QCoreApplication is enough).
//
// Ownership changes of CLIPBOARD (and PRIMARY when asked) arrive as XFixes
// selection events, so nothing runs while nothing is copied; a server without
// XFixes is polled once a second instead. Every conversion is asynchronous
// and given up after a timeout; large data comes in increments (INCR) and is
// abandoned as soon as it passes the caller's limit. Content written here is
// served by this object, incrementally when large, until another client takes
// the selection.
class X11Clipboard : public SystemClipboard {
public:
    // Milliseconds an owner has for each step of a conversion.
    static constexpr int kConversionTimeoutMs = 1500;

    // `display` empty: $DISPLAY.
    explicit X11Clipboard(const QByteArray& display = {});
    ~X11Clipboard() override;
    X11Clipboard(const X11Clipboard&) = delete;
    X11Clipboard& operator=(const X11Clipboard&) = delete;

    bool isAvailable(QString* reason = nullptr) const override;
    void start(Handlers handlers) override;
    void stop() override;
    bool isWatching() const override;
    void setWatchesPrimary(bool watches) override;
    quint64 changeCount() const override;
    bool write(const std::vector<ClipboardFormat>& formats, Selection selection = Selection::clipboard) override;
    bool ownsSelection(Selection selection = Selection::clipboard) const override;

    // Whether the server's XFixes extension reports ownership changes (else
    // the once-a-second poll stands in).
    bool usesSelectionEvents() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Pastes with XTest key presses into a window activated the way pagers do;
// follows _NET_ACTIVE_WINDOW to remember the last window of another process.
class X11PasteInjector : public PasteInjector {
public:
    explicit X11PasteInjector(const QByteArray& display = {});
    ~X11PasteInjector() override;
    X11PasteInjector(const X11PasteInjector&) = delete;
    X11PasteInjector& operator=(const X11PasteInjector&) = delete;

    bool isAvailable(QString* reason = nullptr) const override;
    std::optional<ForeignApplication> lastForeignWindow() const override;
    void rememberActiveWindow() override;
    void paste(std::optional<ForeignApplication> target, bool withShift,
               std::function<void(bool pressed, const QString& problem)> done) override;

    // The application of a window (its WM_CLASS, process and executable).
    ForeignApplication describe(quintptr window) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace vantrel
