#pragma once

// The window suites' screenshots: written to build/screenshots (or
// $VANTREL_SCREENSHOTS_DIR), once per appearance, of views held in a panel of
// the window's colour as the launcher window holds them.
#include "ui/toolkit/Theme.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPalette>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace vantrel::test {

inline QString screenshotsDir() {
    QString dir = qEnvironmentVariable("VANTREL_SCREENSHOTS_DIR");
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

// Runs `body` in the light then the dark appearance (`suffix` "light" or
// "dark"), and leaves the light one current.
inline void forEachAppearance(const std::function<void(Theme::Appearance, const QString& suffix)>& body) {
    for (const auto appearance : {Theme::Appearance::light, Theme::Appearance::dark}) {
        Theme::setCurrent(appearance);
        body(appearance, appearance == Theme::Appearance::dark ? QStringLiteral("dark") : QStringLiteral("light"));
    }
    Theme::setCurrent(Theme::Appearance::light);
}

// Writes <screenshots>/<name>.png; a missing or blank picture fails the test.
inline void saveScreenshot(const QImage& image, const QString& name) {
    const QString path = screenshotsDir() + QLatin1Char('/') + name + QStringLiteral(".png");
    ASSERT_FALSE(image.isNull()) << path.toStdString();
    ASSERT_TRUE(image.save(path)) << path.toStdString();
    EXPECT_GT(QFileInfo(path).size(), 1000) << path.toStdString();
}

inline void saveScreenshot(QWidget& widget, const QString& name) {
    QCoreApplication::processEvents();
    saveScreenshot(widget.grab().toImage(), name);
}

// A top-level panel filled with the current theme's window colour; what is
// added to its layout fills it edge to edge.
class ThemedFrame : public QWidget {
public:
    explicit ThemedFrame(QSize size) : m_layout(new QVBoxLayout(this)) {
        resize(size);
        setAutoFillBackground(true);
        m_layout->setContentsMargins(0, 0, 0, 0);
        m_layout->setSpacing(0);
        applyTheme();
    }

    void applyTheme() {
        QPalette colours = palette();
        colours.setColor(QPalette::Window, Theme::current().windowBackground);
        setPalette(colours);
    }

    QVBoxLayout* column() const { return m_layout; }

private:
    QVBoxLayout* m_layout;
};

}  // namespace vantrel::test
