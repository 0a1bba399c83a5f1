#include "features/contacts/ui/ContactsPreferencesPage.h"

#include "features/contacts/ContactsFeature.h"

namespace vantrel {

namespace {

SourceListEditor::Texts contactsTexts() {
    SourceListEditor::Texts texts;
    texts.pageName = QStringLiteral("header_contactSources");
    texts.intro = QStringLiteral("vCard files (.vcf) and folders of them that \"Search Contacts\" reads.");
    texts.listName = QStringLiteral("contactSources");
    texts.fieldName = QStringLiteral("newContactSource");
    texts.placeholder = QStringLiteral("Path to a .vcf file or a folder");
    texts.fileDialogTitle = QStringLiteral("Choose contacts");
    texts.fileFilter = QStringLiteral("vCard (*.vcf *.vcard);;All files (*)");
    texts.folderDialogTitle = QStringLiteral("Choose a folder of vCards");
    texts.desktopLabel = QStringLiteral("Also read the desktop's address books (Evolution Data Server)");
    texts.desktopName = QStringLiteral("useDesktopAddressBooks");
    return texts;
}

SourceListEditor::Store contactsStore(PackageRegistry& registry) {
    SourceListEditor::Store store;
    store.load = [&registry] {
        const ContactsSettings settings = ContactsFeature::settings(registry);
        return SourceListEditor::State{settings.sources, settings.useDesktopAddressBooks};
    };
    store.normalize = &ContactsService::normalizeSource;
    store.add = [&registry](const QString& source) { ContactsFeature::addSource(registry, source); };
    store.remove = [&registry](const QString& source) { return ContactsFeature::removeSource(registry, source); };
    store.setUseDesktop = [&registry](bool on) { ContactsFeature::setUseDesktopAddressBooks(registry, on); };
    return store;
}

}  // namespace

ContactsPreferencesPage::ContactsPreferencesPage(PackageRegistry& registry, QWidget* parent)
    : SourceListEditor(contactsTexts(), contactsStore(registry), parent) {}

}  // namespace vantrel
