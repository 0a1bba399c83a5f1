#pragma once

#include "core/api/LauncherPresenter.h"
#include "core/rootsearch/RootSearchController.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QKeyEvent;
class QScreen;
class QStackedWidget;

namespace vantrel {

class ActionBar;
class ActionPanel;
class ConfirmSheet;
class LauncherView;
class NoticeBanner;
class RootSearchView;
class SearchBar;
class UserDefaults;

// The launcher window: one frameless floating window that stays on top, with
// the search bar, a navigation stack of views (root search at the bottom),
// the action bar and the action panel. It places itself on the screen the
// "vantrelWindowPresentationMode" setting names, remembers where the user
// dragged it per screen ("mainWindowPositionCache"), and hides when another
// application takes the focus.
class MainWindow : public QWidget, public LauncherPresenter {
    Q_OBJECT

public:
    static constexpr QLatin1String presentationModeKey{"vantrelWindowPresentationMode"};
    static constexpr QLatin1String positionCacheKey{"mainWindowPositionCache"};
    static constexpr QLatin1String appearanceKey{"vantrelAppearance"};
    // Whether the search bar shows the calculator's answer while typing (off unless set).
    static constexpr QLatin1String calculatorHintKey{"showCalculatorAnswerInSearchBar"};
    static constexpr int panelWidth = 750;
    static constexpr int panelHeight = 475;
    static constexpr int cornerRadius = 12;

    enum class PresentationMode { mouseScreen = 0, activeScreen = 1, primaryScreen = 2 };

    using ViewFactory = std::function<LauncherView*(const CommandOutcome&)>;

    // environment: the launcher's hooks handed to commands (may be null); its
    // userDefaults, when set, hold the window's settings.
    MainWindow(RootSearchController& controller, LauncherEnvironment* environment, QWidget* parent = nullptr);
    ~MainWindow() override;

    // MARK: Showing and hiding

    // Places the window (when hidden), raises it and takes the keyboard focus.
    void showWindow();
    void hideWindow() override;
    void toggle();
    // Shown and holding the keyboard focus.
    bool isKeyWindow() const;
    // Hide when another application takes the focus (on by default).
    void setHidesOnDeactivate(bool hides) { m_hidesOnDeactivate = hides; }
    QDateTime windowHiddenLastTime() const { return m_hiddenAt; }
    // Forgets the remembered position on the current screen and centres again.
    void recenter();
    // The screen the window goes to by the presentation mode.
    QScreen* targetScreen() const;
    // Whether a compositor draws the translucent corners and the shadow.
    bool isCompositing() const { return m_compositing; }

    // MARK: Navigation

    void pushView(LauncherView* view);
    void popView();
    void popToRoot();
    bool isAtRoot() const { return m_views.size() <= 1; }
    LauncherView* topView() const { return m_views.empty() ? nullptr : m_views.back(); }
    RootSearchView* rootView() const { return m_root; }
    // Empties the search bar (and the argument fields) of root search.
    void clearSearchBar();
    void setViewFactory(ViewFactory factory) { m_viewFactory = std::move(factory); }

    // MARK: Parts (for the app delegate and tests)

    SearchBar* searchBar() const { return m_searchBar; }
    ActionBar* actionBar() const { return m_actionBar; }
    ActionPanel* actionPanel() const { return m_actionPanel; }
    bool isActionPanelOpen() const;
    void openActionPanel();
    // Shows what a command ended with: hides (and a HUD), a toast, a view.
    void handleOutcome(const CommandOutcome& outcome) override;
    // Re-reads the theme and repaints every part.
    void applyTheme();
    bool isPresentingSheet() const;

    // MARK: Notice

    // A message across the top of the window that stays until replaced or
    // cleared (the welcome of a first start, a hotkey that cannot work).
    struct Notice {
        QString id;
        QString title;
        QString message;
        bool warning = false;
    };
    void setNotice(const std::optional<Notice>& notice);
    const std::optional<Notice>& notice() const { return m_notice; }
    NoticeBanner* noticeBanner() const { return m_noticeBanner; }

    // MARK: LauncherPresenter

    bool isWindowVisible() const override { return isVisible(); }
    // While the window is hidden a toast goes to the HUD instead (callers
    // should have told the user with tell()).
    ToastId showToast(const Toast& toast, std::function<void()> onCancel = {}) override;
    void updateToast(ToastId id, const Toast& toast) override;
    void hideToast(ToastId id) override;
    void showHUD(const QString& text, const std::optional<IconSet>& icon = std::nullopt) override;
    void confirm(const Alert& alert, std::function<void(bool confirmed)> answer) override;
    void copyToClipboard(const QString& text) override;

signals:
    void windowShown();
    void windowHidden();
    void preferencesRequested(const QString& commandId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool handleKey(QWidget* receiver, QKeyEvent* event);
    void handleEscape();
    // Root search asks for the arguments of a command run without them.
    void showArguments(const CommandOutcome& outcome);
    void restoreFocus();
    void runPrimaryAction();
    void perform(const MenuItem& item);
    // A view closing with unsaved input becomes a draft of root search.
    void keepDraft(const LauncherView& view);
    bool runShortcut(QKeyEvent* event);
    void configureSearchBar();
    void updateActionBar();
    void searchTextEdited(const QString& text);
    void placeWindow();
    QString screenKey(const QScreen* screen) const;
    std::optional<QPoint> cachedPosition(const QScreen* screen) const;
    void storePosition();
    void requestActivationFromWindowManager();
    void setWindowClass();
    QScreen* activeWindowScreen() const;
    void focusWindowChanged(QWindow* window);
    UserDefaults& defaults() const;
    QRect panelRect() const;

    RootSearchController& m_controller;
    LauncherEnvironment* m_environment;
    QWidget* m_panel = nullptr;
    SearchBar* m_searchBar = nullptr;
    QStackedWidget* m_stack = nullptr;
    ActionBar* m_actionBar = nullptr;
    ActionPanel* m_actionPanel = nullptr;
    ConfirmSheet* m_sheet = nullptr;
    RootSearchView* m_root = nullptr;
    std::vector<LauncherView*> m_views;
    ViewFactory m_viewFactory;

    bool m_compositing = false;
    int m_shadowMargin = 0;
    bool m_hidesOnDeactivate = true;
    bool m_placing = false;
    bool m_dragging = false;
    QDateTime m_hiddenAt;
    ToastId m_nextToastId = 0;
    ToastId m_currentToast = 0;
    // Toasts and search-bar rewrites seen while an action ran: such an action
    // answered in the window, so the window stays.
    int m_windowReplies = 0;
    bool m_historyBrowsing = false;
    NoticeBanner* m_noticeBanner = nullptr;
    std::optional<Notice> m_notice;
};

}  // namespace vantrel
