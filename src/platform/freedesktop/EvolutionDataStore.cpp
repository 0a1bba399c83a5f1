#include "platform/freedesktop/EvolutionDataStore.h"

#include "kit/VantrelError.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QRegularExpression>
#include <QSet>
#include <QVariantMap>

// GLib's headers use `signals` as an identifier, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>
#pragma pop_macro("signals")

namespace vantrel {

namespace {

constexpr const char* kSourcesService = "org.gnome.evolution.dataserver.Sources5";
// Connecting does not wait for the backend to say it is online ((guint32) -1;
// 0 would wait for ever): what it has, cached or local, is read at once.
constexpr guint32 kConnectSeconds = guint32(-1);

QString takeError(GError* error) {
    if (!error) return QStringLiteral("unknown error");
    const QString text = QString::fromUtf8(error->message);
    g_error_free(error);
    return text;
}

[[noreturn]] void fail(const QString& what, GError* error) {
    throw VantrelError(QStringLiteral("%1: %2").arg(what, takeError(error)));
}

QByteArray takeString(gchar* text) {
    QByteArray bytes(text ? text : "");
    g_free(text);
    return bytes;
}

const char* extensionOf(PersonalDataStore::Kind kind) {
    switch (kind) {
        case PersonalDataStore::Kind::events:
            return E_SOURCE_EXTENSION_CALENDAR;
        case PersonalDataStore::Kind::tasks:
            return E_SOURCE_EXTENSION_TASK_LIST;
        case PersonalDataStore::Kind::contacts:
            return E_SOURCE_EXTENSION_ADDRESS_BOOK;
    }
    return E_SOURCE_EXTENSION_CALENDAR;
}

template <typename T>
struct GObjectRef {
    T* object = nullptr;
    GObjectRef() = default;
    explicit GObjectRef(T* taken) : object(taken) {}
    GObjectRef(const GObjectRef&) = delete;
    GObjectRef& operator=(const GObjectRef&) = delete;
    ~GObjectRef() {
        if (object) g_object_unref(object);
    }
    T* get() const { return object; }
    explicit operator bool() const { return object != nullptr; }
};

}  // namespace

struct EvolutionDataStore::State {
    GMainContext* context = nullptr;
    ESourceRegistry* registry = nullptr;

    ~State() {
        if (registry) g_object_unref(registry);
        if (context) g_main_context_unref(context);
    }

    // Lets the registry take in what the service announced since the last call.
    void drain() {
        if (!context) return;
        g_main_context_push_thread_default(context);
        while (g_main_context_iteration(context, FALSE)) {
        }
        g_main_context_pop_thread_default(context);
    }

    ESourceRegistry* ensureRegistry(bool fresh = false) {
        if (registry && !fresh) {
            drain();
            return registry;
        }
        if (registry) g_object_unref(registry);
        registry = nullptr;
        if (!context) context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GError* error = nullptr;
        registry = e_source_registry_new_sync(nullptr, &error);
        g_main_context_pop_thread_default(context);
        if (!registry) fail(QStringLiteral("Evolution Data Server did not answer"), error);
        return registry;
    }

    ESource* source(const QString& uid) {
        ESource* found = e_source_registry_ref_source(ensureRegistry(), uid.toUtf8().constData());
        if (!found) found = e_source_registry_ref_source(ensureRegistry(true), uid.toUtf8().constData());
        if (!found) throw VantrelError(QStringLiteral("Evolution Data Server has no collection '%1'.").arg(uid));
        return found;
    }

    EClient* calendarClient(const QString& uid, ECalClientSourceType type) {
        GObjectRef<ESource> found(source(uid));
        GError* error = nullptr;
        EClient* client = e_cal_client_connect_sync(found.get(), type, kConnectSeconds, nullptr, &error);
        if (!client)
            fail(QStringLiteral("Could not open the calendar '%1'")
                     .arg(QString::fromUtf8(e_source_get_display_name(found.get()))),
                 error);
        return client;
    }

