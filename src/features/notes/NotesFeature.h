#pragma once

#include "core/api/Feature.h"

#include <QMetaObject>
#include <QString>

#include <memory>

namespace vantrel {

class FeatureContext;
class FloatingNoteStore;
class FloatingNoteWindow;

// Floating notes: "Toggle Floating Notes Window" shows or hides the note
// window (ui/FloatingNoteWindow), "Toggle Floating Notes Focus" moves the
// keyboard between the note and the window the user was in. The note lives
// in the notes table (FloatingNoteStore). Both commands need the running
// launcher; `vantrel run` hands them to it. `vantrel notes` prints the note.
class NotesFeature : public Feature {
public:
    inline static const QString toggleWindowCommandId = QStringLiteral("floatingNotes_toggleWindow");
    inline static const QString toggleFocusCommandId = QStringLiteral("floatingNotes_toggleFocus");

    NotesFeature();
    ~NotesFeature() override;

    QString name() const override { return QStringLiteral("notes"); }
    void registerWith(FeatureContext& context) override;

    // The window, made on first use (null before).
    FloatingNoteWindow* window() const { return m_window.get(); }

private:
    FloatingNoteWindow& ensureWindow();
    void toggleWindow();
    void toggleFocus();

    FeatureContext* m_context = nullptr;
    std::unique_ptr<FloatingNoteStore> m_store;
    std::unique_ptr<FloatingNoteWindow> m_window;
    // The window the user was in when the note took the keyboard.
    quint64 m_previousWindow = 0;
    QMetaObject::Connection m_quitConnection;
};

}  // namespace vantrel
