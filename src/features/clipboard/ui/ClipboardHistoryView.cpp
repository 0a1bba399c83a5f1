#include "features/clipboard/ui/ClipboardHistoryView.h"

#include "features/clipboard/ClipboardActions.h"
#include "features/clipboard/ClipboardContent.h"
#include "features/clipboard/ClipboardHistory.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "platform/FileManager.h"
#include "platform/Platform.h"
#include "ui/toolkit/DetailPane.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QTextBrowser>

namespace vantrel {

namespace {

QString firstLine(const QString& text) {
    const QString trimmed = text.trimmed();
    const qsizetype end = trimmed.indexOf(QLatin1Char('\n'));
    QString line = end < 0 ? trimmed : trimmed.left(end);
    if (line.size() > 120) line = line.left(119) + QStringLiteral("…");
    return line;
}

ImageResource iconFor(const ClipboardRecord& record) {
    switch (record.category) {
        case ClipboardRecord::Category::image:
            return ImageResource::named(QStringLiteral("image"));
        case ClipboardRecord::Category::file:
            return ImageResource::named(QStringLiteral("file"));
        case ClipboardRecord::Category::link:
            return ImageResource::named(QStringLiteral("link"));
        case ClipboardRecord::Category::color:
            return ImageResource::emoji(QStringLiteral("🎨"));
        case ClipboardRecord::Category::text:
            break;
    }
    return ImageResource::named(QStringLiteral("clipboard"));
}

QString when(const QDateTime& moment) {
    return QLocale().toString(moment.toLocalTime(), QLocale::ShortFormat);
}

}  // namespace

ClipboardHistoryView::ClipboardHistoryView(ClipboardHistory& history, ClipboardActions& actions,
                                           const QString& initialQuery, NotificationCenter* center, QWidget* parent)
    : ListView(viewTitle, parent), m_history(history), m_actions(actions), m_query(initialQuery) {
    setObjectName(QStringLiteral("clipboardHistoryView"));
    setFiltering(false);
    setSearchPlaceholder(QStringLiteral("Type to filter entries…"));

    // The list and its drop-down on the left, the detail pane on the right.
    m_filterBox = new QComboBox(this);
    m_filterBox->setObjectName(QStringLiteral("clipboardContentType"));
    m_filterBox->setFocusPolicy(Qt::NoFocus);
    for (ContentTypeFilter filter : {ContentTypeFilter::all, ContentTypeFilter::text, ContentTypeFilter::images,
                                     ContentTypeFilter::files, ContentTypeFilter::links, ContentTypeFilter::colors})
        m_filterBox->addItem(filterTitle(filter), int(filter));

    m_detail = new DetailPane(this);
    m_detail->setObjectName(QStringLiteral("clipboardDetail"));
    setDetailPane(m_detail, m_filterBox);

    connect(m_filterBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_filter = ContentTypeFilter(m_filterBox->itemData(index).toInt());
        reload();
    });
    connect(this, &ListView::selectionChanged, this, [this] {
        updateDetail();
        emit actionsChanged();
    });
    if (center)
        center->addObserver(QString(NotificationNames::didChangeClipboardHistory), this,
                            [this](const Notification&) {
                                QMetaObject::invokeMethod(this, [this] { reload(); }, Qt::QueuedConnection);
                            });
    reload();
}

ClipboardHistoryView::~ClipboardHistoryView() = default;

QString ClipboardHistoryView::filterTitle(ContentTypeFilter filter) {
    switch (filter) {
        case ContentTypeFilter::all:
            return QStringLiteral("All Types");
        case ContentTypeFilter::text:
            return QStringLiteral("Text Only");
        case ContentTypeFilter::images:
            return QStringLiteral("Images Only");
        case ContentTypeFilter::files:
            return QStringLiteral("Files Only");
        case ContentTypeFilter::links:
            return QStringLiteral("Links Only");
        case ContentTypeFilter::colors:
            return QStringLiteral("Colors Only");
    }
    return {};
}

