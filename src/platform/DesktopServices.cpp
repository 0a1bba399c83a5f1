#include "platform/DesktopServices.h"

#include "kit/VantrelError.h"
#include "platform/Platform.h"

#include <QDir>

namespace vantrel {

namespace {

DesktopServices& installedDesktop() {
    const std::shared_ptr<DesktopServices>& desktop = platform().desktop;
    if (!desktop) throw VantrelError(QStringLiteral("There is no desktop to open links and applications with."));
    return *desktop;
}

}  // namespace

void DesktopServices::openText(const QString& urlOrPath) {
    const QString text = urlOrPath.trimmed();
    if (text.isEmpty()) throw VantrelError(QStringLiteral("Cannot open an empty location."));
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/"))) {
        open(QUrl::fromLocalFile(QDir::cleanPath(QDir::homePath() + text.mid(1))));
        return;
    }
    if (text.startsWith(QLatin1Char('/'))) {
        open(QUrl::fromLocalFile(QDir::cleanPath(text)));
        return;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        throw VantrelError(QStringLiteral("Cannot open \"%1\": it is neither a URL nor an absolute path.").arg(text));
    }
    open(url);
}

void openOnDesktop(const QUrl& url) {
    installedDesktop().open(url);
}

void openTextOnDesktop(const QString& urlOrPath) {
    installedDesktop().openText(urlOrPath);
}

void launchOnDesktop(const QString& desktopFilePath, const QList<QUrl>& urls) {
    installedDesktop().launch(desktopFilePath, urls);
}

}  // namespace vantrel
