// How menu items' key bindings read, in the forms GTK and Qt publish them.
#include "platform/freedesktop/AtSpiMenus.h"

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

TEST(AtSpiMenuShortcuts, GtkBindingsBecomeTheKeysAUserReads) {
    EXPECT_EQ(AtSpiMenus::readableShortcut("s;<Alt>f:s;<Primary>s"), "Ctrl+S");
    EXPECT_EQ(AtSpiMenus::readableShortcut("e;<Alt>f:e;<Control><Shift>e"), "Ctrl+Shift+E");
    EXPECT_EQ(AtSpiMenus::readableShortcut("q;;<Super><Alt>F4"), "Super+Alt+F4");
    // A mnemonic and no accelerator: no shortcut.
    EXPECT_EQ(AtSpiMenus::readableShortcut("n;<Alt>f:n;"), "");
}

TEST(AtSpiMenuShortcuts, QtBindingsStayAndNoiseIsDropped) {
    EXPECT_EQ(AtSpiMenus::readableShortcut("Ctrl+N"), "Ctrl+N");
    EXPECT_EQ(AtSpiMenus::readableShortcut(""), "");
    EXPECT_EQ(AtSpiMenus::readableShortcut("x"), "");
    EXPECT_EQ(AtSpiMenus::readableShortcut(";;"), "");
    EXPECT_EQ(AtSpiMenus::readableShortcut("a;b"), "");
    EXPECT_EQ(AtSpiMenus::readableShortcut("s;;<Control>"), "");
    EXPECT_EQ(AtSpiMenus::readableShortcut("s;;<Control"), "");
}

}  // namespace
}  // namespace vantrel::test
