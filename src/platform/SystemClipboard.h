#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace vantrel {

// The application a window belongs to, as the window system names it.
struct ForeignApplication {
    // Native window id.
    quintptr window = 0;
    // WM_CLASS: instance and class name ("gnome-terminal-server", "Gnome-terminal").
    QString instanceName;
    QString className;
    // The process, when the window says; its executable when it can be read.
    std::optional<qint64> pid;
    QString executable;
};

// One format of clipboard content: a MIME type (or a target name of the
// window system such as "UTF8_STRING") and its bytes.
struct ClipboardFormat {
    QString type;
    QByteArray data;
};

// A type the watcher should fetch from the owner, with the most bytes it may
// read of it. A type whose data is longer is not read (only its size is
// reported), so an enormous offer never lands in memory.
struct ClipboardFetch {
    QString type;
    qint64 maxBytes = 0;
};

// What the clipboard's owner offered at one change.
struct ClipboardSnapshot {
    // The watcher's count of owner changes when this change happened.
    quint64 changeCount = 0;
    // Every type the owner offers.
    QStringList types;
    // The fetched types and their data.
    std::map<QString, QByteArray> data;
    // Types that were not read because their data exceeds the limit: at least
    // this many bytes.
    std::map<QString, qint64> oversized;
    // Types the owner refused or did not deliver in time.
    QStringList failed;
    // The application that had the focus when the copy happened (not this
    // process's windows); nothing when none is known.
    std::optional<ForeignApplication> application;
    bool primary = false;
};

// The desktop's clipboard: watches who owns it, fetches what changed
// (asynchronously, with timeouts, so that an owner that never answers cannot
// hold the caller up), and takes it over with content of our own.
// Lives on the thread it was made on and calls back there.
class SystemClipboard {
public:
    enum class Selection { clipboard, primary };

    struct Handlers {
        // Which of the offered types to fetch, in this order. Empty: the
        // change is not read and no snapshot follows.
        std::function<std::vector<ClipboardFetch>(const QStringList& types, Selection selection)> choose;
        // The fetched content of a change.
        std::function<void(const ClipboardSnapshot& snapshot)> changed;
        // The owner went away without anyone else taking the selection (on
        // X11 the content leaves with the application that copied it).
        std::function<void(Selection selection)> ownerGone;
    };

    virtual ~SystemClipboard() = default;

    // Whether the clipboard can be watched here at all; when not, why, as a
    // sentence for the user.
    virtual bool isAvailable(QString* reason = nullptr) const = 0;

    // Starts watching. What is on the clipboard already is not reported.
    virtual void start(Handlers handlers) = 0;
    virtual void stop() = 0;
    virtual bool isWatching() const = 0;
    // Whether the primary selection (the text the mouse selected) is watched too; off by default.
    virtual void setWatchesPrimary(bool watches) = 0;

    // Owner changes seen since the start (our own writes included).
    virtual quint64 changeCount() const = 0;

    // Becomes the owner of the selection and offers these formats (a
    // "text/plain" one is offered under the desktop's text targets too)
    // until another application takes it. False when it could not.
    virtual bool write(const std::vector<ClipboardFormat>& formats, Selection selection = Selection::clipboard) = 0;
    // Whether this process owns the selection right now.
    virtual bool ownsSelection(Selection selection = Selection::clipboard) const = 0;
};

// Pastes into the application the user came from: remembers which window
// had the focus before the launcher took it, gives the focus back and presses
// the paste keys there.
class PasteInjector {
public:
    virtual ~PasteInjector() = default;

    virtual bool isAvailable(QString* reason = nullptr) const = 0;

    // The most recent active window that is not one of this process's.
    virtual std::optional<ForeignApplication> lastForeignWindow() const = 0;
    // Records the window active now, unless it is one of this process's.
    virtual void rememberActiveWindow() = 0;

    // Activates `target` (when given), waits until it has the focus (at most
    // about a second), then presses Ctrl+V, or Ctrl+Shift+V with `withShift`.
    // `done` gets whether the keys were pressed and, if not, why.
    virtual void paste(std::optional<ForeignApplication> target, bool withShift,
                       std::function<void(bool pressed, const QString& problem)> done) = 0;
};

}  // namespace vantrel
