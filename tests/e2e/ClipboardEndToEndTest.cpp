// Clipboard history in the real launcher, with xclip as the application that
// copies: what is copied shows up in `vantrel clipboard list --json`, the same
// text twice is one entry, colours, links and images are told apart, secrets
// and oversized text are never kept, the clipboard survives the copying
// application, and an entry pastes into the window the user was in. In a
// Wayland session (sway, headless) the same holds for Wayland applications.
#include "e2e/LauncherProcess.h"
#include "support/WaylandTestSupport.h"

#include "platform/x11/X11Clipboard.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QJsonDocument>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class ClipboardEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(),
                                        "xclip is not installed");
        markWelcomeSeen();
        beforeLauncherStarts();
        if (IsSkipped() || HasFatalFailure()) return;
        startLauncher();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Clipboard history started")); }));
    }

    // The session the launcher starts in, set up by fixtures below.
    virtual void beforeLauncherStarts() {}

    // Copies like an application does: xclip owns the clipboard (in the
    // background) until something else takes it.
    static void copy(const QByteArray& data, const QString& type = {}) {
        QProcess xclip;
        QStringList arguments{QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")};
        if (!type.isEmpty()) arguments << QStringLiteral("-t") << type;
        xclip.start(QStringLiteral("xclip"), arguments);
        ASSERT_TRUE(xclip.waitForStarted());
        xclip.write(data);
        xclip.closeWriteChannel();
        ASSERT_TRUE(xclip.waitForFinished(10000));
        ASSERT_EQ(xclip.exitCode(), 0);
    }

    static QJsonArray entries() {
        const ProcessRun listed =
            run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("list"), QStringLiteral("--json")});
        if (listed.exitCode != 0) return {};
        return QJsonDocument::fromJson(listed.out.toUtf8()).array();
    }

    static QJsonObject entryWithText(const QString& text) {
        for (const QJsonValue& value : entries())
            if (value.toObject().value(QStringLiteral("text")).toString() == text) return value.toObject();
        return {};
    }

    // Waits until the launcher has stored an entry with this text.
    static QJsonObject waitForEntry(const QString& text) {
        QJsonObject found;
        eventually([&] {
            found = entryWithText(text);
            return !found.isEmpty();
        });
        return found;
    }

    // Copies a text after the one under test and waits until it is stored:
    // everything copied before has been handled by then.
    void copyMarkerAndWait(const QString& marker) {
        copy(marker.toUtf8());
        ASSERT_FALSE(waitForEntry(marker).isEmpty()) << logText().toStdString();
    }

    // A window of another application with the focus; its text goes to `output`.
    QString openTextWindow(const QString& output) {
        return LauncherProcessTest::openTextWindow(output, QStringLiteral("Vantrel Paste Target"));
    }
};

TEST_F(ClipboardEndToEndTest, aCopiedTextIsListedWithItsCategoryCountAndDates) {
    copy("the quick brown fox");
    const QJsonObject entry = waitForEntry(QStringLiteral("the quick brown fox"));
    ASSERT_FALSE(entry.isEmpty()) << logText().toStdString();
    EXPECT_EQ(entry.value(QStringLiteral("category")).toString(), QStringLiteral("text"));
    EXPECT_EQ(entry.value(QStringLiteral("copyCount")).toInt(), 1);
    EXPECT_TRUE(QDateTime::fromString(entry.value(QStringLiteral("createdAt")).toString(), Qt::ISODateWithMs).isValid());
    EXPECT_TRUE(
        QDateTime::fromString(entry.value(QStringLiteral("lastModifiedAt")).toString(), Qt::ISODateWithMs).isValid());
    EXPECT_FALSE(entry.value(QStringLiteral("isPinned")).toBool());
    EXPECT_TRUE(entry.value(QStringLiteral("filePath")).isNull());
    EXPECT_TRUE(entry.value(QStringLiteral("imageHash")).isNull());
    // The newest entry comes first.
    EXPECT_EQ(entries().first().toObject().value(QStringLiteral("text")).toString(), QStringLiteral("the quick brown fox"));
}

