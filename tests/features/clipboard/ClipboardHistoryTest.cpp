// Clipboard history over the real encrypted database: copies become records
// (the same item twice is one record copied twice), images are files named by
// their hash and go with their records, retention and the record limit apply
// at the next copy, secrets and ignored applications are never recorded, and
// the package's settings read as documented.
#include "support/AppTestSupport.h"

#include "core/commands/PackageRegistry.h"
#include "data/ClipboardRepository.h"
#include "features/clipboard/ClipboardCli.h"
#include "features/clipboard/ClipboardHistory.h"
#include "kit/Digest.h"
#include "kit/NotificationCenter.h"
#include "kit/NotificationNames.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

QByteArray pngBytes(QColor color) {
    QImage image(6, 3, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

ClipboardContent text(const QString& value) {
    ClipboardContent content;
    content.text = value;
    return content;
}

ClipboardContent image(QColor color) {
    ClipboardContent content;
    content.kind = ClipboardContent::Kind::image;
    content.imageData = pngBytes(color);
    return content;
}

ClipboardSnapshot textOffer(const QByteArray& value, std::optional<ForeignApplication> application = std::nullopt) {
    ClipboardSnapshot snapshot;
    snapshot.types << QStringLiteral("UTF8_STRING");
    snapshot.data[QStringLiteral("UTF8_STRING")] = value;
    snapshot.application = std::move(application);
    return snapshot;
}

ForeignApplication applicationOfClass(const QString& className, const QString& executable = {}) {
    ForeignApplication application;
    application.window = 42;
    application.instanceName = className.toLower();
    application.className = className;
    application.executable = executable;
    return application;
}

class ClipboardHistoryTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        // Every copy a second after the one before, so that the order never ties.
        repository = std::make_shared<ClipboardRepository>(pool, [this] { return start.addSecs(++ticks); });
        makeHistory();
        center.addObserver(QString(NotificationNames::didChangeClipboardHistory), &observer,
                           [this](const Notification&) { ++changes; });
    }

    void makeHistory(ClipboardLimits limits = {}) {
        ClipboardHistory::Options options;
        options.repository = repository;
        options.registry = registry.get();
        options.center = &center;
        options.imageDirectory = home.root() + QStringLiteral("/data/vantrel/Clipboard");
        options.limits = limits;
        history = std::make_unique<ClipboardHistory>(std::move(options));
    }

    void setPayload(const QVariantMap& values) {
        registry->setPackageConfiguration(PackageIdentifier("clipboardHistory"), [&](QVariantMap& payload, bool&) {
            for (auto it = values.begin(); it != values.end(); ++it) payload.insert(it.key(), it.value());
        });
    }

    QStringList texts() const {
        QStringList all;
        for (const ClipboardRecord& record : repository->records()) all << record.text;
        return all;
    }

    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-3600);
    int ticks = 0;
    std::shared_ptr<ClipboardRepository> repository;
    std::unique_ptr<ClipboardHistory> history;
    QObject observer;
    int changes = 0;
};

TEST_F(ClipboardHistoryTest, theSameTextCopiedTwiceIsOneRecordWithCopyCountTwo) {
    const auto first = history->add(text(QStringLiteral("twice")));
    ASSERT_TRUE(first);
    history->add(text(QStringLiteral("between")));
    const auto again = history->add(text(QStringLiteral("twice")));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->id, first->id);
    EXPECT_EQ(again->copyCount, 2u);
    EXPECT_GE(again->lastModifiedAt, first->lastModifiedAt);
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("twice"), QStringLiteral("between")}));
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(logs->contains(QStringLiteral("Added clipboard history entry")));
}

TEST_F(ClipboardHistoryTest, copiesAreClassifiedAndStoredWithTheApplicationTheyCameFrom) {
    history->clipboardChanged(textOffer("#ff8800", applicationOfClass(QStringLiteral("Gedit"), QStringLiteral("/usr/bin/gedit"))));
    history->clipboardChanged(textOffer("https://example.org/x"));
    history->clipboardChanged(textOffer("   "));
    const auto records = repository->records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].category, ClipboardRecord::Category::color);
    EXPECT_EQ(records[1].applicationPath, QStringLiteral("/usr/bin/gedit"));
    EXPECT_EQ(records[0].category, ClipboardRecord::Category::link);
    EXPECT_FALSE(records[0].applicationPath);
}

