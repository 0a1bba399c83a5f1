#pragma once

#include "ui/toolkit/LauncherView.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QListView;

namespace vantrel {

class ListViewModel;

// A command's list: sections of rows with an icon, a title, a grey subtitle
// and accessories at the right edge. The search bar filters it (every word of
// the query must start a word of the title, subtitle or keywords, or appear
// in the title); each row carries its own actions.
class ListView : public LauncherView {
    Q_OBJECT

public:
    struct Accessory {
        QString text;
        std::optional<ImageResource> icon;
    };
    struct Item {
        QString id;
        QString title;
        QString subtitle;
        std::optional<ImageResource> icon;
        std::vector<Accessory> accessories;
        QStringList keywords;
        std::vector<MenuItem> actions;
    };
    struct Section {
        QString title;
        std::vector<Item> items;
    };

    explicit ListView(QString title, QWidget* parent = nullptr);
    ~ListView() override;

    // "Could Not Read": one warning row per note on a source that failed
    // (ids "note-N", N counted from `firstIndex`), each with `actions`;
    // nothing when there are no notes.
    static std::optional<Section> couldNotReadSection(const QStringList& notes, int firstIndex = 0,
                                                      const std::vector<MenuItem>& actions = {});

    void setSections(std::vector<Section> sections);
    // The same for a list that reloads while shown: empty sections are left
    // out, and the selected row stays selected when it is still there.
    void replaceSections(std::vector<Section> sections);
    // The same sections and items (ids, in order) with new contents: the
    // items are replaced in place and only the rows whose text, icon or
    // accessories changed repaint. Answers how many changed, or -1 (and
    // changes nothing) when the structure differs or a filter is active.
    int updateItems(std::vector<Section> sections);
    // Shown in the middle of the view when no row matches (or there are none).
    void setEmptyText(const QString& text);
    void setSearchPlaceholder(const QString& text);
    // With filtering off the owner filters (a command that searches itself):
    // every text change is still reported through searchTextChanged.
    void setFiltering(bool enabled);
    // Lists with a detail pane: the rows (under `header`, a filter drop-down
    // for example, when given) take the left two fifths and `detail` the
    // rest. Call once, from the view's constructor; the view owns both.
    void setDetailPane(QWidget* detail, QWidget* header = nullptr);

    QString title() const override;
    bool usesSearchBar() const override { return true; }
    QString searchPlaceholder() const override;
    void searchTextChanged(const QString& text) override;
    std::vector<MenuItem> actions() const override;
    bool handleKey(QKeyEvent* event) override;

    QString searchText() const override;
    // The rows that match the search text, in order, and the selected one.
    std::vector<const Item*> visibleItems() const;
    const Item* selectedItem() const;
    bool selectItem(const QString& id);
    void moveSelection(int delta);
    bool isShowingEmptyView() const;
    QString emptyText() const;

signals:
    void selectionChanged();
    // Return or a double click on a row: the window runs the primary action.
    void itemActivated(const QString& id);
    // The search text changed (also when the view filters itself).
    void queryChanged(const QString& text);

private:
    void refilter();
    void selectVisible(int index);
    int pageSize() const;
    void updateEmptyState();

    QString m_title;
    QString m_placeholder;
    QString m_emptyText;
    QString m_query;
    bool m_filtering = true;
    std::vector<Section> m_sections;
    ListViewModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QLabel* m_empty = nullptr;
    int m_selected = -1;  // index into the visible items
};

}  // namespace vantrel
