#include "features/quicklinks/QuicklinkForm.h"

#include "features/quicklinks/QuicklinkLink.h"
#include "features/quicklinks/QuicklinksService.h"
#include "kit/VantrelError.h"

namespace vantrel {

QString QuicklinkForm::title(Mode mode) {
    switch (mode) {
        case Mode::create:
            return QStringLiteral("Create Quicklink");
        case Mode::update:
            return QStringLiteral("Update Quicklink");
        case Mode::duplicate:
            return QStringLiteral("Duplicate Quicklink");
    }
    return {};
}

std::optional<QString> QuicklinkForm::validationMessage(const QString& name, const QString& link) {
    if (name.trimmed().isEmpty()) return QStringLiteral("Name can not be empty. Please provide a name.");
    if (link.trimmed().isEmpty()) return QStringLiteral("Link can not be empty. Please provide a link.");
    if (!isValidQuicklinkLink(link)) return QStringLiteral("Please provide a valid link");
    return std::nullopt;
}

std::optional<QString> QuicklinkForm::nameError(const QString& name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("Please enter a name");
    return std::nullopt;
}

std::optional<QString> QuicklinkForm::linkError(const QString& link) {
    if (link.trimmed().isEmpty()) return QStringLiteral("Link can not be empty. Please provide a link.");
    if (!isValidQuicklinkLink(link)) return QStringLiteral("Please enter a valid link");
    return std::nullopt;
}

QuicklinkForm::Outcome QuicklinkForm::save(QuicklinksService& service, Mode mode, const QuicklinkRecord& base,
                                           const QString& name, const QString& link, const QString& applicationID) {
    const auto failureTitle = [mode] {
        switch (mode) {
            case Mode::create:
                return QStringLiteral("Unable to create Quicklink");
            case Mode::update:
                return QStringLiteral("Unable to update Quicklink");
            case Mode::duplicate:
                return QStringLiteral("Unable to duplicate Quicklink");
        }
        return QString();
    };
    Outcome outcome;
    if (const std::optional<QString> problem = validationMessage(name, link)) {
        outcome.title = failureTitle();
        outcome.message = *problem;
        return outcome;
    }
    QuicklinkRecord record = base;
    record.name = name.trimmed();
    record.urlString = link.trimmed();
    record.applicationID = applicationID;
    try {
        if (mode == Mode::update) {
            outcome.quicklink = service.update(record);
            outcome.title = QStringLiteral("Updated Quicklink");
        } else {
            record.isEnabled = true;
            outcome.quicklink = service.create(record);
            outcome.title =
                mode == Mode::create ? QStringLiteral("Created Quicklink") : QStringLiteral("Duplicated Quicklink");
        }
        outcome.saved = true;
    } catch (const std::exception& error) {
        outcome.title = failureTitle();
        outcome.message = VantrelError::describe(error);
    }
    return outcome;
}

}  // namespace vantrel
