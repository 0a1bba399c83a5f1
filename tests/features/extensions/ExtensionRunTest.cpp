// Running extension commands from the launcher window: the running toast
// whose Cancel (and Escape, which presses it) stops a command that never
// returns, with the real host and JavaScriptCore; the desktop side of the
// API on the real clipboard.
#include "support/RecordingPresenter.h"
#include "support/RootSearchTestSupport.h"
#include "support/X11TestSupport.h"

#include "extensions/client/ExtensionRuntime.h"
#include "extensions/packages/ArchiveFixtures.h"
#include "extensions/packages/ExtensionRegistry.h"
#include "features/extensions/DesktopAppManager.h"
#include "features/extensions/ExtensionCommandRunner.h"
#include "features/extensions/ExtensionsFeature.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace vantrel::test {
namespace {

class ExtensionRunTest : public RootSearchFixture {
protected:
    // The host beside the `vantrel` the build made.
    ScopedEnv host{"VANTREL_EXTENSION_HOST",
                   (QFileInfo(QStringLiteral(VANTREL_EXECUTABLE)).absolutePath() + QStringLiteral("/vantrel-extension-host")).toUtf8()};

    void SetUp() override {
        RootSearchFixture::SetUp();
        QDir().mkpath(work);
    }
    // The launcher's one host was started for this test's data folder (it
    // may read nothing else): the next test starts its own.
    void TearDown() override {
        extensions::ExtensionRuntime::shared().client().kill();
        RootSearchFixture::TearDown();
    }

    // Installs an extension whose one command runs `script`.
    std::optional<ExtensionCommand> installCommand(const QString& name, const QByteArray& script) {
        if (!feature) {
            if (!start()) return std::nullopt;
            feature = features->api<ExtensionsFeature>();
        }
        const QString folder = writePackageFolder(work, name, {QStringLiteral("run")});
        writeTestFile(folder + QStringLiteral("/run.js"), script);
        ExtensionInstallation installation;
        installation.uuid = QStringLiteral("store-") + name;
        feature->extensionRegistry()->installPackage(zipFolder(work, name, work + QLatin1Char('/') + name + QStringLiteral(".zip")),
                                                     installation);
        return feature->extensionRegistry()->command(QStringLiteral("extension_") + name + QStringLiteral(".run__store-") + name);
    }

    CommandOutcome runCommand(const ExtensionCommand& command) {
        return runExtensionCommand(*feature->extensionRegistry(), command, CommandRunContext{}, &presenter);
    }

    static extensions::VantrelAPI& api() { return extensions::ExtensionRuntime::shared().api(); }

