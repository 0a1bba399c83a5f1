#pragma once

#include "ui/toolkit/DetailView.h"

#include <QUrl>

namespace vantrel {

struct UpdateCheck;

// "Check For Updates": asks the feed when it opens ("Checking…") and then
// shows whether a newer release exists, with its notes and an action that
// opens its page.
class UpdatesView : public DetailView {
    Q_OBJECT

public:
    explicit UpdatesView(QUrl feed, QWidget* parent = nullptr);

    bool isChecking() const { return m_checking; }

private:
    void show(const UpdateCheck& check);

    QUrl m_feed;
    bool m_checking = true;
};

}  // namespace vantrel
