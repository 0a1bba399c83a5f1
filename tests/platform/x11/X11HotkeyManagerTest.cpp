// Global hotkeys against the X server of the test session: real grabs on the
// root window, real key presses through xdotool, a second client competing
// for the same combinations, and keyboard mapping changes.
#include "kit/KeyCombination.h"
#include "kit/VantrelError.h"
#include "platform/x11/X11HotkeyManager.h"
#include "platform/x11/X11KeySymbols.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"
#include "support/X11TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <memory>
#include <vector>

namespace vantrel::test {
namespace {

class X11HotkeyManagerTest : public SessionDisplayTest {
protected:
    void SetUp() override {
        SessionDisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        manager = std::make_unique<X11HotkeyManager>();
    }
    void TearDown() override {
        // Leave the locks as they were.
        for (const QString& lock : locksToRelease) pressKeys(lock);
    }

    // A counter of presses for one combination.
    HotkeyRegistrationId observe(X11HotkeyManager& on, const char* stored, int& presses) {
        return on.observeKeyCombination(storedCombination(stored), [&presses] {
            ++presses;
            return true;
        });
    }

    // Presses the keys and waits for the sentinel combination (pressed right
    // after) to arrive: whatever the first press caused has happened by then.
    void pressAndSettle(const QString& keys) {
        const int before = sentinelPresses;
        pressKeys(keys);
        pressKeys(QStringLiteral("ctrl+shift+F9"));
        ASSERT_TRUE(waitUntil([&] { return sentinelPresses > before; }));
    }
    void addSentinel() { sentinel = observe(*manager, "Shift-Control-101", sentinelPresses); }

    std::unique_ptr<X11HotkeyManager> manager;
    HotkeyRegistrationId sentinel = 0;
    int sentinelPresses = 0;
    QStringList locksToRelease;
};

TEST_F(X11HotkeyManagerTest, ARegisteredCombinationFiresOnItsKeyPressOnTheMainThread) {
    int presses = 0;
    QThread* handlerThread = nullptr;
    manager->observeKeyCombination(storedCombination("Shift-Command-40"), [&] {
        ++presses;
        handlerThread = QThread::currentThread();
        return true;
    });
    pressKeys(QStringLiteral("super+shift+k"));
    ASSERT_TRUE(waitUntil([&] { return presses == 1; }));
    EXPECT_EQ(handlerThread, QCoreApplication::instance()->thread());
    pressKeys(QStringLiteral("super+shift+k"));
    ASSERT_TRUE(waitUntil([&] { return presses == 2; }));
}

TEST_F(X11HotkeyManagerTest, OtherModifiersOnTheSameKeyDoNotFire) {
    addSentinel();
    int presses = 0;
    observe(*manager, "Shift-Command-40", presses);
    pressAndSettle(QStringLiteral("super+k"));
    pressAndSettle(QStringLiteral("shift+k"));
    pressAndSettle(QStringLiteral("ctrl+super+shift+k"));
    EXPECT_EQ(presses, 0);
    pressAndSettle(QStringLiteral("super+shift+k"));
    EXPECT_EQ(presses, 1);
}

TEST_F(X11HotkeyManagerTest, LitLocksDoNotBreakAHotkey) {
    ASSERT_NE(manager->numLockMask(), 0) << "the test keyboard maps Num_Lock to a modifier";
    int presses = 0;
    observe(*manager, "Control-Option-38", presses);

    pressKeys(QStringLiteral("Num_Lock"));
    locksToRelease << QStringLiteral("Num_Lock");
    pressKeys(QStringLiteral("ctrl+alt+j"));
    ASSERT_TRUE(waitUntil([&] { return presses == 1; }));

    pressKeys(QStringLiteral("Caps_Lock"));
    locksToRelease << QStringLiteral("Caps_Lock");
    pressKeys(QStringLiteral("ctrl+alt+j"));
    ASSERT_TRUE(waitUntil([&] { return presses == 2; }));
}

TEST_F(X11HotkeyManagerTest, AKeypadKeyAndAFunctionKeyCanBeHotkeys) {
    int keypad = 0, function = 0;
    // The keypad has no key equivalent in the stored form; its raw key code still works.
    manager->observeCarbonKeys(CarbonKeys{92, X11KeySymbols::Mask::control | X11KeySymbols::Mask::mod1}, [&] {
        ++keypad;
        return true;
    });
    observe(*manager, "Shift-Option-96", function);  // F5
    pressKeys(QStringLiteral("Num_Lock"));
    locksToRelease << QStringLiteral("Num_Lock");
    pressKeys(QStringLiteral("ctrl+alt+KP_9"));
    ASSERT_TRUE(waitUntil([&] { return keypad == 1; }));
    pressKeys(QStringLiteral("shift+alt+F5"));
    ASSERT_TRUE(waitUntil([&] { return function == 1; }));
}

TEST_F(X11HotkeyManagerTest, ACombinationTheWindowManagerHoldsIsRefused) {
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning(), "needs the openbox of scripts/test-session");
    ScopedLogCapture logs;
    // openbox binds Super+F1 to its first desktop.
    EXPECT_EQ(registrationFailure(*manager, storedCombination("Command-122")),
              QStringLiteral("Cannot register Carbon hotkey."));
}

TEST_F(X11HotkeyManagerTest, RegisteringTheSameCombinationTwiceFailsAndKeepsTheFirst) {
    ScopedLogCapture logs;
    int first = 0, second = 0;
    const HotkeyRegistrationId id = observe(*manager, "Shift-Command-40", first);
    try {
        observe(*manager, "Shift-Command-40", second);
        FAIL() << "a second registration of the same keys was accepted";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(),
                  QStringLiteral("Handler for these Carbon keys has already been registered."));
    }
    EXPECT_TRUE(logs->contains(QStringLiteral("Handler for these Carbon keys has already been registered.")));
    EXPECT_TRUE(manager->isRegistered(id));
    EXPECT_EQ(manager->registrationCount(), 1);