    EClient* bookClient(const QString& uid) {
        GObjectRef<ESource> found(source(uid));
        GError* error = nullptr;
        EClient* client = e_book_client_connect_sync(found.get(), kConnectSeconds, nullptr, &error);
        if (!client)
            fail(QStringLiteral("Could not open the address book '%1'")
                     .arg(QString::fromUtf8(e_source_get_display_name(found.get()))),
                 error);
        return client;
    }
};

EvolutionDataStore::EvolutionDataStore() : m_state(std::make_unique<State>()) {}

EvolutionDataStore::~EvolutionDataStore() = default;

std::shared_ptr<EvolutionDataStore> EvolutionDataStore::shared() {
    static const std::shared_ptr<EvolutionDataStore> store = std::make_shared<EvolutionDataStore>();
    return store;
}

QString EvolutionDataStore::problem() {
    std::lock_guard lock(m_mutex);
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return QStringLiteral(
            "Evolution Data Server cannot be reached: there is no D-Bus session bus. Only the calendar and contact "
            "files you added are read.");
    }
    bool present = false;
    for (const char* method : {"NameHasOwner", "ListActivatableNames"}) {
        const bool hasOwner = std::string_view(method) == "NameHasOwner";
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
            hasOwner ? g_variant_new("(s)", kSourcesService) : nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 3000,
            nullptr, nullptr);
        if (!reply) continue;
        if (hasOwner) {
            gboolean owned = FALSE;
            g_variant_get(reply, "(b)", &owned);
            present = owned;
        } else {
            GVariantIter* names = nullptr;
            g_variant_get(reply, "(as)", &names);
            const gchar* name = nullptr;
            while (g_variant_iter_next(names, "&s", &name))
                if (std::string_view(name) == kSourcesService) present = true;
            g_variant_iter_free(names);
        }
        g_variant_unref(reply);
        if (present) break;
    }
    g_object_unref(bus);
    if (!present)
        return QStringLiteral(
            "Evolution Data Server is not running here (install evolution-data-server, which GNOME uses for its "
            "calendars and online accounts, to see them). Only the calendar and contact files you added are read.");
    try {
        m_state->ensureRegistry();
    } catch (const std::exception& failure) {
        return VantrelError::describe(failure) + QLatin1Char('.');
    }
    return {};
}

std::vector<PersonalDataStore::Collection> EvolutionDataStore::collections(Kind kind) {
    std::lock_guard lock(m_mutex);
    ESourceRegistry* registry = m_state->ensureRegistry();
    GObjectRef<ESource> fallback(kind == Kind::events    ? e_source_registry_ref_default_calendar(registry)
                                 : kind == Kind::tasks ? e_source_registry_ref_default_task_list(registry)
                                                       : e_source_registry_ref_default_address_book(registry));
    const QString defaultUid = fallback ? QString::fromUtf8(e_source_get_uid(fallback.get())) : QString();
    std::vector<Collection> found;
    GList* sources = e_source_registry_list_enabled(registry, extensionOf(kind));
    for (GList* at = sources; at; at = at->next) {
        auto* source = E_SOURCE(at->data);
        Collection collection;
        collection.uid = QString::fromUtf8(e_source_get_uid(source));
        collection.name = QString::fromUtf8(e_source_get_display_name(source));
        collection.kind = kind;
        collection.writable = e_source_get_writable(source) || e_source_get_remote_creatable(source);
        collection.isDefault = collection.uid == defaultUid;
        // The local backends are always writable; remote ones say so once opened.
        if (collection.isDefault)
            found.insert(found.begin(), collection);
        else
            found.push_back(collection);
    }
    g_list_free_full(sources, g_object_unref);
    return found;
}

