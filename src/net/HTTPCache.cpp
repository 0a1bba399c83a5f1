#include "net/HTTPCache.h"

#include "kit/Digest.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "net/MultipartFormData.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QUuid>

#include <openssl/evp.h>

#include <algorithm>
#include <filesystem>
#include <list>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("HTTPCache"), QStringLiteral("🗄️")});
    return instance;
}

constexpr int kKeyLength = 32;    // AES-256
constexpr int kNonceLength = 12;  // GCM
constexpr int kTagLength = 16;
const QByteArray kMagic = QByteArrayLiteral("VHC1");

// AES-256-GCM; the file name is authenticated with the contents, so an entry
// moved to another name does not decrypt.
std::optional<QByteArray> seal(const QByteArray& key, const QByteArray& plain, const QByteArray& associated) {
    QByteArray nonce;
    try {
        nonce = secureRandomBytes(kNonceLength);
    } catch (const VantrelError&) {
        return std::nullopt;
    }
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (!context) return std::nullopt;
    QByteArray out = kMagic + nonce;
    out.resize(kMagic.size() + kNonceLength + plain.size());
    int length = 0;
    bool ok = EVP_EncryptInit_ex(context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
              EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_IVLEN, kNonceLength, nullptr) == 1 &&
              EVP_EncryptInit_ex(context, nullptr, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                                 reinterpret_cast<const unsigned char*>(nonce.constData())) == 1 &&
              EVP_EncryptUpdate(context, nullptr, &length, reinterpret_cast<const unsigned char*>(associated.constData()),
                                int(associated.size())) == 1;
    unsigned char* cipher = reinterpret_cast<unsigned char*>(out.data()) + kMagic.size() + kNonceLength;
    ok = ok && EVP_EncryptUpdate(context, cipher, &length, reinterpret_cast<const unsigned char*>(plain.constData()),
                                 int(plain.size())) == 1;
    int finalLength = 0;
    ok = ok && EVP_EncryptFinal_ex(context, cipher + length, &finalLength) == 1;
    QByteArray tag(kTagLength, '\0');
    ok = ok && EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, kTagLength, tag.data()) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok) return std::nullopt;
    return out + tag;
}

std::optional<QByteArray> open(const QByteArray& key, const QByteArray& sealed, const QByteArray& associated) {
    if (sealed.size() < kMagic.size() + kNonceLength + kTagLength || !sealed.startsWith(kMagic)) return std::nullopt;
    const QByteArray nonce = sealed.mid(kMagic.size(), kNonceLength);
    const QByteArray cipher = sealed.mid(kMagic.size() + kNonceLength,
                                         sealed.size() - kMagic.size() - kNonceLength - kTagLength);
    QByteArray tag = sealed.right(kTagLength);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (!context) return std::nullopt;
    QByteArray plain(cipher.size(), '\0');
    int length = 0;
    bool ok = EVP_DecryptInit_ex(context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
              EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_IVLEN, kNonceLength, nullptr) == 1 &&
              EVP_DecryptInit_ex(context, nullptr, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
                                 reinterpret_cast<const unsigned char*>(nonce.constData())) == 1 &&
              EVP_DecryptUpdate(context, nullptr, &length, reinterpret_cast<const unsigned char*>(associated.constData()),
                                int(associated.size())) == 1 &&
              EVP_DecryptUpdate(context, reinterpret_cast<unsigned char*>(plain.data()), &length,
                                reinterpret_cast<const unsigned char*>(cipher.constData()), int(cipher.size())) == 1 &&
              EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, kTagLength, tag.data()) == 1;
    int finalLength = 0;
    ok = ok && EVP_DecryptFinal_ex(context, reinterpret_cast<unsigned char*>(plain.data()) + length, &finalLength) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok) return std::nullopt;
    return plain;
}

// Plain form of an entry: 4 bytes of header length (big endian), the JSON
// header (key, URL, status, headers, storage time), then the body.
QByteArray serialize(const QByteArray& cacheKey, const HTTPCache::Entry& entry) {
    QJsonArray headers;
    for (const auto& [name, value] : entry.response.headers)
        headers.append(QJsonArray{QString::fromLatin1(name), QString::fromLatin1(value)});
    const QJsonObject header{
        {QStringLiteral("key"), QString::fromLatin1(cacheKey.toBase64())},
        {QStringLiteral("url"), entry.response.url.toString()},
        {QStringLiteral("status"), entry.response.statusCode},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("storedAt"), double(entry.response.storedAt.value_or(QDateTime()).toMSecsSinceEpoch())},
    };
    const QByteArray json = QJsonDocument(header).toJson(QJsonDocument::Compact);
    QByteArray out(4, '\0');
    const quint32 size = quint32(json.size());
    out[0] = char((size >> 24) & 0xff);
    out[1] = char((size >> 16) & 0xff);
    out[2] = char((size >> 8) & 0xff);
    out[3] = char(size & 0xff);
    return out + json + entry.data;
}

