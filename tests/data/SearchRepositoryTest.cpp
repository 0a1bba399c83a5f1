// The search table as data sources, indexes, visits and the user's aliases,
// hotkeys and favourites see it.
#include "support/DatabaseTestSupport.h"
#include "support/TableTests.h"

#include "data/Frecency.h"
#include "data/SearchRepository.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

#include <QDateTime>

#include <future>
#include <thread>

namespace vantrel::test {
namespace {

using Source = SearchRecord::Source;
using ContentType = SearchRecord::ContentType;

SearchRecord app(const QString& name, const QString& path, const std::optional<QString>& keywords = std::nullopt) {
    return appRecord(name, keywords, path);
}

QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

using SearchRepositoryTest = SearchRepositoryFixture;

// MARK: Reloading a source

TEST_F(SearchRepositoryTest, ReloadKeepsTheRowAndEverythingTheUserOwns) {
    const QString terminal = QStringLiteral("/usr/share/applications/org.gnome.Terminal.desktop");
    const QString files = QStringLiteral("/usr/share/applications/org.gnome.Nautilus.desktop");
    repository->update(Source::system, {app("Terminal", terminal, "shell console"), app("Files", files)},
                       SearchUpdateStrategy::source());
    const qint64 terminalId = *stored(terminal).id;

    repository->setAlias(QStringLiteral("tt"), terminal);
    repository->setHotkey(QStringLiteral("Control-Option-84"), terminal);
    const double favorite = repository->addToFavorites(terminal);
    const QDateTime visited = at("2024-03-01T10:00:00.250Z");
    repository->updateRecord(terminal, [&](SearchRecord record) -> std::optional<SearchRecord> {
        record.frecencyDate = Frecency::addingVisit(visited, visited, visited);
        record.openedAt = visited;
        record.shortcutAddedAt = visited;
        record.searchTerms = QStringLiteral("ter,term");
        return record;
    });
    const SearchRecord before = stored(terminal);

    // The application was renamed and its keywords changed; the source delivers it again.
    repository->update(Source::system,
                       {app("GNOME Terminal", terminal, "shell console command line"), app("Files", files)},
                       SearchUpdateStrategy::source());

    const SearchRecord after = stored(terminal);
    EXPECT_EQ(after.id, terminalId);
    EXPECT_EQ(after.name, QStringLiteral("GNOME Terminal"));
    EXPECT_EQ(after.keywords, QStringLiteral("shell console command line"));
    EXPECT_FALSE(after.uninstalled);
    EXPECT_EQ(after.alias, QStringLiteral("tt"));
    EXPECT_EQ(after.hotkey, QStringLiteral("Control-Option-84"));
    EXPECT_EQ(after.favorite, favorite);
    EXPECT_EQ(after.frecencyDate, before.frecencyDate);
    ASSERT_TRUE(after.frecencyDate);
    EXPECT_EQ(after.openedAt, visited);
    EXPECT_EQ(after.shortcutAddedAt, visited);
    EXPECT_EQ(after.searchTerms, QStringLiteral("ter,term"));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 2);
}

TEST_F(SearchRepositoryTest, ReloadDoesNotTakeUserFieldsFromTheFreshRecord) {
    const QString path = QStringLiteral("/opt/app.desktop");
    repository->update(Source::system, {app("App", path)}, SearchUpdateStrategy::source());
    repository->setAlias(QStringLiteral("ap"), path);

    SearchRecord fresh = app("App", path);
    fresh.alias = QStringLiteral("other");
    fresh.frecencyDate = at("2030-01-01T00:00:00.000Z");
    repository->update(Source::system, {fresh}, SearchUpdateStrategy::source());

    EXPECT_EQ(stored(path).alias, QStringLiteral("ap"));
    EXPECT_FALSE(stored(path).frecencyDate);
}

TEST_F(SearchRepositoryTest, VanishedItemIsFlaggedUninstalledAndComesBackWithItsRow) {
    const QString kept = QStringLiteral("/apps/kept.desktop");
    const QString removed = QStringLiteral("/apps/removed.desktop");
    repository->update(Source::system, {app("Kept", kept), app("Removed", removed)}, SearchUpdateStrategy::source());
    repository->setAlias(QStringLiteral("rm"), removed);
    const qint64 removedId = *stored(removed).id;

    repository->update(Source::system, {app("Kept", kept)}, SearchUpdateStrategy::source());
    const SearchRecord flagged = stored(removed);
    EXPECT_TRUE(flagged.uninstalled);
    EXPECT_EQ(flagged.alias, QStringLiteral("rm"));
    EXPECT_EQ(sortedNames(repository->readAllSearchResults({}, 100)), QStringList{"Kept"});

    repository->update(Source::system, {app("Kept", kept), app("Removed", removed)}, SearchUpdateStrategy::source());
    const SearchRecord back = stored(removed);
    EXPECT_FALSE(back.uninstalled);
    EXPECT_EQ(back.id, removedId);
    EXPECT_EQ(back.alias, QStringLiteral("rm"));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 2);
}

