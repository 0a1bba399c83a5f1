// Terminal output with escape sequences, made up and printed by real
// programs, turned into styled runs.
#include "support/TestEnvironment.h"

#include "features/scripts/TerminalOutputFormatter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

const QString esc = QString(QChar(0x1B));

TerminalColor theme(const char* name) {
    return TerminalColor{QString::fromLatin1(name), std::nullopt};
}
TerminalColor rgb(std::uint32_t value) {
    return TerminalColor{std::nullopt, value};
}

// The attributes of the run that holds `text`.
std::optional<TerminalTextAttributes> attributesOf(const std::vector<TerminalTextRun>& runs, const QString& text) {
    for (const TerminalTextRun& run : runs)
        if (run.text.contains(text)) return run.attributes;
    return std::nullopt;
}

std::vector<TerminalTextRun> render(const QString& raw) {
    TerminalOutputFormatter formatter;
    formatter.append(raw);
    return formatter.styledRuns();
}

// Output of a real program, as it writes it to a terminal.
QString programOutput(const QString& program, const QStringList& arguments, const QString& workingDirectory = {},
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(10000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(TerminalOutputFormatterTest, ColouredWordThenPlainText) {
    TerminalOutputFormatter formatter;
    formatter.append(QStringLiteral("before ") + esc + QStringLiteral("[1;31mword") + esc +
                     QStringLiteral("[0m after"));
    const std::vector<TerminalTextRun> runs = formatter.styledRuns();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, QStringLiteral("before "));
    EXPECT_EQ(runs[0].attributes, TerminalTextAttributes{});
    EXPECT_EQ(runs[1].text, QStringLiteral("word"));
    EXPECT_EQ(runs[1].attributes.foreground, theme("terminalRed"));
    EXPECT_FALSE(runs[1].attributes.underline);
    EXPECT_EQ(runs[2].text, QStringLiteral(" after"));
    EXPECT_EQ(runs[2].attributes, TerminalTextAttributes{});
    EXPECT_EQ(formatter.currentSequence, (QStringList{QStringLiteral("1;31"), QStringLiteral("0")}));

    // Rendering again gives the same runs.
    const std::vector<TerminalTextRun> again = formatter.styledRuns();
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[1].attributes.foreground, theme("terminalRed"));
}

TEST(TerminalOutputFormatterTest, OtherSequencesVanish) {
    TerminalOutputFormatter formatter;
    formatter.append(QStringLiteral("a") + esc + QStringLiteral("[Kb") + esc + QStringLiteral("[2Jc") + esc +
                     QStringLiteral("[10;20Hd") + esc + QStringLiteral("[3Ae") + esc + QStringLiteral("[?25lf") + esc +
                     QStringLiteral("[6ng"));
    EXPECT_EQ(formatter.plainText(), QStringLiteral("abcdefg"));
    EXPECT_TRUE(formatter.currentSequence.isEmpty());
    // Not an escape sequence: left as it is.
    EXPECT_EQ(render(QStringLiteral("[31m plain"))[0].text, QStringLiteral("[31m plain"));
}

TEST(TerminalOutputFormatterTest, ForegroundAndBackgroundTable) {
    const std::vector<std::pair<const char*, const char*>> foregrounds{
        {"30", "terminalBlack"}, {"31", "terminalRed"},     {"91", "terminalRed"},     {"32", "terminalGreen"},
        {"92", "terminalGreen"}, {"33", "terminalYellow"},  {"93", "terminalYellow"},  {"34", "terminalBlue"},
        {"94", "terminalBlue"},  {"35", "terminalMagenta"}, {"95", "terminalMagenta"}, {"36", "terminalCyan"},
        {"96", "terminalCyan"},  {"97", "terminalWhite"},
    };
    for (const auto& [code, name] : foregrounds) {
        const auto attributes = attributesOf(
            render(esc + QLatin1Char('[') + QLatin1String(code) + QStringLiteral("mX")), QStringLiteral("X"));
        ASSERT_TRUE(attributes) << code;
        EXPECT_EQ(attributes->foreground, theme(name)) << code;
        EXPECT_FALSE(attributes->background) << code;
    }
    const std::vector<std::pair<const char*, const char*>> backgrounds{
        {"40", "terminalBlack"},  {"41", "terminalRed"},     {"101", "terminalRed"},     {"42", "terminalGreen"},
        {"102", "terminalGreen"}, {"43", "terminalYellow"},  {"103", "terminalYellow"},  {"44", "terminalBlue"},
        {"104", "terminalBlue"},  {"45", "terminalMagenta"}, {"105", "terminalMagenta"}, {"46", "terminalCyan"},
        {"106", "terminalCyan"},  {"107", "terminalWhite"},
    };
    for (const auto& [code, name] : backgrounds) {
        const auto attributes = attributesOf(
            render(esc + QLatin1Char('[') + QLatin1String(code) + QStringLiteral("mX")), QStringLiteral("X"));
        ASSERT_TRUE(attributes) << code;
        EXPECT_EQ(attributes->background, theme(name)) << code;
        EXPECT_FALSE(attributes->foreground) << code;
    }
    // Recognised and ignored, or unknown.
    for (const char* code : {"1",  "2",  "22", "3",   "23", "5",  "25", "7",  "27",  "8", "28",
                             "37", "90", "47", "100", "38", "48", "21", "53", "999", "x"}) {
        const auto runs = render(esc + QLatin1Char('[') + QLatin1String(code) + QStringLiteral("mX"));
        ASSERT_EQ(runs.size(), 1u) << code;
        EXPECT_EQ(runs[0].attributes, TerminalTextAttributes{}) << code;
    }
}