std::optional<HTTPCache::Entry> deserialize(const QByteArray& cacheKey, const QByteArray& plain) {
    if (plain.size() < 4) return std::nullopt;
    const auto byte = [&](int i) { return quint32(quint8(plain[i])); };
    const quint32 size = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
    if (qint64(size) > plain.size() - 4) return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(plain.mid(4, qsizetype(size)));
    if (!document.isObject()) return std::nullopt;
    const QJsonObject header = document.object();
    if (QByteArray::fromBase64(header.value(QStringLiteral("key")).toString().toLatin1()) != cacheKey)
        return std::nullopt;
    HTTPCache::Entry entry;
    entry.data = plain.mid(4 + qsizetype(size));
    entry.response.url = QUrl(header.value(QStringLiteral("url")).toString());
    entry.response.statusCode = header.value(QStringLiteral("status")).toInt();
    for (const QJsonValue& pair : header.value(QStringLiteral("headers")).toArray()) {
        const QJsonArray items = pair.toArray();
        if (items.size() == 2) entry.response.headers.append({items[0].toString().toLatin1(), items[1].toString().toLatin1()});
    }
    entry.response.storedAt =
        QDateTime::fromMSecsSinceEpoch(qint64(header.value(QStringLiteral("storedAt")).toDouble()), Qt::UTC);
    return entry;
}

QString realmFolderName(const CachingRealm& realm) {
    QString safe;
    for (const QChar c : realm) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            safe += c;
        else if (c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char('.'))
            safe += c;
        else
            safe += QStringLiteral("%%%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (safe.startsWith(QLatin1Char('.'))) safe.replace(0, 1, QStringLiteral("%002e"));
    return QStringLiteral("urlcache") + safe;
}

}  // namespace

struct HTTPCache::Realm {
    CacheConfig config;
    QString directory;
    // Most recently used last.
    std::list<std::pair<QString, Entry>> memory;
    qint64 memoryBytes = 0;
    qint64 diskBytes = 0;
    int diskEntries = 0;

    qint64 memoryCapacity() const { return config.memoryCapacityMegabytes * 1024 * 1024; }
    qint64 diskCapacity() const { return config.diskCapacityMegabytes * 1024 * 1024; }

    void forgetInMemory(const QString& name) {
        for (auto it = memory.begin(); it != memory.end(); ++it) {
            if (it->first != name) continue;
            memoryBytes -= it->second.data.size();
            memory.erase(it);
            return;
        }
    }
    void remember(const QString& name, const Entry& entry) {
        forgetInMemory(name);
        if (entry.data.size() > memoryCapacity()) return;
        memory.emplace_back(name, entry);
        memoryBytes += entry.data.size();
        while (memoryBytes > memoryCapacity() && !memory.empty()) {
            memoryBytes -= memory.front().second.data.size();
            memory.pop_front();
        }
    }
    const Entry* inMemory(const QString& name) {
        for (auto it = memory.begin(); it != memory.end(); ++it) {
            if (it->first != name) continue;
            memory.splice(memory.end(), memory, it);
            return &memory.back().second;
        }
        return nullptr;
    }
    void rescanDisk() {
        diskBytes = 0;
        diskEntries = 0;
        const QFileInfoList files = QDir(directory).entryInfoList(QDir::Files);
        for (const QFileInfo& file : files) {
            if (file.fileName().endsWith(QLatin1String(".partial"))) {
                QFile::remove(file.absoluteFilePath());  // left by a write that never finished
                continue;
            }
            diskBytes += file.size();
            ++diskEntries;
        }
    }
    // Oldest files go first until the folder fits its capacity.
    void trimDisk() {
        if (diskBytes <= diskCapacity()) return;
        QFileInfoList files = QDir(directory).entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
        for (const QFileInfo& file : files) {
            if (diskBytes <= diskCapacity()) break;
            if (QFile::remove(file.absoluteFilePath())) {
                diskBytes -= file.size();
                --diskEntries;
                forgetInMemory(file.fileName());
            }
        }
    }
};

HTTPCache::HTTPCache(Keychain keychain, ConfigFactory configFactory)
    : m_keychain(std::move(keychain)), m_configFactory(std::move(configFactory)) {}

HTTPCache::~HTTPCache() = default;