TEST_F(ClipboardHistoryTest, imagesAreFilesNamedByTheirHashAndGoWithTheirRecords) {
    const ClipboardContent red = image(Qt::red);
    const auto stored = history->add(red);
    ASSERT_TRUE(stored);
    ASSERT_TRUE(stored->imageHash);
    EXPECT_EQ(*stored->imageHash, sha256Hex(red.imageData));
    const QString file = history->imagePath(*stored->imageHash);
    EXPECT_TRUE(file.startsWith(home.root() + QStringLiteral("/data/vantrel/Clipboard/")));
    ASSERT_TRUE(QFile::exists(file));
    // The same image again: one record, one file.
    EXPECT_EQ(history->add(red)->copyCount, 2u);
    EXPECT_EQ(QDir(home.root() + QStringLiteral("/data/vantrel/Clipboard")).entryList(QDir::Files).size(), 1);
    EXPECT_TRUE(history->deleteRecord(*stored->id));
    EXPECT_FALSE(QFile::exists(file));

    const auto blue = history->add(image(Qt::blue));
    history->add(text(QStringLiteral("words")));
    EXPECT_EQ(history->deleteAll(), 2);
    EXPECT_FALSE(QFile::exists(history->imagePath(*blue->imageHash)));
    EXPECT_EQ(repository->count(), 0);
}

TEST_F(ClipboardHistoryTest, oversizedContentIsDroppedWithItsLogLine) {
    ClipboardLimits limits;
    limits.contentLengthLimit = 10;
    limits.imageDataSizeLimit = 16;
    makeHistory(limits);
    EXPECT_FALSE(history->add(text(QStringLiteral("eleven char"))));
    EXPECT_TRUE(logs->contains(QStringLiteral("Did not copy entry to clipboard history")));
    EXPECT_FALSE(history->add(image(Qt::green)));
    EXPECT_TRUE(logs->contains(QStringLiteral("Did not copy image to clipboard history")));
    EXPECT_TRUE(history->add(text(QStringLiteral("ten chars!"))));
    EXPECT_EQ(repository->count(), 1);
    EXPECT_TRUE(QDir(home.root() + QStringLiteral("/data/vantrel/Clipboard")).entryList(QDir::Files).isEmpty());
}

TEST_F(ClipboardHistoryTest, aFortyThousandCharacterCopyIsDropped) {
    history->clipboardChanged(textOffer(QByteArray(40000, 'x')));
    EXPECT_EQ(repository->count(), 0);
    EXPECT_TRUE(logs->contains(QStringLiteral("Did not copy entry to clipboard history")));
}

TEST_F(ClipboardHistoryTest, recordsBeyondTheLimitGoOldestFirstWithTheirImages) {
    ClipboardLimits limits;
    limits.limit = 3;
    makeHistory(limits);
    const auto oldImage = history->add(image(Qt::yellow));
    for (const char* value : {"one", "two", "three"}) history->add(text(QString::fromLatin1(value)));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("three"), QStringLiteral("two"), QStringLiteral("one")}));
    EXPECT_FALSE(QFile::exists(history->imagePath(*oldImage->imageHash)));
}

TEST_F(ClipboardHistoryTest, withADayOfHistoryOlderRecordsGoAtTheNextCopy) {
    setPayload({{QStringLiteral("clipboardHistoryLengthKey"), QStringLiteral("day")}});
    EXPECT_EQ(history->historyLength(), ClipboardHistoryLength::day);
    ClipboardRepository past(pool, [] { return QDateTime::currentDateTimeUtc().addDays(-2); });
    past.updateOrCreateRecord(ClipboardRecord::Category::text, QStringLiteral("two days old"));
    ClipboardRepository recent(pool, [] { return QDateTime::currentDateTimeUtc().addSecs(-7200); });
    recent.updateOrCreateRecord(ClipboardRecord::Category::text, QStringLiteral("an hour old"));
    history->add(text(QStringLiteral("now")));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("now"), QStringLiteral("an hour old")}));

    // A week keeps them.
    setPayload({{QStringLiteral("clipboardHistoryLengthKey"), QStringLiteral("week")}});
    past.updateOrCreateRecord(ClipboardRecord::Category::text, QStringLiteral("two days old"));
    history->add(text(QStringLiteral("later")));
    EXPECT_TRUE(texts().contains(QStringLiteral("two days old")));
}

TEST_F(ClipboardHistoryTest, theHistoryLengthReadsAWeekUnlessItSaysOtherwise) {
    EXPECT_EQ(history->historyLength(), ClipboardHistoryLength::week);
    setPayload({{QStringLiteral("clipboardHistoryLengthKey"), QStringLiteral("fortnight")}});
    EXPECT_EQ(history->historyLength(), ClipboardHistoryLength::week);
    setPayload({{QStringLiteral("clipboardHistoryLengthKey"), QStringLiteral("month")}});
    EXPECT_EQ(history->historyLength(), ClipboardHistoryLength::month);
    EXPECT_EQ(ClipboardHistory::label(ClipboardHistoryLength::day), QStringLiteral("24 Hours"));
    EXPECT_EQ(ClipboardHistory::label(ClipboardHistoryLength::week), QStringLiteral("7 Days"));
    EXPECT_EQ(ClipboardHistory::label(ClipboardHistoryLength::month), QStringLiteral("30 Days"));
    EXPECT_EQ(history->pasteMode(), QStringLiteral("paste"));
    EXPECT_TRUE(history->directPaste());
    setPayload({{QStringLiteral("clipboardHistoryPasteMode"), QStringLiteral("copy")},
                {QStringLiteral("clipboardHistoryDirectPaste"), false}});
    EXPECT_EQ(history->pasteMode(), QStringLiteral("copy"));
    EXPECT_FALSE(history->directPaste());
}