TEST(TerminalOutputFormatterTest, UnderlineStrikethroughAndResets) {
    const auto runs = render(esc + QStringLiteral("[4;9ma") + esc + QStringLiteral("[24mb") + esc +
                             QStringLiteral("[29mc") + esc + QStringLiteral("[32;44md") + esc + QStringLiteral("[me"));
    EXPECT_TRUE(attributesOf(runs, QStringLiteral("a"))->underline);
    EXPECT_TRUE(attributesOf(runs, QStringLiteral("a"))->strikethrough);
    EXPECT_FALSE(attributesOf(runs, QStringLiteral("b"))->underline);
    EXPECT_TRUE(attributesOf(runs, QStringLiteral("b"))->strikethrough);
    EXPECT_EQ(*attributesOf(runs, QStringLiteral("c")), TerminalTextAttributes{});
    EXPECT_EQ(attributesOf(runs, QStringLiteral("d"))->foreground, theme("terminalGreen"));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("d"))->background, theme("terminalBlue"));
    // No parameters: a reset, remembered as "0".
    EXPECT_EQ(*attributesOf(runs, QStringLiteral("e")), TerminalTextAttributes{});
    // Parameters of one sequence apply in order: the reset in the middle drops the red.
    const auto mixed = render(esc + QStringLiteral("[31;0;4mX"));
    EXPECT_EQ(*attributesOf(mixed, QStringLiteral("X")),
              (TerminalTextAttributes{std::nullopt, std::nullopt, true, false}));
    // Upper-case final letters are sequences as well.
    EXPECT_EQ(render(QStringLiteral("a") + esc + QStringLiteral("[2Kb"))[0].text, QStringLiteral("ab"));
}

TEST(TerminalOutputFormatterTest, EightBitAndTrueColours) {
    const auto runs = render(esc + QStringLiteral("[38;5;196mred") + esc + QStringLiteral("[48;2;0;0;255mblue") + esc +
                             QStringLiteral("[0mplain"));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("red"))->foreground, rgb(0xff0000));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("blue"))->foreground, rgb(0xff0000));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("blue"))->background, rgb(0x0000ff));
    EXPECT_EQ(*attributesOf(runs, QStringLiteral("plain")), TerminalTextAttributes{});

    // Incomplete, out of range or not numeric: no effect.
    for (const char* parameters :
         {"38;5", "38;5;256", "38;5;x", "48;2;1;2", "48;2;1;2;300", "38;2;-1;0;0", "38;9;1", "38"}) {
        const auto ignored = render(esc + QLatin1Char('[') + QLatin1String(parameters) + QStringLiteral("mX"));
        EXPECT_EQ(*attributesOf(ignored, QStringLiteral("X")), TerminalTextAttributes{}) << parameters;
    }
}

TEST(TerminalOutputFormatterTest, XtermPalette) {
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(1), 0xcd0000u);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(15), 0xffffffu);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(16), 0x000000u);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(17), 0x00005fu);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(67), 0x5f87afu);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(196), 0xff0000u);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(214), 0xffaf00u);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(231), 0xffffffu);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(232), 0x080808u);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(244), 0x808080u);
    EXPECT_EQ(TerminalOutputFormatter::xtermPaletteColor(255), 0xeeeeeeu);
}

