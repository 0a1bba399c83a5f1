#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace vantrel {

// One key press or mouse button press anywhere on the desktop.
struct GlobalInputEvent {
    enum class Kind { key, button };
    Kind kind = Kind::key;
    // What the key typed in the active layout and group (dead keys and
    // compose sequences give the composed character on the key that ends
    // them); "\b" for BackSpace; empty for keys that type nothing.
    QString text;
    // A dead key or a key in the middle of a compose sequence: typed nothing yet.
    bool composing = false;
    bool isBackSpace = false;
    // The key was already down: the keyboard's auto-repeat.
    bool isRepeat = false;
    // A modifier key pressed on its own.
    bool isModifier = false;
    bool shift = false;
    bool control = false;
    bool alt = false;
    bool super = false;
    // Seconds, on the input clock.
    double time = 0;
};

// Watches the whole keyboard and the mouse buttons without grabbing them, and
// types into the focused window. Lives on the thread that made it.
class KeyboardMonitor {
public:
    virtual ~KeyboardMonitor() = default;

    // Starts watching; false with the reason (a sentence) when it cannot.
    virtual bool start(std::function<void(const GlobalInputEvent& event)> handle, QString* problem) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    // The keyboard's auto-repeat delay, in seconds.
    virtual double repeatDelay() const = 0;

    // Key presses sent as if typed; the monitor does not report them back.
    enum class Key { backSpace, left, right, paste, terminalPaste };
    virtual bool press(Key key, int count, QString* problem) = 0;
    // Types the text as key presses: characters the layout lacks are typed by
    // lending a spare key code their keysym for the moment. Shift is released
    // first when it is held.
    virtual bool type(const QString& text, QString* problem) = 0;
};

}  // namespace vantrel
