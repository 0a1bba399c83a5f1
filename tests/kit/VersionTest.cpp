#include "kit/Version.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vantrel {
namespace {

Version v(const char* text) {
    const auto parsed = Version::parse(QString::fromUtf8(text));
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(Version{});
}

TEST(VersionTest, ParsesAllParts) {
    const Version version = v("1.2.3-alpha.1+build.5");
    EXPECT_EQ(version.major, 1);
    EXPECT_EQ(version.minor, 2);
    EXPECT_EQ(version.patch, 3);
    EXPECT_EQ(version.prereleaseIdentifiers, QStringList({QStringLiteral("alpha"), QStringLiteral("1")}));
    EXPECT_EQ(version.buildMetadataIdentifiers, QStringList({QStringLiteral("build"), QStringLiteral("5")}));
}

TEST(VersionTest, PrintsWhatItParsed) {
    for (const char* text : {"0.0.0", "1.2.3", "10.20.30-rc.1", "1.0.0+20240301", "1.0.0-alpha-1.x+sha.5114f85",
                             "9223372036854775807.0.1"})
        EXPECT_EQ(v(text).toString(), QString::fromUtf8(text));
}

TEST(VersionTest, PrintsNoSeparatorsWithoutIdentifiers) {
    const Version version{4, 5, 6, {}, {}};
    EXPECT_EQ(version.toString(), QStringLiteral("4.5.6"));
    EXPECT_EQ((Version{1, 0, 0, {QStringLiteral("beta")}, {}}).toString(), QStringLiteral("1.0.0-beta"));
    EXPECT_EQ((Version{1, 0, 0, {}, {QStringLiteral("exp"), QStringLiteral("sha")}}).toString(),
              QStringLiteral("1.0.0+exp.sha"));
}

TEST(VersionTest, AcceptsALeadingVAndMissingMinorOrPatch) {
    EXPECT_EQ(v("v1.4.2").toString(), QStringLiteral("1.4.2"));
    EXPECT_EQ(v("2").toString(), QStringLiteral("2.0.0"));
    EXPECT_EQ(v("2.7").toString(), QStringLiteral("2.7.0"));
    EXPECT_EQ(v("v3-beta").toString(), QStringLiteral("3.0.0-beta"));
}

TEST(VersionTest, RejectsMalformedText) {
    for (const char* text :
         {"", "v", "abc", "1.2.x", "-1.2.3", "1.-2.3", "1..3", "1.2.3.4", "1.2.3-", "1.2.3+", "1.2.3-alpha..1",
          "1.2.3+build.", "1.2.3-al pha", "x1.2.3", "1.2.3 beta", "1.2.3-ä", "99999999999999999999.0.0"})
        EXPECT_FALSE(Version::parse(QString::fromUtf8(text)).has_value()) << text;
}

TEST(VersionTest, OrdersByPrecedence) {
    const char* ascending[] = {"1.0.0-alpha", "1.0.0-alpha.1", "1.0.0-alpha.beta",
                               "1.0.0-beta",  "1.0.0-beta.2",  "1.0.0-beta.11",
                               "1.0.0-rc.1",  "1.0.0",         "1.0.1",
                               "1.1.0",       "2.0.0"};
    const qsizetype count = static_cast<qsizetype>(std::size(ascending));
    for (qsizetype i = 0; i + 1 < count; ++i) {
        EXPECT_LT(v(ascending[i]), v(ascending[i + 1])) << ascending[i] << " < " << ascending[i + 1];
        EXPECT_GT(v(ascending[i + 1]), v(ascending[i]));
        EXPECT_NE(v(ascending[i]), v(ascending[i + 1]));
    }

    std::vector<Version> shuffled;
    for (qsizetype i = count - 1; i >= 0; --i) shuffled.push_back(v(ascending[(i * 5) % count]));
    std::sort(shuffled.begin(), shuffled.end());
    for (qsizetype i = 0; i < count; ++i)
        EXPECT_EQ(shuffled[static_cast<size_t>(i)].toString(), QString::fromUtf8(ascending[i]));
}

TEST(VersionTest, NumbersCompareNumerically) {
    EXPECT_LT(v("1.9.0"), v("1.10.0"));
    EXPECT_LT(v("1.0.0-2"), v("1.0.0-10"));
    EXPECT_LT(v("1.0.0-99999999999999999999"), v("1.0.0-100000000000000000000"));
    EXPECT_LT(v("1.0.0-999"), v("1.0.0-a"));
    EXPECT_LT(v("1.0.0-Z"), v("1.0.0-a"));  // ASCII order: upper case first
}

TEST(VersionTest, BuildMetadataDoesNotAffectPrecedence) {
    EXPECT_EQ(v("1.0.0+build.1"), v("1.0.0+build.2"));
    EXPECT_EQ(v("1.0.0+build.1"), v("1.0.0"));
    EXPECT_TRUE((v("1.0.0+a") <=> v("1.0.0+b")) == 0);
    EXPECT_FALSE(v("1.0.0+a").isIdentical(v("1.0.0+b")));
    EXPECT_TRUE(v("1.0.0-rc.1+a").isIdentical(v("1.0.0-rc.1+a")));
}

}  // namespace
}  // namespace vantrel
