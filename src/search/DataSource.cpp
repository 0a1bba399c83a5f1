#include "search/DataSource.h"

#include "kit/Logger.h"

namespace vantrel {

namespace {
const Logger& log() {
    static const Logger logger({QStringLiteral("DataSource"), QStringLiteral("🗂️")});
    return logger;
}

QString kindName(DataSourceError::Kind kind) {
    switch (kind) {
    case DataSourceError::Kind::someFailed: return QStringLiteral("someFailed");
    case DataSourceError::Kind::loadFailed: return QStringLiteral("loadFailed");
    case DataSourceError::Kind::timeout: return QStringLiteral("timeout");
    case DataSourceError::Kind::notReady: return QStringLiteral("notReady");
    }
    return {};
}
}  // namespace

QString DataSourceUpdate::sourcesDescription() const {
    QStringList names;
    for (const auto& [source, list] : records) names << SearchRecord::rawValue(source);
    return names.join(QStringLiteral(", "));
}

qsizetype DataSourceUpdate::recordCount() const {
    qsizetype count = 0;
    for (const auto& [source, list] : records) count += static_cast<qsizetype>(list.size());
    return count;
}

DataSourceError::DataSourceError(Kind kind) : m_kind(kind) {}

DataSourceError DataSourceError::someFailed(std::vector<Failure> failures, DataSourceUpdate loaded) {
    DataSourceError error(Kind::someFailed);
    error.m_failures = std::move(failures);
    error.m_loaded = std::move(loaded);
    error.m_what = error.description().toUtf8();
    return error;
}

DataSourceError DataSourceError::loadFailed(QString underlyingMessage) {
    DataSourceError error(Kind::loadFailed);
    error.m_detail = std::move(underlyingMessage);
    error.m_what = error.description().toUtf8();
    return error;
}

DataSourceError DataSourceError::timeout(SearchRecord::Source source) {
    DataSourceError error(Kind::timeout);
    error.m_detail = SearchRecord::rawValue(source);
    error.m_what = error.description().toUtf8();
    return error;
}

DataSourceError DataSourceError::notReady() {
    DataSourceError error(Kind::notReady);
    error.m_what = error.description().toUtf8();
    return error;
}

QVariantMap DataSourceError::userInfo() const {
    QVariantMap info{{QStringLiteral("kind"), kindName(m_kind)}};
    if (!m_detail.isEmpty()) info.insert(QStringLiteral("detail"), m_detail);
    if (!m_failures.empty()) {
        QVariantMap failures;
        for (const Failure& failure : m_failures) failures.insert(SearchRecord::rawValue(failure.source), failure.message);
        info.insert(QStringLiteral("failures"), failures);
        info.insert(QStringLiteral("loadedSources"), m_loaded.sourcesDescription());
    }
    return info;
}

QString DataSourceError::description() const {
    switch (m_kind) {
    case Kind::someFailed: {
        QStringList parts;
        for (const Failure& failure : m_failures)
            parts << QStringLiteral("%1: %2").arg(SearchRecord::rawValue(failure.source), failure.message);
        return QStringLiteral("someFailed(%1)").arg(parts.join(QStringLiteral("; ")));
    }
    case Kind::loadFailed: return QStringLiteral("loadFailed: %1").arg(m_detail);
    case Kind::timeout: return QStringLiteral("timeout: %1").arg(m_detail);
    case Kind::notReady: return QStringLiteral("notReady");
    }
    return {};
}

void DataSource::setDidUpdate(UpdateCallback callback) {
    std::lock_guard lock(m_callbacksMutex);
    m_didUpdate = std::move(callback);
}

void DataSource::setDidPartialUpdate(UpdateCallback callback) {
    std::lock_guard lock(m_callbacksMutex);
    m_didPartialUpdate = std::move(callback);
}

void DataSource::refresh(LoadCompletion completion) {
    log().info(QStringLiteral("Refresh not implemented for data source: ") + SearchRecord::rawValue(source()));
    if (completion) completion(std::vector<SearchRecord>{});
}

void DataSource::notifyUpdate(const DataSourceUpdate& update) const {
    UpdateCallback callback;
    {
        std::lock_guard lock(m_callbacksMutex);
        callback = m_didUpdate;
    }
    if (callback) callback(update);
}

void DataSource::notifyPartialUpdate(const DataSourceUpdate& update) const {
    UpdateCallback callback;
    {
        std::lock_guard lock(m_callbacksMutex);
        callback = m_didPartialUpdate;
    }
    if (callback) callback(update);
}

}  // namespace vantrel
