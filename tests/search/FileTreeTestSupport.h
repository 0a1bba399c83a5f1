#pragma once

#include "search/FileIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {

// A folder tree written by a test into a temporary folder.
class FileTree {
public:
    QString root() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    // Writes the file (and its folders) with the given contents.
    void file(const QString& relative, const QByteArray& contents = "x") const {
        const QString full = path(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(full).absolutePath())) << full.toStdString();
        QFile out(full);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << full.toStdString();
        out.write(contents);
    }
    void folder(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(path(relative))); }
    void link(const QString& target, const QString& relative) const {
        ASSERT_TRUE(QFile::link(target, path(relative))) << relative.toStdString();
    }

private:
    QTemporaryDir m_dir;
};

// The names of the hits, sorted (for lookups whose order is not the point).
inline QStringList sortedHitNames(const std::vector<FileIndex::Hit>& hits) {
    QStringList names;
    for (const FileIndex::Hit& hit : hits) names << hit.name;
    names.sort();
    return names;
}

inline QStringList hitPaths(const std::vector<FileIndex::Hit>& hits) {
    QStringList paths;
    for (const FileIndex::Hit& hit : hits) paths << hit.path;
    return paths;
}

}  // namespace vantrel::test
