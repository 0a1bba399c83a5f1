#pragma once

#include "core/api/CommandOutcome.h"

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <optional>

namespace vantrel {

class ExtensionRegistry;

// What the "Create Extension" form checks and does, apart from its widgets.
namespace CreateExtensionForm {

inline constexpr QLatin1String commandId{"createExtension"};
inline constexpr QLatin1String title{"Create Extension"};
inline constexpr QLatin1String openTitle{"Create and Open Extension Folder"};
inline constexpr QLatin1String defaultTemplate{"vantrel-extension-template"};
inline constexpr QLatin1String defaultLocation{"~/code/extensions"};
inline constexpr QLatin1String namePlaceholder{"Extension package name"};
inline constexpr QLatin1String descriptionPlaceholder{"What does the extension do?"};
inline constexpr QLatin1String noTemplates{"No extension templates were found"};
inline constexpr QLatin1String chooseDirectory{"Choose Directory"};

// The template identifiers, and the one chosen first (the default entry when
// it is there, else the first; empty without templates).
QStringList templates();
QString initialTemplate(const QStringList& templates);

// "~" and "~/…" become the home folder.
QString expandedLocation(const QString& location);

// The message under a field, or nothing when the value is accepted.
std::optional<QString> nameError(const QString& name);
std::optional<QString> locationError(const QString& location);

struct Result {
    bool created = false;
    QString title;
    QString message;
    QString folder;  // the created development folder
};

// Checks the values, then installs the template: "Succesfully created
// extension '<name>'" or "Unable to create extension from template" with the
// reason.
Result create(ExtensionRegistry& registry, const QString& templateId, const QString& name, const QString& description,
              const QString& location);

}  // namespace CreateExtensionForm

}  // namespace vantrel