TEST_F(SearchRepositoryTest, RemoveUninstalledRecordsDeletesOnlyFlaggedRowsAndLogsTheCount) {
    repository->update(Source::system, {app("A", "/a.desktop"), app("B", "/b.desktop"), app("C", "/c.desktop")},
                       SearchUpdateStrategy::source());
    repository->update(Source::system, {app("A", "/a.desktop")}, SearchUpdateStrategy::source());
    logs->clear();

    EXPECT_EQ(repository->removeUninstalledRecords(), 2);
    EXPECT_TRUE(logs->contains(QStringLiteral("Remove uninstalled records")));
    EXPECT_TRUE(logs->contains(QStringLiteral("2 uninstalled record(s)")));
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 1);
    EXPECT_TRUE(repository->record(QStringLiteral("/a.desktop")));

    logs->clear();
    EXPECT_EQ(repository->removeUninstalledRecords(), 0);
    EXPECT_TRUE(logs->contains(QStringLiteral("0 uninstalled record(s)")));
}

TEST_F(SearchRepositoryTest, RemoveUninstalledRecordsLogsAFailure) {
    pool->write([](Connection& db) { db.execute(QStringLiteral("ALTER TABLE search RENAME TO search_gone")); });
    EXPECT_ANY_THROW(repository->removeUninstalledRecords());
    EXPECT_TRUE(logs->contains(QStringLiteral("Could not remove uninstalled records")));
}

TEST_F(SearchRepositoryTest, SourceWithPathOnlyReconcilesRowsInsideThatFolder) {
    repository->update(Source::system,
                       {app("Top", "/apps/top.desktop"), app("Nested", "/apps/sub/nested.desktop"),
                        app("Sibling", "/apps2/sibling.desktop"), app("Other", "/other/other.desktop"),
                        commandRecord("no_path", "No Path", Source::system)},
                       SearchUpdateStrategy::source());

    // The folder is re-read and only "New" is there now.
    repository->update(Source::system, {app("New", "/apps/new.desktop")},
                       SearchUpdateStrategy::sourceWithPath(QStringLiteral("/apps")));

    EXPECT_TRUE(stored("/apps/top.desktop").uninstalled);
    EXPECT_TRUE(stored("/apps/sub/nested.desktop").uninstalled);
    EXPECT_FALSE(stored("/apps2/sibling.desktop").uninstalled);
    EXPECT_FALSE(stored("/other/other.desktop").uninstalled);
    EXPECT_FALSE(stored("no_path").uninstalled);
    EXPECT_FALSE(stored("/apps/new.desktop").uninstalled);
}

TEST_F(SearchRepositoryTest, SourceWithPathAcceptsAFolderWithATrailingSlashAndLeavesOtherSourcesAlone) {
    SearchRecord script = commandRecord("script", "Script", Source::scripts);
    script.path = QStringLiteral("/apps/script.sh");
    repository->update(Source::scripts, {script}, SearchUpdateStrategy::source());
    repository->update(Source::system, {app("Top", "/apps/top.desktop"), app("Folder", "/apps")},
                       SearchUpdateStrategy::source());

    repository->update(Source::system, {}, SearchUpdateStrategy::sourceWithPath(QStringLiteral("/apps/")));

    EXPECT_TRUE(stored("/apps/top.desktop").uninstalled);
    EXPECT_TRUE(stored("/apps").uninstalled);  // the folder itself is inside
    EXPECT_FALSE(stored("script").uninstalled);
}

