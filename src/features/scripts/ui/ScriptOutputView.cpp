#include "features/scripts/ui/ScriptOutputView.h"

#include "core/api/LauncherPresenter.h"
#include "features/scripts/ScriptCommandRunner.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "ui/toolkit/Theme.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace vantrel {

namespace {

constexpr int maxLinkActions = 30;
constexpr qsizetype maxHeldBack = 32;

const QString& trimmedNotice() {
    static const QString notice = QStringLiteral("… earlier output was trimmed\n");
    return notice;
}

// Control characters other than tab and newline (a lone carriage return, a
// bell, an escape that starts no sequence we know) are not shown.
QString printable(QStringView text) {
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\n' && u != u'\t') continue;
        if (u == 0x7F) continue;
        result.append(c);
    }
    return result;
}

QColor resolve(const TerminalColor& color, const Theme& theme) {
    if (color.rgb) return QColor::fromRgb(QRgb(*color.rgb));
    if (color.themeName) return theme.named(*color.themeName);
    return theme.primaryText;
}

QTextCharFormat formatFor(const TerminalTextAttributes& attributes, const Theme& theme) {
    QTextCharFormat format;
    if (attributes.foreground) {
        format.setForeground(resolve(*attributes.foreground, theme));
    } else if (attributes.background) {
        // A background without a text colour: the text takes whichever of
        // light or dark reads on it, as a terminal's default colours would.
        const QColor background = resolve(*attributes.background, theme);
        format.setForeground(background.lightness() < 140 ? QColor(0xF4, 0xF4, 0xF6) : QColor(0x1C, 0x1C, 0x1E));
    } else {
        format.setForeground(theme.primaryText);
    }
    if (attributes.background) format.setBackground(resolve(*attributes.background, theme));
    format.setFontUnderline(attributes.underline);
    format.setFontStrikeOut(attributes.strikethrough);
    return format;
}

// Where an escape sequence that is still being written starts at the end of
// the text (it waits for the next chunk), or -1.
qsizetype incompleteSequenceStart(const QString& text) {
    const qsizetype escape = text.lastIndexOf(QChar(0x1B));
    if (escape < 0 || text.size() - escape > maxHeldBack) return -1;
    static const QRegularExpression unfinished(QStringLiteral("^\\x1B(\\[\\??[0-9;]*)?$"));
    return unfinished.match(QStringView(text).mid(escape)).hasMatch() ? escape : -1;
}

}  // namespace

