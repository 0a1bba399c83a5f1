#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

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
    // The outcome, and for notAnswered what went wrong (empty otherwise).
    using Completion = std::function<void(Outcome outcome, const QString& error)>;

    virtual ~FileManager() = default;

    // Asks the file manager to open the folders of the files at the absolute
    // `paths` with the files selected. Returns at once: the answer comes to
    // `completion` through the event loop of the calling thread (the main
    // thread), a few seconds later at most; a file manager that does not
    // answer in time is notAnswered.
    virtual void showItems(const QStringList& paths, Completion completion) = 0;

    // Asks the desktop's previewer (GNOME's NautilusPreviewer) to show the
    // file at `path` in a preview window, the same way: `shown` when it did.
    // A file manager without a previewer answers unreachable.
    virtual void previewItem(const QString& path, Completion completion) {
        (void)path;
        if (completion) completion(Outcome::unreachable, QString());
    }
};

// "Show in File Manager" for one file or folder: the installed file manager
// shows it selected; when there is none, or it does not answer, the folder it
// is in opens in the desktop's default handler. Never waits on the calling
// thread (the main thread): `done` runs there afterwards with nothing when
// the file was shown, or the sentence saying why it could not be.
void showInFileManager(const QString& path, std::function<void(std::optional<QString> failure)> done);

}  // namespace vantrel
