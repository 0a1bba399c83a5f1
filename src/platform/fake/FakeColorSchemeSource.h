#pragma once

#include "platform/ColorScheme.h"

namespace vantrel {

// A desktop colour scheme in memory: states what the test set, and counts how
// often it was asked.
class FakeColorSchemeSource : public ColorSchemeSource {
public:
    explicit FakeColorSchemeSource(std::optional<ColorScheme> scheme = std::nullopt) : scheme(scheme) {}

    std::optional<ColorScheme> preferredColorScheme() const override {
        ++questions;
        return scheme;
    }

    std::optional<ColorScheme> scheme;
    mutable int questions = 0;
};

}  // namespace vantrel
