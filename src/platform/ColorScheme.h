#pragma once

#include <functional>
#include <optional>

namespace vantrel {

enum class ColorScheme { light, dark };

// The colour scheme the user chose for the whole desktop.
class ColorSchemeSource {
public:
    // Light or dark as the desktop states it; nothing when it states no
    // preference or could not be asked.
    using Answer = std::function<void(std::optional<ColorScheme>)>;

    virtual ~ColorSchemeSource() = default;

    // Asks the desktop without waiting for it: `answer` runs exactly once,
    // later, on the thread that asked (which runs a Qt event loop, normally
    // the main thread), when the desktop answered or gave up.
    virtual void requestColorScheme(Answer answer) = 0;
};

}  // namespace vantrel
