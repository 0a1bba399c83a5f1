#include "ui/toolkit/Icons.h"

#include "ui/toolkit/RemoteImages.h"
#include "ui/toolkit/Theme.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QUrl>

#include <functional>

#include <cmath>

// Q_INIT_RESOURCE has to be called from the global namespace.
static void initialiseIconResources() {
    static const bool initialised = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(initialised);
}

namespace vantrel {

namespace {

constexpr int cacheLimit = 4000;

QHash<QString, QPixmap>& cache() {
    static QHash<QString, QPixmap> pixmaps;
    return pixmaps;
}

int physical(int size, qreal devicePixelRatio) {
    return std::max(1, int(std::lround(size * devicePixelRatio)));
}

QPixmap emptyCanvas(int size, qreal devicePixelRatio) {
    QPixmap canvas(physical(size, devicePixelRatio), physical(size, devicePixelRatio));
    canvas.fill(Qt::transparent);
    canvas.setDevicePixelRatio(devicePixelRatio);
    return canvas;
}

// The image scaled to fit the square, kept in proportion and centred.
QPixmap fitted(const QImage& image, int size, qreal devicePixelRatio) {
    if (image.isNull()) return {};
    const int side = physical(size, devicePixelRatio);
    const QImage scaled = image.size() == QSize(side, side)
                              ? image
                              : image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap canvas = emptyCanvas(size, devicePixelRatio);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Drawn in device pixels: the canvas' ratio would otherwise scale it again.
    painter.scale(1.0 / devicePixelRatio, 1.0 / devicePixelRatio);
    painter.drawImage(QPoint((side - scaled.width()) / 2, (side - scaled.height()) / 2), scaled);
    return canvas;
}

QImage readImage(const QString& path, int side) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize natural = reader.size();
    // Vector images (and large rasters) are decoded directly at the size shown.
    if (natural.isValid() &&
        (reader.format() == "svg" || reader.format() == "svgz" || natural.width() > side || natural.height() > side)) {
        reader.setScaledSize(natural.scaled(side, side, Qt::KeepAspectRatio));
    } else if (!natural.isValid() && (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) ||
                                      path.endsWith(QLatin1String(".svgz"), Qt::CaseInsensitive))) {
        reader.setScaledSize(QSize(side, side));
    }
    return reader.read();
}

QPixmap fromFile(const QString& path, int size, qreal devicePixelRatio) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return {};
    return fitted(readImage(path, physical(size, devicePixelRatio)), size, devicePixelRatio);
}

// Picks an icon theme once when the platform names none (plain X sessions,
// the test display): Adwaita when installed, hicolor behind it.
void ensureIconTheme() {
    static const bool chosen = [] {
        QStringList fallbackPaths = QIcon::fallbackSearchPaths();
        if (!fallbackPaths.contains(QStringLiteral("/usr/share/pixmaps"))) {
            fallbackPaths << QStringLiteral("/usr/share/pixmaps");
            QIcon::setFallbackSearchPaths(fallbackPaths);
        }
        if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
        const QString current = QIcon::themeName();
        if (!current.isEmpty() && current != QLatin1String("hicolor")) return true;
        for (const QString& theme : {QStringLiteral("Adwaita"), QStringLiteral("breeze"), QStringLiteral("Papirus")}) {
            for (const QString& root : QIcon::themeSearchPaths()) {
                if (QFileInfo::exists(root + QLatin1Char('/') + theme + QStringLiteral("/index.theme"))) {
                    QIcon::setThemeName(theme);
                    return true;
                }
            }
        }
        return true;
    }();
    Q_UNUSED(chosen);
}

// "command-clipboard-history-16", "clipboardHistory" and "clipboard" all name
// the same drawing.
QString builtinKey(const QString& name) {
    static const QRegularExpression sizeSuffix(QStringLiteral("-\\d+$"));
    static const QRegularExpression camel(QStringLiteral("([a-z0-9])([A-Z])"));
    QString key = name.trimmed();
    key.replace(camel, QStringLiteral("\\1-\\2"));
    key = key.toLower();
    key.remove(sizeSuffix);
    for (const char* prefix : {"command-", "main-", "icon-", "action-", "package-"}) {
        if (key.startsWith(QLatin1String(prefix)) && key.size() > int(qstrlen(prefix))) {
            key = key.mid(int(qstrlen(prefix)));
            break;
        }
    }
    return key;
}

