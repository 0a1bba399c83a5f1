#include "platform/x11/X11Clipboard.h"

#include "kit/Logger.h"
#include "platform/x11/X11KeyPresses.h"
#include "platform/x11/XcbConnection.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Clipboard"), QStringLiteral("📋")});
    return logger;
}

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// Data longer than this is served in increments (INCR) of kChunkBytes.
constexpr qsizetype kIncrThreshold = 256 * 1024;
constexpr qsizetype kChunkBytes = 64 * 1024;
// An incremental transfer that makes no progress for this long is dropped.
constexpr int kOutgoingTimeoutMs = 10000;
// Conversion properties used in turn, so that a late chunk of an abandoned
// transfer never lands in the next one.
constexpr int kPropertyCount = 4;

const QStringList& textTargets() {
    static const QStringList targets{QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                                     QStringLiteral("text/plain"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
    return targets;
}

// The application of a window, read from its properties.
ForeignApplication describeWindow(const XcbConnection& x, xcb_window_t window) {
    ForeignApplication application;
    application.window = window;
    xcb_connection_t* c = x.get();
    const auto classCookie = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    const auto pidCookie = x.requestProperty(window, x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 1);
    XcbReply<xcb_get_property_reply_t> classReply(xcb_get_property_reply(c, classCookie, nullptr));
    if (classReply && classReply->format == 8) {
        const QByteArray value(static_cast<const char*>(xcb_get_property_value(classReply.get())),
                               xcb_get_property_value_length(classReply.get()));
        const QList<QByteArray> parts = value.split('\0');
        application.instanceName = QString::fromUtf8(parts.value(0));
        application.className = QString::fromUtf8(parts.value(1));
    }
    const std::vector<uint32_t> pid = x.readProperty32(pidCookie);
    if (!pid.empty() && pid.front() != 0) {
        application.pid = qint64(pid.front());
        application.executable =
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid.front())).symLinkTarget();
    }
    return application;
}

// The active window of the desktop, unless it is one of this process's.
std::optional<ForeignApplication> activeForeignApplication(const XcbConnection& x) {
    const std::vector<uint32_t> active = x.property32(x.root(), x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 1);
    if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
    ForeignApplication application = describeWindow(x, active.front());
    if (application.pid && *application.pid == qint64(::getpid())) return std::nullopt;
    return application;
}

}  // namespace

// MARK: - X11Clipboard

struct X11Clipboard::Impl {
    static constexpr int kSelections = 2;

    // A conversion we asked an owner for.
    struct Incoming {
        Selection selection = Selection::clipboard;
        xcb_atom_t selectionAtom = XCB_ATOM_NONE;
        xcb_timestamp_t time = XCB_CURRENT_TIME;
        enum class Stage { targets, data } stage = Stage::targets;
        ClipboardSnapshot snapshot;
        std::vector<ClipboardFetch> requests;
        size_t next = 0;
        xcb_atom_t property = XCB_ATOM_NONE;
        xcb_atom_t target = XCB_ATOM_NONE;
        bool incremental = false;
        QByteArray buffer;
        QTimer timer;
    };

    // Data we serve in increments to one requestor.
    struct Outgoing {
        xcb_window_t requestor = XCB_WINDOW_NONE;
        xcb_atom_t property = XCB_ATOM_NONE;
        xcb_atom_t type = XCB_ATOM_NONE;
        QByteArray data;
        qsizetype offset = 0;
        bool lastSent = false;
        QDeadlineTimer deadline;
    };

    struct Owned {
        std::vector<ClipboardFormat> formats;
        bool owned = false;
        xcb_timestamp_t time = XCB_CURRENT_TIME;
    };

    QByteArray display;
    std::shared_ptr<XcbConnection> x;
    QString problem;
    xcb_connection_t* c = nullptr;
    xcb_window_t window = XCB_WINDOW_NONE;
    bool xfixes = false;
    uint8_t xfixesEvent = 0;

    std::unique_ptr<XcbEventReader> reader;
    QObject* context = nullptr;
    QTimer poll;
    QTimer outgoingTimer;

