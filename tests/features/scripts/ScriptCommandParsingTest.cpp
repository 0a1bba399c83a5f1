// Reading the "@vantrel." metadata of a script file into a ScriptCommand.
#include "support/ScriptCommandTestSupport.h"

#include "features/scripts/ScriptCommand.h"
#include "kit/VantrelError.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

const QStringList kRequired{QStringLiteral("schemaVersion 1"), QStringLiteral("title Hello"),
                            QStringLiteral("mode compact")};

class ScriptCommandParsingTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeScript(path, text));
        return path;
    }
    ScriptCommand parse(const QStringList& extra, const QString& name = QStringLiteral("script.sh")) {
        return ScriptCommand::parse(write(name, scriptText(kRequired + extra)));
    }
    QString rejection(const QByteArray& text) {
        try {
            ScriptCommand::parse(write(QStringLiteral("rejected.sh"), text));
        } catch (const VantrelError& error) {
            return error.errorDescription();
        }
        return QStringLiteral("<parsed>");
    }
};

TEST_F(ScriptCommandParsingTest, ReadsEveryKeyOfAFullScript) {
    const QString path = scriptFixtures(QStringLiteral("commands/full-output.sh"));
    const ScriptCommand command = ScriptCommand::parse(path);
    EXPECT_EQ(command.id, QStringLiteral("vantrelScript_") + path);
    EXPECT_EQ(command.scriptPath, path);
    EXPECT_EQ(command.schemaVersion, 1);
    EXPECT_EQ(command.displayName, QStringLiteral("Full Output"));
    EXPECT_EQ(command.runMode, ScriptCommand::RunMode::fullOutput);
    EXPECT_EQ(command.packageName, QStringLiteral("Fixture Scripts"));
    EXPECT_FALSE(command.needsConfirmationAlert);
    EXPECT_EQ(command.currentDirectoryPath, QStringLiteral("~"));
    EXPECT_EQ(command.refreshTime, CommandRefreshTime::hours(1));
    EXPECT_EQ(command.description, QStringLiteral("Prints its arguments, its folder and a few lines"));
    ASSERT_EQ(command.arguments.size(), 1u);
    EXPECT_EQ(command.arguments[0].placeholder, QStringLiteral("First"));
    EXPECT_EQ(command.arguments[0].percentEncoded, false);
    EXPECT_EQ(command.arguments[0].optional, true);
    // Emoji icon and emoji dark icon: a themed pair.
    EXPECT_EQ(command.icon.small, ImageResource::themed(ImageResource::emoji(QStringLiteral("📜")),
                                                        ImageResource::emoji(QStringLiteral("📃"))));
    EXPECT_EQ(command.metadataHash.size(), 64);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(command.metadataHash).hasMatch());
}

TEST_F(ScriptCommandParsingTest, LinesEndInCrLfOrBareCrAndAreTrimmed) {
    const ScriptCommand crlf = ScriptCommand::parse(scriptFixtures(QStringLiteral("commands/crlf.sh")));
    EXPECT_EQ(crlf.displayName, QStringLiteral("Windows Line Endings"));
    EXPECT_EQ(crlf.runMode, ScriptCommand::RunMode::compact);
    EXPECT_EQ(crlf.packageName, QStringLiteral("Fixture Scripts"));  // after a bare CR

    const ScriptCommand trimmed =
        ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/trailing-whitespace.sh")));
    EXPECT_EQ(trimmed.displayName, QStringLiteral("Trailing Whitespace"));
    EXPECT_EQ(trimmed.runMode, ScriptCommand::RunMode::compact);
}

TEST_F(ScriptCommandParsingTest, PrefixIsCaseInsensitiveButKeysAreNot) {
    const ScriptCommand command = ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/prefix-case.sh")));
    EXPECT_EQ(command.displayName, QStringLiteral("Upper Case Prefix"));
    EXPECT_FALSE(command.description.has_value());  // "Description" is read by nothing
    // Two spaces after "#" make no metadata line: the package comes from the folder.
    EXPECT_EQ(command.packageName, QStringLiteral("Metadata"));
}

