#pragma once

#include "features/contacts/ContactsService.h"
#include "ui/toolkit/ListView.h"

namespace vantrel {

// "Search Contacts": every contact (loaded in the background), filtered by
// the search bar over names, organisations, addresses and numbers. Return
// composes a mail (or calls when there is no address).
class ContactsView : public ListView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("Search Contacts");

    ContactsView(ContactsService service, const QString& initialQuery, QWidget* parent = nullptr);

    void reload();
    bool isLoading() const { return m_loading; }
    const ContactSearch& contacts() const { return m_found; }

signals:
    void loaded();

private:
    void present(ContactSearch found);

    ContactsService m_service;
    bool m_loading = false;
    ContactSearch m_found;
};

}  // namespace vantrel
