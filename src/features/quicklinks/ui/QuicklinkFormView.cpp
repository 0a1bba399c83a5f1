#include "features/quicklinks/ui/QuicklinkFormView.h"

#include "platform/DesktopServices.h"
#include "platform/Platform.h"

namespace vantrel {

QuicklinkFormView::QuicklinkFormView(QuicklinksService& service, QuicklinkForm::Mode mode, QuicklinkRecord base,
                                     std::vector<std::pair<QString, QString>> applications, QWidget* parent)
    : FormView(QuicklinkForm::title(mode),
               [&] {
                   std::vector<Field> fields;
                   Field name;
                   name.id = QStringLiteral("name");
                   name.title = QStringLiteral("Name");
                   name.defaultValue = base.name;
                   name.placeholder = QStringLiteral("Quicklink name");
                   name.validate = [](const QVariant& value) {
                       return QuicklinkForm::nameError(value.toString()).value_or(QString());
                   };
                   fields.push_back(name);
                   Field link;
                   link.id = QStringLiteral("link");
                   link.title = QStringLiteral("Link");
                   link.defaultValue = base.urlString;
                   link.placeholder = QString(QuicklinkForm::linkPlaceholder);
                   link.info = QString(QuicklinkForm::linkDescription);
                   // Empty is allowed here: a chosen path stands in for it.
                   link.validate = [](const QVariant& value) {
                       if (value.toString().trimmed().isEmpty()) return QString();
                       return QuicklinkForm::linkError(value.toString()).value_or(QString());
                   };
                   fields.push_back(link);
                   Field path;
                   path.id = QStringLiteral("path");
                   path.title = QStringLiteral("Choose File or Directory");
                   path.type = Field::Type::filePicker;
                   fields.push_back(path);
                   Field application;
                   application.id = QStringLiteral("application");
                   application.title = QStringLiteral("Open With");
                   application.type = Field::Type::dropdown;
                   application.options.push_back({QString(), QStringLiteral("Default Application")});
                   bool known = base.applicationID.isEmpty();
                   for (const auto& entry : applications) {
                       application.options.push_back(entry);
                       known = known || entry.first == base.applicationID;
                   }
                   if (!known) application.options.push_back({base.applicationID, base.applicationID});
                   application.defaultValue = base.applicationID;
                   fields.push_back(application);
                   return fields;
               }(),
               parent),
      m_service(service),
      m_mode(mode),
      m_base(std::move(base)) {
    setObjectName(QStringLiteral("quicklinkFormView"));
    setSubmitTitle(QuicklinkForm::title(mode));
    setSubmitHandler([this](const QVariantMap& values) {
        QString link = values.value(QStringLiteral("link")).toString().trimmed();
        if (link.isEmpty()) link = values.value(QStringLiteral("path")).toString().trimmed();
        const QuicklinkForm::Outcome outcome =
            QuicklinkForm::save(m_service, m_mode, m_base, values.value(QStringLiteral("name")).toString(), link,
                                values.value(QStringLiteral("application")).toString());
        if (!outcome.saved) return CommandOutcome::failed(outcome.title, outcome.message);
        m_saved = true;
        if (outcome.quicklink) m_base = *outcome.quicklink;
        return CommandOutcome::done(outcome.title);
    });
}

std::vector<std::pair<QString, QString>> QuicklinkFormView::browserApplications() {
    std::vector<std::pair<QString, QString>> list;
    if (const auto& desktop = platform().desktop)
        for (const DesktopApplication& application : desktop->applicationsForMimeType(QStringLiteral("x-scheme-handler/https")))
            list.emplace_back(application.id, application.name);
    return list;
}

}  // namespace vantrel