    Handlers handlers;
    bool watching = false;
    bool watchPrimary = false;
    std::array<quint64, kSelections> changes{0, 0};
    std::array<xcb_window_t, kSelections> lastOwner{XCB_WINDOW_NONE, XCB_WINDOW_NONE};
    std::array<std::unique_ptr<Incoming>, kSelections> incoming;
    std::array<Owned, kSelections> owned;
    std::vector<Outgoing> outgoing;
    int propertyTurn = 0;
    std::map<xcb_atom_t, QString> atomNames;

    xcb_atom_t atomClipboard = XCB_ATOM_NONE;
    xcb_atom_t atomTargets = XCB_ATOM_NONE;
    xcb_atom_t atomIncr = XCB_ATOM_NONE;
    xcb_atom_t atomTimestamp = XCB_ATOM_NONE;
    xcb_atom_t atomMultiple = XCB_ATOM_NONE;
    std::array<xcb_atom_t, kPropertyCount> properties{};

    ~Impl() {
        reader.reset();
        if (c && window != XCB_WINDOW_NONE) {
            xcb_destroy_window(c, window);
            xcb_flush(c);
        }
    }

    static int index(Selection selection) { return selection == Selection::clipboard ? 0 : 1; }
    xcb_atom_t selectionAtom(Selection selection) const {
        return selection == Selection::clipboard ? atomClipboard : xcb_atom_t(XCB_ATOM_PRIMARY);
    }
    std::optional<Selection> selectionOf(xcb_atom_t atom) const {
        if (atom == atomClipboard) return Selection::clipboard;
        if (atom == XCB_ATOM_PRIMARY) return Selection::primary;
        return std::nullopt;
    }

    bool connect() {
        std::unique_ptr<XcbConnection> opened = XcbConnection::open(display, &problem);
        if (!opened) return false;
        x = std::move(opened);
        c = x->get();
        atomClipboard = x->atom("CLIPBOARD");
        atomTargets = x->atom("TARGETS");
        atomIncr = x->atom("INCR");
        atomTimestamp = x->atom("TIMESTAMP");
        atomMultiple = x->atom("MULTIPLE");
        for (int i = 0; i < kPropertyCount; ++i)
            properties[size_t(i)] = x->atom(QStringLiteral("VANTREL_SELECTION_%1").arg(i).toLatin1().constData());

        window = xcb_generate_id(c);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x->root(), -10, -10, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        const QByteArray title("vantrel clipboard");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(title.size()), title.constData());

        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (extension && extension->present) {
            XcbReply<xcb_xfixes_query_version_reply_t> version(
                xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
            if (version) {
                xfixes = true;
                xfixesEvent = extension->first_event;
            }
        }
        xcb_flush(c);

        reader = std::make_unique<XcbEventReader>(
            c, [this](const xcb_generic_event_t& event) { handle(event); },
            [this] {
                log().error("The connection to the X server for the clipboard broke");
                poll.stop();
                outgoingTimer.stop();
            });
        context = reader->context();
        poll.setInterval(1000);
        QObject::connect(&poll, &QTimer::timeout, context, [this] { pollOwners(); });
        outgoingTimer.setInterval(1000);
        QObject::connect(&outgoingTimer, &QTimer::timeout, context, [this] { dropStaleOutgoing(); });
        return true;
    }

    void selectEvents() {
        if (!xfixes) return;
        const uint32_t mask = XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;
        xcb_xfixes_select_selection_input(c, window, atomClipboard, watching ? mask : 0);
        xcb_xfixes_select_selection_input(c, window, XCB_ATOM_PRIMARY, watching && watchPrimary ? mask : 0);
        xcb_flush(c);
    }

    xcb_window_t currentOwner(xcb_atom_t selection) const {
        XcbReply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
        return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    }

    // Replies may have pulled events into xcb's queue.
    void scheduleDrain() {
        if (reader) reader->drainSoon();
    }

    void handle(const xcb_generic_event_t& event) {
        const uint8_t type = event.response_type & 0x7f;
        if (xfixes && type == xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
            const auto& notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t&>(event);
            if (const auto selection = selectionOf(notify.selection))
                ownerChanged(*selection, notify.owner, notify.timestamp);
            return;
        }
        switch (type) {
            case XCB_SELECTION_NOTIFY:
                selectionNotified(reinterpret_cast<const xcb_selection_notify_event_t&>(event));
                break;
            case XCB_PROPERTY_NOTIFY:
                propertyChanged(reinterpret_cast<const xcb_property_notify_event_t&>(event));
                break;
            case XCB_SELECTION_REQUEST:
                serve(reinterpret_cast<const xcb_selection_request_event_t&>(event));
                break;
            case XCB_SELECTION_CLEAR: {
                const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
                if (const auto selection = selectionOf(clear.selection)) {
                    Owned& mine = owned[size_t(index(*selection))];
                    mine.owned = false;
                    mine.formats.clear();
                }
                break;
            }
            default:
                break;
        }
    }

