#include "ui/window/MainWindow.h"

#include "core/rootsearch/LauncherSearch.h"
#include "kit/Logger.h"
#include "kit/UserDefaults.h"
#include "platform/Platform.h"
#include "platform/WindowClient.h"
#include "platform/WindowSystem.h"
#include "ui/toolkit/ActionBar.h"
#include "ui/toolkit/ActionPanel.h"
#include "ui/toolkit/LauncherView.h"
#include "ui/toolkit/NoticeBanner.h"
#include "ui/toolkit/ResultList.h"
#include "ui/toolkit/SearchBar.h"
#include "ui/toolkit/Theme.h"
#include "ui/toolkit/ToastView.h"
#include "ui/window/RootSearchView.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

const Logger& log() {
    static const Logger logger({QStringLiteral("Main Window"), QStringLiteral("🪟")});
    return logger;
}

// On Wayland the compositor is the display server itself.
bool compositorRunning() {
    if (const auto& windows = platform().windows) return windows->compositorRunning();
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

// The key combination a key event types, in the modifier bits menu items use.
std::optional<KeyCombination> combination(const QKeyEvent* event) {
    ModifierKeys modifiers;
    const Qt::KeyboardModifiers qt = event->modifiers();
    if (qt & Qt::ControlModifier) modifiers.insert(ModifierKeys::control);
    if (qt & Qt::AltModifier) modifiers.insert(ModifierKeys::option);
    if (qt & Qt::ShiftModifier) modifiers.insert(ModifierKeys::shift);
    if (qt & Qt::MetaModifier) modifiers.insert(ModifierKeys::command);
    const int key = event->key();
    char32_t character = 0;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        character = char32_t(U'a' + (key - Qt::Key_A));
    else if (key >= Qt::Key_0 && key <= Qt::Key_9)
        character = char32_t(U'0' + (key - Qt::Key_0));
    else if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        character = FunctionKey::f1 + char32_t(key - Qt::Key_F1);
    else {
        switch (key) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                character = U'\r';
                break;
            case Qt::Key_Backspace:
                character = 0x7F;
                break;
            case Qt::Key_Delete:
                character = FunctionKey::forwardDelete;
                break;
            case Qt::Key_Up:
                character = FunctionKey::upArrow;
                break;
            case Qt::Key_Down:
                character = FunctionKey::downArrow;
                break;
            case Qt::Key_Left:
                character = FunctionKey::leftArrow;
                break;
            case Qt::Key_Right:
                character = FunctionKey::rightArrow;
                break;
            case Qt::Key_Space:
                character = U' ';
                break;
            default: {
                const QString text = event->text();
                if (text.size() == 1 && text.at(0).isPrint()) character = text.at(0).toLower().unicode();
            }
        }
    }
    if (!character) return std::nullopt;
    return KeyCombination{modifiers, KeyEquivalent(character)};
}

bool sameCombination(const KeyCombination& a, const KeyCombination& b) {
    if (a.modifierKeys != b.modifierKeys) return false;
    const auto normal = [](char32_t c) -> char32_t {
        if (c == 0x08) return 0x7F;
        if (c == U'\n' || c == 0x03) return U'\r';
        return (c >= U'A' && c <= U'Z') ? c - U'A' + U'a' : c;
    };
    return normal(a.keyEquivalent.character()) == normal(b.keyEquivalent.character());
}

const MenuItem* findShortcut(const std::vector<MenuItem>& items, const KeyCombination& pressed) {
    for (const MenuItem& item : items) {
        if (!item.isEnabled) continue;
        for (const KeyCombination& shortcut : item.shortcuts)
            if (sameCombination(shortcut, pressed)) return &item;
        if (const auto* submenu = item.submenu())
            if (const MenuItem* found = findShortcut(*submenu, pressed)) return found;
    }
    return nullptr;
}

}  // namespace

// MARK: Confirmation sheet

