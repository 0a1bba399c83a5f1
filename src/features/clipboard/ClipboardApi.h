#pragma once

#include "core/api/CommandOutcome.h"
#include "platform/SystemClipboard.h"

#include <QLatin1String>

namespace vantrel {

// What other features need of clipboard history: the marker types that keep
// content out of it. Content a feature puts on the clipboard only for a
// moment (a snippet pasted through the clipboard) carries `transientType`;
// content it writes back afterwards carries `restoredType`.
class ClipboardApi {
public:
    static constexpr QLatin1String transientType{"org.nspasteboard.TransientType"};
    static constexpr QLatin1String restoredType{"org.vantrel.RestoredType"};

    virtual ~ClipboardApi() = default;

    // Whether the window is a terminal's, which pastes with Ctrl+Shift+V.
    virtual bool isTerminal(const ForeignApplication& application) const = 0;

    // Puts a text on the clipboard as plain text and, with `direct`, pastes
    // it into the application the user came from the way clipboard history
    // pastes its entries (the launcher hides, the focus goes back, Ctrl+V or
    // Ctrl+Shift+V in terminals). Without a way to press keys it only copies.
    virtual CommandOutcome pasteText(const QString& text, bool direct) = 0;
    virtual CommandOutcome copyText(const QString& text) = 0;
};

}  // namespace vantrel
