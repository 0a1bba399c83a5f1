// `vantrel extensions …`: installing, listing, removing and creating
// extensions from the command line, over the registry the launcher uses. A
// change is announced as a configuration change of the extension commands'
// package, which the command line forwards to a running launcher.
#include "features/extensions/ExtensionsCli.h"

#include "extensions/packages/ExtensionRegistry.h"
#include "features/extensions/CreateExtensionForm.h"
#include "features/extensions/ExtensionCommandsSource.h"
#include "features/extensions/ExtensionsStore.h"
#include "kit/CommandLine.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"
#include "kit/VantrelError.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace vantrel::extensions {

namespace {

using cli::printError;
using cli::printLine;

const QString kUsage = QStringLiteral(
    "extensions takes: install PATH (a .zip or a built development folder) | list [--json] | remove ID | "
    "create --template T --name N --description D --dir LOCATION | store [--json] | store install NAME");

using Changed = std::function<void()>;

void announce(const Changed& changed) {
    if (changed) changed();
    NotificationCenter::defaultCenter().post(QString(NotificationNames::packageConfigurationDidChange),
                                             QString(ExtensionCommandsSource::packageId));
}

void printInstalled(const ExtensionPackage& package) {
    printLine(QStringLiteral("Extension installed: %1 (%2) in %3")
                  .arg(package.manifest ? package.manifest->title : package.id.name, package.id.rawValue(), package.folder()));
    if (!package.manifest) return;
    for (const ExtensionManifest::Command& command : package.manifest->commands)
        printLine(QStringLiteral("  %1  %2").arg(ExtensionId::command(package.id, command.name).rawValue(), command.title));
}

int install(ExtensionRegistry& registry, const QStringList& arguments, const Changed& changed) {
    if (arguments.size() != 1) {
        printError(QStringLiteral("extensions install takes one PATH: a .zip archive or a built development folder"));
        return 2;
    }
    const QString path = QFileInfo(arguments.first()).absoluteFilePath();
    try {
        ExtensionPackage package;
        if (QFileInfo(path).isDir()) {
            package = registry.installDevelopmentFolder(path);
        } else {
            ExtensionInstallation installation;
            // A name that is no zip is refused by the install itself, before unpacking.
            if (QFileInfo(path).suffix().toLower() == QLatin1String("zip"))
                installation = registry.localInstallation(path, registry.manifestOfArchive(path).name);
            package = registry.installPackage(path, installation);
        }
        announce(changed);
        printInstalled(package);
        return 0;
    } catch (const std::exception& error) {
        printError(QStringLiteral("Failed to install extension: ") + VantrelError::describe(error));
        return 1;
    }
}

int list(ExtensionRegistry& registry, QStringList arguments) {
    const bool json = cli::takeFlag(arguments, QStringLiteral("--json"));
    if (!arguments.isEmpty()) {
        printError(QStringLiteral("extensions list takes only --json"));
        return 2;
    }
    const std::vector<ExtensionDetails> all = registry.fetchAllExtensions();
    if (json) {
        QJsonArray array;
        for (const ExtensionDetails& details : all) array.append(details.toJson());
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    if (all.empty()) {
        printLine(QStringLiteral("No extensions installed"));
        return 0;
    }
    for (const ExtensionDetails& details : all) {
        printLine(QStringLiteral("%1 (%2)%3").arg(details.extension.title, details.extension.packageId().rawValue(),
                                                 details.extension.isDevelopment() ? QStringLiteral(" [DEV]") : QString()));
        for (const ExtensionCommandDetails& command : details.commands)
            printLine(QStringLiteral("  %1  %2  (%3)")
                          .arg(command.command.commandId().rawValue(), command.command.displayTitle(), command.command.mode));
    }
    return 0;
}

// ID: a package id ("name__uuid"), a command id ("name.command__uuid"), a
// package command key ("extension_…") or an extension's bare name.
int remove(ExtensionRegistry& registry, const QStringList& arguments, const Changed& changed) {
    if (arguments.size() != 1) {
        printError(QStringLiteral("extensions remove takes one ID (see extensions list)"));
        return 2;
    }
    QString raw = arguments.first();
    if (raw.startsWith(ExtensionCommand::keyPrefix)) raw = raw.mid(ExtensionCommand::keyPrefix.size());
    try {
        if (!raw.contains(ExtensionId::separator)) {
            for (const ExtensionDetails& details : registry.fetchAllExtensions())
                if (details.extension.name == raw) {
                    registry.uninstallPackage(details.extension.packageId());
                    announce(changed);
                    printLine(QStringLiteral("Extension uninstalled: ") + details.extension.packageId().rawValue());
                    return 0;
                }
            printError(QStringLiteral("No extension named '%1' (see extensions list)").arg(raw));
            return 1;
        }
        const std::optional<ExtensionId> id = ExtensionId::parse(raw);
        if (!id) {
            printError(QStringLiteral("Invalid extension id: ") + raw);
            return 2;
        }
        if (registry.command(*id)) {
            registry.uninstallCommand(*id);
            announce(changed);
            printLine(QStringLiteral("Command uninstalled: ") + id->rawValue());
            return 0;
        }
        registry.uninstallPackage(*id);
        announce(changed);
        printLine(QStringLiteral("Extension uninstalled: ") + id->rawValue());
        return 0;
    } catch (const std::exception& error) {
        printError(QStringLiteral("Failed to uninstall extension: ") + VantrelError::describe(error));
        return 1;
    }
}

int create(ExtensionRegistry& registry, QStringList arguments, const Changed& changed) {
    const std::optional<QString> templateId = cli::takeOption(arguments, QStringLiteral("--template"));
    const std::optional<QString> name = cli::takeOption(arguments, QStringLiteral("--name"));
    const QString description = cli::takeOption(arguments, QStringLiteral("--description")).value_or(QString());
    const QString location =
        cli::takeOption(arguments, QStringLiteral("--dir")).value_or(QString(CreateExtensionForm::defaultLocation));
    if (!arguments.isEmpty()) {
        printError(QStringLiteral("extensions create takes --template T --name N --description D --dir LOCATION; "
                                  "unexpected: ") +
                   arguments.join(QLatin1Char(' ')));
        return 2;
    }
    const QStringList templates = CreateExtensionForm::templates();
    const QString chosen = templateId.value_or(CreateExtensionForm::initialTemplate(templates));
    const CreateExtensionForm::Result result =
        CreateExtensionForm::create(registry, chosen, name.value_or(QString()), description, location);
    if (!result.created) {
        printError(result.title + QStringLiteral(": ") + result.message);
        if (!templates.contains(chosen))
            printError(templates.isEmpty() ? QString(CreateExtensionForm::noTemplates)
                                           : QStringLiteral("Templates: ") + templates.join(QStringLiteral(", ")));
        return 1;
    }
    announce(changed);
    printLine(result.title);
    printLine(result.folder);
    return 0;
}

int storeList(ExtensionsStore& store, const StoreIndex& index, bool json) {
    if (json) {
        QJsonArray array;
        for (const StoreListing& listing : index.listings) {
            QJsonObject object = listing.toJson();
            object.insert(QStringLiteral("installed"), store.installedPackage(listing).has_value());
            array.append(object);
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    if (index.listings.empty()) printLine(QStringLiteral("The index lists no extensions"));
    for (const StoreListing& listing : index.listings) {
        const bool installed = store.installedPackage(listing).has_value();
        printLine(QStringLiteral("%1 (%2)%3%4")
                      .arg(listing.title, listing.name,
                           listing.author.isEmpty() ? QString() : QStringLiteral(" by ") + listing.author,
                           installed ? QStringLiteral(" [installed]") : QString()));
        printLine(QStringLiteral("  ") + listing.description);
    }
    return 0;
}

}  // namespace

int storeCommand(ExtensionsStore* store, const QUrl& indexUrl, QStringList arguments, const QString& problem,
                 const std::function<void()>& changed) {
    const bool json = cli::takeFlag(arguments, QStringLiteral("--json"));
    const QString verb = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (!(verb.isEmpty() && arguments.isEmpty()) && !(verb == QLatin1String("install") && arguments.size() == 1 && !json)) {
        printError(QStringLiteral("extensions store takes [--json] | install NAME"));
        return 2;
    }
    if (!store) {
        printError(problem);
        return 1;
    }
    const Result<StoreIndex> index = store->fetchIndexAndWait(indexUrl);
    if (index.isFailure()) {
        printError(index.error().errorDescription());
        return 1;
    }
    for (const QString& left : index.value().problems) printError(QStringLiteral("Left out of the index: ") + left);
    if (verb.isEmpty()) return storeList(*store, index.value(), json);
    const QString wanted = arguments.first();
    for (const StoreListing& listing : index.value().listings) {
        if (listing.name != wanted && listing.id != wanted) continue;
        const Result<ExtensionPackage> installed = store->installAndWait(listing);
        if (installed.isFailure()) {
            printError(installed.error().errorDescription());
            return 1;
        }
        announce(changed);
        printInstalled(installed.value());
        return 0;
    }
    printError(QStringLiteral("The index lists no extension named '%1'").arg(wanted));
    return 1;
}

int extensionsCommand(ExtensionRegistry& registry, QStringList arguments, const std::function<void()>& changed) {
    const QString verb = arguments.isEmpty() ? QString() : arguments.takeFirst();
    if (verb == QLatin1String("install")) return install(registry, arguments, changed);
    if (verb == QLatin1String("list")) return list(registry, arguments);
    if (verb == QLatin1String("remove")) return remove(registry, arguments, changed);
    if (verb == QLatin1String("create")) return create(registry, arguments, changed);
    printError(kUsage);
    return 2;
}

}  // namespace vantrel::extensions
