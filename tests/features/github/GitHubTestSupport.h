#pragma once

// What the GitHub suites share: the source tree's schema checker and the
// vantrel executable, run as a user runs it.
#include "support/ScriptCommandTestSupport.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

namespace vantrel::test {

struct GitHubProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// tests/features/github/<name>
inline QString gitHubTestFile(const QString& name) {
    return QDir::cleanPath(sourceDirectory() + QStringLiteral("/tests/features/github/") + name);
}

// Runs a program to its end while this thread keeps serving the event loop
// (the test's own servers answer meanwhile).
inline GitHubProcessRun runProcess(const QString& program, const QStringList& arguments,
                                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                                   const QString& workingDirectory = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(30000)) return {-1, {}, process.errorString()};
    EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 90000))
        << program.toStdString() << " did not end";
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

#ifdef VANTREL_EXECUTABLE
inline GitHubProcessRun runVantrel(const QStringList& arguments,
                                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    return runProcess(QStringLiteral(VANTREL_EXECUTABLE), arguments, environment);
}
#endif

}  // namespace vantrel::test
