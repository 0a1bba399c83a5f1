#include "platform/freedesktop/WaylandClipboard.h"

#include "ext-data-control-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"

#include "kit/Logger.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <wayland-client.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <list>
#include <map>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Clipboard"), QStringLiteral("📋")});
    return logger;
}

// The two data-control protocols have the same requests and events in the
// same order; only the interface names differ. One implementation drives
// either through the raw proxy calls.
struct Protocol {
    const char* global;
    const char* name;
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
    const wl_interface* offer;
    uint32_t maxVersion;
    // The version from which the primary selection can be watched and set.
    uint32_t primarySince;
};

const Protocol kExtProtocol{"ext_data_control_manager_v1",
                            "ext-data-control-v1",
                            &ext_data_control_manager_v1_interface,
                            &ext_data_control_device_v1_interface,
                            &ext_data_control_source_v1_interface,
                            &ext_data_control_offer_v1_interface,
                            1,
                            1};
const Protocol kWlrProtocol{"zwlr_data_control_manager_v1",
                            "zwlr_data_control_manager_v1",
                            &zwlr_data_control_manager_v1_interface,
                            &zwlr_data_control_device_v1_interface,
                            &zwlr_data_control_source_v1_interface,
                            &zwlr_data_control_offer_v1_interface,
                            2,
                            2};

// Request opcodes, in wire order.
constexpr uint32_t kManagerCreateDataSource = 0;
constexpr uint32_t kManagerGetDataDevice = 1;
constexpr uint32_t kManagerDestroy = 2;
constexpr uint32_t kDeviceSetSelection = 0;
constexpr uint32_t kDeviceDestroy = 1;
constexpr uint32_t kDeviceSetPrimarySelection = 2;
constexpr uint32_t kSourceOffer = 0;
constexpr uint32_t kSourceDestroy = 1;
constexpr uint32_t kOfferReceive = 0;
constexpr uint32_t kOfferDestroy = 1;

// Event listeners, laid out as the protocols order their events.
struct DeviceListener {
    void (*dataOffer)(void* data, wl_proxy* device, wl_proxy* offer);
    void (*selection)(void* data, wl_proxy* device, wl_proxy* offer);
    void (*finished)(void* data, wl_proxy* device);
    void (*primarySelection)(void* data, wl_proxy* device, wl_proxy* offer);
};
struct SourceListener {
    void (*send)(void* data, wl_proxy* source, const char* mimeType, int32_t fd);
    void (*cancelled)(void* data, wl_proxy* source);
};
struct OfferListener {
    void (*offer)(void* data, wl_proxy* offer, const char* mimeType);
};

template <typename Listener>
void listen(wl_proxy* proxy, const Listener& listener, void* data) {
    // libwayland takes the listener as an array of function pointers.
    wl_proxy_add_listener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)), data);
}

// Pipes larger than this are read and written in steps of this size.
constexpr qsizetype kChunkBytes = 64 * 1024;
// A transfer to a reader that takes nothing for this long is dropped.
constexpr int kOutgoingTimeoutMs = 10000;

// The text types a "text/plain" format is offered under as well, so that
// X11 applications behind XWayland and older toolkits find it.
const QStringList& textAliases() {
    static const QStringList aliases{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                                     QStringLiteral("STRING"), QStringLiteral("TEXT")};
    return aliases;
}

int index(SystemClipboard::Selection selection) { return selection == SystemClipboard::Selection::clipboard ? 0 : 1; }

QString noDataControlSentence() {
    return QStringLiteral(
        "This compositor (GNOME's, for example) offers no clipboard access to other applications (neither "
        "ext-data-control-v1 nor zwlr_data_control_manager_v1).");
}

}  // namespace

struct WaylandClipboard::Impl {
    // One type being read from the owner through a pipe.
    struct Read {
        QString type;
        qint64 maxBytes = 0;
        int fd = -1;
        QByteArray data;
        bool oversized = false;
        bool finished = false;
        bool failed = false;
        std::unique_ptr<QSocketNotifier> notifier;
    };

