#pragma once

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTextStream>

#include <sys/stat.h>

namespace vantrel::test {

// The source tree: $VANTREL_SOURCE_DIR, or the folder the build was
// configured from (read from the CMakeCache.txt above the test binary).
inline QString sourceDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("VANTREL_SOURCE_DIR");
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    QDir dir(QCoreApplication::applicationDirPath());
    for (int depth = 0; depth < 4; ++depth) {
        QFile cache(dir.filePath(QStringLiteral("CMakeCache.txt")));
        if (cache.open(QIODevice::ReadOnly)) {
            QTextStream lines(&cache);
            QString line;
            while (lines.readLineInto(&line))
                if (line.startsWith(QLatin1String("CMAKE_HOME_DIRECTORY:INTERNAL=")))
                    return line.section(QLatin1Char('='), 1);
        }
        if (!dir.cdUp()) break;
    }
    return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(QStringLiteral("../.."));
}

// tests/fixtures/scripts/<name>
inline QString scriptFixtures(const QString& name = {}) {
    const QString root = QDir::cleanPath(sourceDirectory() + QStringLiteral("/tests/fixtures/scripts"));
    return name.isEmpty() ? root : root + QLatin1Char('/') + name;
}

// Writes a file (creating its folder) with the given mode.
inline bool writeScript(const QString& path, const QByteArray& text, int mode = 0755) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    if (file.write(text) != text.size()) return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

// A bash script with these metadata lines ("title Hello" → "# @vantrel.title Hello").
inline QByteArray scriptText(const QStringList& metadata, const QString& body = QStringLiteral("echo hello")) {
    QString text = QStringLiteral("#!/bin/bash\n\n");
    for (const QString& line : metadata) text += QStringLiteral("# @vantrel.") + line + QLatin1Char('\n');
    text += QLatin1Char('\n') + body + QLatin1Char('\n');
    return text.toUtf8();
}

// A script command's file: the three required keys, then `extra` metadata lines.
inline QByteArray commandText(const QString& title, const QString& mode = QStringLiteral("silent"),
                              const QStringList& extra = {}, const QString& body = QStringLiteral("echo hello")) {
    return scriptText(QStringList{QStringLiteral("schemaVersion 1"), QStringLiteral("title ") + title,
                                  QStringLiteral("mode ") + mode} +
                          extra,
                      body);
}

inline bool writeCommand(const QString& path, const QString& title, const QString& mode = QStringLiteral("silent"),
                         const QStringList& extra = {}) {
    return writeScript(path, commandText(title, mode, extra));
}

// The permission bits of a file (0755…), or -1 when it is not there.
inline int permissionBits(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return -1;
    return int(info.st_mode & 07777);
}

// Copies every file of a fixture folder (hidden ones too, no sub-folders).
inline void copyFixtureFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
        QFile::copy(entry.absoluteFilePath(), to + QLatin1Char('/') + entry.fileName());
}

}  // namespace vantrel::test
