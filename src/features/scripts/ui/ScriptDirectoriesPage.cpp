#include "features/scripts/ui/ScriptDirectoriesPage.h"

#include "features/scripts/ScriptCommandsService.h"
#include "kit/Logger.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"
#include "ui/toolkit/Icons.h"
#include "ui/toolkit/Theme.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

namespace vantrel {

namespace {

constexpr int kIconSize = 16;

QString cssColor(const QColor& color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

QString cleanPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace

ScriptDirectoriesPage::ScriptDirectoriesPage(ScriptCommandsService& service, QWidget* parent,
                                             NotificationCenter* center)
    : QWidget(parent), m_service(service), m_center(center ? center : &NotificationCenter::defaultCenter()) {
    setObjectName(QStringLiteral("scriptDirectoriesPage"));
    setAttribute(Qt::WA_StyledBackground, true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 14);
    layout->setSpacing(10);

    m_title = new QLabel(QStringLiteral("Script Commands"), this);
    m_title->setObjectName(QStringLiteral("pageTitle"));
    layout->addWidget(m_title);

    m_description = new QLabel(QString(ScriptCommandsService::directoriesDescription), this);
    m_description->setObjectName(QStringLiteral("hint"));
    m_description->setWordWrap(true);
    layout->addWidget(m_description);
    layout->addSpacing(4);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("scriptDirectoriesList"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("Directory"), QStringLiteral("Script Commands")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(kIconSize, kIconSize));
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(directoryColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(commandsColumn, QHeaderView::ResizeToContents);
    m_list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->header()->setSectionsClickable(false);
    layout->addWidget(m_list, 1);

    m_empty = new QLabel(QStringLiteral("No script directories yet.\nAdd a folder to load the scripts in it."), this);
    m_empty->setObjectName(QStringLiteral("scriptDirectoriesEmpty"));
    m_empty->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_empty, 1);

    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(8);
    m_addButton = new QPushButton(QStringLiteral("Add Directory…"), this);
    m_addButton->setObjectName(QStringLiteral("scriptDirectoriesAdd"));
    m_addButton->setCursor(Qt::PointingHandCursor);
    m_removeButton = new QPushButton(QStringLiteral("Remove"), this);
    m_removeButton->setObjectName(QStringLiteral("scriptDirectoriesRemove"));
    m_removeButton->setCursor(Qt::PointingHandCursor);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("scriptDirectoriesMessage"));
    m_message->setWordWrap(true);
    m_message->hide();
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_removeButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(m_message);

    connect(m_addButton, &QPushButton::clicked, this, &ScriptDirectoriesPage::chooseDirectory);
    connect(m_removeButton, &QPushButton::clicked, this, [this] { removeDirectory(); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &ScriptDirectoriesPage::updateButtons);

    // The folders change through the package configuration, the counts when
    // the service reloaded; either may be reported from a worker thread.
    m_center->addObserver(
        QString(NotificationNames::packageConfigurationDidChange), this,
        [this](const Notification&) { onMainThread(&ScriptDirectoriesPage::reload); },
        QVariant(QString(ScriptCommandsService::packageIdentifier)));
    m_center->addObserver(QString(NotificationNames::scriptCommandsChanged), this,
                          [this](const Notification&) { onMainThread(&ScriptDirectoriesPage::reload); });

    if (!m_service.isStarted()) m_service.start();
    applyTheme();
    reload();
}

ScriptDirectoriesPage::~ScriptDirectoriesPage() {
    m_center->removeObserver(this);
}

void ScriptDirectoriesPage::onMainThread(void (ScriptDirectoriesPage::*method)()) {
    if (QThread::currentThread() == thread()) {
        (this->*method)();
        return;
    }
    QMetaObject::invokeMethod(this, method, Qt::QueuedConnection);
}

// MARK: Changing the folders

void ScriptDirectoriesPage::chooseDirectory() {
    const QStringList listed = listedDirectories();
    const QString start = listed.isEmpty() ? QDir::homePath() : QFileInfo(listed.last()).absolutePath();
    const QString chosen = QFileDialog::getExistingDirectory(window(), QStringLiteral("Add Script Directory"), start,
                                                             QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) addDirectory(chosen);
}

bool ScriptDirectoriesPage::addDirectory(const QString& path) {
    if (path.trimmed().isEmpty()) {
        showMessage(QStringLiteral("Choose a folder to add"));
        return false;
    }
    bool added = false;
    try {
        added = m_service.addDirectory(path);
    } catch (const std::exception& error) {
        scriptCommandsLog().error(
            "Failed to add script directory",
            {{QStringLiteral("path"), path}, {QStringLiteral("error"), VantrelError::describe(error)}});
        reload();
        showMessage(VantrelError::describe(error));
        return false;
    }
    reload();
    if (!added) {
        const bool listed = listedDirectories().contains(cleanPath(path));
        showMessage(listed ? QStringLiteral("%1 is in the list already").arg(displayPath(cleanPath(path)))
                           : QStringLiteral("Failed to add %1").arg(displayPath(path)));
        return false;
    }
    showMessage(QString());
    scriptCommandsLog().info("Added script directory", {{QStringLiteral("path"), cleanPath(path)}});
    // Select the new row so that Remove acts on it.
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_list->topLevelItem(i);
        if (row->data(directoryColumn, pathRole).toString() == cleanPath(path)) m_list->setCurrentItem(row);
    }
    return true;
}

bool ScriptDirectoriesPage::removeDirectory(const QString& path) {
    QString target = path;
    if (target.isEmpty()) {
        const QTreeWidgetItem* current = m_list->currentItem();
        if (!current) {
            showMessage(QStringLiteral("Select a directory to remove"));
            return false;
        }
        target = current->data(directoryColumn, pathRole).toString();
    }
    const bool removed = m_service.removeDirectory(target);
    reload();
    if (!removed) {
        showMessage(QStringLiteral("%1 is not in the list").arg(displayPath(target)));
        return false;
    }
    showMessage(QString());
    scriptCommandsLog().info("Removed script directory", {{QStringLiteral("path"), target}});
    return true;
}

// MARK: The list

void ScriptDirectoriesPage::reload() {
    const QString selected =
        m_list->currentItem() ? m_list->currentItem()->data(directoryColumn, pathRole).toString() : QString();

    std::map<QString, int> counts;
    for (const ScriptCommand& command : m_service.commands())
        ++counts[QDir::cleanPath(QFileInfo(command.scriptPath).absolutePath())];

    m_list->clear();
    const QPixmap folderIcon =
        Icons::pixmap(ImageResource::named(QStringLiteral("folder")), kIconSize, devicePixelRatioF());
    QStringList seen;
    for (const QString& configured : m_service.directories()) {
        const QString path = QDir::cleanPath(configured);
        if (seen.contains(path)) continue;
        seen << path;
        const bool exists = QFileInfo(path).isDir();
        const auto found = counts.find(path);
        const int count = found == counts.end() ? 0 : found->second;
        auto* row = new QTreeWidgetItem(m_list);
        row->setText(directoryColumn, displayPath(path));
        row->setToolTip(directoryColumn, path);
        row->setData(directoryColumn, pathRole, path);
        row->setData(commandsColumn, Qt::UserRole, count);
        row->setIcon(directoryColumn, QIcon(folderIcon));
        row->setText(commandsColumn, exists ? countText(count) : QStringLiteral("Folder not found"));
        if (!exists)
            row->setForeground(commandsColumn, Theme::current().failure);
        else if (count == 0)
            row->setForeground(commandsColumn, Theme::current().secondaryText);
        if (path == selected) m_list->setCurrentItem(row);
    }
    const bool empty = m_list->topLevelItemCount() == 0;
    m_list->setVisible(!empty);
    m_empty->setVisible(empty);
    updateButtons();
    emit reloaded();
}

QStringList ScriptDirectoriesPage::listedDirectories() const {
    QStringList paths;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        paths << m_list->topLevelItem(i)->data(directoryColumn, pathRole).toString();
    return paths;
}

int ScriptDirectoriesPage::listedCommandCount(const QString& path) const {
    const QString wanted = cleanPath(path);
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_list->topLevelItem(i);
        if (row->data(directoryColumn, pathRole).toString() == wanted)
            return row->data(commandsColumn, Qt::UserRole).toInt();
    }
    return -1;
}

QString ScriptDirectoriesPage::message() const {
    return m_message->isHidden() ? QString() : m_message->text();
}

void ScriptDirectoriesPage::showMessage(const QString& text) {
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void ScriptDirectoriesPage::updateButtons() {
    m_removeButton->setEnabled(m_list->currentItem() != nullptr && m_list->currentItem()->isSelected());
}

QString ScriptDirectoriesPage::countText(int count) {
    if (count <= 0) return QStringLiteral("No commands");
    if (count == 1) return QStringLiteral("1 command");
    return QStringLiteral("%1 commands").arg(count);
}

QString ScriptDirectoriesPage::displayPath(const QString& path) {
    const QString home = QDir::cleanPath(QDir::homePath());
    if (path == home) return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/'))) return QLatin1Char('~') + path.mid(home.size());
    return path;
}

// MARK: Appearance

void ScriptDirectoriesPage::applyTheme() {
    const Theme& theme = Theme::current();
    setFont(theme.baseFont);
    const QString style =
        QStringLiteral(R"(
#scriptDirectoriesPage { background: %1; }
#scriptDirectoriesPage QLabel#pageTitle { color: %4; font-size: %7px; font-weight: 600; }
#scriptDirectoriesPage QLabel#hint { color: %8; font-size: %9px; }
QLabel#scriptDirectoriesEmpty { color: %8; background: %2; border: 1px dashed %3; border-radius: 8px; padding: 24px; }
QLabel#scriptDirectoriesMessage { color: %10; font-size: %9px; }
QTreeWidget#scriptDirectoriesList { background: %1; alternate-background-color: %1; border: 1px solid %3; border-radius: 8px; color: %4; outline: 0; }
QTreeWidget#scriptDirectoriesList::item { height: 30px; }
QTreeWidget#scriptDirectoriesList::item:selected { background: %5; color: %4; }
QTreeWidget#scriptDirectoriesList::item:hover:!selected { background: %6; }
QTreeWidget#scriptDirectoriesList QHeaderView::section { background: %1; color: %8; border: none; border-bottom: 1px solid %3; padding: 6px 4px; font-weight: 600; }
QPushButton#scriptDirectoriesAdd, QPushButton#scriptDirectoriesRemove { background: %11; color: %4; border: 1px solid %12; border-radius: 6px; padding: 5px 14px; }
QPushButton#scriptDirectoriesAdd:hover, QPushButton#scriptDirectoriesRemove:hover:enabled { background: %6; }
QPushButton#scriptDirectoriesAdd:focus, QPushButton#scriptDirectoriesRemove:focus { border: 1px solid %13; }
QPushButton#scriptDirectoriesRemove:disabled { color: %8; }
)")
            .arg(cssColor(theme.windowBackground), cssColor(theme.barBackground), cssColor(theme.separator),
                 cssColor(theme.primaryText), cssColor(theme.selectionBackground), cssColor(theme.hoverBackground))
            .arg(qRound(QFontInfo(theme.baseFont).pixelSize() * 1.45))
            .arg(cssColor(theme.secondaryText))
            .arg(QFontInfo(theme.smallFont).pixelSize())
            .arg(cssColor(theme.failure), cssColor(theme.fieldBackground), cssColor(theme.fieldBorder),
                 cssColor(theme.accent));
    setStyleSheet(style + theme.scrollBarStyleSheet());
    if (m_list) reload();
}

}  // namespace vantrel
