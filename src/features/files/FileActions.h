#pragma once

#include "core/api/CommandOutcome.h"
#include "platform/DesktopServices.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace vantrel {

class LauncherPresenter;
struct FileModel;

// What can be done with a file found by file search. Whatever asks the
// desktop (opening, launching, the file manager, the trash) runs off the
// main thread; the presenter shows an animated toast meanwhile, then hides
// the window once it worked or turns the toast into a failure saying why.
// Without a presenter the work still runs, unseen.
namespace FileActions {

inline constexpr QLatin1String openId{"fileOpen"};
inline constexpr QLatin1String openWithId{"fileOpenWith"};
inline constexpr QLatin1String showInFileManagerId{"fileShowInFileManager"};
inline constexpr QLatin1String copyPathId{"fileCopyPath"};
inline constexpr QLatin1String moveToTrashId{"fileMoveToTrash"};

// The failure toasts' titles.
inline constexpr QLatin1String openFailedTitle{"Cannot open file"};
inline constexpr QLatin1String showFailedTitle{"Cannot show file"};
inline constexpr QLatin1String trashFailedTitle{"Failed moving to trash"};
inline constexpr QLatin1String trashedTitle{"Moved to Trash"};
inline constexpr QLatin1String copiedPathTitle{"Copied Path to Clipboard"};

// Opens the file with the desktop's default application for its type.
CommandOutcome open(const QString& path, LauncherPresenter* presenter);
// Opens the file with one application.
CommandOutcome openWith(const DesktopApplication& application, const QString& path, LauncherPresenter* presenter);
// Shows the file selected in the file manager (or opens its folder).
CommandOutcome showInFileManager(const QString& path, LauncherPresenter* presenter);
// The absolute path for the clipboard, with a success toast.
CommandOutcome copyPath(const QString& path);
// Asks first; once the user agrees the file (or folder) goes to the
// desktop's trash, and `trashed` runs on the main thread with its path.
// Without a presenter nothing is asked and nothing is moved.
CommandOutcome moveToTrash(const QString& path, LauncherPresenter* presenter,
                           std::function<void(const QString& path)> trashed = {});

// "Open With": a submenu with one item per application (its icon, the
// default one marked "Default"). `applications` is nothing while they are
// still being looked up: the submenu then says so in one disabled row; an
// empty list gives one disabled row saying there is no application.
MenuItem openWithMenu(const QString& path, const std::optional<std::vector<DesktopApplication>>& applications,
                      LauncherPresenter* presenter);

// Every action of a file, the primary one (Open) first: Open, Open With,
// Show in File Manager, Copy Path, Move to Trash.
std::vector<MenuItem> menuItems(const FileModel& file,
                                const std::optional<std::vector<DesktopApplication>>& applications,
                                LauncherPresenter* presenter, std::function<void(const QString& path)> trashed = {});

}  // namespace FileActions

}  // namespace vantrel
