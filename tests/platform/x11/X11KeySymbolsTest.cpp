// The key table between the stored hotkey form and X keysyms.
#include "kit/KeyCombination.h"
#include "platform/HotkeyManager.h"
#include "platform/x11/X11KeySymbols.h"

#include <QString>

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <optional>
#include <utility>

namespace vantrel::test {
namespace {

using namespace X11KeySymbols;

std::optional<quint32> keysymOfStored(const QString& stored) {
    const auto combination = KeyCombination::fromPersistentString(stored);
    if (!combination) return std::nullopt;
    return keysym(*combination);
}

using Row = std::pair<quint32, std::optional<quint32>>;  // a virtual key code and its keysym

template <size_t N>
void expectKeysyms(const Row (&table)[N]) {
    for (const auto& [code, symbol] : table) EXPECT_EQ(keysym(code), symbol) << "virtual key code " << code;
}

TEST(X11KeySymbols, TheKeysOfTheMainBlockHaveTheirKeysyms) {
    const Row table[] = {{49, XK_space},  {0, XK_a},       {40, XK_k},         {18, XK_1},
                         {29, XK_0},      {36, XK_Return}, {48, XK_Tab},       {51, XK_BackSpace},
                         {53, XK_Escape}, {50, XK_grave},  {42, XK_backslash}, {47, XK_period}};
    expectKeysyms(table);
}

TEST(X11KeySymbols, FunctionNavigationAndKeypadKeysHaveTheirKeysyms) {
    const Row table[] = {{122, XK_F1},        {120, XK_F2},     {111, XK_F12},    {105, XK_F13}, {90, XK_F20},
                         {123, XK_Left},      {126, XK_Up},     {115, XK_Home},   {119, XK_End}, {116, XK_Page_Up},
                         {121, XK_Page_Down}, {117, XK_Delete}, {114, XK_Insert}, {82, XK_KP_0}, {92, XK_KP_9},
                         {76, XK_KP_Enter},   {69, XK_KP_Add}};
    expectKeysyms(table);
}

TEST(X11KeySymbols, CodesWithoutAKeyHaveNoKeysym) {
    // 10 is the ISO section key.
    const Row table[] = {{10, std::nullopt}, {52, std::nullopt}, {127, std::nullopt}, {100000, std::nullopt}};
    expectKeysyms(table);
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
    const std::pair<quint32, std::optional<quint32>> table[] = {
        {XK_K, 40},       {XK_exclam, 18}, {XK_question, 44}, {XK_ISO_Left_Tab, 48},
        {XK_KP_Home, 89}, {XK_Help, 114},  {XK_Num_Lock, {}}, {XK_Shift_L, {}},
        {0, {}}};
    for (const auto& [symbol, code] : table)
        EXPECT_EQ(virtualKeyCode(symbol), code) << "keysym 0x" << std::hex << symbol;
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
    const std::pair<const char*, quint32> table[] = {{"Option-49", XK_space},
                                                     {"Shift-Command-40", XK_k},
                                                     {"Control-Option-122", XK_F1},
                                                     {"Command-126", XK_Up},
                                                     {"Option-51", XK_BackSpace}};
    for (const auto& [stored, symbol] : table) EXPECT_EQ(keysymOfStored(QString::fromLatin1(stored)), symbol) << stored;
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
