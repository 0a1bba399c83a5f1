// An extension command whose view stack holds more than one view, in the
// real launcher on the test session's X server: Escape goes back one view at
// a time, and a development command survives its extension host dying. The
// extension is the development folder tests/fixtures/extensions/views/orchard,
// run by the real extension host.
#include "e2e/LauncherProcess.h"

#include <QDirIterator>
#include <QJsonArray>

#include <csignal>

namespace vantrel::test {
namespace {

// The extension host the launcher `launcherPid` started, 0 when none runs.
qint64 extensionHostOf(qint64 launcherPid) {
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString folder = processes.next();
        bool isPid = false;
        const qint64 pid = QFileInfo(folder).fileName().toLongLong(&isPid);
        if (!isPid) continue;
        // "pid (comm) state ppid …": the name may hold spaces, the fields after it do not.
        const QString stat = readFile(folder + QStringLiteral("/stat"));
        const qsizetype close = stat.lastIndexOf(QLatin1Char(')'));
        if (close < 0) continue;
        const QStringList fields = stat.mid(close + 2).split(QLatin1Char(' '));
        if (fields.size() < 2 || fields.at(1).toLongLong() != launcherPid) continue;
        if (stat.mid(stat.indexOf(QLatin1Char('(')) + 1).startsWith(QLatin1String("vantrel-extensi"))) return pid;
    }
    return 0;
}

class ExtensionViewStackEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
        installViewsFixture(QStringLiteral("orchard"));
    }

    QString viewFailure() const { return status().value(QStringLiteral("viewFailure")).toString(); }
    qint64 launcherPid() const { return status().value(QStringLiteral("pid")).toInteger(); }
    int timesLogged(const QString& text) const { return int(logText().count(text)); }

    void openOrchard() {
        startLauncher();
        showWithHotkey();
        typeText(QStringLiteral("Walk the Orchard"));
        ASSERT_TRUE(eventually([&] { return !listedRows().isEmpty() && listedRows().first().startsWith(QStringLiteral("Walk the Orchard")); },
                               20000))
            << listedRows().join(QStringLiteral(", ")).toStdString();
        pressKeys(QStringLiteral("Return"));
        ASSERT_TRUE(eventually([&] { return topView() == QStringLiteral("Orchard"); }, 20000))
            << "shown: " << topView().toStdString() << "\n" << logText().toStdString();
        ASSERT_TRUE(eventually([&] { return viewRows() == QStringList{"Pear", "Plum", "Quince"}; }))
            << viewRows().join(QStringLiteral(", ")).toStdString();
    }
};

TEST_F(ExtensionViewStackEndToEndTest, EscapeGoesBackOneViewWithItsSearchAndSelection) {
    openOrchard();
    typeText(QStringLiteral("p"));
    ASSERT_TRUE(eventually([&] { return viewRows() == QStringList{"Pear", "Plum"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();
    pressKeys(QStringLiteral("Down"));
    ASSERT_TRUE(eventually([&] { return selectedItem() == QStringLiteral("plum"); })) << selectedItem().toStdString();

    // "Show Varieties" pushes the second list; it has a search text of its own.
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return topView() == QStringLiteral("Plum varieties"); }))
        << "shown: " << topView().toStdString() << "\n" << logText().toStdString();
    EXPECT_TRUE(eventually([&] { return viewRows() == QStringList{"Victoria", "Greengage", "Damson"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(searchText(), QString());
    typeText(QStringLiteral("gr"));
    ASSERT_TRUE(eventually([&] { return viewRows() == QStringList{"Greengage"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();

    // Escape pops that one view: the trees come back as they were left.
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return topView() == QStringLiteral("Orchard"); }))
        << "shown: " << topView().toStdString();
    EXPECT_EQ(searchText(), QStringLiteral("p"));
    EXPECT_EQ(viewRows(), (QStringList{"Pear", "Plum"}));
    EXPECT_EQ(selectedItem(), QStringLiteral("plum"));
    EXPECT_FALSE(status().value(QStringLiteral("atRoot")).toBool());
    // The script was told which view is shown now, and its next render keeps it.
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("orchard back to – trees")); })) << logText().toStdString();
    EXPECT_EQ(topView(), QStringLiteral("Orchard"));
    EXPECT_EQ(selectedItem(), QStringLiteral("plum"));

    // The same tree again: a fresh list, not the one left behind.
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return topView() == QStringLiteral("Plum varieties"); }));
    EXPECT_TRUE(eventually([&] { return viewRows() == QStringList{"Victoria", "Greengage", "Damson"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(searchText(), QString());
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return topView() == QStringLiteral("Orchard"); }));

    // At the command's first view Escape closes the command, as for any command.
    pressKeys(QStringLiteral("Escape"));
    EXPECT_TRUE(eventually([&] { return status().value(QStringLiteral("atRoot")).toBool(); }));
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Command unloaded: ")); })) << logText().toStdString();
}