    // MARK: Watching

    void ownerChanged(Selection selection, xcb_window_t owner, xcb_timestamp_t time) {
        const int i = index(selection);
        ++changes[size_t(i)];
        lastOwner[size_t(i)] = owner;
        if (!watching) return;
        if (selection == Selection::primary && !watchPrimary) return;
        if (owner == window) return;  // what we wrote ourselves
        incoming[size_t(i)].reset();
        if (owner == XCB_WINDOW_NONE) {
            if (handlers.ownerGone) handlers.ownerGone(selection);
            return;
        }
        auto transfer = std::make_unique<Incoming>();
        transfer->selection = selection;
        transfer->selectionAtom = selectionAtom(selection);
        transfer->time = time;
        transfer->snapshot.changeCount = changes[size_t(i)];
        transfer->snapshot.primary = selection == Selection::primary;
        transfer->snapshot.application = activeForeignApplication(*x);
        transfer->timer.setSingleShot(true);
        transfer->timer.setInterval(kConversionTimeoutMs);
        Incoming* raw = transfer.get();
        QObject::connect(&transfer->timer, &QTimer::timeout, context, [this, raw] { timedOut(raw); });
        incoming[size_t(i)] = std::move(transfer);
        convert(*raw, atomTargets);
    }

    void pollOwners() {
        for (Selection selection : {Selection::clipboard, Selection::primary}) {
            if (selection == Selection::primary && !watchPrimary) continue;
            const xcb_window_t owner = currentOwner(selectionAtom(selection));
            if (owner != lastOwner[size_t(index(selection))]) ownerChanged(selection, owner, XCB_CURRENT_TIME);
        }
        scheduleDrain();
    }

    void convert(Incoming& transfer, xcb_atom_t target) {
        propertyTurn = (propertyTurn + 1) % kPropertyCount;
        transfer.property = properties[size_t(propertyTurn)];
        transfer.target = target;
        transfer.incremental = false;
        transfer.buffer.clear();
        xcb_delete_property(c, window, transfer.property);
        xcb_convert_selection(c, window, transfer.selectionAtom, target, transfer.property, transfer.time);
        xcb_flush(c);
        transfer.timer.start();
    }

    Incoming* transferFor(const xcb_selection_notify_event_t& event) {
        if (event.requestor != window) return nullptr;
        const auto selection = selectionOf(event.selection);
        if (!selection) return nullptr;
        Incoming* transfer = incoming[size_t(index(*selection))].get();
        if (!transfer || transfer->target != event.target) return nullptr;
        return transfer;
    }

    QString nameOf(xcb_atom_t atom) {
        if (const auto found = atomNames.find(atom); found != atomNames.end()) return found->second;
        XcbReply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
        const QString name = reply ? QString::fromUtf8(xcb_get_atom_name_name(reply.get()),
                                                       xcb_get_atom_name_name_length(reply.get()))
                                   : QString();
        atomNames.emplace(atom, name);
        return name;
    }

