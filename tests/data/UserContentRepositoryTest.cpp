// Snippets, quicklinks, notes, browser bookmarks, extensions and package
// configuration rows through their repositories.
#include "support/DatabaseTestSupport.h"

#include "data/BrowserBookmarksRepository.h"
#include "data/ExtensionsRepository.h"
#include "data/NotesRepository.h"
#include "data/PackageConfigurationRepository.h"
#include "data/QuicklinksRepository.h"
#include "data/SnippetsRepository.h"

#include <QJsonArray>

namespace vantrel::test {
namespace {

QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

using RepositoryTest = OpenDatabaseFixture;

// MARK: Snippets

class SnippetsRepositoryTest : public OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        repository = std::make_unique<SnippetsRepository>(pool, [this] { return clock; });
    }
    QDateTime clock = at("2024-01-02T03:04:05.006Z");
    std::unique_ptr<SnippetsRepository> repository;
};

TEST_F(SnippetsRepositoryTest, CreateRecordStoresTheSnippetWithTodaysDates) {
    const auto snippet = repository->createRecord(SnippetRecord::Category::text, QStringLiteral("Greeting"),
                                                  QStringLiteral("Hello {cursor}"), QStringLiteral("text/plain"),
                                                  std::nullopt, QStringLiteral(";hi"));
    ASSERT_TRUE(snippet.id);
    const auto stored = repository->record(*snippet.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, snippet);
    EXPECT_EQ(stored->createdAt, clock);
    EXPECT_EQ(stored->accessedAt, clock);
    EXPECT_EQ(stored->alias, QStringLiteral(";hi"));
    EXPECT_FALSE(stored->isPinned);
    EXPECT_EQ(repository->records(QStringLiteral(";hi")).size(), 1u);

    const auto rich = repository->createRecord(SnippetRecord::Category::richText, QStringLiteral("Bold"),
                                               QStringLiteral("bold"), std::nullopt, QByteArray("<b>bold</b>"));
    EXPECT_EQ(repository->record(*rich.id)->richTextData, QByteArray("<b>bold</b>"));
    expectVantrelError(
        [&] {
            repository->createRecord(SnippetRecord::Category::richText, QStringLiteral("Empty"), QStringLiteral("x"));
        },
        QStringLiteral("Cannot create rich text snippet"));
}

TEST_F(SnippetsRepositoryTest, AccessingASnippetMovesItUp) {
    const auto a = repository->createRecord(SnippetRecord::Category::text, QStringLiteral("A"), QStringLiteral("a"));
    clock = clock.addSecs(10);
    repository->createRecord(SnippetRecord::Category::text, QStringLiteral("B"), QStringLiteral("b"));
    EXPECT_EQ(repository->readAll().front().name, QStringLiteral("B"));

    clock = clock.addSecs(10);
    EXPECT_EQ(repository->updateRecordAccessedAt(*a.id).accessedAt, clock);
    EXPECT_EQ(repository->readAll().front().name, QStringLiteral("A"));
    expectVantrelError([&] { repository->updateRecordAccessedAt(9999); }, QStringLiteral("Snippet record not found"));
}

TEST_F(SnippetsRepositoryTest, UpdateAndDelete) {
    auto snippet =
        repository->createRecord(SnippetRecord::Category::color, QStringLiteral("Red"), QStringLiteral("#ff0000"));
    snippet.name = QStringLiteral("Signal red");
    snippet.isPinned = true;
    EXPECT_TRUE(repository->update(snippet));
    EXPECT_EQ(*repository->record(*snippet.id), snippet);
    SnippetRecord unsaved;
    EXPECT_FALSE(repository->update(unsaved));
    EXPECT_TRUE(repository->deleteRecord(*snippet.id));
    EXPECT_FALSE(repository->deleteRecord(*snippet.id));
    EXPECT_TRUE(repository->readAll().empty());
}

// MARK: Quicklinks and notes

TEST_F(RepositoryTest, TwoQuicklinksWithTheSameUrlAreTwoRows) {
    QuicklinksRepository repository(pool);
    QuicklinkRecord link;
    link.urlString = QStringLiteral("https://example.com/search?q={Query}");
    link.name = QStringLiteral("Example");
    link.updatedAt = at("2024-02-02T00:00:00.000Z");
    const auto first = repository.create(link);
    link.name = QStringLiteral("Example in Firefox");
    link.applicationID = QStringLiteral("firefox.desktop");
    const auto second = repository.create(link);

    ASSERT_TRUE(first.id && second.id);
    EXPECT_NE(*first.id, *second.id);
    const auto all = repository.readAll();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], first);
    EXPECT_EQ(all[1], second);
    EXPECT_TRUE(all[0].isEnabled);

    auto changed = second;
    changed.isEnabled = false;
    changed.urlString = QStringLiteral("~/Documents");
    EXPECT_TRUE(repository.update(changed));
    EXPECT_EQ(*repository.record(*second.id), changed);
    EXPECT_EQ(repository.record(*second.id)->type(), QuicklinkRecordType::localPath);
    EXPECT_TRUE(repository.deleteRecord(*first.id));
    EXPECT_EQ(repository.readAll().size(), 1u);
}

