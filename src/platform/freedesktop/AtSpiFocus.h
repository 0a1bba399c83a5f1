#pragma once

#include "platform/AccessibleFocus.h"

namespace vantrel {

// AccessibleFocus over AT-SPI2 (libatspi): the applications on the
// accessibility bus, the one of the asked process (or the one with an active
// window), and inside it the element whose state says focused, found by
// walking the shown part of its tree. Nothing is cached: every call reads the
// application's current states.
class AtSpiFocus : public AccessibleFocus {
public:
    AtSpiFocus();
    ~AtSpiFocus() override;

    bool isAvailable() const override;
    std::shared_ptr<FocusedElement> focusedElement(std::optional<qint64> pid) override;

private:
    bool m_available = false;
};

}  // namespace vantrel
