#pragma once

#include <QString>

namespace vantrel {

// One argument of the Exec line of a desktop entry: as it is when it holds
// only plain characters, otherwise quoted, with the characters the format
// reserves escaped and the backslashes of the key file's string doubled.
// A percent sign is written "%%" so it is never read as a field code.
QString desktopExecArgument(const QString& argument);

}  // namespace vantrel
