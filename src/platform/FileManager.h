#pragma once

#include <QString>
#include <QStringList>

namespace vantrel {

// The desktop's file manager.
class FileManager {
public:
    // What became of a request to show files.
    enum class Outcome {
        // A file manager opened their folder with the files selected.
        shown,
        // The desktop was asked, but no file manager answered.
        notAnswered,
        // There was no way to ask the desktop (no session bus, say).
        unreachable,
    };

    virtual ~FileManager() = default;

    // Asks the file manager to open the folders of the files at the absolute
    // `paths` with the files selected. Waits for its answer a few seconds at
    // most; when it is notAnswered, *error (if given) says what went wrong.
    virtual Outcome showItems(const QStringList& paths, QString* error = nullptr) = 0;
};

}  // namespace vantrel
