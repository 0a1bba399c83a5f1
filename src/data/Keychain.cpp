#include "data/Keychain.h"

#include "kit/Logger.h"

#include <QMetaType>
#include <QStringDecoder>
#include <QStringEncoder>

#include <utility>

namespace vantrel {

namespace {

constexpr const char* kCannotPresentDataAsString = "Cannot present data as a string.";
constexpr const char* kCannotPresentStringAsData = "Cannot present a string as data.";
constexpr const char* kCannotDecodeJSON = "Cannot decode a model from JSON.";
constexpr const char* kCannotEncodeJSON = "Cannot encode a model as JSON.";
constexpr const char* kCannotFindItem = "Cannot find an item in the Keychain.";
constexpr const char* kCannotReadItem = "Cannot read an item from the Keychain.";
constexpr const char* kCannotParseData = "Cannot parse data from the Keychain.";
constexpr const char* kCannotCreateItem = "Cannot create a new item in the Keychain.";
constexpr const char* kCannotUpdateItem = "Cannot update an item in the Keychain.";
constexpr const char* kCannotDeleteItem = "Cannot delete an item from the Keychain.";
constexpr const char* kCannotDeleteAllItems = "Cannot delete all Vantrel items from the Keychain.";
constexpr const char* kUnsupportedValueType = "Unsupported value type";

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("Keychain"), QStringLiteral("🔑")});
    return instance;
}

QString describeStatus(KeychainBackend::Status status) {
    switch (status) {
        case KeychainBackend::Status::success:
            return QStringLiteral("success");
        case KeychainBackend::Status::notFound:
            return QStringLiteral("not found");
        case KeychainBackend::Status::failure:
            return QStringLiteral("failure");
    }
    return QStringLiteral("unknown");
}

// Strict UTF-8: any invalid or truncated sequence is an error, and a leading
// byte-order mark is kept as a character rather than silently dropped, so the
// text maps back to exactly the stored bytes.
constexpr QStringConverter::Flags kStrictFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

}  // namespace

Keychain::Keychain(QString service, std::shared_ptr<KeychainBackend> backend)
    : m_service(std::move(service)), m_backend(std::move(backend)) {
    if (!m_backend) throw VantrelError(QStringLiteral("A keychain needs a backend"));
}

// MARK: - Strings and JSON

QString Keychain::decodeString(const QByteArray& data) {
    QStringDecoder decoder(QStringDecoder::Utf8, kStrictFlags);
    QString text = decoder.decode(data);
    if (decoder.hasError()) throw VantrelError(QString::fromUtf8(kCannotPresentDataAsString));
    return text;
}

QString Keychain::readString(const Account& account) const {
    const QByteArray data = readItem(account);
    try {
        return decodeString(data);
    } catch (const VantrelError&) {
        logger().error(kCannotPresentDataAsString, {{QStringLiteral("service"), m_service},
                                                    {QStringLiteral("account"), account},
                                                    {QStringLiteral("bytes"), QString::number(data.size())}});
        throw;
    }
}

void Keychain::saveString(const QString& value, const Account& account) const {
    QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    const QByteArray data = encoder.encode(value);
    if (encoder.hasError()) {
        logger().error(kCannotPresentStringAsData,
                       {{QStringLiteral("service"), m_service}, {QStringLiteral("account"), account}});
        throw VantrelError(QString::fromUtf8(kCannotPresentStringAsData));
    }
    saveItem(data, account);
}

QJsonDocument Keychain::readObject(const Account& account) const {
    const QByteArray data = readItem(account);
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || document.isNull()) {
        logger().error(kCannotDecodeJSON, {{QStringLiteral("service"), m_service},
                                           {QStringLiteral("account"), account},
                                           {QStringLiteral("detail"), parseError.errorString()},
                                           {QStringLiteral("offset"), QString::number(parseError.offset)}});
        throw VantrelError(QString::fromUtf8(kCannotDecodeJSON));
    }
    return document;
}

void Keychain::saveObject(const QJsonDocument& object, const Account& account) const {
    if (object.isNull()) {
        logger().error(kCannotEncodeJSON,
                       {{QStringLiteral("service"), m_service}, {QStringLiteral("account"), account}});
        throw VantrelError(QString::fromUtf8(kCannotEncodeJSON));
    }
    saveItem(object.toJson(QJsonDocument::Compact), account);
}

// MARK: - Items

QByteArray Keychain::readItem(const Account& account) const {
    QByteArray data;
    QString detail;
    const auto status = m_backend->read(m_service, account, &data, &detail);
    switch (status) {
        case KeychainBackend::Status::notFound:
            // Absence is an ordinary answer (a user who never signed in), not worth an error line.
            logger().debug(kCannotFindItem,
                           {{QStringLiteral("service"), m_service}, {QStringLiteral("account"), account}});
            throw VantrelError(QString::fromUtf8(kCannotFindItem));
        case KeychainBackend::Status::failure:
            logger().error(kCannotReadItem, {{QStringLiteral("service"), m_service},
                                             {QStringLiteral("account"), account},
                                             {QStringLiteral("backend"), m_backend->name()},
                                             {QStringLiteral("detail"), detail}});
            throw VantrelError(QString::fromUtf8(kCannotReadItem));
        case KeychainBackend::Status::success:
            break;
    }
    if (data.isEmpty()) {
        logger().error(kCannotParseData,
                       {{QStringLiteral("service"), m_service}, {QStringLiteral("account"), account}});
        throw VantrelError(QString::fromUtf8(kCannotParseData));
    }
    return data;
}

