#include "features/contacts/ui/ContactsView.h"

#include "features/contacts/ContactsFeature.h"
#include "kit/Queue.h"

#include <QPointer>

namespace vantrel {

ContactsView::ContactsView(ContactsService service, const QString& initialQuery, QWidget* parent)
    : ListView(viewTitle, parent), m_service(std::move(service)) {
    setSearchPlaceholder(QStringLiteral("Search contacts…"));
    setEmptyText(QStringLiteral("Loading contacts…"));
    if (!initialQuery.isEmpty()) searchTextChanged(initialQuery);
    reload();
}

void ContactsView::reload() {
    if (m_loading) return;
    m_loading = true;
    const ContactsService service = m_service;
    QPointer<ContactsView> self(this);
    Queue::global().dispatch([service, self] {
        ContactSearch found = service.search(QString());
        Queue::main().dispatch([self, found = std::move(found)]() mutable {
            if (self) self->present(std::move(found));
        });
    });
}

void ContactsView::present(ContactSearch found) {
    m_loading = false;
    m_found = std::move(found);
    Section contacts{QStringLiteral("Contacts"), {}};
    int index = 0;
    for (const Contact& contact : m_found.contacts) {
        Item item;
        item.id = QStringLiteral("contact-%1").arg(index++);
        item.title = contact.name;
        QStringList subtitle;
        if (!contact.emails.empty()) subtitle << contact.emails.front().value;
        if (!contact.phones.empty()) subtitle << contact.phones.front().value;
        item.subtitle = subtitle.join(QStringLiteral(" · "));
        item.icon = ImageResource::named(QStringLiteral("contacts"));
        if (!contact.organization.isEmpty()) item.accessories.push_back({contact.organization, std::nullopt});
        for (const Contact::Entry& email : contact.emails) item.keywords << email.value;
        for (const Contact::Entry& phone : contact.phones) item.keywords << phone.value;
        item.keywords << contact.organization << contact.jobTitle;
        item.actions = ContactsFeature::actions(contact);
        contacts.items.push_back(std::move(item));
    }
    std::vector<Section> sections{std::move(contacts)};
    if (std::optional<Section> notes = couldNotReadSection(m_found.notes, index)) sections.push_back(std::move(*notes));
    std::erase_if(sections, [](const Section& section) { return section.items.empty(); });
    setEmptyText(QStringLiteral("No contacts (add vCard files in Preferences › Contacts)"));
    setSections(std::move(sections));
    emit loaded();
}

}  // namespace vantrel
