#include "features/files/FileActions.h"

#include "core/api/LauncherPresenter.h"
#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"
#include "platform/FileManager.h"
#include "search/FileSearch.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace vantrel::FileActions {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileSearch"), QStringLiteral("📄")});
    return logger;
}

Toast toast(Toast::Style style, QString title, QString message = {}) {
    Toast shown;
    shown.style = style;
    shown.title = std::move(title);
    shown.message = std::move(message);
    return shown;
}

// The toast while the desktop is asked; the answer then hides the window or
// turns the toast into the failure.
class Progress {
public:
    Progress(LauncherPresenter* presenter, const QString& title, QString failureTitle)
        : m_presenter(presenter), m_failureTitle(std::move(failureTitle)) {
        if (m_presenter) m_toast = m_presenter->showToast(toast(Toast::Style::animated, title));
    }

    void finish(const std::optional<QString>& failure) const {
        if (!m_presenter) return;
        if (failure) {
            m_presenter->updateToast(m_toast, toast(Toast::Style::failure, m_failureTitle, *failure));
            return;
        }
        m_presenter->hideToast(m_toast);
        m_presenter->hideWindow();
    }

private:
    LauncherPresenter* m_presenter;
    QString m_failureTitle;
    LauncherPresenter::ToastId m_toast = 0;
};

// Runs work on the global thread pool; its failure (a thrown error) or
// success is told on the main thread.
CommandOutcome runOffMainThread(Progress progress, const QString& what, std::function<void()> work) {
    Queue::global().dispatch([progress, what, work = std::move(work)] {
        std::optional<QString> failure;
        try {
            work();
        } catch (const std::exception& error) {
            failure = VantrelError::describe(error);
            log().error(what + QStringLiteral(" failed"), {{QStringLiteral("error"), *failure}});
        }
        Queue::main().dispatch([progress, failure] { progress.finish(failure); });
    });
    return CommandOutcome::done();
}

QString nameOf(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

MenuItem withShortcut(MenuItem item, ModifierKeys modifiers, char32_t key) {
    item.shortcuts = {KeyCombination{modifiers, KeyEquivalent(key)}};
    return item;
}

}  // namespace

CommandOutcome open(const QString& path, LauncherPresenter* presenter) {
    const QUrl url = QUrl::fromLocalFile(path);
    return runOffMainThread(
        Progress(presenter, QStringLiteral("Opening ") + nameOf(path) + QStringLiteral("…"), QString(openFailedTitle)),
        QStringLiteral("Opening a file"), [url] { openOnDesktop(url); });
}

CommandOutcome openWith(const DesktopApplication& application, const QString& path, LauncherPresenter* presenter) {
    const QString entry = application.desktopFilePath;
    const QUrl url = QUrl::fromLocalFile(path);
    return runOffMainThread(Progress(presenter,
                                     QStringLiteral("Opening ") + nameOf(path) + QStringLiteral(" with ") +
                                         application.name + QStringLiteral("…"),
                                     QString(openFailedTitle)),
                            QStringLiteral("Opening a file with an application"),
                            [entry, url] { launchOnDesktop(entry, {url}); });
}

CommandOutcome showInFileManager(const QString& path, LauncherPresenter* presenter) {
    if (!QFileInfo::exists(path))
        return CommandOutcome::failed(QString(showFailedTitle), QStringLiteral("The file is gone: ") + path);
    const Progress progress(presenter, QStringLiteral("Showing ") + nameOf(path) + QStringLiteral("…"),
                            QString(showFailedTitle));
    vantrel::showInFileManager(path, [progress](const std::optional<QString>& failure) { progress.finish(failure); });
    return CommandOutcome::done();
}

CommandOutcome copyPath(const QString& path) {
    return CommandOutcome::copied(path, QString(copiedPathTitle));
}

