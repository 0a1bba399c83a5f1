#include "ui/toolkit/OAuthSignInView.h"

#include "core/api/LauncherPresenter.h"
#include "kit/Logger.h"
#include "ui/toolkit/NoticeBanner.h"
#include "ui/toolkit/Theme.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vantrel {

namespace {

const Logger& logger() {
    static const Logger instance(Logger::Category{QStringLiteral("SignIn"), QStringLiteral("🔐")});
    return instance;
}

}  // namespace

OAuthSignInView::OAuthSignInView(OAuthController& controller, QWidget* parent)
    : LauncherView(parent), m_controller(&controller) {
    const QString name = controller.config().packageName;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(12);
    m_notice = new NoticeBanner(this);
    layout->addWidget(m_notice);
    m_heading = new QLabel(QStringLiteral("Connect your %1 account").arg(name), this);
    QFont headingFont = m_heading->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    headingFont.setBold(true);
    m_heading->setFont(headingFont);
    layout->addWidget(m_heading);
    m_body = new QLabel(QStringLiteral("Vantrel signs in to %1 in your browser and keeps the session in your keyring. "
                                       "Press Return to open the browser, or sign in with a code on another device.")
                            .arg(name),
                        this);
    m_body->setWordWrap(true);
    layout->addWidget(m_body);
    m_code = new QLabel(this);
    QFont codeFont = Theme::current().monospaceFont;
    codeFont.setPointSizeF(codeFont.pointSizeF() * 1.8);
    codeFont.setBold(true);
    m_code->setFont(codeFont);
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_code->hide();
    layout->addWidget(m_code);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    layout->addStretch(1);

    connect(&controller, &QObject::destroyed, this, [this] { setPhase(Phase::failed, QStringLiteral("Sign-in is not available any more.")); });
}

OAuthSignInView::~OAuthSignInView() {
    if (m_controller && m_controller->isAuthorizing()) m_controller->cancelAuthorization();
}

OAuthSignInView* OAuthSignInView::forInvalidatedToken(OAuthController& controller, QWidget* parent) {
    logger().info("Token invalidated for package. Presenting authorization view.",
                  {{QStringLiteral("package"), controller.config().packageName}});
    auto* view = new OAuthSignInView(controller, parent);
    view->m_notice->present(tokenInvalidatedToastTitle(controller.config().packageName), tokenInvalidatedToastMessage(),
                            true);
    return view;
}

QString OAuthSignInView::title() const {
    return m_controller ? QStringLiteral("Sign In to ") + m_controller->config().packageName : QStringLiteral("Sign In");
}

QString OAuthSignInView::statusText() const { return m_status->text(); }

std::vector<MenuItem> OAuthSignInView::actions() const {
    QPointer<OAuthSignInView> self(const_cast<OAuthSignInView*>(this));
    std::vector<MenuItem> items;
    if (m_phase == Phase::waitingForBrowser || m_phase == Phase::waitingForCode) {
        if (m_phase == Phase::waitingForCode && m_deviceCode) {
            const QString code = m_deviceCode->userCode;
            items.push_back(MenuItem::make(QStringLiteral("copySignInCode"), QStringLiteral("Copy Code"), [self, code] {
                if (self && self->presenter()) self->presenter()->copyToClipboard(code);
                return CommandOutcome{};
            }));
        }
        items.push_back(MenuItem::make(QStringLiteral("cancelSignIn"), QStringLiteral("Cancel Sign-In"), [self] {
            if (self) self->cancel();
            return CommandOutcome{};
        }));
        return items;
    }
    if (m_phase == Phase::signedIn) return items;
    items.push_back(MenuItem::make(QStringLiteral("signInWithBrowser"), QStringLiteral("Sign In with Browser"), [self] {
        if (self) self->startBrowserSignIn();
        return CommandOutcome{};
    }));
    items.push_back(MenuItem::make(QStringLiteral("signInWithCode"), QStringLiteral("Sign In with a Code"), [self] {
        if (self) self->startCodeSignIn();
        return CommandOutcome{};
    }));
    return items;
}

void OAuthSignInView::setSignInProblem(const QString& problem) {
    m_signInProblem = problem;
    setPhase(Phase::failed, problem);
}

void OAuthSignInView::startBrowserSignIn() {
    if (!m_controller) return;
    if (m_signInProblem) {
        finished(VantrelError(*m_signInProblem));
        return;
    }
    setPhase(Phase::waitingForBrowser, QStringLiteral("Waiting for your browser… Finish signing in there."));
    QPointer<OAuthSignInView> self(this);
    m_controller->authorize([self](const Result<OAuthSession>& result) {
        if (self) self->finished(result);
    });
}

void OAuthSignInView::startCodeSignIn() {
    if (!m_controller) return;
    if (m_signInProblem) {
        finished(VantrelError(*m_signInProblem));
        return;
    }
    setPhase(Phase::waitingForCode, QStringLiteral("Asking for a sign-in code…"));
    QPointer<OAuthSignInView> self(this);
    m_controller->authorizeWithDevice(
        [self](const OAuthDeviceAuthorization& code) {
            if (!self) return;
            self->m_deviceCode = code;
            self->m_code->setText(code.userCode);
            self->m_code->show();
            self->setPhase(Phase::waitingForCode,
                           QStringLiteral("Open %1 and enter this code. Waiting for you to approve…")
                               .arg(code.verificationURI.toString()));
            try {
                openInBrowser(code.verificationURIComplete.value_or(code.verificationURI), {});
            } catch (const VantrelError& error) {
                logger().warning("Cannot open the browser for the code", {{QStringLiteral("error"), error.errorDescription()}});
            }
        },
        [self](const Result<OAuthSession>& result) {
            if (self) self->finished(result);
        });
}

void OAuthSignInView::cancel() {
    if (m_controller && m_controller->isAuthorizing()) m_controller->cancelAuthorization();
}

void OAuthSignInView::finished(const Result<OAuthSession>& result) {
    m_deviceCode.reset();
    m_code->hide();
    const QString name = m_controller ? m_controller->config().packageName : QString();
    if (result.isFailure()) {
        const QString message = result.error().errorDescription();
        setPhase(Phase::failed, message);
        if (presenter()) presenter()->tell(Toast{Toast::Style::failure, QStringLiteral("Sign-in failed"), message});
        return;
    }
    m_notice->dismiss();
    setPhase(Phase::signedIn, QStringLiteral("Signed in."));
    if (presenter()) presenter()->tell(Toast{Toast::Style::success, QStringLiteral("Signed in to ") + name, {}});
    if (onSignedIn) onSignedIn(result.value());
}

void OAuthSignInView::setPhase(Phase phase, const QString& text) {
    m_phase = phase;
    m_status->setText(text);
    const Theme& theme = Theme::current();
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, phase == Phase::failed ? theme.failure : theme.secondaryText);
    m_status->setPalette(palette);
    emit actionsChanged();
}

void tellTokenInvalidated(LauncherPresenter& presenter, const QString& packageName) {
    presenter.tell(Toast{Toast::Style::failure, tokenInvalidatedToastTitle(packageName), tokenInvalidatedToastMessage()});
}

}  // namespace vantrel
