#pragma once

#include "core/api/Feature.h"
#include "core/commands/CommandModel.h"
#include "features/contacts/ContactsService.h"

namespace vantrel {

class PackageRegistry;

// "Search Contacts" (and its fallback row): contacts from the desktop's
// address books (Evolution Data Server) and the vCard files and folders the
// user adds (the "contacts" package's "sources"; "useDesktopAddressBooks",
// default true). Actions: copy an e-mail address or a phone number, compose
// a mail (mailto:), call (tel:). `vantrel contacts QUERY [--json]`.
class ContactsFeature : public Feature {
public:
    inline static const QString packageId = QStringLiteral("contacts");
    inline static const QString commandId = QStringLiteral("contacts_search");
    inline static const QString sourcesKey = QStringLiteral("sources");
    inline static const QString desktopKey = QStringLiteral("useDesktopAddressBooks");

    QString name() const override { return QStringLiteral("contacts"); }
    void registerWith(FeatureContext& context) override;

    static ContactsSettings settings(const PackageRegistry& registry);
    static bool addSource(PackageRegistry& registry, const QString& source);
    static bool removeSource(PackageRegistry& registry, const QString& source);
    static void setUseDesktopAddressBooks(PackageRegistry& registry, bool use);
    static ContactsService service(const PackageRegistry& registry);
    // The actions of a contact, the primary one first (compose a mail when it
    // has an address, else call).
    static std::vector<MenuItem> actions(const Contact& contact);
};

}  // namespace vantrel
