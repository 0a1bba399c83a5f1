// Launching applications from desktop entries and opening URLs and files with
// their default handlers through GIO. The fixture applications run a script
// that writes the arguments it got into a marker file.
#include "kit/VantrelError.h"
#include "platform/freedesktop/DesktopLauncher.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// GLib's headers use `signals` as an identifier, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace vantrel::test {
namespace {

class DesktopLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Writes its arguments, one a line, to a temporary file renamed into place
        // so that the test never reads half a marker.
        writeTestFile(recorder(),
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + marker().toUtf8() + ".tmp\"\nmv \"" +
                          marker().toUtf8() + ".tmp\" \"" + marker().toUtf8() + "\"\n",
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString recorder() const { return dir.path() + QStringLiteral("/record.sh"); }
    QString marker() const { return dir.path() + QStringLiteral("/marker"); }

    QString writeEntry(const QString& fileName, const QByteArray& body) {
        return writeTestFile(dir.path() + QLatin1Char('/') + fileName, body);
    }
    QString recorderEntry(const QByteArray& arguments) {
        return writeEntry(
            QStringLiteral("recorder.desktop"),
            "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + recorder().toUtf8() + " " + arguments + "\n");
    }

    // The arguments the fixture application got, once it has run.
    QStringList recordedArguments() {
        if (!waitUntil([&] { return QFileInfo::exists(marker()); }, 15000)) return {QStringLiteral("(never ran)")};
        QFile file(marker());
        if (!file.open(QIODevice::ReadOnly)) return {QStringLiteral("(unreadable)")};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }

    QTemporaryDir dir;
};

QString failureOf(const std::function<void()>& action) {
    try {
        action();
        return QStringLiteral("(no error)");
    } catch (const VantrelError& error) {
        return error.errorDescription();
    }
}

TEST_F(DesktopLauncherTest, LaunchesAnEntryWithUrlsThroughItsFieldCodes) {
    const QString document = writeTestFile(dir.path() + QStringLiteral("/a report.txt"), "text");
    const QString entry = recorderEntry("%U");
    DesktopLauncher::launch(entry, {QUrl::fromLocalFile(document), QUrl(QStringLiteral("https://example.com/a?b=1"))});
    // GIO hands local files over as paths, other URLs as they are.
    EXPECT_EQ(recordedArguments(), (QStringList{document, QStringLiteral("https://example.com/a?b=1")}));
}

TEST_F(DesktopLauncherTest, FileFieldCodesReceiveLocalPaths) {
    const QString document = writeTestFile(dir.path() + QStringLiteral("/naïve notes.txt"), "text");
    DesktopLauncher::launch(recorderEntry("--open %f"), {QUrl::fromLocalFile(document)});
    EXPECT_EQ(recordedArguments(), (QStringList{QStringLiteral("--open"), document}));
}

TEST_F(DesktopLauncherTest, NameAndLocationFieldCodesAreExpanded) {
    const QString entry = recorderEntry("--name %c --entry %k");
    DesktopLauncher::launch(entry);
    EXPECT_EQ(recordedArguments(),
              (QStringList{QStringLiteral("--name"), QStringLiteral("Recorder"), QStringLiteral("--entry"), entry}));
}

struct BadEntry {
    const char* label;
    QByteArray body;
};

void PrintTo(const BadEntry& entry, std::ostream* os) {
    *os << entry.label;
}

class UnlaunchableEntries : public DesktopLauncherTest, public ::testing::WithParamInterface<BadEntry> {};

TEST_P(UnlaunchableEntries, AreRefusedWithTheReason) {
    const QString path = writeEntry(QStringLiteral("bad.desktop"), GetParam().body);
    const QString message = failureOf([&] { DesktopLauncher::launch(path); });
    EXPECT_EQ(message, QStringLiteral("Cannot launch %1: it is not the desktop entry of an application that can start "
                                      "here (it is malformed, of another type, hidden, or its program is missing).")
                           .arg(path));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, UnlaunchableEntries,
    ::testing::Values(BadEntry{"NotADesktopFile", "this is not a desktop entry\n\x01\x02"},
                      BadEntry{"NoDesktopEntryGroup", "[Something Else]\nType=Application\nName=X\nExec=true\n"},
                      BadEntry{"Link", "[Desktop Entry]\nType=Link\nName=Docs\nURL=https://example.com\n"},
                      BadEntry{"MissingTryExec",
                               "[Desktop Entry]\nType=Application\nName=X\nTryExec=/nonexistent/vantrel-tool\n"
                               "Exec=/nonexistent/vantrel-tool\n"},
                      BadEntry{"MissingProgram",
                               "[Desktop Entry]\nType=Application\nName=X\nExec=/nonexistent/vantrel-app %U\n"},
                      BadEntry{"Empty", ""}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(DesktopLauncherTest, BadArgumentsStopTheLaunchBeforeAnythingStarts) {
    const QString entry = recorderEntry("%U");
    const QString missingEntry = dir.path() + QStringLiteral("/missing.desktop");
    EXPECT_EQ(failureOf([&] { DesktopLauncher::launch(missingEntry); }),
              QStringLiteral("Cannot launch %1: the file does not exist.").arg(missingEntry));
    const QString missingFile = dir.path() + QStringLiteral("/gone.txt");
    EXPECT_EQ(failureOf([&] { DesktopLauncher::launch(entry, {QUrl::fromLocalFile(missingFile)}); }),
              QStringLiteral("Cannot pass %1: the file does not exist.").arg(missingFile));
    EXPECT_EQ(failureOf([&] { DesktopLauncher::launch(entry, {QUrl(QStringLiteral("no scheme here"))}); }),
              QStringLiteral("Cannot pass \"no scheme here\": it is not a URL with a scheme."));
    EXPECT_FALSE(QFileInfo::exists(marker()));
}

// Opening with default handlers: the handler is a fixture application made the
// default for a URL scheme and for plain text through the user's mimeapps.list,
// in the folders GIO reads (fixed for the process when GLib first asks).
class DefaultHandlers : public DesktopLauncherTest {
protected:
    void SetUp() override {
        DesktopLauncherTest::SetUp();
        handler =
            QString::fromUtf8(g_get_user_data_dir()) + QStringLiteral("/applications/vantrel-test-handler.desktop");
        mimeapps = QString::fromUtf8(g_get_user_config_dir()) + QStringLiteral("/mimeapps.list");
        writeTestFile(handler, "[Desktop Entry]\nType=Application\nName=Test Handler\nExec=" + recorder().toUtf8() +
                                   " %u\nMimeType=x-scheme-handler/vantreltest;text/plain;\n");
        writeTestFile(mimeapps,
                      "[Default Applications]\nx-scheme-handler/vantreltest=vantrel-test-handler.desktop\n"
                      "text/plain=vantrel-test-handler.desktop\n");
        // GIO notices new files in those folders through its file monitors.
        const bool found = waitUntil([] {
            GAppInfo* info = g_app_info_get_default_for_uri_scheme("vantreltest");
            const bool ours = info && qstrcmp(g_app_info_get_id(info), "vantrel-test-handler.desktop") == 0;
            if (info) g_object_unref(info);
            return ours;
        });
        if (!found) GTEST_SKIP() << "GIO did not pick up the fixture handler (its caches were filled earlier)";
    }
    void TearDown() override {
        QFile::remove(handler);
        QFile::remove(mimeapps);
    }

    QString handler;
    QString mimeapps;
};

TEST_F(DefaultHandlers, OpensAUrlWithTheHandlerOfItsScheme) {
    DesktopLauncher::open(QUrl(QStringLiteral("vantreltest://item/42?view=full")));
    EXPECT_EQ(recordedArguments(), QStringList{QStringLiteral("vantreltest://item/42?view=full")});
}

TEST_F(DefaultHandlers, OpensTypedUrlsAndPaths) {
    DesktopLauncher::open(QStringLiteral("  vantreltest://typed  "));
    EXPECT_EQ(recordedArguments(), QStringList{QStringLiteral("vantreltest://typed")});

    QFile::remove(marker());
    const QString notes = writeTestFile(dir.path() + QStringLiteral("/notes.txt"), "plain text\n");
    DesktopLauncher::open(notes);
    EXPECT_EQ(recordedArguments(), QStringList{notes});
}

TEST_F(DesktopLauncherTest, OpeningWhatCannotBeOpenedSaysWhy) {
    EXPECT_EQ(
        failureOf([] { DesktopLauncher::open(QUrl(QStringLiteral("vantrelnohandler://x"))); }),
        QStringLiteral("Cannot open vantrelnohandler://x: no application is set to open vantrelnohandler links."));
    EXPECT_EQ(failureOf([] { DesktopLauncher::open(QStringLiteral("relative/notes.txt")); }),
              QStringLiteral("Cannot open \"relative/notes.txt\": it is neither a URL nor an absolute path."));
    EXPECT_EQ(failureOf([] { DesktopLauncher::open(QStringLiteral("/nonexistent/vantrel/notes.txt")); }),
              QStringLiteral("Cannot open /nonexistent/vantrel/notes.txt: the file does not exist."));
    EXPECT_EQ(failureOf([] { DesktopLauncher::open(QStringLiteral("   ")); }),
              QStringLiteral("Cannot open an empty location."));
}

}  // namespace
}  // namespace vantrel::test
