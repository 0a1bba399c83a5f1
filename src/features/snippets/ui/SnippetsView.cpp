#include "features/snippets/ui/SnippetsView.h"

#include "features/snippets/SnippetActions.h"
#include "features/snippets/SnippetsService.h"
#include "ui/toolkit/DetailPane.h"

#include <QColor>
#include <QComboBox>
#include <QLocale>
#include <QPixmap>

#include <algorithm>

namespace vantrel {

namespace {

QString firstLine(const QString& text) {
    const QString trimmed = text.trimmed();
    const qsizetype end = trimmed.indexOf(QLatin1Char('\n'));
    QString line = end < 0 ? trimmed : trimmed.left(end);
    if (line.size() > 80) line = line.left(79) + QStringLiteral("…");
    return line;
}

QString when(const QDateTime& moment) {
    if (!moment.isValid()) return QStringLiteral("never");
    return QLocale().toString(moment.toLocalTime(), QLocale::ShortFormat);
}

bool matches(SnippetsView::CategoryFilter filter, const SnippetRecord& snippet) {
    switch (filter) {
        case SnippetsView::CategoryFilter::all:
            return true;
        case SnippetsView::CategoryFilter::text:
            return snippet.category != SnippetRecord::Category::color;
        case SnippetsView::CategoryFilter::color:
            return snippet.category == SnippetRecord::Category::color;
    }
    return true;
}

}  // namespace

SnippetsView::SnippetsView(SnippetsService& service, SnippetActions& actions, const QString& initialQuery,
                           QWidget* parent)
    : ListView(viewTitle, parent), m_service(service), m_actions(actions) {
    setObjectName(QStringLiteral("snippetsView"));
    setSearchPlaceholder(QStringLiteral("Search snippets…"));

    m_filterBox = new QComboBox(this);
    m_filterBox->setObjectName(QStringLiteral("snippetsCategory"));
    m_filterBox->setFocusPolicy(Qt::NoFocus);
    for (CategoryFilter filter : {CategoryFilter::all, CategoryFilter::text, CategoryFilter::color})
        m_filterBox->addItem(filterTitle(filter), int(filter));

    m_detail = new DetailPane(this);
    m_detail->setObjectName(QStringLiteral("snippetDetail"));
    setDetailPane(m_detail, m_filterBox);

    connect(m_filterBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_filter = CategoryFilter(m_filterBox->itemData(index).toInt());
        reload();
    });
    connect(this, &ListView::selectionChanged, this, [this] {
        updateDetail();
        emit actionsChanged();
    });
    m_service.changed.connect(this, [this] { reload(); });
    reload();
    if (!initialQuery.isEmpty()) ListView::searchTextChanged(initialQuery);
}

SnippetsView::~SnippetsView() = default;

QString SnippetsView::filterTitle(CategoryFilter filter) {
    switch (filter) {
        case CategoryFilter::all:
            return QStringLiteral("All Snippets");
        case CategoryFilter::text:
            return QStringLiteral("Text Snippets");
        case CategoryFilter::color:
            return QStringLiteral("Color Snippets");
    }
    return {};
}

void SnippetsView::setCategoryFilter(CategoryFilter filter) {
    m_filterBox->setCurrentIndex(m_filterBox->findData(int(filter)));
}

void SnippetsView::reload() {
    bool failed = false;
    try {
        m_snippets = m_service.all();
    } catch (const std::exception&) {
        m_snippets.clear();
        failed = true;
    }
    std::erase_if(m_snippets, [this](const SnippetRecord& snippet) { return !matches(m_filter, snippet); });
    std::stable_sort(m_snippets.begin(), m_snippets.end(), [](const SnippetRecord& a, const SnippetRecord& b) {
        if (a.isPinned != b.isPinned) return a.isPinned;
        return a.name.localeAwareCompare(b.name) < 0;
    });
    Section pinned{pinnedSectionTitle, {}};
    Section others{otherSectionTitle, {}};
    for (const SnippetRecord& snippet : m_snippets) {
        Item item;
        item.id = QString::number(snippet.id.value_or(0));
        item.title = snippet.name;
        item.subtitle = firstLine(snippet.text);
        item.icon = snippet.category == SnippetRecord::Category::color ? ImageResource::emoji(QStringLiteral("🎨"))
                                                                       : ImageResource::named(QStringLiteral("snippets"));
        if (snippet.alias && !snippet.alias->isEmpty()) {
            item.accessories.push_back({*snippet.alias, {}});
            item.keywords << *snippet.alias;
        }
        item.keywords << snippet.text.left(2000);
        (snippet.isPinned ? pinned : others).items.push_back(std::move(item));
    }
    setEmptyText(failed ? readErrorText : noSnippetsText);
    replaceSections({std::move(pinned), std::move(others)});
    updateDetail();
    emit actionsChanged();
}

std::optional<SnippetRecord> SnippetsView::selectedSnippet() const {
    const Item* item = selectedItem();
    if (!item) return std::nullopt;
    const qint64 id = item->id.toLongLong();
    for (const SnippetRecord& snippet : m_snippets)
        if (snippet.id == id) return snippet;
    return std::nullopt;
}

std::vector<MenuItem> SnippetsView::actions() const {
    const std::optional<SnippetRecord> snippet = selectedSnippet();
    if (!snippet) return {};
    return m_actions.menu(*snippet);
}

void SnippetsView::updateDetail() {
    const std::optional<SnippetRecord> snippet = selectedSnippet();
    m_detail->clear();
    if (!snippet) return;
    if (snippet->category == SnippetRecord::Category::color) {
        const QColor color(snippet->text.trimmed());
        if (color.isValid()) {
            QPixmap swatch(96, 96);
            swatch.fill(color);
            m_detail->setPreview(swatch);
        }
    }
    m_detail->setPlainText(snippet->text);
    QStringList information;
    information << QStringLiteral("Name: %1").arg(snippet->name);
    information << QStringLiteral("Keyword: %1").arg(snippet->alias && !snippet->alias->isEmpty() ? *snippet->alias
                                                                                                   : QStringLiteral("none"));
    information << QStringLiteral("Characters: %1").arg(snippet->text.size());
    information << QStringLiteral("Last used: %1").arg(snippet->accessedAt == snippet->createdAt ? QStringLiteral("never")
                                                                                                  : when(snippet->accessedAt));
    information << QStringLiteral("Modified: %1").arg(when(snippet->modifiedAt));
    information << QStringLiteral("Created: %1").arg(when(snippet->createdAt));
    m_detail->setInformation(information);
}

QString SnippetsView::detailText() const {
    return m_detail->text();
}

QString SnippetsView::detailInformation() const {
    return m_detail->information();
}

}  // namespace vantrel
