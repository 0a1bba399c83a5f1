#include "features/snippets/SnippetPlaceholders.h"

#include <QRegularExpression>
#include <QUuid>

namespace vantrel {

ExpandedSnippet expandSnippetPlaceholders(const QString& text, const SnippetPlaceholderContext& context) {
    static const QRegularExpression placeholder(
        QStringLiteral(R"re(\{(clipboard|date|time|datetime|uuid|cursor)(?:\s+format\s*=\s*"([^"]*)")?\s*\})re"));
    ExpandedSnippet result;
    qsizetype cursorAt = -1;
    qsizetype last = 0;
    auto matches = placeholder.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        result.text += text.mid(last, match.capturedStart() - last);
        last = match.capturedEnd();
        const QString name = match.captured(1);
        const bool hasFormat = match.capturedLength(2) > 0 || match.captured(0).contains(QLatin1String("format"));
        const QString format = match.captured(2);
        if (name == QLatin1String("clipboard")) {
            if (hasFormat) {
                result.text += match.captured(0);
                continue;
            }
            result.text += context.clipboardText ? context.clipboardText() : QString();
        } else if (name == QLatin1String("uuid")) {
            result.text += QUuid::createUuid().toString(QUuid::WithoutBraces);
        } else if (name == QLatin1String("cursor")) {
            if (cursorAt < 0) cursorAt = result.text.size();
        } else if (name == QLatin1String("date")) {
            result.text += context.now.toString(hasFormat ? format : QStringLiteral("yyyy-MM-dd"));
        } else if (name == QLatin1String("time")) {
            result.text += context.now.toString(hasFormat ? format : QStringLiteral("HH:mm"));
        } else {
            result.text += context.now.toString(hasFormat ? format : QStringLiteral("yyyy-MM-dd HH:mm"));
        }
    }
    result.text += text.mid(last);
    if (cursorAt >= 0) result.cursorFromEnd = result.text.size() - cursorAt;
    return result;
}

}  // namespace vantrel