    QStringList namesOf(const std::vector<xcb_atom_t>& atoms) {
        std::vector<std::pair<xcb_atom_t, xcb_get_atom_name_cookie_t>> asked;
        for (xcb_atom_t atom : atoms)
            if (atom != XCB_ATOM_NONE && !atomNames.count(atom)) asked.emplace_back(atom, xcb_get_atom_name(c, atom));
        for (const auto& [atom, cookie] : asked) {
            XcbReply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c, cookie, nullptr));
            atomNames.emplace(atom, reply ? QString::fromUtf8(xcb_get_atom_name_name(reply.get()),
                                                              xcb_get_atom_name_name_length(reply.get()))
                                          : QString());
        }
        QStringList names;
        for (xcb_atom_t atom : atoms) {
            const QString name = nameOf(atom);
            if (!name.isEmpty() && !names.contains(name)) names << name;
        }
        return names;
    }

    struct PropertyHead {
        xcb_atom_t type = XCB_ATOM_NONE;
        uint8_t format = 0;
        qint64 size = 0;
    };

    PropertyHead propertyHead(xcb_atom_t property) {
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
        if (!reply) return {};
        return {reply->type, reply->format, qint64(reply->bytes_after)};
    }

    // Reads (and deletes) the whole property, which the caller knows to be `size` bytes.
    QByteArray takeProperty(xcb_atom_t property, qint64 size) {
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, uint32_t((size + 3) / 4)),
            nullptr));
        if (!reply) return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    void selectionNotified(const xcb_selection_notify_event_t& event) {
        Incoming* transfer = transferFor(event);
        if (!transfer) return;
        if (transfer->stage == Incoming::Stage::targets) {
            transfer->timer.stop();
            if (event.property == XCB_ATOM_NONE) {
                log().debug("The clipboard owner lists no types");
                finish(*transfer, false);
                return;
            }
            const PropertyHead head = propertyHead(transfer->property);
            const QByteArray value = takeProperty(transfer->property, head.size);
            std::vector<xcb_atom_t> atoms(size_t(value.size()) / sizeof(xcb_atom_t));
            if (!atoms.empty()) std::memcpy(atoms.data(), value.constData(), atoms.size() * sizeof(xcb_atom_t));
            transfer->snapshot.types = namesOf(atoms);
            scheduleDrain();
            transfer->requests =
                handlers.choose ? handlers.choose(transfer->snapshot.types, transfer->selection) : decltype(transfer->requests){};
            if (transfer->requests.empty()) {
                finish(*transfer, false);
                return;
            }
            transfer->stage = Incoming::Stage::data;
            transfer->next = 0;
            requestNext(*transfer);
            return;
        }
        const ClipboardFetch& fetch = transfer->requests[transfer->next];
        if (event.property == XCB_ATOM_NONE) {
            transfer->snapshot.failed << fetch.type;
            advance(*transfer);
            return;
        }
        const PropertyHead head = propertyHead(transfer->property);
        if (head.type == atomIncr) {
            const QByteArray value = takeProperty(transfer->property, head.size);
            quint32 announced = 0;
            if (value.size() >= 4) std::memcpy(&announced, value.constData(), 4);
            if (qint64(announced) > fetch.maxBytes) {
                transfer->snapshot.oversized[fetch.type] = qint64(announced);
                advance(*transfer);
                return;
            }
            transfer->incremental = true;
            transfer->timer.start();
            scheduleDrain();
            return;
        }
        if (head.size > fetch.maxBytes) {
            transfer->snapshot.oversized[fetch.type] = head.size;
            xcb_delete_property(c, window, transfer->property);
            advance(*transfer);
            return;
        }
        transfer->snapshot.data[fetch.type] = takeProperty(transfer->property, head.size);
        advance(*transfer);
    }

    void propertyChanged(const xcb_property_notify_event_t& event) {
        if (event.window == window) {
            if (event.state != XCB_PROPERTY_NEW_VALUE) return;
            for (auto& transfer : incoming) {
                if (!transfer || !transfer->incremental || transfer->property != event.atom) continue;
                const ClipboardFetch& fetch = transfer->requests[transfer->next];
                const PropertyHead head = propertyHead(transfer->property);
                if (head.size == 0) {
                    xcb_delete_property(c, window, transfer->property);
                    transfer->snapshot.data[fetch.type] = transfer->buffer;
                    advance(*transfer);
                    return;
                }
                if (qint64(transfer->buffer.size()) + head.size > fetch.maxBytes) {
                    // Abandoned: the rest is never asked for.
                    transfer->snapshot.oversized[fetch.type] = qint64(transfer->buffer.size()) + head.size;
                    advance(*transfer);
                    return;
                }
                transfer->buffer += takeProperty(transfer->property, head.size);
                transfer->timer.start();
                scheduleDrain();
                return;
            }
            return;
        }
        if (event.state != XCB_PROPERTY_DELETE) return;
        for (size_t i = 0; i < outgoing.size(); ++i) {
            Outgoing& transfer = outgoing[i];
            if (transfer.requestor != event.window || transfer.property != event.atom) continue;
            if (transfer.lastSent) {
                outgoing.erase(outgoing.begin() + qsizetype(i));
                break;
            }
            const qsizetype length = std::min(kChunkBytes, transfer.data.size() - transfer.offset);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property, transfer.type, 8,
                                uint32_t(length), transfer.data.constData() + transfer.offset);
            transfer.offset += length;
            if (length == 0) transfer.lastSent = true;
            transfer.deadline = QDeadlineTimer(kOutgoingTimeoutMs);
            xcb_flush(c);
            break;
        }
        if (outgoing.empty()) outgoingTimer.stop();
    }

    void requestNext(Incoming& transfer) {
        const ClipboardFetch& fetch = transfer.requests[transfer.next];
        convert(transfer, x->atom(fetch.type.toUtf8().constData()));
    }

    void advance(Incoming& transfer) {
        transfer.timer.stop();
        transfer.incremental = false;
        transfer.buffer.clear();
        ++transfer.next;
        if (transfer.next >= transfer.requests.size()) {
            finish(transfer, true);
            return;
        }
        requestNext(transfer);
        scheduleDrain();
    }

    void timedOut(Incoming* transfer) {
        if (transfer->stage == Incoming::Stage::targets) {
            log().warning("The clipboard owner did not list its types in time; the change is skipped");
            finish(*transfer, false);
            return;
        }
        // An owner that stops answering will not answer the next type either.
        log().warning(QStringLiteral("The clipboard owner did not deliver '%1' in time")
                          .arg(transfer->requests[transfer->next].type));
        for (size_t i = transfer->next; i < transfer->requests.size(); ++i)
            transfer->snapshot.failed << transfer->requests[i].type;
        finish(*transfer, true);
    }

    void finish(Incoming& transfer, bool deliver) {
        transfer.timer.stop();
        std::unique_ptr<Incoming> done = std::move(incoming[size_t(index(transfer.selection))]);
        if (!done) return;
        if (deliver && handlers.changed) {
            QMetaObject::invokeMethod(
                context,
                [this, snapshot = done->snapshot] {
                    if (watching && handlers.changed) handlers.changed(snapshot);
                },
                Qt::QueuedConnection);
        }
        // Its timer's slot may be the caller: the transfer goes on the next turn.
        retired.push_back(std::move(done));
        QMetaObject::invokeMethod(context, [this] { retired.clear(); }, Qt::QueuedConnection);
    }

    std::vector<std::unique_ptr<Incoming>> retired;

    // MARK: Owning

    const QByteArray* dataFor(const Owned& mine, const QString& target, bool* latin1) const {
        *latin1 = false;
        for (const ClipboardFormat& format : mine.formats)
            if (format.type == target) return &format.data;
        if (textTargets().contains(target)) {
            for (const ClipboardFormat& format : mine.formats) {
                if (format.type == QLatin1String("text/plain") ||
                    format.type == QLatin1String("text/plain;charset=utf-8")) {
                    *latin1 = target == QLatin1String("STRING");
                    return &format.data;
                }
            }
        }
        return nullptr;
    }

    std::vector<xcb_atom_t> offeredTargets(const Owned& mine) const {
        std::vector<xcb_atom_t> atoms{atomTargets, atomTimestamp};
        bool text = false;
        for (const ClipboardFormat& format : mine.formats) {
            atoms.push_back(x->atom(format.type.toUtf8().constData()));
            if (format.type == QLatin1String("text/plain") || format.type == QLatin1String("text/plain;charset=utf-8"))
                text = true;
        }
        if (text)
            for (const QString& target : textTargets()) {
                const xcb_atom_t atom = x->atom(target.toUtf8().constData());
                if (std::find(atoms.begin(), atoms.end(), atom) == atoms.end()) atoms.push_back(atom);
            }
        return atoms;
    }

    void serve(const xcb_selection_request_event_t& request) {
        xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
        bool answered = false;
        const auto selection = selectionOf(request.selection);
        if (selection && request.owner == window) {
            const Owned& mine = owned[size_t(index(*selection))];
            if (mine.owned) {
                if (request.target == atomTargets) {
                    const std::vector<xcb_atom_t> atoms = offeredTargets(mine);
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                        uint32_t(atoms.size()), atoms.data());
                    answered = true;
                } else if (request.target == atomTimestamp) {
                    const uint32_t time = mine.time;
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32,
                                        1, &time);
                    answered = true;
                } else if (request.target != atomMultiple) {
                    bool latin1 = false;
                    if (const QByteArray* data = dataFor(mine, nameOf(request.target), &latin1)) {
                        const QByteArray bytes = latin1 ? QString::fromUtf8(*data).toLatin1() : *data;
                        answered = true;
                        if (bytes.size() > kIncrThreshold) {
                            startOutgoing(request.requestor, property, request.target, bytes);
                        } else {
                            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, request.target,
                                                8, uint32_t(bytes.size()), bytes.constData());
                        }
                    }
                }
            }
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = answered ? property : xcb_atom_t(XCB_ATOM_NONE);
        xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
        xcb_flush(c);
    }

    void startOutgoing(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, const QByteArray& data) {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, requestor, XCB_CW_EVENT_MASK, &mask);
        const uint32_t size = uint32_t(data.size());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, requestor, property, atomIncr, 32, 1, &size);
        Outgoing transfer;
        transfer.requestor = requestor;
        transfer.property = property;
        transfer.type = type;
        transfer.data = data;
        transfer.deadline = QDeadlineTimer(kOutgoingTimeoutMs);
        outgoing.push_back(std::move(transfer));
        if (!outgoingTimer.isActive()) outgoingTimer.start();
    }

    void dropStaleOutgoing() {
        std::erase_if(outgoing, [](const Outgoing& transfer) { return transfer.deadline.hasExpired(); });
        if (outgoing.empty()) outgoingTimer.stop();
    }
};