// A question laid over the window: title, message and two buttons. Return
// confirms, Escape cancels.
class ConfirmSheet : public QWidget {
public:
    explicit ConfirmSheet(QWidget* parent) : QWidget(parent) {
        hide();
        auto* outer = new QVBoxLayout(this);
        outer->setAlignment(Qt::AlignCenter);
        m_card = new QWidget(this);
        m_card->setObjectName(QStringLiteral("confirmCard"));
        m_card->setFixedWidth(340);
        auto* layout = new QVBoxLayout(m_card);
        layout->setContentsMargins(24, 22, 24, 18);
        layout->setSpacing(8);
        m_title = new QLabel(m_card);
        m_title->setWordWrap(true);
        m_title->setAlignment(Qt::AlignCenter);
        m_message = new QLabel(m_card);
        m_message->setWordWrap(true);
        m_message->setAlignment(Qt::AlignCenter);
        layout->addWidget(m_title);
        layout->addWidget(m_message);
        layout->addSpacing(10);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        m_cancel = new QPushButton(m_card);
        m_confirm = new QPushButton(m_card);
        for (QPushButton* button : {m_cancel, m_confirm}) {
            button->setFixedHeight(32);
            button->setCursor(Qt::PointingHandCursor);
            buttons->addWidget(button);
        }
        layout->addLayout(buttons);
        outer->addWidget(m_card);
        QObject::connect(m_cancel, &QPushButton::clicked, this, [this] { finish(false); });
        QObject::connect(m_confirm, &QPushButton::clicked, this, [this] { finish(true); });
    }

    void ask(const Alert& alert, std::function<void(bool)> answer) {
        if (m_answer) finish(false);
        m_answer = std::move(answer);
        m_destructive = alert.destructive;
        m_title->setText(alert.title);
        m_message->setText(alert.message);
        m_message->setVisible(!alert.message.isEmpty());
        m_cancel->setText(alert.cancelTitle.isEmpty() ? QStringLiteral("Cancel") : alert.cancelTitle);
        m_confirm->setText(alert.confirmTitle.isEmpty() ? QStringLiteral("OK") : alert.confirmTitle);
        applyStyle();
        setGeometry(parentWidget()->rect());
        show();
        raise();
        m_confirm->setFocus();
    }

    void applyStyle() {
        const Theme& theme = Theme::current();
        theme.styleTitleAndMessage(m_title, m_message);
        const QString button = QStringLiteral(
            "QPushButton { border-radius: 7px; padding: 0 14px; background: %1; color: %2; border: 1px solid %3; }"
            "QPushButton:focus { border: 1px solid %4; }");
        m_cancel->setStyleSheet(button.arg(Theme::cssColor(theme.fieldBackground), Theme::cssColor(theme.primaryText),
                                           Theme::cssColor(theme.fieldBorder), Theme::cssColor(theme.accent)));
        const QColor strong = m_destructive ? theme.failure : theme.accent;
        m_confirm->setStyleSheet(button.arg(Theme::cssColor(strong), Theme::cssColor(theme.accentText),
                                            Theme::cssColor(strong), Theme::cssColor(strong.lighter(130))));
        m_cancel->setFont(theme.baseFont);
        m_confirm->setFont(theme.baseFont);
    }

    void finish(bool confirmed) {
        hide();
        auto answer = std::move(m_answer);
        m_answer = nullptr;
        if (onFinished) onFinished();
        if (answer) answer(confirmed);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) return finish(false);
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            return finish(m_cancel->hasFocus() ? false : true);
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right || event->key() == Qt::Key_Tab) {
            (m_confirm->hasFocus() ? m_cancel : m_confirm)->setFocus();
            return;
        }
        QWidget::keyPressEvent(event);
    }

    void paintEvent(QPaintEvent*) override {
        const Theme& theme = Theme::current();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor dim = theme.isDark() ? QColor(0, 0, 0, 110) : QColor(0, 0, 0, 50);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), MainWindow::cornerRadius, MainWindow::cornerRadius);
        painter.fillPath(clip, dim);
        const QRectF card = QRectF(m_card->geometry()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(theme.windowBorder);
        QColor background = theme.isDark() ? theme.windowBackground.lighter(118) : theme.windowBackground;
        background.setAlpha(255);
        painter.setBrush(background);
        painter.drawRoundedRect(card, 12, 12);
    }

private:
    QWidget* m_card;
    QLabel* m_title;
    QLabel* m_message;
    QPushButton* m_cancel;
    QPushButton* m_confirm;
    bool m_destructive = false;
    std::function<void(bool)> m_answer;

public:
    // Gives the keyboard focus back to the window.
    std::function<void()> onFinished;
};

// MARK: Window

