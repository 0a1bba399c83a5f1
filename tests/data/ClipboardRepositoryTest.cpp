// Clipboard history rows: one row per copied item, refreshed when the same
// item is copied again, pinned rows first.
#include "support/DatabaseTestSupport.h"

#include "data/ClipboardRepository.h"

namespace vantrel::test {
namespace {

using Category = ClipboardRecord::Category;

class ClipboardRepositoryTest : public OpenDatabaseFixture {
protected:
    void SetUp() override {
        OpenDatabaseFixture::SetUp();
        repository = std::make_unique<ClipboardRepository>(pool, [this] { return clock; });
    }

    void advance(int seconds) { clock = clock.addSecs(seconds); }

    QStringList texts() {
        QStringList list;
        for (const ClipboardRecord& record : repository->records()) list << record.text;
        return list;
    }

    QDateTime clock = QDateTime::fromString(QStringLiteral("2024-06-01T08:00:00.000Z"), Qt::ISODateWithMs);
    std::unique_ptr<ClipboardRepository> repository;
};

TEST_F(ClipboardRepositoryTest, CopyingTheSameTextTwiceCountsItOnce) {
    const ClipboardRecord first = repository->updateOrCreateRecord(Category::text, QStringLiteral("hello"));
    EXPECT_EQ(first.copyCount, 1u);
    const QDateTime created = clock;
    advance(90);

    const ClipboardRecord second = repository->updateOrCreateRecord(Category::text, QStringLiteral("hello"));
    EXPECT_EQ(second.id, first.id);
    EXPECT_EQ(second.copyCount, 2u);
    EXPECT_EQ(second.lastModifiedAt, clock);
    EXPECT_EQ(second.createdAt, created);

    advance(10);
    repository->updateOrCreateRecord(Category::text, QStringLiteral("hello"));
    const auto stored = repository->record(*first.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->copyCount, 3u);
    EXPECT_EQ(stored->lastModifiedAt, clock);
    EXPECT_EQ(repository->count(), 1);
}

TEST_F(ClipboardRepositoryTest, TextLinksAndColorsMatchByTextWithinTheirCategory) {
    repository->updateOrCreateRecord(Category::text, QStringLiteral("#ff0000"));
    repository->updateOrCreateRecord(Category::color, QStringLiteral("#ff0000"));
    repository->updateOrCreateRecord(Category::link, QStringLiteral("https://example.com"));
    repository->updateOrCreateRecord(Category::link, QStringLiteral("https://example.com"));
    repository->updateOrCreateRecord(Category::color, QStringLiteral("#ff0000"));
    repository->updateOrCreateRecord(Category::text, QStringLiteral("hello "));
    repository->updateOrCreateRecord(Category::text, QStringLiteral("hello"));  // not equal text

    EXPECT_EQ(repository->count(), 5);
    const auto colors = repository->records(Category::color);
    ASSERT_EQ(colors.size(), 1u);
    EXPECT_EQ(colors[0].copyCount, 2u);
    const auto links = repository->records(Category::link);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].copyCount, 2u);
    EXPECT_EQ(repository->records(Category::text).size(), 3u);
}

TEST_F(ClipboardRepositoryTest, ImagesMatchByHashAndFilesByPath) {
    const auto image = repository->updateOrCreateRecord(Category::image, QStringLiteral("Screenshot"), std::nullopt,
                                                        std::nullopt, QStringLiteral("aa11"),
                                                        QStringLiteral("/usr/share/applications/shot.desktop"));
    advance(5);
    // The same picture under another name is the same item.
    const auto again = repository->updateOrCreateRecord(Category::image, QStringLiteral("Other name"), std::nullopt,
                                                        std::nullopt, QStringLiteral("aa11"));
    EXPECT_EQ(again.id, image.id);
    EXPECT_EQ(again.copyCount, 2u);
    EXPECT_EQ(again.text, QStringLiteral("Screenshot"));
    EXPECT_EQ(again.applicationPath, QStringLiteral("/usr/share/applications/shot.desktop"));
    const auto otherImage = repository->updateOrCreateRecord(Category::image, QStringLiteral("Screenshot"),
                                                             std::nullopt, std::nullopt, QStringLiteral("bb22"));
    EXPECT_NE(otherImage.id, image.id);

    const auto file = repository->updateOrCreateRecord(Category::file, QStringLiteral("report.pdf"), std::nullopt,
                                                       QStringLiteral("/home/u/report.pdf"));
    const auto sameFile = repository->updateOrCreateRecord(Category::file, QStringLiteral("renamed"), std::nullopt,
                                                           QStringLiteral("/home/u/report.pdf"));
    const auto otherFile = repository->updateOrCreateRecord(Category::file, QStringLiteral("report.pdf"), std::nullopt,
                                                            QStringLiteral("/home/v/report.pdf"));
    EXPECT_EQ(sameFile.id, file.id);
    EXPECT_EQ(sameFile.copyCount, 2u);
    EXPECT_NE(otherFile.id, file.id);
    EXPECT_EQ(repository->count(), 4);
}