    QString work = home.root() + QStringLiteral("/work");
    ExtensionsFeature* feature = nullptr;
    RecordingPresenter presenter;
};

TEST_F(ExtensionRunTest, aLoopingCommandCanBeStoppedAFailureSaysWhyAndAHudClosesTheWindow) {
    const auto command = installCommand(QStringLiteral("spinner"), "module.exports = function () { for (;;) {} };\n");
    ASSERT_TRUE(command);
    const QString id = QStringLiteral("spinner.run__store-spinner");

    const CommandOutcome outcome = runCommand(*command);
    EXPECT_EQ(outcome.kind, CommandOutcome::Kind::done);
    ASSERT_EQ(presenter.toasts.size(), 1u);
    EXPECT_EQ(presenter.toasts[0].toast.style, Toast::Style::animated);
    EXPECT_EQ(presenter.toasts[0].toast.title, QStringLiteral("Running Run"));
    ASSERT_TRUE(presenter.cancelToast) << "the toast offers Cancel (Escape presses it)";
    EXPECT_EQ(presenter.hides, 0) << "the window stays while the command runs";
    ASSERT_TRUE(waitUntil([&] { return api().runningCommands().contains(id); }, 15000));
    const qint64 hostPid = extensions::ExtensionRuntime::shared().client().hostPid();
    ASSERT_GT(hostPid, 0);

    presenter.cancelToast();
    ASSERT_TRUE(waitUntil([&] { return api().runningCommands().isEmpty(); }, 15000)) << "the script was stopped";
    EXPECT_TRUE(presenter.huds.isEmpty());
    EXPECT_EQ(presenter.toasts.size(), 1u) << "a stop the user asked for is no failure";

    // The engine's thread was stopped, not the host: the same host runs the next command.
    const auto next = installCommand(QStringLiteral("hello"), "module.exports = function () { return 1; };\n");
    ASSERT_TRUE(next);
    runCommand(*next);
    ASSERT_TRUE(waitUntil([&] { return presenter.hides == 1; }, 15000)) << "a command that is done leaves the window";
    EXPECT_EQ(extensions::ExtensionRuntime::shared().client().hostPid(), hostPid);

    // (One test: the launcher's one host serves one data folder.)
    presenter = RecordingPresenter();
    const auto failing = installCommand(QStringLiteral("broken"), "module.exports = function () { throw new Error('no luck'); };\n");
    ASSERT_TRUE(failing);
    runCommand(*failing);
    ASSERT_TRUE(waitUntil([&] { return presenter.toasts.size() == 2; }, 15000));
    EXPECT_EQ(presenter.toasts[1].toast.style, Toast::Style::failure);
    EXPECT_EQ(presenter.toasts[1].toast.title, QStringLiteral("Could not load command"));
    EXPECT_TRUE(presenter.toasts[1].toast.message.startsWith(QStringLiteral("no luck"))) << presenter.toasts[1].toast.message.toStdString();
    EXPECT_EQ(presenter.hides, 0);

    const auto copying = installCommand(QStringLiteral("copier"),
                                        "const api = require('vantrel-commands');\n"
                                        "module.exports = () => api.Clipboard.copy('s3cret', { name: 'Secret', closeWindow: true });\n");
    ASSERT_TRUE(copying);
    runCommand(*copying);
    ASSERT_TRUE(waitUntil([&] { return !presenter.huds.isEmpty(); }, 15000));
    EXPECT_EQ(presenter.huds, QStringList{QStringLiteral("Copied Secret to clipboard")});
    EXPECT_EQ(presenter.hides, 1);
}

// What another program reads from the clipboard we wrote (xclip, over the X display).
QString clipboardText() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
    // Our own process serves the selection: wait while the event loop runs.
    if (!waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) return QStringLiteral("<xclip hung>");
    return QString::fromUtf8(xclip.readAllStandardOutput());
}

TEST(DesktopAppManagerTest, copiedTextReachesOtherProgramsAndClearingEmptiesTheClipboard) {
    VANTREL_REQUIRE_X_DISPLAY();
    DesktopAppManager desktop;
    desktop.setClipboardText(QStringLiteral("from an extension ✓"));
    EXPECT_EQ(clipboardText(), QStringLiteral("from an extension ✓"));
    desktop.clearClipboard();
    EXPECT_EQ(clipboardText(), QString());
}

TEST(DesktopAppManagerTest, applicationsAreFoundByIdOrNameAndAnUnknownOneIsNamed) {
    ScopedXdgHome home;
    const QString entry = writeTestFile(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/org.example.Notes.desktop"),
                                        "[Desktop Entry]\nType=Application\nName=Example Notes\nExec=true %U\n");
    EXPECT_EQ(DesktopAppManager::findApplication(QStringLiteral("example notes")), entry);
    EXPECT_EQ(DesktopAppManager::findApplication(QStringLiteral("Nothing Like This")), QString());
    DesktopAppManager desktop;
    try {
        desktop.openApplication(QStringLiteral("Nothing Like This"), {});
        ADD_FAILURE() << "no application should start";
    } catch (const VantrelError& error) {
        EXPECT_EQ(error.errorDescription(), QStringLiteral("No application named 'Nothing Like This'"));
    }
}

}  // namespace
}  // namespace vantrel::test
