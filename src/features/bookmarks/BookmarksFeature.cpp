#include "features/bookmarks/BookmarksFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "core/rootsearch/LauncherSearch.h"
#include "data/SearchRepository.h"
#include "features/bookmarks/BookmarksCli.h"
#include "features/bookmarks/ui/BookmarksPreferencesPage.h"
#include "features/bookmarks/ui/BrowserBookmarksView.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "search/Search.h"

#include <QDir>
#include <QJsonArray>

namespace vantrel {

namespace {

const PackageIdentifier kPackage(QStringLiteral("browserBookmarks"));

const Logger& log() {
    static const Logger logger({QStringLiteral("BrowserBookmarks"), QStringLiteral("🔖")});
    return logger;
}

}  // namespace

BookmarksFeature::BookmarksFeature() = default;

BookmarksFeature::~BookmarksFeature() {
    m_subscriptions.reset();
    m_watcher.reset();
    m_service.reset();
}

double BookmarksFeature::watchInterval() {
    bool ok = false;
    const double seconds = qEnvironmentVariable("VANTREL_BOOKMARKS_SYNC_INTERVAL").toDouble(&ok);
    return ok && seconds >= 0 ? seconds : 5.0;
}

BrowserBookmarksSettings BookmarksFeature::settings() const {
    BrowserBookmarksSettings settings;
    if (!m_context) return settings;
    const QJsonObject payload = m_context->registry().configuration(kPackage).jsonPayload;
    const QJsonValue disabled = payload.value(BrowserBookmarksSettings::disabledSourcesKey);
    if (disabled.isArray()) {
        settings.disabled.clear();
        for (const QJsonValue& value : disabled.toArray())
            if (const auto source = browserBookmarkSourceFromRaw(value.toString())) settings.disabled.insert(*source);
    }
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources())
        if (const auto key = BrowserBookmarksSettings::profileKey(source))
            if (const QString value = payload.value(*key).toString(); !value.isEmpty())
                settings.selectedProfile.insert(source, value);
    settings.safariBookmarksFile = payload.value(BrowserBookmarksSettings::safariFileKey).toString();
    settings.selectedFolder = payload.value(BrowserBookmarksSettings::selectedFolderKey).toString();
    return settings;
}

bool BookmarksFeature::editSettings(const std::function<void(BrowserBookmarksSettings&)>& edit) const {
    if (!m_context) return false;
    BrowserBookmarksSettings changed = settings();
    edit(changed);
    return m_context->registry().setPackageConfiguration(kPackage, [&](QVariantMap& payload, bool&) {
        QVariantList disabled;
        for (const BrowserBookmark::Source source : allBrowserBookmarkSources())
            if (changed.disabled.contains(source)) disabled << rawValue(source);
        payload.insert(QString(BrowserBookmarksSettings::disabledSourcesKey), disabled);
        for (const BrowserBookmark::Source source : allBrowserBookmarkSources())
            if (const auto key = BrowserBookmarksSettings::profileKey(source)) {
                if (changed.selectedProfile.contains(source))
                    payload.insert(*key, changed.selectedProfile.value(source));
                else
                    payload.remove(*key);
            }
        payload.insert(QString(BrowserBookmarksSettings::safariFileKey), changed.safariBookmarksFile);
        payload.insert(QString(BrowserBookmarksSettings::selectedFolderKey), changed.selectedFolder);
    });
}

void BookmarksFeature::registerWith(FeatureContext& context) {
    m_context = &context;
    auto repository =
        std::make_shared<BrowserBookmarksRepository>(context.search().search().repository()->dbConnection);
    m_service = std::make_unique<BrowserBookmarksService>(std::move(repository), BrowserLocations(QDir::homePath()),
                                                          [this] { return settings(); });
    context.addCommandHandler(QString(searchCommandId), [](const VantrelCommand&, const CommandRunContext& run) {
        return CommandOutcome::showView(QString(searchCommandId), run.searchText);
    });
    const FeatureContext* shared = &context;
    context.addView(QString(searchCommandId), [this, shared](const CommandOutcome& outcome) -> QWidget* {
        return new BrowserBookmarksView(*this, shared->environment(), outcome.initialQuery);
    });
    context.addPreferencePage({QStringLiteral("Browser Bookmarks"), QStringLiteral("bookmark"),
                               [this]() -> QWidget* { return new BookmarksPreferencesPage(*this); }});
    context.addCliCommand(QStringLiteral("bookmarks"), [this](const QStringList& arguments) -> std::optional<int> {
        return bookmarks::bookmarksCommand(*this, arguments);
    });
}

void BookmarksFeature::start() {
    if (!m_service || m_watcher) return;
    m_watcher = std::make_unique<BookmarksWatcher>(*m_service, watchInterval());
    // A source switched on or off, or another profile chosen: sync again.
    m_subscriptions = std::make_unique<QObject>();
    BookmarksWatcher* watcher = m_watcher.get();
    BrowserBookmarksService* service = m_service.get();
    const PackageRegistry* registry = &m_context->registry();
    // What a sync reads: the package switch, the browsers, the profiles and
    // Safari's file (the folder chosen in the list is not among them).
    const auto syncInputs = [this, registry] {
        const BrowserBookmarksSettings current = settings();
        QStringList parts{registry->isPackageEnabled(kPackage) ? QStringLiteral("on") : QStringLiteral("off"),
                          current.safariBookmarksFile};
        for (const BrowserBookmark::Source source : allBrowserBookmarkSources())
            parts << rawValue(source) + (current.isEnabled(source) ? QStringLiteral("+") : QStringLiteral("-")) +
                         current.selectedProfile.value(source);
        return parts.join(QLatin1Char('|'));
    };
    auto lastInputs = std::make_shared<QString>(syncInputs());
    m_context->center().addObserver(
        QString(NotificationNames::packageConfigurationDidChange), m_subscriptions.get(),
        [watcher, service, registry, syncInputs, lastInputs](const Notification& notice) {
            if (notice.object.toString() != kPackage.rawValue) return;
            const QString inputs = syncInputs();
            if (inputs == *lastInputs) return;
            *lastInputs = inputs;
            if (!registry->isPackageEnabled(kPackage)) return;
            log().info("Package configuration of browser bookmarks did change");
            service->syncInBackground(watcher, [watcher](const BookmarksSyncReport&) { watcher->rewatch(); });
        });
    // Nothing is read while the package is switched off (its default).
    if (registry->isPackageEnabled(kPackage))
        service->syncInBackground(watcher, [watcher](const BookmarksSyncReport&) { watcher->rewatch(); });
}

}  // namespace vantrel
