#include "features/quicklinks/QuicklinkLink.h"

#include <QDir>
#include <QRegularExpression>

namespace vantrel {

namespace {

std::optional<QuicklinkTarget> targetFor(const QString& text) {
    if (text.startsWith(QLatin1Char('~'))) {
        QString path = text;
        if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
            path.replace(0, 1, QDir::homePath());
        else
            return std::nullopt;  // "~user" forms are not expanded
        return QuicklinkTarget{path, true, QUrl::fromLocalFile(path)};
    }
    if (text.startsWith(QLatin1Char('/'))) return QuicklinkTarget{text, true, QUrl::fromLocalFile(text)};
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;
    return QuicklinkTarget{text, false, url};
}

}  // namespace

std::optional<QString> quicklinkPlaceholder(const QString& urlString) {
    static const QRegularExpression braces(QStringLiteral("\\{.*?\\}"));
    const QRegularExpressionMatch match = braces.match(urlString);
    if (!match.hasMatch()) return std::nullopt;
    const QString found = match.captured(0);
    return found.mid(1, found.size() - 2);
}

std::optional<QuicklinkTarget> buildQuicklink(const QString& urlString, const QStringList& arguments) {
    if (urlString.isEmpty()) return std::nullopt;
    QString text = urlString;
    if (const std::optional<QString> placeholder = quicklinkPlaceholder(urlString)) {
        if (arguments.size() != 1 || arguments.first().isEmpty()) return std::nullopt;
        text.replace(QLatin1Char('{') + *placeholder + QLatin1Char('}'), arguments.first());
    }
    return targetFor(text);
}

bool isValidQuicklinkLink(const QString& urlString) {
    const QString trimmed = urlString.trimmed();
    if (trimmed.isEmpty()) return false;
    return targetFor(trimmed).has_value();
}

}  // namespace vantrel
