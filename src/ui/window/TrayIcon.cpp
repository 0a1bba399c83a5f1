#include "ui/window/TrayIcon.h"

#include "core/shell/AppRouter.h"

#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

namespace vantrel {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), m_menu(std::make_unique<QMenu>()) {
    m_menu->addAction(QStringLiteral("Open Vantrel"), this, &TrayIcon::openRequested);
    m_menu->addAction(QStringLiteral("Preferences…"), this, &TrayIcon::preferencesRequested);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Quit Vantrel"), this, &TrayIcon::quitRequested);
}

TrayIcon::~TrayIcon() {
    if (m_icon) m_icon->hide();
}

QIcon TrayIcon::applicationIcon() {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("vantrel"));
    if (!themed.isNull()) return themed;
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        if (pixmap.loadFromData(DesktopIntegration::iconSvg(), "SVG"))
            icon.addPixmap(pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    return icon;
}

bool TrayIcon::show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(applicationIcon(), this);
        m_icon->setToolTip(QStringLiteral("Vantrel"));
        m_icon->setContextMenu(m_menu.get());
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit openRequested();
        });
    }
    m_icon->show();
    return true;
}

void TrayIcon::showWhenTrayAppears(std::chrono::milliseconds interval) {
    if (show()) return;
    if (!m_retry) {
        m_retry = new QTimer(this);
        connect(m_retry, &QTimer::timeout, this, [this] {
            if (!show()) return;
            m_retry->stop();
            emit shown();
        });
    }
    m_retry->start(interval);
}

bool TrayIcon::isVisible() const {
    return m_icon && m_icon->isVisible();
}

}  // namespace vantrel
