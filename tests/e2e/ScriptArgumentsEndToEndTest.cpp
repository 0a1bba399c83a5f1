// Scripts that need an argument, started from where the window is not open:
// a per-item hotkey and a vantrel:// link bring up the window with the keys
// in the argument field; a link that carries the value runs it at once.
#include "e2e/LauncherProcess.h"

#include "data/SearchRepository.h"

#include <QJsonDocument>
#include <QUrl>

namespace vantrel::test {
namespace {

class ScriptArgumentsEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
        m_scripts = m_home->root() + QStringLiteral("/scripts");
        m_greeted = m_home->root() + QStringLiteral("/greeted.marker");
        ASSERT_TRUE(QDir().mkpath(m_scripts));
    }

    // A script in the scripts folder: `echo "hello $1"` into the marker file.
    QString writeGreetingScript() {
        const QString path = m_scripts + QStringLiteral("/greet.sh");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\n"
                                  "# @vantrel.schemaVersion 1\n"
                                  "# @vantrel.title Greet Marker\n"
                                  "# @vantrel.mode silent\n"
                                  "# @vantrel.argument1 { \"type\": \"text\", \"placeholder\": \"Name\" }\n"
                                  "echo \"hello $1\" > \"%1\"\n")
                       .arg(m_greeted)
                       .toUtf8());
        file.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return QStringLiteral("vantrelScript_") + path;
    }

    // Starts the launcher and waits until it has read the script folders too.
    void startWithScripts() {
        const qsizetype from = logText().size();
        startLauncher();
        ASSERT_TRUE(eventually(
            [&] { return logText().mid(from).contains(QStringLiteral("Parsed script files in directories")); }, 30000))
            << logText().toStdString();
    }

    // The window is up with the keys in the first argument field.
    bool asksForTheFirstArgument() const {
        const QJsonObject values = status();
        return values.value(QStringLiteral("keyWindow")).toBool() &&
               values.value(QStringLiteral("argumentCount")).toInt() == 1 &&
               values.value(QStringLiteral("focusedArgument")).toInt(-1) == 0;
    }

    // Gives the stored record of the script a hotkey (the launcher is stopped).
    void setHotkey(const QString& key, const QString& hotkey) {
        auto pool = openLaunchersDatabase();
        ASSERT_TRUE(pool);
        SearchRepository repository(pool);
        ASSERT_TRUE(repository.record(key)) << "the script was not stored";
        repository.setHotkey(hotkey, key);
    }

    ProcessRun vantrel(const QStringList& arguments) const { return run(kExecutable, arguments, 20000); }

    QString m_scripts;
    QString m_greeted;
};

TEST_F(ScriptArgumentsEndToEndTest, AHotkeyOnAScriptWithARequiredArgumentAsksForItAndRunsWithWhatIsTyped) {
    const QString id = writeGreetingScript();
    const ProcessRun added = vantrel({QStringLiteral("scripts"), QStringLiteral("add-dir"), m_scripts});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();

    // A first start stores the script's record; the hotkey goes on it.
    startWithScripts();
    ASSERT_TRUE(eventually(
        [&] {
            const ProcessRun found = vantrel({QStringLiteral("search"), QStringLiteral("Greet Marker"),
                                              QStringLiteral("--no-load"), QStringLiteral("--json")});
            return found.out.contains(id);
        },
        30000))
        << logText().toStdString();
    stopLauncher();
    // Ctrl+Alt+G.
    setHotkey(id, QStringLiteral("Control-Option-5"));

    startWithScripts();
    ASSERT_TRUE(eventually([&] {
        return logText().contains(QStringLiteral("Found key combination for global hotkey"));
    })) << logText().toStdString();
    ASSERT_FALSE(status().value(QStringLiteral("visible")).toBool());

    pressKeys(QStringLiteral("ctrl+alt+g"));
    ASSERT_TRUE(eventually([&] { return asksForTheFirstArgument(); }))
        << QJsonDocument(status()).toJson().toStdString() << logText().toStdString();
    EXPECT_EQ(status().value(QStringLiteral("searchText")).toString(), QStringLiteral("Greet Marker"));
    // Nothing ran without the value.
    EXPECT_FALSE(QFile::exists(m_greeted));

    typeText(QStringLiteral("Ada"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return readFile(m_greeted) == QStringLiteral("hello Ada\n"); }))
        << readFile(m_greeted).toStdString() << logText().toStdString();
    // A silent script: the window went away for the run.
    EXPECT_TRUE(eventually([&] { return !status().value(QStringLiteral("visible")).toBool(); }));
}

TEST_F(ScriptArgumentsEndToEndTest, ALinkToAScriptRunsItWithItsArgumentsOrAsksForThem) {
    const QString id = writeGreetingScript();
    ASSERT_EQ(vantrel({QStringLiteral("scripts"), QStringLiteral("add-dir"), m_scripts}).exitCode, 0);
    startWithScripts();
    const QString link = QStringLiteral("vantrel://commands/") + QString::fromLatin1(QUrl::toPercentEncoding(id));

    // With its argument it runs at once.
    const ProcessRun ran = vantrel({QStringLiteral("open"), link + QStringLiteral("?arguments=Bo")});
    EXPECT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    ASSERT_TRUE(eventually([&] { return readFile(m_greeted) == QStringLiteral("hello Bo\n"); }))
        << logText().toStdString();
    EXPECT_FALSE(status().value(QStringLiteral("visible")).toBool());

    // Without it the window asks.
    QFile::remove(m_greeted);
    const ProcessRun asked = vantrel({QStringLiteral("open"), link});
    EXPECT_EQ(asked.exitCode, 0) << asked.err.toStdString();
    ASSERT_TRUE(eventually([&] { return asksForTheFirstArgument(); }))
        << QJsonDocument(status()).toJson().toStdString();
    EXPECT_FALSE(QFile::exists(m_greeted));
}

}  // namespace
}  // namespace vantrel::test
