#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <vector>

namespace vantrel {

// An application that says it opens files of some type (its desktop entry's
// MimeType key), as an "Open With" list shows it.
struct DesktopApplication {
    QString id;               // the desktop-file id ("org.gnome.TextEditor.desktop")
    QString name;             // as the desktop shows it
    QString desktopFilePath;  // what DesktopServices::launch takes
    QString iconName;         // a theme icon name or an absolute path; empty when it has none
    bool isDefault = false;   // the desktop's default application for the type

    bool operator==(const DesktopApplication&) const = default;
};

// Starts applications from their desktop entries and opens URLs and files
// with the desktop's default handlers. Every failure throws VantrelError with
// a sentence the user can read.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // Launches the application of the desktop entry at desktopFilePath, handing
    // it the URLs (local files as file:// URLs) through its Exec field codes.
    virtual void launch(const QString& desktopFilePath, const QList<QUrl>& urls = {}) = 0;

    // Opens a URL, or a local file given as a file:// URL, with the default
    // application for its scheme or content type.
    virtual void open(const QUrl& url) = 0;

    // The same for text typed or stored by the user: an absolute path, a path
    // starting with "~/", or a URL with a scheme.
    void openText(const QString& urlOrPath);

    // The icon name of the application of a desktop entry (its Icon key);
    // empty when it has none or cannot be read.
    virtual QString applicationIconName(const QString& desktopFilePath, const QString& desktopId) const = 0;

    // The applications that open files of the MIME type ("text/plain",
    // "inode/directory"), also those that take a type it is a kind of: the
    // desktop's default first, then those that name the type itself, then
    // the others, each group by name. Reads the desktop's files, so it may
    // take a while: call it off the main thread (it may be called from any
    // thread). A desktop that keeps no such list answers nothing.
    virtual std::vector<DesktopApplication> applicationsForMimeType(const QString& mimeType) const {
        (void)mimeType;
        return {};
    }

    // The desktop entry of an installed application by its desktop-file id
    // ("firefox-esr.desktop"), as launch() takes it; empty when no such
    // application is installed (or it cannot start here).
    virtual QString desktopFilePathForId(const QString& desktopId) const {
        (void)desktopId;
        return {};
    }
};

// The installed platform's DesktopServices (see Platform.h); each throws
// VantrelError when there is none, as on a desktop it cannot talk to.
void openOnDesktop(const QUrl& url);
void openTextOnDesktop(const QString& urlOrPath);
void launchOnDesktop(const QString& desktopFilePath, const QList<QUrl>& urls = {});

}  // namespace vantrel
