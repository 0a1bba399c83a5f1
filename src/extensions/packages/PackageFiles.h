#pragma once

#include <QString>

// File operations of package installs.
namespace vantrel::PackageFiles {

// Copies a file, a folder (recursively) or a symbolic link (as a link) to
// `destination`, which must not exist yet. Throws VantrelError naming what
// could not be copied.
void copy(const QString& source, const QString& destination);

// Removes a file, link or folder tree; true when nothing is left there.
bool remove(const QString& path);

}  // namespace vantrel::PackageFiles
