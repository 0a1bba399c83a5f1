#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPalette;

namespace vantrel {

// The launcher's colours and fonts for the light or dark appearance. The
// appearance follows the desktop's colour scheme (what platform().colorScheme
// states, else GTK_THEME "…:dark", else the palette's window colour) unless
// "vantrelAppearance" says "light" or "dark".
class Theme {
public:
    enum class Appearance { light, dark };

    static const Theme& current();
    static void setCurrent(Appearance appearance);
    // What the desktop asks for.
    static Appearance desktopAppearance();
    static Theme make(Appearance appearance);

    Appearance appearance = Appearance::light;
    bool isDark() const { return appearance == Appearance::dark; }

    QColor windowBackground;
    QColor windowBorder;
    QColor separator;
    QColor primaryText;
    QColor secondaryText;
    QColor tertiaryText;
    QColor placeholderText;
    QColor selectionBackground;
    QColor hoverBackground;
    QColor accent;
    QColor accentText;
    QColor barBackground;  // the action bar at the bottom
    QColor keycapBackground;
    QColor keycapText;
    QColor fieldBackground;  // argument fields, form fields
    QColor fieldBorder;
    QColor success;
    QColor failure;
    QColor shadow;

    QFont baseFont;       // list rows, forms
    QFont searchFont;     // the search bar
    QFont sectionFont;    // section titles
    QFont smallFont;      // subtitles, accessories, keycaps
    QFont monospaceFont;  // terminal output, code

    // A named colour of the theme: "terminalBlack", "terminalRed", "terminalGreen",
    // "terminalYellow", "terminalBlue", "terminalMagenta", "terminalCyan",
    // "terminalWhite", plus "red", "orange", "yellow", "green", "blue", "purple",
    // "magenta", "primaryText", "secondaryText". Unknown names: primaryText.
    QColor named(const QString& name) const;

    // A palette for standard widgets (forms, dialogs) in this theme.
    QPalette palette() const;
    // Thin rounded scroll bars without arrows, for a style sheet.
    QString scrollBarStyleSheet() const;
};

}  // namespace vantrel
