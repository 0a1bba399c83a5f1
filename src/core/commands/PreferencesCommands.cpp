#include "core/commands/PreferencesCommands.h"

#include "core/commands/PackageRegistry.h"

namespace vantrel {

namespace {

const PackageIdentifier kPackage(QStringLiteral("vantrelPreferences"));

// "Script Commands" → "scriptCommands".
QString idWord(const QString& title) {
    QString word;
    bool upper = false;
    for (const QChar character : title) {
        if (!character.isLetterOrNumber()) {
            upper = !word.isEmpty();
            continue;
        }
        word += upper ? character.toUpper() : (word.isEmpty() ? character.toLower() : character);
        upper = false;
    }
    return word;
}

std::shared_ptr<const VantrelCommand> pageCommand(const PackageRegistry& registry, const QString& page,
                                                  const QString& description, QStringList keywords) {
    auto command = std::make_shared<VantrelPackageCommand>();
    command->packageValue = registry.package(kPackage);
    command->commandId = CommandIdentifier(kPackage.rawValue + QLatin1Char('_') + idWord(page));
    command->commandPackageId = kPackage;
    command->name = page + QStringLiteral(" Preferences");
    command->commandDescription = description;
    command->viewControllerRepresented = false;
    keywords.prepend(QStringLiteral("settings"));
    keywords.prepend(QStringLiteral("preferences"));
    for (const QString& word : page.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (!keywords.contains(word)) keywords << word;
    command->keywords = keywords;
    const QString target = QString(preferencesPagePrefix) + page;
    command->runner = [target](const CommandRunContext&) { return CommandOutcome::showPreferences(target); };
    return command;
}

}  // namespace

void publishPreferencesCommands(PackageRegistry& registry, const QStringList& featurePageTitles) {
    CommandList commands{
        pageCommand(registry, QString(generalPreferencesPage),
                    QStringLiteral("The hotkey, the appearance, starting at login and when the window resets"),
                    {QStringLiteral("hotkey"), QStringLiteral("appearance"), QStringLiteral("login")}),
        pageCommand(registry, QString(extensionsPreferencesPage),
                    QStringLiteral("Every package and command: switch them on or off, give them aliases and hotkeys"),
                    {QStringLiteral("commands"), QStringLiteral("aliases"), QStringLiteral("hotkeys")}),
    };
    for (const QString& title : featurePageTitles)
        commands.push_back(
            pageCommand(registry, title, QStringLiteral("The %1 page of the preferences").arg(title), {}));
    registry.setPackageCommands(kPackage, std::move(commands));
}

}  // namespace vantrel
