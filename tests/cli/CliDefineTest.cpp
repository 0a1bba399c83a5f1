// `vantrel define WORD`: definitions from a DICT server, a private dictd here,
// and a clear message in time from servers that do not answer properly.
#include "cli/CliTestSupport.h"
#include "support/DictServerTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace vantrel::test {
namespace {

class CliDefineTest : public CliFixture {
protected:
    static void useServer(const QString& address, const QString& timeoutSeconds = {}) {
        ASSERT_EQ(run({"config", "set", "dictionary", "server", address}).exitCode, 0);
        if (!timeoutSeconds.isEmpty()) {
            ASSERT_EQ(run({"config", "set", "dictionary", "timeout", timeoutSeconds}).exitCode, 0);
        }
    }

    // Runs vantrel while this process keeps serving its own test servers.
    static ProcessRun runServing(const QStringList& arguments, qint64* elapsed = nullptr) {
        QProcess process;
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        if (elapsed) *elapsed = timer.elapsed();
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
};

TEST_F(CliDefineTest, AWordIsDefinedAndATypoGetsSuggestions) {
    PrivateDictd dictd;
    QString problem;
    ASSERT_TRUE(dictd.start(&problem)) << problem.toStdString();
    useServer(dictd.address());

    const ProcessRun house = run({"define", "house"});
    EXPECT_EQ(house.exitCode, 0) << house.err.toStdString();
    EXPECT_TRUE(house.out.contains(QStringLiteral("building")));
    EXPECT_TRUE(house.out.contains(QStringLiteral("From WordNet")));
    EXPECT_TRUE(house.out.contains(QStringLiteral("From The Collaborative International Dictionary of English")));

    const ProcessRun typo = run({"define", "hosue"});
    EXPECT_EQ(typo.exitCode, 1);
    EXPECT_TRUE(typo.out.startsWith(QStringLiteral("No definition found for \"hosue\". Did you mean:\n")))
        << typo.out.toStdString();
    EXPECT_TRUE(typo.out.contains(QStringLiteral("\n  house\n"))) << typo.out.toStdString();

    const ProcessRun phrase = run({"define", "ice", "cream"});
    EXPECT_EQ(phrase.exitCode, 0) << phrase.err.toStdString();
    EXPECT_TRUE(phrase.out.contains(QStringLiteral("frozen"))) << phrase.out.left(300).toStdString();
}

TEST_F(CliDefineTest, ASilentServerEndsWithAMessageWithinTheTimeout) {
    MisbehavingDictServer silent({});
    useServer(silent.address(), QStringLiteral("1"));
    qint64 elapsed = 0;
    const ProcessRun result = runServing({"define", "house"}, &elapsed);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              QStringLiteral("vantrel: The dictionary server at %1 did not answer within 1 seconds.\n").arg(silent.address()));
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_LT(elapsed, 15000);
}

TEST_F(CliDefineTest, AServerThatAnswersGarbageIsReported) {
    MisbehavingDictServer garbage("SSH-2.0-OpenSSH_9.2\r\n");
    useServer(garbage.address(), QStringLiteral("5"));
    const ProcessRun result = runServing({"define", "house"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("vantrel: The server at %1 does not speak the DICT protocol")
                                          .arg(garbage.address())))
        << result.err.toStdString();
}

TEST_F(CliDefineTest, BadServerSettingsAndMissingWordsAreRefused) {
    const ProcessRun usage = run({"define"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.err, QStringLiteral("usage: vantrel define WORD\n"));

    // Not an address: the default server is asked, and the setting is named.
    useServer(QStringLiteral("http://nowhere"), QStringLiteral("2"));
    const ProcessRun result = run({"define", "house"});
    EXPECT_TRUE(result.err.startsWith(
        QStringLiteral("vantrel: The dictionary server \"http://nowhere\" is not host[:port]; using localhost:2628.\n")))
        << result.err.toStdString();
}

}  // namespace
}  // namespace vantrel::test
