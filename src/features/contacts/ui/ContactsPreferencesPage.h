#pragma once

#include "ui/toolkit/SourceListEditor.h"

namespace vantrel {

class PackageRegistry;

// "Contacts" in the preferences window: the vCard files and folders "Search
// Contacts" reads, and whether the desktop's address books are read too.
class ContactsPreferencesPage : public SourceListEditor {
    Q_OBJECT

public:
    explicit ContactsPreferencesPage(PackageRegistry& registry, QWidget* parent = nullptr);
};

}  // namespace vantrel