TEST_F(SearchRepositoryTest, SourceStrategyReconcilesOnlyTheNamedSource) {
    repository->update({{Source::system, {app("App", "/app.desktop")}},
                        {Source::package, {commandRecord("cmd", "Command")}},
                        {Source::scripts, {commandRecord("script", "Script", Source::scripts)}}},
                       SearchUpdateStrategy::source());

    repository->update(Source::package, {}, SearchUpdateStrategy::source());

    EXPECT_TRUE(stored("cmd").uninstalled);
    EXPECT_FALSE(stored("/app.desktop").uninstalled);
    EXPECT_FALSE(stored("script").uninstalled);
}

TEST_F(SearchRepositoryTest, AllStrategyReconcilesEverySourceInTheUpdate) {
    repository->update({{Source::system, {app("App", "/app.desktop"), app("Old", "/old.desktop")}},
                        {Source::package, {commandRecord("cmd", "Command"), commandRecord("gone", "Gone")}},
                        {Source::scripts, {commandRecord("script", "Script", Source::scripts)}}},
                       SearchUpdateStrategy::source());

    repository->update(
        {{Source::system, {app("App", "/app.desktop")}}, {Source::package, {commandRecord("cmd", "Command")}}},
        SearchUpdateStrategy::all());

    EXPECT_TRUE(stored("/old.desktop").uninstalled);
    EXPECT_TRUE(stored("gone").uninstalled);
    EXPECT_FALSE(stored("/app.desktop").uninstalled);
    EXPECT_FALSE(stored("cmd").uninstalled);
    EXPECT_FALSE(stored("script").uninstalled);  // not part of the update
}

TEST_F(SearchRepositoryTest, KeysAreMatchedWithinTheirSource) {
    repository->update(Source::package, {commandRecord("shared_key", "From Package")}, SearchUpdateStrategy::source());
    repository->update(Source::scripts, {commandRecord("shared_key", "From Scripts", Source::scripts)},
                       SearchUpdateStrategy::source());
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 2);

    // A record is stored under the source it is delivered for.
    const auto all = repository->readAllSearchResults({Source::package}, 10);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].source, Source::scripts);
    EXPECT_EQ(all[0].name, QStringLiteral("From Scripts"));
}

TEST_F(SearchRepositoryTest, AKeyDeliveredTwiceInOneUpdateIsOneRow) {
    repository->update(Source::package, {commandRecord("dup", "First"), commandRecord("dup", "Second")},
                       SearchUpdateStrategy::source());
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 1);
    EXPECT_EQ(stored("dup").name, QStringLiteral("Second"));
}

TEST_F(SearchRepositoryTest, RecordRoundTripsEveryField) {
    SearchRecord record = app("Everything", "/everything.desktop", "one two");
    record.category = QStringLiteral("Utilities");
    record.frecencyDate = at("2024-05-06T07:08:09.123Z");
    record.favorite = 2.5;
    record.openedAt = at("2024-05-01T00:00:00.001Z");
    record.alias = QStringLiteral("ev");
    record.hotkey = QStringLiteral("Command-49");
    record.shortcutAddedAt = at("2024-04-01T12:00:00.000Z");
    record.searchTerms = QStringLiteral("ev,every");
    repository->update(Source::system, {record}, SearchUpdateStrategy::source());

    SearchRecord read = stored("/everything.desktop");
    ASSERT_TRUE(read.id);
    record.id = read.id;
    EXPECT_EQ(read, record);
    EXPECT_EQ(qHash(read), qHash(record));
}

// MARK: Reads for the indexes

TEST_F(SearchRepositoryTest, ReadAllSearchResultsSkipsUninstalledRowsAndExcludedSourcesUpToTheLimit) {
    repository->update({{Source::system, {app("A", "/a.desktop"), app("B", "/b.desktop"), app("C", "/c.desktop")}},
                        {Source::provider, {commandRecord("p", "Provided", Source::provider)}},
                        {Source::scripts, {commandRecord("s", "Script", Source::scripts)}}},
                       SearchUpdateStrategy::source());
    repository->update(Source::system, {app("A", "/a.desktop"), app("B", "/b.desktop")},
                       SearchUpdateStrategy::source());

    EXPECT_EQ(sortedNames(repository->readAllSearchResults({Source::provider}, 10000)),
              (QStringList{"A", "B", "Script"}));
    EXPECT_EQ(sortedNames(repository->readAllSearchResults({Source::provider, Source::scripts}, 10000)),
              (QStringList{"A", "B"}));
    EXPECT_EQ(sortedNames(repository->readAllSearchResults({}, 10000)), (QStringList{"A", "B", "Provided", "Script"}));
    EXPECT_EQ(repository->readAllSearchResults({Source::provider}, 2).size(), 2u);
    EXPECT_TRUE(repository->readAllSearchResults({Source::provider}, 0).empty());
}

