#include "kit/Paths.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(PathsTest, FoldersFollowTheXdgVariables) {
    test::ScopedXdgHome home;
    EXPECT_EQ(Paths::dataDir(), home.root() + QStringLiteral("/data/vantrel"));
    EXPECT_EQ(Paths::cacheDir(), home.root() + QStringLiteral("/cache/vantrel"));
    EXPECT_EQ(Paths::configDir(), home.root() + QStringLiteral("/config/vantrel"));
    EXPECT_EQ(Paths::stateDir(), home.root() + QStringLiteral("/state/vantrel"));
    EXPECT_EQ(Paths::settingsFile(), home.root() + QStringLiteral("/config/vantrel/vantrel.conf"));
    EXPECT_EQ(Paths::logFile(), home.root() + QStringLiteral("/state/vantrel/vantrel.log"));
    EXPECT_EQ(Paths::databaseFile(), home.root() + QStringLiteral("/data/vantrel/vantrel-enc.sqlite"));
    EXPECT_EQ(Paths::autostartDir(), home.root() + QStringLiteral("/config/autostart"));
}

TEST(PathsTest, RelativeXdgValuesAreIgnored) {
    test::ScopedEnv relative("XDG_CACHE_HOME", QByteArray("relative/cache"));
    EXPECT_TRUE(Paths::cacheDir().endsWith(QStringLiteral("/.cache/vantrel")));
}

TEST(PathsTest, EnsureDirCreatesPrivateFolders) {
    QTemporaryDir dir;
    const QString nested = dir.filePath(QStringLiteral("a/b/c"));
    EXPECT_TRUE(Paths::ensureDir(nested));
    EXPECT_TRUE(QFileInfo(nested).isDir());
    EXPECT_EQ(QFileInfo(nested).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    EXPECT_TRUE(Paths::ensureDir(nested));
}

}  // namespace
}  // namespace vantrel