TEST_F(RepositoryTest, NotesAreListedMostRecentlyModifiedFirst) {
    NotesRepository repository(pool);
    NoteRecord note;
    note.text = QStringLiteral("first");
    note.createdAt = at("2024-01-01T00:00:00.000Z");
    note.lastModifiedAt = note.createdAt;
    const auto first = repository.create(note);
    note.text = QStringLiteral("second");
    note.lastModifiedAt = at("2024-01-02T00:00:00.000Z");
    const auto second = repository.create(note);
    EXPECT_EQ(repository.readAll().front(), second);

    auto edited = first;
    edited.text = QStringLiteral("first, edited");
    edited.lastModifiedAt = at("2024-01-03T00:00:00.000Z");
    EXPECT_TRUE(repository.update(edited));
    EXPECT_EQ(repository.readAll().front(), edited);
    EXPECT_EQ(repository.readAll().front().type, NoteRecord::NoteType::floating);
    EXPECT_TRUE(repository.deleteRecord(*second.id));
    EXPECT_EQ(repository.readAll().size(), 1u);
}

// MARK: Browser bookmarks

BrowserBookmarkRecord bookmark(const QString& url, const QString& name) {
    BrowserBookmarkRecord record;
    record.urlString = url;
    record.name = name;
    record.tags = QStringLiteral("work");
    record.updatedAt = at("2024-03-03T00:00:00.000Z");
    return record;
}

TEST_F(RepositoryTest, TheSameBookmarkInTwoBrowsersIsTwoRowsAndOnceInOneBrowser) {
    BrowserBookmarksRepository repository(pool);
    const QString url = QStringLiteral("https://example.com/");
    repository.replaceBookmarks(QStringLiteral("firefox"), {bookmark(url, "Example"), bookmark(url, "Example again")});
    repository.replaceBookmarks(QStringLiteral("chromium"), {bookmark(url, "Example")});

    EXPECT_EQ(count(*pool, QStringLiteral("browserBookmarks")), 2);
    EXPECT_EQ(repository.record(url, QStringLiteral("firefox"))->name, QStringLiteral("Example again"));
    EXPECT_EQ(repository.readAll(QStringLiteral("chromium")).size(), 1u);
}

TEST_F(RepositoryTest, ReplacingBookmarksKeepsFrecencyAndDropsWhatIsGone) {
    BrowserBookmarksRepository repository(pool);
    const QString firefox = QStringLiteral("firefox");
    repository.replaceBookmarks(firefox, {bookmark("https://a.example/", "A"), bookmark("https://b.example/", "B")});
    repository.replaceBookmarks(QStringLiteral("chromium"), {bookmark("https://b.example/", "B")});
    const QDateTime visited = at("2024-04-04T04:04:04.004Z");
    const auto updated =
        repository.updateFrecency(QStringLiteral("https://a.example/"), firefox, [&](BrowserBookmarkRecord record) {
            record.frecencyDate = visited;
            return record;
        });
    EXPECT_EQ(updated.frecencyDate, visited);

    repository.replaceBookmarks(firefox,
                                {bookmark("https://a.example/", "A renamed"), bookmark("https://c.example/", "C")});

    const auto a = repository.record(QStringLiteral("https://a.example/"), firefox);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->name, QStringLiteral("A renamed"));
    EXPECT_EQ(a->frecencyDate, visited);
    EXPECT_FALSE(repository.record(QStringLiteral("https://b.example/"), firefox));
    EXPECT_TRUE(repository.record(QStringLiteral("https://b.example/"), QStringLiteral("chromium")));
    const auto all = repository.readAll();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all.front().urlString, QStringLiteral("https://a.example/"));  // visited first

    expectVantrelError(
        [&] {
            repository.updateFrecency(QStringLiteral("https://a.example/"), QStringLiteral("chromium"),
                                      [](BrowserBookmarkRecord record) { return record; });
        },
        QStringLiteral("Cannot find record by url and source"));
}

// MARK: Extensions

ExtensionRecord extensionRecord(const QString& name) {
    ExtensionRecord record;
    record.uuid = name + QStringLiteral("-uuid");
    record.name = name;
    record.title = name.toUpper();
    record.description = QStringLiteral("An extension");
    record.icon = QStringLiteral("icon.png");
    record.preferences = QStringLiteral("[]");
    record.version = at("2024-05-05T00:00:00.000Z");
    record.updatedAt = at("2024-05-06T00:00:00.000Z");
    return record;
}

CommandRecord extensionCommand(const QString& name) {
    CommandRecord record;
    record.name = name;
    record.uuid = name + QStringLiteral("-uuid");
    record.title = name.toUpper();
    record.description = QStringLiteral("A command");
    record.mode = QStringLiteral("view");
    record.installed = true;
    record.updatedAt = at("2024-05-06T00:00:00.000Z");
    return record;
}