X11Clipboard::X11Clipboard(const QByteArray& display) : d(std::make_unique<Impl>()) {
    d->display = display;
    if (!d->connect()) log().warning(QStringLiteral("No X11 clipboard: ") + d->problem);
}

X11Clipboard::~X11Clipboard() = default;

bool X11Clipboard::isAvailable(QString* reason) const {
    if (d->c) return true;
    if (reason) *reason = QStringLiteral("The clipboard cannot be watched: ") + d->problem;
    return false;
}

void X11Clipboard::start(Handlers handlers) {
    if (!d->c) return;
    d->handlers = std::move(handlers);
    d->watching = true;
    for (Selection selection : {Selection::clipboard, Selection::primary})
        d->lastOwner[size_t(Impl::index(selection))] = d->currentOwner(d->selectionAtom(selection));
    d->selectEvents();
    if (!d->xfixes) {
        log().warning("The X server has no XFixes extension; the clipboard is polled once a second");
        d->poll.start();
    }
    d->scheduleDrain();
}

void X11Clipboard::stop() {
    d->watching = false;
    d->poll.stop();
    for (auto& transfer : d->incoming) transfer.reset();
    if (d->c) d->selectEvents();
}

bool X11Clipboard::isWatching() const {
    return d->watching;
}

void X11Clipboard::setWatchesPrimary(bool watches) {
    d->watchPrimary = watches;
    if (!d->c) return;
    d->lastOwner[1] = d->currentOwner(XCB_ATOM_PRIMARY);
    if (d->watching) d->selectEvents();
}

