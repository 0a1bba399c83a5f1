#pragma once

#include "platform/WindowClient.h"
#include "ui/toolkit/ListView.h"

#include <functional>
#include <memory>

namespace vantrel {

// The list of "Switch Apps": one row per open window (its icon, title and
// application), the most recently used first; Return brings it to the front.
class WindowSwitcherView : public ListView {
    Q_OBJECT

public:
    inline static const QString viewTitle = QStringLiteral("Switch Apps");
    // Runs before a window is activated (the launcher hides itself).
    using BeforeActivate = std::function<void()>;

    WindowSwitcherView(std::shared_ptr<WindowClient> client, BeforeActivate beforeActivate, QWidget* parent = nullptr);

    void reload();

    // The PNG file a window's icon is written to (in the cache folder), or
    // empty when the window has no icon.
    static QString iconFile(const WindowClient::OpenWindow& window);

private:
    std::shared_ptr<WindowClient> m_client;
    BeforeActivate m_beforeActivate;
};

}  // namespace vantrel