MainWindow::MainWindow(RootSearchController& controller, LauncherEnvironment* environment, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_controller(controller),
      m_environment(environment) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Vantrel"));
    m_compositing = compositorRunning();
    if (m_compositing) {
        setAttribute(Qt::WA_TranslucentBackground);
        m_shadowMargin = 24;
    }
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setFocusPolicy(Qt::NoFocus);

    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("panel"));
    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_searchBar = new SearchBar(m_panel);
    m_stack = new QStackedWidget(m_panel);
    m_stack->setAutoFillBackground(false);
    m_actionBar = new ActionBar(m_panel);
    layout->addWidget(m_searchBar);
    layout->addWidget(m_stack, 1);
    layout->addWidget(m_actionBar);
    m_noticeBanner = new NoticeBanner(m_panel);
    layout->insertWidget(layout->indexOf(m_stack), m_noticeBanner);
    m_actionPanel = new ActionPanel(m_panel);
    m_sheet = new ConfirmSheet(m_panel);
    m_sheet->onFinished = [this] { restoreFocus(); };
    resize(panelWidth + 2 * m_shadowMargin, panelHeight + 2 * m_shadowMargin);

    m_root = new RootSearchView(m_controller, m_stack);
    m_root->setPresenter(this);
    m_stack->addWidget(m_root);
    m_views.push_back(m_root);
    connect(m_root, &LauncherView::actionsChanged, this, &MainWindow::updateActionBar);
    connect(m_root, &RootSearchView::toastRequested, this, [this](const Toast& toast) {
        ++m_windowReplies;
        // Late answers (a refresh that ends after the window hid) go to the HUD.
        tell(toast);
    });
    connect(m_root, &RootSearchView::searchTextReplaced, this, [this](const QString& text) {
        ++m_windowReplies;
        m_searchBar->setText(text);
        m_controller.searchTextDidChange(text);
    });
    connect(m_root, &RootSearchView::argumentFieldsChanged, this, [this] {
        if (topView() == m_root) m_searchBar->setArguments(m_controller.searchBar());
    });
    connect(m_root, &RootSearchView::calculatorHintChanged, this,
            [this](const QString& hint) { m_searchBar->setHint(topView() == m_root ? hint : QString()); });
    connect(m_root, &RootSearchView::argumentFocusRequested, this, [this](int index) {
        // Asking for an argument is the window's answer to Return: it stays.
        ++m_windowReplies;
        if (topView() == m_root) m_searchBar->focusField(index);
    });
    connect(m_root, &RootSearchView::commandOutcome, this, &MainWindow::handleOutcome);
    connect(m_root, &RootSearchView::itemActivated, this, &MainWindow::runPrimaryAction);

    connect(m_searchBar, &SearchBar::textEdited, this, &MainWindow::searchTextEdited);
    connect(m_searchBar, &SearchBar::argumentEdited, this, [this](int index, const QString& value) {
        if (topView() == m_root) m_controller.setArgumentValue(index, value);
    });
    connect(m_searchBar, &SearchBar::argumentActivated, this, [this](int index) {
        if (topView() == m_root) m_controller.argumentFieldDidActivate(index);
    });
    connect(m_searchBar, &SearchBar::backClicked, this, [this] {
        if (LauncherView* top = topView(); top && !isAtRoot() && top->goBack()) return;
        popView();
    });
    connect(m_actionBar, &ActionBar::primaryActionClicked, this, &MainWindow::runPrimaryAction);
    connect(m_actionBar, &ActionBar::actionsClicked, this, &MainWindow::openActionPanel);
    connect(m_actionPanel, &ActionPanel::triggered, this, &MainWindow::perform);
    connect(m_actionPanel, &ActionPanel::closed, this, &MainWindow::restoreFocus);

    m_controller.setIsKeyWindow([this] { return isKeyWindow(); });
    if (m_environment) m_controller.setEnvironment(m_environment);
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::focusWindowChanged);

    // The native window exists from here on, so its class can be set.
    winId();
    setWindowClass();
    applyTheme();
    configureSearchBar();
    updateActionBar();
    log().info("Main window created", {{QStringLiteral("compositing"), m_compositing ? "true" : "false"}});
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    m_controller.setEventHandler({});
    m_controller.setIsKeyWindow({});
}

UserDefaults& MainWindow::defaults() const {
    return m_environment && m_environment->userDefaults ? *m_environment->userDefaults : UserDefaults::standard();
}

QRect MainWindow::panelRect() const {
    return rect().adjusted(m_shadowMargin, m_shadowMargin, -m_shadowMargin, -m_shadowMargin);
}

// MARK: Showing and hiding

void MainWindow::showWindow() {
    const bool wasVisible = isVisible();
    if (!wasVisible) {
        // The window the user is in, for the commands that arrange it.
        if (const auto& windowClient = platform().windowClient)
            if (const auto client = windowClient(nullptr)) client->rememberActiveWindow(quintptr(winId()));
        placeWindow();
        m_controller.setShowsCalculator(defaults().value(QString(calculatorHintKey)).toBool());
        m_root->viewDidAppear();
    }
    show();
    raise();
    activateWindow();
    if (QWindow* handle = windowHandle()) handle->requestActivate();
    requestActivationFromWindowManager();
    restoreFocus();
    updateActionBar();
    if (!wasVisible) emit windowShown();
}