TEST_F(ClipboardRepositoryTest, AnImageWithoutAHashIsRejected) {
    expectVantrelError([&] { repository->updateOrCreateRecord(Category::image, QStringLiteral("Picture")); },
                       QStringLiteral("Cannot update or create image"));
    EXPECT_EQ(repository->count(), 0);
}

TEST_F(ClipboardRepositoryTest, NewRecordsKeepEverythingThatWasCopied) {
    const QByteArray rtf("{\\rtf1 bold}");
    const auto record = repository->updateOrCreateRecord(Category::text, QStringLiteral("bold"), rtf, std::nullopt,
                                                         std::nullopt, QStringLiteral("/apps/editor.desktop"));
    const auto stored = repository->record(*record.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, record);
    EXPECT_EQ(stored->richTextData, rtf);
    EXPECT_EQ(stored->category, Category::text);
    EXPECT_FALSE(stored->isPinned);
    EXPECT_FALSE(stored->filePath);
}

TEST_F(ClipboardRepositoryTest, PinnedRecordsComeFirstThenTheMostRecent) {
    const auto a = repository->updateOrCreateRecord(Category::text, QStringLiteral("a"));
    advance(1);
    repository->updateOrCreateRecord(Category::text, QStringLiteral("b"));
    advance(1);
    repository->updateOrCreateRecord(Category::text, QStringLiteral("c"));
    EXPECT_EQ(texts(), (QStringList{"c", "b", "a"}));

    EXPECT_TRUE(repository->pinRecord(*a.id, true).isPinned);
    EXPECT_EQ(texts(), (QStringList{"a", "c", "b"}));
    advance(1);
    repository->updateOrCreateRecord(Category::text, QStringLiteral("b"));
    EXPECT_EQ(texts(), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(repository->records(2).size(), 2u);
    EXPECT_EQ(repository->latestRecord()->text, QStringLiteral("b"));

    EXPECT_FALSE(repository->pinRecord(*a.id, false).isPinned);
    EXPECT_EQ(texts(), (QStringList{"b", "c", "a"}));
}

TEST_F(ClipboardRepositoryTest, PinningAMissingRecordFails) {
    expectVantrelError([&] { repository->pinRecord(12345, true); }, QStringLiteral("Clipboard record not found"));
}

TEST_F(ClipboardRepositoryTest, DeletingRecords) {
    const auto a = repository->updateOrCreateRecord(Category::text, QStringLiteral("a"));
    advance(60);
    const auto b = repository->updateOrCreateRecord(Category::text, QStringLiteral("b"));
    advance(60);
    repository->updateOrCreateRecord(Category::text, QStringLiteral("c"));
    repository->pinRecord(*a.id, true);

    // Retention: pinned records stay.
    EXPECT_EQ(repository->deleteRecords(clock.addSecs(-30)).size(), 1u);
    EXPECT_EQ(texts(), (QStringList{"a", "c"}));
    EXPECT_FALSE(repository->deleteRecord(*b.id));

    repository->updateOrCreateRecord(Category::text, QStringLiteral("d"));
    const auto beyond = repository->deleteRecordsBeyond(2);
    ASSERT_EQ(beyond.size(), 1u);
    EXPECT_EQ(beyond[0].text, QStringLiteral("a"));  // the oldest copy goes, pinned or not

    repository->updateOrCreateRecord(Category::text, QStringLiteral("e"));
    const auto pinned = repository->updateOrCreateRecord(Category::text, QStringLiteral("f"));
    repository->pinRecord(*pinned.id, true);
    EXPECT_EQ(repository->deleteAll(true).size(), 3u);
    EXPECT_EQ(texts(), QStringList{"f"});
    EXPECT_TRUE(repository->deleteRecord(*pinned.id));
    EXPECT_EQ(repository->count(), 0);
    EXPECT_TRUE(repository->deleteAll().empty());
}

}  // namespace
}  // namespace vantrel::test
