#pragma once

#include "platform/SystemClipboard.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace vantrel {

// The Wayland clipboard through the compositor's data-control protocol
// (ext-data-control-v1, else zwlr_data_control_manager_v1): the one way a
// client without a focused surface may see and set the selections. KDE and
// the wlroots compositors offer one; GNOME's offers neither, and then
// isAvailable() says so.
//
// Runs on the creating thread's event loop over a connection of its own.
// Every selection change arrives as an event, so nothing runs while nothing
// is copied. Data is read from the owner through a pipe, asynchronously and
// given up after a timeout or as soon as it passes the caller's limit.
// Content written here is served by this object until another client takes
// the selection. Wayland does not tell other clients which application has
// the focus, so snapshots carry no application.
class WaylandClipboard : public SystemClipboard {
public:
    // Milliseconds an owner has to deliver one change.
    static constexpr int kConversionTimeoutMs = 1500;

    // `display` empty: $WAYLAND_DISPLAY.
    explicit WaylandClipboard(const QByteArray& display = {});
    ~WaylandClipboard() override;
    WaylandClipboard(const WaylandClipboard&) = delete;
    WaylandClipboard& operator=(const WaylandClipboard&) = delete;

    bool isAvailable(QString* reason = nullptr) const override;
    void start(Handlers handlers) override;
    void stop() override;
    bool isWatching() const override;
    void setWatchesPrimary(bool watches) override;
    quint64 changeCount() const override;
    bool write(const std::vector<ClipboardFormat>& formats, Selection selection = Selection::clipboard) override;
    bool ownsSelection(Selection selection = Selection::clipboard) const override;

    // "ext-data-control-v1", "zwlr_data_control_manager_v1", or empty when
    // the compositor offers neither (or none answered).
    QString protocolName() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace vantrel