quint64 X11Clipboard::changeCount() const {
    return d->changes[0];
}

bool X11Clipboard::write(const std::vector<ClipboardFormat>& formats, Selection selection) {
    if (!d->c) return false;
    Impl::Owned& mine = d->owned[size_t(Impl::index(selection))];
    mine.formats = formats;
    mine.owned = true;
    mine.time = XCB_CURRENT_TIME;
    const xcb_atom_t atom = d->selectionAtom(selection);
    xcb_set_selection_owner(d->c, d->window, atom, XCB_CURRENT_TIME);
    const bool owns = d->currentOwner(atom) == d->window;
    if (!owns) {
        mine.owned = false;
        mine.formats.clear();
        log().error("Could not take the clipboard");
    }
    d->scheduleDrain();
    return owns;
}

bool X11Clipboard::ownsSelection(Selection selection) const {
    if (!d->c) return false;
    return d->owned[size_t(Impl::index(selection))].owned &&
           d->currentOwner(d->selectionAtom(selection)) == d->window;
}

bool X11Clipboard::usesSelectionEvents() const {
    return d->xfixes;
}

// MARK: - X11PasteInjector

struct X11PasteInjector::Impl {
    QByteArray display;
    std::shared_ptr<XcbConnection> x;
    QString problem;
    xcb_connection_t* c = nullptr;
    bool xtest = false;
    std::unique_ptr<XcbEventReader> reader;
    std::optional<ForeignApplication> last;

