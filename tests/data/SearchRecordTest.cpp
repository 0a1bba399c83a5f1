// The value records: stored raw values of their enumerations, the words a
// search record is indexed under, equality and hashing.
#include "data/Records.h"
#include "data/SearchRecord.h"

#include <QSet>

#include <gtest/gtest.h>

#include <functional>
#include <unordered_set>

namespace vantrel::test {
namespace {

using ContentType = SearchRecord::ContentType;
using Source = SearchRecord::Source;

TEST(SearchRecordEnumerations, ContentTypesRoundTripThroughTheirRawValues) {
    const QStringList expected{"unknown",        "systemApp",     "prefPane",         "command",
                               "fallbackSearch", "scriptCommand", "extensionCommand", "quicklink",
                               "snippet"};
    QStringList raws;
    for (ContentType type : SearchRecord::allContentTypes()) {
        raws << SearchRecord::rawValue(type);
        EXPECT_EQ(SearchRecord::contentTypeFromRaw(SearchRecord::rawValue(type)), type);
    }
    EXPECT_EQ(raws, expected);
    EXPECT_EQ(SearchRecord::contentTypeFromRaw(QStringLiteral("packageCommand")), ContentType::unknown);
    EXPECT_EQ(SearchRecord::contentTypeFromRaw(QStringLiteral("SystemApp")), ContentType::unknown);
    EXPECT_EQ(SearchRecord::contentTypeFromRaw(QString()), ContentType::unknown);
}

TEST(SearchRecordEnumerations, SourcesRoundTripThroughTheirRawValues) {
    const QStringList expected{"unknown", "test",    "system",           "package",
                               "provider", "scripts", "extensionCommands", "quicklinks",
                               "snippets"};
    QStringList raws;
    for (Source source : SearchRecord::allSources()) {
        raws << SearchRecord::rawValue(source);
        EXPECT_EQ(SearchRecord::sourceFromRaw(SearchRecord::rawValue(source)), source);
    }
    EXPECT_EQ(raws, expected);
    EXPECT_EQ(SearchRecord::sourceFromRaw(QStringLiteral("extensions")), Source::unknown);
    EXPECT_EQ(SearchRecord::sourceFromRaw(QStringLiteral("packageCommands")), Source::unknown);
}

TEST(SearchRecordColumns, AreNamedAsTheFieldsInFieldOrder) {
    EXPECT_EQ(SearchRecord::columnNames(),
              (QStringList{"id", "key", "type", "source", "name", "keywords", "path", "frecencyDate", "category",
                           "uninstalled", "favorite", "openedAt", "alias", "hotkey", "shortcutAddedAt",
                           "searchTerms"}));
    EXPECT_EQ(SearchRecord::valueColumnNames().size(), SearchRecord().bindValues().size());
    EXPECT_EQ(QString(SearchRecord::Columns::shortcutAddedAt), QStringLiteral("shortcutAddedAt"));
}

SearchRecord withPath(ContentType type, const QString& path, const std::optional<QString>& keywords = std::nullopt) {
    SearchRecord record;
    record.type = type;
    record.path = path;
    record.keywords = keywords;
    return record;
}

TEST(SearchRecordKeywords, SplitTheKeywordsColumnIntoTrimmedWords) {
    SearchRecord record;
    record.type = ContentType::command;
    record.keywords = QStringLiteral("  shell   console\tterminal  shell ");
    EXPECT_EQ(record.indexableKeywords(), (QSet<QString>{"shell", "console", "terminal"}));

    record.keywords = QStringLiteral("   ");
    EXPECT_TRUE(record.indexableKeywords().isEmpty());
    record.keywords.reset();
    EXPECT_TRUE(record.indexableKeywords().isEmpty());

    EXPECT_EQ(SearchRecord::joinKeywords({" shell ", "", "console"}), QStringLiteral("shell console"));
}

TEST(SearchRecordKeywords, ApplicationsAlsoGetTheirDesktopFileName) {
    EXPECT_EQ(withPath(ContentType::systemApp, QStringLiteral("/usr/share/applications/org.gnome.Terminal.desktop"),
                       QStringLiteral("shell"))
                  .indexableKeywords(),
              (QSet<QString>{"shell", "org.gnome.Terminal"}));
    EXPECT_EQ(withPath(ContentType::prefPane, QStringLiteral("/System/Library/PreferencePanes/Displays.prefPane"))
                  .indexableKeywords(),
              QSet<QString>{"Displays"});
    EXPECT_EQ(withPath(ContentType::systemApp, QStringLiteral("/opt/tool/bin/tool")).indexableKeywords(),
              QSet<QString>{"tool"});
    // Only applications and preference panes; a folder path ending in "/" gives nothing.
    EXPECT_TRUE(withPath(ContentType::scriptCommand, QStringLiteral("/home/u/scripts/run.sh")).indexableKeywords().isEmpty());
    EXPECT_TRUE(withPath(ContentType::systemApp, QStringLiteral("/apps/")).indexableKeywords().isEmpty());
    EXPECT_TRUE(withPath(ContentType::systemApp, QString()).indexableKeywords().isEmpty());
}

TEST(SearchRecordIdentity, EqualFieldsAreEqualAndHashAlike) {
    SearchRecord a;
    a.id = 7;
    a.key = QStringLiteral("k");
    a.name = QStringLiteral("Name");
    a.frecencyDate = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    SearchRecord b = a;
    // The same instant in another time representation is the same date.
    b.frecencyDate = a.frecencyDate->toOffsetFromUtc(3600);
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_EQ(std::hash<SearchRecord>()(a), std::hash<SearchRecord>()(b));

    for (auto change : std::vector<std::function<void(SearchRecord&)>>{
             [](SearchRecord& r) { r.id.reset(); },
             [](SearchRecord& r) { r.alias = QString(); },
             [](SearchRecord& r) { r.uninstalled = true; },
             [](SearchRecord& r) { r.favorite = 1.0; },
             [](SearchRecord& r) { r.source = Source::scripts; },
             [](SearchRecord& r) { r.searchTerms = QStringLiteral("a"); },
         }) {
        SearchRecord c = a;
        change(c);
        EXPECT_NE(a, c);
    }

    QSet<SearchRecord> set{a, b};
    EXPECT_EQ(set.size(), 1);
    std::unordered_set<SearchRecord> standard{a, b};
    EXPECT_EQ(standard.size(), 1u);
}

TEST(SearchUpdateStrategyTest, DescribesItsCase) {
    EXPECT_EQ(SearchUpdateStrategy::sourceWithPath(QStringLiteral("/apps")).description(),
              QStringLiteral("sourceWithPath(/apps)"));
    EXPECT_EQ(SearchUpdateStrategy::all().description(), QStringLiteral("all"));
    EXPECT_EQ(SearchUpdateStrategy::source().description(), QStringLiteral("source"));
    EXPECT_EQ(SearchUpdateStrategy(), SearchUpdateStrategy::source());
    EXPECT_NE(SearchUpdateStrategy::sourceWithPath(QStringLiteral("/a")),
              SearchUpdateStrategy::sourceWithPath(QStringLiteral("/b")));
}

// MARK: The other records

TEST(ContentRecordEnumerations, RawValuesRoundTripAndUnknownValuesAreRejected) {
    const QStringList clipboard{"text", "image", "file", "color", "link"};
    for (const QString& raw : clipboard) {
        const auto category = ClipboardRecord::categoryFromRaw(raw);
        ASSERT_TRUE(category) << raw.toStdString();
        EXPECT_EQ(ClipboardRecord::rawValue(*category), raw);
    }
    EXPECT_FALSE(ClipboardRecord::categoryFromRaw(QStringLiteral("richText")));

    for (const QString& raw : {QStringLiteral("color"), QStringLiteral("text"), QStringLiteral("richText")}) {
        const auto category = SnippetRecord::categoryFromRaw(raw);
        ASSERT_TRUE(category);
        EXPECT_EQ(SnippetRecord::rawValue(*category), raw);
    }
    EXPECT_FALSE(SnippetRecord::categoryFromRaw(QStringLiteral("image")));

    EXPECT_EQ(NoteRecord::rawValue(NoteRecord::NoteType::floating), QStringLiteral("floating"));
    EXPECT_FALSE(NoteRecord::noteTypeFromRaw(QStringLiteral("docked")));

    EXPECT_EQ(rawValue(QuicklinkRecordType::localPath), QStringLiteral("localPath"));
    EXPECT_EQ(rawValue(QuicklinkRecordType::remoteLink), QStringLiteral("remoteLink"));
    EXPECT_EQ(quicklinkRecordTypeFromRaw(QStringLiteral("remoteLink")), QuicklinkRecordType::remoteLink);
    EXPECT_FALSE(quicklinkRecordTypeFromRaw(QStringLiteral("other")));
}

TEST(QuicklinkRecordTypeTest, FilePathsAndFileUrlsAreLocal) {
    EXPECT_EQ(QuicklinkRecord::typeOf(QStringLiteral("/home/user/Documents")), QuicklinkRecordType::localPath);
    EXPECT_EQ(QuicklinkRecord::typeOf(QStringLiteral("~/Downloads/{Query}")), QuicklinkRecordType::localPath);
    EXPECT_EQ(QuicklinkRecord::typeOf(QStringLiteral("file:///etc/hosts")), QuicklinkRecordType::localPath);
    EXPECT_EQ(QuicklinkRecord::typeOf(QStringLiteral("https://example.com/search?q={Query}")),
              QuicklinkRecordType::remoteLink);
    EXPECT_EQ(QuicklinkRecord::typeOf(QStringLiteral("mailto:someone@example.com")), QuicklinkRecordType::remoteLink);
    QuicklinkRecord record;
    record.urlString = QStringLiteral("file:///tmp");
    EXPECT_EQ(record.type(), QuicklinkRecordType::localPath);
}

TEST(ContentRecordColumns, MapFieldsToTheirColumns) {
    EXPECT_EQ(QString(QuicklinkRecord::Columns::urlString), QStringLiteral("url"));
    EXPECT_EQ(QString(BrowserBookmarkRecord::Columns::urlString), QStringLiteral("url"));
    EXPECT_EQ(QString(BrowserBookmarkRecord::Columns::imageURLString), QStringLiteral("imageURL"));
    EXPECT_EQ(QString(PackageConfigurationRecord::tableName), QStringLiteral("vantrelPackageConfiguration"));
    EXPECT_EQ(ClipboardRecord::valueColumnNames().size(), ClipboardRecord().bindValues().size());
    EXPECT_EQ(SnippetRecord::valueColumnNames().size(), SnippetRecord().bindValues().size());
    EXPECT_EQ(QuicklinkRecord::valueColumnNames().size(), QuicklinkRecord().bindValues().size());
    EXPECT_EQ(NoteRecord::valueColumnNames().size(), NoteRecord().bindValues().size());
    EXPECT_EQ(BrowserBookmarkRecord::valueColumnNames().size(), BrowserBookmarkRecord().bindValues().size());
    EXPECT_EQ(ExtensionRecord::valueColumnNames().size(), ExtensionRecord().bindValues().size());
    EXPECT_EQ(CommandRecord::valueColumnNames().size(), CommandRecord().bindValues().size());
}

}  // namespace
}  // namespace vantrel::test
