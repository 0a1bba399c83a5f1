#include "platform/freedesktop/SecretServiceKeychainBackend.h"

#include "kit/Logger.h"

#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// GLib's headers use `signals` as an identifier, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("Keychain"), QStringLiteral("🔑")});
    return instance;
}

const SecretSchema* schema() {
    static const SecretSchema instance = {
        SecretServiceKeychainBackend::kSchemaName,
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
    };
    return &instance;
}

void setDetail(QString* detail, const QString& text) {
    if (detail) *detail = text;
}

// Takes the message out of a GError and frees it.
QString takeError(GError*& error, const char* fallback) {
    if (!error) return QString::fromUtf8(fallback);
    QString message = QString::fromUtf8(error->message);
    g_clear_error(&error);
    return message;
}

// The lookup attributes of one item, or of every item of a service when the
// account is null. The table borrows the UTF-8 buffers held here.
class Attributes {
public:
    explicit Attributes(const QString& service, const QString* account = nullptr)
        : m_service(service.toUtf8()), m_table(g_hash_table_new(g_str_hash, g_str_equal)) {
        g_hash_table_insert(m_table, const_cast<char*>("service"), m_service.data());
        if (account) {
            m_account = account->toUtf8();
            g_hash_table_insert(m_table, const_cast<char*>("account"), m_account.data());
        }
    }
    ~Attributes() { g_hash_table_unref(m_table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    GHashTable* table() const { return m_table; }

private:
    QByteArray m_service;
    QByteArray m_account;
    GHashTable* m_table;
};

// Cancels a GCancellable when a deadline passes, unless disarmed first.
class Watchdog {
public:
    Watchdog(GCancellable* cancellable, int timeoutMs)
        : m_thread([this, cancellable, timeoutMs] {
              std::unique_lock lock(m_mutex);
              if (!m_condition.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_condition.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_done = false;
    std::thread m_thread;  // last: starts once the members above exist
};

// Whether a session bus can be found without GLib falling back to launching
// one of its own (dbus-launch autolaunch), which could spawn a stray bus.
bool sessionBusAddressKnown(QString* detail) {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus"))) return true;
    setDetail(detail,
              QStringLiteral(
                  "no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is unset and there is no $XDG_RUNTIME_DIR/bus)"));
    return false;
}

// GLib's shared session connection, which libsecret uses too, ends the process
// when the bus goes away; a launcher should not. The first connection is kept
// for the life of the process so that the setting sticks and libsecret does
// not have to connect again.
void keepSessionBus(GDBusConnection* bus) {
    static std::once_flag once;
    std::call_once(once, [bus] {
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        g_object_ref(bus);  // intentionally never released
    });
}

}  // namespace

QString SecretServiceKeychainBackend::itemLabel(const QString& service, const QString& account) {
    return QStringLiteral("Vantrel: %1 %2").arg(service, account);
}

bool SecretServiceKeychainBackend::isAvailable(QString* detail, int timeoutMs) {
    if (!sessionBusAddressKnown(detail)) return false;

    GCancellable* cancellable = g_cancellable_new();
    bool available = false;
    {
        Watchdog watchdog(cancellable, timeoutMs);
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable, &error);
        if (!bus) {
            setDetail(
                detail,
                QStringLiteral("cannot connect to the D-Bus session bus: %1").arg(takeError(error, "unknown error")));
        } else {
            keepSessionBus(bus);
            // Reading the service's collections proves a Secret Service answers,
            // not merely that some process owns the name.
            GVariant* reply = g_dbus_connection_call_sync(
                bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.DBus.Properties", "Get",
                g_variant_new("(ss)", "org.freedesktop.Secret.Service", "Collections"), G_VARIANT_TYPE("(v)"),
                G_DBUS_CALL_FLAGS_NONE, timeoutMs, cancellable, &error);
            if (reply) {
                g_variant_unref(reply);
                available = true;
            } else {
                setDetail(
                    detail,
                    QStringLiteral("the Secret Service did not answer: %1").arg(takeError(error, "unknown error")));
            }
            g_object_unref(bus);
        }
    }
    g_object_unref(cancellable);
    return available;
}

// MARK: - Operations

KeychainBackend::Status SecretServiceKeychainBackend::read(const QString& service, const QString& account,
                                                           QByteArray* data, QString* detail) {
    std::lock_guard guard(m_mutex);
    return lookup(service, account, data, detail);
}

KeychainBackend::Status SecretServiceKeychainBackend::create(const QString& service, const QString& account,
                                                             const QByteArray& data, QString* detail) {
    std::lock_guard guard(m_mutex);
    // Storing replaces an item with the same attributes, so existence is checked first.
    switch (lookup(service, account, nullptr, detail)) {
        case Status::success:
            setDetail(detail, QStringLiteral("an item for this service and account already exists"));
            return Status::failure;
        case Status::failure:
            return Status::failure;
        case Status::notFound:
            break;
    }
    return store(service, account, data, detail);
}

KeychainBackend::Status SecretServiceKeychainBackend::update(const QString& service, const QString& account,
                                                             const QByteArray& data, QString* detail) {
    std::lock_guard guard(m_mutex);
    switch (lookup(service, account, nullptr, detail)) {
        case Status::notFound:
            setDetail(detail, QStringLiteral("no item for this service and account"));
            return Status::notFound;
        case Status::failure:
            return Status::failure;
        case Status::success:
            break;
    }
    return store(service, account, data, detail);
}

KeychainBackend::Status SecretServiceKeychainBackend::remove(const QString& service, const QString& account,
                                                             QString* detail) {
    std::lock_guard guard(m_mutex);
    Attributes attributes(service, &account);
    GError* error = nullptr;
    const gboolean removed = secret_password_clearv_sync(schema(), attributes.table(), nullptr, &error);
    if (error) {
        setDetail(detail, takeError(error, "cannot delete the item"));
        return Status::failure;
    }
    if (!removed) {
        setDetail(detail, QStringLiteral("no item for this service and account"));
        return Status::notFound;
    }
    return Status::success;
}

KeychainBackend::Status SecretServiceKeychainBackend::removeAll(const QString& service, QString* detail) {
    std::lock_guard guard(m_mutex);
    Attributes attributes(service);
    GError* error = nullptr;
    // Clears every unlocked item matching the attributes; none matching is fine.
    secret_password_clearv_sync(schema(), attributes.table(), nullptr, &error);
    if (error) {
        setDetail(detail, takeError(error, "cannot delete the items"));
        return Status::failure;
    }
    return Status::success;
}

// MARK: - libsecret

KeychainBackend::Status SecretServiceKeychainBackend::lookup(const QString& service, const QString& account,
                                                             QByteArray* data, QString* detail) {
    Attributes attributes(service, &account);
    GError* error = nullptr;
    SecretValue* value = secret_password_lookupv_binary_sync(schema(), attributes.table(), nullptr, &error);
    if (error) {
        if (value) secret_value_unref(value);
        setDetail(detail, takeError(error, "cannot read the item"));
        return Status::failure;
    }
    if (!value) {
        setDetail(detail, QStringLiteral("no item for this service and account"));
        return Status::notFound;
    }
    if (data) {
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        *data = QByteArray(bytes, static_cast<qsizetype>(length));
    }
    secret_value_unref(value);
    return Status::success;
}

KeychainBackend::Status SecretServiceKeychainBackend::store(const QString& service, const QString& account,
                                                            const QByteArray& data, QString* detail) {
    Attributes attributes(service, &account);
    const QByteArray label = itemLabel(service, account).toUtf8();
    SecretValue* value = secret_value_new(data.constData(), static_cast<gssize>(data.size()), kContentType);
    GError* error = nullptr;
    const gboolean stored = secret_password_storev_binary_sync(schema(), attributes.table(), SECRET_COLLECTION_DEFAULT,
                                                               label.constData(), value, nullptr, &error);
    secret_value_unref(value);
    if (!stored || error) {
        const QString message = takeError(error, "cannot store the item");
        logger().debug("Secret Service refused an item", {{QStringLiteral("service"), service},
                                                          {QStringLiteral("account"), account},
                                                          {QStringLiteral("detail"), message}});
        setDetail(detail, message);
        return Status::failure;
    }
    return Status::success;
}

}  // namespace vantrel
