// Keyword expansion in the real launcher: snippets are added with
// `vantrel snippets add`, typed with xdotool into a Qt text window that
// writes its content to a file on every change, and expanded there; the
// window may be exposed on the session's accessibility bus, with a password
// field that must never be expanded into.
#include "e2e/LauncherProcess.h"

#include "platform/freedesktop/AtSpiFocus.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

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

    static void addSnippet(const QString& name, const QString& text, const QString& keyword) {
        const ProcessRun added = run(kExecutable, {QStringLiteral("snippets"), QStringLiteral("add"), QStringLiteral("--name"),
                                                   name, QStringLiteral("--text"), text, QStringLiteral("--keyword"), keyword});
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    }

    void openTextWindow(TextWindowOptions options = {}) {
        m_output = m_home->root() + QStringLiteral("/typed.txt");
        LauncherProcessTest::openTextWindow(m_output, QStringLiteral("Vantrel Snippet Target"), options);
        if (HasFailure() || !options.accessible) return;
        // The window registers on the accessibility bus on its own time: the
        // keys wait until its focused field can be seen there, as the
        // launcher will look for it.
        AtSpiFocus accessibility;
        ASSERT_TRUE(accessibility.isAvailable()) << "the session has no accessibility bus";
        const qint64 pid = m_textWindow->processId();
        ASSERT_TRUE(eventually([&] {
            const auto element = accessibility.focusedElement(pid);
            return element && element->isPassword() == options.password;
        })) << "the text window's field never showed on the accessibility bus";
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

TEST_F(SnippetsEndToEndTest, backSpaceAfterASnippetThatMovedTheCaretBringsTheKeywordBack) {
    // {cursor} leaves the caret between the brackets; the revert must still
    // take out the whole text, on both sides of the caret.
    addSnippet(QStringLiteral("Call"), QStringLiteral("call({cursor}) end"), QStringLiteral(";call"));
    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral("x ;call"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("x call() end"); })) << typed().toStdString();
    // The caret sits after "call(": typing goes there.
    type(QStringLiteral("a"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("x call(a) end"); })) << typed().toStdString();
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("BackSpace")});
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("x call() end"); })) << typed().toStdString();

    // Right after the expansion, BackSpace reverts it.
    addSnippet(QStringLiteral("Tag"), QStringLiteral("<b>{cursor}</b>"), QStringLiteral(";tag"));
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    ASSERT_TRUE(eventually([&] { return typed().isEmpty(); })) << typed().toStdString();
    type(QStringLiteral("y ;tag"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("y <b></b>"); })) << typed().toStdString();
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("BackSpace")});
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("y ;tag"); })) << typed().toStdString() << "\n"
                                                                                  << logText().toStdString();
    // And the caret is at the end of the keyword again.
    type(QStringLiteral("!"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("y ;tag!"); })) << typed().toStdString();
}

TEST_F(SnippetsEndToEndTest, aPasswordFieldOnTheAccessibilityBusGetsNoExpansion) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow({.password = true, .accessible = true});
    if (HasFatalFailure()) return;
    const qsizetype logged = logText().size();
    type(QStringLiteral(";sig"));
    // The monitor saw the keyword and looked at the focused field.
    ASSERT_TRUE(eventually([&] {
        return logText().mid(logged).contains(QStringLiteral("Snippet not expanded: the focused field is a password field"));
    })) << logText().toStdString();
    EXPECT_EQ(typed(), QStringLiteral(";sig"));
}

TEST_F(SnippetsEndToEndTest, aTextFieldOnTheAccessibilityBusIsExpandedInto) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow({.password = false, .accessible = true});
    if (HasFatalFailure()) return;
    type(QStringLiteral("hi ;sig"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("hi Best regards, Ada"); }))
        << typed().toStdString() << "\n"
        << logText().toStdString();
}

TEST_F(SnippetsEndToEndTest, aLongExpansionIsTakenBackBySelectingItWhereTheFieldAllowsIt) {
    const QString text = QStringLiteral("Kind regards from the whole team at the Example Company, Ada");
    ASSERT_GE(text.size(), 51);
    addSnippet(QStringLiteral("Long Sig"), text, QStringLiteral(";ls"));
    openTextWindow({.password = false, .accessible = true});
    if (HasFatalFailure()) return;
    type(QStringLiteral("ok ;ls"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("ok ") + text; })) << typed().toStdString();
    const qsizetype logged = logText().size();
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("BackSpace")});
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("ok ;ls"); })) << typed().toStdString();
    const QString log = logText().mid(logged);
    EXPECT_TRUE(log.contains(QStringLiteral("Removed %1 characters by selecting them").arg(text.size() - 1)))
        << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("failed to set selected text"))) << log.toStdString();
}

TEST_F(SnippetsEndToEndTest, theKeywordInRootSearchFindsTheSnippetAndReturnPastesItWhereTheUserWas) {
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow();
    if (HasFatalFailure()) return;
    const QString window = activeWindowId();
    showWithHotkey();
    // Typed into the launcher itself, the keyword is a search, not an expansion.
    typeText(QStringLiteral(";sig"));
    ASSERT_TRUE(eventually([&] { return listedRows().value(0) == QLatin1String("Sig"); }))
        << listedRows().join(QLatin1Char('|')).toStdString() << "\n"
        << logText().toStdString();
    EXPECT_EQ(searchText(), QStringLiteral(";sig"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("Best regards, Ada"); }))
        << typed().toStdString() << "\n"
        << logText().toStdString();
    EXPECT_FALSE(isVisible());
    EXPECT_EQ(activeWindowId(), window);
}

TEST_F(SnippetsEndToEndTest, returnInSearchSnippetsPastesTheSelectedSnippetWhereTheUserWas) {
    addSnippet(QStringLiteral("Address"), QStringLiteral("1 Main Street"), QStringLiteral(";addr"));
    addSnippet(QStringLiteral("Sig"), QStringLiteral("Best regards, Ada"), QStringLiteral(";sig"));
    openTextWindow();
    if (HasFatalFailure()) return;
    type(QStringLiteral("to: "));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("to: "); })) << typed().toStdString();
    showWithHotkey();
    typeText(QStringLiteral("Search Snippets"));
    ASSERT_TRUE(eventually([&] { return selectedItem() == QLatin1String("searchSnippets"); })) << selectedItem().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return topView() == QLatin1String("Search Snippets"); })) << topView().toStdString();
    typeText(QStringLiteral("main"));
    ASSERT_TRUE(eventually([&] { return !selectedItem().isEmpty() && searchText() == QLatin1String("main"); }))
        << QJsonDocument(status()).toJson().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return typed() == QLatin1String("to: 1 Main Street"); }))
        << typed().toStdString() << "\n"
        << logText().toStdString();
    EXPECT_FALSE(isVisible());
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
