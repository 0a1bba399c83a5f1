#pragma once

#include "ui/toolkit/SourceListEditor.h"

namespace vantrel {

class PackageRegistry;

// "Calendar" in the preferences window: the iCalendar files and links that
// "My Schedule" and "My Reminders" read (added, removed), and whether the
// desktop's own calendars are read too. Stored at once.
class CalendarPreferencesPage : public SourceListEditor {
    Q_OBJECT

public:
    explicit CalendarPreferencesPage(PackageRegistry& registry, QWidget* parent = nullptr);
};

}  // namespace vantrel
