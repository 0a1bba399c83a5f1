#include "kit/Digest.h"

#include "kit/VantrelError.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace vantrel {

QString sha256Hex(const QByteArray& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.constData(), static_cast<size_t>(bytes.size()), digest, &length, EVP_sha256(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(length)).toHex());
}

QByteArray secureRandomBytes(int count) {
    QByteArray bytes(count, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        throw VantrelError(QStringLiteral("Cannot generate secure random bytes"));
    return bytes;
}

}  // namespace vantrel
