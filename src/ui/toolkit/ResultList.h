#pragma once

#include "core/rootsearch/RootSearchController.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <optional>
#include <vector>

namespace vantrel {

// The rows of a sectioned list: a header per section, then its items. The
// items are numbered across sections the way RootSearchController counts
// its selection.
class ResultListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IsHeaderRole = Qt::UserRole + 1,
        ItemIndexRole,
        SubtitleRole,
        AccessoryRole,
        TypeRole,
        IsExpressionRole,
    };

    explicit ResultListModel(QObject* parent = nullptr);

    void setSections(const std::vector<ListSection>& sections);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const ListItem* item(int row) const;
    int rowForItem(int itemIndex) const;
    std::optional<int> itemIndexForRow(int row) const;
    int itemCount() const { return int(m_itemRows.size()); }
    // What the row's kind is called at its right edge ("Application", "Command"…).
    static QString typeLabel(const ListItem& item);

private:
    struct Row {
        bool isHeader = false;
        QString title;
        const ListItem* item = nullptr;
        int itemIndex = -1;
    };
    std::vector<Row> m_rows;
    std::vector<int> m_itemRows;
};

// Paints section titles, and rows with icon, title, grey subtitle, accessory
// text (an alias tag, or styled output in its own colours) and the item's
// kind; the selected row sits on a rounded pill.
class ResultListDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int rowHeight = 44;
    static constexpr int headerHeight = 30;
    static constexpr int expressionHeight = 104;
    static constexpr int iconSize = 26;

    // The least a title keeps next to styled output, and the gap between them.
    static constexpr int minimumTitleWidth = 140;
    static constexpr int outputGap = 14;

    explicit ResultListDelegate(QObject* parent = nullptr);

    // Styled runs on one line: their width, and drawing them from the left of
    // `rect` (an ellipsis where they do not fit; colours of the current theme).
    static int styledTextWidth(const std::vector<StyledTextRun>& runs, const QFont& font);
    static void drawStyledText(QPainter* painter, const std::vector<StyledTextRun>& runs, const QRect& rect,
                               const QFont& font, const QColor& defaultColour);

    void setSelectedRow(int row) { m_selectedRow = row; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintExpression(QPainter* painter, const QRect& rect, const ListItem& item, bool selected) const;
    int m_selectedRow = -1;
};

// The scrolling list of the root search view. The selection is the
// controller's: the view only shows it and reports clicks.
class ResultListView : public QListView {
    Q_OBJECT

public:
    explicit ResultListView(QWidget* parent = nullptr);

    ResultListModel* resultModel() const { return m_model; }
    void setSections(const std::vector<ListSection>& sections, std::optional<int> selectedItem);
    void setSelectedItem(std::optional<int> itemIndex);
    std::optional<int> selectedItem() const { return m_selected; }
    // How many rows a page holds, for Page Up / Page Down.
    int itemsPerPage() const;

signals:
    void itemClicked(int itemIndex);
    void itemActivated(int itemIndex);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    ResultListModel* m_model;
    ResultListDelegate* m_delegate;
    std::optional<int> m_selected;
};

}  // namespace vantrel
