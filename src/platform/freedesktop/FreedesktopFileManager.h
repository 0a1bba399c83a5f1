#pragma once

#include "platform/FileManager.h"

namespace vantrel {

// The file manager that answers to org.freedesktop.FileManager1 on the
// session bus.
class FreedesktopFileManager : public FileManager {
public:
    Outcome showItems(const QStringList& paths, QString* error = nullptr) override;
};

}  // namespace vantrel
