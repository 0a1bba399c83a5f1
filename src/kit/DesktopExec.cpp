#include "kit/DesktopExec.h"

namespace vantrel {

QString desktopExecArgument(const QString& argument) {
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QLatin1String("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=");
    bool needsQuotes = escaped.isEmpty();
    for (const QChar c : escaped)
        if (reserved.contains(c)) needsQuotes = true;
    if (!needsQuotes) return escaped;
    QString quoted;
    for (const QChar c : escaped) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // The value is itself a string of the key file: its backslashes are doubled.
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace vantrel
