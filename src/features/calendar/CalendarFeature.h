#pragma once

#include "core/api/Feature.h"
#include "features/calendar/CalendarService.h"

#include <QSet>

#include <memory>

namespace vantrel {

class FeatureContext;
class PackageRegistry;
class RootSearchController;

// "My Schedule", "My Reminders" and "Create Reminder": events and tasks from
// the desktop's calendars (Evolution Data Server) and from the iCalendar
// files and links the user adds; the home view's "Calendar Events";
// notifications for reminders that fall due; `vantrel calendar …` and
// `vantrel reminders …`.
//
// Settings: the "calendar" package's "sources" (files and links) and
// "useDesktopCalendars" (default true); reminders read the same sources.
class CalendarFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("calendar");
    inline static const QString remindersPackageId = QStringLiteral("reminders");
    inline static const QString scheduleCommandId = QStringLiteral("calendar_schedule");
    inline static const QString remindersCommandId = QStringLiteral("reminders_myReminders");
    inline static const QString createReminderCommandId = QStringLiteral("reminders_createReminder");
    inline static const QString sourcesKey = QStringLiteral("sources");
    inline static const QString desktopKey = QStringLiteral("useDesktopCalendars");
    // How far ahead "My Schedule" looks by default.
    static constexpr int defaultDays = 7;
    static constexpr int maxDays = 366;

    CalendarFeature();
    ~CalendarFeature() override;

    QString name() const override { return QStringLiteral("calendar"); }
    void registerWith(FeatureContext& context) override;
    void start() override;

    static CalendarSettings settings(const PackageRegistry& registry);
    // Adds or removes a source; returns false when nothing changed.
    static bool addSource(PackageRegistry& registry, const QString& source);
    static bool removeSource(PackageRegistry& registry, const QString& source);
    static void setUseDesktopCalendars(PackageRegistry& registry, bool use);
    static CalendarService service(const PackageRegistry& registry);

    // Reads a due date the way the date fields do ("tomorrow at 9", "friday",
    // "in 2 weeks"); nothing when the text names no date. *isDay: no time of
    // day was given.
    static std::optional<QDateTime> parseDue(const QString& text, bool* isDay);

    // The reminders that fall due in (after, until] and were not told yet.
    static std::vector<TaskItem> dueBetween(const std::vector<TaskItem>& tasks, const QDateTime& after,
                                            const QDateTime& until);

private:
    struct Running;
    void refreshHome();
    void checkDueReminders();

    FeatureContext* m_context = nullptr;
    std::shared_ptr<Running> m_running;
};

}  // namespace vantrel
