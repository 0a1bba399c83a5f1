#pragma once

#include "core/api/CommandOutcome.h"
#include "kit/Signal.h"

#include <QString>

namespace vantrel {

class LauncherPresenter;

// What other features may use of file search: the "Open With" chooser for a
// file of theirs (a script, a download…). Found with
// FeatureContext::api<FilesApi>() from Feature::start on. Main thread only.
class FilesApi {
public:
    virtual ~FilesApi() = default;

    // The "Open With" item of the file at `path`: a submenu of the
    // applications that open its type (the desktop's default first, marked
    // "Default"), each opening the file with that application. The
    // applications are looked up off the main thread: while they are not
    // known the submenu says so, and openWithApplicationsFound() is published
    // once they are (ask for the item again then).
    virtual MenuItem openWithMenuItem(const QString& path, LauncherPresenter* presenter) = 0;
    virtual Signal<QString>& openWithApplicationsFound() = 0;
};

}  // namespace vantrel