std::optional<ClipboardRecord::Category> ClipboardHistoryView::category(ContentTypeFilter filter) {
    switch (filter) {
        case ContentTypeFilter::all:
            return std::nullopt;
        case ContentTypeFilter::text:
            return ClipboardRecord::Category::text;
        case ContentTypeFilter::images:
            return ClipboardRecord::Category::image;
        case ContentTypeFilter::files:
            return ClipboardRecord::Category::file;
        case ContentTypeFilter::links:
            return ClipboardRecord::Category::link;
        case ContentTypeFilter::colors:
            return ClipboardRecord::Category::color;
    }
    return std::nullopt;
}

void ClipboardHistoryView::setContentTypeFilter(ContentTypeFilter filter) {
    m_filterBox->setCurrentIndex(m_filterBox->findData(int(filter)));
}

void ClipboardHistoryView::searchTextChanged(const QString& text) {
    m_query = text;
    ListView::searchTextChanged(text);
    reload();
}

QString ClipboardHistoryView::rowTitle(const ClipboardRecord& record, const QString& imagePath) {
    switch (record.category) {
        case ClipboardRecord::Category::image: {
            const QSize size = imagePath.isEmpty() ? QSize() : QImageReader(imagePath).size();
            const QString name = firstLine(record.text);
            const QString dimensions =
                size.isValid() ? QStringLiteral("Image (%1×%2)").arg(size.width()).arg(size.height()) : QStringLiteral("Image");
            return name.isEmpty() ? dimensions : name;
        }
        case ClipboardRecord::Category::file: {
            const QString path = record.filePath.value_or(record.text);
            const QString name = QFileInfo(path).fileName();
            return name.isEmpty() ? path : name;
        }
        default:
            return firstLine(record.text);
    }
}

void ClipboardHistoryView::reload() {
    m_readError = false;
    try {
        m_records = m_history.findItems(m_query.trimmed(), category(m_filter));
    } catch (const std::exception&) {
        m_records.clear();
        m_readError = true;
    }
    Section pinned{pinnedSectionTitle, {}};
    Section recent{recentSectionTitle, {}};
    for (const ClipboardRecord& record : m_records) {
        Item item;
        item.id = QString::number(record.id.value_or(0));
        // Image sizes are read for the detail pane only: the list stays quick.
        item.title = record.category == ClipboardRecord::Category::image && firstLine(record.text).isEmpty()
                         ? QStringLiteral("Image")
                         : rowTitle(record);
        item.icon = iconFor(record);
        if (record.copyCount > 1) item.accessories.push_back({QStringLiteral("×%1").arg(record.copyCount), {}});
        (record.isPinned ? pinned : recent).items.push_back(std::move(item));
    }
    setEmptyText(m_readError ? readErrorText : emptyHistoryText);
    replaceSections({std::move(pinned), std::move(recent)});
    updateDetail();
    emit actionsChanged();
}

std::optional<ClipboardRecord> ClipboardHistoryView::selectedRecord() const {
    const Item* item = selectedItem();
    if (!item) return std::nullopt;
    const qint64 id = item->id.toLongLong();
    for (const ClipboardRecord& record : m_records)
        if (record.id == id) return record;
    return std::nullopt;
}

std::vector<MenuItem> ClipboardHistoryView::actions() const {
    const std::optional<ClipboardRecord> record = selectedRecord();
    if (!record) return {};
    return m_actions.menu(*record, [this, record = *record] { return quickLook(record); });
}

