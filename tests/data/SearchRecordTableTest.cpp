// The in-memory search table against the database file: after every kind of
// write (and after writes that fail) it holds exactly what a fresh read of the
// file holds.
#include "data/Frecency.h"
#include "support/DatabaseTestSupport.h"

#include <QDateTime>

#include <stdexcept>

namespace vantrel::test {
namespace {

class SearchRecordTableTest : public SearchRepositoryFixture {
protected:
    // Every row as the file holds it now, read on a reader connection.
    std::vector<SearchRecord> fileRows() const {
        return pool->read([](Connection& db) {
            std::vector<SearchRecord> rows;
            for (const Row& row : db.query(QStringLiteral("SELECT * FROM search ORDER BY id")))
                rows.push_back(SearchRecord::fromRow(row));
            return rows;
        });
    }

    void expectTableMatchesFile(const char* step) const {
        SCOPED_TRACE(step);
        const std::vector<SearchRecord> memory = repository->table().all();
        const std::vector<SearchRecord> file = fileRows();
        ASSERT_EQ(memory.size(), file.size());
        for (size_t i = 0; i < file.size(); ++i) {
            EXPECT_EQ(memory[i], file[i]) << "row " << i << " (" << file[i].key.toStdString() << ")";
            // Absent and empty optional fields are told apart, as the file tells them apart.
            EXPECT_EQ(memory[i].keywords.has_value(), file[i].keywords.has_value());
            EXPECT_EQ(memory[i].category.has_value(), file[i].category.has_value());
            EXPECT_EQ(memory[i].searchTerms.has_value(), file[i].searchTerms.has_value());
        }
    }

