// The floating note in the real encrypted database: made on first use, saved
// as typed, and what a killed process left in the recovery file put back on
// the next start; files that are not ours are left alone.
#include "features/notes/FloatingNoteStore.h"
#include "support/DatabaseTestSupport.h"

#include "data/NotesRepository.h"

#include <QFile>

namespace vantrel::test {
namespace {

class FloatingNoteStoreTest : public OpenDatabaseFixture {
protected:
    static QByteArray recovery() {
        QFile file(FloatingNoteStore::recoveryFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeRecovery(const QByteArray& content) {
        QFile file(FloatingNoteStore::recoveryFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
};

TEST_F(FloatingNoteStoreTest, TheFirstLoadMakesOneEmptyFloatingNote) {
    FloatingNoteStore store(pool);
    EXPECT_EQ(store.load(), QString());
    EXPECT_EQ(count(*pool, "notes"), 1);
    FloatingNoteStore again(pool);
    EXPECT_EQ(again.load(), QString());
    EXPECT_EQ(count(*pool, "notes"), 1);
}

TEST_F(FloatingNoteStoreTest, SavedTextIsTheNoteOfTheNextStart) {
    {
        FloatingNoteStore store(pool);
        store.load();
        ASSERT_TRUE(store.keep("# Groceries\n- milk"));
        ASSERT_TRUE(store.save("# Groceries\n- milk"));
        EXPECT_FALSE(QFile::exists(FloatingNoteStore::recoveryFile()));
    }
    FloatingNoteStore next(pool);
    EXPECT_EQ(next.load(), "# Groceries\n- milk");
    EXPECT_EQ(next.storedText(), "# Groceries\n- milk");
    const auto notes = NotesRepository(pool).readAll();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes.front().type, NoteRecord::NoteType::floating);
    EXPECT_GE(notes.front().lastModifiedAt, notes.front().createdAt);
}

TEST_F(FloatingNoteStoreTest, TextKeptButNeverSavedComesBackAfterAKill) {
    {
        FloatingNoteStore store(pool);
        store.load();
        store.save("first line");
        // Typed on, then the process died before the database write.
        ASSERT_TRUE(store.keep("first line\nsecond line ü"));
    }
    EXPECT_TRUE(recovery().startsWith("vantrel-floating-note 1\n"));
    EXPECT_EQ(QFile::permissions(FloatingNoteStore::recoveryFile()) & (QFile::ReadOther | QFile::ReadGroup), 0);
    FloatingNoteStore next(pool);
    EXPECT_EQ(next.load(), "first line\nsecond line ü");
    EXPECT_EQ(next.storedText(), "first line\nsecond line ü");
    EXPECT_FALSE(QFile::exists(FloatingNoteStore::recoveryFile()));
}

TEST_F(FloatingNoteStoreTest, AnEmptiedNoteIsRecoveredEmpty) {
    FloatingNoteStore store(pool);
    store.load();
    store.save("something");
    store.keep("");
    FloatingNoteStore next(pool);
    EXPECT_EQ(next.load(), QString());
}

TEST_F(FloatingNoteStoreTest, AFileThatIsNotOursIsIgnored) {
    FloatingNoteStore store(pool);
    store.load();
    store.save("kept");
    writeRecovery("random bytes \xff\xfe without our first line");
    FloatingNoteStore next(pool);
    EXPECT_EQ(next.load(), "kept");
    EXPECT_EQ(next.storedText(), "kept");
}

TEST_F(FloatingNoteStoreTest, ANoteDeletedBehindItsBackIsMadeAgainOnSave) {
    FloatingNoteStore store(pool);
    store.load();
    for (const NoteRecord& note : NotesRepository(pool).readAll()) NotesRepository(pool).deleteRecord(*note.id);
    ASSERT_TRUE(store.save("still here"));
    EXPECT_EQ(FloatingNoteStore(pool).storedText(), "still here");
    EXPECT_EQ(count(*pool, "notes"), 1);
}

}  // namespace
}  // namespace vantrel::test
