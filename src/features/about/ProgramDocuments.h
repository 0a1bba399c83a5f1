#pragma once

#include <QString>
#include <QStringList>

namespace vantrel {

// The Markdown documents shipped with the program ("manual.md",
// "CHANGELOG.md"). They are installed into share/vantrel/doc next to the
// binary's bin/ folder (the build tree has the same layout), so they are found
// relative to the running executable wherever the program was installed.
namespace ProgramDocuments {

inline constexpr const char* kManual = "manual.md";
inline constexpr const char* kChangelog = "CHANGELOG.md";

// The folders searched, in order: $VANTREL_DOC_DIR when set, then
// <executable's folder>/../share/vantrel/doc.
QStringList searchFolders();

// The document's path; empty when no folder has it.
QString find(const QString& fileName);

// The document's text; throws VantrelError naming the folders looked in when
// it is missing or cannot be read.
QString read(const QString& fileName);

}  // namespace ProgramDocuments

}  // namespace vantrel
