#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vantrel {

class PackageRegistry;

// The "Clipboard History" page of the preferences: "Keep history for", the
// primary action, direct paste, the primary selection, "Ignore these
// applications", and why the history cannot work here when it cannot.
class ClipboardPreferencesPage : public QWidget {
    Q_OBJECT

public:
    ClipboardPreferencesPage(PackageRegistry& registry, const QString& unavailableReason, QWidget* parent = nullptr);

    QComboBox* historyLengthBox() const { return m_length; }
    QLineEdit* ignoredApplicationsField() const { return m_ignored; }
    QLabel* unavailableLabel() const { return m_unavailable; }

private:
    void load();
    void store();

    PackageRegistry& m_registry;
    QComboBox* m_length = nullptr;
    QComboBox* m_pasteMode = nullptr;
    QCheckBox* m_directPaste = nullptr;
    QCheckBox* m_primary = nullptr;
    QLineEdit* m_ignored = nullptr;
    QLabel* m_unavailable = nullptr;
    bool m_loading = false;
};

}  // namespace vantrel