    qint64 idOf(const QString& key) const { return *stored(key).id; }
};

TEST_F(SearchRecordTableTest, EveryRepositoryWriteKeepsTheTableEqualToTheFile) {
    // Loaded before the first write, so every later change has to be followed.
    EXPECT_EQ(repository->table().size(), 0u);

    repository->update(SearchRecord::Source::system,
                       {appRecord(QStringLiteral("Firefox"), QStringLiteral("web browser")),
                        appRecord(QStringLiteral("XTerm")), appRecord(QStringLiteral("Chromium"))},
                       SearchUpdateStrategy::source());
    repository->update(SearchRecord::Source::package,
                       {commandRecord(QStringLiteral("cmd_a"), QStringLiteral("Clipboard History"),
                                      SearchRecord::Source::package, QStringLiteral("paste"), QStringLiteral("Tools")),
                        commandRecord(QStringLiteral("cmd_b"), QStringLiteral("Emoji"), SearchRecord::Source::package,
                                      QString(), QString())},
                       SearchUpdateStrategy::source());
    expectTableMatchesFile("insert");

    // A reload that renames one item and no longer delivers another.
    SearchRecord renamed = appRecord(QStringLiteral("Firefox"), QStringLiteral("browser internet"));
    renamed.name = QStringLiteral("Firefox ESR");
    repository->update(SearchRecord::Source::system, {renamed, appRecord(QStringLiteral("Chromium"))},
                       SearchUpdateStrategy::source());
    expectTableMatchesFile("update by source");
    EXPECT_TRUE(stored(appRecord(QStringLiteral("XTerm")).key).uninstalled);

    repository->update(SearchRecord::Source::system, {renamed}, SearchUpdateStrategy::sourceWithPath(QStringLiteral("/usr/share")));
    expectTableMatchesFile("update below a folder");

    const QString firefox = renamed.key;
    repository->setAlias(QStringLiteral("ff"), firefox);
    expectTableMatchesFile("alias set");
    repository->setAlias(std::nullopt, firefox);
    expectTableMatchesFile("alias cleared");

    repository->setHotkey(QStringLiteral("Control-Option-F"), firefox);
    expectTableMatchesFile("hotkey");

    const QDateTime now = QDateTime::currentDateTimeUtc();
    repository->updateRecord(idOf(firefox), [&](SearchRecord record) -> std::optional<SearchRecord> {
        record.frecencyDate = Frecency::addingVisit(now, record.frecencyDate.value_or(now), now);
        record.openedAt = now;
        record.searchTerms = SearchRepository::appendingSearchTerm(record.searchTerms.value_or(QString()),
                                                                   QStringLiteral("fire"));
        return record;
    });
    expectTableMatchesFile("visit");

    repository->addToFavorites(firefox);
    repository->addToFavorites(QStringLiteral("cmd_a"));
    expectTableMatchesFile("favourite");
    ASSERT_EQ(repository->favorites().size(), 2u);
    EXPECT_EQ(repository->favorites().front().key, firefox);
    repository->removeFromFavorites(QStringLiteral("cmd_a"));
    expectTableMatchesFile("favourite removed");

    // Uninstall everything of a source, then delete the flagged rows.
    repository->update(SearchRecord::Source::package, {}, SearchUpdateStrategy::source());
    expectTableMatchesFile("uninstall");
    EXPECT_GT(repository->removeUninstalledRecords(), 0);
    expectTableMatchesFile("remove");

    repository->resetAllFrecencies();
    expectTableMatchesFile("frecencies reset");
}

TEST_F(SearchRecordTableTest, FailedWritesLeaveTheTableAsTheFileIs) {
    repository->update(SearchRecord::Source::system, {appRecord(QStringLiteral("Firefox")), appRecord(QStringLiteral("XTerm"))},
                       SearchUpdateStrategy::source());
    ASSERT_EQ(repository->table().size(), 2u);

    // A transaction that changed rows and then failed: none of it reaches the table.
    EXPECT_THROW(pool->write([](Connection& db) {
        db.execute(QStringLiteral("UPDATE search SET name = 'Broken', alias = 'b'"));
        db.execute(QStringLiteral("INSERT INTO search (key, type, source, name) VALUES ('new', 'command', 'test', 'New')"));
        db.execute(QStringLiteral("DELETE FROM search WHERE name = 'Broken' AND key LIKE '%XTerm%'"));
        throw std::runtime_error("the write fails after its changes");
    }),
                 std::runtime_error);
    expectTableMatchesFile("rolled back");
    EXPECT_EQ(repository->table().size(), 2u);

    // A statement that fails inside a repository write.
    EXPECT_THROW(repository->updateRecord(idOf(appRecord(QStringLiteral("Firefox")).key),
                                          [](SearchRecord record) -> std::optional<SearchRecord> {
                                              record.name = QStringLiteral("Renamed");
                                              throw std::runtime_error("the update function fails");
                                          }),
                 std::runtime_error);
    expectTableMatchesFile("failing update function");

    // Writes that find no row fail without changing anything.
    expectVantrelError([&] { repository->setAlias(QStringLiteral("x"), QStringLiteral("missing")); },
                       QStringLiteral("Couldn't find record in the database"));
    expectVantrelError([&] { repository->addToFavorites(QStringLiteral("missing")); },
                       QStringLiteral("No item found to add to favorites"));
    expectTableMatchesFile("missing rows");
}

TEST_F(SearchRecordTableTest, WritesOutsideTheRepositoryAreFollowedToo) {
    repository->update(SearchRecord::Source::system, {appRecord(QStringLiteral("Firefox"))}, SearchUpdateStrategy::source());
    ASSERT_EQ(repository->table().size(), 1u);

    pool->write([](Connection& db) {
        db.execute(QStringLiteral("INSERT INTO search (key, type, source, name, category) VALUES ('w', 'command', 'test', 'W', '')"));
        db.execute(QStringLiteral("UPDATE search SET hotkey = 'Shift-Control-1', frecencyDate = '2030-01-01 00:00:00.000'"));
    });
    expectTableMatchesFile("raw insert and update");
    pool->write([](Connection& db) { db.execute(QStringLiteral("DELETE FROM search")); });
    expectTableMatchesFile("everything deleted");
    EXPECT_EQ(repository->table().size(), 0u);
}

TEST_F(SearchRecordTableTest, RepositoriesOnOnePoolShareTheTableAndAReopenReadsItAgain) {
    auto other = std::make_shared<SearchRepository>(pool);
    repository->update(SearchRecord::Source::system, {appRecord(QStringLiteral("Firefox"))}, SearchUpdateStrategy::source());
    other->setAlias(QStringLiteral("ff"), appRecord(QStringLiteral("Firefox")).key);
    ASSERT_EQ(repository->readAllSearchResults({}, 10).size(), 1u);
    EXPECT_EQ(repository->readAllSearchResults({}, 10).front().alias, QStringLiteral("ff"));

    pool.reset();
    other.reset();
    repository.reset();
    pool = open();
    ASSERT_TRUE(pool);
    repository = std::make_shared<SearchRepository>(pool);
    const std::vector<SearchRecord> reopened = repository->readSearchResults({1, 1, 99}, 10);
    ASSERT_EQ(reopened.size(), 1u);
    EXPECT_EQ(reopened.front().alias, QStringLiteral("ff"));
    expectTableMatchesFile("reopened");
}

TEST_F(SearchRecordTableTest, WritesOfAnotherConnectionToTheFileAreSeenOnTheNextRead) {
    repository->update(SearchRecord::Source::system, {appRecord(QStringLiteral("Firefox"))}, SearchUpdateStrategy::source());
    ASSERT_EQ(repository->table().size(), 1u);
    // Another pool on the same file stands for another process (the command
    // line recording a visit while the launcher runs).
    auto elsewhere = open();
    ASSERT_TRUE(elsewhere);
    SearchRepository other(elsewhere);
    other.setAlias(QStringLiteral("ff"), appRecord(QStringLiteral("Firefox")).key);
    other.update(SearchRecord::Source::package, {commandRecord(QStringLiteral("cmd"), QStringLiteral("Emoji"))},
                 SearchUpdateStrategy::source());
    ASSERT_EQ(repository->readAllSearchResults({}, 10).size(), 2u);
    EXPECT_EQ(repository->readAllSearchResults({}, 10).front().alias, QStringLiteral("ff"));
    expectTableMatchesFile("written elsewhere");
    // This pool's own writes are not taken for changes made elsewhere.
    const quint64 version = repository->table().version();
    repository->setHotkey(QStringLiteral("Control-1"), QStringLiteral("cmd"));
    EXPECT_EQ(repository->table().version(), version + 1);
    EXPECT_EQ(repository->table().version(), version + 1);
    expectTableMatchesFile("own write");
}

TEST_F(SearchRecordTableTest, RestoringTheFileReadsTheTableAgain) {
    repository->update(SearchRecord::Source::system, {appRecord(QStringLiteral("Firefox"))}, SearchUpdateStrategy::source());
    ASSERT_EQ(repository->table().size(), 1u);

    const QString otherPath = home.root() + QStringLiteral("/other.sqlite");
    auto source = makeOpener(otherPath).openDatabase();
    ASSERT_TRUE(source);
    SearchRepository(source).update(SearchRecord::Source::system,
                                    {appRecord(QStringLiteral("XTerm")), appRecord(QStringLiteral("Chromium"))},
                                    SearchUpdateStrategy::source());
    pool->restoreFrom(*source);
    EXPECT_EQ(repository->table().size(), 2u);
    expectTableMatchesFile("restored");
}

}  // namespace
}  // namespace vantrel::test
