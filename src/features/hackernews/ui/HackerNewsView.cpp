#include "features/hackernews/ui/HackerNewsView.h"

#include "core/api/LauncherPresenter.h"
#include "core/rootsearch/RootSearchController.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

namespace vantrel::hackernews {

namespace {

MenuItem openLink(const QString& id, const QString& title, const QUrl& url) {
    return MenuItem::make(id, title, [url] {
        const std::shared_ptr<DesktopServices> desktop = platform().desktop;
        if (!desktop)
            return CommandOutcome::failed(QStringLiteral("Failed opening the link"),
                                          QStringLiteral("There is no desktop to open \"%1\" with.").arg(url.toString()));
        desktop->open(url);
        return CommandOutcome::done();
    });
}

// "5m", "3h", "2d" since the story was posted.
QString age(const QDateTime& time) {
    if (!time.isValid()) return {};
    const qint64 seconds = std::max<qint64>(0, time.secsTo(QDateTime::currentDateTimeUtc()));
    if (seconds < 3600) return QStringLiteral("%1m").arg(seconds / 60);
    if (seconds < 86400) return QStringLiteral("%1h").arg(seconds / 3600);
    return QStringLiteral("%1d").arg(seconds / 86400);
}

}  // namespace

HackerNewsView::HackerNewsView(HackerNewsClient& client, QWidget* parent)
    : ListView(QStringLiteral("Hacker News"), parent), m_client(client) {
    setSearchPlaceholder(QStringLiteral("Filter top stories…"));
    if (const std::optional<StoryList> cached = m_client.cachedTopStories()) showList(*cached);
    reload();
}

HackerNewsView::~HackerNewsView() { *m_alive = false; }

ListView::Item HackerNewsView::storyItem(const Story& story) {
    Item item;
    item.id = QString::number(story.id);
    item.title = story.title;
    item.subtitle = story.domain();
    item.icon = ImageResource::emoji(story.type == QLatin1String("job") ? QStringLiteral("💼") : QStringLiteral("📰"));
    item.accessories.push_back({QStringLiteral("▲ %1").arg(story.score), std::nullopt});
    if (story.type != QLatin1String("job"))
        item.accessories.push_back({QStringLiteral("%1").arg(story.comments), ImageResource::emoji(QStringLiteral("💬"))});
    if (const QString posted = age(story.time); !posted.isEmpty()) item.accessories.push_back({posted, std::nullopt});
    item.keywords << story.by << story.domain();
    item.actions.push_back(openLink(QStringLiteral("open"), QStringLiteral("Open in Browser"), story.link()));
    item.actions.push_back(openLink(QStringLiteral("openComments"), QStringLiteral("Open Comments"), story.commentsUrl));
    item.actions.back().shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'o')}};
    item.actions.push_back(MenuItem::make(QStringLiteral("copyLink"), QStringLiteral("Copy Link"), [link = story.link()] {
        return CommandOutcome::copied(link.toString(), QStringLiteral("Copied link"));
    }));
    item.actions.back().shortcuts = {KeyCombination{ModifierKeys::control | ModifierKeys::shift, KeyEquivalent(U'c')}};
    item.actions.push_back(MenuItem::make(QStringLiteral("copyCommentsLink"), QStringLiteral("Copy Comments Link"),
                                          [link = story.commentsUrl] {
                                              return CommandOutcome::copied(link.toString(), QStringLiteral("Copied link"));
                                          }));
    return item;
}

void HackerNewsView::showList(const StoryList& list) {
    Section section;
    section.title = list.cached ? QStringLiteral("Top Stories (read before)") : QStringLiteral("Top Stories");
    for (const Story& story : list.stories) {
        Item item = storyItem(story);
        QPointer<HackerNewsView> self(this);
        MenuItem refresh = MenuItem::make(QStringLiteral("reload"), QStringLiteral("Reload Stories"), [self] {
            if (self) self->reload();
            return CommandOutcome::done();
        });
        refresh.shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'r')}};
        item.actions.push_back(std::move(refresh));
        section.items.push_back(std::move(item));
    }
    m_cached = list.cached;
    m_hasRows = !section.items.empty();
    std::vector<Section> sections;
    sections.push_back(std::move(section));
    replaceSections(std::move(sections));
}

void HackerNewsView::reload() {
    if (m_loading) return;
    m_loading = true;
    if (!m_hasRows) setEmptyText(QStringLiteral("Loading top stories…"));
    std::weak_ptr<bool> alive = m_alive;
    m_client.fetchTopStories(HackerNewsClient::defaultLimit, [this, alive](Result<StoryList> result) {
        if (alive.expired()) return;
        m_loading = false;
        if (result.isSuccess()) {
            m_problem.clear();
            showList(result.value());
            if (!m_hasRows) setEmptyText(QStringLiteral("No stories"));
            if (result.value().missing > 0 && presenter())
                presenter()->showToast({Toast::Style::failure, QStringLiteral("Some stories could not be loaded"),
                                        QStringLiteral("%1 of them are left out").arg(result.value().missing)});
        } else {
            m_problem = result.error().errorDescription();
            if (!m_hasRows) setEmptyText(m_problem);
            if (presenter())
                presenter()->showToast({Toast::Style::failure,
                                        m_hasRows ? QStringLiteral("Could not refresh Hacker News")
                                                  : QStringLiteral("Failed loading Hacker News"),
                                        m_problem});
        }
        emit listChanged();
    });
}

}  // namespace vantrel::hackernews
