#include "platform/freedesktop/KeychainFactory.h"

#include "data/FileKeychainBackend.h"
#include "kit/Logger.h"
#include "platform/freedesktop/SecretServiceKeychainBackend.h"

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("Keychain"), QStringLiteral("🔑")});
    return instance;
}

constexpr const char* kKeyringVariable = "VANTREL_KEYRING";

void setReason(QString* reason, const QString& text) {
    if (reason) *reason = text;
}

}  // namespace

std::shared_ptr<KeychainBackend> makeKeychainBackend(QString* reason) {
    const QString forced = qEnvironmentVariable(kKeyringVariable).trimmed().toLower();
    if (forced == QLatin1String("secret-service")) {
        setReason(reason, QStringLiteral("VANTREL_KEYRING=secret-service"));
        return std::make_shared<SecretServiceKeychainBackend>();
    }
    if (forced == QLatin1String("file")) {
        auto backend = std::make_shared<FileKeychainBackend>();
        setReason(reason, QStringLiteral("VANTREL_KEYRING=file; secrets are kept in %1").arg(backend->path()));
        return backend;
    }
    if (!forced.isEmpty()) {
        logger().warning("Ignoring an unknown keyring choice; expected secret-service or file",
                         {{QString::fromUtf8(kKeyringVariable), qEnvironmentVariable(kKeyringVariable)}});
    }

    QString unavailable;
    if (SecretServiceKeychainBackend::isAvailable(&unavailable)) {
        setReason(reason, QStringLiteral("the Secret Service answered on the session bus"));
        return std::make_shared<SecretServiceKeychainBackend>();
    }
    auto backend = std::make_shared<FileKeychainBackend>();
    const QString message = QStringLiteral("No Secret Service answered; keeping secrets in %1").arg(backend->path());
    logger().warning(message, {{QStringLiteral("detail"), unavailable}});
    setReason(reason, message + QStringLiteral(" (") + unavailable + QLatin1Char(')'));
    return backend;
}

Keychain makeDefaultKeychain() {
    return Keychain(QString::fromUtf8(Keychain::kDefaultService), makeKeychainBackend());
}

}  // namespace vantrel
