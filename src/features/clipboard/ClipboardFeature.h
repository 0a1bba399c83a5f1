#pragma once

#include "core/api/Feature.h"
#include "features/clipboard/ClipboardApi.h"

#include <QUrl>

#include <memory>

namespace vantrel {

class ClipboardActions;
class ClipboardHistory;
class FeatureContext;
struct CommandOutcome;

// Clipboard history: "Clipboard History" and its view, the actions on a
// record, `vantrel clipboard …`, the `vantrel://clipboard/ACTION?id=N` links
// the command line sends to the running launcher, and the "Clipboard
// History" preferences page. start() watches the desktop's clipboard (in the
// running launcher only) and follows the active window for pasting back.
class ClipboardFeature : public Feature, public ClipboardApi {
public:
    ClipboardFeature();
    ~ClipboardFeature() override;

    QString name() const override { return QStringLiteral("clipboard"); }
    void registerWith(FeatureContext& context) override;
    void start() override;
    bool isTerminal(const ForeignApplication& application) const override;
    CommandOutcome pasteText(const QString& text, bool direct) override;
    CommandOutcome copyText(const QString& text) override;

    // Null before registerWith.
    ClipboardHistory* history() const { return m_history.get(); }
    ClipboardActions* actions() const { return m_actions.get(); }

    // A `vantrel://clipboard/…` link: copy, paste, pin, unpin, delete (with
    // ?id=N) or delete-all.
    CommandOutcome route(const QUrl& url);

    // Why clipboard history cannot work in this session (a Wayland
    // compositor without a data-control protocol); empty when it can.
    QString unavailableReason() const { return m_unavailable; }

private:
    FeatureContext* m_context = nullptr;
    std::unique_ptr<ClipboardHistory> m_history;
    std::unique_ptr<ClipboardActions> m_actions;
    QString m_unavailable;
    bool m_started = false;
};

}  // namespace vantrel
