#include "kit/KeyCombination.h"

#include <gtest/gtest.h>

#include <QSet>

namespace vantrel {
namespace {

KeyCombination combo(ModifierKeys modifiers, char32_t key) {
    return {modifiers, KeyEquivalent(key)};
}

TEST(KeyCombinationTest, PersistentFormNamesModifiersInFixedOrderThenTheKeyCode) {
    EXPECT_EQ(combo(ModifierKeys::option, U' ').persistentString(), "Option-49");
    EXPECT_EQ(combo(ModifierKeys::command | ModifierKeys::shift | ModifierKeys::option | ModifierKeys::control, U'a')
                  .persistentString(),
              "Shift-Control-Option-Command-0");
    EXPECT_EQ(combo(ModifierKeys::control, U'\r').persistentString(), "Control-36");
    EXPECT_EQ(combo(ModifierKeys(), U'\t').persistentString(), "48");
    EXPECT_EQ(combo(ModifierKeys::command, FunctionKey::f1 + 11).persistentString(), "Command-111");
    EXPECT_EQ(combo(ModifierKeys::option, U'\b').persistentString(), "Option-51");
}

TEST(KeyCombinationTest, KeysWithoutAKeyCodeHaveNoPersistentForm) {
    EXPECT_EQ(combo(ModifierKeys::option, U'A').persistentString(), std::nullopt);
    EXPECT_EQ(combo(ModifierKeys::option, U'é').persistentString(), std::nullopt);
}

TEST(KeyCombinationTest, KnownKeyCodes) {
    // clang-format off
    const std::pair<char32_t, quint32> expected[] = {
        {U'a', 0}, {U's', 1}, {U'd', 2}, {U'f', 3}, {U'q', 12}, {U'1', 18}, {U'0', 29}, {U'=', 24}, {U'-', 27},
        {U'[', 33}, {U']', 30}, {U';', 41}, {U'\'', 39}, {U'\\', 42}, {U',', 43}, {U'/', 44}, {U'.', 47}, {U'`', 50},
        {U' ', 49}, {U'\r', 36}, {U'\t', 48}, {U'\x1b', 53}, {U'\x7f', 51},
        {FunctionKey::leftArrow, 123}, {FunctionKey::rightArrow, 124}, {FunctionKey::downArrow, 125},
        {FunctionKey::upArrow, 126}, {FunctionKey::f1, 122}, {FunctionKey::f1 + 1, 120}, {FunctionKey::f1 + 4, 96},
        {FunctionKey::forwardDelete, 117}, {FunctionKey::home, 115}};
    // clang-format on
    for (const auto& [key, code] : expected)
        EXPECT_EQ(KeyCombination::virtualKeyCode(KeyEquivalent(key)), code) << static_cast<unsigned>(key);
}

TEST(KeyCombinationTest, EveryKeyCodeRoundTripsThroughThePersistentForm) {
    QSet<quint32> seen;
    for (quint32 code = 0; code < 256; ++code) {
        const auto key = KeyCombination::keyEquivalentFor(code);
        if (!key) continue;
        seen.insert(code);
        EXPECT_EQ(KeyCombination::virtualKeyCode(*key), code);
        for (qint64 bits = 0; bits < 16; ++bits) {
            const KeyCombination original{ModifierKeys(bits), *key};
            const auto text = original.persistentString();
            ASSERT_TRUE(text);
            EXPECT_EQ(KeyCombination::fromPersistentString(*text), original) << text->toStdString();
        }
    }
    // 26 letters, 10 digits, 11 punctuation keys, 5 named keys, 4 arrows, 12
    // function keys and 6 of the navigation block.
    EXPECT_EQ(seen.size(), 74);
}

TEST(KeyCombinationTest, ParsingRefusesMalformedText) {
    for (const char* text :
         {"", "Option-", "Option", "Alt-49", "option-49", "Option-Option-49", "Option-4x", "Option--49", "Option-+49",
          "Option-10", "Option-999", "Option-49-Shift", " Option-49", "Option-0x31"})
        EXPECT_EQ(KeyCombination::fromPersistentString(QString::fromUtf8(text)), std::nullopt) << text;
    // Any order of modifier names is read; writing puts them in the fixed order.
    const auto parsed = KeyCombination::fromPersistentString("Command-Shift-1");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->persistentString(), "Shift-Command-1");
    EXPECT_EQ(parsed->keyEquivalent, KeyEquivalent(U's'));
}

TEST(KeyCombinationTest, ShownTheLinuxWay) {
    EXPECT_EQ(combo(ModifierKeys::option, U' ').displayText(), "Alt+Space");
    EXPECT_EQ(combo(ModifierKeys::command | ModifierKeys::control, U'k').displayText(), "Ctrl+Super+K");
}

}  // namespace
}  // namespace vantrel
