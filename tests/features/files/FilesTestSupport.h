#pragma once

// File search on real files: a folder tree with its file index, and fixture
// applications that the desktop (GIO, the shared MIME database) offers for
// plain text and folders, each recording what it was asked to open.
#include "search/FileTreeTestSupport.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include "platform/DesktopServices.h"
#include "platform/Platform.h"
#include "search/FileIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// GLib's headers use `signals` as an identifier, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <glib.h>
#pragma pop_macro("signals")

namespace vantrel::test {

// The file index over a tree of the test's own, built before the test looks.
inline std::shared_ptr<FileIndex> builtIndex(const FileTree& tree) {
    FileIndex::Options options;
    options.scopes = {tree.root()};
    options.watchChanges = false;
    auto index = std::make_shared<FileIndex>(options);
    index->build();
    return index;
}

// Two applications in the folders GIO reads (fixed for the process when GLib
// first asks, so these are the process's own, not a ScopedXdgHome's):
// "Fixture Recorder" opens plain text and folders and is the default for
// both in the user's mimeapps.list; "Fixture Editor" opens plain text. Each
// writes the arguments it got, one a line, into a marker file of its own.
class FixtureApplications {
public:
    FixtureApplications() {
        m_applications = QString::fromUtf8(g_get_user_data_dir()) + QStringLiteral("/applications");
        m_mimeapps = QString::fromUtf8(g_get_user_config_dir()) + QStringLiteral("/mimeapps.list");
        writeApplication(QStringLiteral("vantrel-fixture-recorder.desktop"), QStringLiteral("Fixture Recorder"),
                         recorderMarker(), "text/plain;inode/directory;");
        writeApplication(QStringLiteral("vantrel-fixture-editor.desktop"), QStringLiteral("Fixture Editor"),
                         editorMarker(), "text/plain;");
        writeTestFile(m_mimeapps,
                      "[Default Applications]\ntext/plain=vantrel-fixture-recorder.desktop\n"
                      "inode/directory=vantrel-fixture-recorder.desktop\n");
    }
    ~FixtureApplications() {
        QFile::remove(m_applications + QStringLiteral("/vantrel-fixture-recorder.desktop"));
        QFile::remove(m_applications + QStringLiteral("/vantrel-fixture-editor.desktop"));
        QFile::remove(m_mimeapps);
    }
    FixtureApplications(const FixtureApplications&) = delete;
    FixtureApplications& operator=(const FixtureApplications&) = delete;

    // Whether the desktop offers the fixtures now (GIO notices new entries
    // through its file monitors, shortly after they are written).
    bool areOffered() const {
        const auto& desktop = platform().desktop;
        if (!desktop) return false;
        const auto applications = desktop->applicationsForMimeType(QStringLiteral("text/plain"));
        return !applications.empty() && applications.front().id == QLatin1String("vantrel-fixture-recorder.desktop") &&
               std::any_of(applications.begin(), applications.end(), [](const DesktopApplication& application) {
                   return application.id == QLatin1String("vantrel-fixture-editor.desktop");
               });
    }

    QString recorderMarker() const { return m_dir.path() + QStringLiteral("/recorder.marker"); }
    QString editorMarker() const { return m_dir.path() + QStringLiteral("/editor.marker"); }

    // The arguments an application got, once it ran (waits for it).
    static QStringList recorded(const QString& marker) {
        if (!waitUntil([&] { return QFileInfo::exists(marker); }, 15000)) return {QStringLiteral("(never ran)")};
        QStringList lines = QString::fromUtf8(readTestFile(marker)).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }

private:
    void writeApplication(const QString& fileName, const QString& name, const QString& marker,
                          const QByteArray& mimeTypes) {
        // Written aside and renamed, so the test never reads half a marker.
        const QString script = m_dir.path() + QLatin1Char('/') + fileName + QStringLiteral(".sh");
        writeTestFile(script,
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + marker.toUtf8() + ".tmp\"\nmv \"" + marker.toUtf8() +
                          ".tmp\" \"" + marker.toUtf8() + "\"\n",
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeTestFile(m_applications + QLatin1Char('/') + fileName,
                      "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=" + script.toUtf8() +
                          " %f\nMimeType=" + mimeTypes + "\n");
    }

    QTemporaryDir m_dir;
    QString m_applications;
    QString m_mimeapps;
};

}  // namespace vantrel::test
