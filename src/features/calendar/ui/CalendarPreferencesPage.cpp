#include "features/calendar/ui/CalendarPreferencesPage.h"

#include "features/calendar/CalendarFeature.h"

namespace vantrel {

namespace {

SourceListEditor::Texts calendarTexts() {
    SourceListEditor::Texts texts;
    texts.pageName = QStringLiteral("header_calendarSources");
    texts.intro = QStringLiteral("iCalendar files and links (https:// or webcal://) that \"My Schedule\" and \"My Reminders\" read.");
    texts.listName = QStringLiteral("calendarSources");
    texts.fieldName = QStringLiteral("newCalendarSource");
    texts.placeholder = QStringLiteral("Path to an .ics file, or a link");
    texts.fileDialogTitle = QStringLiteral("Choose a calendar");
    texts.fileFilter = QStringLiteral("iCalendar (*.ics *.ical *.ifb);;All files (*)");
    texts.desktopLabel = QStringLiteral("Also read the desktop's calendars and task lists (Evolution Data Server)");
    texts.desktopName = QStringLiteral("useDesktopCalendars");
    return texts;
}

SourceListEditor::Store calendarStore(PackageRegistry& registry) {
    SourceListEditor::Store store;
    store.load = [&registry] {
        const CalendarSettings settings = CalendarFeature::settings(registry);
        return SourceListEditor::State{settings.sources, settings.useDesktopCalendars};
    };
    store.normalize = &CalendarService::normalizeSource;
    store.add = [&registry](const QString& source) { CalendarFeature::addSource(registry, source); };
    store.remove = [&registry](const QString& source) { return CalendarFeature::removeSource(registry, source); };
    store.setUseDesktop = [&registry](bool on) { CalendarFeature::setUseDesktopCalendars(registry, on); };
    return store;
}

}  // namespace

CalendarPreferencesPage::CalendarPreferencesPage(PackageRegistry& registry, QWidget* parent)
    : SourceListEditor(calendarTexts(), calendarStore(registry), parent) {}

}  // namespace vantrel
