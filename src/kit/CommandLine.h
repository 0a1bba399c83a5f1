#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace vantrel::cli {

// A line on standard output.
inline void printLine(const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
}

// "vantrel: " and the text on standard error.
inline void printError(const QString& text) {
    std::fputs((QStringLiteral("vantrel: ") + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
}

// The value after `option` in the arguments (removing both), or nothing.
inline std::optional<QString> takeOption(QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
    const QString value = arguments.at(at + 1);
    arguments.remove(at, 2);
    return value;
}

// Whether the flag was there (removing it).
inline bool takeFlag(QStringList& arguments, const QString& flag) {
    return arguments.removeAll(flag) > 0;
}

}  // namespace vantrel::cli
