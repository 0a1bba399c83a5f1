#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace vantrel {

// The dynamic parts of a snippet's text, filled in when it is inserted:
// {clipboard}, {date}, {time}, {datetime} (each with an optional
// format="…" in Qt's date format), {uuid} and {cursor}. Anything else in
// braces stays as written.
struct ExpandedSnippet {
    QString text;
    // Characters after {cursor}: the caret is moved back by this many after
    // insertion. 0 without {cursor}.
    qsizetype cursorFromEnd = 0;
};

struct SnippetPlaceholderContext {
    std::function<QString()> clipboardText;
    QDateTime now = QDateTime::currentDateTime();
};

ExpandedSnippet expandSnippetPlaceholders(const QString& text, const SnippetPlaceholderContext& context);

}  // namespace vantrel
