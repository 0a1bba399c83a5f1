// `vantrel run` for script commands: the executable runs a script of a
// configured directory and prints its output.
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

struct ScriptRun {
    int exitCode = -1;
    QString out;
    QString err;
};

const QString fixtures = QStringLiteral(QT_TESTCASE_SOURCEDIR "/fixtures/scripts/commands");

class CliScriptRunTest : public ::testing::Test {
protected:
    ScopedXdgHome home;
    ScopedEnv keyring{"VANTREL_KEYRING", QByteArray("file")};
    QTemporaryDir scripts;

    ScriptRun run(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    void addDirectory(const QString& directory) {
        const ScriptRun added = run({QStringLiteral("scripts"), QStringLiteral("add-dir"), directory});
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    }

    QString writeScript(const QString& name, const QByteArray& text) {
        const QString path = scripts.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }
};

TEST_F(CliScriptRunTest, PrintsThePlainOutputOfAScript) {
    addDirectory(fixtures);
    const ScriptRun colours =
        run({QStringLiteral("run"), QStringLiteral("vantrelScript_") + fixtures + QStringLiteral("/colours.sh")});
    EXPECT_EQ(colours.exitCode, 0) << colours.err.toStdString();
    EXPECT_TRUE(colours.out.startsWith(QStringLiteral("red bold green underlined blue bright yellow\n")))
        << colours.out.toStdString();
    EXPECT_TRUE(colours.out.endsWith(QStringLiteral("plain text\n")));
    EXPECT_FALSE(colours.out.contains(QChar(0x1B)));

    // The path alone names the same script.
    const ScriptRun byPath = run({QStringLiteral("run"), fixtures + QStringLiteral("/colours.sh")});
    EXPECT_EQ(byPath.exitCode, 0);
    EXPECT_EQ(byPath.out, colours.out);
}

TEST_F(CliScriptRunTest, FailuresGoToStandardError) {
    addDirectory(fixtures);
    const ScriptRun stderrOnly = run({QStringLiteral("run"), fixtures + QStringLiteral("/stderr-only.sh")});
    EXPECT_EQ(stderrOnly.exitCode, 1);
    EXPECT_TRUE(stderrOnly.out.isEmpty());
    EXPECT_TRUE(stderrOnly.err.contains(QStringLiteral("something went wrong on stderr")))
        << stderrOnly.err.toStdString();

    const ScriptRun three = run({QStringLiteral("run"), fixtures + QStringLiteral("/exit-3.sh")});
    EXPECT_EQ(three.exitCode, 1);
    EXPECT_TRUE(three.err.contains(QStringLiteral("Process terminated with status 3"))) << three.err.toStdString();
}

TEST_F(CliScriptRunTest, ArgumentsAreCheckedAndEncoded) {
    writeScript(QStringLiteral("greet.sh"),
                "#!/bin/bash\n# @vantrel.schemaVersion 1\n# @vantrel.title Greet\n# @vantrel.mode compact\n"
                "# @vantrel.argument1 { \"type\": \"text\", \"placeholder\": \"Name\" }\n"
                "# @vantrel.argument2 { \"type\": \"text\", \"placeholder\": \"Query\", \"percentEncoded\": true, "
                "\"optional\": true }\n"
                "echo \"hello $1\"\necho \"query [$2]\"\n");
    addDirectory(scripts.path());
    const QString id = QStringLiteral("vantrelScript_") + scripts.filePath(QStringLiteral("greet.sh"));

    const ScriptRun missing = run({QStringLiteral("run"), id});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("Value is missing in argument"))) << missing.err.toStdString();
    EXPECT_TRUE(missing.out.isEmpty());

    const ScriptRun greeted = run({QStringLiteral("run"), id, QStringLiteral("Ada Lovelace"), QStringLiteral("a b&c")});
    EXPECT_EQ(greeted.exitCode, 0) << greeted.err.toStdString();
    EXPECT_EQ(greeted.out, QStringLiteral("hello Ada Lovelace\nquery [a%20b&c]\n"));
}

TEST_F(CliScriptRunTest, ScriptsOutsideTheDirectoriesAreRefused) {
    const QString path = writeScript(QStringLiteral("stray.sh"),
                                     "#!/bin/bash\n# @vantrel.schemaVersion 1\n# @vantrel.title Stray\n"
                                     "# @vantrel.mode compact\necho stray\n");
    const ScriptRun stray = run({QStringLiteral("run"), QStringLiteral("vantrelScript_") + path});
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_TRUE(stray.err.contains(QStringLiteral("not in a script directory"))) << stray.err.toStdString();
    EXPECT_TRUE(stray.out.isEmpty());
    // By its path alone it is not taken for a script (it may be another record's key).
    const ScriptRun strayPath = run({QStringLiteral("run"), path});
    EXPECT_NE(strayPath.exitCode, 0);
    EXPECT_FALSE(strayPath.err.contains(QStringLiteral("not in a script directory")));
    EXPECT_FALSE(strayPath.out.contains(QStringLiteral("stray")));

    addDirectory(scripts.path());
    const ScriptRun gone =
        run({QStringLiteral("run"), QStringLiteral("vantrelScript_") + scripts.filePath(QStringLiteral("gone.sh"))});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.contains(QStringLiteral("No script file found at path")));

    // A file without the metadata is no script command.
    const QString plain = writeScript(QStringLiteral("plain.sh"), "#!/bin/bash\necho plain\n");
    const ScriptRun notScript = run({QStringLiteral("run"), plain});
    EXPECT_EQ(notScript.exitCode, 1);
    EXPECT_FALSE(notScript.err.isEmpty());
    EXPECT_TRUE(notScript.out.isEmpty());
}

}  // namespace
}  // namespace vantrel::test
