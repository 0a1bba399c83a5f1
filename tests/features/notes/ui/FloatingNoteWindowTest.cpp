// The note window on the test session's X server: typing is kept at once and
// saved after a pause, the rendered Markdown shows on Ctrl+E, and size and
// place come back in the next window.
#include "features/notes/FloatingNoteStore.h"
#include "features/notes/ui/FloatingNoteWindow.h"
#include "support/DatabaseTestSupport.h"

#include "kit/UserDefaults.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

namespace vantrel::test {
namespace {

class FloatingNoteWindowTest : public OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        UserDefaults::resetStandard();
    }
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!condition()) {
            if (deadline.hasExpired()) return false;
            QTest::qWait(10);
        }
        return true;
    }
};

TEST_F(FloatingNoteWindowTest, TypingIsSavedAfterAPause) {
    FloatingNoteStore store(pool);
    FloatingNoteWindow window(store, UserDefaults::standard());
    window.present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* editor = window.findChild<QPlainTextEdit*>(QStringLiteral("floatingNoteEditor"));
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, QStringLiteral("Call Ada"));
    // Kept at once, in the database after the pause.
    EXPECT_TRUE(QFile::exists(FloatingNoteStore::recoveryFile()));
    EXPECT_TRUE(window.hasUnsavedText());
    FloatingNoteStore reader(pool);
    ASSERT_TRUE(waitFor([&] { return reader.storedText() == QStringLiteral("Call Ada"); }));
    EXPECT_FALSE(QFile::exists(FloatingNoteStore::recoveryFile()));
}

TEST_F(FloatingNoteWindowTest, HidingSavesWhatThePauseHasNotYet) {
    FloatingNoteStore store(pool);
    FloatingNoteWindow window(store, UserDefaults::standard());
    window.present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::keyClicks(window.findChild<QPlainTextEdit*>(QStringLiteral("floatingNoteEditor")), QStringLiteral("x"));
    window.hide();
    EXPECT_EQ(FloatingNoteStore(pool).storedText(), QStringLiteral("x"));
}

TEST_F(FloatingNoteWindowTest, CtrlEShowsTheRenderedMarkdownAndBack) {
    FloatingNoteStore store(pool);
    store.load();
    store.save(QStringLiteral("# Plan\n\n- **bold** item"));
    FloatingNoteWindow window(store, UserDefaults::standard());
    window.present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_FALSE(window.isPreviewing());
    QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(window.isPreviewing());
    auto* preview = window.findChild<QTextBrowser*>(QStringLiteral("floatingNotePreview"));
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->toPlainText().trimmed().split('\n').first(), QStringLiteral("Plan"));
    EXPECT_TRUE(preview->toHtml().contains(QStringLiteral("font-weight:700")) ||
                preview->toHtml().contains(QStringLiteral("font-weight:600")));
    QTest::keyClick(&window, Qt::Key_E, Qt::ControlModifier);
    EXPECT_FALSE(window.isPreviewing());
    // The mode is kept for the next window.
    EXPECT_FALSE(UserDefaults::standard().value(FloatingNoteWindow::previewKey).toBool());
}

TEST_F(FloatingNoteWindowTest, SizeAndPlaceComeBack) {
    FloatingNoteStore store(pool);
    const QRect wanted(140, 120, 360, 280);
    {
        FloatingNoteWindow window(store, UserDefaults::standard());
        window.present();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.setGeometry(wanted);
        ASSERT_TRUE(waitFor([&] { return window.geometry().size() == wanted.size(); }));
        window.hide();
        EXPECT_FALSE(UserDefaults::standard().value(FloatingNoteWindow::geometryKey).toString().isEmpty());
    }
    FloatingNoteWindow next(store, UserDefaults::standard());
    next.present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
    EXPECT_EQ(next.size(), wanted.size());
    EXPECT_LE((next.geometry().topLeft() - wanted.topLeft()).manhattanLength(), 40);
}

TEST_F(FloatingNoteWindowTest, AStoredGeometryThatIsGarbageFallsBackToTheCorner) {
    UserDefaults::standard().setValue(FloatingNoteWindow::geometryKey, QStringLiteral("not base64 at all %%%"));
    FloatingNoteStore store(pool);
    FloatingNoteWindow window(store, UserDefaults::standard());
    EXPECT_EQ(window.size(), QSize(320, 260));
}

}  // namespace
}  // namespace vantrel::test