TEST_F(ScriptCommandParsingTest, TheLastLineOfAKeyWinsAndSlashCommentsCount) {
    EXPECT_EQ(ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/last-line-wins.sh"))).displayName,
              QStringLiteral("Second Title"));
    const ScriptCommand node = ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/slash-comments.js")));
    EXPECT_EQ(node.displayName, QStringLiteral("Slash Comments"));
    EXPECT_TRUE(node.needsConfirmationAlert);  // "YES"
}

TEST_F(ScriptCommandParsingTest, MissingOrInvalidRequiredKeysAreRejected) {
    const QString message = QStringLiteral("Some required parameters are not specified");
    for (const char* name :
         {"missing-title.sh", "capital-mode.sh", "schema-version-2.sh", "missing-mode.sh", "no-metadata.sh"}) {
        const QString path = scriptFixtures(QStringLiteral("rejected/") + QLatin1String(name));
        try {
            ScriptCommand::parse(path);
            ADD_FAILURE() << name << " parsed";
        } catch (const VantrelError& error) {
            EXPECT_EQ(error.errorDescription(), message) << name;
        }
    }
    EXPECT_EQ(rejection(scriptText({"schemaVersion one", "title A", "mode silent"})), message);
    EXPECT_EQ(rejection(scriptText({"schemaVersion 1", "title A", "mode Inline"})), message);
    EXPECT_EQ(rejection(scriptText({"schemaVersion 1", "title A", "mode  "})), message);
}

TEST_F(ScriptCommandParsingTest, AnUnreadableFileFailsWithTheReadingError) {
    try {
        ScriptCommand::parse(dir.filePath(QStringLiteral("absent.sh")));
        FAIL() << "parsed a missing file";
    } catch (const VantrelError& error) {
        EXPECT_TRUE(error.errorDescription().contains(QStringLiteral("absent.sh")))
            << error.errorDescription().toStdString();
    }
}

TEST_F(ScriptCommandParsingTest, EveryRunModeIsAccepted) {
    for (const char* mode : {"fullOutput", "compact", "silent", "inline"}) {
        const ScriptCommand command = ScriptCommand::parse(
            write(QStringLiteral("mode.sh"), commandText(QStringLiteral("M"), QLatin1String(mode))));
        EXPECT_EQ(ScriptCommand::rawValue(command.runMode), QLatin1String(mode));
        EXPECT_EQ(ScriptCommand::runModeFromRawValue(QLatin1String(mode)), command.runMode);
    }
    EXPECT_FALSE(ScriptCommand::runModeFromRawValue(QStringLiteral("FullOutput")));
}

TEST_F(ScriptCommandParsingTest, PackageNameComesFromTheFolderWhenAbsent) {
    for (const auto& [folder, package] :
         {std::pair{"shell_tools", "Shell Tools"}, std::pair{"my--scripts", "My  Scripts"},
          std::pair{"DEV.tools2", "Dev Tools2"}})
        EXPECT_EQ(parse({}, QLatin1String(folder) + QStringLiteral("/a.sh")).packageName, QLatin1String(package));
    EXPECT_EQ(parse({QStringLiteral("packageName my own")}).packageName, QStringLiteral("my own"));
}

TEST_F(ScriptCommandParsingTest, ConfirmationValues) {
    for (const char* yes : {"true", "T", "yes", "Y", "1", "TRUE"})
        EXPECT_TRUE(parse({QStringLiteral("needsConfirmation ") + yes}).needsConfirmationAlert) << yes;
    for (const char* no : {"false", "f", "NO", "n", "0", "maybe", "2"})
        EXPECT_FALSE(parse({QStringLiteral("needsConfirmation ") + no}).needsConfirmationAlert) << no;
    EXPECT_FALSE(parse({}).needsConfirmationAlert);
}

