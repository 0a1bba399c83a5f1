#include "features/contacts/ui/ContactsPreferencesPage.h"

#include "features/contacts/ContactsFeature.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantrel {

ContactsPreferencesPage::ContactsPreferencesPage(PackageRegistry& registry, QWidget* parent)
    : QWidget(parent), m_registry(registry) {
    setObjectName(QStringLiteral("header_contactSources"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("vCard files (.vcf) and folders of them that \"Search Contacts\" reads."), this));
    m_sources = new QListWidget(this);
    m_sources->setObjectName(QStringLiteral("contactSources"));
    layout->addWidget(m_sources);
    auto* row = new QHBoxLayout;
    m_newSource = new QLineEdit(this);
    m_newSource->setObjectName(QStringLiteral("newContactSource"));
    m_newSource->setPlaceholderText(QStringLiteral("Path to a .vcf file or a folder"));
    auto* chooseFile = new QPushButton(QStringLiteral("Choose File…"), this);
    auto* chooseFolder = new QPushButton(QStringLiteral("Choose Folder…"), this);
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    row->addWidget(m_newSource, 1);
    row->addWidget(chooseFile);
    row->addWidget(chooseFolder);
    row->addWidget(add);
    row->addWidget(remove);
    layout->addLayout(row);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    m_desktop = new QCheckBox(QStringLiteral("Also read the desktop's address books (Evolution Data Server)"), this);
    m_desktop->setObjectName(QStringLiteral("useDesktopAddressBooks"));
    layout->addWidget(m_desktop);
    layout->addStretch(1);

    connect(chooseFile, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Choose contacts"), QString(),
                                                          QStringLiteral("vCard (*.vcf *.vcard);;All files (*)"));
        if (file.isEmpty()) return;
        m_newSource->setText(file);
        addFromField();
    });
    connect(chooseFolder, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Choose a folder of vCards"));
        if (folder.isEmpty()) return;
        m_newSource->setText(folder);
        addFromField();
    });
    connect(add, &QPushButton::clicked, this, [this] { addFromField(); });
    connect(m_newSource, &QLineEdit::returnPressed, this, [this] { addFromField(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(m_desktop, &QCheckBox::toggled, this,
            [this](bool on) { ContactsFeature::setUseDesktopAddressBooks(m_registry, on); });
    refresh();
}

void ContactsPreferencesPage::refresh() {
    const ContactsSettings settings = ContactsFeature::settings(m_registry);
    m_sources->clear();
    m_sources->addItems(settings.sources);
    const QSignalBlocker blocker(m_desktop);
    m_desktop->setChecked(settings.useDesktopAddressBooks);
}

bool ContactsPreferencesPage::addFromField() {
    QString problem;
    const std::optional<QString> source = ContactsService::normalizeSource(m_newSource->text(), &problem);
    if (!source) {
        m_message->setText(problem);
        return false;
    }
    ContactsFeature::addSource(m_registry, *source);
    m_newSource->clear();
    m_message->clear();
    refresh();
    return true;
}

bool ContactsPreferencesPage::removeSelected() {
    const QListWidgetItem* item = m_sources->currentItem();
    if (!item) return false;
    const bool removed = ContactsFeature::removeSource(m_registry, item->text());
    refresh();
    return removed;
}

}  // namespace vantrel
