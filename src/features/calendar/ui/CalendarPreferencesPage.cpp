#include "features/calendar/ui/CalendarPreferencesPage.h"

#include "features/calendar/CalendarFeature.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantrel {

CalendarPreferencesPage::CalendarPreferencesPage(PackageRegistry& registry, QWidget* parent)
    : QWidget(parent), m_registry(registry) {
    setObjectName(QStringLiteral("header_calendarSources"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("iCalendar files and links (https:// or webcal://) that \"My Schedule\" and \"My Reminders\" read."),
        this));
    m_sources = new QListWidget(this);
    m_sources->setObjectName(QStringLiteral("calendarSources"));
    layout->addWidget(m_sources);
    auto* row = new QHBoxLayout;
    m_newSource = new QLineEdit(this);
    m_newSource->setObjectName(QStringLiteral("newCalendarSource"));
    m_newSource->setPlaceholderText(QStringLiteral("Path to an .ics file, or a link"));
    auto* choose = new QPushButton(QStringLiteral("Choose File…"), this);
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    row->addWidget(m_newSource, 1);
    row->addWidget(choose);
    row->addWidget(add);
    row->addWidget(remove);
    layout->addLayout(row);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    m_desktop = new QCheckBox(QStringLiteral("Also read the desktop's calendars and task lists (Evolution Data Server)"), this);
    m_desktop->setObjectName(QStringLiteral("useDesktopCalendars"));
    layout->addWidget(m_desktop);
    layout->addStretch(1);

    connect(choose, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Choose a calendar"), QString(),
                                                          QStringLiteral("iCalendar (*.ics *.ical *.ifb);;All files (*)"));
        if (file.isEmpty()) return;
        m_newSource->setText(file);
        addFromField();
    });
    connect(add, &QPushButton::clicked, this, [this] { addFromField(); });
    connect(m_newSource, &QLineEdit::returnPressed, this, [this] { addFromField(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(m_desktop, &QCheckBox::toggled, this,
            [this](bool on) { CalendarFeature::setUseDesktopCalendars(m_registry, on); });
    refresh();
}

void CalendarPreferencesPage::refresh() {
    const CalendarSettings settings = CalendarFeature::settings(m_registry);
    m_sources->clear();
    m_sources->addItems(settings.sources);
    const QSignalBlocker blocker(m_desktop);
    m_desktop->setChecked(settings.useDesktopCalendars);
}

bool CalendarPreferencesPage::addFromField() {
    QString problem;
    const std::optional<QString> source = CalendarService::normalizeSource(m_newSource->text(), &problem);
    if (!source) {
        m_message->setText(problem);
        return false;
    }
    CalendarFeature::addSource(m_registry, *source);
    m_newSource->clear();
    m_message->clear();
    refresh();
    return true;
}

bool CalendarPreferencesPage::removeSelected() {
    const QListWidgetItem* item = m_sources->currentItem();
    if (!item) return false;
    const bool removed = CalendarFeature::removeSource(m_registry, item->text());
    refresh();
    return removed;
}

}  // namespace vantrel
