#include "kit/Digest.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(DigestTest, Sha256IsLowerCaseHex) {
    EXPECT_EQ(sha256Hex(QByteArray("abc")),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(sha256Hex(QByteArray()),
              QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
}

TEST(DigestTest, SecureRandomBytesHaveTheRequestedLengthAndDiffer) {
    const QByteArray first = secureRandomBytes(32);
    const QByteArray second = secureRandomBytes(32);
    EXPECT_EQ(first.size(), 32);
    EXPECT_NE(first, second);
}

}  // namespace
}  // namespace vantrel
