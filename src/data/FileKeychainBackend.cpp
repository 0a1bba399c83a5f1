#include "data/FileKeychainBackend.h"

#include "kit/Logger.h"
#include "kit/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("Keychain"), QStringLiteral("🔑")});
    return instance;
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

void setDetail(QString* detail, const QString& text) {
    if (detail) *detail = text;
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Holds an exclusive flock on the lock file for its lifetime; closing the
// descriptor releases the lock, also when the process dies.
class AdvisoryLock {
public:
    AdvisoryLock(const QString& path, QString* detail) {
        const QByteArray nativePath = QFile::encodeName(path);
        m_fd = ::open(nativePath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            setDetail(detail, QStringLiteral("cannot open keyring lock file %1: %2").arg(path, systemError(errno)));
            return;
        }
        int result;
        do {
            result = ::flock(m_fd, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            setDetail(detail, QStringLiteral("cannot lock keyring lock file %1: %2").arg(path, systemError(errno)));
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~AdvisoryLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    AdvisoryLock(const AdvisoryLock&) = delete;
    AdvisoryLock& operator=(const AdvisoryLock&) = delete;

    bool isLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

std::optional<QByteArray> decodeItem(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return *decoded;
}

QString encodeItem(const QByteArray& data) {
    return QString::fromLatin1(data.toBase64());
}

}  // namespace

FileKeychainBackend::FileKeychainBackend(QString path) : m_path(path.isEmpty() ? defaultPath() : std::move(path)) {}

QString FileKeychainBackend::defaultPath() {
    return Paths::dataDir() + QStringLiteral("/keyring");
}

// MARK: - Operations

KeychainBackend::Status FileKeychainBackend::read(const QString& service, const QString& account, QByteArray* data,
                                                  QString* detail) {
    QJsonObject items;
    switch (load(&items, detail)) {
        case Load::missing:
            return Status::notFound;
        case Load::corrupt:
        case Load::failure:
            return Status::failure;
        case Load::ok:
            break;
    }
    const QJsonValue value = items.value(service).toObject().value(account);
    if (value.isUndefined()) return Status::notFound;
    const auto decoded = decodeItem(value);
    if (!decoded) {
        // load() validated every item, so only a concurrent corruption gets here.
        setDetail(detail, QStringLiteral("keyring item is not valid base64: %1").arg(m_path));
        return Status::failure;
    }
    if (data) *data = *decoded;
    return Status::success;
}

KeychainBackend::Status FileKeychainBackend::create(const QString& service, const QString& account,
                                                    const QByteArray& data, QString* detail) {
    return modify(
        [&](QJsonObject& items, bool* write, QString* why) {
            QJsonObject accounts = items.value(service).toObject();
            if (accounts.contains(account)) {
                setDetail(why, QStringLiteral("an item for this service and account already exists"));
                return Status::failure;
            }
            accounts.insert(account, encodeItem(data));
            items.insert(service, accounts);
            *write = true;
            return Status::success;
        },
        detail);
}

KeychainBackend::Status FileKeychainBackend::update(const QString& service, const QString& account,
                                                    const QByteArray& data, QString* detail) {
    return modify(
        [&](QJsonObject& items, bool* write, QString* why) {
            QJsonObject accounts = items.value(service).toObject();
            if (!accounts.contains(account)) {
                setDetail(why, QStringLiteral("no item for this service and account"));
                return Status::notFound;
            }
            accounts.insert(account, encodeItem(data));
            items.insert(service, accounts);
            *write = true;
            return Status::success;
        },
        detail);
}

KeychainBackend::Status FileKeychainBackend::remove(const QString& service, const QString& account, QString* detail) {
    return modify(
        [&](QJsonObject& items, bool* write, QString* why) {
            QJsonObject accounts = items.value(service).toObject();
            if (!accounts.contains(account)) {
                setDetail(why, QStringLiteral("no item for this service and account"));
                return Status::notFound;
            }
            accounts.remove(account);
            if (accounts.isEmpty())
                items.remove(service);
            else
                items.insert(service, accounts);
            *write = true;
            return Status::success;
        },
        detail);
}

KeychainBackend::Status FileKeychainBackend::removeAll(const QString& service, QString* detail) {
    return modify(
        [&](QJsonObject& items, bool* write, QString*) {
            if (!items.contains(service)) return Status::success;
            items.remove(service);
            *write = true;
            return Status::success;
        },
        detail);
}

// MARK: - File

FileKeychainBackend::Load FileKeychainBackend::load(QJsonObject* items, QString* detail) const {
    QFile file(m_path);
    if (!file.exists()) return Load::missing;
    if (!file.open(QIODevice::ReadOnly)) {
        // Gone between the check and the open: a concurrent writer set a corrupt file aside.
        if (!file.exists()) return Load::missing;
        setDetail(detail, QStringLiteral("cannot open keyring file %1: %2").arg(m_path, file.errorString()));
        return Load::failure;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setDetail(detail, QStringLiteral("cannot read keyring file %1: %2").arg(m_path, file.errorString()));
        return Load::failure;
    }

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        setDetail(detail, QStringLiteral("keyring file is not valid JSON: %1").arg(m_path));
        return Load::corrupt;
    }

    const QJsonObject root = document.object();
    const auto notAKeyring = [&](const QString& reason) {
        setDetail(detail, QStringLiteral("keyring file is not a valid keyring (%1): %2").arg(reason, m_path));
        return Load::corrupt;
    };
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble()) return notAKeyring(QStringLiteral("no version"));
    if (version.toInt() != kFormatVersion) {
        // A file from a newer release is not damaged; leave it for that release.
        setDetail(detail, QStringLiteral("keyring file has unsupported version %1: %2")
                              .arg(QString::number(version.toDouble()), m_path));
        return Load::failure;
    }
    const QJsonValue itemsValue = root.value(QStringLiteral("items"));
    if (!itemsValue.isObject()) return notAKeyring(QStringLiteral("no items"));
    const QJsonObject allItems = itemsValue.toObject();
    for (auto service = allItems.begin(); service != allItems.end(); ++service) {
        if (!service->isObject())
            return notAKeyring(QStringLiteral("service '%1' is not an object").arg(service.key()));
        const QJsonObject accounts = service->toObject();
        for (auto account = accounts.begin(); account != accounts.end(); ++account) {
            if (!decodeItem(*account))
                return notAKeyring(QStringLiteral("an item of '%1' is not base64").arg(service.key()));
        }
    }
    *items = allItems;
    return Load::ok;
}

KeychainBackend::Status FileKeychainBackend::modify(
    const std::function<Status(QJsonObject& items, bool* write, QString* detail)>& change, QString* detail) {
    std::lock_guard guard(m_mutex);

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!Paths::ensureDir(folder)) {
        setDetail(detail, QStringLiteral("cannot create keyring folder %1").arg(folder));
        return Status::failure;
    }
    AdvisoryLock lock(lockPath(), detail);
    if (!lock.isLocked()) return Status::failure;

    // Re-read under the lock: another process may have written since our last look.
    QJsonObject items;
    QString loadDetail;
    bool write = false;
    switch (load(&items, &loadDetail)) {
        case Load::ok:
        case Load::missing:
            break;
        case Load::failure:
            setDetail(detail, loadDetail);
            return Status::failure;
        case Load::corrupt: {
            QString movedTo;
            QString moveDetail;
            if (!moveCorruptAside(&movedTo, &moveDetail)) {
                setDetail(detail, loadDetail + QStringLiteral("; ") + moveDetail);
                return Status::failure;
            }
            logger().warning("Moved a damaged keyring file aside and started a new one",
                             {{QStringLiteral("reason"), loadDetail}, {QStringLiteral("movedTo"), movedTo}});
            items = QJsonObject();
            write = true;  // leave a valid file behind whatever the operation answers
            break;
        }
    }

    const Status status = change(items, &write, detail);
    if (write && !save(items, detail)) return Status::failure;
    return status;
}

bool FileKeychainBackend::moveCorruptAside(QString* movedTo, QString* detail) const {
    const QString base = m_path + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target); ++n) target = base + QLatin1Char('-') + QString::number(n);
    QFile file(m_path);
    if (!file.rename(target)) {
        setDetail(detail, QStringLiteral("cannot move %1 to %2: %3").arg(m_path, target, file.errorString()));
        return false;
    }
    *movedTo = target;
    return true;
}

bool FileKeychainBackend::save(const QJsonObject& items, QString* detail) const {
    const QJsonObject root{{QStringLiteral("version"), kFormatVersion}, {QStringLiteral("items"), items}};
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        setDetail(detail, QStringLiteral("cannot write keyring file %1: %2").arg(m_path, file.errorString()));
        return false;
    }
    // The temporary file must be private before the secrets go into it.
    file.setPermissions(kOwnerOnly);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        setDetail(detail, QStringLiteral("cannot write keyring file %1: %2").arg(m_path, file.errorString()));
        file.cancelWriting();
        return false;
    }
    if (QFile::permissions(m_path) != kOwnerOnly && !QFile::setPermissions(m_path, kOwnerOnly)) {
        setDetail(detail, QStringLiteral("cannot make keyring file %1 private").arg(m_path));
        return false;
    }
    return true;
}

}  // namespace vantrel
