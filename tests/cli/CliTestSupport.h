#pragma once

// The vantrel executable as a user runs it: a real process over a private data
// folder with the file keyring, and the database it opens, opened the same way.
#include "support/TestEnvironment.h"

#include "data/Database.h"
#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace vantrel::test {

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliFixture : public ::testing::Test {
protected:
    ScopedXdgHome home;
    ScopedEnv keyring{"VANTREL_KEYRING", QByteArray("file")};

    static ProcessRun run(const QStringList& arguments, const QString& workingDirectory = {}) {
        QProcess process;
        if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        ProcessRun result{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                          QString::fromUtf8(process.readAllStandardError())};
        // Whatever the command answered, it never ends by a signal (an abort at
        // exit included).
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit)
            << "vantrel " << arguments.join(u' ').toStdString() << " crashed:\n" << result.err.toStdString();
        return result;
    }

    // The same, while this process keeps answering requests (a local HTTP
    // server of the test lives on this thread's event loop).
    static ProcessRun runServing(const QStringList& arguments,
                                 const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VANTREL_EXECUTABLE), arguments);
        QDeadlineTimer deadline(60000);
        while (!process.waitForFinished(20) && !deadline.hasExpired()) QCoreApplication::processEvents();
        EXPECT_EQ(process.state(), QProcess::NotRunning);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    static void writeFile(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Links open in a recorder instead of a browser: the private session's
    // default handler for http and https writes what it was handed to the
    // returned file (whole: written aside, then renamed).
    QString recordOpenedLinks() {
        const QString marker = home.root() + QStringLiteral("/opened.txt");
        const QString recorder = home.root() + QStringLiteral("/record-link");
        writeFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + marker.toUtf8() + ".part' && /bin/mv '" +
                                marker.toUtf8() + ".part' '" + marker.toUtf8() + "'\n");
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/vantrel-link-recorder.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Link Recorder\nExec=" + recorder.toUtf8() +
                      " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"),
                  "[Default Applications]\nx-scheme-handler/https=vantrel-link-recorder.desktop\n"
                  "x-scheme-handler/http=vantrel-link-recorder.desktop\n");
        return marker;
    }

    // What the recorder was handed, once it has run.
    static QString openedLink(const QString& marker) {
        if (!waitUntil([&] { return QFile::exists(marker); }, 15000)) return QStringLiteral("<nothing opened>");
        QFile file(marker);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).trimmed();
    }

    // The same database the executable opens, through the same file keyring.
    static std::shared_ptr<DatabasePool> openDatabase() {
        DatabaseOpener::Options options;
        options.keychain =
            std::make_shared<Keychain>(QStringLiteral("vantrel"), std::make_shared<FileKeychainBackend>());
        options.fatalStop = [](const QString&) {};
        auto pool = DatabaseOpener(std::move(options)).openDatabase();
        EXPECT_TRUE(pool);
        return pool;
    }

    // The sections `vantrel search --json` prints.
    static QJsonArray searchSections(const QStringList& arguments) {
        const ProcessRun search = run(QStringList{QStringLiteral("search"), QStringLiteral("--json")} + arguments);
        EXPECT_EQ(search.exitCode, 0) << search.err.toStdString();
        return QJsonDocument::fromJson(search.out.toUtf8()).array();
    }

    // Every item of every section, in order.
    static QJsonArray searchItems(const QString& query, const QStringList& options = {}) {
        QJsonArray items;
        for (const auto& section : searchSections(options + QStringList{query}))
            for (const auto& item : section.toObject()[QStringLiteral("items")].toArray()) items.append(item);
        return items;
    }

    static QStringList keysOf(const QJsonArray& items) {
        QStringList keys;
        for (const auto& value : items) keys << value.toObject()[QStringLiteral("key")].toString();
        return keys;
    }
};

}  // namespace vantrel::test
