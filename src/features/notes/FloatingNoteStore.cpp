#include "features/notes/FloatingNoteStore.h"

#include "data/NotesRepository.h"
#include "kit/Logger.h"
#include "kit/Paths.h"
#include "kit/VantrelError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Floating Notes"), QStringLiteral("🗒️")});
    return logger;
}

// The file starts with this line so that a stray file is never taken for a note.
constexpr QByteArrayView kRecoveryHeader = "vantrel-floating-note 1\n";

std::optional<QString> readRecovery() {
    QFile file(FloatingNoteStore::recoveryFile());
    if (!file.exists()) return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        log().warning("Cannot read the unsaved note", {{QStringLiteral("error"), file.errorString()}});
        return std::nullopt;
    }
    const QByteArray content = file.readAll();
    if (!content.startsWith(kRecoveryHeader)) {
        log().warning("Ignoring an unsaved note file that is not ours", {{QStringLiteral("path"), file.fileName()}});
        return std::nullopt;
    }
    return QString::fromUtf8(content.mid(kRecoveryHeader.size()));
}

}  // namespace

FloatingNoteStore::FloatingNoteStore(std::shared_ptr<DatabasePool> pool)
    : m_repository(std::make_unique<NotesRepository>(std::move(pool))) {}

FloatingNoteStore::~FloatingNoteStore() = default;

QString FloatingNoteStore::recoveryFile() {
    return Paths::dataDir() + QStringLiteral("/floating-note.unsaved");
}

QString FloatingNoteStore::load() {
    for (const NoteRecord& note : m_repository->readAll()) {
        if (note.type != NoteRecord::NoteType::floating) continue;
        m_note = note;
        break;
    }
    if (!m_note) {
        NoteRecord fresh;
        fresh.createdAt = QDateTime::currentDateTimeUtc();
        fresh.lastModifiedAt = fresh.createdAt;
        m_note = m_repository->create(fresh);
    }
    if (const std::optional<QString> unsaved = readRecovery()) {
        if (*unsaved != m_note->text) {
            log().info("Recovered the note's unsaved text");
            save(*unsaved);
        } else {
            QFile::remove(recoveryFile());
        }
    }
    return m_note->text;
}

bool FloatingNoteStore::keep(const QString& text) {
    if (!Paths::ensureDir(Paths::dataDir())) return false;
    QSaveFile file(recoveryFile());
    if (!file.open(QIODevice::WriteOnly)) {
        log().error("Cannot keep the unsaved note", {{QStringLiteral("error"), file.errorString()}});
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(kRecoveryHeader.data(), kRecoveryHeader.size());
    file.write(text.toUtf8());
    if (!file.commit()) {
        log().error("Cannot keep the unsaved note", {{QStringLiteral("error"), file.errorString()}});
        return false;
    }
    return true;
}

bool FloatingNoteStore::save(const QString& text) {
    if (!m_note) load();
    NoteRecord changed = *m_note;
    changed.text = text;
    changed.lastModifiedAt = QDateTime::currentDateTimeUtc();
    bool written = false;
    try {
        written = m_repository->update(changed);
        // Deleted behind our back (another process): made again.
        if (!written) {
            changed.id.reset();
            changed = m_repository->create(changed);
            written = true;
        }
    } catch (const std::exception& error) {
        log().error("Cannot save the note", {{QStringLiteral("error"), VantrelError::describe(error)}});
        return false;
    }
    m_note = changed;
    QFile::remove(recoveryFile());
    return written;
}

std::optional<QString> FloatingNoteStore::storedText() const {
    for (const NoteRecord& note : m_repository->readAll())
        if (note.type == NoteRecord::NoteType::floating) return note.text;
    return std::nullopt;
}

}  // namespace vantrel
