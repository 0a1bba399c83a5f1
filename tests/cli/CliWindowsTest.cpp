// `vantrel windows` and `vantrel run appSwitcher`: the open windows of an X
// server of the test's own with openbox, listed and brought to the front.
#include "cli/CliTestSupport.h"
#include "support/X11TestSupport.h"

namespace vantrel::test {
namespace {

class CliWindowsTest : public CliFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.problem().isEmpty()) << desktop.problem().toStdString();
        client.emplace();
        alpha = named(client->createWindow(4100001), "Alpha Notes — Editor", "editor\0Editor\0");
        beta = named(client->createWindow(4100002), "Beta Browser", "browser\0Browser\0");
    }

    template <size_t N>
    xcb_window_t named(xcb_window_t window, const char* title, const char (&wmClass)[N]) {
        xcb_change_property(client->connection(), XCB_PROP_MODE_REPLACE, window, client->atom("_NET_WM_NAME"),
                            client->atom("UTF8_STRING"), 8, uint32_t(std::strlen(title)), title);
        xcb_change_property(client->connection(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            uint32_t(N - 1), wmClass);
        client->sync();
        return window;
    }

    static QString hexId(xcb_window_t window) { return QStringLiteral("0x%1").arg(window, 8, 16, QLatin1Char('0')); }

    PrivateDisplay desktop{true};
    std::optional<X11Client> client;
    xcb_window_t alpha = 0;
    xcb_window_t beta = 0;
};

TEST_F(CliWindowsTest, ListsTheOpenWindowsMostRecentlyUsedFirst) {
    const ProcessRun listing = run({"windows", "--json"});
    ASSERT_EQ(listing.exitCode, 0) << listing.err.toStdString();
    const QJsonArray windows = QJsonDocument::fromJson(listing.out.toUtf8()).array();
    ASSERT_EQ(windows.size(), 2) << listing.out.toStdString();
    // Beta was opened last and has the focus.
    const QJsonObject first = windows[0].toObject();
    EXPECT_EQ(first["title"].toString(), QStringLiteral("Beta Browser"));
    EXPECT_EQ(first["application"].toString(), QStringLiteral("Browser"));
    EXPECT_EQ(first["id"].toString(), hexId(beta));
    EXPECT_EQ(first["pid"].toInteger(), 4100002);
    EXPECT_TRUE(first["active"].toBool());
    EXPECT_EQ(windows[1].toObject()["title"].toString(), QStringLiteral("Alpha Notes — Editor"));
    EXPECT_FALSE(windows[1].toObject()["active"].toBool());

    const ProcessRun text = run({"windows"});
    EXPECT_EQ(text.out, QStringLiteral("%1 * Beta Browser  Browser\n%2   Alpha Notes — Editor  Editor\n")
                            .arg(hexId(beta), hexId(alpha)));
}

TEST_F(CliWindowsTest, RunAppSwitcherActivatesTheNamedWindow) {
    ASSERT_TRUE(waitUntil([&] { return client->activeWindow() == beta; }));
    const ProcessRun byTitle = run({"run", "appSwitcher", "alpha notes"});
    EXPECT_EQ(byTitle.exitCode, 0) << byTitle.err.toStdString();
    EXPECT_EQ(byTitle.out, QStringLiteral("Alpha Notes — Editor\n"));
    EXPECT_TRUE(waitUntil([&] { return client->activeWindow() == alpha; }));

    // And after it, the list starts with it.
    const QJsonArray windows = QJsonDocument::fromJson(run({"windows", "--json"}).out.toUtf8()).array();
    ASSERT_FALSE(windows.isEmpty());
    EXPECT_EQ(windows[0].toObject()["id"].toString(), hexId(alpha));

    const ProcessRun byId = run({"run", "appSwitcher", hexId(beta)});
    EXPECT_EQ(byId.exitCode, 0) << byId.err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return client->activeWindow() == beta; }));
}

TEST_F(CliWindowsTest, NamesThatFitNoneOrSeveralWindowsAreRefused) {
    const ProcessRun none = run({"run", "appSwitcher", "Gamma"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, QStringLiteral("vantrel: No open window is called \"Gamma\".\n"));

    const ProcessRun several = run({"run", "appSwitcher", "e"});
    EXPECT_EQ(several.exitCode, 1);
    EXPECT_EQ(several.err,
              QStringLiteral("vantrel: 2 windows match \"e\": \"Beta Browser\", \"Alpha Notes — Editor\".\n"));

    EXPECT_EQ(run({"windows", "--frob"}).exitCode, 2);
}

}  // namespace
}  // namespace vantrel::test
