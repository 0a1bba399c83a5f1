#pragma once

#include "ui/toolkit/LauncherView.h"

#include <vector>

class QLabel;
class QTextBrowser;
class QWidget;

namespace vantrel {

// A page of Markdown (headings, lists, code, links, images) with an optional
// side panel of label/value rows and the page's actions.
class DetailView : public LauncherView {
    Q_OBJECT

public:
    struct MetadataRow {
        QString label;
        QString value;
    };

    explicit DetailView(QString title, QWidget* parent = nullptr);
    ~DetailView() override;

    void setMarkdown(const QString& markdown);
    QString markdown() const { return m_markdown; }
    // An empty list hides the side panel.
    void setMetadata(std::vector<MetadataRow> rows);
    void setActions(std::vector<MenuItem> actions);

    QString title() const override { return m_title; }
    std::vector<MenuItem> actions() const override { return m_actions; }
    bool handleKey(QKeyEvent* event) override;

    QTextBrowser* textBrowser() const { return m_browser; }
    bool isShowingMetadata() const;
    const std::vector<MetadataRow>& metadata() const { return m_metadata; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();
    void rebuildMetadata();

    QString m_title;
    QString m_markdown;
    std::vector<MetadataRow> m_metadata;
    std::vector<MenuItem> m_actions;
    QTextBrowser* m_browser = nullptr;
    QWidget* m_panel = nullptr;
    QWidget* m_separator = nullptr;
};

}  // namespace vantrel
