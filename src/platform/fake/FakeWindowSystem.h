#pragma once

#include "platform/WindowSystem.h"

#include <QList>

namespace vantrel {

// A window system in memory, for tests of code that asks one: answers what
// the test set and records what it was asked to do.
class FakeWindowSystem : public WindowSystem {
public:
    struct WindowClass {
        quintptr window = 0;
        QByteArray instanceName;
        QByteArray className;
    };

    bool compositorRunning() const override { return compositor; }
    std::optional<QRect> activeWindowGeometry(quintptr ownWindow) const override {
        if (activeWindow == 0 || activeWindow == ownWindow) return std::nullopt;
        return activeGeometry;
    }
    void setWindowClass(quintptr window, const QByteArray& instanceName, const QByteArray& className) override {
        windowClasses.append({window, instanceName, className});
    }
    void requestActivation(quintptr window) override { activationRequests.append(window); }

    // What it answers.
    bool compositor = false;
    quintptr activeWindow = 0;  // 0: none is active
    QRect activeGeometry;

    // What it was asked, oldest first.
    QList<WindowClass> windowClasses;
    QList<quintptr> activationRequests;
};

}  // namespace vantrel