    // One change being read.
    struct Incoming {
        ClipboardSnapshot snapshot;
        std::vector<std::unique_ptr<Read>> reads;
        QTimer timer;
        ~Incoming() {
            for (auto& read : reads) {
                read->notifier.reset();
                if (read->fd >= 0) ::close(read->fd);
            }
        }
    };

    // Content we offer.
    struct Source {
        std::vector<ClipboardFormat> formats;
        Selection selection = Selection::clipboard;
    };

    // Data we write to one reader.
    struct Outgoing {
        int fd = -1;
        QByteArray data;
        qsizetype offset = 0;
        std::unique_ptr<QSocketNotifier> notifier;
        QTimer timer;
        ~Outgoing() {
            notifier.reset();
            if (fd >= 0) ::close(fd);
        }
    };

    QByteArray displayName;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_proxy* seat = nullptr;
    wl_proxy* manager = nullptr;
    wl_proxy* device = nullptr;
    const Protocol* protocol = nullptr;
    uint32_t version = 0;
    uint32_t seatName = 0;
    std::map<const Protocol*, std::pair<uint32_t, uint32_t>> advertised;  // global name, version
    QString problem;

    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<QSocketNotifier> notifier;

    Handlers handlers;
    bool watching = false;
    bool watchPrimary = false;
    // The compositor reports the current selections right after the device
    // is made; those are not changes.
    bool deviceReady = false;

    std::array<quint64, 2> changes{};
    std::map<wl_proxy*, QStringList> offerTypes;
    std::array<wl_proxy*, 2> current{};
    std::array<std::unique_ptr<Incoming>, 2> incoming;
    // Our own set-selection requests whose echo has not come back yet, with
    // the types we offered in them.
    std::array<std::list<QStringList>, 2> expectedOwn;
    std::map<wl_proxy*, Source> sources;
    std::array<wl_proxy*, 2> ownSource{};
    std::list<std::unique_ptr<Outgoing>> outgoing;

    explicit Impl(const QByteArray& name) : displayName(name) {
        // A reader that closes its end early must not end the process.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);
        connectToCompositor();
    }

