#include "platform/x11/X11KeySymbols.h"

#include "kit/KeyCombination.h"
#include "platform/HotkeyManager.h"

#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <utility>

namespace vantrel::X11KeySymbols {

namespace {

using Entry = std::pair<quint32, quint32>;  // virtual key code, keysym

// One keysym per key of the original US layout, by its virtual key code.
constexpr std::array kKeys{
    Entry{0, XK_a},
    Entry{1, XK_s},
    Entry{2, XK_d},
    Entry{3, XK_f},
    Entry{4, XK_h},
    Entry{5, XK_g},
    Entry{6, XK_z},
    Entry{7, XK_x},
    Entry{8, XK_c},
    Entry{9, XK_v},
    Entry{11, XK_b},
    Entry{12, XK_q},
    Entry{13, XK_w},
    Entry{14, XK_e},
    Entry{15, XK_r},
    Entry{16, XK_y},
    Entry{17, XK_t},
    Entry{18, XK_1},
    Entry{19, XK_2},
    Entry{20, XK_3},
    Entry{21, XK_4},
    Entry{22, XK_6},
    Entry{23, XK_5},
    Entry{24, XK_equal},
    Entry{25, XK_9},
    Entry{26, XK_7},
    Entry{27, XK_minus},
    Entry{28, XK_8},
    Entry{29, XK_0},
    Entry{30, XK_bracketright},
    Entry{31, XK_o},
    Entry{32, XK_u},
    Entry{33, XK_bracketleft},
    Entry{34, XK_i},
    Entry{35, XK_p},
    Entry{36, XK_Return},
    Entry{37, XK_l},
    Entry{38, XK_j},
    Entry{39, XK_apostrophe},
    Entry{40, XK_k},
    Entry{41, XK_semicolon},
    Entry{42, XK_backslash},
    Entry{43, XK_comma},
    Entry{44, XK_slash},
    Entry{45, XK_n},
    Entry{46, XK_m},
    Entry{47, XK_period},
    Entry{48, XK_Tab},
    Entry{49, XK_space},
    Entry{50, XK_grave},
    Entry{51, XK_BackSpace},
    Entry{53, XK_Escape},
    Entry{64, XK_F17},
    Entry{65, XK_KP_Decimal},
    Entry{67, XK_KP_Multiply},
    Entry{69, XK_KP_Add},
    Entry{71, XK_Clear},
    Entry{75, XK_KP_Divide},
    Entry{76, XK_KP_Enter},
    Entry{78, XK_KP_Subtract},
    Entry{79, XK_F18},
    Entry{80, XK_F19},
    Entry{81, XK_KP_Equal},
    Entry{82, XK_KP_0},
    Entry{83, XK_KP_1},
    Entry{84, XK_KP_2},
    Entry{85, XK_KP_3},
    Entry{86, XK_KP_4},
    Entry{87, XK_KP_5},
    Entry{88, XK_KP_6},
    Entry{89, XK_KP_7},
    Entry{90, XK_F20},
    Entry{91, XK_KP_8},
    Entry{92, XK_KP_9},
    Entry{96, XK_F5},
    Entry{97, XK_F6},
    Entry{98, XK_F7},
    Entry{99, XK_F3},
    Entry{100, XK_F8},
    Entry{101, XK_F9},
    Entry{103, XK_F11},
    Entry{105, XK_F13},
    Entry{106, XK_F16},
    Entry{107, XK_F14},
    Entry{109, XK_F10},
    Entry{111, XK_F12},
    Entry{113, XK_F15},
    // The help key sits where PC keyboards have Insert.
    Entry{114, XK_Insert},
    Entry{115, XK_Home},
    Entry{116, XK_Page_Up},
    Entry{117, XK_Delete},
    Entry{118, XK_F4},
    Entry{119, XK_End},
    Entry{120, XK_F2},
    Entry{121, XK_Page_Down},
    Entry{122, XK_F1},
    Entry{123, XK_Left},
    Entry{124, XK_Right},
    Entry{125, XK_Down},
    Entry{126, XK_Up},
};

// Keysyms that reach the same keys another way: shifted symbols of the US
// layout, the keypad with Num Lock off, and keys of other keyboards.
constexpr std::array kAlternatives{
    Entry{18, XK_exclam},       Entry{19, XK_at},         Entry{20, XK_numbersign}, Entry{21, XK_dollar},
    Entry{22, XK_asciicircum},  Entry{23, XK_percent},    Entry{24, XK_plus},       Entry{25, XK_parenleft},
    Entry{26, XK_ampersand},    Entry{27, XK_underscore}, Entry{28, XK_asterisk},   Entry{29, XK_parenright},
    Entry{30, XK_braceright},   Entry{33, XK_braceleft},  Entry{39, XK_quotedbl},   Entry{41, XK_colon},
    Entry{42, XK_bar},          Entry{43, XK_less},       Entry{44, XK_question},   Entry{47, XK_greater},
    Entry{48, XK_ISO_Left_Tab}, Entry{50, XK_asciitilde}, Entry{65, XK_KP_Delete},  Entry{65, XK_KP_Separator},
    Entry{76, XK_KP_Enter},     Entry{82, XK_KP_Insert},  Entry{83, XK_KP_End},     Entry{84, XK_KP_Down},
    Entry{85, XK_KP_Page_Down}, Entry{86, XK_KP_Left},    Entry{87, XK_KP_Begin},   Entry{88, XK_KP_Right},
    Entry{89, XK_KP_Home},      Entry{91, XK_KP_Up},      Entry{92, XK_KP_Page_Up}, Entry{114, XK_Help},
};

}  // namespace

std::optional<quint32> keysym(quint32 virtualKeyCode) {
    for (const auto& [code, symbol] : kKeys)
        if (code == virtualKeyCode) return symbol;
    return std::nullopt;
}

std::optional<quint32> virtualKeyCode(quint32 keysym) {
    // Latin capitals are their lower-case key.
    if (keysym >= XK_A && keysym <= XK_Z) keysym += XK_a - XK_A;
    for (const auto& [code, symbol] : kKeys)
        if (symbol == keysym) return code;
    for (const auto& [code, symbol] : kAlternatives)
        if (symbol == keysym) return code;
    return std::nullopt;
}

std::vector<quint32> virtualKeyCodes() {
    std::vector<quint32> codes;
    codes.reserve(kKeys.size());
    for (const auto& entry : kKeys) codes.push_back(entry.first);
    std::sort(codes.begin(), codes.end());
    return codes;
}

std::optional<quint32> keysym(const KeyCombination& combination) {
    const auto code = KeyCombination::virtualKeyCode(combination.keyEquivalent);
    if (!code) return std::nullopt;
    return keysym(*code);
}

quint16 modifierMask(ModifierKeys modifiers) {
    quint16 mask = 0;
    if (modifiers.contains(ModifierKeys::shift)) mask |= Mask::shift;
    if (modifiers.contains(ModifierKeys::control)) mask |= Mask::control;
    if (modifiers.contains(ModifierKeys::option)) mask |= Mask::mod1;
    if (modifiers.contains(ModifierKeys::command)) mask |= Mask::mod4;
    return mask;
}

ModifierKeys modifierKeys(quint16 mask) {
    ModifierKeys modifiers;
    if (mask & Mask::shift) modifiers.insert(ModifierKeys::shift);
    if (mask & Mask::control) modifiers.insert(ModifierKeys::control);
    if (mask & Mask::mod1) modifiers.insert(ModifierKeys::option);
    if (mask & Mask::mod4) modifiers.insert(ModifierKeys::command);
    return modifiers;
}

}  // namespace vantrel::X11KeySymbols

namespace vantrel {

std::optional<CarbonKeys> CarbonKeys::from(const KeyCombination& combination) {
    const auto code = KeyCombination::virtualKeyCode(combination.keyEquivalent);
    if (!code) return std::nullopt;
    return CarbonKeys{*code, X11KeySymbols::modifierMask(combination.modifierKeys)};
}

}  // namespace vantrel
