#pragma once

#include "features/contacts/VCard.h"
#include "platform/PersonalData.h"

#include <memory>
#include <optional>

namespace vantrel {

struct ContactsSettings {
    // vCard files and folders of them.
    QStringList sources;
    bool useDesktopAddressBooks = true;
};

struct ContactSearch {
    std::vector<Contact> contacts;  // by name
    QStringList notes;
};

// Finds contacts in the vCard files and folders the user added and in the
// desktop's address books. Blocking: the launcher calls it off the main thread.
class ContactsService {
public:
    // Files read from one folder (its subfolders included), at most.
    static constexpr int maxFilesPerFolder = 5000;

    ContactsService(ContactsSettings settings, std::shared_ptr<PersonalDataStore> store);

    ContactSearch search(const QString& query) const;
    QString desktopProblem() const;

    // An absolute path of an existing file or folder, or nothing and *problem.
    static std::optional<QString> normalizeSource(const QString& path, QString* problem);

private:
    ContactsSettings m_settings;
    std::shared_ptr<PersonalDataStore> m_store;
};

}  // namespace vantrel