void MainWindow::hideWindow() {
    if (!isVisible()) return;
    m_actionPanel->close();
    if (isPresentingSheet()) m_sheet->finish(false);
    m_dragging = false;
    hide();
    m_hiddenAt = QDateTime::currentDateTime();
    m_historyBrowsing = false;
    emit windowHidden();
}

void MainWindow::toggle() {
    if (isKeyWindow())
        hideWindow();
    else
        showWindow();
}

bool MainWindow::isKeyWindow() const {
    return isVisible() && windowHandle() && QGuiApplication::focusWindow() == windowHandle();
}

bool MainWindow::isPresentingSheet() const {
    return m_sheet && m_sheet->isVisible();
}

void MainWindow::focusWindowChanged(QWindow* window) {
    if (window || !isVisible() || !m_hidesOnDeactivate || isPresentingSheet()) return;
    // Focus moving between two of our windows passes through "none" for a moment.
    QTimer::singleShot(80, this, [this] {
        if (!QGuiApplication::focusWindow() && isVisible() && m_hidesOnDeactivate && !isPresentingSheet() &&
            !m_dragging) {
            log().debug("Hiding the window: another application took the focus");
            hideWindow();
        }
    });
}

// MARK: Placement

QString MainWindow::screenKey(const QScreen* screen) const {
    const QRect g = screen->geometry();
    return QStringLiteral("%1@%2x%3+%4+%5").arg(screen->name()).arg(g.width()).arg(g.height()).arg(g.x()).arg(g.y());
}

std::optional<QPoint> MainWindow::cachedPosition(const QScreen* screen) const {
    const QVariantMap cache = defaults().value(QString(positionCacheKey)).toMap();
    const QString value = cache.value(screenKey(screen)).toString();
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() != 2) return std::nullopt;
    bool okX = false, okY = false;
    const QPoint point(parts[0].toInt(&okX), parts[1].toInt(&okY));
    if (!okX || !okY) return std::nullopt;
    // A position that would put the window off this screen is forgotten.
    if (!screen->availableGeometry().intersects(QRect(point, QSize(panelWidth, panelHeight)))) return std::nullopt;
    return point;
}

void MainWindow::storePosition() {
    QScreen* current = screen();
    if (!current) return;
    const QPoint topLeft = pos() + QPoint(m_shadowMargin, m_shadowMargin);
    QVariantMap cache = defaults().value(QString(positionCacheKey)).toMap();
    cache.insert(screenKey(current), QStringLiteral("%1,%2").arg(topLeft.x()).arg(topLeft.y()));
    defaults().setValue(QString(positionCacheKey), cache);
}

void MainWindow::recenter() {
    if (QScreen* current = isVisible() ? screen() : targetScreen()) {
        QVariantMap cache = defaults().value(QString(positionCacheKey)).toMap();
        cache.remove(screenKey(current));
        defaults().setValue(QString(positionCacheKey), cache);
    }
    placeWindow();
}

QScreen* MainWindow::activeWindowScreen() const {
    const auto& windows = platform().windows;
    if (!windows) return nullptr;
    const std::optional<QRect> active = windows->activeWindowGeometry(quintptr(winId()));
    if (!active) return nullptr;
    const qreal ratio = qApp->devicePixelRatio();
    const QPoint centre(int((active->x() + active->width() / 2) / ratio),
                        int((active->y() + active->height() / 2) / ratio));
    return QGuiApplication::screenAt(centre);
}

QScreen* MainWindow::targetScreen() const {
    const int mode = defaults().value(QString(presentationModeKey)).toInt();
    QScreen* chosen = nullptr;
    switch (PresentationMode(mode)) {
        case PresentationMode::activeScreen:
            chosen = activeWindowScreen();
            break;
        case PresentationMode::primaryScreen:
            if (!QGuiApplication::screens().isEmpty()) chosen = QGuiApplication::screens().first();
            break;
        case PresentationMode::mouseScreen:
            break;
    }
    if (!chosen) chosen = QGuiApplication::screenAt(QCursor::pos());
    return chosen ? chosen : QGuiApplication::primaryScreen();
}

