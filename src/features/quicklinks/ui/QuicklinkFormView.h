#pragma once

#include "data/Records.h"
#include "features/quicklinks/QuicklinkForm.h"
#include "ui/toolkit/FormView.h"

#include <QString>

#include <utility>
#include <vector>

namespace vantrel {

class QuicklinksService;

// The create, update and duplicate forms of a quicklink: name, link (with
// the placeholder description), "Choose File or Directory" (a path as the
// link) and the application that opens it (the default one first).
// Submitting stores it and reports "Created Quicklink"…, or the failure.
class QuicklinkFormView : public FormView {
    Q_OBJECT

public:
    // applications: (desktop-file id, name) pairs offered besides the default.
    QuicklinkFormView(QuicklinksService& service, QuicklinkForm::Mode mode, QuicklinkRecord base,
                      std::vector<std::pair<QString, QString>> applications, QWidget* parent = nullptr);

    QuicklinkForm::Mode mode() const { return m_mode; }
    // Whether a submit stored it.
    bool savedQuicklink() const { return m_saved; }

    // The applications that open web links, as the desktop lists them.
    static std::vector<std::pair<QString, QString>> browserApplications();

private:
    QuicklinksService& m_service;
    QuicklinkForm::Mode m_mode;
    QuicklinkRecord m_base;
    bool m_saved = false;
};

}  // namespace vantrel