TEST_F(ClipboardEndToEndTest, theSameTextCopiedTwiceIsOneEntryCopiedTwice) {
    copy("twice copied");
    const QJsonObject first = waitForEntry(QStringLiteral("twice copied"));
    ASSERT_FALSE(first.isEmpty());
    copy("something between");
    ASSERT_FALSE(waitForEntry(QStringLiteral("something between")).isEmpty());
    copy("twice copied");
    ASSERT_TRUE(eventually(
        [&] { return entryWithText(QStringLiteral("twice copied")).value(QStringLiteral("copyCount")).toInt() == 2; }));
    int matching = 0;
    for (const QJsonValue& value : entries())
        if (value.toObject().value(QStringLiteral("text")).toString() == QLatin1String("twice copied")) ++matching;
    EXPECT_EQ(matching, 1);
    const QJsonObject again = entryWithText(QStringLiteral("twice copied"));
    EXPECT_EQ(again.value(QStringLiteral("id")), first.value(QStringLiteral("id")));
    EXPECT_GE(again.value(QStringLiteral("lastModifiedAt")).toString(), first.value(QStringLiteral("lastModifiedAt")).toString());
}

TEST_F(ClipboardEndToEndTest, coloursAndLinksAreToldApartAndWhiteSpaceIsNotKept) {
    copy("#ff8800");
    EXPECT_EQ(waitForEntry(QStringLiteral("#ff8800")).value(QStringLiteral("category")).toString(), QStringLiteral("color"));
    copy("https://example.org/x");
    EXPECT_EQ(waitForEntry(QStringLiteral("https://example.org/x")).value(QStringLiteral("category")).toString(),
              QStringLiteral("link"));
    const qsizetype before = entries().size();
    copy("   \n\t  ");
    copyMarkerAndWait(QStringLiteral("after the white space"));
    EXPECT_EQ(entries().size(), before + 1);
}

