#include "kit/KeyEquivalent.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(ModifierKeysTest, BitsHaveTheirStoredValues) {
    EXPECT_EQ(ModifierKeys::control.rawValue(), 1);
    EXPECT_EQ(ModifierKeys::option.rawValue(), 2);
    EXPECT_EQ(ModifierKeys::shift.rawValue(), 4);
    EXPECT_EQ(ModifierKeys::command.rawValue(), 8);
    EXPECT_EQ((ModifierKeys::control | ModifierKeys::shift).rawValue(), 5);
    EXPECT_TRUE(ModifierKeys().isEmpty());
    EXPECT_EQ(ModifierKeys(10), ModifierKeys::option | ModifierKeys::command);
}

TEST(ModifierKeysTest, InsertRemoveAndContains) {
    ModifierKeys keys;
    keys.insert(ModifierKeys::command);
    keys.insert(ModifierKeys::option);
    EXPECT_TRUE(keys.contains(ModifierKeys::command));
    EXPECT_TRUE(keys.contains(ModifierKeys::option | ModifierKeys::command));
    EXPECT_FALSE(keys.contains(ModifierKeys::shift));
    EXPECT_FALSE(keys.contains(ModifierKeys::shift | ModifierKeys::command));
    keys.remove(ModifierKeys::command);
    EXPECT_EQ(keys, ModifierKeys::option);
    keys.remove(ModifierKeys::option);
    EXPECT_TRUE(keys.isEmpty());
}

TEST(KeyEquivalentTest, HoldsExactlyOneCharacter) {
    EXPECT_EQ(KeyEquivalent::fromString(QStringLiteral("k"))->character(), U'k');
    EXPECT_EQ(KeyEquivalent::fromString(QStringLiteral("é"))->toString(), QStringLiteral("é"));
    EXPECT_EQ(KeyEquivalent::fromString(QStringLiteral("😀"))->character(), U'\U0001F600');
    EXPECT_EQ(KeyEquivalent::fromString(QString()), std::nullopt);
    EXPECT_EQ(KeyEquivalent::fromString(QStringLiteral("ab")), std::nullopt);
}

TEST(KeyboardShortcutTest, ShowsModifiersInLinuxOrder) {
    const KeyboardShortcut all{
        ModifierKeys::command | ModifierKeys::shift | ModifierKeys::option | ModifierKeys::control,
        KeyEquivalent(U'k')};
    EXPECT_EQ(all.displayText(), QStringLiteral("Ctrl+Alt+Shift+Super+K"));
    EXPECT_EQ((KeyboardShortcut{ModifierKeys::option, KeyEquivalent(U' ')}).displayText(), QStringLiteral("Alt+Space"));
    EXPECT_EQ((KeyboardShortcut{ModifierKeys::command, KeyEquivalent(U'\r')}).displayText(),
              QStringLiteral("Super+Return"));
    EXPECT_EQ((KeyboardShortcut{ModifierKeys(), KeyEquivalent(U'/')}).displayText(), QStringLiteral("/"));
}

}  // namespace
}  // namespace vantrel