ScriptOutputView::ScriptOutputView(ScriptCommand command, QStringList arguments, QWidget* parent)
    : LauncherView(parent), m_command(std::move(command)), m_arguments(std::move(arguments)) {
    setObjectName(QStringLiteral("scriptOutputView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("scriptOutput"));
    m_text->setReadOnly(true);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setFocusPolicy(Qt::NoFocus);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setUndoRedoEnabled(false);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->document()->setDocumentMargin(16);
    layout->addWidget(m_text);

    m_renderTimer.setSingleShot(true);
    connect(&m_renderTimer, &QTimer::timeout, this, &ScriptOutputView::render);
    applyTheme();
}

ScriptOutputView::~ScriptOutputView() = default;

QString ScriptOutputView::title() const {
    return m_command.displayName;
}

void ScriptOutputView::viewDidAppear() {
    applyTheme();
    if (!m_hasStarted) start();
}

void ScriptOutputView::start() {
    if (isRunning()) return;
    m_hasStarted = true;
    m_finished = false;
    m_didCancelProcess = false;
    m_rerunRequested = false;
    m_formatter.clear();
    m_pending.clear();
    m_links.clear();
    m_lineCount = 0;
    m_renderedLength = 0;
    m_trimmed = false;
    m_needsFullRender = false;
    m_renderTimer.stop();
    m_text->clear();

    QPointer<ScriptOutputView> self(this);
    m_runner = std::make_unique<ScriptCommandRunner>(m_command, [self](const QString& chunk) {
        if (self) self->appendChunk(chunk);
    });
    ScriptCommandRunner* runner = m_runner.get();
    m_started.start();
    m_runner->run(m_arguments, [self, runner](const Result<QString>& result) {
        // A completion of a runner that a rerun replaced is of no interest.
        if (!self || self->m_runner.get() != runner) return;
        if (result.isSuccess()) {
            if (!result.value().isEmpty()) self->appendChunk(result.value());
            self->runEnded(true, {});
        } else {
            self->runEnded(false, result.error().errorDescription());
        }
    });
    emit actionsChanged();
}

void ScriptOutputView::rerun() {
    if (isRunning()) {
        // The new run starts once the current one has stopped.
        m_rerunRequested = true;
        m_didCancelProcess = true;
        m_runner->cancel();
        return;
    }
    start();
}

void ScriptOutputView::cancelProcess() {
    if (!isRunning()) return;
    m_didCancelProcess = true;
    m_runner->cancel();
    emit actionsChanged();
}

bool ScriptOutputView::isRunning() const {
    return m_runner && m_runner->isRunning() && !m_finished;
}

void ScriptOutputView::appendChunk(const QString& chunk) {
    m_pending += chunk;
    // A runaway script must not fill the memory between two renders.
    if (m_pending.size() > maxKeptCharacters) {
        m_pending.remove(0, m_pending.size() - maxKeptCharacters);
        m_needsFullRender = true;
        m_trimmed = true;
        m_formatter.terminalString.clear();
        m_lineCount = 0;
    }
    scheduleRender();
}

void ScriptOutputView::runEnded(bool success, const QString& failure) {
    m_finished = true;
    if (m_rerunRequested) {
        start();
        return;
    }
    if (m_didCancelProcess) {
        m_formatter.summaryString =
            TerminalOutputFormatter::wrap(QStringLiteral("\nProcess interrupted"), ANSIEscapeCode::foregroundRed);
    } else if (success) {
        const double seconds = double(m_started.elapsed()) / 1000.0;
        m_formatter.summaryString = TerminalOutputFormatter::wrap(
            QStringLiteral("\nDone in ") + QString::asprintf("%0.2fs", seconds), ANSIEscapeCode::foregroundGreen);
    } else if (presenter()) {
        // The window may have hidden while the script ran.
        presenter()->tell({Toast::Style::failure, QStringLiteral("Script failed to run"), failure});
    }
    flush();
    emit finished(success);
    emit actionsChanged();
}

void ScriptOutputView::scheduleRender() {
    if (m_renderTimer.isActive()) return;
    m_renderTimer.start(std::clamp(m_lastRenderMs * 2, renderInterval, 500));
}

void ScriptOutputView::flush() {
    m_renderTimer.stop();
    render();
}

void ScriptOutputView::trimIfNeeded() {
    QString& raw = m_formatter.terminalString;
    if (raw.size() <= maxKeptCharacters && m_lineCount <= maxKeptLines) return;
    // Drop the oldest quarter at a line boundary, so that trimming (and the
    // full render it needs) happens once per quarter, not on every chunk.
    qsizetype cut = std::max<qsizetype>(0, raw.size() - maxKeptCharacters * 3 / 4);
    if (m_lineCount > maxKeptLines) {
        qsizetype keep = maxKeptLines * 3 / 4;
        qsizetype position = raw.size();
        while (keep > 0 && position > 0) {
            position = raw.lastIndexOf(QLatin1Char('\n'), position - 1);
            if (position < 0) break;
            --keep;
        }
        if (position > 0) cut = std::max(cut, position);
    }
    const qsizetype newline = raw.indexOf(QLatin1Char('\n'), cut);
    if (newline >= 0 && newline - cut < 4096) cut = newline + 1;
    raw.remove(0, cut);
    m_lineCount = raw.count(QLatin1Char('\n'));
    m_trimmed = true;
    m_needsFullRender = true;
}

void ScriptOutputView::render() {
    QElapsedTimer timer;
    timer.start();
    if (!m_pending.isEmpty()) {
        QString ready = std::move(m_pending);
        m_pending.clear();
        const qsizetype held = incompleteSequenceStart(ready);
        if (held >= 0 && !m_finished) {
            m_pending = ready.mid(held);
            ready.truncate(held);
        }
        m_lineCount += ready.count(QLatin1Char('\n'));
        m_formatter.append(ready);
        trimIfNeeded();
    }
    if (m_needsFullRender) {
        renderAll();
    } else {
        const std::vector<TerminalTextRun> runs = m_formatter.styledRuns();
        QScrollBar* bar = m_text->verticalScrollBar();
        const bool atEnd = bar->value() >= bar->maximum() - 4;
        const Theme& theme = Theme::current();
        QTextCursor cursor(m_text->document());
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        qsizetype position = 0;
        for (const TerminalTextRun& run : runs) {
            const qsizetype end = position + run.text.size();
            if (end > m_renderedLength) {
                const qsizetype from = std::max<qsizetype>(0, m_renderedLength - position);
                cursor.insertText(printable(QStringView(run.text).mid(from)), formatFor(run.attributes, theme));
            }
            position = end;
        }
        cursor.endEditBlock();
        m_renderedLength = position;
        if (atEnd) bar->setValue(bar->maximum());
    }
    const size_t linkCount = m_links.size();
    if (m_formatter.links()) m_links = *m_formatter.links();
    m_lastRenderMs = int(timer.elapsed());
    if (!m_pending.isEmpty() && !m_finished) scheduleRender();
    if (m_links.size() != linkCount) emit actionsChanged();
}

void ScriptOutputView::renderAll() {
    m_needsFullRender = false;
    const std::vector<TerminalTextRun> runs = m_formatter.styledRuns();
    const Theme& theme = Theme::current();
    QScrollBar* bar = m_text->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 4 || m_text->document()->isEmpty();
    m_text->clear();
    QTextCursor cursor(m_text->document());
    cursor.beginEditBlock();
    if (m_trimmed) {
        QTextCharFormat notice;
        notice.setForeground(theme.tertiaryText);
        notice.setFontItalic(true);
        cursor.insertText(trimmedNotice(), notice);
    }
    qsizetype length = 0;
    for (const TerminalTextRun& run : runs) {
        cursor.insertText(printable(run.text), formatFor(run.attributes, theme));
        length += run.text.size();
    }
    cursor.endEditBlock();
    m_renderedLength = length;
    if (atEnd) bar->setValue(bar->maximum());
}

QString ScriptOutputView::plainOutput() {
    flush();
    return printable(m_formatter.plainText());
}

QString ScriptOutputView::rawOutput() const {
    return m_formatter.terminalString + m_pending;
}

qsizetype ScriptOutputView::keptCharacters() const {
    return m_formatter.terminalString.size() + m_pending.size();
}

std::vector<TerminalLink> ScriptOutputView::links() const {
    return m_links;
}

MenuItem ScriptOutputView::action(const QString& id, const QString& title, std::function<CommandOutcome()> run) const {
    MenuItem item;
    item.id = id;
    item.title = title;
    item.action = MenuItem::Run(std::move(run));
    return item;
}

std::vector<MenuItem> ScriptOutputView::actions() const {
    auto* self = const_cast<ScriptOutputView*>(this);
    QPointer<ScriptOutputView> guard(self);
    const auto copy = [guard](bool raw) {
        if (!guard) return CommandOutcome::done();
        const QString text = raw ? guard->rawOutput() : guard->plainOutput();
        const QString toast =
            raw ? QStringLiteral("Copied raw output to clipboard") : QStringLiteral("Copied output to clipboard");
        if (LauncherPresenter* presenter = guard->presenter()) {
            presenter->copyToClipboard(text);
            presenter->showToast({Toast::Style::success, toast, {}});
        } else if (QClipboard* clipboard = QGuiApplication::clipboard()) {
            clipboard->setText(text);
        }
        return CommandOutcome::done();
    };

    std::vector<MenuItem> items;
    items.push_back(action(QStringLiteral("scriptCommandCopyOutput"), QStringLiteral("Copy Output"),
                           [copy] { return copy(false); }));
    items.back().shortcuts = {KeyCombination{ModifierKeys::control | ModifierKeys::shift, KeyEquivalent(U'c')}};
    items.push_back(action(QStringLiteral("scriptCommandCopyRawOutput"), QStringLiteral("Copy Raw Output"),
                           [copy] { return copy(true); }));
    items.push_back(action(QStringLiteral("scriptCommandRerun"), QStringLiteral("Rerun Script"), [guard] {
        if (guard) guard->rerun();
        return CommandOutcome::done();
    }));
    items.back().shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'r')}};
    if (isRunning()) {
        items.push_back(action(QStringLiteral("scriptCommandCancelProcess"), QStringLiteral("Cancel Process"), [guard] {
            if (guard) guard->cancelProcess();
            return CommandOutcome::done();
        }));
        items.back().shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'.')}};
        items.back().actionType = MenuItem::ActionType::destructive;
    }
    QSet<QString> seen;
    for (const TerminalLink& link : m_links) {
        const QString address = link.url.toString();
        if (seen.contains(address)) continue;
        if (seen.size() >= maxLinkActions) break;
        seen.insert(address);
        const QUrl url = link.url;
        MenuItem item = action(QStringLiteral("scriptCommandOpenLink"), QStringLiteral("Open Link"), [url] {
            try {
                openOnDesktop(url);
            } catch (const std::exception& error) {
                return CommandOutcome::failed(QStringLiteral("Cannot open link"), VantrelError::describe(error));
            }
            return CommandOutcome::done();
        });
        item.accessoryLabel = address;
        item.representedObject = url;
        items.push_back(std::move(item));
    }
    return items;
}

bool ScriptOutputView::handleKey(QKeyEvent* event) {
    return scrollByKey(m_text, event);
}

void ScriptOutputView::changeEvent(QEvent* event) {
    LauncherView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyTheme();
        m_needsFullRender = true;
        scheduleRender();
    }
}

void ScriptOutputView::applyTheme() {
    const Theme& theme = Theme::current();
    m_text->setFont(theme.monospaceFont);
    m_text->document()->setDefaultFont(theme.monospaceFont);
    m_text->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; border: none; color: %1;"
                                         " selection-background-color: %2; selection-color: %3; }")
                              .arg(theme.primaryText.name(), theme.accent.name(), theme.accentText.name()) +
                          theme.scrollBarStyleSheet());
    m_text->viewport()->setAutoFillBackground(false);
}

}  // namespace vantrel
