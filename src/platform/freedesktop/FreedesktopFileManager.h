#pragma once

#include "platform/FileManager.h"

namespace vantrel {

// The file manager that answers to org.freedesktop.FileManager1 on the
// session bus, asked without waiting: its answer (or the bus's error after
// replyTimeoutMs) comes through the event loop.
class FreedesktopFileManager : public FileManager {
public:
    static constexpr int replyTimeoutMs = 3000;

    void showItems(const QStringList& paths, Completion completion) override;
    // org.gnome.NautilusPreviewer's ShowFile, when something answers to it.
    void previewItem(const QString& path, Completion completion) override;
};

}  // namespace vantrel
