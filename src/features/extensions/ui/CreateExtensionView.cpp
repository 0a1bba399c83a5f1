#include "features/extensions/ui/CreateExtensionView.h"

#include "features/extensions/CreateExtensionForm.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QUrl>

namespace vantrel {

namespace {

std::vector<FormView::Field> fields() {
    namespace form = CreateExtensionForm;
    std::vector<FormView::Field> list;
    FormView::Field name;
    name.id = QStringLiteral("name");
    name.title = QStringLiteral("Name");
    name.placeholder = QString(form::namePlaceholder);
    name.validate = [](const QVariant& value) { return form::nameError(value.toString()).value_or(QString()); };
    list.push_back(name);

    FormView::Field description;
    description.id = QStringLiteral("description");
    description.title = QStringLiteral("Description");
    description.placeholder = QString(form::descriptionPlaceholder);
    list.push_back(description);

    FormView::Field templates;
    templates.id = QStringLiteral("template");
    templates.title = QStringLiteral("Template");
    templates.type = FormView::Field::Type::dropdown;
    const QStringList identifiers = form::templates();
    for (const QString& identifier : identifiers) templates.options.push_back({identifier, identifier});
    templates.defaultValue = form::initialTemplate(identifiers);
    if (identifiers.isEmpty()) templates.info = QString(form::noTemplates);
    templates.validate = [](const QVariant& value) {
        return value.toString().isEmpty() ? QString(form::noTemplates) : QString();
    };
    list.push_back(templates);

    FormView::Field location;
    location.id = QStringLiteral("location");
    location.title = QString(form::chooseDirectory);
    location.type = FormView::Field::Type::filePicker;
    location.chooseDirectories = true;
    location.defaultValue = QString(form::defaultLocation);
    location.validate = [](const QVariant& value) { return form::locationError(value.toString()).value_or(QString()); };
    list.push_back(location);
    return list;
}

}  // namespace

CreateExtensionView::CreateExtensionView(ExtensionRegistry& registry, std::function<void(const QString&)> openFolder,
                                         QWidget* parent)
    : FormView(QString(CreateExtensionForm::title), fields(), parent),
      m_registry(registry),
      m_openFolder(std::move(openFolder)) {
    setObjectName(QStringLiteral("createExtensionView"));
    setSubmitTitle(QString(CreateExtensionForm::title));
    setSubmitHandler([this](const QVariantMap&) { return create(false); });
    setExtraActions({MenuItem::make(QStringLiteral("createAndOpenExtension"), QString(CreateExtensionForm::openTitle),
                                    [this] {
                                        if (!validate()) return CommandOutcome::done();
                                        return create(true);
                                    })});
}

CommandOutcome CreateExtensionView::create(bool open) {
    const QVariantMap values = this->values();
    const CreateExtensionForm::Result result = CreateExtensionForm::create(
        m_registry, values.value(QStringLiteral("template")).toString(), values.value(QStringLiteral("name")).toString(),
        values.value(QStringLiteral("description")).toString(), values.value(QStringLiteral("location")).toString());
    if (!result.created) return CommandOutcome::failed(result.title, result.message);
    m_created = result.folder;
    if (open) {
        if (m_openFolder) {
            m_openFolder(result.folder);
        } else if (const auto& desktop = platform().desktop) {
            try {
                desktop->open(QUrl::fromLocalFile(result.folder));
            } catch (const std::exception&) {
                // Created all the same; the toast says where.
            }
        }
    }
    return CommandOutcome::done(result.title);
}

}  // namespace vantrel