QByteArray EvolutionDataStore::events(const QString& collectionUid, const QDateTime& from, const QDateTime& to) {
    std::lock_guard lock(m_mutex);
    GObjectRef<EClient> client(m_state->calendarClient(collectionUid, E_CAL_CLIENT_SOURCE_TYPE_EVENTS));
    const QString format = QStringLiteral("yyyyMMdd'T'HHmmss'Z'");
    const QByteArray sexp = QStringLiteral("(occur-in-time-range? (make-time \"%1\") (make-time \"%2\"))")
                                .arg(from.toUTC().toString(format), to.toUTC().toString(format))
                                .toUtf8();
    GSList* components = nullptr;
    GError* error = nullptr;
    if (!e_cal_client_get_object_list_sync(E_CAL_CLIENT(client.get()), sexp.constData(), &components, nullptr, &error))
        fail(QStringLiteral("Could not read the events of a calendar"), error);
    QByteArray body;
    QSet<QString> zones;
    static const QRegularExpression tzid(QStringLiteral(";TZID=\"?([^\";:]+)\"?[;:]"));
    for (GSList* at = components; at; at = at->next) {
        const QByteArray text = takeString(i_cal_component_as_ical_string(I_CAL_COMPONENT(at->data)));
        for (auto match = tzid.globalMatch(QString::fromUtf8(text)); match.hasNext();) zones.insert(match.next().captured(1));
        body += text;
    }
    g_slist_free_full(components, g_object_unref);
    QByteArray calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Vantrel//EDS export//EN\r\n";
    for (const QString& zoneId : zones) {
        ICalTimezone* zone = nullptr;
        GError* zoneError = nullptr;
        if (!e_cal_client_get_timezone_sync(E_CAL_CLIENT(client.get()), zoneId.toUtf8().constData(), &zone, nullptr,
                                            &zoneError) ||
            !zone) {
            g_clear_error(&zoneError);
            continue;  // a zone the reader finds in its own database, or treats as local time
        }
        GObjectRef<ICalComponent> component(i_cal_timezone_get_component(zone));
        if (component) calendar += takeString(i_cal_component_as_ical_string(component.get()));
    }
    calendar += body;
    calendar += "END:VCALENDAR\r\n";
    return calendar;
}

QByteArray EvolutionDataStore::tasks(const QString& collectionUid) {
    std::lock_guard lock(m_mutex);
    GObjectRef<EClient> client(m_state->calendarClient(collectionUid, E_CAL_CLIENT_SOURCE_TYPE_TASKS));
    GSList* components = nullptr;
    GError* error = nullptr;
    if (!e_cal_client_get_object_list_sync(E_CAL_CLIENT(client.get()), "#t", &components, nullptr, &error))
        fail(QStringLiteral("Could not read the tasks of a task list"), error);
    QByteArray calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Vantrel//EDS export//EN\r\n";
    for (GSList* at = components; at; at = at->next)
        calendar += takeString(i_cal_component_as_ical_string(I_CAL_COMPONENT(at->data)));
    g_slist_free_full(components, g_object_unref);
    calendar += "END:VCALENDAR\r\n";
    return calendar;
}

void EvolutionDataStore::saveComponent(const QString& collectionUid, const QByteArray& component) {
    std::lock_guard lock(m_mutex);
    GObjectRef<ICalComponent> parsed(i_cal_component_new_from_string(component.constData()));
    if (!parsed) throw VantrelError(QStringLiteral("The item to save is not iCalendar text."));
    const bool isTask = i_cal_component_isa(parsed.get()) == I_CAL_VTODO_COMPONENT;
    GObjectRef<EClient> client(m_state->calendarClient(
        collectionUid, isTask ? E_CAL_CLIENT_SOURCE_TYPE_TASKS : E_CAL_CLIENT_SOURCE_TYPE_EVENTS));
    auto* calendar = E_CAL_CLIENT(client.get());
    const gchar* uid = i_cal_component_get_uid(parsed.get());
    ICalComponent* existing = nullptr;
    GError* error = nullptr;
    const bool exists = uid && e_cal_client_get_object_sync(calendar, uid, nullptr, &existing, nullptr, &error);
    g_clear_error(&error);
    if (existing) g_object_unref(existing);
    bool saved = false;
    if (exists) {
        saved = e_cal_client_modify_object_sync(calendar, parsed.get(), E_CAL_OBJ_MOD_ALL, E_CAL_OPERATION_FLAG_NONE,
                                                nullptr, &error);
    } else {
        gchar* newUid = nullptr;
        saved = e_cal_client_create_object_sync(calendar, parsed.get(), E_CAL_OPERATION_FLAG_NONE, &newUid, nullptr,
                                                &error);
        g_free(newUid);
    }
    if (!saved) fail(QStringLiteral("Evolution Data Server did not save the item"), error);
}