void MainWindow::placeWindow() {
    QScreen* target = targetScreen();
    if (!target) return;
    const QRect available = target->availableGeometry();
    QPoint topLeft;
    if (const auto cached = cachedPosition(target)) {
        topLeft = *cached;
    } else {
        // Centred, a little above the middle.
        topLeft = QPoint(available.x() + (available.width() - panelWidth) / 2,
                         available.y() + int((available.height() - panelHeight) * 0.38));
    }
    m_placing = true;
    if (windowHandle()) windowHandle()->setScreen(target);
    move(topLeft - QPoint(m_shadowMargin, m_shadowMargin));
    m_placing = false;
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (m_dragging && !m_placing && isVisible()) storePosition();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // The window has no title bar: dragging its empty parts moves it.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        m_dragging = true;
        windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainWindow::setWindowClass() {
    if (const auto& windows = platform().windows)
        windows->setWindowClass(quintptr(winId()), QByteArrayLiteral("vantrel"), QByteArrayLiteral("vantrel"));
}

// Asks the window manager for the focus the way pagers do, which window
// managers with focus-stealing prevention accept.
void MainWindow::requestActivationFromWindowManager() {
    if (const auto& windows = platform().windows) windows->requestActivation(quintptr(winId()));
}

void MainWindow::restoreFocus() {
    const std::optional<int> argument = m_controller.searchBar().focusedArgumentIndex;
    if (topView() == m_root && argument && *argument < m_searchBar->argumentCount())
        m_searchBar->focusField(*argument);
    else if (m_searchBar->isEditable())
        m_searchBar->focusText();
    else if (LauncherView* top = topView())
        top->setFocus();
}

// MARK: Navigation

void MainWindow::pushView(LauncherView* view) {
    ++m_windowReplies;
    if (!view) return;
    m_actionPanel->close();
    if (LauncherView* top = topView()) top->viewWillDisappear();
    view->setPresenter(this);
    view->setParent(m_stack);
    m_stack->addWidget(view);
    m_views.push_back(view);
    m_stack->setCurrentWidget(view);
    connect(view, &LauncherView::actionsChanged, this, [this, view] {
        if (topView() == view) updateActionBar();
    });
    connect(view, &LauncherView::popRequested, this, [this, view] {
        if (topView() == view) popView();
    });
    connect(view, &LauncherView::searchBarChanged, this, [this, view] {
        if (topView() == view) configureSearchBar();
    });
    configureSearchBar();
    view->viewDidAppear();
    updateActionBar();
}

void MainWindow::popView() {
    if (isAtRoot()) return;
    m_actionPanel->close();
    LauncherView* view = m_views.back();
    view->viewWillDisappear();
    keepDraft(*view);
    m_views.pop_back();
    m_stack->removeWidget(view);
    view->deleteLater();
    m_stack->setCurrentWidget(m_views.back());
    configureSearchBar();
    m_views.back()->viewDidAppear();
    updateActionBar();
}

void MainWindow::keepDraft(const LauncherView& view) {
    if (view.commandId().isEmpty()) return;
    std::optional<QVariant> state = view.draftState();
    if (!state) return;
    auto command = m_controller.launcherSearch().registry().command(CommandIdentifier(view.commandId()));
    if (!command) return;
    m_controller.addDraft(Draft{std::move(command), std::move(*state), view.title()});
}

void MainWindow::popToRoot() {
    while (!isAtRoot()) popView();
}

void MainWindow::clearSearchBar() {
    m_controller.clearArguments();
    m_historyBrowsing = false;
    if (topView() == m_root) m_searchBar->setText(QString());
    if (!m_controller.searchText().isEmpty() || m_controller.sections().empty())
        m_controller.searchTextDidChange(QString());
}

void MainWindow::configureSearchBar() {
    LauncherView* top = topView();
    if (!top) return;
    const bool root = top == m_root;
    m_searchBar->setShowsBackButton(!root);
    m_searchBar->setEditable(top->usesSearchBar(), top->title());
    if (root) {
        m_searchBar->setText(m_controller.searchText());
        m_searchBar->setArguments(m_controller.searchBar());
        m_searchBar->setHint(m_controller.calculatorHint());
    } else {
        m_searchBar->setText(top->searchText());
        m_searchBar->setArguments({});
    }
    m_searchBar->setPlaceholder(top->searchPlaceholder());
    if (top->usesSearchBar())
        m_searchBar->focusText();
    else
        top->setFocus();
}

void MainWindow::searchTextEdited(const QString& text) {
    m_historyBrowsing = false;
    if (LauncherView* top = topView()) top->searchTextChanged(text);
}

void MainWindow::updateActionBar() {
    LauncherView* top = topView();
    if (!top) return;
    if (top == m_root) {
        const ListItem* item = m_controller.selectedItem();
        QString primary;
        if (item && item->actionProvider)
            if (const auto action = item->actionProvider->primaryAction()) primary = action->title;
        m_actionBar->setContext({}, QString());
        m_actionBar->setPrimaryActionTitle(primary);
        m_actionBar->setHasActions(item != nullptr);
    } else {
        const std::vector<MenuItem> actions = top->actions();
        m_actionBar->setContext({}, top->title());
        m_actionBar->setPrimaryActionTitle(actions.empty() ? QString() : actions.front().title);
        m_actionBar->setHasActions(!actions.empty());
    }
}

// MARK: Actions

bool MainWindow::isActionPanelOpen() const {
    return m_actionPanel->isOpen();
}

void MainWindow::openActionPanel() {
    LauncherView* top = topView();
    if (!top) return;
    std::vector<MenuItem> items = top->actions();
    if (items.empty()) return;
    const QString title = top == m_root ? m_root->actionPanelTitle() : top->title();
    m_actionPanel->open(title, std::move(items));
    m_actionPanel->reposition(ActionBar::barHeight);
}

void MainWindow::runPrimaryAction() {
    LauncherView* top = topView();
    if (!top) return;
    if (top == m_root) {
        if (!m_controller.selectedItem()) return;
        m_windowReplies = 0;
        m_historyBrowsing = false;
        const CommandOutcome outcome = m_root->chooseSelected();
        if (outcome.kind == CommandOutcome::Kind::done && outcome.hudText.isEmpty() && !outcome.resultText &&
            m_windowReplies > 0)
            return;
        handleOutcome(outcome);
        return;
    }
    const std::vector<MenuItem> actions = top->actions();
    if (!actions.empty()) perform(actions.front());
}

void MainWindow::perform(const MenuItem& item) {
    if (item.loadSubmenu) {
        m_actionPanel->openSubmenu(item);
        m_actionPanel->reposition(ActionBar::barHeight);
        return;
    }
    if (item.submenu()) {
        m_actionPanel->open(item.title, *item.submenu());
        m_actionPanel->reposition(ActionBar::barHeight);
        return;
    }
    m_windowReplies = 0;
    const CommandOutcome outcome = item.perform();
    // An action that answered inside the window (a toast, new search text)
    // leaves it open.
    if (outcome.kind == CommandOutcome::Kind::done && outcome.hudText.isEmpty() && !outcome.resultText &&
        m_windowReplies > 0)
        return;
    handleOutcome(outcome);
}

void MainWindow::handleOutcome(const CommandOutcome& outcome) {
    switch (outcome.kind) {
        case CommandOutcome::Kind::done: {
            if (!outcome.toastTitle.isEmpty()) {
                // The window stays: the toast says what happened (the HUD when it is hidden).
                if (outcome.resultText) copyToClipboard(*outcome.resultText);
                tell({Toast::Style::success, outcome.toastTitle, {}});
                break;
            }
            QString hud = outcome.hudText;
            if (outcome.resultText) {
                copyToClipboard(*outcome.resultText);
                if (hud.isEmpty()) hud = QStringLiteral("Copied to Clipboard");
            }
            hideWindow();
            if (!hud.isEmpty()) showHUD(hud);
            break;
        }
        case CommandOutcome::Kind::failed:
            tell({Toast::Style::failure, outcome.title, outcome.message});
            break;
        case CommandOutcome::Kind::unavailable:
            tell({Toast::Style::failure, outcome.title.isEmpty() ? QStringLiteral("Not available") : outcome.title,
                  outcome.message});
            break;
        case CommandOutcome::Kind::showArguments:
            showArguments(outcome);
            break;
        case CommandOutcome::Kind::showView: {
            LauncherView* view = m_viewFactory ? m_viewFactory(outcome) : nullptr;
            if (view) {
                view->setCommandId(outcome.commandId);
                pushView(view);
                if (outcome.draftState.isValid()) view->restoreDraft(outcome.draftState);
                if (!isVisible()) showWindow();
            } else {
                showToast(
                    {Toast::Style::failure, QStringLiteral("This command opens a view that is not available yet"), {}});
            }
            break;
        }
        case CommandOutcome::Kind::showPreferences:
            hideWindow();
            emit preferencesRequested(outcome.commandId);
            break;
        case CommandOutcome::Kind::handled:
            break;
    }
}

void MainWindow::showArguments(const CommandOutcome& outcome) {
    popToRoot();
    if (!m_controller.showInputCommand(outcome.commandId, outcome.arguments)) {
        tell({Toast::Style::failure, QStringLiteral("Value is missing in argument"),
              QStringLiteral("The command cannot ask for its arguments here")});
        return;
    }
    ++m_windowReplies;
    showWindow();
    // Shown already, the focus still has to move into the field.
    restoreFocus();
    updateActionBar();
}

bool MainWindow::runShortcut(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool functionKey = event->key() >= Qt::Key_F1 && event->key() <= Qt::Key_F12;
    if (!modifiers && !functionKey) return false;
    const auto pressed = combination(event);
    if (!pressed) return false;
    LauncherView* top = topView();
    if (!top) return false;
    const std::vector<MenuItem> actions = top->actions();
    if (const MenuItem* item = findShortcut(actions, *pressed)) {
        const MenuItem chosen = *item;
        perform(chosen);
        return true;
    }
    return false;
}

// MARK: Keys

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() == this && handleKey(widget, static_cast<QKeyEvent*>(event))) return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::handleKey(QWidget* receiver, QKeyEvent* event) {
    // The panel and the sheet handle their own keys.
    if (isActionPanelOpen() || isPresentingSheet()) return false;
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool inSearchBar =
        receiver == m_searchBar->textField() || m_searchBar->isAncestorOf(receiver) || receiver == this;

    if (key == Qt::Key_K && modifiers == Qt::ControlModifier) {
        openActionPanel();
        return true;
    }
    if (key == Qt::Key_Escape && !modifiers) {
        // A control that closes something of its own first (a token field's suggestions).
        if (receiver->property("keepsEscape").toBool()) return false;
        handleEscape();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !modifiers) {
        if (qobject_cast<QPlainTextEdit*>(receiver) || qobject_cast<QTextEdit*>(receiver)) return false;
        // A control that answers Return itself (a form's button, a token field completing).
        if (receiver->property("keepsReturn").toBool()) return false;
        runPrimaryAction();
        return true;
    }
    if (runShortcut(event)) return true;

    LauncherView* top = topView();
    if (!top) return false;
    const bool editable = m_searchBar->isEditable();
    if (key == Qt::Key_Backspace && !modifiers && !isAtRoot()) {
        const bool emptySearch =
            editable ? (inSearchBar && m_searchBar->text().isEmpty() && m_searchBar->focusedField() < 0)
                     : !qobject_cast<QLineEdit*>(receiver) && !qobject_cast<QPlainTextEdit*>(receiver) &&
                           !qobject_cast<QTextEdit*>(receiver);
        if (emptySearch) {
            popView();
            return true;
        }
    }
    if (!inSearchBar && !(receiver == top || receiver->isAncestorOf(top))) return false;

    if (top == m_root && (key == Qt::Key_Up || key == Qt::Key_Down) && !modifiers) {
        const bool atTop = m_controller.selectedIndex().value_or(0) <= 0;
        if (key == Qt::Key_Up && ((m_searchBar->text().isEmpty() && atTop) || m_historyBrowsing)) {
            if (m_controller.showPreviousHistoryItem()) {
                m_historyBrowsing = true;
                m_searchBar->setText(m_controller.searchText());
                m_searchBar->setArguments(m_controller.searchBar());
                return true;
            }
            if (m_historyBrowsing) return true;
        }
        if (key == Qt::Key_Down && m_historyBrowsing) {
            if (m_controller.showNextHistoryItem()) {
                m_searchBar->setText(m_controller.searchText());
                m_searchBar->setArguments(m_controller.searchBar());
            } else {
                m_historyBrowsing = false;
                clearSearchBar();
            }
            return true;
        }
    }
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            // In an argument field they move the cursor.
            if (top == m_root && m_searchBar->focusedField() >= 0) return false;
            return top->handleKey(event);
        case Qt::Key_N:
        case Qt::Key_J:
        case Qt::Key_P:
            return top->handleKey(event);
        default:
            return false;
    }
}