QString HTTPCache::defaultKeychainService() {
    const QString name = QCoreApplication::applicationName();
    if (!name.isEmpty()) return name;
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

QByteArray HTTPCache::cacheKey(const HTTPRequest& request) {
    // A multipart body is never written out just to name it: its parameters
    // and the form's boundary stand for it.
    if (request.encoding.kind == HTTPParameterEncoding::Kind::multipartFormData) {
        QByteArray key = request.url.toEncoded() + "\nmultipart " +
                         QJsonDocument(request.parameters).toJson(QJsonDocument::Compact);
        if (request.encoding.form) key += ' ' + request.encoding.form->boundary().toUtf8();
        return key;
    }
    Result<EncodedHTTPRequest> encoded = encodeHTTPRequest(request);
    QByteArray key = request.url.toEncoded();
    std::vector<HTTPHeader> headers = request.headers;
    QByteArray body;
    if (encoded.isSuccess()) {
        key = encoded.value().url.toEncoded();
        headers = encoded.value().headers;
        body = encoded.value().body;
        if (!encoded.value().bodyFile.isEmpty()) {
            QFile::remove(encoded.value().bodyFile);
            body = "multipart";
        }
    }
    std::erase_if(headers, [](const HTTPHeader& header) {
        return header.name.compare("Authorization", Qt::CaseInsensitive) == 0;
    });
    std::sort(headers.begin(), headers.end(), [](const HTTPHeader& a, const HTTPHeader& b) {
        return std::pair(a.name.toLower(), a.value) < std::pair(b.name.toLower(), b.value);
    });
    for (const HTTPHeader& header : headers) key += '\n' + header.name.toLower() + ": " + header.value;
    key += "\n\n" + body;
    return key;
}

QString HTTPCache::fileName(const QByteArray& cacheKey) { return sha256Hex(cacheKey); }

HTTPCache::Realm& HTTPCache::realm(const CachingRealm& name) {
    std::lock_guard lock(m_lock);
    auto found = m_realms.find(name);
    if (found != m_realms.end()) return *found->second;
    // makeURLCache(realm:)
    auto made = std::make_unique<Realm>();
    made->config = m_configFactory ? m_configFactory(name) : CacheConfig();
    const QString base = made->config.directory.value_or(Paths::cacheDir());
    made->directory = QDir(base).filePath(realmFolderName(name));
    QDir().mkpath(made->directory);
    QFile::setPermissions(made->directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    made->rescanDisk();
    Realm& result = *made;
    m_realms.emplace(name, std::move(made));
    return result;
}

QString HTTPCache::directory(const CachingRealm& name) const {
    auto* self = const_cast<HTTPCache*>(this);
    return self->realm(name).directory;
}

void HTTPCache::createEncyptionKeyIfNeeded() { (void)key(true); }

std::optional<QByteArray> HTTPCache::key(bool create) {
    std::lock_guard lock(m_lock);
    if (m_key) return m_key;
    try {
        const std::optional<QByteArray> stored = m_keychain.fetchValue(QString::fromLatin1(kKeyAccount));
        if (stored && stored->size() == kKeyLength) {
            m_key = *stored;
            return m_key;
        }
        if (stored) logger().warning("Cache key in the keychain has the wrong length; making a new one");
    } catch (const VantrelError& error) {
        logger().error(create ? "Could not read encryption key" : "Could not read decryption key",
                       {{QStringLiteral("error"), error.errorDescription()}});
        return std::nullopt;
    }
    if (!create) return std::nullopt;
    QByteArray fresh;
    try {
        fresh = secureRandomBytes(kKeyLength);
    } catch (const VantrelError& error) {
        logger().error("Could not generate encryption key", {{QStringLiteral("error"), error.errorDescription()}});
        return std::nullopt;
    }
    try {
        m_keychain.storeValue(fresh, QString::fromLatin1(kKeyAccount));
    } catch (const VantrelError& error) {
        logger().error("Could not save encryption key", {{QStringLiteral("error"), error.errorDescription()}});
        return std::nullopt;
    }
    m_key = fresh;
    return m_key;
}

void HTTPCache::storeResponse(const HTTPResponseInfo& response, const QByteArray& data, const HTTPRequest& request,
                              const CachingPolicy& policy) {
    if (!policy.storesResponses()) return;
    std::lock_guard lock(m_lock);
    logger().debug(QStringLiteral("Storing response with data size: ") + QString::number(data.size()));
    const std::optional<QByteArray> encryptionKey = key(true);
    if (!encryptionKey) {
        logger().error("Could not read encryption key");
        return;
    }
    const QByteArray cacheKeyBytes = cacheKey(request);
    const QString name = fileName(cacheKeyBytes);
    Entry entry{data, response};
    entry.response.storedAt = QDateTime::currentDateTimeUtc();
    const std::optional<QByteArray> sealed = seal(*encryptionKey, serialize(cacheKeyBytes, entry), name.toLatin1());
    if (!sealed) {
        logger().error("Cannot encrypt data");
        return;
    }
    Realm& target = realm(policy.effectiveRealm());
    const QString path = QDir(target.directory).filePath(name);
    const qint64 previous = QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
    // Written aside and renamed into place, so a reader never sees half an
    // entry; no fsync: a cache entry lost in a crash is only a miss.
    const QString partial = path + QStringLiteral(".partial");
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*sealed) != sealed->size() ||
        !file.flush()) {
        logger().error("Could not write cache entry", {{QStringLiteral("error"), file.errorString()}});
        file.close();
        QFile::remove(partial);
        return;
    }
    file.close();
    std::error_code renameError;
    std::filesystem::rename(QFile::encodeName(partial).toStdString(), QFile::encodeName(path).toStdString(),
                            renameError);
    if (renameError) {
        logger().error("Could not write cache entry", {{QStringLiteral("error"), QString::fromStdString(renameError.message())}});
        QFile::remove(partial);
        return;
    }
    if (previous >= 0) {
        target.diskBytes -= previous;
    } else {
        ++target.diskEntries;
    }
    target.diskBytes += sealed->size();
    target.remember(name, entry);
    target.trimDisk();
}