void Keychain::createItem(const QByteArray& data, const Account& account) const {
    QString detail;
    const auto status = m_backend->create(m_service, account, data, &detail);
    if (status == KeychainBackend::Status::success) return;
    logger().error(kCannotCreateItem, {{QStringLiteral("service"), m_service},
                                       {QStringLiteral("account"), account},
                                       {QStringLiteral("backend"), m_backend->name()},
                                       {QStringLiteral("status"), describeStatus(status)},
                                       {QStringLiteral("detail"), detail}});
    throw VantrelError(QString::fromUtf8(kCannotCreateItem));
}

void Keychain::updateItem(const QByteArray& data, const Account& account) const {
    QString detail;
    const auto status = m_backend->update(m_service, account, data, &detail);
    if (status == KeychainBackend::Status::success) return;
    logger().error(kCannotUpdateItem, {{QStringLiteral("service"), m_service},
                                       {QStringLiteral("account"), account},
                                       {QStringLiteral("backend"), m_backend->name()},
                                       {QStringLiteral("status"), describeStatus(status)},
                                       {QStringLiteral("detail"), detail}});
    throw VantrelError(QString::fromUtf8(kCannotUpdateItem));
}

void Keychain::saveItem(const QByteArray& data, const Account& account) const {
    QString detail;
    auto status = m_backend->update(m_service, account, data, &detail);
    if (status == KeychainBackend::Status::success) return;
    if (status == KeychainBackend::Status::failure) {
        logger().error(kCannotUpdateItem, {{QStringLiteral("service"), m_service},
                                           {QStringLiteral("account"), account},
                                           {QStringLiteral("backend"), m_backend->name()},
                                           {QStringLiteral("detail"), detail}});
        throw VantrelError(QString::fromUtf8(kCannotUpdateItem));
    }

    detail.clear();
    status = m_backend->create(m_service, account, data, &detail);
    if (status == KeychainBackend::Status::success) return;

    // Another writer may have created the item between our update and create;
    // the item now exists, so one more update settles it.
    QString retryDetail;
    if (m_backend->update(m_service, account, data, &retryDetail) == KeychainBackend::Status::success) return;
    logger().error(kCannotCreateItem, {{QStringLiteral("service"), m_service},
                                       {QStringLiteral("account"), account},
                                       {QStringLiteral("backend"), m_backend->name()},
                                       {QStringLiteral("detail"), detail},
                                       {QStringLiteral("retry"), retryDetail}});
    throw VantrelError(QString::fromUtf8(kCannotCreateItem));
}

// Deleting an item that is not there succeeds: the caller wants it gone and it
// is gone (sign-out after a failed sign-in, say).
void Keychain::deleteItem(const Account& account) const {
    QString detail;
    const auto status = m_backend->remove(m_service, account, &detail);
    if (status == KeychainBackend::Status::success) return;
    if (status == KeychainBackend::Status::notFound) {
        logger().debug("No item to delete",
                       {{QStringLiteral("service"), m_service}, {QStringLiteral("account"), account}});
        return;
    }
    logger().error(kCannotDeleteItem, {{QStringLiteral("service"), m_service},
                                       {QStringLiteral("account"), account},
                                       {QStringLiteral("backend"), m_backend->name()},
                                       {QStringLiteral("detail"), detail}});
    throw VantrelError(QString::fromUtf8(kCannotDeleteItem));
}

// Every item of this keychain's service; other services are untouched. A
// service without items has nothing to delete, which is a success.
void Keychain::deleteAllItems() const {
    QString detail;
    const auto status = m_backend->removeAll(m_service, &detail);
    if (status != KeychainBackend::Status::failure) return;
    logger().error(kCannotDeleteAllItems, {{QStringLiteral("service"), m_service},
                                           {QStringLiteral("backend"), m_backend->name()},
                                           {QStringLiteral("detail"), detail}});
    throw VantrelError(QString::fromUtf8(kCannotDeleteAllItems));
}

// MARK: - Key-value storage

void Keychain::storeValue(const QVariant& value, const QString& key) const {
    switch (value.metaType().id()) {
        case QMetaType::QString:
            saveString(value.toString(), key);
            return;
        case QMetaType::QByteArray:
            saveItem(value.toByteArray(), key);
            return;
        default:
            logger().error(
                kUnsupportedValueType,
                {{QStringLiteral("key"), key},
                 {QStringLiteral("type"), QString::fromUtf8(value.typeName() ? value.typeName() : "invalid")}});
            throw VantrelError(QString::fromUtf8(kUnsupportedValueType));
    }
}

std::optional<QByteArray> Keychain::fetchValue(const QString& key) const {
    QByteArray data;
    QString detail;
    const auto status = m_backend->read(m_service, key, &data, &detail);
    if (status == KeychainBackend::Status::notFound) return std::nullopt;
    if (status == KeychainBackend::Status::failure) {
        logger().error(kCannotReadItem, {{QStringLiteral("service"), m_service},
                                         {QStringLiteral("key"), key},
                                         {QStringLiteral("backend"), m_backend->name()},
                                         {QStringLiteral("detail"), detail}});
        throw VantrelError(QString::fromUtf8(kCannotReadItem));
    }
    return data;
}

}  // namespace vantrel
