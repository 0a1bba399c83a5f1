#pragma once

#include "kit/Signal.h"
#include "platform/DesktopServices.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

// The applications that open each MIME type ("Open With"), asked of the
// desktop on the global thread pool and kept for a while, so that building
// an action panel never reads desktop entries on the main thread.
//
// applications() answers what is known now; a type not known yet (or known
// for longer than maxAge) is looked up in the background, and `found` is
// published on the main thread with the type once its list is in. Main
// thread only; lookups that finish after the object is gone are dropped.
class OpenWithApplications {
public:
    static constexpr std::chrono::seconds maxAge{30};

    OpenWithApplications();
    ~OpenWithApplications();
    OpenWithApplications(const OpenWithApplications&) = delete;
    OpenWithApplications& operator=(const OpenWithApplications&) = delete;

    // The applications of the type (the desktop's default first), or nothing
    // while they are being looked up; an old list is answered while a newer
    // one is looked up.
    std::optional<std::vector<DesktopApplication>> applications(const QString& mimeType);
    // Looks the types up ahead of need (the types of the files on screen).
    void prefetch(const QStringList& mimeTypes);

    // A type's list came in.
    Signal<QString>& found() { return m_found; }

private:
    struct State;
    void lookUp(const QString& mimeType);

    std::shared_ptr<State> m_state;
    Signal<QString> m_found;
};

}  // namespace vantrel
