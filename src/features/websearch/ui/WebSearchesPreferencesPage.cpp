#include "features/websearch/ui/WebSearchesPreferencesPage.h"

#include "features/websearch/WebSearchFeature.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantrel {

WebSearchesPreferencesPage::WebSearchesPreferencesPage(WebSearchFeature& feature, QWidget* parent)
    : QWidget(parent), m_feature(feature) {
    setObjectName(QStringLiteral("webSearchesPreferences"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Searches offered below every query, in this order."), this));
    m_list = new QListWidget(this);
    layout->addWidget(m_list);
    auto* form = new QFormLayout;
    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(QStringLiteral("Wikipedia"));
    m_link = new QLineEdit(this);
    m_link->setPlaceholderText(QStringLiteral("https://en.wikipedia.org/w/index.php?search={Query}"));
    form->addRow(QStringLiteral("Name"), m_name);
    form->addRow(QStringLiteral("Link"), m_link);
    auto* add = new QPushButton(QStringLiteral("Add Web Search"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    form->addRow(add, remove);
    layout->addLayout(form);
    m_message = new QLabel(this);
    layout->addWidget(m_message);
    connect(add, &QPushButton::clicked, this, [this] { this->add(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeSelected(); });
    reload();
}

QString WebSearchesPreferencesPage::message() const {
    return m_message->text();
}

void WebSearchesPreferencesPage::reload() {
    m_list->clear();
    for (const WebSearch& search : m_feature.webSearches()) {
        auto* item = new QListWidgetItem(search.title, m_list);
        item->setData(Qt::UserRole, search.id);
    }
}

bool WebSearchesPreferencesPage::add() {
    const QString title = m_name->text().trimmed();
    const QString url = m_link->text().trimmed();
    if (const std::optional<QString> problem = CustomWebSearch::validationMessage(title, url)) {
        m_message->setText(*problem);
        return false;
    }
    std::vector<CustomWebSearch> searches = m_feature.customWebSearches();
    searches.push_back({WebSearchFeature::newCustomId(title, searches), title, url});
    if (!m_feature.setCustomWebSearches(searches)) {
        m_message->setText(QStringLiteral("Unable to save the web search"));
        return false;
    }
    m_message->clear();
    m_name->clear();
    m_link->clear();
    reload();
    return true;
}

bool WebSearchesPreferencesPage::removeSelected() {
    const QListWidgetItem* item = m_list->currentItem();
    if (!item) return false;
    const QString id = item->data(Qt::UserRole).toString();
    std::vector<CustomWebSearch> searches = m_feature.customWebSearches();
    const auto before = searches.size();
    std::erase_if(searches, [&](const CustomWebSearch& search) { return search.id == id; });
    if (searches.size() == before) {
        m_message->setText(QStringLiteral("The built-in searches stay; switch them off with the package."));
        return false;
    }
    m_feature.setCustomWebSearches(searches);
    m_message->clear();
    reload();
    return true;
}

}  // namespace vantrel