TEST_F(SearchRepositoryTest, ReadSearchResultsFollowsTheIdsUpToTheLimit) {
    std::vector<SearchRecord> records;
    for (int i = 0; i < 2500; ++i)
        records.push_back(commandRecord(QStringLiteral("k%1").arg(i), QStringLiteral("Item %1").arg(i)));
    repository->update(Source::package, records, SearchUpdateStrategy::source());
    const qint64 first = *stored("k0").id;

    const auto some = repository->readSearchResults({first + 5, first + 1, 999999, first + 5, first + 3}, 1000);
    ASSERT_EQ(some.size(), 3u);
    EXPECT_EQ(some[0].name, QStringLiteral("Item 5"));
    EXPECT_EQ(some[1].name, QStringLiteral("Item 1"));
    EXPECT_EQ(some[2].name, QStringLiteral("Item 3"));

    QList<qint64> ids;
    for (int i = 0; i < 2500; ++i) ids << first + i;
    EXPECT_EQ(repository->readSearchResults(ids, 1000).size(), 1000u);
    const auto everything = repository->readSearchResults(ids, 5000);
    ASSERT_EQ(everything.size(), 2500u);
    EXPECT_EQ(everything.back().name, QStringLiteral("Item 2499"));
    EXPECT_TRUE(repository->readSearchResults({}, 1000).empty());
    EXPECT_TRUE(repository->readSearchResults(ids, 0).empty());
}

// MARK: Full-text search

TEST_F(SearchRepositoryTest, FullTextStatementIsBuiltFromTheFixedPieces) {
    EXPECT_EQ(SearchRepository::searchResultsStatement(QStringLiteral("te"), 1),
              QStringLiteral("SELECT search.*\nFROM search\nWHERE id IN (\nSELECT rowid from search_fts\nWHERE\n"
                             "name MATCH '\"te\"*'\nOR name MATCH '\"te\"*'\nOR category MATCH '\"te\"*'\n"
                             "OR (category MATCH '\"te\"*' AND name MATCH '\"te\"*')\nOR keywords MATCH '\"te\"*'\n"
                             "ORDER BY rank\n)\nAND source NOT IN (?) AND uninstalled = 0"));
    EXPECT_TRUE(SearchRepository::searchResultsStatement(QStringLiteral("te"), 3)
                    .endsWith(QStringLiteral("AND source NOT IN (?, ?, ?) AND uninstalled = 0")));
    EXPECT_EQ(SearchRepository::fullTextPrefixExpression(QStringLiteral("a\"b'c")), QStringLiteral("\"a\"\"b''c\"*"));
}

TEST_F(SearchRepositoryTest, FullTextSearchFindsNamePrefixesCategoriesAndKeywords) {
    SearchRecord terminal = app("Terminal", "/terminal.desktop", "shell console");
    terminal.category = QStringLiteral("System");
    SearchRecord editor = app("Text Editor", "/editor.desktop", "notes");
    editor.category = QStringLiteral("Accessories");
    repository->update({{Source::system, {terminal, editor}},
                        {Source::provider, {commandRecord("provided", "Terminal Provider", Source::provider)}}},
                       SearchUpdateStrategy::source());
    const QList<Source> excluded{Source::provider};

    for (const auto& [term, expected] : std::vector<std::pair<const char*, QStringList>>{{"term", {"Terminal"}},
                                                                                         {"TERM", {"Terminal"}},
                                                                                         {"edi", {"Text Editor"}},
                                                                                         {"text edit", {"Text Editor"}},
                                                                                         {"access", {"Text Editor"}},
                                                                                         {"consol", {"Terminal"}},
                                                                                         {"zzz", {}}})
        EXPECT_EQ(sortedNames(repository->searchResults(QString::fromUtf8(term), excluded)), expected) << term;
    EXPECT_EQ(sortedNames(repository->searchResults(QStringLiteral("term"), {})),
              (QStringList{"Terminal", "Terminal Provider"}));
    EXPECT_TRUE(repository->searchResults(QString(), excluded).empty());

    // Uninstalled rows are not found; renamed rows are found under their new name.
    repository->update(Source::system, {app("Console", "/terminal.desktop", "shell")}, SearchUpdateStrategy::source());
    EXPECT_TRUE(repository->searchResults(QStringLiteral("edi"), excluded).empty());
    EXPECT_TRUE(repository->searchResults(QStringLiteral("term"), excluded).empty());
    EXPECT_EQ(sortedNames(repository->searchResults(QStringLiteral("cons"), excluded)), QStringList{"Console"});
}

