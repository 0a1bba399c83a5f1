#pragma once

#include "core/api/Feature.h"
#include "features/bookmarks/BrowserBookmarksService.h"

#include <memory>

namespace vantrel {

class FeatureContext;

// Browser bookmarks: the bookmarks of the user's Firefox, Chromium, Chrome
// and Brave profiles (and a Safari Bookmarks.plist the user points to), kept
// in the browser bookmarks table, searched in "Search Browser Bookmarks" and
// ranked by how often they were opened from here. Registers the command's
// view, the "Browser Bookmarks" preferences page and `vantrel bookmarks …`;
// start() syncs once and then whenever a browser's bookmark file changes.
class BookmarksFeature : public Feature {
public:
    BookmarksFeature();
    ~BookmarksFeature() override;

    QString name() const override { return QStringLiteral("bookmarks"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

    BrowserBookmarksService* service() const { return m_service.get(); }
    BookmarksWatcher* watcher() const { return m_watcher.get(); }

    // The package's settings as stored now.
    BrowserBookmarksSettings settings() const;
    // Changes them (the list and the watcher follow).
    bool editSettings(const std::function<void(BrowserBookmarksSettings&)>& edit) const;

    static constexpr QLatin1String searchCommandId{"browserBookmarks_search"};
    // How often a changed bookmark file may start a sync, in seconds.
    static double watchInterval();

private:
    FeatureContext* m_context = nullptr;
    std::unique_ptr<BrowserBookmarksService> m_service;
    std::unique_ptr<BookmarksWatcher> m_watcher;
    std::unique_ptr<QObject> m_subscriptions;
};

}  // namespace vantrel
