#pragma once

#include <QWidget>

class QLabel;

namespace vantrel {

// A short message across the top of a view: a bold title and a sentence or
// two, with a coloured bar at its side (the accent colour, or the failure
// colour for a warning). Hidden while it has nothing to say.
class NoticeBanner : public QWidget {
    Q_OBJECT

public:
    explicit NoticeBanner(QWidget* parent = nullptr);

    // Shows the message; an empty title hides the banner.
    void present(const QString& title, const QString& message, bool warning);
    void dismiss();
    QString title() const;
    QString message() const;
    bool isWarning() const { return m_warning; }
    // Re-reads the theme.
    void themeChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_title;
    QLabel* m_message;
    bool m_warning = false;
};

}  // namespace vantrel
