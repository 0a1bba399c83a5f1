// Keyword expansion in the real launcher: snippets are added with
// `vantrel snippets add`, typed with xdotool into a Qt text window that
// writes its content to a file on every change, and expanded there.
#include "e2e/LauncherProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

const QString kTextWindow = QStringLiteral(VANTREL_TEXT_WINDOW);

class SnippetsEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
                                        "xclip is not installed");
        markWelcomeSeen();
        startLauncher();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("SnippetAliasMonitor start")); }))
            << logText().toStdString();
        ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Clipboard history started")); }));
    }

    void TearDown() override {
        if (m_window) {
            m_window->kill();
            m_window->waitForFinished();
        }
        LauncherProcessTest::TearDown();
    }

    static void addSnippet(const QString& name, const QString& text, const QString& keyword) {
        const ProcessRun added = run(kExecutable, {QStringLiteral("snippets"), QStringLiteral("add"), QStringLiteral("--name"),
                                                   name, QStringLiteral("--text"), text, QStringLiteral("--keyword"), keyword});
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    }

    void openTextWindow() {
        m_output = m_home->root() + QStringLiteral("/typed.txt");
        m_window = std::make_unique<QProcess>();
        m_window->start(kTextWindow, {m_output, QStringLiteral("Vantrel Snippet Target")});
        ASSERT_TRUE(m_window->waitForStarted());
        const ProcessRun found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--sync"),
                                                                 QStringLiteral("--name"), QStringLiteral("Vantrel Snippet Target")},
                                     10000);
        const QString window = found.out.split(QLatin1Char('\n')).value(0);
        ASSERT_FALSE(window.isEmpty()) << found.err.toStdString();
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        ASSERT_TRUE(eventually([&] { return activeWindowId() == window; }));
    }

    static void type(const QString& text) {
        run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
    }

    QString typed() const { return readFile(m_output); }

    static QString clipboardText() {
        return run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")})
            .out;
    }

    static QStringList historyTexts() {
        QStringList texts;
        const ProcessRun listed =
            run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("list"), QStringLiteral("--json")});
        for (const QJsonValue& value : QJsonDocument::fromJson(listed.out.toUtf8()).array())
            texts << value.toObject().value(QStringLiteral("text")).toString();
        return texts;
    }

    std::unique_ptr<QProcess> m_window;
    QString m_output;
};

TEST_F(SnippetsEndToEndTest, aKeywordTypedAfterASpaceIsReplacedByItsText) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral("hello ;sig"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("hello Best regards, Ada"); }))
        << typed().toStdString() << "\n"
        << logText().toStdString();
}

TEST_F(SnippetsEndToEndTest, aKeywordInsideAWordIsLeftAlone) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral("x;sig"));
    // A later keyword proves the monitor has seen everything typed before it.
    addSnippet(QStringLiteral("Done"), QStringLiteral("DONE"), QStringLiteral("zzdone"));
    type(QStringLiteral(" zzdone"));
    ASSERT_TRUE(eventually([&] { return typed().endsWith(QLatin1String("DONE")); })) << typed().toStdString();
    EXPECT_EQ(typed(), QStringLiteral("x;sig DONE"));
}

TEST_F(SnippetsEndToEndTest, backSpaceRightAfterTheExpansionBringsTheKeywordBack) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral(";sig"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("Best regards, Ada"); })) << typed().toStdString();
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("BackSpace")});
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String(";sig"); })) << typed().toStdString();
}

TEST_F(SnippetsEndToEndTest, aLongSnippetIsPastedAndTheClipboardGetsItsContentBack) {
    QString text;
    while (text.size() < 200) text += QStringLiteral("The quick brown fox jumps over the lazy dog. ");
    text = text.left(200);
    addSnippet(QStringLiteral("Long"), text, QStringLiteral(";long"));
    // Something the user copied earlier, recorded by clipboard history.
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")});
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write("copied before");
    xclip.closeWriteChannel();
    ASSERT_TRUE(xclip.waitForFinished(10000));
    ASSERT_TRUE(eventually([&] { return historyTexts().contains(QStringLiteral("copied before")); }));
    const qsizetype recorded = historyTexts().size();

    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral(";long"));
    ASSERT_TRUE(eventually([&] { return typed() == text; })) << typed().toStdString() << "\n" << logText().toStdString();
    ASSERT_TRUE(eventually([&] { return clipboardText() == QLatin1String("copied before"); }))
        << clipboardText().toStdString();
    const QStringList history = historyTexts();
    EXPECT_EQ(history.size(), recorded) << history.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(history.contains(text));
}

TEST_F(SnippetsEndToEndTest, keysTypedAtFullSpeedAfterAKeywordAreNeverLostOrReordered) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    addSnippet(QStringLiteral("Done"), QStringLiteral("DONE"), QStringLiteral("zzdone"));
    openTextWindow();
    if (HasFatalFailure()) return;
    run(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("1"),
                                    QStringLiteral("a ;sig then more words")});
    type(QStringLiteral(" zzdone"));
    ASSERT_TRUE(eventually([&] { return typed().endsWith(QLatin1String("DONE")); })) << typed().toStdString();
    EXPECT_EQ(typed(), QStringLiteral("a ;sig then more words DONE"));
}

TEST_F(SnippetsEndToEndTest, importAndExportGoThroughTheRunningLauncherAllOrNothing) {
    const QString bad = m_home->root() + QStringLiteral("/bad.yml");
    QFile badFile(bad);
    ASSERT_TRUE(badFile.open(QIODevice::WriteOnly));
    badFile.write("matches:\n  - trigger: \":a\"\n    replace: \"A\"\n  - trigger: \":b\"\n");
    badFile.close();
    const ProcessRun refused = run(kExecutable, {QStringLiteral("snippets"), QStringLiteral("import"), bad});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.err.contains(QLatin1String("line 4"))) << refused.err.toStdString();
    const ProcessRun empty = run(kExecutable, {QStringLiteral("snippets"), QStringLiteral("list"), QStringLiteral("--json")});
    EXPECT_TRUE(QJsonDocument::fromJson(empty.out.toUtf8()).array().isEmpty()) << empty.out.toStdString();

    const QString good = m_home->root() + QStringLiteral("/good.json");
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::WriteOnly));
    goodFile.write(R"([{"name": "Addr", "text": "1 Main Street", "keyword": ";addr"}])");
    goodFile.close();
    const ProcessRun imported = run(kExecutable, {QStringLiteral("snippets"), QStringLiteral("import"), good});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    // The running launcher expands the imported keyword at once.
    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral(";addr"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("1 Main Street"); })) << typed().toStdString();
    const ProcessRun exported = run(kExecutable, {QStringLiteral("snippets"), QStringLiteral("export")});
    const QJsonArray array = QJsonDocument::fromJson(exported.out.toUtf8()).array();
    ASSERT_EQ(array.size(), 1);
    EXPECT_EQ(array.at(0).toObject().value(QStringLiteral("keyword")).toString(), QStringLiteral(";addr"));
}

}  // namespace
}  // namespace vantrel::test