QList<QByteArray> EvolutionDataStore::contacts(const QString& collectionUid, const QString& query) {
    std::lock_guard lock(m_mutex);
    GObjectRef<EClient> client(m_state->bookClient(collectionUid));
    EBookQuery* bookQuery = e_book_query_any_field_contains(query.toUtf8().constData());
    gchar* sexp = e_book_query_to_string(bookQuery);
    e_book_query_unref(bookQuery);
    GSList* found = nullptr;
    GError* error = nullptr;
    const bool read = e_book_client_get_contacts_sync(E_BOOK_CLIENT(client.get()), sexp, &found, nullptr, &error);
    g_free(sexp);
    if (!read) fail(QStringLiteral("Could not read the contacts of an address book"), error);
    QList<QByteArray> cards;
    for (GSList* at = found; at; at = at->next)
        cards.append(takeString(e_vcard_to_string(E_VCARD(at->data), EVC_FORMAT_VCARD_30)));
    g_slist_free_full(found, g_object_unref);
    return cards;
}

QString EvolutionDataStore::createCollection(Kind kind, const QString& name) {
    std::lock_guard lock(m_mutex);
    ESourceRegistry* registry = m_state->ensureRegistry();
    GError* error = nullptr;
    GObjectRef<ESource> source(e_source_new(nullptr, nullptr, &error));
    if (!source) fail(QStringLiteral("Could not make a new collection"), error);
    e_source_set_parent(source.get(), "local-stub");
    e_source_set_display_name(source.get(), name.toUtf8().constData());
    auto* backend = E_SOURCE_BACKEND(e_source_get_extension(source.get(), extensionOf(kind)));
    e_source_backend_set_backend_name(backend, "local");
    if (!e_source_registry_commit_source_sync(registry, source.get(), nullptr, &error))
        fail(QStringLiteral("Evolution Data Server did not add the collection"), error);
    return QString::fromUtf8(e_source_get_uid(source.get()));
}

void EvolutionDataStore::saveContact(const QString& collectionUid, const QByteArray& vcard) {
    std::lock_guard lock(m_mutex);
    GObjectRef<EClient> client(m_state->bookClient(collectionUid));
    GObjectRef<EContact> contact(e_contact_new_from_vcard(vcard.constData()));
    if (!contact) throw VantrelError(QStringLiteral("The contact to save is not a vCard."));
    gchar* uid = nullptr;
    GError* error = nullptr;
    if (!e_book_client_add_contact_sync(E_BOOK_CLIENT(client.get()), contact.get(), E_BOOK_OPERATION_FLAG_NONE, &uid,
                                        nullptr, &error))
        fail(QStringLiteral("Evolution Data Server did not save the contact"), error);
    g_free(uid);
}

bool showDesktopNotification(const QString& summary, const QString& body, QString* problem) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (problem) *problem = QStringLiteral("There is no D-Bus session bus to show notifications on.");
        return false;
    }
    QDBusInterface notifications(QStringLiteral("org.freedesktop.Notifications"),
                                 QStringLiteral("/org/freedesktop/Notifications"),
                                 QStringLiteral("org.freedesktop.Notifications"), bus);
    notifications.setTimeout(5000);
    const QDBusReply<uint> reply = notifications.call(
        QStringLiteral("Notify"), QStringLiteral("Vantrel"), uint(0), QStringLiteral("vantrel"), summary, body,
        QStringList(), QVariantMap(), int(-1));
    if (!reply.isValid()) {
        if (problem)
            *problem = QStringLiteral("The desktop shows no notifications (no org.freedesktop.Notifications server): ") +
                       reply.error().message();
        return false;
    }
    return true;
}

}  // namespace vantrel