TEST(TerminalOutputFormatterTest, WrapAndRawValues) {
    EXPECT_EQ(TerminalOutputFormatter::wrap(QStringLiteral("\nDone in 0.25s"), ANSIEscapeCode::foregroundGreen),
              esc + QStringLiteral("[32m\nDone in 0.25s") + esc + QStringLiteral("[0m"));
    EXPECT_EQ(TerminalOutputFormatter::rawValue(ANSIEscapeCode::backgroundWhite), QStringLiteral("107"));
    EXPECT_EQ(TerminalOutputFormatter::rawValue(ANSIEscapeCode::bold_dim_reset), QStringLiteral("22"));
    EXPECT_EQ(TerminalOutputFormatter::codeFromRawValue(QStringLiteral("38")), ANSIEscapeCode::foreground8bit24bit);
    EXPECT_FALSE(TerminalOutputFormatter::codeFromRawValue(QStringLiteral("39")));

    // The summary line follows the output, styled in its own colour.
    TerminalOutputFormatter formatter;
    formatter.append(esc + QStringLiteral("[31moutput"));
    formatter.summaryString =
        TerminalOutputFormatter::wrap(QStringLiteral("\nProcess interrupted"), ANSIEscapeCode::foregroundRed);
    const auto runs = formatter.styledRuns();
    EXPECT_EQ(formatter.plainText(), QStringLiteral("output\nProcess interrupted"));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("interrupted"))->foreground, theme("terminalRed"));

    formatter.clear();
    EXPECT_TRUE(formatter.styledRuns().empty());
    EXPECT_TRUE(formatter.currentSequence.isEmpty());
}

TEST(TerminalOutputFormatterTest, LinksInThePlainText) {
    TerminalOutputFormatter formatter;
    formatter.append(esc + QStringLiteral("[34mSee ") + esc + QStringLiteral("[4mhttps://example.com/docs?page=2") +
                     esc + QStringLiteral("[0m, or ftp://files.example.org. Not http://localhost"));
    formatter.styledRuns();
    ASSERT_TRUE(formatter.links());
    ASSERT_EQ(formatter.links()->size(), 2u);
    const TerminalLink first = formatter.links()->at(0);
    EXPECT_EQ(first.url, QUrl(QStringLiteral("https://example.com/docs?page=2")));
    EXPECT_EQ(formatter.plainText().mid(first.start, first.length), QStringLiteral("https://example.com/docs?page=2"));
    EXPECT_EQ(formatter.links()->at(1).url, QUrl(QStringLiteral("ftp://files.example.org")));
}

TEST(TerminalOutputFormatterTest, LsColours) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("adir")));
    writeTestFile(dir.filePath(QStringLiteral("tool")), "#!/bin/sh\n",
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeTestFile(dir.filePath(QStringLiteral("notes.txt")), {});

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LS_COLORS"));
    const QString raw = programOutput(QStringLiteral("ls"), {QStringLiteral("--color=always"), QStringLiteral("-1")},
                                      dir.path(), environment);
    ASSERT_TRUE(raw.contains(esc)) << raw.toStdString();

    TerminalOutputFormatter formatter;
    formatter.append(raw);
    const auto runs = formatter.styledRuns();
    EXPECT_EQ(formatter.plainText(), QStringLiteral("adir\nnotes.txt\ntool\n"));
    EXPECT_FALSE(formatter.plainText().contains(esc));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("adir"))->foreground, theme("terminalBlue"));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("tool"))->foreground, theme("terminalGreen"));
    EXPECT_FALSE(attributesOf(runs, QStringLiteral("notes.txt"))->foreground);
}

TEST(TerminalOutputFormatterTest, GrepMatchColour) {
    QTemporaryDir dir;
    const QString input =
        writeTestFile(dir.filePath(QStringLiteral("haystack.txt")), "hay and a needle in it\nno match\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GREP_COLORS"));
    environment.remove(QStringLiteral("GREP_COLOR"));
    const QString raw = programOutput(
        QStringLiteral("grep"), {QStringLiteral("--color=always"), QStringLiteral("needle"), input}, {}, environment);
    ASSERT_TRUE(raw.contains(esc)) << raw.toStdString();
    TerminalOutputFormatter formatter;
    formatter.append(raw);
    const auto runs = formatter.styledRuns();
    EXPECT_EQ(formatter.plainText(), QStringLiteral("hay and a needle in it\n"));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("needle"))->foreground, theme("terminalRed"));
    EXPECT_FALSE(attributesOf(runs, QStringLiteral(" in it"))->foreground);
}

TEST(TerminalOutputFormatterTest, PrintfExtendedColours) {
    const QString raw = programOutput(
        QStringLiteral("printf"),
        {QStringLiteral("\\033[38;5;214morange\\033[0m \\033[38;2;18;52;86mtrue\\033[48;5;244m grey\\033[m end")});
    TerminalOutputFormatter formatter;
    formatter.append(raw);
    const auto runs = formatter.styledRuns();
    EXPECT_EQ(formatter.plainText(), QStringLiteral("orange true grey end"));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("orange"))->foreground, rgb(0xffaf00));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("true"))->foreground, rgb(0x123456));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("grey"))->background, rgb(0x808080));
    EXPECT_EQ(attributesOf(runs, QStringLiteral("grey"))->foreground, rgb(0x123456));
    EXPECT_EQ(*attributesOf(runs, QStringLiteral("end")), TerminalTextAttributes{});
}

}  // namespace
}  // namespace vantrel::test
