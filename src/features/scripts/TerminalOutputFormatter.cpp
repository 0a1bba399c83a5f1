#include "features/scripts/TerminalOutputFormatter.h"

#include <QRegularExpression>

#include <array>
#include <utility>

namespace vantrel {

namespace {

constexpr QChar escapeCharacter(0x1B);

// Raw values in the order of ANSIEscapeCode.
constexpr std::array<const char*, 50> rawValues{
    "1",  "2",  "22", "3",  "23", "4",  "24", "5",  "25",  "7",   "27",  "8",   "28",  "9",   "29",  "0",   "30",
    "31", "32", "33", "34", "35", "36", "37", "38", "90",  "91",  "92",  "93",  "94",  "95",  "96",  "97",  "40",
    "41", "42", "43", "44", "45", "46", "47", "48", "100", "101", "102", "103", "104", "105", "106", "107",
};

const QRegularExpression& escapeSequenceExpression() {
    static const QRegularExpression expression(QStringLiteral("\\x1B\\[\\?"
                                                              "?([0-9;]*)([a-z])"),
                                               QRegularExpression::CaseInsensitiveOption);
    return expression;
}

const QRegularExpression& linkExpression() {
    static const QRegularExpression expression(
        QStringLiteral("(http|ftp|https)://([\\w_-]+(?:(?:\\.[\\w_-]+)+))([\\w.,@?^=%&:/~+#-]*[\\w@?^=%&/~+#-])?"));
    return expression;
}

std::optional<ANSIEscapeCode> codeFromView(QStringView value) {
    for (std::size_t index = 0; index < rawValues.size(); ++index)
        if (value == QLatin1String(rawValues[index])) return static_cast<ANSIEscapeCode>(index);
    return std::nullopt;
}

TerminalColor themeColor(const char* name) {
    return TerminalColor{QString::fromLatin1(name), std::nullopt};
}

// The theme colour of a foreground code; the bright codes share the normal colours.
std::optional<TerminalColor> foregroundColor(ANSIEscapeCode code) {
    switch (code) {
        case ANSIEscapeCode::foregroundBlack:
            return themeColor("terminalBlack");
        case ANSIEscapeCode::foregroundRed:
        case ANSIEscapeCode::foregroundLightRed:
            return themeColor("terminalRed");
        case ANSIEscapeCode::foregroundGreen:
        case ANSIEscapeCode::foregroundLightGreen:
            return themeColor("terminalGreen");
        case ANSIEscapeCode::foregroundYellow:
        case ANSIEscapeCode::foregroundLightYellow:
            return themeColor("terminalYellow");
        case ANSIEscapeCode::foregroundBlue:
        case ANSIEscapeCode::foregroundLightBlue:
            return themeColor("terminalBlue");
        case ANSIEscapeCode::foregroundMagenta:
        case ANSIEscapeCode::foregroundLightMagenta:
            return themeColor("terminalMagenta");
        case ANSIEscapeCode::foregroundCyan:
        case ANSIEscapeCode::foregroundLightCyan:
            return themeColor("terminalCyan");
        case ANSIEscapeCode::foregroundWhite:
            return themeColor("terminalWhite");
        default:
            return std::nullopt;
    }
}

std::optional<TerminalColor> backgroundColor(ANSIEscapeCode code) {
    switch (code) {
        case ANSIEscapeCode::backgroundBlack:
            return themeColor("terminalBlack");
        case ANSIEscapeCode::backgroundRed:
        case ANSIEscapeCode::backgroundLightRed:
            return themeColor("terminalRed");
        case ANSIEscapeCode::backgroundGreen:
        case ANSIEscapeCode::backgroundLightGreen:
            return themeColor("terminalGreen");
        case ANSIEscapeCode::backgroundYellow:
        case ANSIEscapeCode::backgroundLightYellow:
            return themeColor("terminalYellow");
        case ANSIEscapeCode::backgroundBlue:
        case ANSIEscapeCode::backgroundLightBlue:
            return themeColor("terminalBlue");
        case ANSIEscapeCode::backgroundMagenta:
        case ANSIEscapeCode::backgroundLightMagenta:
            return themeColor("terminalMagenta");
        case ANSIEscapeCode::backgroundCyan:
        case ANSIEscapeCode::backgroundLightCyan:
            return themeColor("terminalCyan");
        case ANSIEscapeCode::backgroundWhite:
            return themeColor("terminalWhite");
        default:
            return std::nullopt;
    }
}

// A decimal 0–255, or nothing.
std::optional<int> colorComponent(QStringView text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 255) return std::nullopt;
    return value;
}

// "38;5;n" / "48;5;n" / "38;2;r;g;b" / "48;2;r;g;b"; anything incomplete or
// not numeric changes nothing.
void applyExtendedColor(const QList<QStringView>& parts, TerminalTextAttributes& attributes) {
    if (parts.size() < 3) return;
    std::optional<std::uint32_t> rgb;
    if (parts[1] == QLatin1String("5")) {
        if (const auto index = colorComponent(parts[2])) rgb = TerminalOutputFormatter::xtermPaletteColor(*index);
    } else if (parts[1] == QLatin1String("2") && parts.size() >= 5) {
        const auto red = colorComponent(parts[2]);
        const auto green = colorComponent(parts[3]);
        const auto blue = colorComponent(parts[4]);
        if (red && green && blue)
            rgb = (static_cast<std::uint32_t>(*red) << 16) | (static_cast<std::uint32_t>(*green) << 8) |
                  static_cast<std::uint32_t>(*blue);
    }
    if (!rgb) return;
    const TerminalColor color{std::nullopt, rgb};
    if (parts[0] == QLatin1String("38"))
        attributes.foreground = color;
    else
        attributes.background = color;
}

// Applies one graphic-rendition parameter string ("1;31", "0", "38;5;196").
void applyParameters(QStringView parameters, TerminalTextAttributes& attributes) {
    const QList<QStringView> parts = parameters.split(QLatin1Char(';'));
    if (!parts.isEmpty() && (parts[0] == QLatin1String("38") || parts[0] == QLatin1String("48"))) {
        applyExtendedColor(parts, attributes);
        return;
    }
    for (const QStringView part : parts) {
        const std::optional<ANSIEscapeCode> code = codeFromView(part);
        if (!code) continue;
        switch (*code) {
            case ANSIEscapeCode::reset:
                attributes = {};
                break;
            case ANSIEscapeCode::underline:
                attributes.underline = true;
                break;
            case ANSIEscapeCode::underline_finish:
                attributes.underline = false;
                break;
            case ANSIEscapeCode::strikethrough:
                attributes.strikethrough = true;
                break;
            case ANSIEscapeCode::strikethrough_finish:
                attributes.strikethrough = false;
                break;
            default:
                if (auto color = foregroundColor(*code))
                    attributes.foreground = std::move(color);
                else if (auto background = backgroundColor(*code))
                    attributes.background = std::move(background);
                // Bold, dim, italic, blink, reverse, hidden, light grey and
                // dark grey are recognised and left alone.
                break;
        }
    }
}

}  // namespace

