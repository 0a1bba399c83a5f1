#include "ui/toolkit/SourceListEditor.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace vantrel {

SourceListEditor::SourceListEditor(const Texts& texts, Store store, QWidget* parent)
    : QWidget(parent), m_store(std::move(store)) {
    setObjectName(texts.pageName);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(texts.intro, this));
    m_sources = new QListWidget(this);
    m_sources->setObjectName(texts.listName);
    layout->addWidget(m_sources);
    auto* row = new QHBoxLayout;
    m_newSource = new QLineEdit(this);
    m_newSource->setObjectName(texts.fieldName);
    m_newSource->setPlaceholderText(texts.placeholder);
    row->addWidget(m_newSource, 1);
    auto* chooseFile = new QPushButton(QStringLiteral("Choose File…"), this);
    row->addWidget(chooseFile);
    connect(chooseFile, &QPushButton::clicked, this,
            [this, title = texts.fileDialogTitle, filter = texts.fileFilter] {
                const QString file = QFileDialog::getOpenFileName(this, title, QString(), filter);
                if (file.isEmpty()) return;
                m_newSource->setText(file);
                addFromField();
            });
    if (!texts.folderDialogTitle.isEmpty()) {
        auto* chooseFolder = new QPushButton(QStringLiteral("Choose Folder…"), this);
        row->addWidget(chooseFolder);
        connect(chooseFolder, &QPushButton::clicked, this, [this, title = texts.folderDialogTitle] {
            const QString folder = QFileDialog::getExistingDirectory(this, title);
            if (folder.isEmpty()) return;
            m_newSource->setText(folder);
            addFromField();
        });
    }
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    row->addWidget(add);
    row->addWidget(remove);
    layout->addLayout(row);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    m_desktop = new QCheckBox(texts.desktopLabel, this);
    m_desktop->setObjectName(texts.desktopName);
    layout->addWidget(m_desktop);
    layout->addStretch(1);

    connect(add, &QPushButton::clicked, this, [this] { addFromField(); });
    connect(m_newSource, &QLineEdit::returnPressed, this, [this] { addFromField(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(m_desktop, &QCheckBox::toggled, this, [this](bool on) { m_store.setUseDesktop(on); });
    refresh();
}

void SourceListEditor::refresh() {
    const State state = m_store.load();
    m_sources->clear();
    m_sources->addItems(state.sources);
    const QSignalBlocker blocker(m_desktop);
    m_desktop->setChecked(state.useDesktop);
}

bool SourceListEditor::addFromField() {
    QString problem;
    const std::optional<QString> source = m_store.normalize(m_newSource->text(), &problem);
    if (!source) {
        m_message->setText(problem);
        return false;
    }
    m_store.add(*source);
    m_newSource->clear();
    m_message->clear();
    refresh();
    return true;
}

bool SourceListEditor::removeSelected() {
    const QListWidgetItem* item = m_sources->currentItem();
    if (!item) return false;
    const bool removed = m_store.remove(item->text());
    refresh();
    return removed;
}

}  // namespace vantrel