    ~Impl() {
        incoming = {};
        outgoing.clear();
        if (!display) return;
        for (auto& [source, _] : sources) wl_proxy_marshal_flags(source, kSourceDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
        for (auto& [offer, _] : offerTypes) wl_proxy_marshal_flags(offer, kOfferDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
        if (device) wl_proxy_marshal_flags(device, kDeviceDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
        if (manager) wl_proxy_marshal_flags(manager, kManagerDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
        if (seat) wl_proxy_destroy(seat);
        if (registry) wl_registry_destroy(registry);
        wl_display_flush(display);
        notifier.reset();
        wl_display_disconnect(display);
    }

    // MARK: Connection

    void connectToCompositor() {
        display = wl_display_connect(displayName.isEmpty() ? nullptr : displayName.constData());
        if (!display) {
            problem = QStringLiteral("No Wayland compositor answers here.");
            return;
        }
        static const wl_registry_listener registryListener{
            [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
                auto* self = static_cast<Impl*>(data);
                if (std::strcmp(interface, "wl_seat") == 0 && self->seatName == 0) self->seatName = name;
                for (const Protocol* protocol : {&kExtProtocol, &kWlrProtocol})
                    if (std::strcmp(interface, protocol->global) == 0) self->advertised[protocol] = {name, version};
            },
            [](void*, wl_registry*, uint32_t) {}};
        registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &registryListener, this);
        if (wl_display_roundtrip(display) < 0) {
            problem = QStringLiteral("The Wayland compositor closed the connection.");
            return;
        }
        for (const Protocol* candidate : {&kExtProtocol, &kWlrProtocol}) {
            const auto found = advertised.find(candidate);
            if (found == advertised.end()) continue;
            protocol = candidate;
            version = std::min(found->second.second, candidate->maxVersion);
            manager = static_cast<wl_proxy*>(wl_registry_bind(registry, found->second.first, candidate->manager, version));
            break;
        }
        if (!manager) {
            problem = noDataControlSentence();
            return;
        }
        if (seatName == 0) {
            problem = QStringLiteral("The Wayland compositor has no seat whose clipboard could be watched.");
            return;
        }
        seat = static_cast<wl_proxy*>(wl_registry_bind(registry, seatName, &wl_seat_interface, 1));
        device = wl_proxy_marshal_flags(manager, kManagerGetDataDevice, protocol->device, version, 0, nullptr, seat);
        static const DeviceListener deviceListener{
            [](void* data, wl_proxy*, wl_proxy* offer) { static_cast<Impl*>(data)->offered(offer); },
            [](void* data, wl_proxy*, wl_proxy* offer) {
                static_cast<Impl*>(data)->selectionChanged(Selection::clipboard, offer);
            },
            [](void* data, wl_proxy*) { static_cast<Impl*>(data)->deviceFinished(); },
            [](void* data, wl_proxy*, wl_proxy* offer) {
                static_cast<Impl*>(data)->selectionChanged(Selection::primary, offer);
            }};
        listen(device, deviceListener, this);
        if (wl_display_roundtrip(display) < 0) {
            problem = QStringLiteral("The Wayland compositor closed the connection.");
            device = nullptr;
            return;
        }
        deviceReady = true;
        notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, context.get(), [this] { pump(); });
        log().info(QStringLiteral("Watching the Wayland clipboard through ") + QString::fromLatin1(protocol->name));
    }

    void pump() {
        if (wl_display_dispatch(display) < 0) {
            log().error(QStringLiteral("Lost the Wayland connection: ") + QString::fromLocal8Bit(std::strerror(errno)));
            notifier.reset();
            device = nullptr;
            problem = QStringLiteral("The Wayland compositor closed the connection.");
            return;
        }
        wl_display_flush(display);
    }

    void flush() {
        if (display) wl_display_flush(display);
    }

    // MARK: Watching

    void offered(wl_proxy* offer) {
        static const OfferListener offerListener{[](void* data, wl_proxy* announced, const char* type) {
            static_cast<Impl*>(data)->offerTypes[announced] << QString::fromUtf8(type);
        }};
        offerTypes[offer];
        listen(offer, offerListener, this);
    }

    void destroyOffer(wl_proxy* offer) {
        if (!offer) return;
        offerTypes.erase(offer);
        wl_proxy_marshal_flags(offer, kOfferDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
    }

    void deviceFinished() {
        log().error("The Wayland compositor ended clipboard access");
        wl_proxy_marshal_flags(device, kDeviceDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
        device = nullptr;
        problem = QStringLiteral("The Wayland compositor ended clipboard access.");
    }

    bool isOwnEcho(Selection selection, wl_proxy* offer) {
        auto& expected = expectedOwn[size_t(index(selection))];
        if (expected.empty() || !offer) {
            expected.clear();
            return false;
        }
        QStringList sent = expected.front();
        expected.pop_front();
        QStringList received = offerTypes[offer];
        sent.sort();
        received.sort();
        return sent == received;
    }

    void selectionChanged(Selection selection, wl_proxy* offer) {
        const auto i = size_t(index(selection));
        if (current[i] && current[i] != offer) destroyOffer(current[i]);
        current[i] = offer;
        if (!deviceReady) return;
        ++changes[i];
        if (isOwnEcho(selection, offer)) return;  // what we wrote ourselves
        if (!watching) return;
        if (selection == Selection::primary && !watchPrimary) return;
        incoming[i].reset();
        if (!offer) {
            if (handlers.ownerGone) handlers.ownerGone(selection);
            return;
        }
        const QStringList types = offerTypes[offer];
        std::vector<ClipboardFetch> fetches;
        if (handlers.choose) fetches = handlers.choose(types, selection);
        if (fetches.empty()) return;

        auto transfer = std::make_unique<Incoming>();
        transfer->snapshot.changeCount = changes[i];
        transfer->snapshot.types = types;
        transfer->snapshot.primary = selection == Selection::primary;
        Incoming* raw = transfer.get();
        for (const ClipboardFetch& fetch : fetches) {
            if (!types.contains(fetch.type)) continue;
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
                raw->snapshot.failed << fetch.type;
                continue;
            }
            const QByteArray type = fetch.type.toUtf8();
            // libwayland duplicates the descriptor it sends, so ours closes at once.
            wl_proxy_marshal_flags(offer, kOfferReceive, nullptr, version, 0, type.constData(), fds[1]);
            ::close(fds[1]);
            auto read = std::make_unique<Read>();
            read->type = fetch.type;
            read->maxBytes = fetch.maxBytes;
            read->fd = fds[0];
            read->notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
            Read* readRaw = read.get();
            QObject::connect(read->notifier.get(), &QSocketNotifier::activated, context.get(),
                             [this, raw, readRaw] { readMore(raw, readRaw); });
            raw->reads.push_back(std::move(read));
        }
        flush();
        if (raw->reads.empty()) {
            finishIncoming(raw);
            incoming[i] = std::move(transfer);
            finish(selection);
            return;
        }
        raw->timer.setSingleShot(true);
        raw->timer.setInterval(kConversionTimeoutMs);
        QObject::connect(&raw->timer, &QTimer::timeout, context.get(), [this, selection] { finish(selection); });
        raw->timer.start();
        incoming[i] = std::move(transfer);
    }

    void readMore(Incoming* transfer, Read* read) {
        char buffer[kChunkBytes];
        for (;;) {
            const ssize_t got = ::read(read->fd, buffer, sizeof buffer);
            if (got > 0) {
                read->data.append(buffer, got);
                if (qint64(read->data.size()) > read->maxBytes) {
                    read->oversized = true;
                    break;
                }
                continue;
            }
            if (got == 0) break;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            read->failed = true;
            break;
        }
        read->finished = true;
        read->notifier.reset();
        ::close(read->fd);
        read->fd = -1;
        for (const auto& each : transfer->reads)
            if (!each->finished) return;
        finish(transfer->snapshot.primary ? Selection::primary : Selection::clipboard);
    }

    static void finishIncoming(Incoming* transfer) {
        for (auto& read : transfer->reads) {
            if (read->oversized)
                transfer->snapshot.oversized[read->type] = qint64(read->data.size());
            else if (read->finished && !read->failed)
                transfer->snapshot.data[read->type] = read->data;
            else
                transfer->snapshot.failed << read->type;
        }
    }

    void finish(Selection selection) {
        std::unique_ptr<Incoming> transfer = std::move(incoming[size_t(index(selection))]);
        if (!transfer) return;
        finishIncoming(transfer.get());
        ClipboardSnapshot snapshot = std::move(transfer->snapshot);
        transfer.reset();
        if (!snapshot.failed.isEmpty())
            log().info(QStringLiteral("The clipboard owner did not deliver: ") + snapshot.failed.join(QLatin1String(", ")));
        if (handlers.changed) handlers.changed(snapshot);
    }

    // MARK: Writing

    bool write(const std::vector<ClipboardFormat>& formats, Selection selection) {
        if (!device || formats.empty()) return false;
        if (selection == Selection::primary && version < protocol->primarySince) return false;
        wl_proxy* source = wl_proxy_marshal_flags(manager, kManagerCreateDataSource, protocol->source, version, 0, nullptr);
        static const SourceListener sourceListener{
            [](void* data, wl_proxy* asked, const char* type, int32_t fd) {
                static_cast<Impl*>(data)->send(asked, QString::fromUtf8(type), fd);
            },
            [](void* data, wl_proxy* ended) { static_cast<Impl*>(data)->cancelled(ended); }};
        listen(source, sourceListener, this);
        QStringList offeredTypes;
        const auto offer = [&](const QString& type) {
            if (offeredTypes.contains(type)) return;
            offeredTypes << type;
            const QByteArray bytes = type.toUtf8();
            wl_proxy_marshal_flags(source, kSourceOffer, nullptr, version, 0, bytes.constData());
        };
        for (const ClipboardFormat& format : formats) offer(format.type);
        for (const ClipboardFormat& format : formats)
            if (format.type == QLatin1String("text/plain"))
                for (const QString& alias : textAliases()) offer(alias);
        sources[source] = Source{formats, selection};
        const auto i = size_t(index(selection));
        expectedOwn[i].push_back(offeredTypes);
        wl_proxy_marshal_flags(device, selection == Selection::clipboard ? kDeviceSetSelection : kDeviceSetPrimarySelection,
                               nullptr, version, 0, source);
        ownSource[i] = source;
        flush();
        return true;
    }

    void cancelled(wl_proxy* source) {
        for (auto& own : ownSource)
            if (own == source) own = nullptr;
        sources.erase(source);
        wl_proxy_marshal_flags(source, kSourceDestroy, nullptr, version, WL_MARSHAL_FLAG_DESTROY);
        flush();
    }

    void send(wl_proxy* source, const QString& type, int fd) {
        const auto found = sources.find(source);
        const ClipboardFormat* chosen = nullptr;
        if (found != sources.end()) {
            for (const ClipboardFormat& format : found->second.formats)
                if (format.type == type) chosen = &format;
            if (!chosen && textAliases().contains(type))
                for (const ClipboardFormat& format : found->second.formats)
                    if (format.type == QLatin1String("text/plain")) chosen = &format;
        }
        if (!chosen) {
            ::close(fd);
            return;
        }
        auto transfer = std::make_unique<Outgoing>();
        transfer->fd = fd;
        transfer->data = chosen->data;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        Outgoing* raw = transfer.get();
        outgoing.push_back(std::move(transfer));
        raw->timer.setSingleShot(true);
        raw->timer.setInterval(kOutgoingTimeoutMs);
        QObject::connect(&raw->timer, &QTimer::timeout, context.get(), [this, raw] {
            log().info("A clipboard reader took too long; the transfer was dropped");
            drop(raw);
        });
        raw->timer.start();
        if (writeMore(raw)) return;
        raw->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, context.get(), [this, raw] {
            if (!writeMore(raw)) raw->timer.start();
        });
    }

    // Writes what the pipe takes; true when the transfer ended (and was dropped).
    bool writeMore(Outgoing* transfer) {
        while (transfer->offset < transfer->data.size()) {
            const qsizetype step = std::min(kChunkBytes, transfer->data.size() - transfer->offset);
            const ssize_t written = ::write(transfer->fd, transfer->data.constData() + transfer->offset, size_t(step));
            if (written > 0) {
                transfer->offset += written;
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
            break;  // the reader went away
        }
        drop(transfer);
        return true;
    }

    void drop(Outgoing* transfer) {
        outgoing.remove_if([transfer](const std::unique_ptr<Outgoing>& each) { return each.get() == transfer; });
    }
};

WaylandClipboard::WaylandClipboard(const QByteArray& display) : d(std::make_unique<Impl>(display)) {}

WaylandClipboard::~WaylandClipboard() = default;

bool WaylandClipboard::isAvailable(QString* reason) const {
    if (d->device) return true;
    if (reason) *reason = d->problem;
    return false;
}

void WaylandClipboard::start(Handlers handlers) {
    d->handlers = std::move(handlers);
    d->watching = true;
}

void WaylandClipboard::stop() {
    d->watching = false;
    d->incoming = {};
}

bool WaylandClipboard::isWatching() const { return d->watching && d->device; }

void WaylandClipboard::setWatchesPrimary(bool watches) { d->watchPrimary = watches; }

quint64 WaylandClipboard::changeCount() const { return d->changes[0]; }

bool WaylandClipboard::write(const std::vector<ClipboardFormat>& formats, Selection selection) {
    return d->write(formats, selection);
}

bool WaylandClipboard::ownsSelection(Selection selection) const { return d->ownSource[size_t(index(selection))] != nullptr; }

QString WaylandClipboard::protocolName() const {
    return d->manager ? QString::fromLatin1(d->protocol->name) : QString();
}

}  // namespace vantrel
