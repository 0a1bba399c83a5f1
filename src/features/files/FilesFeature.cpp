#include "features/files/FilesFeature.h"

#include "core/api/FeatureContext.h"
#include "features/files/FileActions.h"
#include "features/files/FileSearchModel.h"
#include "features/files/OpenWithApplications.h"
#include "features/files/ui/FileSearchView.h"
#include "kit/Logger.h"
#include "search/FileIndex.h"
#include "search/FileSearch.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeDatabase>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("FileSearch"), QStringLiteral("📄")});
    return logger;
}

const QString kCommandId = QStringLiteral("fileSearch");

}  // namespace

FilesFeature::FilesFeature() : m_applications(std::make_shared<OpenWithApplications>()) {}

FilesFeature::~FilesFeature() = default;

void FilesFeature::registerWith(FeatureContext& context) {
    FileIndex::Options options;
    options.scopes = FileIndex::scopesFromSettings(context.defaults());
    m_index = std::make_shared<FileIndex>(options);
    m_search = std::make_shared<FileSearch>(m_index);

    // The command opens its view empty (the fallback then fills in its text).
    context.addCommandHandler(kCommandId, [](const VantrelCommand&, const CommandRunContext&) {
        return CommandOutcome::showView(kCommandId);
    });
    std::shared_ptr<FileSearch> search = m_search;
    std::shared_ptr<OpenWithApplications> applications = m_applications;
    context.addView(kCommandId, [search, applications](const CommandOutcome& outcome) -> QWidget* {
        return new FileSearchView(new FileSearchModel(search, applications), outcome.initialQuery);
    });
}

void FilesFeature::start() {
    if (!m_index || m_started) return;
    m_started = true;
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    FileIndex* index = m_index.get();
    m_index->start([index, timer] {
        log().info(
            QStringLiteral("File index ready with %1 entries in %2 ms").arg(index->entryCount()).arg(timer->elapsed()));
    });
}

MenuItem FilesFeature::openWithMenuItem(const QString& path, LauncherPresenter* presenter) {
    static const QMimeDatabase database;
    const QFileInfo info(path);
    const QString type = info.isDir() ? QStringLiteral("inode/directory")
                                      : database.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension).name();
    return FileActions::openWithMenu(path, m_applications->applications(type), presenter);
}

Signal<QString>& FilesFeature::openWithApplicationsFound() {
    return m_applications->found();
}

}  // namespace vantrel
