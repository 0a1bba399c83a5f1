#include "platform/FileManager.h"

#include "kit/Logger.h"
#include "kit/Queue.h"
#include "kit/VantrelError.h"
#include "platform/DesktopServices.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QUrl>

#include <memory>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileManager"), QStringLiteral("🗂️")});
    return logger;
}

// Opens the folder with the default handler off the calling thread (GIO may
// wait on the session bus or a slow mount), then answers on the main thread.
void openFolder(const QString& folder, std::function<void(std::optional<QString>)> done) {
    Queue::global().dispatch([folder, done = std::move(done)]() mutable {
        std::optional<QString> failure;
        try {
            openOnDesktop(QUrl::fromLocalFile(folder));
        } catch (const std::exception& error) {
            failure = VantrelError::describe(error);
        }
        Queue::main().dispatch([done = std::move(done), failure = std::move(failure)] {
            if (done) done(failure);
        });
    });
}

}  // namespace

void showInFileManager(const QString& path, std::function<void(std::optional<QString> failure)> done) {
    const QFileInfo info(path);
    const QString file = info.absoluteFilePath();
    const QString folder = info.absolutePath();
    const std::shared_ptr<FileManager> fileManager = platform().fileManager;
    if (!fileManager) {
        openFolder(folder, std::move(done));
        return;
    }
    fileManager->showItems(
        {file}, [folder, done = std::move(done)](FileManager::Outcome outcome, const QString& error) mutable {
            switch (outcome) {
                case FileManager::Outcome::shown:
                    if (done) done(std::nullopt);
                    return;
                case FileManager::Outcome::notAnswered:
                    log().info("No file manager answered, opening the folder", {{QStringLiteral("error"), error}});
                    break;
                case FileManager::Outcome::unreachable:
                    break;
            }
            openFolder(folder, std::move(done));
        });
}

}  // namespace vantrel
