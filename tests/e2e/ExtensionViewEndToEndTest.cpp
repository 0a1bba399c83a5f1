// An extension command with a view, in the real launcher on the test
// session's X server: it opens from root search, typing filters its list,
// Return runs the item's action, and a form's submit reaches the script,
// whose answer shows as a toast. The extension is the development folder
// tests/fixtures/extensions/views/fruit, run by the real extension host.
#include "e2e/LauncherProcess.h"

#include <QDirIterator>
#include <QJsonArray>

namespace vantrel::test {
namespace {

class ExtensionViewEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
        const QString source = QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/views/fruit");
        const QString folder = m_home->root() + QStringLiteral("/dev/fruit");
        QDirIterator files(source, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            writeTestFile(folder + path.mid(source.size()), readFile(path).toUtf8());
        }
        // The icon is binary: copied as it is.
        QFile::remove(folder + QStringLiteral("/assets/icon.png"));
        ASSERT_TRUE(QFile::copy(source + QStringLiteral("/assets/icon.png"), folder + QStringLiteral("/assets/icon.png")));
        const ProcessRun install = run(kExecutable, {QStringLiteral("extensions"), QStringLiteral("install"), folder}, 60000);
        ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    }

    QStringList viewRows() const {
        QStringList rows;
        for (const QJsonValue& row : status().value(QStringLiteral("viewRows")).toArray()) rows << row.toString();
        return rows;
    }

    // Types the command's title in root search and runs the first row.
    void openCommand(const QString& title, const QString& viewTitle) {
        typeText(title);
        ASSERT_TRUE(eventually([&] { return !listedRows().isEmpty() && listedRows().first().startsWith(title); }, 20000))
            << listedRows().join(QStringLiteral(", ")).toStdString();
        pressKeys(QStringLiteral("Return"));
        ASSERT_TRUE(eventually([&] { return topView() == viewTitle; }, 20000))
            << "shown: " << topView().toStdString() << "\n" << logText().toStdString();
    }
};

TEST_F(ExtensionViewEndToEndTest, AListOpensFromRootSearchFiltersAndRunsTheItemsAction) {
    startLauncher();
    showWithHotkey();
    openCommand(QStringLiteral("Browse Fruit"), QStringLiteral("Fruit"));
    ASSERT_TRUE(eventually([&] { return viewRows() == QStringList{"Apple", "Banana", "Cherry"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString();

    typeText(QStringLiteral("ban"));
    ASSERT_TRUE(eventually([&] { return viewRows() == QStringList{"Banana"}; }))
        << viewRows().join(QStringLiteral(", ")).toStdString() << "\n" << logText().toStdString();
    // The script heard the text too (throttled, the last text arrives).
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("search – ban")); })) << logText().toStdString();

    pressKeys(QStringLiteral("Return"));
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Toast: Picked banana")); })) << logText().toStdString();
    EXPECT_TRUE(isVisible()) << "the window stays while the script answers";
    EXPECT_EQ(topView(), QStringLiteral("Fruit"));
}

TEST_F(ExtensionViewEndToEndTest, AFormsSubmitReachesTheScriptAndItsAnswerShowsAsAToast) {
    startLauncher();
    showWithHotkey();
    openCommand(QStringLiteral("Fruit Feedback"), QStringLiteral("Feedback"));
    typeText(QStringLiteral("Ada"));
    pressKeys(QStringLiteral("ctrl+Return"));
    EXPECT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Toast: Thanks, Ada – banana again")); }))
        << logText().toStdString();
    EXPECT_TRUE(isVisible());
}

TEST_F(ExtensionViewEndToEndTest, ABrokenTreeLeavesTheLauncherUsable) {
    startLauncher();
    showWithHotkey();
    typeText(QStringLiteral("Broken Fruit"));
    ASSERT_TRUE(eventually([&] { return !listedRows().isEmpty() && listedRows().first().startsWith(QStringLiteral("Broken Fruit")); }, 20000));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("render refused – Missing property 'title' in listViewItem")); }))
        << logText().toStdString();
    // Escape goes back to root search, which still answers.
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return status().value(QStringLiteral("atRoot")).toBool(); }));
    typeText(QStringLiteral("Browse Fruit"));
    EXPECT_TRUE(eventually([&] { return !listedRows().isEmpty(); }, 20000));
}

}  // namespace
}  // namespace vantrel::test
