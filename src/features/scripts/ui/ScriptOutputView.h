#pragma once

#include "features/scripts/ScriptCommand.h"
#include "features/scripts/TerminalOutputFormatter.h"
#include "ui/toolkit/LauncherView.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <memory>

class QPlainTextEdit;

namespace vantrel {

class ScriptCommandRunner;

// The full output of a script command: runs the script when it first
// appears and streams what it prints, colours and all, into a read-only
// monospace text view that follows the end while the user has not scrolled
// away. Chunks are rendered together at most every 50 ms (slower while a
// render is expensive). Only the last `maxKeptCharacters` characters and
// `maxKeptLines` lines are kept; when more arrives, the oldest quarter is
// dropped and a grey line says so.
class ScriptOutputView : public LauncherView {
    Q_OBJECT

public:
    static constexpr qsizetype maxKeptCharacters = 1024 * 1024;
    static constexpr qsizetype maxKeptLines = 20000;
    static constexpr int renderInterval = 50;

    ScriptOutputView(ScriptCommand command, QStringList arguments, QWidget* parent = nullptr);
    ~ScriptOutputView() override;

    QString title() const override;
    std::vector<MenuItem> actions() const override;
    bool handleKey(QKeyEvent* event) override;
    void viewDidAppear() override;

    // Starts the script (once; viewDidAppear calls it).
    void start();
    void rerun();
    // "Cancel Process": interrupts the script; the output ends with "Process interrupted".
    void cancelProcess();
    bool isRunning() const;
    bool hasFinished() const { return m_finished; }

    QPlainTextEdit* textView() const { return m_text; }
    // The output as shown (without the trimming notice) and as received.
    QString plainOutput();
    QString rawOutput() const;
    // How many characters and lines of output are kept at the moment.
    qsizetype keptCharacters() const;
    qsizetype keptLines() const { return m_lineCount; }
    bool wasTrimmed() const { return m_trimmed; }
    std::vector<TerminalLink> links() const;
    // Renders what has arrived now instead of at the next tick.
    void flush();

signals:
    // The run ended: success false for a failure (not for an interruption).
    void finished(bool success);

protected:
    void changeEvent(QEvent* event) override;

private:
    void appendChunk(const QString& chunk);
    void runEnded(bool success, const QString& failure);
    void scheduleRender();
    void render();
    void renderAll();
    void trimIfNeeded();
    void applyTheme();
    MenuItem action(const QString& id, const QString& title, std::function<CommandOutcome()> run) const;

    ScriptCommand m_command;
    QStringList m_arguments;
    std::unique_ptr<ScriptCommandRunner> m_runner;
    TerminalOutputFormatter m_formatter;
    QPlainTextEdit* m_text = nullptr;
    QTimer m_renderTimer;
    QElapsedTimer m_started;
    QString m_pending;               // arrived, not yet given to the formatter
    qsizetype m_renderedLength = 0;  // characters of formatter text already in the view
    qsizetype m_lineCount = 0;
    int m_lastRenderMs = 0;
    bool m_hasStarted = false;
    bool m_finished = false;
    bool m_didCancelProcess = false;
    bool m_rerunRequested = false;
    bool m_trimmed = false;
    bool m_needsFullRender = false;
    std::vector<TerminalLink> m_links;
};

}  // namespace vantrel
