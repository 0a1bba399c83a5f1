#pragma once

// Desktop-entry folders written by the tests: a data home and two system data
// folders, a PATH folder with the programs the entries run, German as the
// locale and GNOME as the desktop.
#include "data/SearchRecord.h"
#include "search/DataSource.h"
#include "support/CapturingLogHandler.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel::test {

class ApplicationFolders {
public:
    explicit ApplicationFolders(bool createHomeApplications = true)
        : m_home(QDir::cleanPath(m_root.path() + QStringLiteral("/home"))),
          m_dataHome("XDG_DATA_HOME", m_home.toUtf8()),
          m_dataDirs("XDG_DATA_DIRS",
                     (m_root.path() + QStringLiteral("/sys1:") + m_root.path() + QStringLiteral("/sys2")).toUtf8()),
          m_desktop("XDG_CURRENT_DESKTOP", QByteArray("ubuntu:GNOME")),
          m_path("PATH", (m_root.path() + QStringLiteral("/bin")).toUtf8()),
          m_lang("LANG", QByteArray("de_DE.UTF-8")),
          m_language("LANGUAGE", std::nullopt),
          m_lcAll("LC_ALL", std::nullopt),
          m_lcMessages("LC_MESSAGES", std::nullopt) {
        QDir().mkpath(m_home);
        if (createHomeApplications) QDir().mkpath(homeApplications());
        QDir().mkpath(system1());
        QDir().mkpath(system2());
        QDir().mkpath(bin());
        addProgram(QStringLiteral("fixture-app"));
        addProgram(QStringLiteral("settings-panel"));
    }

    QString root() const { return QDir::cleanPath(m_root.path()); }
    QString homeApplications() const { return m_home + QStringLiteral("/applications"); }
    QString system1() const { return root() + QStringLiteral("/sys1/applications"); }
    QString system2() const { return root() + QStringLiteral("/sys2/applications"); }
    QString bin() const { return root() + QStringLiteral("/bin"); }

    void addProgram(const QString& name) const {
        writeTestFile(bin() + QLatin1Char('/') + name, "#!/bin/sh\n",
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Writes folder/relativePath (creating folders) and returns its path.
    static QString write(const QString& folder, const QString& relativePath, const QByteArray& contents) {
        return writeTestFile(folder + QLatin1Char('/') + relativePath, contents);
    }

    static QByteArray app(const QByteArray& name, const QByteArray& extra = {}) {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=fixture-app %U\n" + extra;
    }

private:
    QTemporaryDir m_root;
    QString m_home;
    ScopedEnv m_dataHome;
    ScopedEnv m_dataDirs;
    ScopedEnv m_desktop;
    ScopedEnv m_path;
    ScopedEnv m_lang;
    ScopedEnv m_language;
    ScopedEnv m_lcAll;
    ScopedEnv m_lcMessages;
};

// Only the records below root (the machine's own folders may add more).
inline std::vector<SearchRecord> below(const std::vector<SearchRecord>& records, const QString& root) {
    std::vector<SearchRecord> kept;
    for (const SearchRecord& record : records)
        if (record.key.startsWith(root + QLatin1Char('/'))) kept.push_back(record);
    return kept;
}

inline QStringList namesOf(const std::vector<SearchRecord>& records) {
    QStringList names;
    for (const SearchRecord& record : records) names << record.name;
    names.sort();
    return names;
}

inline const SearchRecord* findNamed(const std::vector<SearchRecord>& records, const QString& name) {
    for (const SearchRecord& record : records)
        if (record.name == name) return &record;
    return nullptr;
}

// Whether a logged message starts with prefix.
inline bool loggedStartingWith(const CapturingLogHandler& capture, const QString& prefix) {
    for (const QString& message : capture.messages())
        if (message.startsWith(prefix)) return true;
    return false;
}

// The messages of `expected` that were logged, in the order they were.
inline QStringList loggedAmong(const CapturingLogHandler& capture, const QStringList& expected) {
    QStringList seen;
    for (const QString& message : capture.messages())
        if (expected.contains(message)) seen << message;
    return seen;
}

// Collects what a data source hands over, from any thread.
class Deliveries {
public:
    void attach(DataSource& source) {
        source.setDidUpdate([this](const DataSourceUpdate& update) {
            std::lock_guard lock(m_mutex);
            m_full.push_back(update);
        });
        source.setDidPartialUpdate([this](const DataSourceUpdate& update) {
            std::lock_guard lock(m_mutex);
            m_partial.push_back(update);
        });
    }
    DataSource::LoadCompletion completion() {
        return [this](DataSource::LoadResult result) {
            std::lock_guard lock(m_mutex);
            m_results.push_back(std::move(result));
        };
    }
    std::vector<DataSourceUpdate> full() const {
        std::lock_guard lock(m_mutex);
        return m_full;
    }
    std::vector<DataSourceUpdate> partial() const {
        std::lock_guard lock(m_mutex);
        return m_partial;
    }
    std::vector<DataSource::LoadResult> results() const {
        std::lock_guard lock(m_mutex);
        return m_results;
    }
    // The records the first completion brought, or none (a failure is added).
    std::vector<SearchRecord> firstRecords() const {
        const auto first = results();
        const auto* records = first.empty() ? nullptr : std::get_if<std::vector<SearchRecord>>(&first.front());
        EXPECT_NE(records, nullptr) << "the first completion brought no records";
        return records ? *records : std::vector<SearchRecord>{};
    }
    // The error the first completion brought, if it brought one.
    std::optional<DataSourceError> firstError() const {
        const auto first = results();
        const auto* error = first.empty() ? nullptr : std::get_if<DataSourceError>(&first.front());
        return error ? std::optional<DataSourceError>(*error) : std::nullopt;
    }
    // The records of the last partial update for folder, if any.
    std::optional<std::vector<SearchRecord>> lastPartialFor(const QString& folder) const {
        std::lock_guard lock(m_mutex);
        for (auto it = m_partial.rbegin(); it != m_partial.rend(); ++it) {
            if (it->strategy == SearchUpdateStrategy::sourceWithPath(folder)) {
                const auto found = it->records.find(SearchRecord::Source::system);
                return found == it->records.end() ? std::vector<SearchRecord>{} : found->second;
            }
        }
        return std::nullopt;
    }
    void clearPartial() {
        std::lock_guard lock(m_mutex);
        m_partial.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<DataSourceUpdate> m_full;
    std::vector<DataSourceUpdate> m_partial;
    std::vector<DataSource::LoadResult> m_results;
};

// Holds worker threads until opened.
class Gate {
public:
    void wait() {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    int waiting() const {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    int m_waiting = 0;
};

}  // namespace vantrel::test
