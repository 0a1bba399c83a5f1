#pragma once

#include "platform/Platform.h"

#include <functional>

namespace vantrel::test {

// Installs a changed copy of the installed platform for a scope (a fake
// SystemActions, a desktop without applications…) and puts the previous one
// back when the scope ends, also when an assertion ends the test early.
class ScopedPlatform {
public:
    explicit ScopedPlatform(const std::function<void(Platform&)>& change) : m_previous(platform()) {
        Platform changed = m_previous;
        change(changed);
        installPlatform(std::move(changed));
    }
    ~ScopedPlatform() { installPlatform(m_previous); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform m_previous;
};

}  // namespace vantrel::test