void ClipboardHistoryView::updateDetail() {
    const std::optional<ClipboardRecord> record = selectedRecord();
    m_detail->clear();
    if (!record) return;
    QStringList information;
    using Category = ClipboardRecord::Category;
    switch (record->category) {
        case Category::text:
            if (record->richTextData && !record->richTextData->startsWith("{\\rtf"))
                m_detail->setHtml(QString::fromUtf8(*record->richTextData));
            else
                m_detail->setPlainText(record->text);
            information << QStringLiteral("Characters: %1").arg(record->text.size());
            break;
        case Category::link:
            m_detail->setPlainText(record->text);
            information << QStringLiteral("Link");
            break;
        case Category::color: {
            const auto color = ClipboardClassifier::parseColor(record->text);
            if (color) {
                QPixmap swatch(96, 96);
                swatch.fill(*color);
                m_detail->setPreview(swatch);
            }
            m_detail->setPlainText(record->text);
            if (color) information << QStringLiteral("Color: %1").arg(color->name(QColor::HexArgb));
            break;
        }
        case Category::image: {
            const QString path = record->imageHash ? m_history.imagePath(*record->imageHash) : QString();
            QImageReader reader(path);
            const QSize size = reader.size();
            const QPixmap pixmap(path);
            if (!pixmap.isNull()) {
                m_detail->setPreview(pixmap.scaled(QSize(360, 220).boundedTo(pixmap.size()), Qt::KeepAspectRatio,
                                                   Qt::SmoothTransformation));
            }
            m_detail->setPlainText(record->text);
            if (size.isValid()) information << QStringLiteral("Dimensions: %1×%2").arg(size.width()).arg(size.height());
            information << QStringLiteral("Size: %1").arg(QLocale().formattedDataSize(QFileInfo(path).size()));
            break;
        }
        case Category::file: {
            const QString path = record->filePath.value_or(record->text);
            const QFileInfo file(path);
            const QIcon icon = QFileIconProvider().icon(file);
            m_detail->setPreview(icon.pixmap(64, 64));
            m_detail->setPlainText(path);
            information << (file.exists() ? QStringLiteral("Path: %1").arg(path) : QStringLiteral("Missing: %1").arg(path));
            break;
        }
    }
    if (record->applicationPath) information << QStringLiteral("Application: %1").arg(*record->applicationPath);
    information << QStringLiteral("Times copied: %1").arg(record->copyCount);
    information << QStringLiteral("Last copied: %1").arg(when(record->lastModifiedAt));
    information << QStringLiteral("First copied: %1").arg(when(record->createdAt));
    m_detail->setInformation(information);
}

QString ClipboardHistoryView::detailText() const {
    return m_detail->text();
}

QString ClipboardHistoryView::detailInformation() const {
    return m_detail->information();
}

CommandOutcome ClipboardHistoryView::quickLook(const ClipboardRecord& record) const {
    const bool image = record.category == ClipboardRecord::Category::image && record.imageHash;
    const QString path = image ? m_history.imagePath(*record.imageHash) : record.filePath.value_or(record.text);
    // A window of our own: the image at its size (screen permitting), or the file's icon and path.
    const auto showOwnPreview = [image, path] {
        auto* window = new QLabel;
        window->setObjectName(QStringLiteral("clipboardQuickLook"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("Quick Look"));
        window->setAlignment(Qt::AlignCenter);
        window->setMinimumSize(320, 240);
        if (image) {
            const QPixmap pixmap(path);
            window->setPixmap(
                pixmap.scaled(pixmap.size().boundedTo(QSize(1200, 900)), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        } else {
            window->setPixmap(QFileIconProvider().icon(QFileInfo(path)).pixmap(128, 128));
            window->setToolTip(path);
        }
        window->show();
        window->raise();
        window->activateWindow();
    };
    // The desktop's previewer where one answers.
    if (const auto& files = platform().fileManager) {
        files->previewItem(path, [showOwnPreview](FileManager::Outcome outcome, const QString&) {
            if (outcome != FileManager::Outcome::shown) showOwnPreview();
        });
    } else {
        showOwnPreview();
    }
    return CommandOutcome::done();
}

}  // namespace vantrel
