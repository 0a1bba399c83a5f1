#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace vantrel {

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
};

// The installed platform's DesktopServices (see Platform.h); each throws
// VantrelError when there is none, as on a desktop it cannot talk to.
void openOnDesktop(const QUrl& url);
void openTextOnDesktop(const QString& urlOrPath);
void launchOnDesktop(const QString& desktopFilePath, const QList<QUrl>& urls = {});

}  // namespace vantrel
