#pragma once

// Zip archives made by real tools for the install tests: `zip` for ordinary
// packages (and links it stores with -y), Python's zipfile for entries no
// well-behaved tool writes (../ paths, absolute paths, links out, devices).
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace vantrel::test {

struct ToolRun {
    int exitCode = -1;
    QString output;
};

// The program is looked up in PATH, then in the system's own folders (some
// fixtures point PATH at a folder of their own).
inline ToolRun runTool(const QString& program, const QStringList& arguments, const QString& workingDirectory = {},
                       const QByteArray& input = {}) {
    QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        executable = QStandardPaths::findExecutable(program, {QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin"),
                                                              QStringLiteral("/bin")});
    if (executable.isEmpty()) return {-1, program + QStringLiteral(" is not installed")};
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    process.start(executable, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) return {-1, QStringLiteral("timed out")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

inline QByteArray manifestJson(const QString& name, const QStringList& commands = {QStringLiteral("greet")},
                               const QString& mode = QStringLiteral("default")) {
    QJsonArray list;
    for (const QString& command : commands)
        list.append(QJsonObject{{QStringLiteral("name"), command},
                                {QStringLiteral("title"), command.left(1).toUpper() + command.mid(1)},
                                {QStringLiteral("description"), QStringLiteral("Runs ") + command},
                                {QStringLiteral("mode"), mode}});
    return QJsonDocument(QJsonObject{{QStringLiteral("name"), name},
                                     {QStringLiteral("title"), name.left(1).toUpper() + name.mid(1)},
                                     {QStringLiteral("description"), QStringLiteral("The ") + name + QStringLiteral(" extension")},
                                     {QStringLiteral("icon"), QStringLiteral("icon.png")},
                                     {QStringLiteral("commands"), list}})
        .toJson();
}

// A package folder: package.json, one script per command, assets/icon.png.
inline QString writePackageFolder(const QString& parent, const QString& name,
                                  const QStringList& commands = {QStringLiteral("greet")}) {
    const QString folder = parent + QLatin1Char('/') + name;
    writeTestFile(folder + QStringLiteral("/package.json"), manifestJson(name, commands));
    for (const QString& command : commands)
        writeTestFile(folder + QLatin1Char('/') + command + QStringLiteral(".js"), "module.exports = {};\n");
    writeTestFile(folder + QStringLiteral("/assets/icon.png"), QByteArray("\x89PNG\r\n\x1a\n", 8));
    return folder;
}

// `zip -ry ARCHIVE ENTRY` run in `parent`: links are stored as links.
inline QString zipFolder(const QString& parent, const QString& entry, const QString& archive) {
    const ToolRun run = runTool(QStringLiteral("zip"), {QStringLiteral("-qry"), archive, entry}, parent);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return archive;
}

// One entry of a hand-made archive: `kind` is "file", "dir", "symlink" (data =
// target) or "chardev".
struct RawEntry {
    QString name;
    QByteArray data;
    QString kind = QStringLiteral("file");
};

// Writes the entries with Python's zipfile exactly as named:
//   python3 -c '<script>' ARCHIVE < entries.json
inline QString rawZip(const QString& archive, const std::vector<RawEntry>& entries) {
    static const QString script = QStringLiteral(R"PY(
import json, sys, zipfile
modes = {"file": 0o100644, "dir": 0o040755, "symlink": 0o120777, "chardev": 0o020644}
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for entry in json.load(sys.stdin):
        info = zipfile.ZipInfo(entry["name"])
        info.create_system = 3
        info.external_attr = modes[entry["kind"]] << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, entry["data"].encode("latin-1"))
)PY");
    QJsonArray list;
    for (const RawEntry& entry : entries)
        list.append(QJsonObject{{QStringLiteral("name"), entry.name},
                                {QStringLiteral("data"), QString::fromLatin1(entry.data)},
                                {QStringLiteral("kind"), entry.kind}});
    const ToolRun run = runTool(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive}, {},
                                QJsonDocument(list).toJson(QJsonDocument::Compact));
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return archive;
}

// Every entry below a folder (hidden ones too), relative to it.
inline QStringList treeOf(const QString& folder) {
    QStringList entries;
    QDir dir(folder);
    if (!dir.exists()) return entries;
    for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                   QDir::Name)) {
        entries << info.fileName();
        if (info.isDir() && !info.isSymLink())
            for (const QString& below : treeOf(info.absoluteFilePath())) entries << info.fileName() + QLatin1Char('/') + below;
    }
    return entries;
}

}  // namespace vantrel::test