void MainWindow::handleEscape() {
    // Something still runs and can be stopped (the toast offers Cancel): Escape stops it first.
    if (ToastView* toast = m_actionBar->toastView(); toast->isVisible() && toast->hasCancelButton()) {
        toast->cancel();
        return;
    }
    if (!isAtRoot()) {
        // A view with views of its own goes back one of them first.
        if (LauncherView* top = topView(); top && top->goBack()) return;
        popView();
        return;
    }
    const QStringList arguments = m_controller.argumentValues();
    const bool typedArguments =
        std::any_of(arguments.begin(), arguments.end(), [](const QString& value) { return !value.isEmpty(); });
    if (!m_controller.searchText().isEmpty() || typedArguments || !m_searchBar->text().isEmpty()) {
        clearSearchBar();
        restoreFocus();
        return;
    }
    hideWindow();
}

// MARK: Presenter

LauncherPresenter::ToastId MainWindow::showToast(const Toast& toast, std::function<void()> onCancel) {
    if (!isVisible()) {
        // Nobody would see it: the HUD says it instead.
        log().warning("A toast for the hidden window goes to the HUD", {{QStringLiteral("title"), toast.title}});
        if (toast.style != Toast::Style::animated) showHUD(hudText(toast));
        return ++m_nextToastId;
    }
    // An action that answers with a toast, a question or a view keeps the window open.
    ++m_windowReplies;
    m_currentToast = ++m_nextToastId;
    ToastView* view = m_actionBar->toastView();
    view->present(toast, std::move(onCancel));
    view->show();
    view->raise();
    m_actionBar->update();
    return m_currentToast;
}