TEST_F(RepositoryTest, ExtensionsAreStoredWithTheirCommands) {
    ExtensionsRepository repository(pool);
    const auto saved =
        repository.saveExtension(extensionRecord("github"), {extensionCommand("issues"), extensionCommand("prs")});
    ASSERT_TRUE(saved.extension.id);
    ASSERT_EQ(saved.commands.size(), 2u);
    EXPECT_EQ(saved.commands[0].extensionId, saved.extension.id);

    const auto read = repository.extension(*saved.extension.id);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, saved);
    EXPECT_EQ(repository.extension(ExtensionRequest{QStringLiteral("github"), std::nullopt}), read);
    EXPECT_EQ(repository.extension(ExtensionRequest{QStringLiteral("other"), QStringLiteral("github-uuid")}), read);
    EXPECT_FALSE(repository.extension(ExtensionRequest{QStringLiteral("other"), std::nullopt}));

    const auto info = repository.commandInfo(*saved.commands[1].id);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->command, saved.commands[1]);
    EXPECT_EQ(info->extension, saved.extension);
    EXPECT_EQ(
        repository
            .commandInfo(CommandRequest{QStringLiteral("issues"), std::nullopt, QStringLiteral("github"), std::nullopt})
            ->command.name,
        QStringLiteral("issues"));
    EXPECT_FALSE(repository.commandInfo(
        CommandRequest{QStringLiteral("issues"), std::nullopt, QStringLiteral("jira"), std::nullopt}));
    EXPECT_FALSE(repository.commandInfo(424242));
}

TEST_F(RepositoryTest, UpdatingAnExtensionKeepsCommandIdsAndDropsRemovedCommands) {
    ExtensionsRepository repository(pool);
    const auto first =
        repository.saveExtension(extensionRecord("github"), {extensionCommand("issues"), extensionCommand("prs")});
    repository.saveExtension(extensionRecord("jira"), {extensionCommand("issues")});

    ExtensionRecord changed = first.extension;
    changed.title = QStringLiteral("GitHub");
    CommandRecord issues = extensionCommand("issues");
    issues.title = QStringLiteral("My Issues");
    const auto second = repository.saveExtension(changed, {issues, extensionCommand("notifications")});

    EXPECT_EQ(second.extension.id, first.extension.id);
    ASSERT_EQ(second.commands.size(), 2u);
    EXPECT_EQ(second.commands[0].id, first.commands[0].id);
    const auto read = repository.extension(*first.extension.id);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->extension.title, QStringLiteral("GitHub"));
    ASSERT_EQ(read->commands.size(), 2u);
    EXPECT_EQ(read->commands[0].title, QStringLiteral("My Issues"));
    EXPECT_EQ(read->commands[1].name, QStringLiteral("notifications"));
    EXPECT_FALSE(repository.commandInfo(*first.commands[1].id));
    EXPECT_EQ(repository.extensions().size(), 2u);

    EXPECT_TRUE(repository.deleteExtension(*first.extension.id));
    EXPECT_FALSE(repository.deleteExtension(*first.extension.id));
    EXPECT_EQ(repository.extensions().size(), 1u);
    EXPECT_EQ(count(*pool, QStringLiteral("commands")), 1);
}

// MARK: Package configuration

TEST_F(RepositoryTest, PackageConfigurationRowsAreSavedAndReplacedById) {
    PackageConfigurationRepository repository(pool);
    EXPECT_FALSE(repository.read(QStringLiteral("builtin_package_snippets")));

    PackageConfigurationRecord record;
    record.id = QStringLiteral("builtin_package_snippets");
    record.isEnabled = false;
    record.jsonPayload = QJsonObject{{QStringLiteral("disabledCommands"), QJsonArray{QStringLiteral("a'b")}}};
    repository.save(record);
    EXPECT_EQ(repository.read(record.id), record);

    record.isEnabled = true;
    record.jsonPayload = QJsonObject{{QStringLiteral("hotkey"), QStringLiteral("Control-1")}};
    repository.save(record);
    EXPECT_EQ(repository.read(record.id), record);
    EXPECT_EQ(repository.readAll().size(), 1u);

    // Rows written with text values and broken payloads read sensibly.
    pool->write([](Connection& db) {
        db.execute(
            QStringLiteral("INSERT INTO vantrelPackageConfiguration (id, isEnabled, jsonPayload) "
                           "VALUES ('builtin_package_clipboardHistory', '0', 'not json')"));
    });
    const auto imported = repository.read(QStringLiteral("builtin_package_clipboardHistory"));
    ASSERT_TRUE(imported);
    EXPECT_FALSE(imported->isEnabled);
    EXPECT_TRUE(imported->jsonPayload.isEmpty());
    EXPECT_EQ(repository.readAll().size(), 2u);
    EXPECT_TRUE(repository.remove(record.id));
    EXPECT_FALSE(repository.remove(record.id));
}

}  // namespace
}  // namespace vantrel::test
