// The full-output view of a script command, with real scripts.
#include "support/ScreenshotTestSupport.h"
#include "support/ScriptRunTestSupport.h"

#include "features/scripts/ui/ScriptOutputView.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTimer>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class ScriptOutputViewTest : public ::testing::Test {
protected:
    ScriptFolder dir;
    RecordingPresenter presenter;

    void TearDown() override { Theme::setCurrent(Theme::Appearance::light); }

    ScriptCommand script(const QString& name, const QByteArray& text,
                         const QString& title = QStringLiteral("Show Output")) {
        ScriptCommand command = ScriptFolder::command(dir.write(name, text), ScriptCommand::RunMode::fullOutput);
        command.displayName = title;
        return command;
    }

    std::unique_ptr<ScriptOutputView> open(const ScriptCommand& command, QStringList arguments = {}) {
        auto view = std::make_unique<ScriptOutputView>(command, std::move(arguments));
        view->setPresenter(&presenter);
        view->resize(720, 420);
        view->show();
        view->viewDidAppear();
        return view;
    }

    static bool finish(ScriptOutputView& view, int timeoutMs = 10000) {
        return waitUntil([&] { return view.hasFinished() && !view.isRunning(); }, timeoutMs);
    }

    // The format of the first character of `text` in the view.
    static QTextCharFormat formatAt(ScriptOutputView& view, const QString& text) {
        const QString shown = view.textView()->toPlainText();
        const int at = int(shown.indexOf(text));
        EXPECT_GE(at, 0) << text.toStdString();
        QTextCursor cursor(view.textView()->document());
        cursor.setPosition(std::max(0, at) + 1);
        return cursor.charFormat();
    }

    static const MenuItem* findAction(const std::vector<MenuItem>& actions, const QString& id) {
        for (const MenuItem& item : actions)
            if (item.id == id) return &item;
        return nullptr;
    }
};

TEST_F(ScriptOutputViewTest, ColouredOutputKeepsItsColoursWithoutEscapes) {
    const auto command = script(QStringLiteral("colours.sh"),
                                "#!/bin/sh\n"
                                "printf 'plain \\033[1;31mALERT\\033[0m after\\n'\n"
                                "printf '\\033[38;5;196mpalette\\033[0m \\033[48;2;0;0;255mbluebg\\033[0m\\n'\n"
                                "printf '\\033[4munder\\033[24m \\033[32mgreen\\033[2K\\033[1A gone\\033[0m\\n'\n"
                                "echo \"args: $1 $2\"\n"
                                "echo err-line >&2\n");
    auto view = open(command, {QStringLiteral("one"), QStringLiteral("two words")});
    EXPECT_EQ(view->title(), QStringLiteral("Show Output"));
    ASSERT_TRUE(finish(*view));
    view->flush();

    const QString shown = view->textView()->toPlainText();
    EXPECT_FALSE(shown.contains(QChar(0x1B)));
    EXPECT_TRUE(shown.contains(QStringLiteral("plain ALERT after")));
    EXPECT_TRUE(shown.contains(QStringLiteral("args: one two words")));
    EXPECT_TRUE(shown.contains(QStringLiteral("err-line")));
    EXPECT_TRUE(shown.contains(QStringLiteral("green gone")));

    const Theme& theme = Theme::current();
    EXPECT_EQ(formatAt(*view, QStringLiteral("ALERT")).foreground().color(),
              theme.named(QStringLiteral("terminalRed")));
    EXPECT_EQ(formatAt(*view, QStringLiteral(" after")).foreground().color(), theme.primaryText);
    EXPECT_EQ(formatAt(*view, QStringLiteral("palette")).foreground().color(), QColor(0xff, 0x00, 0x00));
    EXPECT_EQ(formatAt(*view, QStringLiteral("bluebg")).background().color(), QColor(0, 0, 255));
    EXPECT_TRUE(formatAt(*view, QStringLiteral("under")).fontUnderline());
    EXPECT_EQ(formatAt(*view, QStringLiteral("green")).foreground().color(),
              theme.named(QStringLiteral("terminalGreen")));

    // The closing line: "Done in 0.01s" in green.
    const int done = int(shown.lastIndexOf(QStringLiteral("Done in ")));
    ASSERT_GT(done, 0);
    EXPECT_TRUE(shown.mid(done).contains(QRegularExpression(QStringLiteral("^Done in \\d+\\.\\d\\ds$"))));
    EXPECT_EQ(formatAt(*view, QStringLiteral("Done in")).foreground().color(),
              theme.named(QStringLiteral("terminalGreen")));
    EXPECT_TRUE(presenter.toasts.empty());
    EXPECT_EQ(view->textView()->font().fixedPitch() || view->textView()->font().styleHint() == QFont::Monospace, true);
}

TEST_F(ScriptOutputViewTest, DarkAppearanceUsesItsOwnTerminalColours) {
    Theme::setCurrent(Theme::Appearance::dark);
    auto view = open(script(QStringLiteral("red.sh"), "#!/bin/sh\nprintf '\\033[31mred\\033[0m\\n'\n"));
    ASSERT_TRUE(finish(*view));
    view->flush();
    EXPECT_EQ(formatAt(*view, QStringLiteral("red")).foreground().color(),
              Theme::make(Theme::Appearance::dark).named(QStringLiteral("terminalRed")));
}

