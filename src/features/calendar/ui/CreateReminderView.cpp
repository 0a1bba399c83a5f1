#include "features/calendar/ui/CreateReminderView.h"

#include "features/calendar/CalendarFeature.h"
#include "kit/VantrelError.h"

namespace vantrel {

namespace {

std::vector<FormView::Field> fields(const QString& initialTitle) {
    FormView::Field title;
    title.id = QStringLiteral("title");
    title.title = QStringLiteral("Title");
    title.placeholder = QStringLiteral("Buy milk");
    title.defaultValue = initialTitle;
    title.required = true;
    FormView::Field due;
    due.id = QStringLiteral("due");
    due.title = QStringLiteral("Due");
    due.placeholder = QStringLiteral("tomorrow at 9");
    due.info = QStringLiteral("In words: \"today at 17\", \"friday\", \"in 2 weeks\", \"12.05\". Leave empty for none.");
    due.validate = [](const QVariant& value) -> QString {
        const QString text = value.toString().trimmed();
        if (text.isEmpty() || CalendarFeature::parseDue(text, nullptr)) return {};
        return QStringLiteral("This is not a date Vantrel can read");
    };
    return {title, due};
}

}  // namespace

CreateReminderView::CreateReminderView(CalendarService service, const QString& initialTitle, QWidget* parent)
    : FormView(viewTitle, fields(initialTitle), parent), m_service(std::move(service)) {
    setSubmitTitle(QStringLiteral("Create Reminder"));
    setSubmitHandler([this](const QVariantMap& values) {
        bool isDay = false;
        const QString dueText = values.value(QStringLiteral("due")).toString().trimmed();
        std::optional<QDateTime> due;
        if (!dueText.isEmpty()) due = CalendarFeature::parseDue(dueText, &isDay);
        try {
            const QString list = m_service.createReminder(values.value(QStringLiteral("title")).toString(), due, isDay);
            return CommandOutcome::done(QStringLiteral("Reminder added to ") + list);
        } catch (const std::exception& failure) {
            return CommandOutcome::failed(QStringLiteral("Could not create the reminder"), VantrelError::describe(failure));
        }
    });
}

}  // namespace vantrel
