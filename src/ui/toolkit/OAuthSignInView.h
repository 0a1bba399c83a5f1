#pragma once

#include "net/OAuth.h"
#include "ui/toolkit/LauncherView.h"

#include <QPointer>

#include <functional>
#include <optional>

class QLabel;

namespace vantrel {

class LauncherPresenter;
class NoticeBanner;

// The screen an integration shows while its account is not connected: what
// connecting does, and the ways to sign in. Return opens the browser (the
// loopback sign-in); "Sign In with a Code" uses the device flow, showing the
// code to type at the service. While a sign-in runs the view says so and
// offers to cancel; a failure is shown in the view and as a failure toast.
// When the stored session was refused, the view says so at the top.
class OAuthSignInView : public LauncherView {
    Q_OBJECT

public:
    enum class Phase { idle, waitingForBrowser, waitingForCode, failed, signedIn };

    OAuthSignInView(OAuthController& controller, QWidget* parent = nullptr);
    ~OAuthSignInView() override;

    // The view for a session the service refused: logs it and shows the
    // notice "Authorization failed for <name>" / "Please connect your account again".
    static OAuthSignInView* forInvalidatedToken(OAuthController& controller, QWidget* parent = nullptr);

    // Called once the session is stored (the integration replaces the view).
    std::function<void(const OAuthSession& session)> onSignedIn;

    // Why signing in cannot start here (a missing client id, say): the view
    // says so at once, and both ways to sign in report it instead of starting.
    void setSignInProblem(const QString& problem);

    QString title() const override;
    std::vector<MenuItem> actions() const override;

    void startBrowserSignIn();
    void startCodeSignIn();
    void cancel();

    Phase phase() const { return m_phase; }
    QString statusText() const;
    // The device-flow code while one is shown.
    const std::optional<OAuthDeviceAuthorization>& deviceCode() const { return m_deviceCode; }
    NoticeBanner* notice() const { return m_notice; }

private:
    void setPhase(Phase phase, const QString& text);
    void finished(const Result<OAuthSession>& result);

    QPointer<OAuthController> m_controller;
    NoticeBanner* m_notice;
    QLabel* m_heading;
    QLabel* m_body;
    QLabel* m_status;
    QLabel* m_code;
    Phase m_phase = Phase::idle;
    std::optional<OAuthDeviceAuthorization> m_deviceCode;
    std::optional<QString> m_signInProblem;
};

// Tells the user a service refused the stored session: the failure toast
// "Authorization failed for <name>" with "Please connect your account again"
// (the HUD while the window is hidden).
void tellTokenInvalidated(LauncherPresenter& presenter, const QString& packageName);

}  // namespace vantrel