TEST_F(SearchRepositoryTest, FullTextSearchTakesAnyTermWithoutFailing) {
    repository->update(Source::system, {app("Don't Panic", "/panic.desktop"), app("A OR B", "/aorb.desktop")},
                       SearchUpdateStrategy::source());
    const QList<Source> excluded{Source::provider};
    for (const QString& term :
         {QStringLiteral("a\" OR \"b"), QStringLiteral("NEAR("), QStringLiteral("*"), QStringLiteral("-x"),
          QStringLiteral("don't"), QStringLiteral("'; DROP TABLE search; --"), QStringLiteral("\""),
          QStringLiteral("name:foo"), QStringLiteral("^a"), QStringLiteral("(a OR b) AND NOT c"), QStringLiteral("a*b"),
          QStringLiteral("  "), QStringLiteral("'"), QStringLiteral("{name}: x")}) {
        EXPECT_NO_THROW(repository->searchResults(term, excluded)) << term.toStdString();
        EXPECT_NO_THROW(repository->completions(term)) << term.toStdString();
    }
    EXPECT_EQ(sortedNames(repository->searchResults(QStringLiteral("don't"), excluded)), QStringList{"Don't Panic"});
    EXPECT_EQ(sortedNames(repository->searchResults(QStringLiteral("a OR b"), excluded)), QStringList{"A OR B"});
    EXPECT_EQ(count(*pool, QStringLiteral("search")), 2);
}

TEST_F(SearchRepositoryTest, CompletionsMatchNameWordPrefixes) {
    repository->update(
        Source::package,
        {commandRecord("a", "Search Files"),
         commandRecord("b", "Clipboard History", Source::package, std::nullopt, QStringLiteral("Search")),
         commandRecord("c", "Files Cleanup")},
        SearchUpdateStrategy::source());
    EXPECT_EQ(sortedNames(repository->completions(QStringLiteral("fil"))),
              (QStringList{"Files Cleanup", "Search Files"}));
    EXPECT_EQ(sortedNames(repository->completions(QStringLiteral("sea"))), QStringList{"Search Files"});
    EXPECT_EQ(repository->completions(QString()).size(), 3u);
    EXPECT_EQ(repository->completions(QString(), 2).size(), 2u);
}

// MARK: Alias, hotkey and favourites

TEST_F(SearchRepositoryTest, SetAliasOnAMissingRecordFailsAndPostsNothing) {
    int posted = 0;
    auto& center = NotificationCenter::defaultCenter();
    const auto aliasToken = center.addObserver(NotificationNames::searchRecordAliasChanged, nullptr,
                                               [&](const Notification&) { ++posted; });
    const auto hotkeyToken = center.addObserver(NotificationNames::searchRecordHotkeyChanged, nullptr,
                                                [&](const Notification&) { ++posted; });

    expectVantrelError([&] { repository->setAlias(QStringLiteral("x"), QStringLiteral("missing")); },
                       QStringLiteral("Couldn't find record in the database"));
    expectVantrelError([&] { repository->setHotkey(QStringLiteral("Command-1"), QStringLiteral("missing")); },
                       QStringLiteral("Couldn't find record in the database"));
    EXPECT_EQ(posted, 0);
    center.removeObserver(aliasToken);
    center.removeObserver(hotkeyToken);
}