    pressKeys(QStringLiteral("super+shift+k"));
    ASSERT_TRUE(waitUntil([&] { return first == 1; }));
    EXPECT_EQ(second, 0);
}

TEST_F(X11HotkeyManagerTest, ACombinationHeldByAnotherClientCannotBeRegistered) {
    X11HotkeyManager other;
    int presses = 0;
    observe(other, "Control-Option-40", presses);

    ScopedLogCapture logs;
    EXPECT_EQ(registrationFailure(*manager, storedCombination("Control-Option-40")),
              QStringLiteral("Cannot register Carbon hotkey."));
    EXPECT_TRUE(logs->contains(QStringLiteral("Cannot register Carbon hotkey.")));
    EXPECT_EQ(manager->registrationCount(), 0);

    // The holder keeps it.
    pressKeys(QStringLiteral("ctrl+alt+k"));
    ASSERT_TRUE(waitUntil([&] { return presses == 1; }));
}

TEST_F(X11HotkeyManagerTest, AFailedRegistrationLeavesNoPartialGrabBehind) {
    // Another client holds only the Caps Lock variant: our grab fails part way
    // and must give back the variants it did take.
    {
        ScopedRawGrab capsLockVariant(
            XK_l, X11KeySymbols::Mask::control | X11KeySymbols::Mask::mod1 | X11KeySymbols::Mask::lock);
        ASSERT_TRUE(capsLockVariant.grabbed());
        EXPECT_EQ(registrationFailure(*manager, storedCombination("Control-Option-37")),
                  QStringLiteral("Cannot register Carbon hotkey."));
    }
    X11HotkeyManager other;
    EXPECT_EQ(registrationFailure(other, storedCombination("Control-Option-37")), QStringLiteral("(free)"));
}

TEST_F(X11HotkeyManagerTest, UnregisteringFreesTheCombinationForAnotherClientAtOnce) {
    int ours = 0, theirs = 0;
    const HotkeyRegistrationId id = observe(*manager, "Shift-Control-Option-14", ours);
    manager->unregister(id);
    EXPECT_FALSE(manager->isRegistered(id));

    X11HotkeyManager other;
    observe(other, "Shift-Control-Option-14", theirs);
    pressKeys(QStringLiteral("ctrl+alt+shift+e"));
    ASSERT_TRUE(waitUntil([&] { return theirs == 1; }));
    EXPECT_EQ(ours, 0);
}

TEST_F(X11HotkeyManagerTest, AnUnregisteredHotkeyNoLongerFires) {
    addSentinel();
    int presses = 0;
    const HotkeyRegistrationId id = observe(*manager, "Shift-Command-40", presses);
    pressAndSettle(QStringLiteral("super+shift+k"));
    ASSERT_EQ(presses, 1);
    manager->unregister(id);
    pressAndSettle(QStringLiteral("super+shift+k"));
    EXPECT_EQ(presses, 1);
}