QString builtinFile(const QString& name) {
    static const QHash<QString, QString> aliases{
        {QStringLiteral("command"), QStringLiteral("command")},
        {QStringLiteral("generic"), QStringLiteral("command")},
        {QStringLiteral("script-commands"), QStringLiteral("script")},
        {QStringLiteral("script"), QStringLiteral("script")},
        {QStringLiteral("scripts"), QStringLiteral("script")},
        {QStringLiteral("terminal"), QStringLiteral("script")},
        {QStringLiteral("calculator"), QStringLiteral("calculator")},
        {QStringLiteral("calculate"), QStringLiteral("calculator")},
        {QStringLiteral("clipboard-history"), QStringLiteral("clipboard")},
        {QStringLiteral("clipboard"), QStringLiteral("clipboard")},
        {QStringLiteral("snippets"), QStringLiteral("snippets")},
        {QStringLiteral("snippet"), QStringLiteral("snippets")},
        {QStringLiteral("quicklinks"), QStringLiteral("quicklinks")},
        {QStringLiteral("quicklink"), QStringLiteral("quicklinks")},
        {QStringLiteral("link"), QStringLiteral("quicklinks")},
        {QStringLiteral("window-management"), QStringLiteral("windows")},
        {QStringLiteral("windows"), QStringLiteral("windows")},
        {QStringLiteral("window"), QStringLiteral("windows")},
        {QStringLiteral("file-search"), QStringLiteral("files")},
        {QStringLiteral("files"), QStringLiteral("files")},
        {QStringLiteral("file"), QStringLiteral("files")},
        {QStringLiteral("system"), QStringLiteral("system")},
        {QStringLiteral("system-commands"), QStringLiteral("system")},
        {QStringLiteral("power"), QStringLiteral("system")},
        {QStringLiteral("search"), QStringLiteral("search")},
        {QStringLiteral("web-searches"), QStringLiteral("search")},
        {QStringLiteral("web-search"), QStringLiteral("search")},
        {QStringLiteral("settings"), QStringLiteral("settings")},
        {QStringLiteral("preferences"), QStringLiteral("settings")},
        {QStringLiteral("vantrel-preferences"), QStringLiteral("settings")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("application"), QStringLiteral("application")},
        {QStringLiteral("app"), QStringLiteral("application")},
        {QStringLiteral("apps"), QStringLiteral("application")},
        {QStringLiteral("list-view"), QStringLiteral("list")},
        {QStringLiteral("list"), QStringLiteral("list")},
        {QStringLiteral("calendar"), QStringLiteral("calendar")},
        {QStringLiteral("globe"), QStringLiteral("globe")},
        {QStringLiteral("url"), QStringLiteral("globe")},
        {QStringLiteral("web"), QStringLiteral("globe")},
        {QStringLiteral("browser-bookmarks"), QStringLiteral("bookmark")},
        {QStringLiteral("bookmarks"), QStringLiteral("bookmark")},
        {QStringLiteral("bookmark"), QStringLiteral("bookmark")},
        {QStringLiteral("floating-notes"), QStringLiteral("note")},
        {QStringLiteral("notes"), QStringLiteral("note")},
        {QStringLiteral("note"), QStringLiteral("note")},
        {QStringLiteral("reminders"), QStringLiteral("reminders")},
        {QStringLiteral("contacts"), QStringLiteral("contacts")},
        {QStringLiteral("dictionary"), QStringLiteral("dictionary")},
        {QStringLiteral("extension"), QStringLiteral("extension")},
        {QStringLiteral("extensions"), QStringLiteral("extension")},
        {QStringLiteral("extensions-store"), QStringLiteral("extension")},
        {QStringLiteral("package-commands"), QStringLiteral("extension")},
        {QStringLiteral("vantrel"), QStringLiteral("vantrel")},
        {QStringLiteral("default"), QStringLiteral("vantrel")},
        {QStringLiteral("image"), QStringLiteral("image")},
        {QStringLiteral("placeholder"), QStringLiteral("image")},
    };
    const auto found = aliases.constFind(builtinKey(name));
    if (found == aliases.constEnd()) return {};
    return QStringLiteral(":/vantrel/icons/") + found.value() + QStringLiteral(".svg");
}

QPixmap builtin(const QString& file, int size, qreal devicePixelRatio) {
    initialiseIconResources();
    return fitted(readImage(file, physical(size, devicePixelRatio)), size, devicePixelRatio);
}

QPixmap themeIcon(const QString& name, int size, qreal devicePixelRatio) {
    if (name.isEmpty()) return {};
    ensureIconTheme();
    QString iconName = name;
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        if (iconName.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) iconName.chop(4);
    }
    QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull()) {
        for (const char* extension : {".svg", ".png", ".xpm"}) {
            const QString path = QStringLiteral("/usr/share/pixmaps/") + iconName + QLatin1String(extension);
            if (QFileInfo(path).isFile()) return fromFile(path, size, devicePixelRatio);
        }
        return {};
    }
    QPixmap pixmap = icon.pixmap(QSize(size, size), devicePixelRatio);
    if (pixmap.isNull()) return {};
    // Themes may answer a smaller size than asked: centre it on the full square.
    if (pixmap.deviceIndependentSize().toSize() != QSize(size, size)) {
        return fitted(pixmap.toImage(), size, devicePixelRatio);
    }
    return pixmap;
}

