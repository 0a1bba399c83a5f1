#include "features/windowmanagement/ui/WindowManagementPage.h"

#include "core/commands/PackageRegistry.h"
#include "features/windowmanagement/WindowAction.h"
#include "features/windowmanagement/WindowManagementService.h"
#include "platform/Platform.h"
#include "platform/WindowClient.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vantrel {

WindowManagementPage::WindowManagementPage(PackageRegistry& registry, QWidget* parent)
    : QWidget(parent), m_registry(registry) {
    setObjectName(QStringLiteral("windowManagementPage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 14);
    layout->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("Window Management"), this);
    title->setObjectName(QStringLiteral("pageTitle"));
    layout->addWidget(title);
    auto* description = new QLabel(
        QStringLiteral("Give the window you are in a layout with the commands of the Window Management package; "
                       "a hotkey on a command arranges it without opening Vantrel."),
        this);
    description->setObjectName(QStringLiteral("hint"));
    description->setWordWrap(true);
    layout->addWidget(description);

    auto* form = new QFormLayout;
    m_gap = new QComboBox(this);
    m_gap->setObjectName(QStringLiteral("windowGap"));
    for (const WindowManagementGap gap : allWindowManagementGaps())
        m_gap->addItem(windowManagementGapLabel(gap), rawValue(gap));
    const PackageIdentifier package{QString(WindowManagementService::packageId)};
    const QString stored =
        registry.stringValue(package, WindowManagementService::gapKey).value_or(rawValue(WindowManagementGap::none));
    m_gap->setCurrentIndex(std::max(0, m_gap->findData(stored)));
    connect(m_gap, &QComboBox::currentIndexChanged, this, [this, package](int index) {
        const QString value = m_gap->itemData(index).toString();
        m_registry.setPackageConfiguration(package, [&](QVariantMap& payload, bool&) {
            payload.insert(QString(WindowManagementService::gapKey), value);
        });
    });
    form->addRow(QStringLiteral("Gap between windows:"), m_gap);
    layout->addLayout(form);

    QString problem;
    const bool placeable = platform().windowClient && platform().windowClient(&problem);
    if (!placeable && problem.isEmpty()) problem = QStringLiteral("This desktop lets Vantrel place no windows.");
    m_note = new QLabel(placeable ? QString() : problem, this);
    m_note->setObjectName(QStringLiteral("hint"));
    m_note->setWordWrap(true);
    m_note->setVisible(!placeable);
    layout->addWidget(m_note);
    layout->addStretch(1);
}

QString WindowManagementPage::note() const {
    return m_note->text();
}

}  // namespace vantrel
