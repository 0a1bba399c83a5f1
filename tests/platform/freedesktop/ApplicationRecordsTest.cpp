// Installed desktop entries as search records: names, keywords, the visibility
// rules, settings panels, folder precedence and broken files.
#include "platform/freedesktop/ApplicationRecords.h"
#include "support/ApplicationFixture.h"
#include "support/CapturingLogHandler.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

namespace vantrel::test {
namespace {

std::vector<SearchRecord> readAll(const ApplicationFolders& folders) {
    const ApplicationRecords::Rules rules = ApplicationRecords::Rules::fromEnvironment();
    std::vector<ApplicationRecords::FolderListing> listings;
    for (const QString& folder : {folders.homeApplications(), folders.system1(), folders.system2()})
        listings.push_back(ApplicationRecords::readFolder(folder, rules));
    return ApplicationRecords::visibleRecords(listings);
}

TEST(ApplicationRecords, LocalizedNameKeywordsAndGenericName) {
    ApplicationFolders folders;
    const QString path = ApplicationFolders::write(folders.system1(), QStringLiteral("org.example.Editor.desktop"),
                                                   "[Desktop Entry]\n"
                                                   "Type=Application\n"
                                                   "Name=Text Editor\n"
                                                   "Name[de]=Texteditor\n"
                                                   "GenericName=Editor\n"
                                                   "GenericName[de]=Einfacher Editor\n"
                                                   "Keywords=text;plain;\n"
                                                   "Keywords[de]=Text;Notiz;editor;\n"
                                                   "Exec=fixture-app %F\n");

    const auto records = readAll(folders);
    ASSERT_EQ(records.size(), 1u);
    const SearchRecord& record = records.front();
    EXPECT_EQ(record.name, QStringLiteral("Texteditor"));
    // German keywords, then the generic name's words; "Editor" only once.
    EXPECT_EQ(record.keywords, QStringLiteral("Text Notiz editor Einfacher"));
    EXPECT_EQ(record.key, path);
    EXPECT_EQ(record.path, path);
    EXPECT_EQ(record.type, SearchRecord::ContentType::systemApp);
    EXPECT_EQ(record.source, SearchRecord::Source::system);
}

TEST(ApplicationRecords, UnlocalizedFallbackWithoutKeywords) {
    ApplicationFolders folders;
    ScopedEnv lang("LANG", QByteArray("C"));
    ApplicationFolders::write(folders.system1(), QStringLiteral("plain.desktop"),
                              ApplicationFolders::app("Plain", "Name[de]=Schlicht\n"));
    const auto records = readAll(folders);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front().name, QStringLiteral("Plain"));
    EXPECT_FALSE(records.front().keywords.has_value());
}

TEST(ApplicationRecords, VisibilityRules) {
    ApplicationFolders folders;
    ScopedLogCapture capture;
    const QString dir = folders.system1();
    ApplicationFolders::write(dir, QStringLiteral("shown.desktop"), ApplicationFolders::app("Shown"));
    ApplicationFolders::write(dir, QStringLiteral("nodisplay.desktop"),
                              ApplicationFolders::app("NoDisplay", "NoDisplay=true\n"));
    ApplicationFolders::write(dir, QStringLiteral("hidden.desktop"),
                              ApplicationFolders::app("Hidden", "Hidden=true\n"));
    ApplicationFolders::write(dir, QStringLiteral("gnome-only.desktop"),
                              ApplicationFolders::app("GnomeOnly", "OnlyShowIn=GNOME;\n"));
    ApplicationFolders::write(dir, QStringLiteral("kde-only.desktop"),
                              ApplicationFolders::app("KdeOnly", "OnlyShowIn=KDE;\n"));
    ApplicationFolders::write(dir, QStringLiteral("not-gnome.desktop"),
                              ApplicationFolders::app("NotGnome", "NotShowIn=XFCE;GNOME;\n"));
    ApplicationFolders::write(dir, QStringLiteral("not-kde.desktop"),
                              ApplicationFolders::app("NotKde", "NotShowIn=KDE;\n"));
    ApplicationFolders::write(dir, QStringLiteral("tryexec-missing.desktop"),
                              ApplicationFolders::app("TryExecMissing", "TryExec=not-installed\n"));
    ApplicationFolders::write(dir, QStringLiteral("tryexec-present.desktop"),
                              ApplicationFolders::app("TryExecPresent", "TryExec=fixture-app\n"));
    ApplicationFolders::write(dir, QStringLiteral("link.desktop"),
                              "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org\n");

    EXPECT_EQ(namesOf(readAll(folders)), (QStringList{"GnomeOnly", "NotKde", "Shown", "TryExecPresent"}));
    // Entries that are fine but not meant to be shown are no warnings.
    for (const QString& line : capture->lines())
        EXPECT_FALSE(line.contains(QStringLiteral("Skipping"))) << line.toStdString();
}

TEST(ApplicationRecords, SettingsPanelsArePrefPanes) {
    ApplicationFolders folders;
    const QString dir = folders.system1();
    const QByteArray panel =
        "[Desktop Entry]\nType=Application\nExec=settings-panel "
        "display\nCategories=GNOME;GTK;Settings;X-GNOME-Settings-Panel;\n"
        "X-GNOME-Settings-Panel=display\nNoDisplay=true\nOnlyShowIn=GNOME;Unity;\n";
    ApplicationFolders::write(dir, QStringLiteral("gnome-display-panel.desktop"), panel + "Name=Displays\n");
    ApplicationFolders::write(dir, QStringLiteral("gnome-hidden-panel.desktop"), panel + "Name=Gone\nHidden=true\n");
    ApplicationFolders::write(dir, QStringLiteral("gnome-kde-panel.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Elsewhere\nExec=settings-panel x\n"
                              "Categories=Settings;\nX-GNOME-Settings-Panel=x\nOnlyShowIn=KDE;\n");
    ApplicationFolders::write(dir, QStringLiteral("kcm_bluetooth.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Bluetooth\nExec=settings-panel kcm_bluetooth\n"
                              "NoDisplay=true\n");
    // A settings application without the panel key is an ordinary application,
    // and NoDisplay hides it.
    ApplicationFolders::write(dir, QStringLiteral("tweaks.desktop"),
                              ApplicationFolders::app("Tweaks", "Categories=Settings;\n"));
    ApplicationFolders::write(dir, QStringLiteral("tweaks-hidden.desktop"),
                              ApplicationFolders::app("HiddenTweaks", "Categories=Settings;\nNoDisplay=true\n"));

    const auto records = readAll(folders);
    EXPECT_EQ(namesOf(records), (QStringList{"Bluetooth", "Displays", "Tweaks"}));
    EXPECT_EQ(findNamed(records, QStringLiteral("Displays"))->type, SearchRecord::ContentType::prefPane);
    EXPECT_EQ(findNamed(records, QStringLiteral("Bluetooth"))->type, SearchRecord::ContentType::prefPane);
    EXPECT_EQ(findNamed(records, QStringLiteral("Tweaks"))->type, SearchRecord::ContentType::systemApp);
}

TEST(ApplicationRecords, EarlierFolderWinsForTheSameId) {
    ApplicationFolders folders;
    const QString home = ApplicationFolders::write(folders.homeApplications(), QStringLiteral("editor.desktop"),
                                                   ApplicationFolders::app("Mine"));
    ApplicationFolders::write(folders.system1(), QStringLiteral("editor.desktop"), ApplicationFolders::app("Vendor"));
    // "vendor/tool.desktop" has the id "vendor-tool.desktop" and hides the
    // flat file of that name in a later folder.
    const QString nested = ApplicationFolders::write(folders.system1(), QStringLiteral("vendor/tool.desktop"),
                                                     ApplicationFolders::app("Nested Tool"));
    ApplicationFolders::write(folders.system2(), QStringLiteral("vendor-tool.desktop"),
                              ApplicationFolders::app("Flat Tool"));
    ApplicationFolders::write(folders.system2(), QStringLiteral("other.desktop"), ApplicationFolders::app("Other"));

    const auto records = readAll(folders);
    EXPECT_EQ(namesOf(records), (QStringList{"Mine", "Nested Tool", "Other"}));
    EXPECT_EQ(findNamed(records, QStringLiteral("Mine"))->key, home);
    EXPECT_EQ(findNamed(records, QStringLiteral("Nested Tool"))->key, nested);
}

TEST(ApplicationRecords, BrokenFilesAreSkippedWithAWarningEach) {
    ApplicationFolders folders;
    ScopedLogCapture capture;
    const QString dir = folders.system1();
    ApplicationFolders::write(dir, QStringLiteral("good.desktop"), ApplicationFolders::app("Good"));
    ApplicationFolders::write(dir, QStringLiteral("dbus.desktop"),
                              "[Desktop Entry]\nType=Application\nName=Activatable\nDBusActivatable=true\n");

    struct Bad {
        QString file;
        QString reason;
    };
    std::vector<Bad> bad;
    const auto add = [&](const QString& file, const QByteArray& contents, const QString& reason) {
        bad.push_back({ApplicationFolders::write(dir, file, contents), reason});
    };
    add(QStringLiteral("noname.desktop"), "[Desktop Entry]\nType=Application\nExec=fixture-app\n",
        QStringLiteral("no Name"));
    add(QStringLiteral("latin1.desktop"), "[Desktop Entry]\nType=Application\nName=Caf\xe9\nExec=fixture-app\n",
        QStringLiteral("invalid UTF-8"));
    add(QStringLiteral("garbage.desktop"),
        "\x7f"
        "ELF\x02\x01\x01\0\0\0",
        QStringLiteral("unparsable"));
    add(QStringLiteral("missing-program.desktop"), "[Desktop Entry]\nType=Application\nName=Ghost\nExec=ghost-app %u\n",
        QStringLiteral("program ghost-app not found"));
    add(QStringLiteral("not-executable.desktop"),
        "[Desktop Entry]\nType=Application\nName=NotExec\nExec=" + (dir + QStringLiteral("/good.desktop")).toUtf8() +
            "\n",
        QStringLiteral("not found"));
    add(QStringLiteral("no-exec.desktop"), "[Desktop Entry]\nType=Application\nName=NoExec\n",
        QStringLiteral("no Exec"));
    add(QStringLiteral("bad-quote.desktop"), "[Desktop Entry]\nType=Application\nName=Quote\nExec=\"fixture-app\n",
        QStringLiteral("Exec cannot be read"));
    QByteArray huge = ApplicationFolders::app("Huge");
    huge.append(QByteArray(ApplicationRecords::kMaxDesktopFileSize, '#'));
    add(QStringLiteral("huge.desktop"), huge, QStringLiteral("larger than 1048576 bytes"));

    const QString dangling = dir + QStringLiteral("/dangling.desktop");
    ASSERT_EQ(::symlink("/nonexistent/target.desktop", QFile::encodeName(dangling).constData()), 0);
    bad.push_back({dangling, QStringLiteral("cannot be read")});
    // A folder linking back to its parent is read once.
    const QString loop = dir + QStringLiteral("/loop");
    ASSERT_EQ(::symlink(QFile::encodeName(dir).constData(), QFile::encodeName(loop).constData()), 0);
    bad.push_back({loop, QStringLiteral("already read")});

    const auto records = readAll(folders);
    EXPECT_EQ(namesOf(records), (QStringList{"Activatable", "Good"}));

    const QStringList lines = capture->lines();
    for (const Bad& entry : bad) {
        const auto matching = std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
            return line.contains(QStringLiteral("Warning]")) && line.contains(entry.file + QLatin1Char(':')) &&
                   line.contains(entry.reason);
        });
        EXPECT_EQ(matching, 1) << entry.file.toStdString() << " / " << entry.reason.toStdString() << "\n"
                               << lines.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(ApplicationRecords, UnreadableFolderIsReportedAndSkipped) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    ApplicationFolders folders;
    ScopedLogCapture capture;
    ApplicationFolders::write(folders.system1(), QStringLiteral("good.desktop"), ApplicationFolders::app("Good"));
    const QString locked = folders.system1() + QStringLiteral("/locked");
    ApplicationFolders::write(locked, QStringLiteral("secret.desktop"), ApplicationFolders::app("Secret"));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);

    const auto records = readAll(folders);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(namesOf(records), QStringList{"Good"});
    EXPECT_TRUE(capture->contains(QStringLiteral("Could not enumerate directory: ") + locked));
}

TEST(ApplicationRecords, ExecProgram) {
    const std::vector<std::pair<QString, QString>> cases = {
        {QStringLiteral("firefox %u"), QStringLiteral("firefox")},
        {QStringLiteral("  /usr/bin/gedit --new-window"), QStringLiteral("/usr/bin/gedit")},
        {QStringLiteral("\"/opt/My App/run\" %F"), QStringLiteral("/opt/My App/run")},
        {QStringLiteral("\"/opt/a\\\"b/run\""), QStringLiteral("/opt/a\"b/run")},
        {QStringLiteral("\"/opt/unterminated"), QString()},
        {QString(), QString()},
    };
    for (const auto& [exec, program] : cases)
        EXPECT_EQ(ApplicationRecords::execProgram(exec), program) << exec.toStdString();
}

TEST(ApplicationRecords, SecondsText) {
    EXPECT_EQ(ApplicationRecords::secondsText(5), QStringLiteral("5.0"));
    EXPECT_EQ(ApplicationRecords::secondsText(20), QStringLiteral("20.0"));
    EXPECT_EQ(ApplicationRecords::secondsText(0.05), QStringLiteral("0.05"));
}

}  // namespace
}  // namespace vantrel::test
