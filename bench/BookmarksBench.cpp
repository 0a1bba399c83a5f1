// Syncing a 50,000-bookmark browser profile into the encrypted database, and
// how long the main thread's event loop goes without running while that sync
// runs in the background (what the launcher window would feel).
#include "BenchSupport.h"

#include "data/BrowserBookmarksRepository.h"
#include "data/SQLite.h"
#include "features/bookmarks/BrowserBookmarksService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace vantrel::bench {
namespace {

constexpr int kBookmarks = 50000;

// A Chromium profile: 100 folders of 500 bookmarks under the bar.
void writeChromiumProfile(const QString& home) {
    QJsonArray folders;
    int id = 10;
    for (int f = 0; f < kBookmarks / 500; ++f) {
        QJsonArray children;
        for (int b = 0; b < 500; ++b) {
            const int n = f * 500 + b;
            children.append(QJsonObject{{"id", QString::number(++id)},
                                        {"name", QStringLiteral("Bookmark %1 about topic %2").arg(n).arg(n % 97)},
                                        {"type", "url"},
                                        {"url", QStringLiteral("https://site%1.example.org/page/%2").arg(n % 1000).arg(n)}});
        }
        folders.append(QJsonObject{{"id", QString::number(++id)},
                                   {"name", QStringLiteral("Folder %1").arg(f)},
                                   {"type", "folder"},
                                   {"children", children}});
    }
    const auto root = [](const char* rootId, const char* name, const QJsonArray& children) {
        return QJsonObject{{"id", rootId}, {"name", name}, {"type", "folder"}, {"children", children}};
    };
    const QJsonObject document{{"version", 1},
                               {"roots", QJsonObject{{"bookmark_bar", root("1", "Bookmarks bar", folders)},
                                                     {"other", root("2", "Other bookmarks", {})},
                                                     {"synced", root("3", "Mobile bookmarks", {})}}}};
    const QString directory = home + QStringLiteral("/.config/chromium/Default");
    QDir().mkpath(directory);
    QFile file(directory + QStringLiteral("/Bookmarks"));
    if (file.open(QIODevice::WriteOnly)) file.write(QJsonDocument(document).toJson(QJsonDocument::Compact));
}

// A Firefox profile: the fixture's places.sqlite (the real schema Firefox
// made) with 50,000 more bookmarks in 100 folders under the toolbar.
void writeFirefoxProfile(const QString& home) {
    const QString firefox = home + QStringLiteral("/.mozilla/firefox");
    const QString profile = firefox + QStringLiteral("/bench.default");
    QDir().mkpath(profile);
    QFile::copy(QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/bookmarks/firefox/places.sqlite"),
                profile + QStringLiteral("/places.sqlite"));
    QFile::copy(QStringLiteral(VANTREL_SOURCE_DIR "/tests/fixtures/bookmarks/firefox/places.sqlite-wal"),
                profile + QStringLiteral("/places.sqlite-wal"));
    QFile::setPermissions(profile + QStringLiteral("/places.sqlite"), QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(profile + QStringLiteral("/places.sqlite-wal"), QFile::ReadOwner | QFile::WriteOwner);
    {
        Connection db(profile + QStringLiteral("/places.sqlite"), Connection::Mode::readWrite);
        db.inTransaction([&] {
            Statement place = db.prepare(QStringLiteral(
                "INSERT INTO moz_places (url, title, rev_host, guid, url_hash) VALUES (?, ?, 'gro.elpmaxe.', ?, 0)"));
            Statement folder = db.prepare(QStringLiteral(
                "INSERT INTO moz_bookmarks (type, fk, parent, position, title, guid) VALUES (2, NULL, 3, ?, ?, ?)"));
            Statement bookmark = db.prepare(QStringLiteral(
                "INSERT INTO moz_bookmarks (type, fk, parent, position, title, guid) VALUES (1, ?, ?, ?, ?, ?)"));
            for (int f = 0; f < kBookmarks / 500; ++f) {
                folder.reset();
                folder.bind({100 + f, QStringLiteral("Folder %1").arg(f), QStringLiteral("benchfolder%1").arg(f, 4, 10, QLatin1Char('0'))});
                folder.step();
                const qint64 folderId = db.lastInsertRowId();
                for (int b = 0; b < 500; ++b) {
                    const int n = f * 500 + b;
                    place.reset();
                    place.bind({QStringLiteral("https://site%1.example.org/page/%2").arg(n % 1000).arg(n),
                                QStringLiteral("Bookmark %1").arg(n), QStringLiteral("benchplace%1").arg(n, 6, 10, QLatin1Char('0'))});
                    place.step();
                    bookmark.reset();
                    bookmark.bind({db.lastInsertRowId(), folderId, b, QStringLiteral("Bookmark %1 about topic %2").arg(n).arg(n % 97),
                                   QStringLiteral("bench%1").arg(n, 8, 10, QLatin1Char('0'))});
                    bookmark.step();
                }
            }
        });
    }
    QFile ini(firefox + QStringLiteral("/profiles.ini"));
    if (ini.open(QIODevice::WriteOnly)) ini.write("[Profile0]\nName=bench\nIsRelative=1\nPath=bench.default\nDefault=1\n");
}

struct BookmarksBench {
    TemporaryDatabase database;
    QTemporaryDir home;
    std::shared_ptr<DatabasePool> pool = database.open();
    BrowserBookmarksSettings settings;
    std::unique_ptr<BrowserBookmarksService> service;

    explicit BookmarksBench(BrowserBookmark::Source only) {
        qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
        for (const BrowserBookmark::Source source : allBrowserBookmarkSources())
            if (source != only) settings.disabled.insert(source);
        settings.disabled.remove(only);
        if (only == BrowserBookmark::Source::chromium) writeChromiumProfile(home.path());
        if (only == BrowserBookmark::Source::firefox) writeFirefoxProfile(home.path());
        service = std::make_unique<BrowserBookmarksService>(std::make_shared<BrowserBookmarksRepository>(pool),
                                                            BrowserLocations(home.path()), [this] { return settings; });
    }
};

void syncProfile(benchmark::State& state, BrowserBookmark::Source source) {
    BookmarksBench bench(source);
    int count = 0;
    for (auto _ : state) {
        const BookmarksSyncReport report = bench.service->sync();
        for (const auto& entry : report.sources)
            if (entry.source == source) count = entry.count;
        if (count < kBookmarks) state.SkipWithError("the profile did not load whole");
    }
    state.counters["bookmarks"] = count;
}

void BM_Bookmarks_SyncChromium50k(benchmark::State& state) {
    syncProfile(state, BrowserBookmark::Source::chromium);
}
BENCHMARK(BM_Bookmarks_SyncChromium50k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Bookmarks_SyncFirefox50k(benchmark::State& state) {
    syncProfile(state, BrowserBookmark::Source::firefox);
}
BENCHMARK(BM_Bookmarks_SyncFirefox50k)->Unit(benchmark::kMillisecond)->Iterations(3);

// The main thread runs a 1 ms timer while the sync runs in the background;
// the counter is the longest gap between two of its ticks.
void BM_Bookmarks_MainThreadDuringBackgroundSync(benchmark::State& state) {
    BookmarksBench bench(BrowserBookmark::Source::chromium);
    double longestGap = 0;
    for (auto _ : state) {
        QObject context;
        QEventLoop loop;
        bool done = false;
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            const qint64 now = clock.nsecsElapsed();
            longestGap = std::max(longestGap, static_cast<double>(now - last) / 1e6);
            last = now;
        });
        tick.start(1);
        bench.service->syncInBackground(&context, [&](const BookmarksSyncReport&) {
            done = true;
            loop.quit();
        });
        if (!done) loop.exec();
    }
    state.counters["longest_main_thread_gap_ms"] = longestGap;
}
BENCHMARK(BM_Bookmarks_MainThreadDuringBackgroundSync)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace vantrel::bench
