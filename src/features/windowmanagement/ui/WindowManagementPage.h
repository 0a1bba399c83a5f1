#pragma once

#include <QWidget>

class QComboBox;
class QLabel;

namespace vantrel {

class PackageRegistry;

// The "Window Management" page of the preferences window: the gap kept
// around arranged windows (stored under "gap" in the package's
// configuration, so a running launcher follows at once), and, where windows
// cannot be placed (a Wayland session), a note that says why.
class WindowManagementPage : public QWidget {
public:
    explicit WindowManagementPage(PackageRegistry& registry, QWidget* parent = nullptr);

    QComboBox* gapChooser() const { return m_gap; }
    // Empty where windows can be placed.
    QString note() const;

private:
    PackageRegistry& m_registry;
    QComboBox* m_gap = nullptr;
    QLabel* m_note = nullptr;
};

}  // namespace vantrel
