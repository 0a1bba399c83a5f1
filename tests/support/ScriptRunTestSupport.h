#pragma once

// Script files written to a temporary folder for the runner, the scheduler,
// the script actions and the output view, and the presenter that records what
// the window would have shown.
#include "support/RecordingPresenter.h"
#include "support/TestEnvironment.h"

#include "features/scripts/ScriptCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::test {

class ScriptFolder {
public:
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    // An executable file with the given text.
    QString write(const QString& name, const QByteArray& text, bool executable = true) const {
        const QString target = file(name);
        QFileInfo(target).dir().mkpath(QStringLiteral("."));
        QFile out(target);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
        out.close();
        if (executable)
            out.setPermissions(out.permissions() | QFileDevice::ExeOwner | QFileDevice::ReadOwner |
                               QFileDevice::WriteOwner);
        return target;
    }

    // A shell script with the body after its first line.
    ScriptCommand script(const QString& name, const QByteArray& body,
                         ScriptCommand::RunMode mode = ScriptCommand::RunMode::compact) const {
        return command(write(name, QByteArray("#!/bin/sh\n") + body), mode);
    }

    static ScriptCommand command(const QString& path, ScriptCommand::RunMode mode) {
        ScriptCommand command;
        command.id = QString(ScriptCommand::idPrefix) + path;
        command.scriptPath = path;
        command.displayName = QFileInfo(path).completeBaseName();
        command.packageName = QStringLiteral("Tests");
        command.runMode = mode;
        command.icon.small = ImageResource::emoji(QStringLiteral("🧪"));
        return command;
    }

    // The lines a script appended to a file of the folder (one per run).
    int lineCount(const QString& name) const {
        QFile in(file(name));
        if (!in.open(QIODevice::ReadOnly)) return 0;
        return static_cast<int>(in.readAll().count('\n'));
    }

private:
    QTemporaryDir m_dir;
};

}  // namespace vantrel::test
