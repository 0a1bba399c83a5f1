#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <optional>

namespace vantrel {

// The element that has the keyboard focus in another application, as the
// desktop's accessibility tree describes it. Answers what it knew when it was
// found; the text calls ask the application again.
class FocusedElement {
public:
    virtual ~FocusedElement() = default;

    // The accessibility role's name ("text", "password text", "terminal"…).
    virtual QString role() const = 0;
    // A field that hides what is typed into it.
    virtual bool isPassword() const = 0;
    // False for a greyed-out element, which takes no typing.
    virtual bool isEnabled() const = 0;
    // Takes typed text: a text role, or marked editable.
    virtual bool isEditableText() const = 0;

    // Selects the `count` characters right before the caret, so that one
    // BackSpace removes them. False (with the reason) when the element has no
    // text interface, fewer characters before its caret, or refuses.
    virtual bool selectBeforeCaret(int count, QString* problem) = 0;
};

// Finds the focused element of the application the user is typing in.
// Lives on the thread that made it; its calls ask other processes and wait
// for them (briefly: an application that does not answer counts as having
// no focused element).
class AccessibleFocus {
public:
    virtual ~AccessibleFocus() = default;

    // Whether the session has an accessibility bus at all.
    virtual bool isAvailable() const = 0;
    // The focused element in the application of process `pid` (or, without a
    // pid, of the active window's application). Null when there is none
    // known: no accessibility bus, an application that is not on it, or
    // nothing focused.
    virtual std::shared_ptr<FocusedElement> focusedElement(std::optional<qint64> pid) = 0;
};

}  // namespace vantrel
