#include "features/clipboard/ui/ClipboardPreferencesPage.h"

#include "core/commands/PackageRegistry.h"
#include "features/clipboard/ClipboardHistory.h"
#include "kit/Logger.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("ClipboardHistory"), QStringLiteral("📋")});
    return logger;
}

PackageIdentifier package() {
    return PackageIdentifier(QString(ClipboardHistory::packageId));
}

}  // namespace

ClipboardPreferencesPage::ClipboardPreferencesPage(PackageRegistry& registry, const QString& unavailableReason,
                                                   QWidget* parent)
    : QWidget(parent), m_registry(registry) {
    auto* outer = new QVBoxLayout(this);
    m_unavailable = new QLabel(unavailableReason, this);
    m_unavailable->setWordWrap(true);
    m_unavailable->setVisible(!unavailableReason.isEmpty());
    outer->addWidget(m_unavailable);
    auto* form = new QFormLayout;
    outer->addLayout(form);
    m_length = new QComboBox(this);
    for (ClipboardHistoryLength length :
         {ClipboardHistoryLength::day, ClipboardHistoryLength::week, ClipboardHistoryLength::month})
        m_length->addItem(ClipboardHistory::label(length), ClipboardHistory::rawValue(length));
    form->addRow(QStringLiteral("Keep history for"), m_length);
    m_pasteMode = new QComboBox(this);
    m_pasteMode->addItem(QStringLiteral("Paste to Active App"), QStringLiteral("paste"));
    m_pasteMode->addItem(QStringLiteral("Copy to Clipboard"), QStringLiteral("copy"));
    form->addRow(QStringLiteral("Primary Action"), m_pasteMode);
    m_directPaste = new QCheckBox(QStringLiteral("Paste directly into the active application"), this);
    form->addRow(QString(), m_directPaste);
    m_primary = new QCheckBox(QStringLiteral("Also keep text selected with the mouse (primary selection)"), this);
    form->addRow(QString(), m_primary);
    m_ignored = new QLineEdit(this);
    m_ignored->setPlaceholderText(QStringLiteral("Window classes or programs, separated by commas"));
    form->addRow(QStringLiteral("Ignore these applications"), m_ignored);
    outer->addStretch(1);
    load();
    connect(m_length, &QComboBox::currentIndexChanged, this, [this] {
        if (m_loading) return;
        store();
        log().info("Clipboard History Length Changed", {{QStringLiteral("length"), m_length->currentData().toString()}});
    });
    connect(m_pasteMode, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading) store();
    });
    connect(m_directPaste, &QCheckBox::toggled, this, [this] {
        if (m_loading) return;
        store();
        log().info("Direct Paste Changed", {{QStringLiteral("enabled"), m_directPaste->isChecked() ? "true" : "false"}});
    });
    connect(m_primary, &QCheckBox::toggled, this, [this] {
        if (!m_loading) store();
    });
    connect(m_ignored, &QLineEdit::editingFinished, this, [this] {
        if (!m_loading) store();
    });
}

void ClipboardPreferencesPage::load() {
    m_loading = true;
    const auto text = [this](QLatin1String key) {
        return m_registry.stringValue(package(), QString(key)).value_or(QString());
    };
    m_length->setCurrentIndex(m_length->findData(
        ClipboardHistory::rawValue(ClipboardHistory::lengthFromRaw(text(ClipboardHistory::historyLengthKey)))));
    m_pasteMode->setCurrentIndex(text(ClipboardHistory::pasteModeKey) == QLatin1String("copy") ? 1 : 0);
    m_directPaste->setChecked(
        m_registry.boolValue(package(), QString(ClipboardHistory::directPasteKey)).value_or(true));
    m_primary->setChecked(
        m_registry.boolValue(package(), QString(ClipboardHistory::primarySelectionKey)).value_or(false));
    m_ignored->setText(m_registry.stringListValue(package(), QString(ClipboardHistory::ignoredApplicationsKey))
                           .value_or(QStringList())
                           .join(QStringLiteral(", ")));
    m_loading = false;
}

void ClipboardPreferencesPage::store() {
    QStringList ignored;
    for (const QString& name : m_ignored->text().split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty()) ignored << name.trimmed();
    const QString length = m_length->currentData().toString();
    const QString mode = m_pasteMode->currentData().toString();
    const bool direct = m_directPaste->isChecked();
    const bool primary = m_primary->isChecked();
    m_registry.setPackageConfiguration(package(), [&](QVariantMap& payload, bool&) {
        payload.insert(QString(ClipboardHistory::historyLengthKey), length);
        payload.insert(QString(ClipboardHistory::pasteModeKey), mode);
        payload.insert(QString(ClipboardHistory::directPasteKey), direct);
        payload.insert(QString(ClipboardHistory::primarySelectionKey), primary);
        payload.insert(QString(ClipboardHistory::ignoredApplicationsKey), ignored);
    });
}

}  // namespace vantrel
