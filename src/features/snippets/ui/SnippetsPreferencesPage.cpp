#include "features/snippets/ui/SnippetsPreferencesPage.h"

#include "core/commands/PackageRegistry.h"
#include "features/snippets/SnippetsService.h"
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
    static const Logger logger({QStringLiteral("Snippets"), QStringLiteral("✂️")});
    return logger;
}

PackageIdentifier package() {
    return PackageIdentifier(QString(SnippetsService::packageId));
}

}  // namespace

SnippetsPreferencesPage::SnippetsPreferencesPage(PackageRegistry& registry, std::function<QString()> problem,
                                                 QWidget* parent)
    : QWidget(parent), m_registry(registry), m_problem(std::move(problem)) {
    setObjectName(QStringLiteral("snippetsPreferences"));
    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    outer->addLayout(form);
    m_keywords = new QCheckBox(QStringLiteral("Expand keywords while typing in other applications"), this);
    form->addRow(QStringLiteral("Keyword Expansion"), m_keywords);
    m_problemLabel = new QLabel(this);
    m_problemLabel->setObjectName(QStringLiteral("snippetsExpansionProblem"));
    m_problemLabel->setWordWrap(true);
    form->addRow(QString(), m_problemLabel);
    m_trigger = new QLineEdit(this);
    m_trigger->setMaxLength(1);
    m_trigger->setPlaceholderText(QStringLiteral("None"));
    m_trigger->setToolTip(QStringLiteral("A character typed right before a keyword, such as ; or :"));
    form->addRow(QStringLiteral("Trigger Character"), m_trigger);
    m_injection = new QComboBox(this);
    for (SnippetInjectionSetting setting :
         {SnippetInjectionSetting::automatic, SnippetInjectionSetting::keys, SnippetInjectionSetting::clipboard})
        m_injection->addItem(SnippetsService::injectionLabel(setting), SnippetsService::rawValue(setting));
    form->addRow(QStringLiteral("Insert Text By"), m_injection);
    m_pasteMode = new QComboBox(this);
    m_pasteMode->addItem(QStringLiteral("Paste to Active App"), QStringLiteral("paste"));
    m_pasteMode->addItem(QStringLiteral("Copy to Clipboard"), QStringLiteral("copy"));
    form->addRow(QStringLiteral("Primary Action"), m_pasteMode);
    m_directPaste = new QCheckBox(QStringLiteral("Paste directly into the active application"), this);
    form->addRow(QString(), m_directPaste);
    outer->addStretch(1);
    load();
    connect(m_keywords, &QCheckBox::toggled, this, [this] {
        if (!m_loading) store();
    });
    connect(m_trigger, &QLineEdit::textChanged, this, [this] {
        if (!m_loading) store();
    });
    connect(m_injection, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading) store();
    });
    connect(m_pasteMode, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading) store();
    });
    connect(m_directPaste, &QCheckBox::toggled, this, [this] {
        if (m_loading) return;
        store();
        log().info("Direct Paste Changed", {{QStringLiteral("enabled"), m_directPaste->isChecked() ? "true" : "false"}});
    });
}

QString SnippetsPreferencesPage::problemText() const {
    return m_problemLabel->isHidden() ? QString() : m_problemLabel->text();
}

void SnippetsPreferencesPage::load() {
    m_loading = true;
    const auto text = [this](QLatin1String key) {
        return m_registry.stringValue(package(), QString(key)).value_or(QString());
    };
    m_keywords->setChecked(m_registry.boolValue(package(), QString(SnippetsService::keywordsEnabledKey)).value_or(true));
    m_trigger->setText(text(SnippetsService::triggerCharacterKey).left(1));
    m_injection->setCurrentIndex(m_injection->findData(
        SnippetsService::rawValue(SnippetsService::injectionSettingFromRaw(text(SnippetsService::injectionModeKey)))));
    m_pasteMode->setCurrentIndex(text(SnippetsService::pasteModeKey) == QLatin1String("copy") ? 1 : 0);
    m_directPaste->setChecked(m_registry.boolValue(package(), QString(SnippetsService::directPasteKey)).value_or(true));
    const QString problem = m_problem ? m_problem() : QString();
    m_problemLabel->setText(problem);
    m_problemLabel->setHidden(problem.isEmpty());
    m_loading = false;
}

void SnippetsPreferencesPage::store() {
    const bool keywords = m_keywords->isChecked();
    const QString trigger = m_trigger->text().trimmed().left(1);
    const QString injection = m_injection->currentData().toString();
    const QString mode = m_pasteMode->currentData().toString();
    const bool direct = m_directPaste->isChecked();
    m_registry.setPackageConfiguration(package(), [&](QVariantMap& payload, bool&) {
        payload.insert(QString(SnippetsService::keywordsEnabledKey), keywords);
        payload.insert(QString(SnippetsService::triggerCharacterKey), trigger);
        payload.insert(QString(SnippetsService::injectionModeKey), injection);
        payload.insert(QString(SnippetsService::pasteModeKey), mode);
        payload.insert(QString(SnippetsService::directPasteKey), direct);
    });
    // Starting or stopping the monitor may have changed what stands in its way.
    const QString problem = m_problem ? m_problem() : QString();
    m_problemLabel->setText(problem);
    m_problemLabel->setHidden(problem.isEmpty());
}

}  // namespace vantrel