void MainWindow::updateToast(ToastId id, const Toast& toast) {
    if (!isVisible()) {
        if (toast.style != Toast::Style::animated) showHUD(hudText(toast));
        return;
    }
    if (id != m_currentToast) return;
    ToastView* view = m_actionBar->toastView();
    view->present(toast);
    view->show();
    m_actionBar->update();
}

void MainWindow::hideToast(ToastId id) {
    if (id != m_currentToast) return;
    ToastView* view = m_actionBar->toastView();
    view->dismiss();
    view->hide();
    m_actionBar->update();
}

void MainWindow::showHUD(const QString& text, const std::optional<IconSet>& icon) {
    HUDWindow::shared().showText(text, icon);
}

void MainWindow::confirm(const Alert& alert, std::function<void(bool confirmed)> answer) {
    ++m_windowReplies;
    // The question needs the user: a hidden window comes up to ask it.
    if (!isVisible()) showWindow();
    m_actionPanel->close();
    m_sheet->ask(alert, std::move(answer));
}

void MainWindow::setNotice(const std::optional<Notice>& notice) {
    m_notice = notice;
    if (notice)
        m_noticeBanner->present(notice->title, notice->message, notice->warning);
    else
        m_noticeBanner->dismiss();
}

void MainWindow::copyToClipboard(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

// MARK: Appearance

void MainWindow::applyTheme() {
    const Theme& theme = Theme::current();
    m_searchBar->themeChanged();
    m_actionBar->themeChanged();
    m_actionPanel->themeChanged();
    m_sheet->applyStyle();
    m_noticeBanner->themeChanged();
    if (m_root) m_root->list()->viewport()->update();
    update();
    (void)theme;
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ThemeChange && event->type() != QEvent::ApplicationPaletteChange) return;
    // The desktop may have switched its colour scheme too; its answer comes later.
    Theme::refreshDesktopColorScheme();
    const QString setting = defaults().value(QString(appearanceKey)).toString();
    const Theme::Appearance wanted = setting == QLatin1String("dark")    ? Theme::Appearance::dark
                                     : setting == QLatin1String("light") ? Theme::Appearance::light
                                                                         : Theme::desktopAppearance();
    if (wanted != Theme::current().appearance) Theme::setCurrent(wanted);
    applyTheme();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_panel->setGeometry(panelRect());
    m_actionPanel->reposition(ActionBar::barHeight);
    if (isPresentingSheet()) m_sheet->setGeometry(m_panel->rect());
    if (!m_compositing) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
}

void MainWindow::paintEvent(QPaintEvent*) {
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = QRectF(panelRect());
    if (m_compositing && m_shadowMargin > 0) {
        // A soft shadow, a little lower than the panel.
        QColor shadow = theme.shadow.isValid() ? theme.shadow : QColor(0, 0, 0, 90);
        const int steps = m_shadowMargin;
        painter.setBrush(Qt::NoBrush);
        for (int i = 1; i <= steps; ++i) {
            const double fade = 1.0 - double(i) / steps;
            QColor c = shadow;
            c.setAlphaF(shadow.alphaF() * fade * fade * 0.22);
            painter.setPen(QPen(c, 1.0));
            painter.drawRoundedRect(panel.adjusted(-i + 0.5, -i + 4.5, i - 0.5, i + 3.5), cornerRadius + i,
                                    cornerRadius + i);
        }
    }
    QColor background = theme.windowBackground;
    if (!m_compositing) background.setAlpha(255);
    painter.setPen(QPen(theme.windowBorder, 1.0));
    painter.setBrush(background);
    painter.drawRoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

}  // namespace vantrel
