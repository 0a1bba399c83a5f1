#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

// Writes a file (creating its folders), optionally with these permissions, and
// answers its path; a file that cannot be written fails the test.
QString writeTestFile(const QString& path, const QByteArray& contents, QFile::Permissions permissions = {});
// A file's bytes, or nothing when it cannot be read.
QByteArray readTestFile(const QString& path);

// Whether the desktop of scripts/test-session (its X display, window manager,
// session bus and Secret Service) must be there: inside the session
// (VANTREL_TEST_SESSION_INNER is set) or with VANTREL_REQUIRE_DISPLAY=1.
inline bool desktopRequired() {
    return !qEnvironmentVariableIsEmpty("VANTREL_TEST_SESSION_INNER") || qgetenv("VANTREL_REQUIRE_DISPLAY") == "1";
}

}  // namespace vantrel::test

// For tests that need a part of that desktop: when `available` is false, the
// test fails where the desktop is required and is skipped elsewhere (a plain
// build without a display), with `why` (anything that can be streamed) saying
// what is missing. Like GTEST_SKIP(), it returns from the current function.
#define VANTREL_REQUIRE_DESKTOP_OR_SKIP(available, why)                                              \
    do {                                                                                             \
        if (!(available)) {                                                                          \
            if (::vantrel::test::desktopRequired())                                                  \
                FAIL() << "the test session's desktop is required here (VANTREL_TEST_SESSION_INNER " \
                          "or VANTREL_REQUIRE_DISPLAY=1), but: "                                     \
                       << why;                                                                       \
            else                                                                                     \
                GTEST_SKIP() << why;                                                                 \
        }                                                                                            \
    } while (false)
