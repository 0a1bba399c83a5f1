#pragma once

#include "kit/Signal.h"

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QPalette;

namespace vantrel {

// The launcher's colours and fonts for the light or dark appearance. The
// appearance follows the desktop's colour scheme (what platform().colorScheme
// stated when last asked, else GTK_THEME "…:dark", else the palette's window
// colour) unless "vantrelAppearance" says "light" or "dark".
//
// The desktop is asked without waiting for it (the first time when the
// current theme is first made, again on refreshDesktopColorScheme()); its
// answer comes later, on the main thread.
class Theme {
public:
    enum class Appearance { light, dark };

    static const Theme& current();
    static void setCurrent(Appearance appearance);
    // What the desktop asks for, from what is known now: never waits.
    static Appearance desktopAppearance();
    // Asks the desktop for its colour scheme again. When the answer changes
    // what desktopAppearance() gives and the current theme followed it, the
    // current theme becomes the new one and appearanceChanged() is published.
    static void refreshDesktopColorScheme();
    // Published on the main thread after the desktop's answer changed the
    // current theme: whoever shows it repaints.
    static Signal<>& appearanceChanged();
    static Theme make(Appearance appearance);
    // A colour as a style sheet writes it ("rgba(r,g,b,a)").
    static QString cssColor(const QColor& color);

    // A bold title over a smaller grey message, as sheets and banners show them.
    void styleTitleAndMessage(QLabel* title, QLabel* message) const;

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
