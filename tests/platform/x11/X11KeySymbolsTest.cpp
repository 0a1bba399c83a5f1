// The key table between the stored hotkey form and X keysyms.
#include "kit/KeyCombination.h"
#include "platform/HotkeyManager.h"
#include "platform/x11/X11KeySymbols.h"

#include <QString>

#include <gtest/gtest.h>

#include <X11/keysym.h>

namespace vantrel::test {
namespace {

using namespace X11KeySymbols;

std::optional<quint32> keysymOfStored(const QString& stored) {
    const auto combination = KeyCombination::fromPersistentString(stored);
    if (!combination) return std::nullopt;
    return keysym(*combination);
}

TEST(X11KeySymbols, TheKeysOfTheMainBlockHaveTheirKeysyms) {
    EXPECT_EQ(keysym(49), XK_space);
    EXPECT_EQ(keysym(0), XK_a);
    EXPECT_EQ(keysym(40), XK_k);
    EXPECT_EQ(keysym(18), XK_1);
    EXPECT_EQ(keysym(29), XK_0);
    EXPECT_EQ(keysym(36), XK_Return);
    EXPECT_EQ(keysym(48), XK_Tab);
    EXPECT_EQ(keysym(51), XK_BackSpace);
    EXPECT_EQ(keysym(53), XK_Escape);
    EXPECT_EQ(keysym(50), XK_grave);
    EXPECT_EQ(keysym(42), XK_backslash);
    EXPECT_EQ(keysym(47), XK_period);
}

TEST(X11KeySymbols, FunctionNavigationAndKeypadKeysHaveTheirKeysyms) {
    EXPECT_EQ(keysym(122), XK_F1);
    EXPECT_EQ(keysym(120), XK_F2);
    EXPECT_EQ(keysym(111), XK_F12);
    EXPECT_EQ(keysym(105), XK_F13);
    EXPECT_EQ(keysym(90), XK_F20);
    EXPECT_EQ(keysym(123), XK_Left);
    EXPECT_EQ(keysym(126), XK_Up);
    EXPECT_EQ(keysym(115), XK_Home);
    EXPECT_EQ(keysym(119), XK_End);
    EXPECT_EQ(keysym(116), XK_Page_Up);
    EXPECT_EQ(keysym(121), XK_Page_Down);
    EXPECT_EQ(keysym(117), XK_Delete);
    EXPECT_EQ(keysym(114), XK_Insert);
    EXPECT_EQ(keysym(82), XK_KP_0);
    EXPECT_EQ(keysym(92), XK_KP_9);
    EXPECT_EQ(keysym(76), XK_KP_Enter);
    EXPECT_EQ(keysym(69), XK_KP_Add);
}

TEST(X11KeySymbols, CodesWithoutAKeyHaveNoKeysym) {
    EXPECT_EQ(keysym(10), std::nullopt);  // the ISO section key
    EXPECT_EQ(keysym(52), std::nullopt);
    EXPECT_EQ(keysym(127), std::nullopt);
    EXPECT_EQ(keysym(100000), std::nullopt);
}

TEST(X11KeySymbols, EveryCodeMapsToAKeysymAndBackToItself) {
    const auto codes = virtualKeyCodes();
    ASSERT_GE(codes.size(), 100u);
    for (quint32 code : codes) {
        const auto symbol = keysym(code);
        ASSERT_TRUE(symbol) << code;
        EXPECT_EQ(virtualKeyCode(*symbol), code) << "keysym 0x" << std::hex << *symbol;
    }
}

TEST(X11KeySymbols, EveryKeyOfTheStoredFormHasAKeysym) {
    for (quint32 code = 0; code < 256; ++code) {
        const auto key = KeyCombination::keyEquivalentFor(code);
        if (!key) continue;
        EXPECT_TRUE(keysym(code)) << "virtual key code " << code;
    }
}

TEST(X11KeySymbols, CapitalsShiftedSymbolsAndKeypadNavigationFindTheirKey) {
    EXPECT_EQ(virtualKeyCode(XK_K), 40u);
    EXPECT_EQ(virtualKeyCode(XK_exclam), 18u);
    EXPECT_EQ(virtualKeyCode(XK_question), 44u);
    EXPECT_EQ(virtualKeyCode(XK_ISO_Left_Tab), 48u);
    EXPECT_EQ(virtualKeyCode(XK_KP_Home), 89u);
    EXPECT_EQ(virtualKeyCode(XK_Help), 114u);
    EXPECT_EQ(virtualKeyCode(XK_Num_Lock), std::nullopt);
    EXPECT_EQ(virtualKeyCode(XK_Shift_L), std::nullopt);
    EXPECT_EQ(virtualKeyCode(0), std::nullopt);
}

TEST(X11KeySymbols, ModifiersMapToAltSuperControlAndShift) {
    EXPECT_EQ(modifierMask(ModifierKeys::option), Mask::mod1);
    EXPECT_EQ(modifierMask(ModifierKeys::command), Mask::mod4);
    EXPECT_EQ(modifierMask(ModifierKeys::control), Mask::control);
    EXPECT_EQ(modifierMask(ModifierKeys::shift), Mask::shift);
    EXPECT_EQ(modifierMask(ModifierKeys()), 0);
    const ModifierKeys all = ModifierKeys::option | ModifierKeys::command | ModifierKeys::control | ModifierKeys::shift;
    EXPECT_EQ(modifierKeys(modifierMask(all)), all);
    // Lock bits and the other modifiers have no place in a hotkey.
    EXPECT_EQ(modifierKeys(Mask::lock | Mask::mod2 | Mask::mod3 | Mask::mod5), ModifierKeys());
}

TEST(X11KeySymbols, StoredFormsReachTheirKeysyms) {
    EXPECT_EQ(keysymOfStored(QStringLiteral("Option-49")), XK_space);
    EXPECT_EQ(keysymOfStored(QStringLiteral("Shift-Command-40")), XK_k);
    EXPECT_EQ(keysymOfStored(QStringLiteral("Control-Option-122")), XK_F1);
    EXPECT_EQ(keysymOfStored(QStringLiteral("Command-126")), XK_Up);
    EXPECT_EQ(keysymOfStored(QStringLiteral("Option-51")), XK_BackSpace);
}

TEST(X11KeySymbols, KeysFromTheKeyboardRoundTripThroughTheStoredForm) {
    // What a key recorder does: keysym and mask in, stored text out, and back.
    struct Press {
        quint32 keysym;
        quint16 mask;
        const char* stored;
    };
    const Press presses[] = {
        {XK_space, Mask::mod1, "Option-49"},
        {XK_K, quint16(Mask::shift | Mask::mod4), "Shift-Command-40"},
        {XK_F5, quint16(Mask::control | Mask::mod1), "Control-Option-96"},
        {XK_Left, Mask::mod4, "Command-123"},
        {XK_Escape, quint16(Mask::shift | Mask::control | Mask::mod1 | Mask::mod4), "Shift-Control-Option-Command-53"},
    };
    for (const Press& press : presses) {
        const auto code = virtualKeyCode(press.keysym);
        ASSERT_TRUE(code) << press.stored;
        const auto key = KeyCombination::keyEquivalentFor(*code);
        ASSERT_TRUE(key) << press.stored;
        const KeyCombination combination{modifierKeys(press.mask), *key};
        EXPECT_EQ(combination.persistentString(), QString::fromLatin1(press.stored));

        const auto parsed = KeyCombination::fromPersistentString(QString::fromLatin1(press.stored));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(modifierMask(parsed->modifierKeys), press.mask) << press.stored;
        EXPECT_EQ(virtualKeyCode(*keysym(*parsed)), *code) << press.stored;
    }
}

TEST(X11KeySymbols, CarbonKeysCarryTheCodeAndTheXMask) {
    const auto keys = CarbonKeys::from(*KeyCombination::fromPersistentString(QStringLiteral("Shift-Command-40")));
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->virtualKeyCode, 40u);
    EXPECT_EQ(keys->modifierKeys, quint32(Mask::shift | Mask::mod4));
    // A key without a virtual key code cannot be grabbed.
    EXPECT_EQ(CarbonKeys::from(KeyCombination{ModifierKeys::option, KeyEquivalent(U'é')}), std::nullopt);
}

}  // namespace
}  // namespace vantrel::test
