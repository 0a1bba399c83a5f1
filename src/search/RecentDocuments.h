#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

namespace vantrel {

// One document from the desktop's shared list of recently used files.
struct RecentDocument {
    QString path;
    QDateTime lastUsedAt;  // the later of the entry's "modified" and "visited" times (else "added")
};

// The recently used files the desktop records in $XDG_DATA_HOME/recently-used.xbel
// (an XBEL file: one <bookmark href="file://…" added=… modified=… visited=…>
// per file, written by GTK and others).
namespace RecentDocuments {

// $XDG_DATA_HOME/recently-used.xbel (default ~/.local/share/recently-used.xbel).
QString defaultFile();

// The local files listed in the file, most recently used first, each path once.
// Entries that are not file:// URLs are skipped. A missing file gives an empty
// list; an unreadable or malformed one logs why and gives an empty list too.
std::vector<RecentDocument> read(const QString& file);

}  // namespace RecentDocuments

}  // namespace vantrel
