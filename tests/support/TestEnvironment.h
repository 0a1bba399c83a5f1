#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <optional>

namespace vantrel::test {

// Points XDG_DATA_HOME, XDG_CACHE_HOME, XDG_CONFIG_HOME and XDG_STATE_HOME at
// fresh folders below one temporary folder for its lifetime, then restores the
// previous values. Also drops the shared settings store so it reopens there.
class ScopedXdgHome {
public:
    ScopedXdgHome();
    ~ScopedXdgHome();
    ScopedXdgHome(const ScopedXdgHome&) = delete;
    ScopedXdgHome& operator=(const ScopedXdgHome&) = delete;

    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_previous;
};

// Sets (or, with nullopt, unsets) one environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_previous;
};

// Runs the Qt event loop until the predicate holds or the timeout passes.
bool waitUntil(const std::function<bool()>& predicate, int timeoutMs = 5000);

}  // namespace vantrel::test
