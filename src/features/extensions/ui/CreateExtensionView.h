#pragma once

#include "ui/toolkit/FormView.h"

#include <functional>

namespace vantrel {

class ExtensionRegistry;

// The "Create Extension" form: name, description, template (a dropdown of
// the installed templates) and the folder to create it in. "Create Extension"
// makes it; "Create and Open Extension Folder" also opens the new folder.
class CreateExtensionView : public FormView {
    Q_OBJECT

public:
    // openFolder: shows a folder in the file manager (empty: the desktop's).
    CreateExtensionView(ExtensionRegistry& registry, std::function<void(const QString&)> openFolder = {},
                        QWidget* parent = nullptr);

    // The folder the last submit created; empty before.
    const QString& createdFolder() const { return m_created; }

private:
    CommandOutcome create(bool open);

    ExtensionRegistry& m_registry;
    std::function<void(const QString&)> m_openFolder;
    QString m_created;
};

}  // namespace vantrel
