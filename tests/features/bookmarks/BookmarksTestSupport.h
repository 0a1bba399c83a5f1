#pragma once

// A home folder with browser profiles made from the fixtures the real
// browsers wrote (tests/fixtures/bookmarks), for the bookmark suites.
#include "support/QtPrinters.h"
#include "support/ScriptCommandTestSupport.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vantrel::test {

inline QString bookmarkFixture(const QString& relative) {
    return QDir::cleanPath(sourceDirectory() + QStringLiteral("/tests/fixtures/bookmarks/") + relative);
}

class BrowserHome {
public:
    explicit BrowserHome(const QString& root) : m_root(root) {}

    const QString& root() const { return m_root; }

    static void copy(const QString& from, const QString& to) {
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::remove(to);
        ASSERT_TRUE(QFile::copy(from, to)) << from.toStdString() << " -> " << to.toStdString();
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }

    static void write(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Chromium's data directory (~/.config/chromium or another home of it)
    // with the fixture's Default profile and Local State.
    QString chromium(const QString& dataDirectory = QStringLiteral(".config/chromium")) const {
        const QString directory = m_root + QLatin1Char('/') + dataDirectory;
        copy(bookmarkFixture("chromium/Default/Bookmarks"), directory + QStringLiteral("/Default/Bookmarks"));
        copy(bookmarkFixture("chromium/Default/Favicons"), directory + QStringLiteral("/Default/Favicons"));
        copy(bookmarkFixture("chromium/Local State"), directory + QStringLiteral("/Local State"));
        return directory;
    }

    // A Firefox directory (~/.mozilla/firefox or another home of it) with one
    // profile holding the fixture, as a running Firefox leaves it (WAL files
    // not checkpointed).
    QString firefox(const QString& dataDirectory = QStringLiteral(".mozilla/firefox"),
                    const QString& profile = QStringLiteral("k3x9.default-esr"), bool withWal = true) const {
        const QString directory = m_root + QLatin1Char('/') + dataDirectory;
        const QString profileDirectory = directory + QLatin1Char('/') + profile;
        for (const char* name : {"places.sqlite", "favicons.sqlite"}) {
            copy(bookmarkFixture(QStringLiteral("firefox/") + QLatin1String(name)),
                 profileDirectory + QLatin1Char('/') + QLatin1String(name));
            if (withWal)
                copy(bookmarkFixture(QStringLiteral("firefox/") + QLatin1String(name) + QStringLiteral("-wal")),
                     profileDirectory + QLatin1Char('/') + QLatin1String(name) + QStringLiteral("-wal"));
        }
        write(directory + QStringLiteral("/profiles.ini"),
              "[Install4F96D1932A9F858E]\nDefault=" + profile.toUtf8() +
                  "\nLocked=1\n\n[Profile0]\nName=default-esr\nIsRelative=1\nPath=" + profile.toUtf8() +
                  "\nDefault=1\n\n[General]\nStartWithLastProfile=1\nVersion=2\n");
        return directory;
    }

private:
    QString m_root;
};

}  // namespace vantrel::test
