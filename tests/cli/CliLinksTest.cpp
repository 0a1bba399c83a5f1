// A query that holds a link among other words, through the real executable:
// root search offers the link commands, and "Open in Browser" hands exactly
// the link to the desktop's handler for its scheme (a fixture handler made the
// default in the private session's mimeapps.list).
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class CliLinksTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        ASSERT_FALSE(config.isEmpty());
        marker = home.root() + QStringLiteral("/opened.txt");
        const QString recorder = home.root() + QStringLiteral("/record-link");
        write(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + marker.toUtf8() + "'\n");
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(data + QStringLiteral("/applications/vantrel-link-recorder.desktop"),
              "[Desktop Entry]\nType=Application\nName=Link Recorder\nExec=" + recorder.toUtf8() +
                  " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        write(config + QStringLiteral("/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/https=vantrel-link-recorder.desktop\n"
              "x-scheme-handler/http=vantrel-link-recorder.desktop\n");
    }

    static void write(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    static Run run(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    ScopedXdgHome home;
    ScopedEnv keyring{"VANTREL_KEYRING", QByteArray("file")};
    QString marker;
};

TEST_F(CliLinksTest, ALinkAmongWordsOffersTheLinkCommands) {
    const Run search = run({"search", "see https://example.org/a b", "--json"});
    ASSERT_EQ(search.exitCode, 0) << search.err.toStdString();
    QStringList ids;
    const QJsonDocument document = QJsonDocument::fromJson(search.out.toUtf8());
    for (const QJsonValue& section : document.array())
        for (const QJsonValue& item : section.toObject().value(QStringLiteral("items")).toArray())
            ids << item.toObject().value(QStringLiteral("id")).toString();
    for (const char* id : {"openInBrowser", "urlDecode", "urlEncode"})
        EXPECT_TRUE(ids.contains(QString::fromLatin1(id))) << id << "\n" << search.out.toStdString();
}

TEST_F(CliLinksTest, OpenInBrowserOpensTheLinkNotTheWordsAroundIt) {
    const Run opened = run({"run", "openInBrowser", "see https://example.org/a b"});
    ASSERT_EQ(opened.exitCode, 0) << opened.err.toStdString() << opened.out.toStdString();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(marker) && QFileInfo(marker).size() > 0; }, 10000));
    QFile file(marker);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()).trimmed(), QStringLiteral("https://example.org/a"));

    // Words without a link open nothing and say why.
    const Run none = run({"run", "openInBrowser", "no link in here"});
    EXPECT_NE(none.exitCode, 0);
    EXPECT_TRUE(none.err.contains(QStringLiteral("not a link"))) << none.err.toStdString();
}

}  // namespace
}  // namespace vantrel::test
