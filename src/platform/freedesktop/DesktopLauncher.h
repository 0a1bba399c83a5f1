#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "platform/DesktopServices.h"

namespace vantrel {

// Starts applications from their desktop entries and opens URLs and files
// with the desktop's default handlers, through GIO: Exec field codes, D-Bus
// activation and the user's mimeapps.list choices are GIO's business.
// Every failure throws VantrelError with GIO's own message.
class DesktopLauncher {
public:
    // Launches the application of the desktop entry at desktopFilePath, handing
    // it the URLs (local files as file:// URLs) through its Exec field codes.
    static void launch(const QString& desktopFilePath, const QList<QUrl>& urls = {});

    // Opens a URL, or a local file given as a file:// URL, with the default
    // application for its scheme or content type.
    static void open(const QUrl& url);

    // The same for text typed or stored by the user: an absolute path, a path
    // starting with "~/", or a URL with a scheme.
    static void open(const QString& urlOrPath);
};

// DesktopServices over GIO, as DesktopLauncher does it. The applications of
// a MIME type are the desktop entries of the applications folders whose
// MimeType lists the type, an alias of it or a type it is a kind of in the
// shared MIME database, with the mimeapps.list "Added Associations" and
// "Removed Associations" applied; the default is GIO's (the one opening the
// file starts). Read from the files themselves, so entries count without a
// mimeinfo.cache; the entries are read again when a folder changed.
class GioDesktopServices : public DesktopServices {
public:
    void launch(const QString& desktopFilePath, const QList<QUrl>& urls = {}) override;
    void open(const QUrl& url) override;
    QString applicationIconName(const QString& desktopFilePath, const QString& desktopId) const override;
    std::vector<DesktopApplication> applicationsForMimeType(const QString& mimeType) const override;
    QString desktopFilePathForId(const QString& desktopId) const override;
};

}  // namespace vantrel