TEST_F(ScriptOutputViewTest, CopyActionsAndLinks) {
    auto view = open(script(QStringLiteral("links.sh"),
                            "#!/bin/sh\n"
                            "printf '\\033[34mSee https://example.org/docs?a=1 and\\033[0m\\n'\n"
                            "echo 'mirror ftp://files.example.net/pub/x.tar.gz'\n"
                            "echo 'again https://example.org/docs?a=1'\n"));
    ASSERT_TRUE(finish(*view));
    const auto actions = view->actions();
    EXPECT_EQ(findAction(actions, QStringLiteral("scriptCommandCancelProcess")), nullptr);
    ASSERT_NE(findAction(actions, QStringLiteral("scriptCommandRerun")), nullptr);
    EXPECT_EQ(findAction(actions, QStringLiteral("scriptCommandRerun"))->title, QStringLiteral("Rerun Script"));
    QStringList links;
    for (const MenuItem& item : actions)
        if (item.id == QStringLiteral("scriptCommandOpenLink")) {
            EXPECT_EQ(item.title, QStringLiteral("Open Link"));
            links << item.accessoryLabel.value_or(QString());
        }
    EXPECT_EQ(links, (QStringList{QStringLiteral("https://example.org/docs?a=1"),
                                  QStringLiteral("ftp://files.example.net/pub/x.tar.gz")}));

    const MenuItem* copy = findAction(actions, QStringLiteral("scriptCommandCopyOutput"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->title, QStringLiteral("Copy Output"));
    copy->perform();
    ASSERT_TRUE(presenter.clipboard);
    EXPECT_TRUE(presenter.clipboard->startsWith(QStringLiteral("See https://example.org/docs?a=1 and\n")));
    EXPECT_FALSE(presenter.clipboard->contains(QChar(0x1B)));
    ASSERT_FALSE(presenter.toasts.empty());
    EXPECT_EQ(presenter.lastToast()->title, QStringLiteral("Copied output to clipboard"));
    EXPECT_EQ(presenter.lastToast()->style, Toast::Style::success);

    const MenuItem* raw = findAction(actions, QStringLiteral("scriptCommandCopyRawOutput"));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->title, QStringLiteral("Copy Raw Output"));
    raw->perform();
    EXPECT_TRUE(presenter.clipboard->startsWith(QStringLiteral("\x1B[34mSee")));
    EXPECT_EQ(presenter.lastToast()->title, QStringLiteral("Copied raw output to clipboard"));
}

TEST_F(ScriptOutputViewTest, FailureShowsAToastAndNoDoneLine) {
    auto view = open(script(QStringLiteral("fails.sh"), "#!/bin/sh\necho partial\nexit 3\n"));
    QSignalSpy finished(view.get(), &ScriptOutputView::finished);
    ASSERT_TRUE(finish(*view));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.front().front().toBool());
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts.front().toast.style, Toast::Style::failure);
    EXPECT_EQ(presenter.toasts.front().toast.title, QStringLiteral("Script failed to run"));
    EXPECT_EQ(presenter.toasts.front().toast.message, QStringLiteral("Process terminated with status 3"));
    view->flush();
    EXPECT_TRUE(view->textView()->toPlainText().contains(QStringLiteral("partial")));
    EXPECT_FALSE(view->textView()->toPlainText().contains(QStringLiteral("Done in")));
}

TEST_F(ScriptOutputViewTest, ScriptThatCannotStartIsReported) {
    const auto command = script(QStringLiteral("nointerpreter.sh"), "#!/nonexistent/interpreter\necho hi\n");
    auto view = open(command);
    ASSERT_TRUE(finish(*view));
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts.front().toast.title, QStringLiteral("Script failed to run"));
    EXPECT_FALSE(presenter.toasts.front().toast.message.isEmpty());
}

TEST_F(ScriptOutputViewTest, CancelShowsProcessInterrupted) {
    auto view = open(script(QStringLiteral("sleeps.sh"), "#!/bin/sh\necho started\nexec sleep 30\n"));
    ASSERT_TRUE(waitUntil([&] {
        view->flush();
        return view->textView()->toPlainText().contains(QStringLiteral("started"));
    }));
    ASSERT_TRUE(view->isRunning());
    const auto running = view->actions();
    const MenuItem* cancel = findAction(running, QStringLiteral("scriptCommandCancelProcess"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->title, QStringLiteral("Cancel Process"));
    const MenuItem cancelItem = *cancel;
    cancelItem.perform();
    ASSERT_TRUE(finish(*view));
    view->flush();
    const QString shown = view->textView()->toPlainText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("started\n\nProcess interrupted")));
    EXPECT_EQ(formatAt(*view, QStringLiteral("Process interrupted")).foreground().color(),
              Theme::current().named(QStringLiteral("terminalRed")));
    EXPECT_TRUE(presenter.toasts.empty());
    const auto ended = view->actions();
    EXPECT_EQ(findAction(ended, QStringLiteral("scriptCommandCancelProcess")), nullptr);
}

