// An extension command with a view, in the real launcher on the test
// session's X server: it opens from root search, typing filters its list,
// Return runs the item's action, and a form's submit reaches the script,
// whose answer shows as a toast. The extension is the development folder
// tests/fixtures/extensions/views/fruit, run by the real extension host.
#include "e2e/LauncherProcess.h"

#include <QDate>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonArray>

namespace vantrel::test {
namespace {

class ExtensionViewEndToEndTest : public LauncherProcessTest {
protected:
    void SetUp() override {
        LauncherProcessTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        markWelcomeSeen();
        installViewsFixture(QStringLiteral("fruit"));
    }

    // One field of the form on screen: "value", "message", "hint", "suggestions".
    QJsonObject formField(const QString& id) const {
        return status().value(QStringLiteral("form")).toObject().value(id).toObject();
    }
    QStringList tokenTitles(const QString& id) const {
        QStringList titles;
        for (const QJsonValue& token : formField(id).value(QStringLiteral("value")).toArray())
            titles << token.toObject().value(QStringLiteral("title")).toString();
        return titles;
    }
    QStringList suggestions(const QString& id) const {
        QStringList titles;
        for (const QJsonValue& title : formField(id).value(QStringLiteral("suggestions")).toArray()) titles << title.toString();
        return titles;
    }
    QStringList actionPanelRows() const {
        QStringList rows;
        for (const QJsonValue& row : status().value(QStringLiteral("actionPanelRows")).toArray()) rows << row.toString();
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

TEST_F(ExtensionViewEndToEndTest, AFormsTokenEditorDatePickerAndButtonWorkFromTheKeyboard) {
    startLauncher();
    showWithHotkey();
    openCommand(QStringLiteral("Fruit Order"), QStringLiteral("Order"));

    // The token editor has the keyboard: typing lists the items that match.
    typeText(QStringLiteral("an"));
    ASSERT_TRUE(eventually([&] { return suggestions(QStringLiteral("fruit")) == QStringList{"Banana"}; }))
        << formField(QStringLiteral("fruit")).value(QStringLiteral("suggestions")).toArray().size() << "\n" << logText().toStdString();
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return tokenTitles(QStringLiteral("fruit")) == QStringList{"Banana"}; }));
    EXPECT_EQ(topView(), QStringLiteral("Order")) << "Return completed the token instead of submitting";