TEST_F(ClipboardEndToEndTest, aCopiedPngIsAnImageStoredUnderTheDataFolder) {
    QImage image(24, 12, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = m_home->root() + QStringLiteral("/copied.png");
    ASSERT_TRUE(image.save(path, "PNG"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    copy(file.readAll(), QStringLiteral("image/png"));
    QJsonObject entry;
    ASSERT_TRUE(eventually([&] {
        for (const QJsonValue& value : entries())
            if (value.toObject().value(QStringLiteral("category")).toString() == QLatin1String("image"))
                entry = value.toObject();
        return !entry.isEmpty();
    })) << logText().toStdString();
    const QString hash = entry.value(QStringLiteral("imageHash")).toString();
    ASSERT_EQ(hash.size(), 64);
    const QString stored =
        qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/vantrel/Clipboard/") + hash + QStringLiteral(".png");
    ASSERT_TRUE(QFile::exists(stored));
    EXPECT_EQ(QImage(stored).size(), QSize(24, 12));
}

TEST_F(ClipboardEndToEndTest, contentAPasswordManagerMarksSecretIsNeverKept) {
    // A password manager offers the text with the hint, as KeePassXC does.
    X11Clipboard manager;
    ASSERT_TRUE(manager.isAvailable());
    ASSERT_TRUE(manager.write({{QStringLiteral("text/plain"), QByteArray("hunter2-secret")},
                               {QStringLiteral("x-kde-passwordManagerHint"), QByteArray("secret")}}));
    // Our event loop answers the launcher's requests while it reads.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !logText().contains(QStringLiteral("marked secret"))) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ASSERT_TRUE(logText().contains(QStringLiteral("marked secret"))) << logText().toStdString();
    copyMarkerAndWait(QStringLiteral("after the secret"));
    EXPECT_TRUE(entryWithText(QStringLiteral("hunter2-secret")).isEmpty());
}

TEST_F(ClipboardEndToEndTest, theClipboardKeepsTheLastTextAfterTheCopyingApplicationQuits) {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i"), QStringLiteral("-quiet")});
    ASSERT_TRUE(xclip.waitForStarted());
    xclip.write("outlives its application");
    ASSERT_TRUE(xclip.waitForBytesWritten(5000));
    xclip.closeWriteChannel();
    ASSERT_FALSE(waitForEntry(QStringLiteral("outlives its application")).isEmpty()) << logText().toStdString();
    xclip.terminate();
    ASSERT_TRUE(xclip.waitForFinished(5000));
    QString pasted;
    ASSERT_TRUE(eventually([&] {
        pasted = run(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")},
                     5000)
                     .out;
        return pasted == QLatin1String("outlives its application");
    })) << pasted.toStdString();
    // Taking over is not copying again, and the entry stays.
    const QJsonObject entry = entryWithText(QStringLiteral("outlives its application"));
    EXPECT_EQ(entry.value(QStringLiteral("copyCount")).toInt(), 1);
}

TEST_F(ClipboardEndToEndTest, aTextOfFortyThousandCharactersIsDropped) {
    copy(QByteArray(40000, 'x'));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Did not copy entry to clipboard history")); }));
    copyMarkerAndWait(QStringLiteral("after the long text"));
    for (const QJsonValue& value : entries())
        EXPECT_LT(value.toObject().value(QStringLiteral("text")).toString().size(), 40000);
}

TEST_F(ClipboardEndToEndTest, binaryDataOfferedAsTextIsRejected) {
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(char((i * 37 + 11) % 256));
    copy(garbage, QStringLiteral("text/plain"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Rejected a copy")); }));
    copyMarkerAndWait(QStringLiteral("after the garbage"));
    EXPECT_EQ(entries().size(), 1);
}

TEST_F(ClipboardEndToEndTest, pasteTypesTheEntryIntoTheWindowTheUserIsIn) {
    const QString output = m_home->root() + QStringLiteral("/pasted.txt");
    openTextWindow(output);
    if (HasFailure()) return;

    copy("pasted back by vantrel");
    const QJsonObject entry = waitForEntry(QStringLiteral("pasted back by vantrel"));
    ASSERT_FALSE(entry.isEmpty());
    // Something else is on the clipboard now; the paste brings the entry back.
    copyMarkerAndWait(QStringLiteral("copied later"));
    const ProcessRun pasted = run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("paste"),
                                                QString::number(entry.value(QStringLiteral("id")).toInteger())});
    ASSERT_EQ(pasted.exitCode, 0) << pasted.err.toStdString();
    ASSERT_TRUE(eventually([&] { return readFile(output) == QLatin1String("pasted back by vantrel"); }))
        << readFile(output).toStdString() << "\n"
        << logText().toStdString();
}

TEST_F(ClipboardEndToEndTest, returnInClipboardHistoryPastesIntoTheWindowTheLauncherWasOpenedFrom) {
    const QString output = m_home->root() + QStringLiteral("/from-the-view.txt");
    const QString window = openTextWindow(output);
    if (HasFailure()) return;
    copy("older entry");
    ASSERT_FALSE(waitForEntry(QStringLiteral("older entry")).isEmpty());
    copy("chosen in the launcher");
    ASSERT_FALSE(waitForEntry(QStringLiteral("chosen in the launcher")).isEmpty());
    copyMarkerAndWait(QStringLiteral("newest entry"));

    showWithHotkey();
    typeText(QStringLiteral("Clipboard History"));
    ASSERT_TRUE(eventually([&] { return selectedItem() == QLatin1String("clipboardHistory"); }))
        << selectedItem().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return topView() == QLatin1String("Clipboard History"); })) << topView().toStdString();
    // Typing filters the entries; Return pastes the one selected.
    typeText(QStringLiteral("chosen"));
    ASSERT_TRUE(eventually([&] { return !selectedItem().isEmpty() && searchText() == QLatin1String("chosen"); }))
        << QJsonDocument(status()).toJson().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return readFile(output) == QLatin1String("chosen in the launcher"); }))
        << readFile(output).toStdString() << "\n"
        << logText().toStdString();
    EXPECT_FALSE(isVisible());
    EXPECT_EQ(activeWindowId(), window);
}

TEST_F(ClipboardEndToEndTest, entriesArePinnedAndDeletedThroughTheRunningLauncher) {
    copy("to be pinned");
    const QJsonObject entry = waitForEntry(QStringLiteral("to be pinned"));
    ASSERT_FALSE(entry.isEmpty());
    copyMarkerAndWait(QStringLiteral("newer than the pinned one"));
    const QString id = QString::number(entry.value(QStringLiteral("id")).toInteger());
    ASSERT_EQ(run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("pin"), id}).exitCode, 0);
    // Pinned entries come first.
    EXPECT_EQ(entries().first().toObject().value(QStringLiteral("text")).toString(), QStringLiteral("to be pinned"));
    EXPECT_TRUE(entries().first().toObject().value(QStringLiteral("isPinned")).toBool());
    ASSERT_EQ(run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("delete"), id}).exitCode, 0);
    EXPECT_TRUE(entryWithText(QStringLiteral("to be pinned")).isEmpty());
    const ProcessRun missing = run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("pin"), id});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("Clipboard record not found"))) << missing.err.toStdString();
    ASSERT_EQ(run(kExecutable, {QStringLiteral("clipboard"), QStringLiteral("delete"), QStringLiteral("--all")}).exitCode, 0);
    EXPECT_TRUE(entries().isEmpty());
}


