#pragma once

#include "data/Records.h"
#include "ui/toolkit/ListView.h"

#include <QString>

#include <optional>
#include <vector>

class QComboBox;

namespace vantrel {

class DetailPane;
class SnippetActions;
class SnippetsService;

// "Search Snippets": the snippets, pinned first and then by name, filtered
// by the search bar (name, keyword and text) and by category, with a detail
// pane showing the selected snippet's text (a colour as a swatch), its
// keyword and when it was made, changed and last used. The selected
// snippet's actions are SnippetActions' menu.
class SnippetsView : public ListView {
    Q_OBJECT

public:
    enum class CategoryFilter { all, text, color };

    inline static const QString viewTitle = QStringLiteral("Search Snippets");
    inline static const QString noSnippetsText = QStringLiteral("No Snippets");
    inline static const QString readErrorText = QStringLiteral("Could not read the snippets.");
    inline static const QString pinnedSectionTitle = QStringLiteral("Pinned");
    inline static const QString otherSectionTitle = QStringLiteral("Snippets");

    SnippetsView(SnippetsService& service, SnippetActions& actions, const QString& initialQuery = {},
                 QWidget* parent = nullptr);
    ~SnippetsView() override;

    std::vector<MenuItem> actions() const override;

    void setCategoryFilter(CategoryFilter filter);
    CategoryFilter categoryFilter() const { return m_filter; }
    static QString filterTitle(CategoryFilter filter);

    void reload();
    const std::vector<SnippetRecord>& snippets() const { return m_snippets; }
    std::optional<SnippetRecord> selectedSnippet() const;
    QString detailText() const;
    QString detailInformation() const;
    QComboBox* filterBox() const { return m_filterBox; }

private:
    void updateDetail();

    SnippetsService& m_service;
    SnippetActions& m_actions;
    CategoryFilter m_filter = CategoryFilter::all;
    std::vector<SnippetRecord> m_snippets;
    QComboBox* m_filterBox = nullptr;
    DetailPane* m_detail = nullptr;
};

}  // namespace vantrel
