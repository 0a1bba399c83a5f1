#pragma once

#include <QByteArray>
#include <QString>

namespace vantrel {

// SHA-256 of the bytes as 64 lower-case hexadecimal characters.
QString sha256Hex(const QByteArray& bytes);
// Bytes from the system's secure random generator; throws VantrelError when it fails.
QByteArray secureRandomBytes(int count);

}  // namespace vantrel
