// `vantrel run extension_…` of commands with a view: the script renders in
// the real extension host and the typed view model is printed once the first
// render settled. The fixture's scripts call `__VantrelAPI__("ui", "render", …)`
// themselves (tests/fixtures/extensions/views/fruit).
#include "CliTestSupport.h"

#include "support/QtPrinters.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

using namespace vantrel::test;

namespace {

class CliExtensionView : public CliFixture {
protected:
    void SetUp() override {
        const QString source = QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/extensions/views/fruit");
        const QString folder = home.root() + QStringLiteral("/dev/fruit");
        QDirIterator files(source, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            writeFile(folder + path.mid(source.size()), file.readAll());
        }
        const ProcessRun install = run({QStringLiteral("extensions"), QStringLiteral("install"), folder});
        ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    }

    static QJsonObject viewJson(const QString& command, ProcessRun* output = nullptr) {
        const ProcessRun shown = run({QStringLiteral("run"), command, QStringLiteral("--view-json")});
        if (output) *output = shown;
        EXPECT_EQ(shown.exitCode, 0) << shown.err.toStdString();
        return QJsonDocument::fromJson(shown.out.toUtf8()).object();
    }
};

}  // namespace

TEST_F(CliExtensionView, aListOfThreeItemsRenderedThroughTheProtocolIsPrintedWithKindsAndTitles) {
    const QJsonObject report = viewJson(QStringLiteral("extension_fruit.fruit__dev"));
    const QJsonObject view = report.value(QStringLiteral("view")).toObject();
    EXPECT_EQ(view.value(QStringLiteral("kind")), QJsonValue(QStringLiteral("commandView")));
    const QJsonObject list = report.value(QStringLiteral("shown")).toObject();
    EXPECT_EQ(list.value(QStringLiteral("kind")), QJsonValue(QStringLiteral("listView")));
    EXPECT_EQ(list.value(QStringLiteral("navigationTitle")), QJsonValue(QStringLiteral("Fruit")));
    const QJsonArray sections = list.value(QStringLiteral("sections")).toArray();
    ASSERT_EQ(sections.size(), 1);
    EXPECT_EQ(sections.at(0).toObject().value(QStringLiteral("title")), QJsonValue(QStringLiteral("In season")));
    QStringList titles;
    for (const QJsonValue& item : sections.at(0).toObject().value(QStringLiteral("items")).toArray()) {
        EXPECT_EQ(item.toObject().value(QStringLiteral("kind")), QJsonValue(QStringLiteral("listViewItem")));
        titles << item.toObject().value(QStringLiteral("title")).toString();
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Apple"), QStringLiteral("Banana"), QStringLiteral("Cherry")}));
}

TEST_F(CliExtensionView, withoutOptionsTheViewIsPrintedAsAnOutline) {
    const ProcessRun shown = run({QStringLiteral("run"), QStringLiteral("extension_fruit.feedback__dev")});
    EXPECT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    EXPECT_EQ(shown.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("commandView"), QStringLiteral("  formView \"Feedback\" (shown)"),
                           QStringLiteral("    formViewTextField \"Name\""), QStringLiteral("    formViewTextArea \"Comment\""),
                           QStringLiteral("    formViewCheckbox \"Again\""), QStringLiteral("    formViewDropdown \"Favourite\"")}));
}

TEST_F(CliExtensionView, aRenderStormSettlesOnTheLastTree) {
    const QJsonObject report = viewJson(QStringLiteral("extension_fruit.storm__dev"));
    EXPECT_EQ(report.value(QStringLiteral("shown")).toObject().value(QStringLiteral("navigationTitle")),
              QJsonValue(QStringLiteral("Storm 1999")));
}

TEST_F(CliExtensionView, aTreeThatDoesNotBuildIsReportedWithItsReason) {
    const ProcessRun shown = run({QStringLiteral("run"), QStringLiteral("extension_fruit.broken__dev"), QStringLiteral("--view-json")});
    EXPECT_EQ(shown.exitCode, 1);
    EXPECT_TRUE(shown.err.contains(QStringLiteral("Render error: Missing property 'title' in listViewItem"))) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.isEmpty()) << shown.out.toStdString();
}
