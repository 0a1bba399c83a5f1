#include "features/about/ui/UpdatesView.h"

#include "features/about/UpdateFeed.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QPointer>

namespace vantrel {

UpdatesView::UpdatesView(QUrl feed, QWidget* parent)
    : DetailView(QStringLiteral("Check For Updates"), parent), m_feed(std::move(feed)) {
    setMarkdown(QStringLiteral("Checking %1…").arg(m_feed.toString()));
    QPointer<UpdatesView> self(this);
    UpdateFeed::fetch(m_feed, runningVersion(), [self](UpdateCheck check) {
        if (self) self->show(check);
    });
}

void UpdatesView::show(const UpdateCheck& check) {
    m_checking = false;
    const Version running = runningVersion();
    QString markdown = QStringLiteral("# %1\n\n").arg(check.summary(running));
    std::vector<MenuItem> actions;
    if (check.problem.isEmpty() && check.latest) {
        if (check.isNewer && !check.latest->notes.trimmed().isEmpty())
            markdown += QStringLiteral("## What is new in %1\n\n%2\n").arg(check.latest->versionText, check.latest->notes);
        if (!check.latest->url.isEmpty()) {
            const QUrl page = check.latest->url;
            actions.push_back(MenuItem::make(QStringLiteral("openRelease"), QStringLiteral("Open Release Page"), [page] {
                if (const auto desktop = platform().desktop) desktop->open(page);
                return CommandOutcome::done();
            }));
        }
    } else {
        markdown += QStringLiteral("Feed: %1\n").arg(m_feed.toString());
    }
    setMarkdown(markdown);
    setActions(std::move(actions));
    emit actionsChanged();
}

}  // namespace vantrel
