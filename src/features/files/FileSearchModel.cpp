#include "features/files/FileSearchModel.h"

#include "features/files/FileActions.h"
#include "features/files/OpenWithApplications.h"

#include <QPointer>

#include <algorithm>

namespace vantrel {

FileSearchModel::FileSearchModel(std::shared_ptr<FileSearch> search, std::shared_ptr<OpenWithApplications> applications,
                                 Options options, QObject* parent)
    : QObject(parent),
      m_search(std::move(search)),
      m_applications(std::move(applications)),
      m_options(std::move(options)) {
    if (m_applications)
        m_applications->found().connect(this, [this](const QString& mimeType) {
            if (std::any_of(m_files.begin(), m_files.end(),
                            [&](const FileModel& file) { return file.contentType == mimeType; }))
                emit actionsChanged();
        });
}

FileSearchModel::FileSearchModel(std::shared_ptr<FileSearch> search, std::shared_ptr<OpenWithApplications> applications,
                                 QObject* parent)
    : FileSearchModel(std::move(search), std::move(applications), Options(), parent) {}

FileSearchModel::~FileSearchModel() {
    if (m_applications) m_applications->found().disconnect(this);
}

void FileSearchModel::setQuery(const QString& query) {
    m_query = query;
    m_recent = FileSearch::parseParameters(query.trimmed()).name.isEmpty();
    const quint64 generation = ++m_generation;
    m_firstBatch = true;
    m_answered = false;
    QPointer<FileSearchModel> self(this);
    m_search->streamFiles(
        query, m_options.searchScopes, m_options.limit,
        [self, generation](std::vector<FileModel> files, bool finished) {
            if (self) self->received(generation, std::move(files), finished);
        },
        Queue::object(this));
}

void FileSearchModel::received(quint64 generation, std::vector<FileModel> files, bool finished) {
    if (generation != m_generation) return;
    if (m_firstBatch) {
        m_files.clear();
        m_firstBatch = false;
    }
    QStringList types;
    for (FileModel& file : files) {
        if (file.contentType && !types.contains(*file.contentType)) types << *file.contentType;
        m_files.push_back(std::move(file));
    }
    if (finished) m_answered = true;
    if (m_applications) m_applications->prefetch(types);
    emit filesChanged();
}

const FileModel* FileSearchModel::file(const QString& path) const {
    const auto found =
        std::find_if(m_files.begin(), m_files.end(), [&](const FileModel& file) { return file.path == path; });
    return found == m_files.end() ? nullptr : &*found;
}

std::vector<MenuItem> FileSearchModel::actions(const QString& path) const {
    const FileModel* shown = file(path);
    if (!shown) return {};
    std::optional<std::vector<DesktopApplication>> applications;
    if (m_applications)
        applications = m_applications->applications(shown->contentType.value_or(QString()));
    else
        applications = std::vector<DesktopApplication>{};
    QPointer<FileSearchModel> self(const_cast<FileSearchModel*>(this));
    return FileActions::menuItems(*shown, applications, m_presenter, [self](const QString& trashed) {
        if (self) self->removeFile(trashed);
    });
}

void FileSearchModel::removeFile(const QString& path) {
    const auto before = m_files.size();
    std::erase_if(m_files, [&](const FileModel& file) { return file.path == path; });
    if (m_files.size() != before) emit filesChanged();
}

}  // namespace vantrel
