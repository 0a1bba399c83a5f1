#pragma once

#include "core/rootsearch/RootSearchController.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QTimer;

namespace vantrel {

// The toast strip at the bottom of the launcher window: an icon (a check for
// success, a cross for failure, a spinner while animated), the title and the
// message. Success and failure toasts hide themselves after a few seconds;
// an animated one stays until it is updated or hidden.
class ToastView : public QWidget {
    Q_OBJECT

public:
    explicit ToastView(QWidget* parent = nullptr);
    ~ToastView() override;

    // Shows (or replaces) the toast; onCancel adds a "Cancel" button.
    void present(const Toast& toast, std::function<void()> onCancel = {});
    void dismiss();
    bool isShowingToast() const;
    const Toast& toast() const;
    // How long success and failure toasts stay (3 s unless changed).
    void setAutoHideInterval(int milliseconds);
    bool isSpinning() const;
    bool hasCancelButton() const;
    // Presses the "Cancel" button when the toast has one.
    void cancel();

signals:
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A small floating window that shows one line (and an icon) for a moment,
// while the launcher window is hidden.
class HUDWindow : public QWidget {
    Q_OBJECT

public:
    explicit HUDWindow(QWidget* parent = nullptr);
    ~HUDWindow() override;

    static HUDWindow& shared();
    // Shows text for about two seconds on the screen of the mouse pointer.
    void showText(const QString& text, const std::optional<IconSet>& icon = std::nullopt);
    QString text() const;
    // How long the text stays before it fades (2 s unless changed).
    void setDisplayInterval(int milliseconds);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace vantrel
