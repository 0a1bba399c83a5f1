#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QStackedWidget;
class QTextBrowser;
class QToolButton;

namespace vantrel {

class FloatingNoteStore;
class UserDefaults;

// The floating note: a small window above the others with the note's
// Markdown, edited as plain text and shown rendered (Ctrl+E switches). Every
// change goes to the store's recovery file at once and to the database after
// `kSaveDelayMs` without typing; hiding or closing saves at once. Its size and
// place are kept in the user defaults ("floatingNotesWindowGeometry").
class FloatingNoteWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSaveDelayMs = 300;
    inline static const QString geometryKey = QStringLiteral("floatingNotesWindowGeometry");
    inline static const QString previewKey = QStringLiteral("floatingNotesShowsPreview");

    FloatingNoteWindow(FloatingNoteStore& store, UserDefaults& defaults, QWidget* parent = nullptr);
    ~FloatingNoteWindow() override;

    // Shows the window where it was, in front, with the keyboard focus.
    void present();
    bool isPreviewing() const;
    void setPreviewing(bool previewing);
    QString text() const;
    // Saves what is not in the database yet.
    void saveNow();
    bool hasUnsavedText() const { return m_saveTimer.isActive(); }

protected:
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void textChanged();
    void rememberGeometry();
    void render();

    FloatingNoteStore& m_store;
    UserDefaults& m_defaults;
    QStackedWidget* m_pages = nullptr;
    QPlainTextEdit* m_editor = nullptr;
    QTextBrowser* m_preview = nullptr;
    QToolButton* m_modeButton = nullptr;
    QTimer m_saveTimer;
    QTimer m_geometryTimer;
    bool m_restored = false;
};

}  // namespace vantrel
