#pragma once

#include "data/Records.h"
#include "ui/toolkit/ListView.h"

#include <QString>

#include <optional>
#include <vector>

class QComboBox;

namespace vantrel {

class ClipboardActions;
class ClipboardHistory;
class DetailPane;
class NotificationCenter;

// "Clipboard History": the records, pinned first and then the most recently
// copied, with a detail pane that previews the selected one (its text or
// formatted text, the image scaled to fit with its size and dimensions, the
// file with its icon and path, the link, the colour as a swatch with its
// value) and when and where it was copied. The search bar's text filters
// through the repository's query, the drop-down by content type; the
// selected record's actions are ClipboardActions' menu.
class ClipboardHistoryView : public ListView {
    Q_OBJECT

public:
    enum class ContentTypeFilter { all, text, images, files, links, colors };

    inline static const QString viewTitle = QStringLiteral("Clipboard History");
    inline static const QString readErrorText = QStringLiteral("Could not read the Clipboard history.");
    inline static const QString emptyHistoryText = QStringLiteral("No Clipboard History");
    inline static const QString pinnedSectionTitle = QStringLiteral("Pinned");
    inline static const QString recentSectionTitle = QStringLiteral("Recent");

    ClipboardHistoryView(ClipboardHistory& history, ClipboardActions& actions, const QString& initialQuery = {},
                         NotificationCenter* center = nullptr, QWidget* parent = nullptr);
    ~ClipboardHistoryView() override;

    QString searchText() const override { return m_query; }
    void searchTextChanged(const QString& text) override;
    std::vector<MenuItem> actions() const override;

    void setContentTypeFilter(ContentTypeFilter filter);
    ContentTypeFilter contentTypeFilter() const { return m_filter; }
    static QString filterTitle(ContentTypeFilter filter);
    static std::optional<ClipboardRecord::Category> category(ContentTypeFilter filter);

    // Reads the records again (after a change of the history).
    void reload();
    const std::vector<ClipboardRecord>& records() const { return m_records; }
    std::optional<ClipboardRecord> selectedRecord() const;
    // What the detail pane shows now: its text and its information lines.
    QString detailText() const;
    QString detailInformation() const;
    bool showsReadError() const { return m_readError; }
    QComboBox* filterBox() const { return m_filterBox; }

    // The row title of a record: its first line, "Image (W×H)" or the file name.
    static QString rowTitle(const ClipboardRecord& record, const QString& imagePath = {});

private:
    void updateDetail();
    CommandOutcome quickLook(const ClipboardRecord& record) const;

    ClipboardHistory& m_history;
    ClipboardActions& m_actions;
    QString m_query;
    ContentTypeFilter m_filter = ContentTypeFilter::all;
    std::vector<ClipboardRecord> m_records;
    bool m_readError = false;
    QComboBox* m_filterBox = nullptr;
    DetailPane* m_detail = nullptr;
};

}  // namespace vantrel
