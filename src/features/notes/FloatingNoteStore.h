#pragma once

#include "data/DatabasePool.h"
#include "data/Records.h"

#include <QString>

#include <memory>
#include <optional>

namespace vantrel {

class NotesRepository;

// The floating note in the notes table (the most recently changed note of
// type "floating"; made on first use), and what keeps typed text safe until
// the database has it.
//
// Every change is written at once to a recovery file next to the database
// (mode 0600, replaced atomically), and to the database a moment later
// (debounced by the window). A process killed in between leaves the file;
// the next load puts its text into the note and removes it. The file is
// removed as soon as the database holds the same text.
class FloatingNoteStore {
public:
    explicit FloatingNoteStore(std::shared_ptr<DatabasePool> pool);
    ~FloatingNoteStore();
    FloatingNoteStore(const FloatingNoteStore&) = delete;
    FloatingNoteStore& operator=(const FloatingNoteStore&) = delete;

    // The note's text, with what a killed process left in the recovery file
    // applied (and saved). Throws VantrelError when the database fails.
    QString load();

    // Keeps the text in the recovery file right away (cheap: call it on every
    // change). Returns false when the file cannot be written (logged).
    bool keep(const QString& text);
    // Writes the text to the database and drops the recovery file. Returns
    // false when the database refused it (the recovery file stays).
    bool save(const QString& text);

    // The stored note's text, read again (for `vantrel notes`).
    std::optional<QString> storedText() const;

    static QString recoveryFile();

private:
    std::unique_ptr<NotesRepository> m_repository;
    std::optional<NoteRecord> m_note;
};

}  // namespace vantrel