// The launcher in a Wayland session whose compositor offers data control,
// with wl-copy and wl-paste as the Wayland applications.
class ClipboardOnWaylandEndToEndTest : public ClipboardEndToEndTest {
protected:
    void beforeLauncherStarts() override {
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(!QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty(),
                                        "wl-clipboard is not installed");
        m_compositor = std::make_unique<HeadlessSway>();
        VANTREL_REQUIRE_DESKTOP_OR_SKIP(m_compositor->isRunning(),
                                        "sway did not start headless: " << m_compositor->why().toStdString());
        m_waylandDisplay = std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", QFile::encodeName(m_compositor->socket()));
        // The launcher's own window stays on X11 (XWayland on a real desktop).
        m_qpa = std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", QByteArray("xcb"));
    }

    void TearDown() override {
        for (auto& process : m_copiers) {
            process->kill();
            process->waitForFinished();
        }
        ClipboardEndToEndTest::TearDown();
        m_qpa.reset();
        m_waylandDisplay.reset();
        m_compositor.reset();
    }

    // wl-copy in the foreground, told its type (not guessed by xdg-mime). It
    // keeps what it serves in a folder under TMPDIR, which a killed one
    // leaves behind: that is the test's own scratch folder.
    QProcess* copyOnWayland(const QByteArray& data) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_scratch.path());
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral("wl-copy"),
                       {QStringLiteral("--foreground"), QStringLiteral("--type"), QStringLiteral("text/plain")});
        EXPECT_TRUE(process->waitForStarted());
        process->write(data);
        process->waitForBytesWritten(5000);
        process->closeWriteChannel();
        m_copiers.push_back(std::move(process));
        return m_copiers.back().get();
    }

    static QString pasteOnWayland() {
        return run(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")}).out;
    }

    QTemporaryDir m_scratch;
    std::unique_ptr<HeadlessSway> m_compositor;
    std::unique_ptr<ScopedEnv> m_waylandDisplay;
    std::unique_ptr<ScopedEnv> m_qpa;
    std::vector<std::unique_ptr<QProcess>> m_copiers;
};

TEST_F(ClipboardOnWaylandEndToEndTest, copiesInWaylandApplicationsAreKeptAndOutliveTheirApplication) {
    ASSERT_TRUE(logText().contains(QStringLiteral("Watching the Wayland clipboard through zwlr_data_control_manager_v1")))
        << logText().toStdString();
    QProcess* copier = copyOnWayland("copied in a Wayland application");
    const QJsonObject entry = waitForEntry(QStringLiteral("copied in a Wayland application"));
    ASSERT_FALSE(entry.isEmpty()) << logText().toStdString();
    EXPECT_EQ(entry.value(QStringLiteral("category")).toString(), QStringLiteral("text"));

    copyOnWayland("#00aaff");
    EXPECT_EQ(waitForEntry(QStringLiteral("#00aaff")).value(QStringLiteral("category")).toString(),
              QStringLiteral("color"));

    // The application that copied quits: the launcher keeps its content on the clipboard.
    copier = copyOnWayland("outlives its Wayland application");
    ASSERT_FALSE(waitForEntry(QStringLiteral("outlives its Wayland application")).isEmpty());
    copier->kill();
    copier->waitForFinished();
    EXPECT_TRUE(eventually([&] { return pasteOnWayland() == QLatin1String("outlives its Wayland application"); }))
        << logText().toStdString();
    // Taking it over is not a new copy.
    EXPECT_EQ(entryWithText(QStringLiteral("outlives its Wayland application")).value(QStringLiteral("copyCount")).toInt(),
              1);
}

}  // namespace
}  // namespace vantrel::test