void TerminalOutputFormatter::clear() {
    currentSequence.clear();
    terminalString.clear();
    summaryString.clear();
    m_links.reset();
}

std::vector<TerminalTextRun> TerminalOutputFormatter::styledRuns() {
    const QString source = terminalString + summaryString;
    std::vector<TerminalTextRun> runs;
    QString plain;
    plain.reserve(source.size());

    // Rendering starts over from the raw text every time, so the sequence is
    // rebuilt rather than carried over from an earlier rendering. The
    // attributes of a segment are those of the whole sequence so far; they
    // are folded as the sequence grows instead of being replayed per segment.
    currentSequence.clear();
    TerminalTextAttributes attributes;
    const auto addSegment = [&](QStringView text) {
        if (text.isEmpty()) return;
        plain += text;
        if (!runs.empty() && runs.back().attributes == attributes)
            runs.back().text += text;
        else
            runs.push_back({text.toString(), attributes});
    };

    const QRegularExpression& expression = escapeSequenceExpression();
    if (!expression.isValid()) {
        addSegment(source);
    } else {
        qsizetype position = 0;
        QRegularExpressionMatchIterator matches = expression.globalMatch(source);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            addSegment(QStringView(source).mid(position, match.capturedStart() - position));
            position = match.capturedEnd();
            const QStringView letter = match.capturedView(2);
            if (letter != QLatin1String("m")) continue;
            QString parameters = match.captured(1);
            if (parameters.isEmpty()) parameters = QStringLiteral("0");
            applyParameters(parameters, attributes);
            currentSequence << std::move(parameters);
        }
        addSegment(QStringView(source).mid(position));
    }

    std::vector<TerminalLink> links;
    QRegularExpressionMatchIterator found = linkExpression().globalMatch(plain);
    while (found.hasNext()) {
        const QRegularExpressionMatch match = found.next();
        links.push_back({QUrl(match.captured(0)), static_cast<int>(match.capturedStart()),
                         static_cast<int>(match.capturedLength())});
    }
    m_links = std::move(links);
    return runs;
}

QString TerminalOutputFormatter::plainText() {
    QString text;
    for (const TerminalTextRun& run : styledRuns()) text += run.text;
    return text;
}

QString TerminalOutputFormatter::rawValue(ANSIEscapeCode code) {
    return QString::fromLatin1(rawValues[static_cast<std::size_t>(code)]);
}

std::optional<ANSIEscapeCode> TerminalOutputFormatter::codeFromRawValue(const QString& value) {
    return codeFromView(value);
}

QString TerminalOutputFormatter::wrap(const QString& text, ANSIEscapeCode code) {
    const QString format = QString(escapeCharacter) + QStringLiteral("[%1m");
    return format.arg(rawValue(code)) + text + format.arg(QStringLiteral("0"));
}

std::uint32_t TerminalOutputFormatter::xtermPaletteColor(int index) {
    static constexpr std::array<std::uint32_t, 16> system{
        0x000000, 0xcd0000, 0x00cd00, 0xcdcd00, 0x0000ee, 0xcd00cd, 0x00cdcd, 0xe5e5e5,
        0x7f7f7f, 0xff0000, 0x00ff00, 0xffff00, 0x5c5cff, 0xff00ff, 0x00ffff, 0xffffff,
    };
    static constexpr std::array<std::uint32_t, 6> levels{0x00, 0x5f, 0x87, 0xaf, 0xd7, 0xff};
    if (index < 0) index = 0;
    if (index > 255) index = 255;
    if (index < 16) return system[static_cast<std::size_t>(index)];
    if (index < 232) {
        const int cube = index - 16;
        return (levels[static_cast<std::size_t>(cube / 36)] << 16) |
               (levels[static_cast<std::size_t>((cube / 6) % 6)] << 8) | levels[static_cast<std::size_t>(cube % 6)];
    }
    const std::uint32_t grey = static_cast<std::uint32_t>(8 + (index - 232) * 10);
    return (grey << 16) | (grey << 8) | grey;
}

}  // namespace vantrel