std::optional<HTTPCache::Entry> HTTPCache::response(const HTTPRequest& request, const CachingPolicy& policy) {
    if (policy.kind == CachingPolicy::Kind::noCache) return std::nullopt;
    std::lock_guard lock(m_lock);
    const QByteArray cacheKeyBytes = cacheKey(request);
    const QString name = fileName(cacheKeyBytes);
    Realm& source = realm(policy.effectiveRealm());

    auto fresh = [&](const Entry& entry) {
        if (!policy.readsCache()) return true;
        const QDateTime storedAt = entry.response.storedAt.value_or(QDateTime());
        const qint64 age = std::abs(storedAt.msecsTo(QDateTime::currentDateTimeUtc()));
        return age < qint64(policy.expiresIn.count()) * 1000;
    };

    if (const Entry* remembered = source.inMemory(name)) {
        if (!fresh(*remembered)) return std::nullopt;
        return *remembered;
    }
    const QString path = QDir(source.directory).filePath(name);
    QFile file(path);
    if (!file.exists()) return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        logger().error("Could not read cache entry", {{QStringLiteral("error"), file.errorString()}});
        return std::nullopt;
    }
    const QByteArray sealed = file.readAll();
    file.close();
    const std::optional<QByteArray> decryptionKey = key(false);
    if (!decryptionKey) {
        logger().error("Could not read decryption key");
        return std::nullopt;
    }
    const std::optional<QByteArray> plain = open(*decryptionKey, sealed, name.toLatin1());
    std::optional<Entry> entry = plain ? deserialize(cacheKeyBytes, *plain) : std::nullopt;
    if (!entry) {
        // Tampered, cut short or written with another key: never usable again.
        logger().error("Could not decrypt data", {{QStringLiteral("entry"), name}});
        if (QFile::remove(path)) {
            source.diskBytes -= sealed.size();
            --source.diskEntries;
        }
        return std::nullopt;
    }
    source.remember(name, *entry);
    if (!fresh(*entry)) return std::nullopt;
    return entry;
}

void HTTPCache::removeAllResponses(const CachingRealm& name) {
    std::lock_guard lock(m_lock);
    Realm& target = realm(name);
    QDir(target.directory).removeRecursively();
    target.memory.clear();
    target.memoryBytes = 0;
    target.diskBytes = 0;
    target.diskEntries = 0;
    forgetRealm(name);
}

void HTTPCache::forgetRealm(const CachingRealm& name) {
    std::lock_guard lock(m_lock);
    m_realms.erase(name);
}

std::map<CachingRealm, HTTPCache::RealmStats> HTTPCache::stats() {
    std::lock_guard lock(m_lock);
    std::map<CachingRealm, RealmStats> result;
    for (const auto& [name, realmState] : m_realms)
        result[name] = RealmStats{realmState->diskEntries, realmState->memoryBytes, realmState->diskBytes};
    return result;
}

void HTTPCache::logCacheStats() {
    const auto all = stats();
    bool empty = true;
    for (const auto& [name, stat] : all) {
        if (stat.entries == 0 && stat.memoryBytes == 0) continue;
        empty = false;
        logger().info(QStringLiteral("Stats: ") + name,
                      {{QStringLiteral("entries"), QString::number(stat.entries)},
                       {QStringLiteral("memoryBytes"), QString::number(stat.memoryBytes)},
                       {QStringLiteral("diskBytes"), QString::number(stat.diskBytes)}});
    }
    if (empty) logger().info("Stats: all cache realms empty");
}

}  // namespace vantrel