TEST_F(ClipboardHistoryTest, copiesInPasswordManagersAndIgnoredApplicationsAreNeverRecorded) {
    history->clipboardChanged(textOffer("from keepassxc", applicationOfClass(QStringLiteral("KeePassXC"))));
    history->clipboardChanged(textOffer("from bitwarden", applicationOfClass(QStringLiteral("Bitwarden"))));
    history->clipboardChanged(textOffer("from an editor", applicationOfClass(QStringLiteral("Mousepad"))));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("from an editor")});

    setPayload({{QStringLiteral("clipboardHistoryIgnoredApplications"),
                 QStringList{QStringLiteral("mousepad"), QStringLiteral("secret-tool")}}});
    history->clipboardChanged(textOffer("ignored now", applicationOfClass(QStringLiteral("Mousepad"))));
    history->clipboardChanged(
        textOffer("by program", applicationOfClass(QStringLiteral("Other"), QStringLiteral("/usr/bin/secret-tool"))));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("from an editor")});

    ClipboardSnapshot secret = textOffer("hunter2");
    secret.types << QStringLiteral("x-kde-passwordManagerHint");
    secret.data[QStringLiteral("x-kde-passwordManagerHint")] = "secret";
    history->clipboardChanged(secret);
    ClipboardSnapshot concealed = textOffer("hunter3");
    concealed.types << QStringLiteral("org.nspasteboard.ConcealedType");
    history->clipboardChanged(concealed);
    ClipboardSnapshot ours = textOffer("written by us");
    ours.types << QStringLiteral("org.vantrel.RestoredType");
    history->clipboardChanged(ours);
    EXPECT_EQ(texts(), QStringList{QStringLiteral("from an editor")});
}

TEST_F(ClipboardHistoryTest, findItemsFiltersByTextAndCategoryPinnedFirst) {
    history->add(text(QStringLiteral("Alpha report")));
    const auto pinned = history->add(text(QStringLiteral("beta notes")));
    history->clipboardChanged(textOffer("https://alpha.example/x"));
    history->add(text(QStringLiteral("100% sure")));
    history->pin(*pinned->id, true);
    QStringList all;
    for (const auto& record : history->findItems(QString(), std::nullopt)) all << record.text;
    EXPECT_EQ(all.first(), QStringLiteral("beta notes"));
    QStringList alpha;
    for (const auto& record : history->findItems(QStringLiteral("ALPHA"), std::nullopt)) alpha << record.text;
    EXPECT_EQ(alpha, (QStringList{QStringLiteral("https://alpha.example/x"), QStringLiteral("Alpha report")}));
    EXPECT_EQ(history->findItems(QStringLiteral("alpha"), ClipboardRecord::Category::link).size(), 1u);
    // Wildcards of the query are plain characters.
    EXPECT_EQ(history->findItems(QStringLiteral("%"), std::nullopt).size(), 1u);
    EXPECT_EQ(history->findItems(QStringLiteral("_"), std::nullopt).size(), 0u);
    EXPECT_EQ(history->findItems(QString(), std::nullopt, 2).size(), 2u);
}

TEST_F(ClipboardHistoryTest, aRecordPrintsWithTheFieldsOfTheCommandLine) {
    const auto stored = history->add(image(Qt::red));
    const QJsonObject json = clipboard::recordJson(*stored);
    EXPECT_EQ(json.keys(), (QStringList{QStringLiteral("category"), QStringLiteral("copyCount"), QStringLiteral("createdAt"),
                                        QStringLiteral("filePath"), QStringLiteral("id"), QStringLiteral("imageHash"),
                                        QStringLiteral("isPinned"), QStringLiteral("lastModifiedAt"),
                                        QStringLiteral("text")}));
    EXPECT_EQ(json.value(QStringLiteral("category")).toString(), QStringLiteral("image"));
    EXPECT_EQ(json.value(QStringLiteral("imageHash")).toString(), *stored->imageHash);
    EXPECT_TRUE(json.value(QStringLiteral("filePath")).isNull());
    EXPECT_EQ(json.value(QStringLiteral("id")).toInteger(), *stored->id);
}

TEST_F(ClipboardHistoryTest, pinningAMissingRecordFails) {
    EXPECT_THROW(history->pin(999, true), std::exception);
    EXPECT_FALSE(history->deleteRecord(999));
}

}  // namespace
}  // namespace vantrel::test