CommandOutcome moveToTrash(const QString& path, LauncherPresenter* presenter,
                           std::function<void(const QString& path)> trashed) {
    if (!presenter)
        return CommandOutcome::unavailable(
            QStringLiteral("Moving a file to the trash asks first, which needs the launcher window."));
    Alert alert;
    alert.title = QStringLiteral("Are you sure you want to move ") + nameOf(path) + QStringLiteral(" to the trash?");
    alert.message = path;
    alert.confirmTitle = QStringLiteral("Move to Trash");
    alert.cancelTitle = QStringLiteral("Cancel");
    alert.destructive = true;
    presenter->confirm(alert, [presenter, path, trashed = std::move(trashed)](bool confirmed) {
        if (!confirmed) return;
        const LauncherPresenter::ToastId id =
            presenter->showToast(toast(Toast::Style::animated, QStringLiteral("Moving to trash…")));
        // Moving may cross volumes (a copy): never on the main thread.
        Queue::global().dispatch([presenter, path, trashed, id] {
            QFile file(path);
            const bool moved = file.moveToTrash();
            const QString error = moved ? QString() : file.errorString();
            Queue::main().dispatch([presenter, path, trashed, id, moved, error] {
                if (!moved) {
                    log().error("Cannot move a file to the trash",
                                {{QStringLiteral("path"), Logger::MetadataValue::privateValue(path)},
                                 {QStringLiteral("error"), error}});
                    presenter->updateToast(id, toast(Toast::Style::failure, QString(trashFailedTitle), error));
                    return;
                }
                presenter->updateToast(id, toast(Toast::Style::success, QString(trashedTitle), nameOf(path)));
                if (trashed) trashed(path);
            });
        });
    });
    return CommandOutcome::done();
}

MenuItem openWithMenu(const QString& path, const std::optional<std::vector<DesktopApplication>>& applications,
                      LauncherPresenter* presenter) {
    std::vector<MenuItem> choices;
    if (!applications) {
        MenuItem looking =
            MenuItem::make(QStringLiteral("fileOpenWithLooking"), QStringLiteral("Looking for applications…"), {});
        looking.isEnabled = false;
        choices.push_back(std::move(looking));
    } else if (applications->empty()) {
        MenuItem none = MenuItem::make(QStringLiteral("fileOpenWithNone"),
                                       QStringLiteral("No application opens this kind of file"), {});
        none.isEnabled = false;
        choices.push_back(std::move(none));
    } else {
        for (const DesktopApplication& application : *applications) {
            MenuItem item =
                MenuItem::make(QString(openWithId) + QLatin1Char('.') + application.id, application.name,
                               [application, path, presenter] { return openWith(application, path, presenter); });
            if (!application.iconName.isEmpty()) item.image = ImageResource::named(application.iconName);
            if (application.isDefault) item.accessoryLabel = QStringLiteral("Default");
            item.representedObject = application.desktopFilePath;
            choices.push_back(std::move(item));
        }
    }
    MenuItem menu;
    menu.id = QString(openWithId);
    menu.title = QStringLiteral("Open With");
    menu.action = std::move(choices);
    menu.shortcuts = {KeyCombination{ModifierKeys::control, KeyEquivalent(U'o')}};
    return menu;
}

std::vector<MenuItem> menuItems(const FileModel& file,
                                const std::optional<std::vector<DesktopApplication>>& applications,
                                LauncherPresenter* presenter, std::function<void(const QString& path)> trashed) {
    const QString path = file.path;
    std::vector<MenuItem> items;
    items.push_back(
        MenuItem::make(QString(openId), QStringLiteral("Open"), [path, presenter] { return open(path, presenter); }));
    items.push_back(openWithMenu(path, applications, presenter));
    items.push_back(withShortcut(MenuItem::make(QString(showInFileManagerId), QStringLiteral("Show in File Manager"),
                                                [path, presenter] { return showInFileManager(path, presenter); }),
                                 ModifierKeys::control, U'\r'));
    items.push_back(withShortcut(
        MenuItem::make(QString(copyPathId), QStringLiteral("Copy Path"), [path] { return copyPath(path); }),
        ModifierKeys::control | ModifierKeys::shift, U'c'));
    items.push_back(withShortcut(MenuItem::make(
                                     QString(moveToTrashId), QStringLiteral("Move to Trash"),
                                     [path, presenter, trashed] { return moveToTrash(path, presenter, trashed); },
                                     MenuItem::ActionType::destructive),
                                 ModifierKeys::control, FunctionKey::forwardDelete));
    return items;
}

}  // namespace vantrel::FileActions