TEST_F(ExtensionViewStackEndToEndTest, AKilledHostIsReplacedAndTheViewRendersAgain) {
    openOrchard();
    const qint64 launcher = launcherPid();
    qint64 host = 0;
    ASSERT_TRUE(eventually([&] { return (host = extensionHostOf(launcher)) != 0; })) << "no extension host runs";
    const int loads = timesLogged(QStringLiteral("orchard rendered"));
    ASSERT_GE(loads, 1);

    ASSERT_EQ(::kill(pid_t(host), SIGKILL), 0);
    // The view said so, and the command runs again in a new host on its own.
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Command stopped")); })) << logText().toStdString();
    ASSERT_TRUE(eventually([&] { return timesLogged(QStringLiteral("orchard rendered")) > loads; }, 20000)) << logText().toStdString();
    EXPECT_TRUE(eventually([&] { return viewFailure().isEmpty(); })) << viewFailure().toStdString();
    EXPECT_TRUE(eventually([&] { return viewRows() == QStringList{"Pear", "Plum", "Quince"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();
    qint64 newHost = 0;
    EXPECT_TRUE(eventually([&] { return (newHost = extensionHostOf(launcher)) != 0; }));
    EXPECT_NE(newHost, host);
    EXPECT_EQ(topView(), QStringLiteral("Orchard"));
    EXPECT_EQ(launcherPid(), launcher) << "the launcher went on";

    // The manifest's reload shortcut runs the script again in the same view.
    const int reloaded = timesLogged(QStringLiteral("orchard rendered"));
    pressKeys(QStringLiteral("ctrl+shift+r"));
    ASSERT_TRUE(eventually([&] { return timesLogged(QStringLiteral("orchard rendered")) > reloaded; }, 20000)) << logText().toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral("Reload command: ")));
    EXPECT_EQ(topView(), QStringLiteral("Orchard"));
    // The reloaded script answers its actions again.
    pressKeys(QStringLiteral("Return"));
    EXPECT_TRUE(eventually([&] { return topView() == QStringLiteral("Pear varieties"); })) << logText().toStdString();
}

TEST_F(ExtensionViewStackEndToEndTest, AHostThatDiesShowsTheFailureUntilReloadBringsTheViewBack) {
    openOrchard();
    const qint64 launcher = launcherPid();
    qint64 host = 0;
    ASSERT_TRUE(eventually([&] { return (host = extensionHostOf(launcher)) != 0; })) << "no extension host runs";
    // The installed script goes away, so the command cannot come back by itself.
    QString script;
    QDirIterator installed(qEnvironmentVariable("XDG_DATA_HOME"), {QStringLiteral("orchard.js")}, QDir::Files, QDirIterator::Subdirectories);
    while (installed.hasNext() && script.isEmpty()) script = installed.next();
    ASSERT_FALSE(script.isEmpty()) << "the installed script was not found";
    ASSERT_TRUE(QFile::rename(script, script + QStringLiteral(".away")));

    // The host ends on its own (an abort), not because the launcher asked.
    ASSERT_EQ(::kill(pid_t(host), SIGABRT), 0);
    ASSERT_TRUE(eventually([&] { return viewFailure().contains(QStringLiteral("extension host stopped")); }))
        << viewFailure().toStdString() << "\n" << logText().toStdString();
    EXPECT_EQ(topView(), QStringLiteral("Orchard")) << "the view stays, with its failure";
    EXPECT_EQ(launcherPid(), launcher);
    // A new host tried the command again and could not run it: the view says that too.
    EXPECT_TRUE(eventually([&] { return viewFailure().contains(QStringLiteral("could not run again")); }, 20000))
        << viewFailure().toStdString() << "\n" << logText().toStdString();
    EXPECT_NE(extensionHostOf(launcher), host);

    // The script is back: reload renders the view again.
    ASSERT_TRUE(QFile::rename(script + QStringLiteral(".away"), script));
    const int loads = timesLogged(QStringLiteral("orchard rendered"));
    pressKeys(QStringLiteral("ctrl+shift+r"));
    ASSERT_TRUE(eventually([&] { return timesLogged(QStringLiteral("orchard rendered")) > loads; }, 20000)) << logText().toStdString();
    EXPECT_TRUE(eventually([&] { return viewFailure().isEmpty(); })) << viewFailure().toStdString();
    EXPECT_TRUE(eventually([&] { return viewRows() == QStringList{"Pear", "Plum", "Quince"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();

    // Escape closes the command and root search answers.
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return status().value(QStringLiteral("atRoot")).toBool(); }));
    typeText(QStringLiteral("Walk the Orchard"));
    EXPECT_TRUE(eventually([&] { return !listedRows().isEmpty(); }, 20000));
}

}  // namespace
}  // namespace vantrel::test
