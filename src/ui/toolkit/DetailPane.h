#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QTextBrowser;

namespace vantrel {

// The right-hand pane of a list with details (ListView::setDetailPane): an
// optional picture on top (an image, a colour swatch, a file's icon), the
// item's text, scrolled when long, and lines of information under it.
class DetailPane : public QWidget {
    Q_OBJECT

public:
    explicit DetailPane(QWidget* parent = nullptr);

    void clear();
    // Shows the picture (hidden again by clear()).
    void setPreview(const QPixmap& pixmap);
    void setPlainText(const QString& text);
    void setHtml(const QString& html);
    void setInformation(const QStringList& lines);

    bool showsPreview() const;
    QString text() const;
    QString information() const;

private:
    QLabel* m_preview = nullptr;
    QTextBrowser* m_text = nullptr;
    QLabel* m_information = nullptr;
};

}  // namespace vantrel
