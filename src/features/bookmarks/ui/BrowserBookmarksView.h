#pragma once

#include "features/bookmarks/BrowserBookmark.h"
#include "ui/toolkit/ListView.h"

#include <QString>

#include <vector>

class QComboBox;

namespace vantrel {

class BookmarksFeature;
struct LauncherEnvironment;

// "Search Browser Bookmarks": the stored bookmarks of the enabled browsers,
// searched by title, domain or tag within the folder chosen above the list
// (kept in "selectedBookmarkFolder"), the ones opened from here first. Shows
// what is stored at once ("Loading bookmarks" until then), then syncs with
// the browsers in the background ("Syncing bookmarks") and shows the result.
// Actions: open in the browser (ranks it higher), copy the link, refresh.
class BrowserBookmarksView : public ListView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("Search Browser Bookmarks");
    inline static const QString loadingText = QStringLiteral("Loading bookmarks");
    inline static const QString syncingText = QStringLiteral("Syncing bookmarks");
    inline static const QString placeholderText = QStringLiteral("Search by title, domain name or tag in selected folder");
    inline static const QString noBrowsersText = QStringLiteral(
        "You haven't enabled any browsers yet, you can choose which browser bookmarks to integrate in preferences. "
        "(Currently we support Brave, Chrome, Firefox and Safari.)");
    inline static const QString allFolders = QStringLiteral("All Folders");
    // The most rows the list holds at once (the search narrows them).
    static constexpr int kMaximumRows = 500;

    BrowserBookmarksView(BookmarksFeature& feature, const LauncherEnvironment* environment, const QString& initialQuery = {},
                         QWidget* parent = nullptr);
    ~BrowserBookmarksView() override;

    std::vector<MenuItem> actions() const override;
    void viewDidAppear() override;

    // Reads the stored bookmarks in the background and shows them.
    void loadBookmarks();
    // Syncs with the browsers in the background, then loads again; the
    // "Syncing bookmarks" toast shows meanwhile when `announce` is set.
    void syncBookmarks(bool announce = true);
    bool isLoading() const { return m_loading; }
    bool isSyncing() const { return m_syncing; }
    QComboBox* folderSelector() const { return m_folders; }
    const std::vector<BrowserBookmark>& bookmarks() const { return m_bookmarks; }

    static constexpr QLatin1String openInBrowserId{"browserBookmarksOpenInBrowser"};
    static constexpr QLatin1String copyLinkId{"browserBookmarksCopyLink"};
    static constexpr QLatin1String refreshId{"browserBookmarksRefresh"};

private:
    void rebuild();
    void fillFolders();
    std::vector<MenuItem> actionsFor(const BrowserBookmark& bookmark) const;

    BookmarksFeature& m_feature;
    const LauncherEnvironment* m_environment;
    QComboBox* m_folders = nullptr;
    std::vector<BrowserBookmark> m_bookmarks;
    std::vector<BrowserBookmark::Folder> m_knownFolders;
    QString m_query;
    bool m_loading = false;
    bool m_syncing = false;
    bool m_synced = false;
};

}  // namespace vantrel
