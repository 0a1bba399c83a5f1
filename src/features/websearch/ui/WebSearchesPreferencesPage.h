#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;

namespace vantrel {

class WebSearchFeature;

// "Web Searches" in the preferences window: the searches offered under every
// query (Google and DuckDuckGo, then the user's own), adding one from a name
// and an address with "{Query}", and removing the user's.
class WebSearchesPreferencesPage : public QWidget {
    Q_OBJECT

public:
    explicit WebSearchesPreferencesPage(WebSearchFeature& feature, QWidget* parent = nullptr);

    QListWidget* searches() const { return m_list; }
    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* linkEdit() const { return m_link; }
    QString message() const;

    // Adds what the fields hold; false (and why, in the message line) when it cannot.
    bool add();
    // Removes the selected search of the user's; the built-in ones stay.
    bool removeSelected();
    void reload();

private:
    WebSearchFeature& m_feature;
    QListWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_link = nullptr;
    QLabel* m_message = nullptr;
};

}  // namespace vantrel
