#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vantrel {

class BookmarksFeature;

// "Browser Bookmarks" in the preferences window (section
// "header_browserSources"): a switch per browser, the profile to read for
// Chrome, Chromium, Brave and Firefox, and the Bookmarks.plist to read as
// Safari's. Every change is stored in the package's configuration at once.
class BookmarksPreferencesPage : public QWidget {
    Q_OBJECT

public:
    explicit BookmarksPreferencesPage(BookmarksFeature& feature, QWidget* parent = nullptr);

    QCheckBox* sourceSwitch(const QString& rawSource) const;
    QComboBox* profileChoice(const QString& rawSource) const;
    QLineEdit* safariFile() const { return m_safariFile; }

private:
    BookmarksFeature& m_feature;
    QLineEdit* m_safariFile = nullptr;
};

}  // namespace vantrel