TEST_F(SearchRepositoryTest, SetAliasAndHotkeyAnnounceTheCommittedRecord) {
    repository->update(Source::package, {commandRecord("cmd", "Command")}, SearchUpdateStrategy::source());
    auto& center = NotificationCenter::defaultCenter();
    std::vector<Notification> received;
    std::vector<std::optional<QString>> aliasSeenByReaders;
    const auto aliasToken =
        center.addObserver(NotificationNames::searchRecordAliasChanged, nullptr, [&](const Notification& n) {
            received.push_back(n);
            // Another connection already sees the change: it was committed first.
            aliasSeenByReaders.push_back(repository->record(QStringLiteral("cmd"))->alias);
        });
    const auto hotkeyToken = center.addObserver(NotificationNames::searchRecordHotkeyChanged, nullptr,
                                                [&](const Notification& n) { received.push_back(n); });

    const SearchRecord withAlias = repository->setAlias(QStringLiteral("cm"), QStringLiteral("cmd"));
    EXPECT_EQ(withAlias.alias, QStringLiteral("cm"));
    repository->setHotkey(QStringLiteral("Control-49"), QStringLiteral("cmd"));
    repository->setAlias(std::nullopt, QStringLiteral("cmd"));

    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].name, QStringLiteral("searchRecordAliasChanged"));
    EXPECT_EQ(received[0].object.value<SearchRecord>().alias, QStringLiteral("cm"));
    EXPECT_EQ(received[0].userInfo.value(QStringLiteral("key")).toString(), QStringLiteral("cmd"));
    EXPECT_EQ(received[1].name, QStringLiteral("searchRecordHotkeyChanged"));
    EXPECT_EQ(received[1].object.value<SearchRecord>().hotkey, QStringLiteral("Control-49"));
    EXPECT_EQ(received[2].name, QStringLiteral("searchRecordAliasChanged"));
    EXPECT_EQ(aliasSeenByReaders, (std::vector<std::optional<QString>>{QStringLiteral("cm"), std::nullopt}));
    EXPECT_FALSE(stored("cmd").alias);
    EXPECT_EQ(stored("cmd").hotkey, QStringLiteral("Control-49"));
    center.removeObserver(aliasToken);
    center.removeObserver(hotkeyToken);
}

TEST_F(SearchRepositoryTest, FavoritesAreOrderedByWhenTheyWereAdded) {
    repository->update(Source::package, {commandRecord("a", "A"), commandRecord("b", "B"), commandRecord("c", "C")},
                       SearchUpdateStrategy::source());
    EXPECT_EQ(repository->addToFavorites(QStringLiteral("c")), 1.0);
    EXPECT_EQ(repository->addToFavorites(QStringLiteral("a")), 2.0);
    EXPECT_EQ(repository->addToFavorites(QStringLiteral("c")), 1.0);  // already a favourite
    EXPECT_EQ(repository->addToFavorites(QStringLiteral("b")), 3.0);

    const auto favorites = repository->favorites();
    ASSERT_EQ(favorites.size(), 3u);
    EXPECT_EQ(favorites[0].key, QStringLiteral("c"));
    EXPECT_EQ(favorites[1].key, QStringLiteral("a"));
    EXPECT_EQ(favorites[2].key, QStringLiteral("b"));

    EXPECT_TRUE(repository->removeFromFavorites(QStringLiteral("a")));
    EXPECT_FALSE(repository->removeFromFavorites(QStringLiteral("missing")));
    EXPECT_EQ(repository->favorites().size(), 2u);
    EXPECT_EQ(repository->addToFavorites(QStringLiteral("a")), 4.0);  // goes to the end

    expectVantrelError([&] { repository->addToFavorites(QStringLiteral("missing")); },
                       QStringLiteral("No item found to add to favorites"));
}

// MARK: Visits

struct SearchTermCase {
    const char* name;
    const char* stored;
    const char* term;
    const char* expected;
};

class SearchTermBookkeeping : public ::testing::TestWithParam<SearchTermCase> {};

