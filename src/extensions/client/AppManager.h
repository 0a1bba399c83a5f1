#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace vantrel::extensions {

// What the launcher does on the desktop for an extension command: opening
// things and writing the clipboard. The launcher gives its implementation to
// the VantrelAPI (configure()); without one, those methods fail with
// "Not available here". Every call happens on the main thread; each throws
// VantrelError with a sentence the user can read when it cannot do it.
class AppManager {
public:
    virtual ~AppManager() = default;

    // Opens a URL with the desktop's handler of its scheme.
    virtual void openURL(const QUrl& url) = 0;
    // Opens a local file with the desktop's default application for it.
    virtual void openFile(const QString& path) = 0;
    // Starts an installed application found by its desktop-entry id
    // ("org.gnome.TextEditor", ".desktop" optional) or its name as the
    // desktop shows it ("Text Editor"), handing it the arguments (URLs, or
    // absolute paths of files).
    virtual void openApplication(const QString& name, const QStringList& arguments) = 0;
    // Shows the files selected in the desktop's file manager; done gets
    // nothing once they are shown, or why not.
    virtual void showInFileManager(const QStringList& paths, std::function<void(std::optional<QString> failure)> done) = 0;
    // Replaces the clipboard's contents with a text, or empties it.
    virtual void setClipboardText(const QString& text) = 0;
    virtual void clearClipboard() = 0;
};

}  // namespace vantrel::extensions
