#include "features/switcher/ui/WindowSwitcherView.h"

#include "kit/Paths.h"
#include "kit/VantrelError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

namespace vantrel {

WindowSwitcherView::WindowSwitcherView(std::shared_ptr<WindowClient> client, BeforeActivate beforeActivate,
                                       QWidget* parent)
    : ListView(viewTitle, parent), m_client(std::move(client)), m_beforeActivate(std::move(beforeActivate)) {
    setSearchPlaceholder(QStringLiteral("Search open windows…"));
    setEmptyText(QStringLiteral("No Open Windows"));
    reload();
}

QString WindowSwitcherView::iconFile(const WindowClient::OpenWindow& window) {
    const qsizetype pixels = qsizetype(window.iconWidth) * window.iconHeight;
    if (pixels <= 0 || window.iconArgb.size() != size_t(pixels)) return {};
    QImage image(window.iconWidth, window.iconHeight, QImage::Format_ARGB32);
    for (int y = 0; y < window.iconHeight; ++y)
        for (int x = 0; x < window.iconWidth; ++x)
            image.setPixel(x, y, window.iconArgb[size_t(y) * size_t(window.iconWidth) + size_t(x)]);
    // Named by the pixels, so an unchanged icon is written once.
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(window.iconArgb.data()),
                                                qsizetype(window.iconArgb.size() * sizeof(quint32))),
                                 QCryptographicHash::Sha1)
            .toHex();
    const QString folder = QDir(Paths::cacheDir()).filePath(QStringLiteral("WindowIcons"));
    const QString path = QDir(folder).filePath(QString::fromLatin1(digest) + QStringLiteral(".png"));
    if (QFileInfo::exists(path)) return path;
    if (!QDir().mkpath(folder) || !image.save(path, "PNG")) return {};
    return path;
}

void WindowSwitcherView::reload() {
    std::vector<Item> items;
    std::vector<WindowClient::OpenWindow> windows;
    try {
        windows = m_client->openWindows(32);
    } catch (const std::exception& error) {
        setEmptyText(VantrelError::describe(error));
    }
    for (const WindowClient::OpenWindow& window : windows) {
        Item item;
        item.id = QString::number(window.id);
        item.title = window.title.isEmpty() ? QStringLiteral("Untitled window") : window.title;
        item.subtitle = window.applicationClass;
        if (const QString file = iconFile(window); !file.isEmpty())
            item.icon = ImageResource::url(QUrl::fromLocalFile(file), QSize(16, 16));
        if (window.active) item.accessories.push_back({QStringLiteral("Active"), std::nullopt});
        if (window.minimized) item.accessories.push_back({QStringLiteral("Minimized"), std::nullopt});
        const std::shared_ptr<WindowClient> client = m_client;
        const BeforeActivate before = m_beforeActivate;
        const WindowClient::WindowId id = window.id;
        item.actions.push_back(
            MenuItem::make(QStringLiteral("activate"), QStringLiteral("Switch to Window"), [client, before, id] {
                if (before) before();
                client->activate(id);
                return CommandOutcome::done();
            }));
        items.push_back(std::move(item));
    }
    setSections({{QStringLiteral("Windows"), std::move(items)}});
}

}  // namespace vantrel
