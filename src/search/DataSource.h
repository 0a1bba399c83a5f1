#pragma once

#include "data/SearchRecord.h"
#include "data/SearchRepository.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

namespace vantrel {

// What a data source delivers: fresh records per source and which existing
// rows the write covers.
struct DataSourceUpdate {
    SearchRepository::RecordsBySource records;
    SearchUpdateStrategy strategy = SearchUpdateStrategy::source();

    // The sources of the update, comma separated ("system, package").
    QString sourcesDescription() const;
    // The number of records over all sources.
    qsizetype recordCount() const;
};

// Why a data source (or the loader over all of them) did not deliver.
class DataSourceError : public std::exception {
public:
    enum class Kind { someFailed, loadFailed, timeout, notReady };

    struct Failure {
        SearchRecord::Source source = SearchRecord::Source::unknown;
        QString message;
    };

    // Some sources failed; `loaded` holds the update of the ones that did not.
    static DataSourceError someFailed(std::vector<Failure> failures, DataSourceUpdate loaded);
    static DataSourceError loadFailed(QString underlyingMessage);
    static DataSourceError timeout(SearchRecord::Source source);
    static DataSourceError notReady();

    Kind kind() const { return m_kind; }
    const std::vector<Failure>& failures() const { return m_failures; }
    const DataSourceUpdate& loaded() const { return m_loaded; }
    // loadFailed: the underlying error's text; timeout: the source's raw value.
    const QString& detail() const { return m_detail; }

    // The error as the platform error type sees it: domain "DataSourceError",
    // the code is the kind's position, user info names the kind and the details.
    static constexpr QLatin1String errorDomain{"DataSourceError"};
    int errorCode() const { return static_cast<int>(m_kind); }
    QVariantMap userInfo() const;

    QString description() const;
    const char* what() const noexcept override { return m_what.constData(); }

private:
    explicit DataSourceError(Kind kind);
    Kind m_kind;
    std::vector<Failure> m_failures;
    DataSourceUpdate m_loaded;
    QString m_detail;
    QByteArray m_what;
};

// A producer of search records (installed applications, built-in commands,
// scripts, …). load() produces everything once; later changes are pushed
// through the update callbacks. load() and refresh() are called on the
// loader's thread (the main thread in the application) and must return at once,
// doing slow work elsewhere; completions and callbacks may run on any thread.
class DataSource {
public:
    using LoadResult = std::variant<std::vector<SearchRecord>, DataSourceError>;
    using LoadCompletion = std::function<void(LoadResult)>;
    using UpdateCallback = std::function<void(const DataSourceUpdate&)>;

    virtual ~DataSource() = default;

    // The source whose rows this object owns.
    virtual SearchRecord::Source source() const = 0;

    // A full update of this source (strategy `source`).
    void setDidUpdate(UpdateCallback callback);
    // The records of one folder (strategy `sourceWithPath`).
    void setDidPartialUpdate(UpdateCallback callback);

    // Produces all records once; the completion runs exactly once.
    virtual void load(LoadCompletion completion) = 0;
    // Produces the records again. The default only logs
    // "Refresh not implemented for data source: <source>" and completes with
    // an empty list.
    virtual void refresh(LoadCompletion completion);

protected:
    // Call the callbacks (if set) with the update.
    void notifyUpdate(const DataSourceUpdate& update) const;
    void notifyPartialUpdate(const DataSourceUpdate& update) const;

private:
    mutable std::mutex m_callbacksMutex;
    UpdateCallback m_didUpdate;
    UpdateCallback m_didPartialUpdate;
};

}  // namespace vantrel
