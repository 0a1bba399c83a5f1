#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel {

// The graphic-rendition parameters the formatter knows (their raw values are
// the numbers a terminal receives).
enum class ANSIEscapeCode {
    bold,
    dim,
    bold_dim_reset,
    italic,
    italic_finish,
    underline,
    underline_finish,
    blink,
    blink_finish,
    reverse,
    reverse_finish,
    hidden,
    hidden_finish,
    strikethrough,
    strikethrough_finish,
    reset,
    foregroundBlack,
    foregroundRed,
    foregroundGreen,
    foregroundYellow,
    foregroundBlue,
    foregroundMagenta,
    foregroundCyan,
    foregroundLightGray,
    foreground8bit24bit,
    foregroundDarkGray,
    foregroundLightRed,
    foregroundLightGreen,
    foregroundLightYellow,
    foregroundLightBlue,
    foregroundLightMagenta,
    foregroundLightCyan,
    foregroundWhite,
    backgroundBlack,
    backgroundRed,
    backgroundGreen,
    backgroundYellow,
    backgroundBlue,
    backgroundMagenta,
    backgroundCyan,
    backgroundLightGray,
    background8bit24bit,
    backgroundDarkGray,
    backgroundLightRed,
    backgroundLightGreen,
    backgroundLightYellow,
    backgroundLightBlue,
    backgroundLightMagenta,
    backgroundLightCyan,
    backgroundWhite,
};

// A colour of styled output: a theme colour ("terminalRed" …, resolved by the
// window's theme for light and dark) or an exact RGB value (8-bit and 24-bit
// colours).
struct TerminalColor {
    std::optional<QString> themeName;
    std::optional<std::uint32_t> rgb;  // 0xRRGGBB
    bool operator==(const TerminalColor&) const = default;
};

struct TerminalTextAttributes {
    std::optional<TerminalColor> foreground;
    std::optional<TerminalColor> background;
    bool underline = false;
    bool strikethrough = false;
    bool operator==(const TerminalTextAttributes&) const = default;
};

// A piece of the output in one style, in order.
struct TerminalTextRun {
    QString text;
    TerminalTextAttributes attributes;
};

// A link found in the plain text: its address and where it stands (in QChar units).
struct TerminalLink {
    QUrl url;
    int start = 0;
    int length = 0;
};

// Turns terminal output with escape sequences into styled runs: graphic
// renditions become colours, underline and strikethrough; every other escape
// sequence is dropped. Main thread only.
class TerminalOutputFormatter {
public:
    // Graphic-rendition parameter strings seen so far, in order.
    QStringList currentSequence;
    // The raw output so far, and the closing line the view writes.
    QString terminalString;
    QString summaryString;

    void append(const QString& rawOutput) { terminalString += rawOutput; }
    // Forgets the output, the summary and the sequence (before a rerun).
    void clear();

    // The styled text of terminalString + summaryString; fills links().
    std::vector<TerminalTextRun> styledRuns();
    // The text without escape sequences.
    QString plainText();
    const std::optional<std::vector<TerminalLink>>& links() const { return m_links; }

    static QString rawValue(ANSIEscapeCode code);
    static std::optional<ANSIEscapeCode> codeFromRawValue(const QString& value);
    // text wrapped as ESC[<code>m … ESC[0m.
    static QString wrap(const QString& text, ANSIEscapeCode code);
    // The colour of index 0–255 of the xterm 256-colour palette.
    static std::uint32_t xtermPaletteColor(int index);

private:
    std::optional<std::vector<TerminalLink>> m_links;
};

}  // namespace vantrel
