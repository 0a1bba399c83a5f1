#include "ui/toolkit/DetailView.h"

#include "ui/toolkit/Theme.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <vector>

namespace vantrel {

namespace {

constexpr int panelWidth = 240;

// Heading sizes in pixels for levels 1 to 6.
int headingPixelSize(int level) {
    static const int sizes[] = {24, 20, 17, 15, 14, 13};
    return sizes[std::clamp(level, 1, 6) - 1];
}

}  // namespace

DetailView::DetailView(QString title, QWidget* parent) : LauncherView(parent), m_title(std::move(title)) {
    setObjectName(QStringLiteral("detailView"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("detailText"));
    m_browser->setFrameShape(QFrame::NoFrame);
    m_browser->setFocusPolicy(Qt::NoFocus);
    m_browser->setOpenLinks(false);
    m_browser->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_browser->viewport()->setAutoFillBackground(false);
    m_browser->document()->setDocumentMargin(20);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { QDesktopServices::openUrl(url); });
    layout->addWidget(m_browser, 1);

    m_separator = new QWidget(this);
    m_separator->setFixedWidth(1);
    m_separator->setAutoFillBackground(true);
    layout->addWidget(m_separator);

    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("detailMetadata"));
    m_panel->setFixedWidth(panelWidth);
    layout->addWidget(m_panel);
    new QVBoxLayout(m_panel);

    rebuildMetadata();
    render();
}

DetailView::~DetailView() = default;

void DetailView::setMarkdown(const QString& markdown) {
    m_markdown = markdown;
    render();
}

void DetailView::setMetadata(std::vector<MetadataRow> rows) {
    m_metadata = std::move(rows);
    rebuildMetadata();
}

void DetailView::setActions(std::vector<MenuItem> actions) {
    m_actions = std::move(actions);
    emit actionsChanged();
}

bool DetailView::isShowingMetadata() const {
    return m_panel->isVisibleTo(this);
}

bool DetailView::handleKey(QKeyEvent* event) {
    return scrollByKey(m_browser, event);
}

void DetailView::changeEvent(QEvent* event) {
    LauncherView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        render();
        rebuildMetadata();
    }
}

