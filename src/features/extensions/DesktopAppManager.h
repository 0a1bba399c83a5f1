#pragma once

#include "extensions/client/AppManager.h"

#include <memory>

namespace vantrel {

class SystemClipboard;

// The extension API's desktop side on this desktop: links, files and
// applications through the platform's DesktopServices, the file manager
// through its FileManager, the clipboard through the GUI's clipboard (or the
// platform's when there is no GUI, as under `vantrel run`).
class DesktopAppManager : public extensions::AppManager {
public:
    void openURL(const QUrl& url) override;
    void openFile(const QString& path) override;
    // An application by its desktop-file id, else by the Name of its desktop
    // entry (case-insensitive). Arguments that start with "/" or "~/" are
    // files, the others URLs. None found: "No application named 'NAME'".
    void openApplication(const QString& name, const QStringList& arguments) override;
    void showInFileManager(const QStringList& paths, std::function<void(std::optional<QString> failure)> done) override;
    void setClipboardText(const QString& text) override;
    void clearClipboard() override;

    // The desktop entry of an installed application by id or name; empty when none.
    static QString findApplication(const QString& name);

private:
    // Without a GUI: the platform's clipboard, kept so that what it owns stays offered.
    SystemClipboard* platformClipboard();
    std::shared_ptr<SystemClipboard> m_clipboard;
};

}  // namespace vantrel
