#include "ui/toolkit/Theme.h"

#include "kit/UserDefaults.h"
#include "platform/ColorScheme.h"
#include "platform/Platform.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>

#include <optional>

namespace vantrel {

namespace {

QColor rgba(int r, int g, int b, int a = 255) {
    return QColor(r, g, b, a);
}

std::optional<Theme>& currentStorage() {
    static std::optional<Theme> theme;
    return theme;
}

QFont uiFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

std::optional<Theme::Appearance> appearanceFromText(const QString& text) {
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("light")) return Theme::Appearance::light;
    if (value == QLatin1String("dark")) return Theme::Appearance::dark;
    return std::nullopt;
}

// What the desktop stated when it last answered (nothing: no preference, or
// no answer yet).
std::optional<Theme::Appearance>& desktopStatement() {
    static std::optional<Theme::Appearance> statement;
    return statement;
}

bool& desktopAsked() {
    static bool asked = false;
    return asked;
}

std::optional<Theme::Appearance> gtkThemeAppearance() {
    const QString gtkTheme = qEnvironmentVariable("GTK_THEME");
    if (gtkTheme.isEmpty()) return std::nullopt;
    if (gtkTheme.endsWith(QLatin1String(":dark"), Qt::CaseInsensitive)) return Theme::Appearance::dark;
    return std::nullopt;
}

Theme::Appearance paletteAppearance() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return Theme::Appearance::light;
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? Theme::Appearance::dark : Theme::Appearance::light;
}

}  // namespace

QString Theme::cssColor(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF());
}

void Theme::styleTitleAndMessage(QLabel* title, QLabel* message) const {
    QFont titleFont = baseFont;
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    message->setFont(smallFont);
    title->setStyleSheet(QStringLiteral("color: %1;").arg(cssColor(primaryText)));
    message->setStyleSheet(QStringLiteral("color: %1;").arg(cssColor(secondaryText)));
}

const Theme& Theme::current() {
    auto& theme = currentStorage();
    if (!theme) {
        theme = make(desktopAppearance());
        if (!desktopAsked()) refreshDesktopColorScheme();
    }
    return *theme;
}

void Theme::setCurrent(Appearance appearance) {
    currentStorage() = make(appearance);
}

Signal<>& Theme::appearanceChanged() {
    static Signal<> signal;
    return signal;
}

void Theme::refreshDesktopColorScheme() {
    const auto& source = platform().colorScheme;
    // The answer comes through the event loop: without one nobody would hear it.
    if (!source || !QCoreApplication::instance()) return;
    desktopAsked() = true;
    source->requestColorScheme([](std::optional<ColorScheme> scheme) {
        const Appearance before = desktopAppearance();
        desktopStatement() =
            scheme ? std::optional<Appearance>(*scheme == ColorScheme::dark ? Appearance::dark : Appearance::light)
                   : std::nullopt;
        const Appearance after = desktopAppearance();
        // A theme someone chose on purpose (a preview, a screenshot) stays.
        auto& theme = currentStorage();
        if (after == before || !theme || theme->appearance != before) return;
        setCurrent(after);
        appearanceChanged().publish();
    });
}

Theme::Appearance Theme::desktopAppearance() {
    if (auto chosen =
            appearanceFromText(UserDefaults::standard().value(QStringLiteral("vantrelAppearance")).toString())) {
        return *chosen;
    }
    if (auto desktop = desktopStatement()) return *desktop;
    if (auto gtk = gtkThemeAppearance()) return *gtk;
    return paletteAppearance();
}

Theme Theme::make(Appearance appearance) {
    Theme t;
    t.appearance = appearance;
    if (appearance == Appearance::dark) {
        t.windowBackground = rgba(0x1E, 0x1E, 0x20);
        t.windowBorder = rgba(0x3A, 0x3A, 0x3F);
        t.separator = rgba(0x2E, 0x2E, 0x32);
        t.primaryText = rgba(0xEC, 0xEC, 0xEE);
        t.secondaryText = rgba(0x9E, 0x9E, 0xA5);
        t.tertiaryText = rgba(0x74, 0x74, 0x7B);
        t.placeholderText = rgba(0x6E, 0x6E, 0x75);
        t.selectionBackground = rgba(0x33, 0x33, 0x38);
        t.hoverBackground = rgba(0x29, 0x29, 0x2D);
        t.accent = rgba(0x4C, 0x8D, 0xFF);
        t.accentText = rgba(0xFF, 0xFF, 0xFF);
        t.barBackground = rgba(0x19, 0x19, 0x1B);
        t.keycapBackground = rgba(0x35, 0x35, 0x3A);
        t.keycapText = rgba(0xC6, 0xC6, 0xCC);
        t.fieldBackground = rgba(0x28, 0x28, 0x2C);
        t.fieldBorder = rgba(0x3C, 0x3C, 0x42);
        t.success = rgba(0x3F, 0xCF, 0x6B);
        t.failure = rgba(0xFF, 0x5F, 0x5F);
        t.shadow = rgba(0, 0, 0, 140);
    } else {
        t.windowBackground = rgba(0xFF, 0xFF, 0xFF);
        t.windowBorder = rgba(0xD9, 0xD9, 0xDE);
        t.separator = rgba(0xEC, 0xEC, 0xEF);
        t.primaryText = rgba(0x1C, 0x1C, 0x1E);
        t.secondaryText = rgba(0x6C, 0x6C, 0x72);
        t.tertiaryText = rgba(0x98, 0x98, 0x9F);
        t.placeholderText = rgba(0xA3, 0xA3, 0xA9);
        t.selectionBackground = rgba(0xEC, 0xEC, 0xEF);
        t.hoverBackground = rgba(0xF4, 0xF4, 0xF6);
        t.accent = rgba(0x2F, 0x6F, 0xEB);
        t.accentText = rgba(0xFF, 0xFF, 0xFF);
        t.barBackground = rgba(0xF7, 0xF7, 0xF8);
        t.keycapBackground = rgba(0xE8, 0xE8, 0xEC);
        t.keycapText = rgba(0x55, 0x55, 0x5C);
        t.fieldBackground = rgba(0xF4, 0xF4, 0xF6);
        t.fieldBorder = rgba(0xDC, 0xDC, 0xE1);
        t.success = rgba(0x2E, 0xA0, 0x4F);
        t.failure = rgba(0xE0, 0x3E, 0x44);
        t.shadow = rgba(0, 0, 0, 60);
    }

    t.baseFont = uiFont(14);
    t.searchFont = uiFont(18);
    t.sectionFont = uiFont(12, QFont::DemiBold);
    t.smallFont = uiFont(12);
    t.monospaceFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    t.monospaceFont.setPixelSize(13);
    t.monospaceFont.setStyleHint(QFont::Monospace);
    t.monospaceFont.setFixedPitch(true);
    return t;
}