    typeText(QStringLiteral("e"));
    ASSERT_TRUE(eventually([&] { return suggestions(QStringLiteral("fruit")) == QStringList({"Apple", "Cherry"}); }));
    // Escape closes the suggestions, not the form; typing lists them again.
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return suggestions(QStringLiteral("fruit")).isEmpty(); }));
    EXPECT_EQ(topView(), QStringLiteral("Order")) << "Escape left the form";
    pressKeys(QStringLiteral("BackSpace"));
    typeText(QStringLiteral("e"));
    ASSERT_TRUE(eventually([&] { return suggestions(QStringLiteral("fruit")) == QStringList({"Apple", "Cherry"}); }));
    pressKeys(QStringLiteral("Down"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return tokenTitles(QStringLiteral("fruit")) == QStringList({"Banana", "Cherry"}); }));

    // Return right after typing adds the first suggestion once it arrives;
    // Backspace in the empty text takes the last token away again.
    typeText(QStringLiteral("app"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return tokenTitles(QStringLiteral("fruit")) == QStringList({"Banana", "Cherry", "Apple"}); }));
    pressKeys(QStringLiteral("BackSpace"));
    ASSERT_TRUE(eventually([&] { return tokenTitles(QStringLiteral("fruit")) == QStringList({"Banana", "Cherry"}); }));

    // The date picker reads a phrase and shows the date it names.
    pressKeys(QStringLiteral("Tab"));
    typeText(QStringLiteral("someday soon"));
    ASSERT_TRUE(eventually([&] {
        return formField(QStringLiteral("when")).value(QStringLiteral("message")).toString() ==
               QStringLiteral("Not a date I can read: 'someday soon'");
    })) << QJsonDocument(status()).toJson().toStdString();
    // Submitting now sends nothing (counted at the end); the message stays.
    pressKeys(QStringLiteral("ctrl+Return"));
    EXPECT_EQ(topView(), QStringLiteral("Order"));

    pressKeys(QStringLiteral("ctrl+a"));
    typeText(QStringLiteral("tomorrow 9am"));
    const QString before = QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 09:00");
    ASSERT_TRUE(eventually([&] {
        const QString hint = formField(QStringLiteral("when")).value(QStringLiteral("hint")).toString();
        return hint.startsWith(QStringLiteral("Tomorrow, 9:00 AM"));
    })) << QJsonDocument(status()).toJson().toStdString();
    EXPECT_FALSE(formField(QStringLiteral("when")).contains(QStringLiteral("message")));

    // Return on the focused button presses it; the script answers.
    pressKeys(QStringLiteral("Tab"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Toast: Ring 1")); })) << logText().toStdString();
    EXPECT_EQ(topView(), QStringLiteral("Order"));

    // Submit: the tokens as the script gave them (the banana keeps its
    // badge colour) and the date in the item's own format.
    pressKeys(QStringLiteral("ctrl+Return"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Toast: Order Banana*+Cherry")); })) << logText().toStdString();
    const QString after = QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 09:00");
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("Toast: Order Banana*+Cherry – at ") + before) ||
                log.contains(QStringLiteral("Toast: Order Banana*+Cherry – at ") + after))
        << log.toStdString();
    // The unreadable date before never reached the script.
    EXPECT_EQ(log.count(QStringLiteral("Toast: Order ")), 1) << log.toStdString();
}

TEST_F(ExtensionViewEndToEndTest, AnActionSubmenuShowsItsEntriesGoesBackWithEscapeAndRunsTheChosenOne) {
    startLauncher();
    showWithHotkey();
    openCommand(QStringLiteral("Fruit Order"), QStringLiteral("Order"));
    pressKeys(QStringLiteral("ctrl+k"));
    ASSERT_TRUE(eventually([&] { return actionPanelRows().contains(QStringLiteral("Choose Size")); }))
        << QJsonDocument(status()).toJson().toStdString();
    const QStringList topLevel = actionPanelRows();
    typeText(QStringLiteral("size"));
    ASSERT_TRUE(eventually([&] { return actionPanelRows() == QStringList{"Choose Size"}; }));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return actionPanelRows() == QStringList({"Small Basket", "Large Crate"}); }))
        << actionPanelRows().join(QStringLiteral(", ")).toStdString() << "\n" << logText().toStdString();

    // Escape goes back one level, not out of the panel.
    pressKeys(QStringLiteral("Escape"));
    ASSERT_TRUE(eventually([&] { return actionPanelRows() == topLevel; })) << actionPanelRows().join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(status().value(QStringLiteral("actionPanel")).toBool());

    typeText(QStringLiteral("size"));
    ASSERT_TRUE(eventually([&] { return actionPanelRows() == QStringList{"Choose Size"}; }));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return actionPanelRows() == QStringList({"Small Basket", "Large Crate"}); }));
    pressKeys(QStringLiteral("Down"));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("Toast: Size large")); })) << logText().toStdString();
    EXPECT_FALSE(status().value(QStringLiteral("actionPanel")).toBool());
    EXPECT_EQ(topView(), QStringLiteral("Order"));
}

TEST_F(ExtensionViewEndToEndTest, MalformedFormItemsAreRefusedWithTheirMessages) {
    startLauncher();
    showWithHotkey();
    typeText(QStringLiteral("Bad Fruit Order"));
    ASSERT_TRUE(eventually([&] { return !listedRows().isEmpty() && listedRows().first().startsWith(QStringLiteral("Bad Fruit Order")); }, 20000));
    pressKeys(QStringLiteral("Return"));
    ASSERT_TRUE(eventually([&] { return logText().contains(QStringLiteral("date refused – Wrond date format")); }))
        << logText().toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral("token refused – Missing property 'id' in tokenValue"))) << logText().toStdString();
    // The launcher still answers: Escape goes back to root search.
    pressKeys(QStringLiteral("Escape"));
    EXPECT_TRUE(eventually([&] { return status().value(QStringLiteral("atRoot")).toBool(); }));
}

}  // namespace
}  // namespace vantrel::test
