#include "features/files/OpenWithApplications.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QHash>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileSearch"), QStringLiteral("📄")});
    return logger;
}

}  // namespace

struct OpenWithApplications::State {
    struct Entry {
        std::optional<std::vector<DesktopApplication>> applications;
        QElapsedTimer age;  // since the list came in
        bool pending = false;
    };
    QHash<QString, Entry> entries;
};

OpenWithApplications::OpenWithApplications() : m_state(std::make_shared<State>()) {}

OpenWithApplications::~OpenWithApplications() = default;

std::optional<std::vector<DesktopApplication>> OpenWithApplications::applications(const QString& mimeType) {
    if (mimeType.isEmpty()) return std::vector<DesktopApplication>{};
    const State::Entry& entry = m_state->entries[mimeType];
    if (!entry.applications || std::chrono::milliseconds(entry.age.elapsed()) > maxAge) lookUp(mimeType);
    return m_state->entries.value(mimeType).applications;
}

void OpenWithApplications::prefetch(const QStringList& mimeTypes) {
    for (const QString& type : mimeTypes) applications(type);
}

void OpenWithApplications::lookUp(const QString& mimeType) {
    State::Entry& entry = m_state->entries[mimeType];
    if (entry.pending) return;
    entry.pending = true;
    const std::shared_ptr<DesktopServices> desktop = platform().desktop;
    std::weak_ptr<State> weakState = m_state;
    Signal<QString>* found = &m_found;
    Queue::global().dispatch([desktop, mimeType, weakState, found] {
        std::vector<DesktopApplication> applications;
        if (desktop) applications = desktop->applicationsForMimeType(mimeType);
        log().debug(QStringLiteral("Found %1 applications for ").arg(applications.size()) + mimeType);
        Queue::main().dispatch([weakState, found, mimeType, applications = std::move(applications)]() mutable {
            const std::shared_ptr<State> state = weakState.lock();
            if (!state) return;  // the object (and its signal) is gone
            State::Entry& done = state->entries[mimeType];
            done.applications = std::move(applications);
            done.age.start();
            done.pending = false;
            found->publish(mimeType);
        });
    });
}

}  // namespace vantrel
