#include "features/notes/ui/FloatingNoteWindow.h"

#include "features/notes/FloatingNoteStore.h"
#include "kit/UserDefaults.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace vantrel {

FloatingNoteWindow::FloatingNoteWindow(FloatingNoteStore& store, UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_store(store), m_defaults(defaults) {
    setWindowTitle(QStringLiteral("Floating Notes"));
    setObjectName(QStringLiteral("floatingNoteWindow"));
    setMinimumSize(200, 120);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    auto* bar = new QHBoxLayout();
    auto* hint = new QLabel(QStringLiteral("Markdown"), this);
    hint->setEnabled(false);
    bar->addWidget(hint);
    bar->addStretch();
    m_modeButton = new QToolButton(this);
    m_modeButton->setAutoRaise(true);
    m_modeButton->setToolTip(QStringLiteral("Switch between editing and the rendered note (Ctrl+E)"));
    connect(m_modeButton, &QToolButton::clicked, this, [this] { setPreviewing(!isPreviewing()); });
    bar->addWidget(m_modeButton);
    layout->addLayout(bar);

    m_pages = new QStackedWidget(this);
    m_editor = new QPlainTextEdit(this);
    m_editor->setObjectName(QStringLiteral("floatingNoteEditor"));
    m_editor->setPlaceholderText(QStringLiteral("Write a note in Markdown…"));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_preview = new QTextBrowser(this);
    m_preview->setObjectName(QStringLiteral("floatingNotePreview"));
    m_preview->setOpenExternalLinks(true);
    m_preview->setFrameShape(QFrame::NoFrame);
    m_pages->addWidget(m_editor);
    m_pages->addWidget(m_preview);
    layout->addWidget(m_pages, 1);

    auto* toggle = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this);
    connect(toggle, &QShortcut::activated, this, [this] { setPreviewing(!isPreviewing()); });
    auto* dismiss = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(dismiss, &QShortcut::activated, this, &QWidget::hide);

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { m_store.save(text()); });
    m_geometryTimer.setSingleShot(true);
    m_geometryTimer.setInterval(250);
    connect(&m_geometryTimer, &QTimer::timeout, this, &FloatingNoteWindow::rememberGeometry);

    m_editor->setPlainText(m_store.load());
    connect(m_editor, &QPlainTextEdit::textChanged, this, &FloatingNoteWindow::textChanged);
    setPreviewing(m_defaults.value(previewKey).toBool() && !text().isEmpty());

    const QByteArray geometry = QByteArray::fromBase64(m_defaults.value(geometryKey).toByteArray());
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        // The first time: a small window at the top right of the primary screen.
        resize(320, 260);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.right() - width() - 24, area.top() + 48);
        }
    }
    m_restored = true;
}

FloatingNoteWindow::~FloatingNoteWindow() {
    saveNow();
}

void FloatingNoteWindow::present() {
    show();
    raise();
    activateWindow();
    if (!isPreviewing()) m_editor->setFocus();
}

bool FloatingNoteWindow::isPreviewing() const {
    return m_pages->currentWidget() == m_preview;
}

void FloatingNoteWindow::setPreviewing(bool previewing) {
    if (previewing) render();
    m_pages->setCurrentWidget(previewing ? static_cast<QWidget*>(m_preview) : m_editor);
    m_modeButton->setText(previewing ? QStringLiteral("Edit") : QStringLiteral("Preview"));
    (previewing ? static_cast<QWidget*>(m_preview) : m_editor)->setFocus();
    if (m_restored) m_defaults.setValue(previewKey, previewing);
}

QString FloatingNoteWindow::text() const {
    return m_editor->toPlainText();
}

void FloatingNoteWindow::saveNow() {
    if (!m_saveTimer.isActive()) return;
    m_saveTimer.stop();
    m_store.save(text());
}

void FloatingNoteWindow::textChanged() {
    m_store.keep(text());
    m_saveTimer.start();
}

void FloatingNoteWindow::render() {
    m_preview->setMarkdown(text());
}

void FloatingNoteWindow::rememberGeometry() {
    if (!m_restored || !isVisible()) return;
    m_defaults.setValue(geometryKey, QString::fromLatin1(saveGeometry().toBase64()));
}

void FloatingNoteWindow::hideEvent(QHideEvent* event) {
    saveNow();
    if (m_geometryTimer.isActive()) {
        m_geometryTimer.stop();
        m_defaults.setValue(geometryKey, QString::fromLatin1(saveGeometry().toBase64()));
    }
    QWidget::hideEvent(event);
}

void FloatingNoteWindow::closeEvent(QCloseEvent* event) {
    // Closing only hides: the launcher keeps the note for the next toggle.
    event->ignore();
    hide();
}

void FloatingNoteWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible()) m_geometryTimer.start();
}

void FloatingNoteWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible()) m_geometryTimer.start();
}


}  // namespace vantrel
