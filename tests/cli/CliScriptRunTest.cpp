// `vantrel run` for script commands: the executable runs a script of a
// configured directory and prints its output.
#include "cli/CliTestSupport.h"
#include "support/ScriptCommandTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace vantrel::test {
namespace {

const QString fixtures = QStringLiteral(QT_TESTCASE_SOURCEDIR "/fixtures/scripts/commands");

class CliScriptRunTest : public CliFixture {
protected:
    QTemporaryDir scripts;

    void addDirectory(const QString& directory) {
        const ProcessRun added = run({QStringLiteral("scripts"), QStringLiteral("add-dir"), directory});
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    }

    QString write(const QString& name, const QByteArray& text) {
        const QString path = scripts.filePath(name);
        EXPECT_TRUE(writeScript(path, text));
        return path;
    }
};

TEST_F(CliScriptRunTest, PrintsThePlainOutputOfAScript) {
    addDirectory(fixtures);
    const ProcessRun colours =
        run({QStringLiteral("run"), QStringLiteral("vantrelScript_") + fixtures + QStringLiteral("/colours.sh")});
    EXPECT_EQ(colours.exitCode, 0) << colours.err.toStdString();
    EXPECT_TRUE(colours.out.startsWith(QStringLiteral("red bold green underlined blue bright yellow\n")))
        << colours.out.toStdString();
    EXPECT_TRUE(colours.out.endsWith(QStringLiteral("plain text\n")));
    EXPECT_FALSE(colours.out.contains(QChar(0x1B)));

    // The path alone names the same script.
    const ProcessRun byPath = run({QStringLiteral("run"), fixtures + QStringLiteral("/colours.sh")});
    EXPECT_EQ(byPath.exitCode, 0);
    EXPECT_EQ(byPath.out, colours.out);
}

TEST_F(CliScriptRunTest, FailuresGoToStandardError) {
    addDirectory(fixtures);
    const ProcessRun stderrOnly = run({QStringLiteral("run"), fixtures + QStringLiteral("/stderr-only.sh")});
    EXPECT_EQ(stderrOnly.exitCode, 1);
    EXPECT_TRUE(stderrOnly.out.isEmpty());
    EXPECT_TRUE(stderrOnly.err.contains(QStringLiteral("something went wrong on stderr")))
        << stderrOnly.err.toStdString();

    const ProcessRun three = run({QStringLiteral("run"), fixtures + QStringLiteral("/exit-3.sh")});
    EXPECT_EQ(three.exitCode, 1);
    EXPECT_TRUE(three.err.contains(QStringLiteral("Process terminated with status 3"))) << three.err.toStdString();
}

TEST_F(CliScriptRunTest, ArgumentsAreCheckedAndEncoded) {
    write(
        QStringLiteral("greet.sh"),
        scriptText(
            {"schemaVersion 1", "title Greet", "mode compact", R"(argument1 { "type": "text", "placeholder": "Name" })",
             R"(argument2 { "type": "text", "placeholder": "Query", "percentEncoded": true, "optional": true })"},
            QStringLiteral("echo \"hello $1\"\necho \"query [$2]\"")));
    addDirectory(scripts.path());
    const QString id = QStringLiteral("vantrelScript_") + scripts.filePath(QStringLiteral("greet.sh"));

    const ProcessRun missing = run({QStringLiteral("run"), id});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("Value is missing in argument"))) << missing.err.toStdString();
    EXPECT_TRUE(missing.out.isEmpty());

    const ProcessRun greeted =
        run({QStringLiteral("run"), id, QStringLiteral("Ada Lovelace"), QStringLiteral("a b&c")});
    EXPECT_EQ(greeted.exitCode, 0) << greeted.err.toStdString();
    EXPECT_EQ(greeted.out, QStringLiteral("hello Ada Lovelace\nquery [a%20b&c]\n"));
}

TEST_F(CliScriptRunTest, ScriptsOutsideTheDirectoriesAreRefused) {
    const QString path =
        write(QStringLiteral("stray.sh"),
              commandText(QStringLiteral("Stray"), QStringLiteral("compact"), {}, QStringLiteral("echo stray")));
    const ProcessRun stray = run({QStringLiteral("run"), QStringLiteral("vantrelScript_") + path});
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_TRUE(stray.err.contains(QStringLiteral("not in a script directory"))) << stray.err.toStdString();
    EXPECT_TRUE(stray.out.isEmpty());
    // By its path alone it is not taken for a script (it may be another record's key).
    const ProcessRun strayPath = run({QStringLiteral("run"), path});
    EXPECT_NE(strayPath.exitCode, 0);
    EXPECT_FALSE(strayPath.err.contains(QStringLiteral("not in a script directory")));
    EXPECT_FALSE(strayPath.out.contains(QStringLiteral("stray")));

    addDirectory(scripts.path());
    const ProcessRun gone =
        run({QStringLiteral("run"), QStringLiteral("vantrelScript_") + scripts.filePath(QStringLiteral("gone.sh"))});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_TRUE(gone.err.contains(QStringLiteral("No script file found at path")));

    // A file without the metadata is no script command.
    const QString plain = write(QStringLiteral("plain.sh"), "#!/bin/bash\necho plain\n");
    const ProcessRun notScript = run({QStringLiteral("run"), plain});
    EXPECT_EQ(notScript.exitCode, 1);
    EXPECT_FALSE(notScript.err.isEmpty());
    EXPECT_TRUE(notScript.out.isEmpty());
}

// A crash says what the process was doing and on which thread, with the
// stack, and still ends the process by the signal.
TEST_F(CliScriptRunTest, ACrashReportNamesTheSignalTheThreadAndWhatWasGoingOn) {
    const QString started = scripts.filePath(QStringLiteral("started"));
    const QString stop = scripts.filePath(QStringLiteral("stop"));
    const QString path =
        write(QStringLiteral("wait.sh"),
              commandText(QStringLiteral("Wait"), QStringLiteral("compact"), {},
                          QStringLiteral("touch '%1'\nwhile [ ! -e '%2' ]; do sleep 0.1; done").arg(started, stop)));
    addDirectory(scripts.path());
    QProcess process;
    process.start(QStringLiteral(VANTREL_EXECUTABLE), {QStringLiteral("run"), path});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(started); }, 30000));
    ASSERT_EQ(::kill(pid_t(process.processId()), SIGSEGV), 0);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
    const QString report = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(report.contains(QRegularExpression(
        QStringLiteral("vantrel: fatal signal SEGV in thread \"[^\"]+\" while running the command, "
                       "stack of the crashing thread:\n.*vantrel\\(\\+0x[0-9a-f]+\\)"),
        QRegularExpression::DotMatchesEverythingOption)))
        << report.toStdString();
    writeFile(stop, "");  // the script ends too
}

}  // namespace
}  // namespace vantrel::test