QColor Theme::named(const QString& name) const {
    struct Pair {
        const char* name;
        QRgb light;
        QRgb dark;
    };
    // Terminal colours keep their contrast on the window background of each
    // appearance: "white" stays readable on light windows, "black" on dark ones.
    static const Pair colours[] = {
        {"terminalBlack", 0x1C1C1E, 0x8A8A92}, {"terminalRed", 0xC8313A, 0xFF6B6B},
        {"terminalGreen", 0x23863F, 0x5BD67A}, {"terminalYellow", 0x9A6700, 0xF2C94C},
        {"terminalBlue", 0x2F5FD0, 0x6FA8FF},  {"terminalMagenta", 0xA536B0, 0xE58AF2},
        {"terminalCyan", 0x12808F, 0x4FD6E0},  {"terminalWhite", 0x7A7A82, 0xF4F4F6},
        {"red", 0xE03E44, 0xFF5F5F},           {"orange", 0xE8720C, 0xFF9F43},
        {"yellow", 0xD9A400, 0xFFD54A},        {"green", 0x2EA04F, 0x3FCF6B},
        {"blue", 0x2F6FEB, 0x4C8DFF},          {"purple", 0x7D4CDB, 0xA98BFF},
        {"magenta", 0xC2359D, 0xF26BCF},
    };
    for (const Pair& pair : colours) {
        if (name == QLatin1String(pair.name)) return QColor::fromRgb(isDark() ? pair.dark : pair.light);
    }
    if (name == QLatin1String("secondaryText")) return secondaryText;
    if (name == QLatin1String("accent") || name == QLatin1String("brand")) return accent;
    return primaryText;
}

QPalette Theme::palette() const {
    QPalette p;
    const QColor base = isDark() ? fieldBackground : QColor(0xFF, 0xFF, 0xFF);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, windowBackground);
        p.setColor(group, QPalette::WindowText, primaryText);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, hoverBackground);
        p.setColor(group, QPalette::Text, primaryText);
        p.setColor(group, QPalette::PlaceholderText, placeholderText);
        p.setColor(group, QPalette::Button, fieldBackground);
        p.setColor(group, QPalette::ButtonText, primaryText);
        p.setColor(group, QPalette::BrightText, accentText);
        p.setColor(group, QPalette::Highlight, accent);
        p.setColor(group, QPalette::HighlightedText, accentText);
        p.setColor(group, QPalette::ToolTipBase, barBackground);
        p.setColor(group, QPalette::ToolTipText, primaryText);
        p.setColor(group, QPalette::Link, accent);
        p.setColor(group, QPalette::LinkVisited, accent);
        p.setColor(group, QPalette::Mid, separator);
        p.setColor(group, QPalette::Midlight, hoverBackground);
        p.setColor(group, QPalette::Light, isDark() ? hoverBackground : QColor(0xFF, 0xFF, 0xFF));
        p.setColor(group, QPalette::Dark, fieldBorder);
        p.setColor(group, QPalette::Shadow, shadow);
    }
    p.setColor(QPalette::Disabled, QPalette::Window, windowBackground);
    p.setColor(QPalette::Disabled, QPalette::Base, base);
    p.setColor(QPalette::Disabled, QPalette::Button, fieldBackground);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, tertiaryText);
    }
    p.setColor(QPalette::Disabled, QPalette::Highlight, selectionBackground);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, primaryText);
    return p;
}

QString Theme::scrollBarStyleSheet() const {
    QColor handle = secondaryText;
    handle.setAlpha(isDark() ? 110 : 90);
    QColor hover = secondaryText;
    hover.setAlpha(170);
    const auto rgba = [](const QColor& c) {
        return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
    };
    return QStringLiteral(
               "QScrollBar:vertical { background: transparent; width: 10px; margin: 4px 2px 4px 0; }"
               "QScrollBar::handle:vertical { background: %1; border-radius: 4px; min-height: 28px; }"
               "QScrollBar::handle:vertical:hover { background: %2; }"
               "QScrollBar:horizontal { background: transparent; height: 10px; margin: 0 4px 2px 4px; }"
               "QScrollBar::handle:horizontal { background: %1; border-radius: 4px; min-width: 28px; }"
               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
        .arg(rgba(handle), rgba(hover));
}

}  // namespace vantrel