// The terms a record was opened with: cleaned, cut to 20 characters, the last five kept.
TEST_P(SearchTermBookkeeping, AppendsCleanedTermsAndKeepsTheLastFive) {
    const SearchTermCase& c = GetParam();
    EXPECT_EQ(SearchRepository::appendingSearchTerm(QString::fromUtf8(c.stored), QString::fromUtf8(c.term)),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Terms, SearchTermBookkeeping,
    ::testing::Values(SearchTermCase{"FirstTermIsLowerCased", "", "Term", "term"},
                      SearchTermCase{"PunctuationAndSpacesAreCleaned", "a", " Hello, World \n", "a,hello world"},
                      SearchTermCase{"LongTermsAreCutToTwenty", "", "abcdefghijklmnopqrstu", "abcdefghijklmnopqrst"},
                      SearchTermCase{"OnlyTheLastFiveStay", "one,two,three,four,five", "six",
                                     "two,three,four,five,six"},
                      SearchTermCase{"StoredListIsTidied", " a , b ,,c", "d", "a,b,c,d"},
                      SearchTermCase{"BlankTermAddsNothing", "a,b", " , ", "a,b"},
                      SearchTermCase{"RepeatedTermIsKeptTwice", "x", "x", "x,x"}),
    RowName());

TEST_F(SearchRepositoryTest, UpdateRecordRunsInOneWriteTransaction) {
    repository->update(Source::package, {commandRecord("cmd", "Command")}, SearchUpdateStrategy::source());
    const QDateTime now = QDateTime::currentDateTimeUtc();

    std::optional<QDateTime> seenByReaderDuringUpdate;
    const auto visited = repository->updateRecord(QStringLiteral("cmd"), [&](SearchRecord record) {
        const QDateTime old = record.frecencyDate.value_or(now);
        record.frecencyDate = Frecency::addingVisit(now, old, now);
        record.openedAt = now;
        record.searchTerms =
            SearchRepository::appendingSearchTerm(record.searchTerms.value_or(QString()), QStringLiteral("Comm"));
        record.key = QStringLiteral("cannot change");
        // A reader on another thread still sees the committed state.
        seenByReaderDuringUpdate = std::async(std::launch::async, [&] {
                                       return repository->record(QStringLiteral("cmd"))->frecencyDate;
                                   }).get();
        return std::optional<SearchRecord>(record);
    });
    ASSERT_TRUE(visited);
    EXPECT_FALSE(seenByReaderDuringUpdate);
    EXPECT_EQ(visited->key, QStringLiteral("cmd"));
    const SearchRecord after = stored("cmd");
    EXPECT_EQ(after, *visited);
    EXPECT_NEAR(Frecency::score(*after.frecencyDate, now), 101.0, 1e-6);
    EXPECT_EQ(after.searchTerms, QStringLiteral("comm"));

    // A second visit at the same moment adds another 100 points.
    repository->updateRecord(*after.id, [&](SearchRecord record) {
        record.frecencyDate = Frecency::addingVisit(now, *record.frecencyDate, now);
        return std::optional<SearchRecord>(record);
    });
    EXPECT_NEAR(Frecency::score(*stored("cmd").frecencyDate, now), 201.0, 1e-3);
}

TEST_F(SearchRepositoryTest, UpdateRecordStoresNothingWhenTheUpdateGivesUpOrFails) {
    repository->update(Source::package, {commandRecord("cmd", "Command")}, SearchUpdateStrategy::source());
    EXPECT_FALSE(repository->updateRecord(QStringLiteral("missing"),
                                          [](SearchRecord r) { return std::optional<SearchRecord>(r); }));
    EXPECT_FALSE(repository->updateRecord(999999, [](SearchRecord r) { return std::optional<SearchRecord>(r); }));
    EXPECT_FALSE(repository->updateRecord(QStringLiteral("cmd"), [](SearchRecord) { return std::nullopt; }));
    EXPECT_THROW(repository->updateRecord(QStringLiteral("cmd"),
                                          [&](SearchRecord record) -> std::optional<SearchRecord> {
                                              record.name = QStringLiteral("Changed");
                                              throw VantrelError(QStringLiteral("stop"));
                                          }),
                 VantrelError);
    EXPECT_EQ(stored("cmd").name, QStringLiteral("Command"));
}

TEST_F(SearchRepositoryTest, ResetAllFrecenciesClearsEveryFrecencyDate) {
    repository->update(Source::package, {commandRecord("a", "A"), commandRecord("b", "B")},
                       SearchUpdateStrategy::source());
    for (const char* key : {"a", "b"})
        repository->updateRecord(QString::fromLatin1(key), [](SearchRecord record) {
            record.frecencyDate = QDateTime::currentDateTimeUtc().addDays(30);
            return std::optional<SearchRecord>(record);
        });
    repository->resetAllFrecencies();
    EXPECT_FALSE(stored("a").frecencyDate);
    EXPECT_FALSE(stored("b").frecencyDate);
}

TEST_F(SearchRepositoryTest, RecordForAKeyPrefersTheInstalledRow) {
    repository->update(Source::package, {commandRecord("same", "Old")}, SearchUpdateStrategy::source());
    repository->update(Source::package, {}, SearchUpdateStrategy::source());
    repository->update(Source::scripts, {commandRecord("same", "New", Source::scripts)},
                       SearchUpdateStrategy::source());
    EXPECT_EQ(stored("same").name, QStringLiteral("New"));
    EXPECT_FALSE(repository->record(QStringLiteral("none")));
    EXPECT_FALSE(repository->record(qint64{424242}));
}

}  // namespace
}  // namespace vantrel::test