TEST_F(ScriptOutputViewTest, RerunClearsAndRunsAgain) {
    const QString counter = dir.file(QStringLiteral("count"));
    auto view = open(script(QStringLiteral("count.sh"), QByteArray("#!/bin/sh\necho x >> '") + counter.toUtf8() +
                                                            "'\necho \"run $(wc -l < '" + counter.toUtf8() +
                                                            "' | tr -d ' ')\"\n"));
    ASSERT_TRUE(finish(*view));
    view->flush();
    EXPECT_TRUE(view->textView()->toPlainText().startsWith(QStringLiteral("run 1\n")));
    const auto actions = view->actions();
    ASSERT_NE(findAction(actions, QStringLiteral("scriptCommandRerun")), nullptr);
    const MenuItem rerun = *findAction(actions, QStringLiteral("scriptCommandRerun"));
    rerun.perform();
    ASSERT_TRUE(waitUntil([&] {
        view->flush();
        return view->hasFinished() && view->textView()->toPlainText().startsWith(QStringLiteral("run 2\n"));
    }));
    EXPECT_FALSE(view->textView()->toPlainText().contains(QStringLiteral("run 1")));
    EXPECT_EQ(view->textView()->toPlainText().count(QStringLiteral("Done in")), 1);
}

TEST_F(ScriptOutputViewTest, RunawayOutputIsBoundedAndTheLoopKeepsTurning) {
    // About 20 MB of coloured lines as fast as the script can print them.
    auto view = open(script(QStringLiteral("runaway.sh"),
                            "#!/bin/sh\n"
                            "yes \"$(printf '\\033[33mwarning\\033[0m 0123456789 abcdefghijklmnopqrstuvwxyz')\" | "
                            "head -c 20000000\n"
                            "echo LAST-LINE\n"));
    // The longest stretch without a timer firing: a window frozen by the output
    // would show seconds here.
    int ticks = 0;
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
    });
    ticker.start(20);
    qsizetype largest = 0;
    qsizetype mostLines = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            largest = std::max(largest, view->keptCharacters());
            mostLines = std::max(mostLines, view->keptLines());
            return view->hasFinished();
        },
        110000));
    view->flush();
    EXPECT_GT(ticks, 0);  // timers still fired while the output poured in
    EXPECT_LT(longestGapMs, 2000);
    EXPECT_TRUE(view->wasTrimmed());
    EXPECT_LE(largest, 2 * ScriptOutputView::maxKeptCharacters);
    EXPECT_LE(view->keptCharacters(), ScriptOutputView::maxKeptCharacters);
    EXPECT_LE(mostLines, ScriptOutputView::maxKeptLines + 5000);
    EXPECT_LE(view->keptLines(), ScriptOutputView::maxKeptLines);
    EXPECT_LE(view->textView()->document()->blockCount(), ScriptOutputView::maxKeptLines + 5);
    const QString shown = view->textView()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("… earlier output was trimmed")));
    EXPECT_TRUE(shown.contains(QStringLiteral("LAST-LINE\n\nDone in")));
    EXPECT_FALSE(shown.contains(QChar(0x1B)));
}

TEST_F(ScriptOutputViewTest, Screenshots) {
    const auto command =
        script(QStringLiteral("deploy.sh"),
               "#!/bin/sh\n"
               "echo 'Deploying build 1.4.2 to staging'\n"
               "printf '\\033[32m✔\\033[0m Compiled 128 modules\\n'\n"
               "printf '\\033[32m✔\\033[0m Uploaded assets (4.2 MB)\\n'\n"
               "printf '\\033[33m!\\033[0m 2 warnings: \\033[2munused import in app.ts\\033[0m\\n'\n"
               "printf '\\033[36minfo\\033[0m  cache hit ratio \\033[1m93%%\\033[0m\\n'\n"
               "printf '\\033[31m✖\\033[0m Smoke test skipped: \\033[4mno browser\\033[24m\\n'\n"
               "printf '\\033[35mmagenta\\033[0m \\033[34mblue\\033[0m \\033[38;5;208morange-256\\033[0m "
               "\\033[48;2;40;40;90m 24-bit background \\033[0m\\n'\n"
               "echo 'Preview: https://staging.example.org/builds/1.4.2'\n",
               QStringLiteral("Deploy to Staging"));
    forEachAppearance([&](Theme::Appearance, const QString& suffix) {
        ThemedFrame frame(QSize(750, 380));
        auto* view = new ScriptOutputView(command, {}, &frame);
        view->setPresenter(&presenter);
        frame.column()->addWidget(view);
        frame.show();
        view->viewDidAppear();
        ASSERT_TRUE(finish(*view));
        view->flush();
        QCoreApplication::processEvents();
        const QImage image = frame.grab().toImage();
        saveScreenshot(image, QStringLiteral("script-output-") + suffix);
        // The background is the theme's window colour, not the default grey.
        EXPECT_EQ(image.pixelColor(5, 5), Theme::current().windowBackground);
    });
}

}  // namespace
}  // namespace vantrel::test