    struct Pending {
        ForeignApplication target;
        bool withShift = false;
        std::function<void(bool, const QString&)> done;
        QTimer timer;
    };
    std::unique_ptr<Pending> pending;

    bool connect() {
        std::unique_ptr<XcbConnection> opened = XcbConnection::open(display, &problem);
        if (!opened) return false;
        x = std::move(opened);
        c = x->get();
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_test_id);
        xtest = extension && extension->present;
        if (!xtest) problem = QStringLiteral("the X server has no XTEST extension");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, x->root(), XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
        reader = std::make_unique<XcbEventReader>(c, [this](const xcb_generic_event_t& event) { handle(event); });
        return true;
    }

    std::optional<xcb_window_t> activeWindow() const {
        const std::vector<uint32_t> active =
            x->property32(x->root(), x->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 1);
        if (active.empty() || active.front() == XCB_WINDOW_NONE) return std::nullopt;
        return active.front();
    }

    void remember() {
        if (auto application = activeForeignApplication(*x)) last = std::move(application);
    }

    void handle(const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.window != x->root() || notify.atom != x->atom("_NET_ACTIVE_WINDOW")) return;
        remember();
        if (pending && activeWindow() == xcb_window_t(pending->target.window)) press();
    }

    xcb_keycode_t keycodeOf(xcb_keysym_t keysym) const { return X11KeyPresses::keycodeOf(c, keysym); }

    void press() {
        if (!pending) return;
        std::unique_ptr<Pending> job = std::move(pending);
        job->timer.stop();
        const xcb_keycode_t control = keycodeOf(XK_Control_L);
        const xcb_keycode_t shift = keycodeOf(XK_Shift_L);
        const xcb_keycode_t v = keycodeOf(XK_v);
        if (!control || !v || (job->withShift && !shift)) {
            job->done(false, QStringLiteral("The keyboard has no key for the paste keys"));
            return;
        }
        if (job->withShift) {
            X11KeyPresses::chord(*x, {control, shift, v});
        } else {
            X11KeyPresses::chord(*x, {control, v});
        }
        x->sync();
        job->done(true, {});
    }
};

X11PasteInjector::X11PasteInjector(const QByteArray& display) : d(std::make_unique<Impl>()) {
    d->display = display;
    if (d->connect()) d->remember();
}

X11PasteInjector::~X11PasteInjector() = default;

bool X11PasteInjector::isAvailable(QString* reason) const {
    if (d->c && d->xtest) return true;
    if (reason) *reason = QStringLiteral("Cannot paste into other applications: ") + d->problem;
    return false;
}

std::optional<ForeignApplication> X11PasteInjector::lastForeignWindow() const {
    return d->last;
}

void X11PasteInjector::rememberActiveWindow() {
    if (d->c) d->remember();
}

ForeignApplication X11PasteInjector::describe(quintptr window) const {
    if (!d->c) return {};
    return describeWindow(*d->x, xcb_window_t(window));
}

void X11PasteInjector::paste(std::optional<ForeignApplication> target, bool withShift,
                             std::function<void(bool, const QString&)> done) {
    if (!isAvailable()) {
        QString reason;
        isAvailable(&reason);
        done(false, reason);
        return;
    }
    if (d->pending) d->pending->done(false, QStringLiteral("Another paste came first"));
    d->pending = std::make_unique<Impl::Pending>();
    d->pending->withShift = withShift;
    d->pending->done = std::move(done);
    if (!target || d->activeWindow() == xcb_window_t(target->window)) {
        d->press();
        return;
    }
    d->pending->target = *target;
    d->x->sendToRoot(xcb_window_t(target->window), d->x->atom("_NET_ACTIVE_WINDOW"),
                     {2, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0});
    d->x->flush();
    d->pending->timer.setSingleShot(true);
    QObject::connect(&d->pending->timer, &QTimer::timeout, d->reader->context(), [this] {
        if (!d->pending) return;
        // Some window managers activate without telling; the focus decides.
        if (d->activeWindow() == xcb_window_t(d->pending->target.window)) {
            d->press();
            return;
        }
        std::unique_ptr<Impl::Pending> job = std::move(d->pending);
        job->done(false, QStringLiteral("The window to paste into did not take the focus"));
    });
    d->pending->timer.start(1000);
    d->reader->drainSoon();
}

}  // namespace vantrel
