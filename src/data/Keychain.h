#pragma once

#include "kit/VantrelError.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace vantrel {

// Where generic-password items are kept: the Secret Service (platform layer) or
// a private file. Items are identified by service and account.
class KeychainBackend {
public:
    enum class Status { success, notFound, failure };

    virtual ~KeychainBackend() = default;
    // "secret-service" or "file"; shown by `vantrel doctor`.
    virtual QString name() const = 0;
    // On success fills data; detail explains a failure for the logs.
    virtual Status read(const QString& service, const QString& account, QByteArray* data, QString* detail) = 0;
    // create fails when the item exists; update fails (notFound) when it does not.
    virtual Status create(const QString& service, const QString& account, const QByteArray& data, QString* detail) = 0;
    virtual Status update(const QString& service, const QString& account, const QByteArray& data, QString* detail) = 0;
    virtual Status remove(const QString& service, const QString& account, QString* detail) = 0;
    virtual Status removeAll(const QString& service, QString* detail) = 0;
};

// Generic-password items of one service. Every operation is synchronous and
// throws VantrelError with a fixed message on failure.
class Keychain {
public:
    using Account = QString;

    static constexpr const char* kDefaultService = "vantrel";

    Keychain(QString service, std::shared_ptr<KeychainBackend> backend);

    const QString& service() const { return m_service; }
    const std::shared_ptr<KeychainBackend>& backend() const { return m_backend; }

    // "Cannot present data as a string." when the item is not UTF-8 text.
    QString readString(const Account& account) const;
    // The strict UTF-8 reading readString() applies, for bytes already fetched.
    static QString decodeString(const QByteArray& data);
    // Saving updates an existing item and creates a missing one.
    void saveString(const QString& value, const Account& account) const;
    // The item decoded as JSON; "Cannot decode a model from JSON.".
    QJsonDocument readObject(const Account& account) const;
    // Compact JSON; a null document is refused ("Cannot encode a model as JSON.").
    void saveObject(const QJsonDocument& object, const Account& account) const;

    // "Cannot find an item in the Keychain." when absent, "Cannot read an item
    // from the Keychain." on other errors, "Cannot parse data from the Keychain."
    // when the item holds no data.
    QByteArray readItem(const Account& account) const;
    void createItem(const QByteArray& data, const Account& account) const;
    void updateItem(const QByteArray& data, const Account& account) const;
    void saveItem(const QByteArray& data, const Account& account) const;
    // Deleting an item that does not exist succeeds: there is nothing to delete.
    void deleteItem(const Account& account) const;
    // Every item of this service (none is a success); other services are untouched.
    void deleteAllItems() const;

    // Key-value use: strings and byte arrays only ("Unsupported value type").
    void storeValue(const QVariant& value, const QString& key) const;
    // nullopt when there is no such item; throws on any other failure. An item
    // stored empty comes back as an empty array.
    std::optional<QByteArray> fetchValue(const QString& key) const;

private:
    QString m_service;
    std::shared_ptr<KeychainBackend> m_backend;
};

}  // namespace vantrel
