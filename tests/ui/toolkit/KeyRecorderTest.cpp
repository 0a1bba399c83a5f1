// The hotkey field: what a key press records, and what it refuses.
#include "ui/toolkit/KeyRecorder.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

class KeyRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder.resize(220, 30);
        recorder.show();
    }

    // Starts recording, presses the combination, returns the stored form.
    std::optional<QString> record(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        recorder.startRecording();
        QTest::keyClick(&recorder, key, modifiers);
        return recorder.persistentString();
    }

    KeyRecorder recorder;
};

// A combination pressed in the field, the form it is stored in and its keycaps
// (none listed: not checked).
struct Combination {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* stored;
    QStringList keycaps;
};

void PrintTo(const Combination& combination, std::ostream* os) {
    *os << combination.stored;
}

class KeyRecorderCombinationTest : public KeyRecorderTest, public ::testing::WithParamInterface<Combination> {};

TEST_P(KeyRecorderCombinationTest, IsRecordedInItsStoredFormAndEndsTheRecording) {
    QSignalSpy recorded(&recorder, &KeyRecorder::recorded);
    EXPECT_EQ(record(GetParam().key, GetParam().modifiers), QString::fromLatin1(GetParam().stored));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorded.count(), 1);
    EXPECT_TRUE(recorder.message().isEmpty());
    if (!GetParam().keycaps.isEmpty()) {
        EXPECT_EQ(KeyRecorder::keycapLabels(*recorder.keyCombination()), GetParam().keycaps);
    }
}

// Shifted symbols record their key; a function key needs no modifier.
INSTANTIATE_TEST_SUITE_P(
    Combinations, KeyRecorderCombinationTest,
    ::testing::Values(
        Combination{Qt::Key_Space, Qt::AltModifier, "Option-49", {"Alt", "Space"}},
        Combination{Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, "Shift-Control-40", {"Ctrl", "Shift", "K"}},
        Combination{Qt::Key_T, Qt::MetaModifier | Qt::AltModifier, "Option-Command-17", {"Alt", "Super", "T"}},
        Combination{Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, "Shift-Control-18", {}},
        Combination{Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier, "Shift-Option-44", {}},
        Combination{Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "Shift-Control-48", {}},
        Combination{Qt::Key_F5, Qt::NoModifier, "96", {"F5"}}),
    [](const auto& row) {
        return QString::fromLatin1(row.param.stored).replace(QLatin1Char('-'), QLatin1Char('_')).toStdString();
    });

TEST_F(KeyRecorderTest, EscapeCancelsAndKeepsThePreviousCombination) {
    recorder.setPersistentString(QStringLiteral("Option-49"));
    QSignalSpy cancelled(&recorder, &KeyRecorder::cancelled);
    QSignalSpy recorded(&recorder, &KeyRecorder::recorded);

    recorder.startRecording();
    QTest::keyClick(&recorder, Qt::Key_Escape);

    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(recorded.count(), 0);
    EXPECT_EQ(recorder.persistentString(), QStringLiteral("Option-49"));
}

TEST_F(KeyRecorderTest, BareLetterIsRefusedAndRecordingGoesOn) {
    recorder.setPersistentString(QStringLiteral("Option-49"));
    QSignalSpy refused(&recorder, &KeyRecorder::refused);

    recorder.startRecording();
    QTest::keyClick(&recorder, Qt::Key_A);

    EXPECT_EQ(recorder.message(), QStringLiteral("At least one modifier should be included into a hotkey."));
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.first().first().toString(), recorder.message());
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.persistentString(), QStringLiteral("Option-49"));

    // The next proper combination is taken and the message goes away.
    QTest::keyClick(&recorder, Qt::Key_J, Qt::ControlModifier);
    EXPECT_EQ(recorder.persistentString(), QStringLiteral("Control-38"));
    EXPECT_TRUE(recorder.message().isEmpty());
}

TEST_F(KeyRecorderTest, KeyWithoutStoredFormIsRefusedByName) {
    recorder.startRecording();
    QTest::keyClick(&recorder, Qt::Key_F13, Qt::ControlModifier);
    EXPECT_EQ(recorder.message(), QStringLiteral("F13 can't be part of a hotkey"));
    EXPECT_FALSE(recorder.keyCombination());

    QTest::keyClick(&recorder, Qt::Key_Eacute, Qt::AltModifier);
    EXPECT_TRUE(recorder.message().endsWith(QStringLiteral("can't be part of a hotkey")));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_FALSE(recorder.keyCombination());
}

TEST_F(KeyRecorderTest, ModifiersAloneKeepRecording) {
    recorder.startRecording();
    QTest::keyPress(&recorder, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(recorder.message().isEmpty());
    QTest::keyRelease(&recorder, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_FALSE(recorder.keyCombination());
}

TEST_F(KeyRecorderTest, BackspaceClearsOnlyWhenClearable) {
    recorder.setPersistentString(QStringLiteral("Control-40"));
    QSignalSpy cleared(&recorder, &KeyRecorder::cleared);
    recorder.startRecording();
    QTest::keyClick(&recorder, Qt::Key_Backspace);
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_FALSE(recorder.keyCombination());
    EXPECT_FALSE(recorder.isRecording());

    recorder.setClearable(false);
    recorder.setPersistentString(QStringLiteral("Control-40"));
    recorder.startRecording();
    QTest::keyClick(&recorder, Qt::Key_Delete);
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_EQ(recorder.message(), QStringLiteral("At least one modifier should be included into a hotkey."));
    EXPECT_EQ(recorder.persistentString(), QStringLiteral("Control-40"));
}

TEST_F(KeyRecorderTest, ClickStartsAndStopsRecording) {
    QSignalSpy changes(&recorder, &KeyRecorder::recordingChanged);
    QTest::mouseClick(&recorder, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
    EXPECT_TRUE(recorder.isRecording());
    QTest::mouseClick(&recorder, Qt::LeftButton, Qt::NoModifier, QPoint(20, 15));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(KeyRecorderTest, StoredTextThatNamesNoKeyShowsNothing) {
    recorder.setPersistentString(QStringLiteral("Option-49"));
    recorder.setPersistentString(QStringLiteral("Hyper-999"));
    EXPECT_FALSE(recorder.keyCombination());
    EXPECT_FALSE(recorder.persistentString());
}

}  // namespace
}  // namespace vantrel
