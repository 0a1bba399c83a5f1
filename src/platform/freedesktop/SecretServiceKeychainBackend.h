#pragma once

#include "data/Keychain.h"

#include <QString>

#include <mutex>

namespace vantrel {

// Generic-password items in the desktop's Secret Service (GNOME Keyring,
// KWallet) through libsecret's synchronous API. Items carry the schema
// "org.vantrel.GenericPassword" with the string attributes "service" and
// "account", live in the default collection, hold their data as a binary
// secret of type "application/octet-stream" and are labelled
// "Vantrel: <service> <account>".
//
// Calls block until the service answers; a locked collection may make the
// service ask the user to unlock it first.
class SecretServiceKeychainBackend : public KeychainBackend {
public:
    static constexpr const char* kSchemaName = "org.vantrel.GenericPassword";
    static constexpr const char* kContentType = "application/octet-stream";
    static constexpr int kDefaultProbeTimeoutMs = 5000;

    // True when a session bus exists and a Secret Service on it answers within
    // timeoutMs. Never starts a bus of its own and never waits longer than the
    // timeout; detail says why not. Without a bus, or with a bus where nothing
    // provides the service, the answer is immediate: the timeout only bounds a
    // service that is still starting (D-Bus activation) or not responding.
    static bool isAvailable(QString* detail = nullptr, int timeoutMs = kDefaultProbeTimeoutMs);

    static QString itemLabel(const QString& service, const QString& account);

    QString name() const override { return QStringLiteral("secret-service"); }
    Status read(const QString& service, const QString& account, QByteArray* data, QString* detail) override;
    Status create(const QString& service, const QString& account, const QByteArray& data, QString* detail) override;
    Status update(const QString& service, const QString& account, const QByteArray& data, QString* detail) override;
    Status remove(const QString& service, const QString& account, QString* detail) override;
    Status removeAll(const QString& service, QString* detail) override;

private:
    Status lookup(const QString& service, const QString& account, QByteArray* data, QString* detail);
    Status store(const QString& service, const QString& account, const QByteArray& data, QString* detail);

    // Makes create's check-then-store and update's lookup-then-store atomic
    // within this process.
    std::mutex m_mutex;
};

}  // namespace vantrel
