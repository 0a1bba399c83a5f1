#pragma once

#include <optional>

namespace vantrel {

enum class ColorScheme { light, dark };

// The colour scheme the user chose for the whole desktop.
class ColorSchemeSource {
public:
    virtual ~ColorSchemeSource() = default;

    // Light or dark as the desktop states it; nothing when the desktop states
    // no preference or cannot be asked. Asks the desktop on every call, and
    // waits a moment at most.
    virtual std::optional<ColorScheme> preferredColorScheme() const = 0;
};

}  // namespace vantrel
