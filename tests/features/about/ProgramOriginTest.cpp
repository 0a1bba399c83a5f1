// Where the program came from decides whether it checks for updates itself:
// a file the system's package database owns counts as packaged, a build tree
// or a copy in the home folder does not.
#include "features/about/ProgramDocuments.h"
#include "features/about/ProgramOrigin.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

TEST(ProgramOrigin, AProgramTheDebianPackageDatabaseOwnsUpdatesItself) {
    const ScopedEnv unforced("VANTREL_PACKAGED", std::nullopt);
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-query")).isEmpty())
        GTEST_SKIP() << "not a Debian system";
    // /usr/bin/ls belongs to coreutils on every Debian system.
    const ProgramOrigin origin = ProgramOrigin::ofExecutable(QStringLiteral("/usr/bin/ls"));
    EXPECT_TRUE(origin.updatesItself());
    EXPECT_EQ(origin.packageSystem, "a Debian package");
}

TEST(ProgramOrigin, ABuildTreeOrACopyElsewhereChecksItself) {
    const ScopedEnv unforced("VANTREL_PACKAGED", std::nullopt);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString copy = folder.filePath(QStringLiteral("vantrel"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/bin/ls"), copy));
    EXPECT_FALSE(ProgramOrigin::ofExecutable(copy).updatesItself());
    EXPECT_FALSE(ProgramOrigin::ofExecutable(QStringLiteral("/nonexistent/vantrel")).updatesItself());
}

TEST(ProgramOrigin, TheEnvironmentOverridesTheDetection) {
    {
        const ScopedEnv packaged("VANTREL_PACKAGED", QByteArray("1"));
        EXPECT_TRUE(ProgramOrigin::ofExecutable(QStringLiteral("/tmp/vantrel")).updatesItself());
    }
    const ScopedEnv notPackaged("VANTREL_PACKAGED", QByteArray("0"));
    EXPECT_FALSE(ProgramOrigin::ofExecutable(QStringLiteral("/usr/bin/ls")).updatesItself());
}

TEST(ProgramDocuments, AreFoundBesideTheBinaryInTheBuildTree) {
    const ScopedEnv unset("VANTREL_DOC_DIR", std::nullopt);
    const QString manual = ProgramDocuments::find(QString::fromLatin1(ProgramDocuments::kManual));
    ASSERT_FALSE(manual.isEmpty()) << ProgramDocuments::searchFolders().join(", ").toStdString();
    EXPECT_TRUE(manual.endsWith("share/vantrel/doc/manual.md"));
    EXPECT_TRUE(ProgramDocuments::read(QString::fromLatin1(ProgramDocuments::kChangelog)).startsWith("# Changelog"));
}

TEST(ProgramDocuments, AMissingDocumentNamesWhereItWasLookedFor) {
    QTemporaryDir empty;
    const ScopedEnv folder("VANTREL_DOC_DIR", empty.path().toLocal8Bit());
    try {
        ProgramDocuments::read(QStringLiteral("nothing.md"));
        FAIL() << "a missing document was read";
    } catch (const std::exception& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains(empty.path())) << error.what();
    }
    // The override comes first.
    QFile own(empty.filePath(QStringLiteral("manual.md")));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("# Own manual\n");
    own.close();
    EXPECT_EQ(ProgramDocuments::read(QStringLiteral("manual.md")), "# Own manual\n");
}

}  // namespace
}  // namespace vantrel::test
