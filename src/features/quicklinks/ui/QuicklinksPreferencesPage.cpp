#include "features/quicklinks/ui/QuicklinksPreferencesPage.h"

#include "features/quicklinks/QuicklinkForm.h"
#include "features/quicklinks/QuicklinkLibrary.h"
#include "features/quicklinks/QuicklinksService.h"
#include "kit/VantrelError.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantrel {

QuicklinksPreferencesPage::QuicklinksPreferencesPage(QuicklinksService& service, QWidget* parent)
    : QWidget(parent), m_service(service) {
    setObjectName(QStringLiteral("quicklinksPreferences"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Set up a new Quicklink or choose one from the library."), this));
    auto* columns = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("quicklinksList"));
    columns->addWidget(m_list, 1);
    auto* editor = new QFormLayout;
    m_name = new QLineEdit(this);
    m_link = new QLineEdit(this);
    m_link->setPlaceholderText(QString(QuicklinkForm::linkPlaceholder));
    editor->addRow(QStringLiteral("Name"), m_name);
    editor->addRow(QStringLiteral("Link"), m_link);
    auto* description = new QLabel(QString(QuicklinkForm::linkDescription), this);
    description->setWordWrap(true);
    editor->addRow(description);
    auto* save = new QPushButton(QStringLiteral("Save"), this);
    auto* create = new QPushButton(QStringLiteral("Create New Quicklink"), this);
    editor->addRow(save, create);
    columns->addLayout(editor, 1);
    layout->addLayout(columns);
    layout->addWidget(new QLabel(QStringLiteral("Library"), this));
    m_library = new QListWidget(this);
    m_library->setObjectName(QStringLiteral("quicklinksLibrary"));
    for (const LibraryQuicklink& entry : quicklinkLibrary()) m_library->addItem(entry.name + QStringLiteral("  —  ") + entry.link);
    layout->addWidget(m_library);
    auto* add = new QPushButton(QStringLiteral("Add From Library"), this);
    layout->addWidget(add);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("quicklinksMessage"));
    layout->addWidget(m_message);

    connect(m_list, &QListWidget::currentRowChanged, this, [this] { showSelected(); });
    connect(save, &QPushButton::clicked, this, [this] { saveSelected(); });
    connect(create, &QPushButton::clicked, this, [this] { createNew(); });
    connect(add, &QPushButton::clicked, this, [this] { addFromLibrary(m_library->currentRow()); });
    connect(m_library, &QListWidget::itemDoubleClicked, this, [this] { addFromLibrary(m_library->currentRow()); });
    reload();
}

QString QuicklinksPreferencesPage::message() const {
    return m_message->text();
}

void QuicklinksPreferencesPage::reload() {
    const qint64 selected = m_list->currentItem() ? m_list->currentItem()->data(Qt::UserRole).toLongLong() : -1;
    m_list->clear();
    try {
        for (const QuicklinkRecord& link : m_service.quicklinks()) {
            auto* item = new QListWidgetItem(link.name, m_list);
            item->setData(Qt::UserRole, link.id.value_or(0));
            if (link.id == selected) m_list->setCurrentItem(item);
        }
    } catch (const std::exception& error) {
        m_message->setText(VantrelError::describe(error));
    }
    showSelected();
}

void QuicklinksPreferencesPage::showSelected() {
    const QListWidgetItem* item = m_list->currentItem();
    const auto link = item ? m_service.quicklink(item->data(Qt::UserRole).toLongLong()) : std::nullopt;
    m_name->setText(link ? link->name : QString());
    m_link->setText(link ? link->urlString : QString());
    m_name->setEnabled(link.has_value());
    m_link->setEnabled(link.has_value());
}

bool QuicklinksPreferencesPage::saveSelected() {
    const QListWidgetItem* item = m_list->currentItem();
    auto link = item ? m_service.quicklink(item->data(Qt::UserRole).toLongLong()) : std::nullopt;
    if (!link) return false;
    if (m_name->text().trimmed().isEmpty()) {
        m_message->setText(QStringLiteral("Name cannot be empty") + QStringLiteral(" - ") + QStringLiteral("Please provide a name"));
        return false;
    }
    if (const auto problem = QuicklinkForm::linkError(m_link->text())) {
        m_message->setText(QStringLiteral("Cannot update link") + QStringLiteral(" - ") + *problem);
        return false;
    }
    link->name = m_name->text().trimmed();
    link->urlString = m_link->text().trimmed();
    try {
        m_service.update(*link);
    } catch (const std::exception& error) {
        m_message->setText(QStringLiteral("Database error: Unable to update quicklink - ") + VantrelError::describe(error));
        return false;
    }
    m_message->clear();
    reload();
    return true;
}

bool QuicklinksPreferencesPage::createNew() {
    QuicklinkRecord link;
    link.name = QStringLiteral("New Quicklink");
    link.urlString = QString(QuicklinkForm::linkPlaceholder);
    try {
        const QuicklinkRecord stored = m_service.create(link);
        reload();
        for (int row = 0; row < m_list->count(); ++row)
            if (m_list->item(row)->data(Qt::UserRole).toLongLong() == stored.id.value_or(-1)) m_list->setCurrentRow(row);
    } catch (const std::exception& error) {
        m_message->setText(QStringLiteral("Unable to add Quicklink - ") + VantrelError::describe(error));
        return false;
    }
    m_message->clear();
    return true;
}

bool QuicklinksPreferencesPage::addFromLibrary(int row) {
    const auto& library = quicklinkLibrary();
    if (row < 0 || row >= static_cast<int>(library.size())) return false;
    QuicklinkRecord link;
    link.name = library[static_cast<std::size_t>(row)].name;
    link.urlString = library[static_cast<std::size_t>(row)].link;
    try {
        m_service.create(link);
    } catch (const std::exception& error) {
        m_message->setText(QStringLiteral("Unable to add Quicklink - ") + VantrelError::describe(error));
        return false;
    }
    m_message->clear();
    reload();
    return true;
}

}  // namespace vantrel
