#pragma once

// Shared by the benchmarks and vantrel-bench: a throwaway encrypted database,
// corpus files and the resident memory of the process.
#include "data/Database.h"
#include "data/FileKeychainBackend.h"
#include "data/Keychain.h"
#include "kit/Logger.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <fstream>
#include <memory>
#include <string>

namespace vantrel::bench {

// A migrated encrypted database in a temporary folder, with its own file
// keyring; logging is silenced.
struct TemporaryDatabase {
    QTemporaryDir dir;
    std::shared_ptr<Keychain> keychain = std::make_shared<Keychain>(
        QStringLiteral("vantrel-bench"), std::make_shared<FileKeychainBackend>(dir.path() + QStringLiteral("/keyring")));
    QString path = dir.path() + QStringLiteral("/vantrel-enc.sqlite");

    TemporaryDatabase() { Logger::bootstrap(std::make_shared<NoopLogHandler>()); }

    // Null when the database cannot be opened.
    std::shared_ptr<DatabasePool> open() const {
        DatabaseOpener::Options options;
        options.path = path;
        options.keychain = keychain;
        options.fatalStop = [](const QString&) {};
        return DatabaseOpener(std::move(options)).openDatabase();
    }
};

// The non-empty lines of a text file, trimmed.
inline QStringList readLines(const QString& path) {
    QFile file(path);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return lines;
    QTextStream in(&file);
    while (!in.atEnd())
        if (QString line = in.readLine().trimmed(); !line.isEmpty()) lines << line;
    return lines;
}

inline long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

}  // namespace vantrel::bench
