// Reading freedesktop desktop entries: parsing, locale choice, visibility and
// the folders they are found in.
#include "platform/freedesktop/DesktopEntry.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>

namespace vantrel::test {
namespace {

const QStringList kGerman = DesktopEntry::localeCandidates(QStringLiteral("de_DE.UTF-8"));

std::optional<DesktopEntry> parseText(const QByteArray& text, const QStringList& locales = {},
                                      QString* error = nullptr) {
    return DesktopEntry::parse(text, QStringLiteral("/tmp/x.desktop"), QStringLiteral("x.desktop"), locales, error);
}

DesktopEntry parseOk(const QByteArray& text, const QStringList& locales = {}) {
    QString error;
    const auto entry = parseText(text, locales, &error);
    EXPECT_TRUE(entry.has_value()) << error.toStdString();
    return entry.value_or(DesktopEntry{});
}

QString parseError(const QByteArray& text) {
    QString error;
    const auto entry = parseText(text, {}, &error);
    EXPECT_FALSE(entry.has_value());
    return error;
}

// --- Parsing real-world-like entries -------------------------------------

struct FieldCase {
    const char* label;
    QByteArray contents;
    QStringList locales;
    std::function<void(const DesktopEntry&)> check;
};

void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << c.label;
}

class DesktopEntryFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(DesktopEntryFields, ReadsExpectedValues) {
    const FieldCase& c = GetParam();
    QString error;
    const auto entry = parseText(c.contents, c.locales, &error);
    ASSERT_TRUE(entry.has_value()) << error.toStdString();
    c.check(*entry);
}

const QByteArray kTerminal =
    "[Desktop Entry]\n"
    "Name=Terminal\n"
    "Name[de]=Terminal (de)\n"
    "Name[de_DE]=Terminal (de_DE)\n"
    "Name[sr@latin]=Terminal (sr@latin)\n"
    "Name[sr_RS@latin]=Terminal (sr_RS@latin)\n"
    "Name[sr]=Terminal (sr)\n"
    "GenericName=Terminal Emulator\n"
    "GenericName[de]=Terminalemulator\n"
    "Comment=Use the command line\n"
    "Keywords=shell;prompt;command;commandline;cmd;\n"
    "Keywords[de]=Shell;Eingabeaufforderung;Befehl;\n"
    "Exec=gnome-terminal --window %U\n"
    "Icon=org.gnome.Terminal\n"
    "Type=Application\n"
    "Categories=GNOME;GTK;System;TerminalEmulator;\n"
    "StartupNotify=true\n"
    "X-GNOME-SingleWindow=false\n"
    "Actions=new-window;preferences;\n"
    "DBusActivatable=true\n"
    "StartupWMClass=Gnome-terminal\n"
    "\n"
    "[Desktop Action new-window]\n"
    "Name=New Window\n"
    "Exec=gnome-terminal --window\n"
    "\n"
    "[Desktop Action preferences]\n"
    "Name=Preferences\n"
    "this line is not ours to judge\n";

INSTANTIATE_TEST_SUITE_P(
    DesktopEntryTable, DesktopEntryFields,
    ::testing::Values(
        FieldCase{"unlocalised",
                  kTerminal,
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.id, QStringLiteral("x.desktop"));
                      EXPECT_EQ(e.path, QStringLiteral("/tmp/x.desktop"));
                      EXPECT_EQ(e.type, QStringLiteral("Application"));
                      EXPECT_EQ(e.name, QStringLiteral("Terminal"));
                      EXPECT_EQ(e.genericName, QStringLiteral("Terminal Emulator"));
                      EXPECT_EQ(e.comment, QStringLiteral("Use the command line"));
                      EXPECT_EQ(e.keywords, (QStringList{"shell", "prompt", "command", "commandline", "cmd"}));
                      EXPECT_EQ(e.exec, QStringLiteral("gnome-terminal --window %U"));
                      EXPECT_EQ(e.icon, QStringLiteral("org.gnome.Terminal"));
                      EXPECT_EQ(e.categories, (QStringList{"GNOME", "GTK", "System", "TerminalEmulator"}));
                      EXPECT_EQ(e.actions, (QStringList{"new-window", "preferences"}));
                      EXPECT_TRUE(e.dbusActivatable);
                      EXPECT_EQ(e.startupWMClass, QStringLiteral("Gnome-terminal"));
                      EXPECT_FALSE(e.terminal);
                      EXPECT_FALSE(e.noDisplay);
                      EXPECT_FALSE(e.hidden);
                      EXPECT_TRUE(e.warnings.isEmpty());
                  }},
        FieldCase{"lang_COUNTRY wins over lang", kTerminal, kGerman,
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.name, QStringLiteral("Terminal (de_DE)"));
                      EXPECT_EQ(e.genericName, QStringLiteral("Terminalemulator"));
                      EXPECT_EQ(e.keywords, (QStringList{"Shell", "Eingabeaufforderung", "Befehl"}));
                      // No German comment: the unlocalised one.
                      EXPECT_EQ(e.comment, QStringLiteral("Use the command line"));
                  }},
        FieldCase{"lang only", kTerminal, DesktopEntry::localeCandidates(QStringLiteral("de_AT")),
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Terminal (de)")); }},
        FieldCase{"lang_COUNTRY@MODIFIER first", kTerminal,
                  DesktopEntry::localeCandidates(QStringLiteral("sr_RS@latin")),
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Terminal (sr_RS@latin)")); }},
        FieldCase{"lang@MODIFIER before lang", kTerminal, DesktopEntry::localeCandidates(QStringLiteral("sr_ME@latin")),
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Terminal (sr@latin)")); }},
        FieldCase{"lang without modifier", kTerminal, DesktopEntry::localeCandidates(QStringLiteral("sr_ME")),
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Terminal (sr)")); }},
        FieldCase{"unknown locale falls back", kTerminal, DesktopEntry::localeCandidates(QStringLiteral("fr_FR")),
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Terminal")); }},
        FieldCase{"preference list order", kTerminal, QStringList{"fr", "sr", "de"},
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Terminal (sr)")); }},
        FieldCase{"escapes in strings",
                  "[Desktop Entry]\nType=Application\nName=A\\sB\n"
                  "Comment=line1\\nline2\\ttab\\rcr\\\\back\\qkept\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.name, QStringLiteral("A B"));
                      EXPECT_EQ(e.comment, QStringLiteral("line1\nline2\ttab\rcr\\back\\qkept"));
                  }},
        FieldCase{"lists with escaped separators",
                  "[Desktop Entry]\nType=Application\nName=A\n"
                  "Keywords=semi\\;colon;plain;back\\\\slash;a\\sb\n"
                  "MimeType=text/plain;x-scheme-handler/vantrel;\n"
                  "OnlyShowIn=GNOME;;KDE\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.keywords, (QStringList{"semi;colon", "plain", "back\\slash", "a b"}));
                      EXPECT_EQ(e.mimeTypes, (QStringList{"text/plain", "x-scheme-handler/vantrel"}));
                      EXPECT_EQ(e.onlyShowIn, (QStringList{"GNOME", "KDE"}));
                  }},
        FieldCase{"exec field codes verbatim, path, try-exec, booleans",
                  "# a comment\n\n[Desktop Entry]\n  # indented comment\nVersion=1.5\nType=Application\n"
                  "Name=Editor\nExec=editor --new %f %%literal \"%c\" %k\nTryExec=editor\nPath=/srv/work\n"
                  "Terminal=true\nNoDisplay=false\nHidden=false\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.exec, QStringLiteral("editor --new %f %%literal \"%c\" %k"));
                      EXPECT_EQ(e.tryExec, QStringLiteral("editor"));
                      EXPECT_EQ(e.workingDirectory, QStringLiteral("/srv/work"));
                      EXPECT_TRUE(e.terminal);
                  }},
        FieldCase{"spaces around '=' and CRLF line ends",
                  "[Desktop Entry]\r\nType = Application\r\nName  =   Spaced Out\r\nIcon=\r\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.type, QStringLiteral("Application"));
                      EXPECT_EQ(e.name, QStringLiteral("Spaced Out"));
                      EXPECT_TRUE(e.icon.isEmpty());
                  }},
        FieldCase{"invalid boolean is false with a warning",
                  "[Desktop Entry]\nType=Application\nName=A\nTerminal=yes\nNoDisplay=1\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_FALSE(e.terminal);
                      EXPECT_FALSE(e.noDisplay);
                      ASSERT_EQ(e.warnings.size(), 2);
                      EXPECT_TRUE(e.warnings.at(0).contains(QStringLiteral("Terminal=yes")));
                  }},
        FieldCase{"byte order mark",
                  "\xEF\xBB\xBF[Desktop Entry]\nType=Application\nName=Bom\n",
                  {},
                  [](const DesktopEntry& e) { EXPECT_EQ(e.name, QStringLiteral("Bom")); }},
        FieldCase{
            "UTF-8 text",
            "[Desktop Entry]\nType=Application\nName=Bildbetrachter\nName[de]=Bildbetrachter \xC3\xBC\xE2\x9C\x93\n",
            kGerman,
            [](const DesktopEntry& e) { EXPECT_EQ(e.name, QString::fromUtf8("Bildbetrachter \u00fc\u2713")); }},
        FieldCase{"entry group after another group",
                  "[X-Vendor]\nFoo=bar\n[Desktop Entry]\nType=Link\nName=Docs\nURL=https://example.org\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.type, QStringLiteral("Link"));
                      EXPECT_EQ(e.name, QStringLiteral("Docs"));
                  }},
        FieldCase{"action names do not leak into the entry",
                  "[Desktop Action a]\nName=Action\nExec=action\n[Desktop Entry]\nType=Application\nName=Main\n",
                  {},
                  [](const DesktopEntry& e) {
                      EXPECT_EQ(e.name, QStringLiteral("Main"));
                      EXPECT_TRUE(e.exec.isEmpty());
                  }}),
    [](const ::testing::TestParamInfo<FieldCase>& param) {
        std::string name;
        for (const char* p = param.param.label; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

// --- Malformed input -----------------------------------------------------

// What is not a readable entry is refused with the reason; a '*' ends a reason
// of which only the start is fixed.
struct Malformed {
    const char* label;
    QByteArray text;
    const char* error;
};

void PrintTo(const Malformed& c, std::ostream* os) {
    *os << c.label;
}

class DesktopEntryMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(DesktopEntryMalformed, IsRefusedWithTheReason) {
    const QString expected = QString::fromLatin1(GetParam().error);
    const QString error = parseError(GetParam().text);
    if (expected.endsWith(QLatin1Char('*')))
        EXPECT_TRUE(error.startsWith(expected.chopped(1))) << error.toStdString();
    else
        EXPECT_EQ(error, expected);
}

const char* const kNoGroup = "not a desktop entry: no [Desktop Entry] group";

const Malformed kDesktopEntryMalformedCases[] = {
    {"EmptyFileHasNoGroup", "", kNoGroup},
    {"OtherGroupsOnly", "[Desktop Action x]\nName=X\n", kNoGroup},
    {"NoGroupAtAll", "Type=Application\nName=X\n", kNoGroup},
    {"MissingName", "[Desktop Entry]\nType=Application\n", "desktop entry has no Name"},
    {"EmptyName", "[Desktop Entry]\nType=Application\nName=\n", "desktop entry has no Name"},
    {"MissingType", "[Desktop Entry]\nName=A\n", "desktop entry has no Type"},
    {"InvalidUtf8", "[Desktop Entry]\nType=Application\nName=Bad \xC3\x28 byte\n", "invalid UTF-8 on line 3"},
    {"LineWithoutEquals", "[Desktop Entry]\nType=Application\n\nName=A\njust words\n",
     "malformed line 5: expected Key=Value"},
    {"UnclosedGroupHeader", "[Desktop Entry\nType=Application\nName=A\n", "malformed line 1*"},
    {"EmptyKey", "[Desktop Entry]\n=value\nName=A\n", "malformed line 2*"},
    {"UnclosedLocale", "[Desktop Entry]\nName[de=A\n", "malformed line 2*"},
    {"RepeatedEntryGroup", "[Desktop Entry]\nType=Application\nName=A\n[Desktop Entry]\nName=B\n", "malformed line 4*"},
    {"TextBeforeTheFirstGroup", "stray\n[Desktop Entry]\nType=Application\nName=A\n", "malformed line 1*"}};

INSTANTIATE_TEST_SUITE_P(Entries, DesktopEntryMalformed, ::testing::ValuesIn(kDesktopEntryMalformedCases),
                         [](const auto& test) { return std::string(test.param.label); });

TEST(DesktopEntryMalformed, NullErrorPointerIsAllowed) {
    EXPECT_FALSE(DesktopEntry::parse("", QString(), QString(), {}, nullptr).has_value());
}

TEST(DesktopEntryLoad, ReadsFileOrReportsIt) {
    QTemporaryDir dir;
    const QString path =
        writeTestFile(dir.filePath(QStringLiteral("a.desktop")), "[Desktop Entry]\nType=Application\nName=A\n");

    QString error;
    const auto entry = DesktopEntry::load(path, QStringLiteral("a.desktop"), {}, &error);
    ASSERT_TRUE(entry.has_value()) << error.toStdString();
    EXPECT_EQ(entry->path, path);
    EXPECT_FALSE(DesktopEntry::load(dir.filePath(QStringLiteral("missing.desktop")), {}, {}, &error).has_value());
    EXPECT_TRUE(error.startsWith(QStringLiteral("cannot read")));
}

// --- Locales ---------------------------------------------------------------

TEST(DesktopEntryLocales, Candidates) {
    EXPECT_EQ(DesktopEntry::localeCandidates(QStringLiteral("sr_RS@latin")),
              (QStringList{"sr_RS@latin", "sr_RS", "sr@latin", "sr"}));
    EXPECT_EQ(DesktopEntry::localeCandidates(QStringLiteral("de_DE.UTF-8")), (QStringList{"de_DE", "de"}));
    EXPECT_EQ(DesktopEntry::localeCandidates(QStringLiteral("ca_ES.UTF-8@valencia")),
              (QStringList{"ca_ES@valencia", "ca_ES", "ca@valencia", "ca"}));
    EXPECT_EQ(DesktopEntry::localeCandidates(QStringLiteral("fr")), (QStringList{"fr"}));
    EXPECT_EQ(DesktopEntry::localeCandidates(QStringLiteral("sr@latin")), (QStringList{"sr@latin", "sr"}));
    EXPECT_TRUE(DesktopEntry::localeCandidates(QStringLiteral("C")).isEmpty());
    EXPECT_TRUE(DesktopEntry::localeCandidates(QStringLiteral("C.UTF-8")).isEmpty());
    EXPECT_TRUE(DesktopEntry::localeCandidates(QStringLiteral("POSIX")).isEmpty());
    EXPECT_TRUE(DesktopEntry::localeCandidates(QString()).isEmpty());
}

TEST(DesktopEntryLocales, FromEnvironment) {
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", QByteArray("pt_BR.UTF-8"));
    ScopedEnv lang("LANG", QByteArray("en_US.UTF-8"));
    {
        ScopedEnv language("LANGUAGE", std::nullopt);
        EXPECT_EQ(DesktopEntry::systemLocales(), (QStringList{"pt_BR", "pt"}));
    }
    {
        ScopedEnv language("LANGUAGE", QByteArray("fr_CA:pt"));
        EXPECT_EQ(DesktopEntry::systemLocales(), (QStringList{"fr_CA", "fr", "pt", "pt_BR"}));
    }
    {
        ScopedEnv c("LC_MESSAGES", QByteArray("C"));
        ScopedEnv language("LANGUAGE", QByteArray("fr"));
        EXPECT_TRUE(DesktopEntry::systemLocales().isEmpty());
    }
}

// --- Visibility ------------------------------------------------------------

DesktopEntry application() {
    DesktopEntry entry;
    entry.type = QStringLiteral("Application");
    entry.name = QStringLiteral("App");
    return entry;
}

const auto kNothingOnPath = [](const QString&) { return false; };
const QStringList kGnome{"ubuntu", "GNOME"};

// Whether an entry is shown on the current desktops (its TryExec aside).
struct Shown {
    const char* label;
    QByteArray keys;  // below "[Desktop Entry]" and "Name=App"
    QStringList desktops;
    bool shown;
};

void PrintTo(const Shown& c, std::ostream* os) {
    *os << c.label;
}

class DesktopEntryShown : public ::testing::TestWithParam<Shown> {};

TEST_P(DesktopEntryShown, OnTheCurrentDesktops) {
    const DesktopEntry entry = parseOk("[Desktop Entry]\nName=App\n" + GetParam().keys);
    EXPECT_EQ(entry.isShown(GetParam().desktops, kNothingOnPath), GetParam().shown);
}

const Shown kDesktopEntryShownCases[] = {
    {"APlainApplication", "Type=Application\n", kGnome, true},
    {"APlainApplicationWithoutADesktop", "Type=Application\n", {}, true},
    {"NotAHiddenOne", "Type=Application\nHidden=true\n", kGnome, false},
    {"NotANoDisplayOne", "Type=Application\nNoDisplay=true\n", kGnome, false},
    {"NotALink", "Type=Link\n", kGnome, false},
    {"NotADirectory", "Type=Directory\n", kGnome, false},
    {"OnlyShowInOnItsDesktop", "Type=Application\nOnlyShowIn=KDE;GNOME;\n", kGnome, true},
    {"OnlyShowInNotElsewhere", "Type=Application\nOnlyShowIn=KDE;GNOME;\n", {"XFCE"}, false},
    {"OnlyShowInNotWithoutADesktop", "Type=Application\nOnlyShowIn=KDE;GNOME;\n", {}, false},
    {"OnlyShowInIsCaseSensitive", "Type=Application\nOnlyShowIn=KDE;GNOME;\n", {"gnome"}, false},
    {"NotShowInNotOnThatDesktop", "Type=Application\nNotShowIn=GNOME;\n", kGnome, false},
    {"NotShowInElsewhere", "Type=Application\nNotShowIn=GNOME;\n", {"KDE"}, true},
    {"NotShowInWithoutADesktop", "Type=Application\nNotShowIn=GNOME;\n", {}, true},
    {"BothListsOnTheFirstDesktop", "Type=Application\nOnlyShowIn=KDE;\nNotShowIn=GNOME;\n", {"KDE"}, true},
    {"BothListsOnBothDesktops", "Type=Application\nOnlyShowIn=KDE;\nNotShowIn=GNOME;\n", {"KDE", "GNOME"}, false}};

INSTANTIATE_TEST_SUITE_P(Entries, DesktopEntryShown, ::testing::ValuesIn(kDesktopEntryShownCases),
                         [](const auto& test) { return std::string(test.param.label); });

TEST(DesktopEntryVisibility, TryExecRelativeUsesCallback) {
    DesktopEntry entry = application();
    entry.tryExec = QStringLiteral("some-tool");
    QStringList asked;
    EXPECT_TRUE(entry.isShown(kGnome, [&](const QString& program) {
        asked.append(program);
        return true;
    }));
    EXPECT_EQ(asked, QStringList{"some-tool"});
    EXPECT_FALSE(entry.isShown(kGnome, kNothingOnPath));
    EXPECT_FALSE(entry.isShown(kGnome, nullptr));
}

TEST(DesktopEntryVisibility, TryExecAbsolute) {
    QTemporaryDir dir;
    const QString tool = writeTestFile(dir.filePath(QStringLiteral("tool")), "#!/bin/sh\n");
    QFile file(tool);

    DesktopEntry entry = application();
    entry.tryExec = tool;
    const auto alwaysTrue = [](const QString&) { return true; };
    EXPECT_FALSE(entry.isShown(kGnome, alwaysTrue));  // not executable yet
    ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_TRUE(entry.isShown(kGnome, kNothingOnPath));

    entry.tryExec = dir.filePath(QStringLiteral("missing"));
    EXPECT_FALSE(entry.isShown(kGnome, alwaysTrue));
    entry.tryExec = dir.path();  // a folder is no program
    EXPECT_FALSE(entry.isShown(kGnome, alwaysTrue));
}

TEST(DesktopEntryVisibility, ExecutableOnPath) {
    QTemporaryDir first;
    QTemporaryDir second;
    const QString tool = writeTestFile(second.filePath(QStringLiteral("vantrel-test-tool")), {},
                                       QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    ScopedEnv path("PATH", (first.path() + QStringLiteral(":relative::") + second.path()).toUtf8());
    EXPECT_TRUE(DesktopEntry::executableOnPath(QStringLiteral("vantrel-test-tool")));
    EXPECT_TRUE(DesktopEntry::executableOnPath(tool));
    EXPECT_FALSE(DesktopEntry::executableOnPath(QStringLiteral("vantrel-no-such-tool")));
    EXPECT_FALSE(DesktopEntry::executableOnPath(QString()));
    EXPECT_FALSE(DesktopEntry::executableOnPath(first.filePath(QStringLiteral("vantrel-test-tool"))));

    DesktopEntry entry = application();
    entry.tryExec = QStringLiteral("vantrel-test-tool");
    EXPECT_TRUE(entry.isShown(kGnome, &DesktopEntry::executableOnPath));
    entry.tryExec = QStringLiteral("vantrel-no-such-tool");
    EXPECT_FALSE(entry.isShown(kGnome, &DesktopEntry::executableOnPath));
}

TEST(DesktopEntryVisibility, CurrentDesktopsFromEnvironment) {
    {
        ScopedEnv desktop("XDG_CURRENT_DESKTOP", QByteArray("ubuntu:GNOME"));
        EXPECT_EQ(DesktopEntry::currentDesktops(), (QStringList{"ubuntu", "GNOME"}));
    }
    {
        ScopedEnv desktop("XDG_CURRENT_DESKTOP", std::nullopt);
        EXPECT_TRUE(DesktopEntry::currentDesktops().isEmpty());
    }
}

// --- Ids and folders -------------------------------------------------------

TEST(DesktopEntryIds, DesktopFileId) {
    const QString apps = QStringLiteral("/usr/share/applications");
    EXPECT_EQ(DesktopEntry::desktopFileId(apps, apps + QStringLiteral("/org.gnome.Terminal.desktop")),
              QStringLiteral("org.gnome.Terminal.desktop"));
    EXPECT_EQ(DesktopEntry::desktopFileId(apps, apps + QStringLiteral("/kde4/foo.desktop")),
              QStringLiteral("kde4-foo.desktop"));
    EXPECT_EQ(DesktopEntry::desktopFileId(apps + QStringLiteral("/"), apps + QStringLiteral("/a/b/c.desktop")),
              QStringLiteral("a-b-c.desktop"));
    EXPECT_TRUE(DesktopEntry::desktopFileId(apps, QStringLiteral("/usr/share/applicationsX/a.desktop")).isEmpty());
    EXPECT_TRUE(DesktopEntry::desktopFileId(apps, QStringLiteral("/opt/a.desktop")).isEmpty());
    EXPECT_TRUE(DesktopEntry::desktopFileId(apps, apps).isEmpty());
}

TEST(DesktopEntryDirectories, OrderFromXdgVariables) {
    ScopedXdgHome home;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    ScopedEnv dirs("XDG_DATA_DIRS", QByteArray("/opt/one/share:/usr/share/:relative:/opt/one/share"));
    EXPECT_EQ(DesktopEntry::applicationDirectories(),
              (QStringList{dataHome + QStringLiteral("/applications"), QStringLiteral("/opt/one/share/applications"),
                           QStringLiteral("/usr/share/applications"),
                           dataHome + QStringLiteral("/flatpak/exports/share/applications"),
                           QStringLiteral("/var/lib/flatpak/exports/share/applications"),
                           QStringLiteral("/var/lib/snapd/desktop/applications")}));
}

TEST(DesktopEntryDirectories, DefaultsAndNoDuplicates) {
    ScopedXdgHome home;
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    {
        ScopedEnv dirs("XDG_DATA_DIRS", std::nullopt);
        const QStringList folders = DesktopEntry::applicationDirectories();
        ASSERT_GE(folders.size(), 3);
        EXPECT_EQ(folders.at(1), QStringLiteral("/usr/local/share/applications"));
        EXPECT_EQ(folders.at(2), QStringLiteral("/usr/share/applications"));
    }
    {
        // Flatpak folders already among the data dirs keep their place.
        ScopedEnv dirs("XDG_DATA_DIRS", QByteArray("/var/lib/flatpak/exports/share:/usr/share"));
        const QStringList folders = DesktopEntry::applicationDirectories();
        EXPECT_EQ(folders.at(1), QStringLiteral("/var/lib/flatpak/exports/share/applications"));
        EXPECT_EQ(folders.count(QStringLiteral("/var/lib/flatpak/exports/share/applications")), 1);
        EXPECT_EQ(folders.size(), 5);
    }
    {
        ScopedEnv dataHomeUnset("XDG_DATA_HOME", std::nullopt);
        ScopedEnv dirs("XDG_DATA_DIRS", QByteArray("/usr/share"));
        EXPECT_EQ(DesktopEntry::applicationDirectories().constFirst(),
                  QDir::homePath() + QStringLiteral("/.local/share/applications"));
    }
}

TEST(DesktopEntryVendorKeys, KeptUnlocalizedWithEscapesUndone) {
    const DesktopEntry entry = parseOk(
        "[Desktop Entry]\nType=Application\nName=Displays\nExec=panel\n"
        "X-GNOME-Settings-Panel=display\nX-KDE-Keywords=screen;monitor\nX-Note=two\\sparts\n"
        "X-Note[de]=zwei\n[Desktop Action x]\nX-Other=ignored\n");
    EXPECT_EQ(entry.extensionKeys.value(QStringLiteral("X-GNOME-Settings-Panel")), QStringLiteral("display"));
    EXPECT_EQ(entry.extensionKeys.value(QStringLiteral("X-KDE-Keywords")), QStringLiteral("screen;monitor"));
    EXPECT_EQ(entry.extensionKeys.value(QStringLiteral("X-Note")), QStringLiteral("two parts"));
    EXPECT_FALSE(entry.extensionKeys.contains(QStringLiteral("X-Other")));
    EXPECT_FALSE(entry.extensionKeys.contains(QStringLiteral("Name")));
}

}  // namespace
}  // namespace vantrel::test