void DetailView::render() {
    const Theme& theme = Theme::current();
    m_browser->setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; border: none; }") +
                             theme.scrollBarStyleSheet());
    QPalette palette = m_browser->palette();
    palette.setColor(QPalette::Text, theme.primaryText);
    palette.setColor(QPalette::Link, theme.accent);
    palette.setColor(QPalette::Base, Qt::transparent);
    m_browser->setPalette(palette);

    QTextDocument* document = m_browser->document();
    document->setDefaultFont(theme.baseFont);
    document->setMarkdown(m_markdown, QTextDocument::MarkdownDialectGitHub);

    // Give the imported blocks the launcher's look: larger bold headings, code
    // on a tinted background in the monospace font, muted quotes.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat blockFormat = block.blockFormat();
        QTextCursor blockCursor(block);
        blockCursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        const int heading = blockFormat.headingLevel();
        const bool codeBlock = blockFormat.hasProperty(QTextFormat::BlockCodeFence) ||
                               blockFormat.hasProperty(QTextFormat::BlockCodeLanguage) ||
                               block.charFormat().fontFixedPitch();
        if (heading > 0) {
            // Each fragment keeps its own emphasis and links; the size comes
            // from the heading level instead of the importer's relative size.
            std::vector<QTextFragment> pieces;
            for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
                if (fragment.fragment().isValid()) pieces.push_back(fragment.fragment());
            }
            for (const QTextFragment& piece : pieces) {
                QTextCursor pieceCursor(document);
                pieceCursor.setPosition(piece.position());
                pieceCursor.setPosition(piece.position() + piece.length(), QTextCursor::KeepAnchor);
                QTextCharFormat format = piece.charFormat();
                format.clearProperty(QTextFormat::FontSizeAdjustment);
                format.clearProperty(QTextFormat::FontPointSize);
                format.setProperty(QTextFormat::FontPixelSize, headingPixelSize(heading));
                format.setFontWeight(heading <= 2 ? QFont::Bold : QFont::DemiBold);
                if (!format.isAnchor()) format.setForeground(theme.primaryText);
                pieceCursor.setCharFormat(format);
            }
            blockFormat.setTopMargin(heading == 1 ? 4 : 14);
            blockFormat.setBottomMargin(6);
            cursor.setPosition(block.position());
            cursor.setBlockFormat(blockFormat);
        } else if (codeBlock) {
            QTextCharFormat format;
            format.setFont(theme.monospaceFont, QTextCharFormat::FontPropertiesSpecifiedOnly);
            format.setForeground(theme.primaryText);
            blockCursor.mergeCharFormat(format);
            blockFormat.setBackground(theme.fieldBackground);
            blockFormat.setLeftMargin(4);
            blockFormat.setRightMargin(4);
            // Space above the first and below the last line of a fenced block.
            const bool first =
                !block.previous().isValid() || !block.previous().blockFormat().hasProperty(QTextFormat::BlockCodeFence);
            const bool last =
                !block.next().isValid() || !block.next().blockFormat().hasProperty(QTextFormat::BlockCodeFence);
            if (first) blockFormat.setTopMargin(8);
            if (last) blockFormat.setBottomMargin(10);
            cursor.setPosition(block.position());
            cursor.setBlockFormat(blockFormat);
        } else if (blockFormat.hasProperty(QTextFormat::BlockQuoteLevel)) {
            QTextCharFormat format;
            format.setForeground(theme.secondaryText);
            blockCursor.mergeCharFormat(format);
        }
        // Inline code inside ordinary paragraphs.
        if (!codeBlock) {
            for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
                const QTextFragment piece = fragment.fragment();
                if (!piece.isValid() || !piece.charFormat().fontFixedPitch()) continue;
                QTextCursor pieceCursor(document);
                pieceCursor.setPosition(piece.position());
                pieceCursor.setPosition(piece.position() + piece.length(), QTextCursor::KeepAnchor);
                QTextCharFormat format;
                format.setFont(theme.monospaceFont, QTextCharFormat::FontPropertiesSpecifiedOnly);
                format.setBackground(theme.fieldBackground);
                pieceCursor.mergeCharFormat(format);
            }
        }
    }
    cursor.endEditBlock();
}

void DetailView::rebuildMetadata() {
    const Theme& theme = Theme::current();
    QPalette separatorPalette = m_separator->palette();
    separatorPalette.setColor(QPalette::Window, theme.separator);
    m_separator->setPalette(separatorPalette);

    auto* layout = static_cast<QVBoxLayout*>(m_panel->layout());
    while (QLayoutItem* child = layout->takeAt(0)) {
        delete child->widget();
        delete child;
    }
    layout->setContentsMargins(18, 20, 18, 20);
    layout->setSpacing(14);
    for (const MetadataRow& row : m_metadata) {
        auto* label = new QLabel(row.label, m_panel);
        label->setObjectName(QStringLiteral("metadataLabel"));
        label->setFont(theme.smallFont);
        auto* value = new QLabel(row.value, m_panel);
        value->setObjectName(QStringLiteral("metadataValue"));
        value->setFont(theme.baseFont);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setTextFormat(Qt::PlainText);
        value->setTextFormat(Qt::PlainText);
        QPalette labelPalette = label->palette();
        labelPalette.setColor(QPalette::WindowText, theme.secondaryText);
        label->setPalette(labelPalette);
        labelPalette.setColor(QPalette::WindowText, theme.primaryText);
        value->setPalette(labelPalette);
        auto* pair = new QWidget(m_panel);
        auto* pairLayout = new QVBoxLayout(pair);
        pairLayout->setContentsMargins(0, 0, 0, 0);
        pairLayout->setSpacing(3);
        pairLayout->addWidget(label);
        pairLayout->addWidget(value);
        layout->addWidget(pair);
    }
    layout->addStretch(1);
    const bool visible = !m_metadata.empty();
    m_panel->setVisible(visible);
    m_separator->setVisible(visible);
}

}  // namespace vantrel
