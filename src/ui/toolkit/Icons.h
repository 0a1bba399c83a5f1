#pragma once

#include "core/api/CommandOutcome.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vantrel {

// Loads the images of results and actions: application icons of the
// freedesktop icon theme (by name or path), the launcher's own named icons
// ("command-clipboard-history-16", "main-list-view-16" …, drawn from a small
// built-in set with a generic fallback; "window-layout-L-T-R-B" draws a
// screen with the region of a window layout, edges in twelfths), emoji (in the colour emoji font when
// one is installed), files and links. An http(s) link draws the placeholder
// until RemoteImages has it (views repaint on RemoteImages::imageArrived).
// Results are cached.
class Icons {
public:
    // An icon of `size` logical pixels for the resource, in the current theme.
    static QPixmap pixmap(const ImageResource& resource, int size, qreal devicePixelRatio = 1.0);
    // An application's icon: a theme name ("firefox") or an absolute path.
    static QPixmap applicationIcon(const QString& nameOrPath, int size, qreal devicePixelRatio = 1.0);
    // A generic icon for a kind of row when nothing better is known.
    static QPixmap fallback(int size, qreal devicePixelRatio = 1.0);
    // Whether the name is one of the launcher's own drawings.
    static bool hasBuiltinIcon(const QString& name);
    // The pixmap in one colour, its shape kept (menu items with a tint colour).
    static QPixmap tinted(const QPixmap& pixmap, const QColor& color);
    static void clearCache();
};

}  // namespace vantrel
