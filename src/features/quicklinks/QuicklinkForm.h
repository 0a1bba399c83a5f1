#pragma once

#include "data/Records.h"

#include <QString>

#include <optional>

namespace vantrel {

class QuicklinksService;

// What the create, update and duplicate forms check and store, apart from
// their widgets.
class QuicklinkForm {
public:
    enum class Mode { create, update, duplicate };

    static constexpr QLatin1String linkDescription{
        "Include input argument by inserting {Query} in the link. The word \u201cQuery\u201d can be changed to "
        "anything and will be used as placeholder text."};
    static constexpr QLatin1String linkPlaceholder{"https://www.google.com/search?q={Query}"};

    static QString title(Mode mode);

    // The first problem of the values, in the long form a toast shows ("Name can
    // not be empty. Please provide a name."); nothing when they can be saved.
    static std::optional<QString> validationMessage(const QString& name, const QString& link);
    // The short forms shown under the fields ("Please enter a name").
    static std::optional<QString> nameError(const QString& name);
    static std::optional<QString> linkError(const QString& link);

    struct Outcome {
        bool saved = false;
        // "Created Quicklink", "Unable to update Quicklink"…
        QString title;
        // The error's text on failure, or the validation message.
        QString message;
        std::optional<QuicklinkRecord> quicklink;
    };

    // Stores the values: a new quicklink (create, duplicate) or `base`
    // changed (update; its id and enabled state are kept).
    static Outcome save(QuicklinksService& service, Mode mode, const QuicklinkRecord& base, const QString& name,
                        const QString& link, const QString& applicationID);
};

}  // namespace vantrel