TEST_F(ScriptCommandParsingTest, RefreshTimes) {
    for (const auto& [text, time] :
         {std::pair{"5M", CommandRefreshTime::minutes(5)}, std::pair{"30s", CommandRefreshTime::seconds(30)},
          std::pair{"2H", CommandRefreshTime::hours(2)}, std::pair{"1d", CommandRefreshTime::days(1)},
          std::pair{"0s", CommandRefreshTime::seconds(0)}})
        EXPECT_EQ(parse({QStringLiteral("refreshTime ") + text}).refreshTime, time) << text;
    for (const char* bad : {"1.5m", "5", "m", "5 m", "-5m", "5w", "99999999999999999999s"})
        EXPECT_TRUE(parse({QStringLiteral("refreshTime ") + bad}).refreshTime.isNone()) << bad;
    EXPECT_TRUE(parse({}).refreshTime.isNone());
    EXPECT_TRUE(
        ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/fractional-refresh.sh"))).refreshTime.isNone());
    EXPECT_EQ(ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/upper-case-refresh.sh"))).refreshTime,
              CommandRefreshTime::minutes(5));

    EXPECT_EQ(CommandRefreshTime::seconds(20).lengthInSeconds(), 20.0);
    EXPECT_EQ(CommandRefreshTime::minutes(5).lengthInSeconds(), 300.0);
    EXPECT_EQ(CommandRefreshTime::hours(2).lengthInSeconds(), 7200.0);
    EXPECT_EQ(CommandRefreshTime::days(1).lengthInSeconds(), 86400.0);
    EXPECT_FALSE(CommandRefreshTime::none().lengthInSeconds());
}

TEST_F(ScriptCommandParsingTest, ArgumentsSkipWhatDoesNotDecode) {
    const ScriptCommand bad = ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/bad-arguments.sh")));
    ASSERT_EQ(bad.arguments.size(), 1u);
    EXPECT_EQ(bad.arguments[0].placeholder, QStringLiteral("Only Valid One"));

    const ScriptCommand third = ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/third-argument-only.sh")));
    ASSERT_EQ(third.arguments.size(), 1u);
    EXPECT_EQ(third.arguments[0].placeholder, QStringLiteral("Third"));

    const ScriptCommand node = ScriptCommand::parse(scriptFixtures(QStringLiteral("commands/arguments.js")));
    ASSERT_EQ(node.arguments.size(), 3u);
    EXPECT_EQ(node.arguments[1].percentEncoded, true);
    EXPECT_FALSE(node.arguments[1].optional.has_value());
    EXPECT_EQ(node.arguments[2].optional, true);

    // No placeholder, a non-boolean flag, an array: all skipped.
    EXPECT_TRUE(
        parse({R"(argument1 { "type": "text" })",
               R"(argument2 { "type": "text", "placeholder": "P", "optional": "yes" })", R"(argument3 [ "text" ])"})
            .arguments.empty());
}

TEST_F(ScriptCommandParsingTest, InlineScriptsHaveNoArguments) {
    EXPECT_TRUE(ScriptCommand::parse(scriptFixtures(QStringLiteral("commands/inline-1s.sh"))).arguments.empty());
}

TEST_F(ScriptCommandParsingTest, Icons) {
    const ImageResource fallback = ImageResource::named(QStringLiteral("command-script-commands-16"));
    EXPECT_EQ(parse({}).icon, (IconSet{fallback, std::nullopt}));
    EXPECT_EQ(parse({"icon 🤖"}).icon, (IconSet{ImageResource::emoji(QStringLiteral("🤖")), std::nullopt}));
    // A keycap is several scalars: an emoji. A lone digit or letter is not, and is no file either.
    EXPECT_EQ(parse({"icon 1️⃣"}).icon.small.type, ImageResource::Type::emoji);
    EXPECT_EQ(parse({"icon 1"}).icon, (IconSet{fallback, std::nullopt}));
    EXPECT_EQ(parse({"icon 🤖🤖"}).icon, (IconSet{fallback, std::nullopt}));

    const QUrl remote(QStringLiteral("https://example.org/icon.png"));
    EXPECT_EQ(ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/url-icon.sh"))).icon,
              (IconSet{ImageResource::url(remote, QSize(20, 20)), ImageResource::url(remote, QSize(32, 32))}));

    EXPECT_EQ(ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/missing-icon.sh"))).icon,
              (IconSet{fallback, std::nullopt}));

    // Relative paths resolve against the script's folder, also through "..".
    const ScriptCommand relative = ScriptCommand::parse(scriptFixtures(QStringLiteral("metadata/relative-icon.sh")));
    const QUrl light = QUrl::fromLocalFile(scriptFixtures(QStringLiteral("metadata/icons/script.png")));
    const QUrl dark = QUrl::fromLocalFile(scriptFixtures(QStringLiteral("metadata/icons/script-dark.png")));
    EXPECT_EQ(relative.icon.small,
              ImageResource::themed(ImageResource::url(light, QSize(20, 20)), ImageResource::url(dark, QSize(20, 20))));
    ASSERT_TRUE(relative.icon.medium);
    EXPECT_EQ(*relative.icon.medium,
              ImageResource::themed(ImageResource::url(light, QSize(32, 32)), ImageResource::url(dark, QSize(32, 32))));

    // An absolute path; a dark icon that does not resolve leaves the light one alone.
    const QString png = scriptFixtures(QStringLiteral("metadata/icons/script.png"));
    const ScriptCommand absolute = parse({QStringLiteral("icon ") + png, "iconDark missing.png"});
    EXPECT_EQ(absolute.icon.small, ImageResource::url(QUrl::fromLocalFile(png), QSize(20, 20)));

    // An emoji with a dark emoji: the medium images fall back to the small ones.
    const ScriptCommand pair = parse({"icon 🌞", "iconDark 🌚"});
    ASSERT_TRUE(pair.icon.medium);
    EXPECT_EQ(*pair.icon.medium, ImageResource::themed(ImageResource::emoji(QStringLiteral("🌞")),
                                                       ImageResource::emoji(QStringLiteral("🌚"))));
}

TEST_F(ScriptCommandParsingTest, HashFollowsMetadataAndPathNotTheBody) {
    const QString path = write(QStringLiteral("hash.sh"), scriptText(kRequired, QStringLiteral("echo one")));
    const QString first = ScriptCommand::parse(path).metadataHash;
    write(QStringLiteral("hash.sh"), scriptText(kRequired, QStringLiteral("echo two\necho three")));
    EXPECT_EQ(ScriptCommand::parse(path).metadataHash, first);
    // The order of the metadata lines does not matter either.
    write(QStringLiteral("hash.sh"), scriptText({kRequired[2], kRequired[0], kRequired[1]}));
    EXPECT_EQ(ScriptCommand::parse(path).metadataHash, first);

    write(QStringLiteral("hash.sh"), scriptText(kRequired + QStringList{QStringLiteral("description new")}));
    EXPECT_NE(ScriptCommand::parse(path).metadataHash, first);

    const QString copy = write(QStringLiteral("copy.sh"), scriptText(kRequired, QStringLiteral("echo one")));
    const QString copyHash = ScriptCommand::parse(copy).metadataHash;
    EXPECT_NE(copyHash, first);
    // A metadata key named "path" is replaced by the real path.
    write(QStringLiteral("copy.sh"), scriptText(kRequired + QStringList{QStringLiteral("path /elsewhere")}));
    EXPECT_EQ(ScriptCommand::parse(copy).metadataHash, copyHash);
}

}  // namespace
}  // namespace vantrel::test
