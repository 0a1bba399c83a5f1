#include "features/bookmarks/ui/BookmarksPreferencesPage.h"

#include "features/bookmarks/BookmarksFeature.h"
#include "kit/VantrelError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace vantrel {

BookmarksPreferencesPage::BookmarksPreferencesPage(BookmarksFeature& feature, QWidget* parent)
    : QWidget(parent), m_feature(feature) {
    setObjectName(QStringLiteral("header_browserSources"));
    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Choose which browsers' bookmarks \"Search Browser Bookmarks\" shows."), this));
    const BrowserBookmarksSettings settings = feature.settings();
    for (const BrowserBookmark::Source source : allBrowserBookmarkSources()) {
        auto* enabled = new QCheckBox(displayName(source), this);
        enabled->setObjectName(QStringLiteral("source_") + rawValue(source));
        enabled->setChecked(settings.isEnabled(source));
        connect(enabled, &QCheckBox::toggled, this, [this, source](bool on) {
            m_feature.editSettings([&](BrowserBookmarksSettings& edited) {
                if (on)
                    edited.disabled.remove(source);
                else
                    edited.disabled.insert(source);
            });
        });
        QWidget* choice = nullptr;
        if (source == BrowserBookmark::Source::safari) {
            m_safariFile = new QLineEdit(settings.safariBookmarksFile, this);
            m_safariFile->setObjectName(QStringLiteral("safariBookmarksFile"));
            m_safariFile->setPlaceholderText(QStringLiteral("Path to Bookmarks.plist"));
            connect(m_safariFile, &QLineEdit::editingFinished, this, [this] {
                const QString file = m_safariFile->text().trimmed();
                m_feature.editSettings([&](BrowserBookmarksSettings& edited) { edited.safariBookmarksFile = file; });
            });
            choice = m_safariFile;
        } else {
            auto* profiles = new QComboBox(this);
            profiles->setObjectName(QStringLiteral("profile_") + rawValue(source));
            std::vector<BrowserProfile> found;
            try {
                found = feature.service()->locations().profiles(source);
            } catch (const std::exception& error) {
                profiles->addItem(VantrelError::describe(error), QString());
            }
            for (const BrowserProfile& profile : found) profiles->addItem(profile.name, profile.id);
            if (found.empty() && profiles->count() == 0) profiles->addItem(QStringLiteral("No profile found"), QString());
            std::optional<BrowserProfile> chosen;
            try {
                chosen = feature.service()->locations().selectedProfile(source, settings);
            } catch (const std::exception&) {
            }
            if (chosen) profiles->setCurrentIndex(std::max(0, profiles->findData(chosen->id)));
            profiles->setEnabled(!found.empty());
            connect(profiles, &QComboBox::currentIndexChanged, this, [this, source, profiles] {
                const QString id = profiles->currentData().toString();
                if (id.isEmpty()) return;
                m_feature.editSettings([&](BrowserBookmarksSettings& edited) { edited.selectedProfile.insert(source, id); });
            });
            choice = profiles;
        }
        form->addRow(enabled, choice);
    }
}

QCheckBox* BookmarksPreferencesPage::sourceSwitch(const QString& rawSource) const {
    return findChild<QCheckBox*>(QStringLiteral("source_") + rawSource);
}

QComboBox* BookmarksPreferencesPage::profileChoice(const QString& rawSource) const {
    return findChild<QComboBox*>(QStringLiteral("profile_") + rawSource);
}

}  // namespace vantrel
