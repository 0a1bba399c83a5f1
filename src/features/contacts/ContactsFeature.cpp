#include "features/contacts/ContactsFeature.h"

#include "core/api/FeatureContext.h"
#include "core/commands/PackageRegistry.h"
#include "features/contacts/ui/ContactsPreferencesPage.h"
#include "features/contacts/ui/ContactsView.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cstdio>

namespace vantrel {

namespace {

PackageIdentifier contactsPackage() {
    return PackageIdentifier(ContactsFeature::packageId);
}

void printOut(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
}

void printErr(const QString& text) {
    std::fputs((QStringLiteral("vantrel: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

QJsonArray entriesJson(const std::vector<Contact::Entry>& entries, const QString& key) {
    QJsonArray array;
    for (const Contact::Entry& entry : entries)
        array.append(QJsonObject{{key, entry.value}, {QStringLiteral("types"), QJsonArray::fromStringList(entry.types)}});
    return array;
}

constexpr const char* kUsage =
    "usage: vantrel contacts QUERY [--json]\n"
    "       vantrel contacts add-source PATH\n"
    "       vantrel contacts remove-source PATH\n"
    "       vantrel contacts sources\n";

int runContacts(PackageRegistry& registry, QStringList arguments) {
    const QString verb = arguments.value(0);
    if (verb == QLatin1String("add-source") || verb == QLatin1String("remove-source")) {
        if (arguments.size() != 2) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (verb == QLatin1String("remove-source")) {
            if (!ContactsFeature::removeSource(registry, arguments[1])) {
                printErr(QStringLiteral("'%1' is not one of the contact sources.").arg(arguments[1]));
                return 1;
            }
            printOut(QStringLiteral("Removed %1\n").arg(arguments[1]));
            return 0;
        }
        QString problem;
        const std::optional<QString> source = ContactsService::normalizeSource(arguments[1], &problem);
        if (!source) {
            printErr(problem);
            return 1;
        }
        printOut(ContactsFeature::addSource(registry, *source) ? QStringLiteral("Added %1\n").arg(*source)
                                                               : QStringLiteral("%1 is already a contact source\n").arg(*source));
        return 0;
    }
    if (verb == QLatin1String("sources")) {
        for (const QString& source : ContactsFeature::settings(registry).sources) printOut(source + QLatin1Char('\n'));
        return 0;
    }
    bool json = false;
    QStringList words;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--json"))
            json = true;
        else if (argument.startsWith(QLatin1String("--"))) {
            std::fputs(kUsage, stderr);
            return 2;
        } else
            words << argument;
    }
    const QString query = words.join(QLatin1Char(' ')).simplified();
    if (query.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const ContactSearch found = ContactsFeature::service(registry).search(query);
    for (const QString& note : found.notes) printErr(note);
    if (json) {
        QJsonArray contacts;
        for (const Contact& contact : found.contacts) {
            QJsonObject object{{QStringLiteral("name"), contact.name},
                               {QStringLiteral("emails"), entriesJson(contact.emails, QStringLiteral("address"))},
                               {QStringLiteral("phones"), entriesJson(contact.phones, QStringLiteral("number"))},
                               {QStringLiteral("source"), contact.sourceName}};
            if (!contact.organization.isEmpty()) object.insert(QStringLiteral("organization"), contact.organization);
            if (!contact.uid.isEmpty()) object.insert(QStringLiteral("uid"), contact.uid);
            contacts.append(object);
        }
        printOut(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("contacts"), contacts},
                                                             {QStringLiteral("notes"), QJsonArray::fromStringList(found.notes)}})
                                       .toJson(QJsonDocument::Indented)));
        return found.contacts.empty() ? 1 : 0;
    }
    if (found.contacts.empty()) printOut(QStringLiteral("No contact matches \"%1\".\n").arg(query));
    for (const Contact& contact : found.contacts) {
        QString line = contact.name;
        if (!contact.organization.isEmpty()) line += QStringLiteral(" (") + contact.organization + QLatin1Char(')');
        for (const Contact::Entry& email : contact.emails) line += QStringLiteral("  <") + email.value + QLatin1Char('>');
        for (const Contact::Entry& phone : contact.phones) line += QStringLiteral("  ") + phone.value;
        printOut(line + QLatin1Char('\n'));
    }
    return found.contacts.empty() ? 1 : 0;
}

}  // namespace

ContactsSettings ContactsFeature::settings(const PackageRegistry& registry) {
    ContactsSettings settings;
    settings.sources = registry.stringListValue(contactsPackage(), sourcesKey).value_or(QStringList());
    settings.useDesktopAddressBooks = registry.boolValue(contactsPackage(), desktopKey).value_or(true);
    return settings;
}

bool ContactsFeature::addSource(PackageRegistry& registry, const QString& source) {
    QStringList sources = settings(registry).sources;
    if (sources.contains(source)) return false;
    sources << source;
    return registry.setPackageConfiguration(contactsPackage(),
                                            [&](QVariantMap& payload, bool&) { payload.insert(sourcesKey, sources); });
}

bool ContactsFeature::removeSource(PackageRegistry& registry, const QString& source) {
    QStringList sources = settings(registry).sources;
    const QString normalized = ContactsService::normalizeSource(source, nullptr).value_or(source);
    const qsizetype removed = sources.removeAll(source) + (normalized != source ? sources.removeAll(normalized) : 0);
    if (removed == 0) return false;
    return registry.setPackageConfiguration(contactsPackage(),
                                            [&](QVariantMap& payload, bool&) { payload.insert(sourcesKey, sources); });
}

void ContactsFeature::setUseDesktopAddressBooks(PackageRegistry& registry, bool use) {
    registry.setPackageConfiguration(contactsPackage(), [&](QVariantMap& payload, bool&) { payload.insert(desktopKey, use); });
}

ContactsService ContactsFeature::service(const PackageRegistry& registry) {
    std::shared_ptr<PersonalDataStore> store = platform().personalData ? platform().personalData() : nullptr;
    return ContactsService(settings(registry), std::move(store));
}

std::vector<MenuItem> ContactsFeature::actions(const Contact& contact) {
    std::vector<MenuItem> items;
    auto open = [](QUrl url) {
        return [url] {
            openOnDesktop(url);
            return CommandOutcome::done();
        };
    };
    for (const Contact::Entry& email : contact.emails) {
        QUrl mail;
        mail.setScheme(QStringLiteral("mailto"));
        mail.setPath(email.value);
        items.push_back(MenuItem::make(QStringLiteral("composeMail-") + email.value,
                                       QStringLiteral("Compose Mail to ") + email.value, open(mail)));
    }
    for (const Contact::Entry& phone : contact.phones) {
        QString number;
        for (const QChar c : phone.value)
            if (c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('*') || c == QLatin1Char('#')) number += c;
        items.push_back(MenuItem::make(QStringLiteral("call-") + number, QStringLiteral("Call ") + phone.value,
                                       open(QUrl(QStringLiteral("tel:") + number))));
    }
    for (const Contact::Entry& email : contact.emails)
        items.push_back(MenuItem::make(QStringLiteral("copyEmail-") + email.value,
                                       QStringLiteral("Copy ") + email.value, [address = email.value] {
                                           return CommandOutcome::copied(address, QStringLiteral("Copied E-mail Address"));
                                       }));
    for (const Contact::Entry& phone : contact.phones)
        items.push_back(MenuItem::make(QStringLiteral("copyPhone-") + phone.value,
                                       QStringLiteral("Copy ") + phone.value, [number = phone.value] {
                                           return CommandOutcome::copied(number, QStringLiteral("Copied Phone Number"));
                                       }));
    items.push_back(MenuItem::make(QStringLiteral("copyName"), QStringLiteral("Copy Name"), [name = contact.name] {
        return CommandOutcome::copied(name, QStringLiteral("Copied Name"));
    }));
    return items;
}

void ContactsFeature::registerWith(FeatureContext& context) {
    PackageRegistry* registry = &context.registry();
    context.addCommandHandler(commandId, [](const VantrelCommand&, const CommandRunContext& run) {
        return CommandOutcome::showView(commandId, run.inputText());
    });
    context.addView(commandId, [registry](const CommandOutcome& outcome) -> QWidget* {
        return new ContactsView(service(*registry), outcome.initialQuery);
    });
    context.addPreferencePage({QStringLiteral("Contacts"), QStringLiteral("contacts"),
                               [registry] { return new ContactsPreferencesPage(*registry); }});
    context.addCliCommand(QStringLiteral("contacts"), [registry](const QStringList& arguments) -> std::optional<int> {
        return runContacts(*registry, arguments);
    });
}

}  // namespace vantrel