TEST_F(X11HotkeyManagerTest, ReleasingTheManagerFreesEveryCombination) {
    int presses = 0;
    observe(*manager, "Shift-Command-40", presses);
    observe(*manager, "Control-Option-38", presses);
    manager.reset();

    X11HotkeyManager other;
    EXPECT_EQ(registrationFailure(other, storedCombination("Shift-Command-40")), QStringLiteral("(free)"));
    EXPECT_EQ(registrationFailure(other, storedCombination("Control-Option-38")), QStringLiteral("(free)"));
}

TEST_F(X11HotkeyManagerTest, KeysWithoutAKeyCodeOrUnknownIdsAreErrors) {
    ScopedLogCapture logs;
    EXPECT_EQ(registrationFailure(*manager, KeyCombination{ModifierKeys::option, KeyEquivalent(U'é')}),
              QStringLiteral("Cannot convert key combination to carbon keys"));
    try {
        manager->observeCarbonKeys(CarbonKeys{52, 8}, [] { return true; });
        FAIL() << "a key code without a key was accepted";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Cannot convert key combination to carbon keys"));
    }
    try {
        manager->unregister(4000000000u);
        FAIL() << "an unknown id was unregistered";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Cannot unregister Carbon hotkey."));
    }
    EXPECT_EQ(manager->registrationCount(), 0);
}

TEST_F(X11HotkeyManagerTest, RegistrationIdsAreUniqueAcrossManagers) {
    X11HotkeyManager other;
    int presses = 0;
    const HotkeyRegistrationId a = observe(*manager, "Shift-Command-40", presses);
    const HotkeyRegistrationId b = observe(other, "Shift-Command-38", presses);
    const HotkeyRegistrationId c = observe(*manager, "Shift-Command-37", presses);
    EXPECT_NE(a, 0u);
    EXPECT_GT(b, a);
    EXPECT_GT(c, b);
}

TEST_F(X11HotkeyManagerTest, AKeyboardMappingChangeMovesTheGrabToTheNewKey) {
    addSentinel();
    int presses = 0;
    observe(*manager, "Control-Option-38", presses);  // j
    {
        ScopedSwappedKeys swap(XK_j, XK_k);
        ASSERT_TRUE(swap.swapped());
        ASSERT_TRUE(waitUntil([&] { return manager->keyboardMappingChanges() >= 1; }));
        // The key that types k now used to type j: it no longer fires.
        pressAndSettle(QStringLiteral("ctrl+alt+k"));
        EXPECT_EQ(presses, 0);
        pressAndSettle(QStringLiteral("ctrl+alt+j"));
        EXPECT_EQ(presses, 1);
    }
    ASSERT_TRUE(waitUntil([&] { return manager->keyboardMappingChanges() >= 2; }));
    pressAndSettle(QStringLiteral("ctrl+alt+j"));
    EXPECT_EQ(presses, 2);
}

TEST_F(X11HotkeyManagerTest, AltSpaceWorksOnceTheWindowManagerLetsGoOfIt) {
    VANTREL_REQUIRE_DESKTOP_OR_SKIP(windowManagerIsRunning() && releaseAltSpaceFromOpenbox(),
                                    "needs the openbox of scripts/test-session");
    int presses = 0;
    HotkeyRegistrationId id = 0;
    ScopedLogCapture quiet;
    // openbox drops its binding when it has read the new configuration.
    ASSERT_TRUE(waitUntil([&] {
        try {
            id = observe(*manager, "Option-49", presses);
            return true;
        } catch (const VantrelError&) {
            return false;
        }
    }));
    EXPECT_TRUE(manager->isRegistered(id));
    pressKeys(QStringLiteral("alt+space"));
    ASSERT_TRUE(waitUntil([&] { return presses == 1; }));
}

TEST(X11HotkeyManagerConnection, NoXServerIsAnError) {
    ScopedEnv display("DISPLAY", QByteArray(":9999"));
    ScopedLogCapture logs;
    try {
        X11HotkeyManager manager;
        FAIL() << "connected to a display that does not exist";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("Cannot install Carbon event handler."));
    }
}

}  // namespace
}  // namespace vantrel::test