QString emojiFamily() {
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString& candidate : {QStringLiteral("Noto Color Emoji"), QStringLiteral("Twemoji"),
                                         QStringLiteral("JoyPixels"), QStringLiteral("Noto Emoji")}) {
            if (families.contains(candidate)) return candidate;
        }
        return QString();
    }();
    return family;
}

// "window-layout-L-T-R-B": a screen with the region a window layout gives
// the window, its edges in twelfths of the screen.
QPixmap windowLayout(const QString& name, int size, qreal devicePixelRatio) {
    const QStringList parts = name.mid(int(qstrlen("window-layout-"))).split(QLatin1Char('-'));
    if (parts.size() != 4) return {};
    int edges[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        edges[i] = parts[i].toInt(&ok);
        if (!ok || edges[i] < 0 || edges[i] > 12) return {};
    }
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const Theme& theme = Theme::current();
    const qreal inset = size / 16.0;
    const QRectF screen(inset, inset * 2.5, size - 2 * inset, size - 5 * inset);
    painter.setPen(QPen(theme.secondaryText, std::max<qreal>(1.0, size / 16.0)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(screen, inset, inset);
    const qreal unitX = screen.width() / 12, unitY = screen.height() / 12;
    const QRectF region(screen.x() + edges[0] * unitX, screen.y() + edges[1] * unitY, (edges[2] - edges[0]) * unitX,
                        (edges[3] - edges[1]) * unitY);
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme.accent);
    painter.drawRoundedRect(region.adjusted(inset / 2, inset / 2, -inset / 2, -inset / 2), inset / 2, inset / 2);
    return pixmap;
}

// The emoji drawn large, cut to what it covers and fitted to the square:
// emoji fonts leave different margins around their glyphs.
QPixmap emoji(const QString& text, int size, qreal devicePixelRatio) {
    if (text.isEmpty()) return emptyCanvas(size, devicePixelRatio);
    const int side = physical(size, devicePixelRatio) * 3;
    QImage large(side, side, QImage::Format_ARGB32_Premultiplied);
    large.fill(Qt::transparent);
    {
        QPainter painter(&large);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        QFont font = Theme::current().baseFont;
        if (!emojiFamily().isEmpty()) font.setFamilies({emojiFamily(), font.family()});
        font.setPixelSize(std::max(6, int(side * 0.7)));
        painter.setFont(font);
        painter.setPen(Theme::current().primaryText);
        painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, text);
    }
    int left = side, top = side, right = -1, bottom = -1;
    for (int y = 0; y < side; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(large.constScanLine(y));
        for (int x = 0; x < side; ++x) {
            if (qAlpha(line[x]) <= 8) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return emptyCanvas(size, devicePixelRatio);
    const QRect covered(QPoint(left, top), QPoint(right, bottom));
    // A little air around it, as the drawn icons have.
    const int margin = std::max(covered.width(), covered.height()) / 14;
    return fitted(large.copy(covered.adjusted(-margin, -margin, margin, margin)), size, devicePixelRatio);
}

QPixmap load(const ImageResource& resource, int size, qreal devicePixelRatio);

QPixmap loadUncached(const ImageResource& resource, int size, qreal devicePixelRatio) {
    switch (resource.type) {
        case ImageResource::Type::themed: {
            const auto& chosen = Theme::current().isDark() ? resource.dark : resource.light;
            if (!chosen) return Icons::fallback(size, devicePixelRatio);
            return load(*chosen, size, devicePixelRatio);
        }
        case ImageResource::Type::emoji:
            return emoji(resource.value, size, devicePixelRatio);
        case ImageResource::Type::url: {
            const QUrl url(resource.value);
            QPixmap pixmap;
            if (RemoteImages::isRemote(url)) {
                // Until a download arrives (or when it failed) the placeholder stands in.
                pixmap = fitted(RemoteImages::shared().image(url), size, devicePixelRatio);
            } else if (url.isLocalFile()) {
                pixmap = fromFile(url.toLocalFile(), size, devicePixelRatio);
            } else if (QDir::isAbsolutePath(resource.value)) {
                pixmap = fromFile(resource.value, size, devicePixelRatio);
            }
            if (pixmap.isNull()) pixmap = builtin(builtinFile(QStringLiteral("image")), size, devicePixelRatio);
            return pixmap;
        }
        case ImageResource::Type::named:
            break;
    }
    const QString& name = resource.value;
    if (QDir::isAbsolutePath(name)) {
        QPixmap pixmap = fromFile(name, size, devicePixelRatio);
        return pixmap.isNull() ? Icons::fallback(size, devicePixelRatio) : pixmap;
    }
    if (name.startsWith(QLatin1String("window-layout-"))) {
        QPixmap pixmap = windowLayout(name, size, devicePixelRatio);
        if (!pixmap.isNull()) return pixmap;
    }
    const QString file = builtinFile(name);
    if (!file.isEmpty()) return builtin(file, size, devicePixelRatio);
    QPixmap pixmap = themeIcon(name, size, devicePixelRatio);
    if (!pixmap.isNull()) return pixmap;
    // An unknown name of our own kind of icon still looks like a command.
    if (name.startsWith(QLatin1String("command-"))) {
        return builtin(builtinFile(QStringLiteral("command")), size, devicePixelRatio);
    }
    return Icons::fallback(size, devicePixelRatio);
}

QString cacheKey(const QString& kind, const QString& value, int size, qreal devicePixelRatio) {
    return kind + QLatin1Char('|') + value + QLatin1Char('|') + QString::number(size) + QLatin1Char('|') +
           QString::number(devicePixelRatio) + QLatin1Char('|') +
           (Theme::current().isDark() ? QLatin1Char('d') : QLatin1Char('l'));
}

QPixmap cached(const QString& key, const std::function<QPixmap()>& make) {
    auto& pixmaps = cache();
    const auto found = pixmaps.constFind(key);
    if (found != pixmaps.constEnd()) return found.value();
    QPixmap pixmap = make();
    if (pixmaps.size() >= cacheLimit) pixmaps.clear();
    pixmaps.insert(key, pixmap);
    return pixmap;
}

QPixmap load(const ImageResource& resource, int size, qreal devicePixelRatio) {
    if (resource.type == ImageResource::Type::themed) return loadUncached(resource, size, devicePixelRatio);
    if (resource.type == ImageResource::Type::url) {
        // The placeholder of an image still on its way is not remembered.
        const QUrl url(resource.value);
        if (RemoteImages::isRemote(url) && RemoteImages::shared().state(url) != RemoteImages::State::loaded &&
            RemoteImages::shared().state(url) != RemoteImages::State::failed) {
            QPixmap pixmap = loadUncached(resource, size, devicePixelRatio);
            if (RemoteImages::shared().state(url) != RemoteImages::State::loaded) return pixmap;
        }
    }
    const QString kind = QString::number(int(resource.type)) + QLatin1Char('/') +
                         QString::number(resource.size.width()) + QLatin1Char('x') +
                         QString::number(resource.size.height());
    return cached(cacheKey(kind, resource.value, size, devicePixelRatio),
                  [&] { return loadUncached(resource, size, devicePixelRatio); });
}

}  // namespace

QPixmap Icons::pixmap(const ImageResource& resource, int size, qreal devicePixelRatio) {
    if (size <= 0) return {};
    if (devicePixelRatio <= 0) devicePixelRatio = 1.0;
    return load(resource, size, devicePixelRatio);
}

QPixmap Icons::applicationIcon(const QString& nameOrPath, int size, qreal devicePixelRatio) {
    if (size <= 0) return {};
    if (devicePixelRatio <= 0) devicePixelRatio = 1.0;
    return cached(cacheKey(QStringLiteral("app"), nameOrPath, size, devicePixelRatio), [&] {
        QPixmap pixmap = QDir::isAbsolutePath(nameOrPath) ? fromFile(nameOrPath, size, devicePixelRatio)
                                                          : themeIcon(nameOrPath, size, devicePixelRatio);
        return pixmap.isNull() ? fallback(size, devicePixelRatio) : pixmap;
    });
}

QPixmap Icons::fallback(int size, qreal devicePixelRatio) {
    if (size <= 0) return {};
    if (devicePixelRatio <= 0) devicePixelRatio = 1.0;
    return cached(cacheKey(QStringLiteral("fallback"), {}, size, devicePixelRatio),
                  [&] { return builtin(builtinFile(QStringLiteral("application")), size, devicePixelRatio); });
}

bool Icons::hasBuiltinIcon(const QString& name) {
    return !builtinFile(name).isEmpty();
}

QPixmap Icons::tinted(const QPixmap& pixmap, const QColor& color) {
    if (pixmap.isNull()) return pixmap;
    QPixmap result = pixmap;
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), result.deviceIndependentSize()), color);
    return result;
}

void Icons::clearCache() {
    cache().clear();
}

}  // namespace vantrel
