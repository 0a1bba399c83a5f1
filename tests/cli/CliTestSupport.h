#pragma once

// The vantrel executable as a user runs it: a real process over a private data
// folder with the file keyring, and the database it opens, opened the same way.
#include "support/TestEnvironment.h"

#include "data/Database.h"
#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
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
