#include "kit/Version.h"

namespace vantrel {

namespace {

bool isAsciiDigits(QStringView text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

bool isValidIdentifier(QStringView text) {
    if (text.isEmpty()) return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'-';
        if (!ok) return false;
    }
    return true;
}

std::optional<QStringList> parseIdentifiers(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    for (const QString& part : parts)
        if (!isValidIdentifier(part)) return std::nullopt;
    return parts;
}

std::optional<qint64> parseNumber(QStringView text) {
    if (!isAsciiDigits(text)) return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok) return std::nullopt;
    return value;
}

// Numeric identifiers of any length, compared by value.
std::strong_ordering compareNumeric(QStringView a, QStringView b) {
    while (a.size() > 1 && a.front() == QLatin1Char('0')) a = a.mid(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0')) b = b.mid(1);
    if (a.size() != b.size()) return a.size() <=> b.size();
    const int c = a.compare(b, Qt::CaseSensitive);
    return c <=> 0;
}

std::strong_ordering compareIdentifiers(const QString& a, const QString& b) {
    const bool aNumeric = isAsciiDigits(a);
    const bool bNumeric = isAsciiDigits(b);
    if (aNumeric && bNumeric) return compareNumeric(a, b);
    if (aNumeric) return std::strong_ordering::less;
    if (bNumeric) return std::strong_ordering::greater;
    // The identifiers are ASCII, so comparing UTF-16 code units is ASCII order.
    const int c = a.compare(b, Qt::CaseSensitive);
    return c <=> 0;
}

}  // namespace

std::optional<Version> Version::parse(const QString& input) {
    QString text = input.trimmed();
    if (text.startsWith(QLatin1Char('v')) || text.startsWith(QLatin1Char('V'))) text.remove(0, 1);
    if (text.isEmpty()) return std::nullopt;

    Version version;
    const qsizetype plus = text.indexOf(QLatin1Char('+'));
    if (plus >= 0) {
        auto build = parseIdentifiers(text.mid(plus + 1));
        if (!build) return std::nullopt;
        version.buildMetadataIdentifiers = *build;
        text.truncate(plus);
    }
    const qsizetype minus = text.indexOf(QLatin1Char('-'));
    if (minus >= 0) {
        auto prerelease = parseIdentifiers(text.mid(minus + 1));
        if (!prerelease) return std::nullopt;
        version.prereleaseIdentifiers = *prerelease;
        text.truncate(minus);
    }

    const QStringList core = text.split(QLatin1Char('.'));
    if (core.isEmpty() || core.size() > 3) return std::nullopt;
    qint64* fields[] = {&version.major, &version.minor, &version.patch};
    for (qsizetype i = 0; i < core.size(); ++i) {
        auto number = parseNumber(core[i]);
        if (!number) return std::nullopt;
        *fields[i] = *number;
    }
    return version;
}

QString Version::toString() const {
    QString text = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(patch);
    if (!prereleaseIdentifiers.isEmpty()) text += QLatin1Char('-') + prereleaseIdentifiers.join(QLatin1Char('.'));
    if (!buildMetadataIdentifiers.isEmpty()) text += QLatin1Char('+') + buildMetadataIdentifiers.join(QLatin1Char('.'));
    return text;
}

std::strong_ordering Version::operator<=>(const Version& other) const {
    if (auto c = major <=> other.major; c != 0) return c;
    if (auto c = minor <=> other.minor; c != 0) return c;
    if (auto c = patch <=> other.patch; c != 0) return c;

    const QStringList& a = prereleaseIdentifiers;
    const QStringList& b = other.prereleaseIdentifiers;
    // A release ranks above any of its prereleases.
    if (a.isEmpty() && b.isEmpty()) return std::strong_ordering::equal;
    if (a.isEmpty()) return std::strong_ordering::greater;
    if (b.isEmpty()) return std::strong_ordering::less;
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i)
        if (auto c = compareIdentifiers(a[i], b[i]); c != 0) return c;
    return a.size() <=> b.size();
}

bool Version::isIdentical(const Version& other) const {
    return major == other.major && minor == other.minor && patch == other.patch &&
           prereleaseIdentifiers == other.prereleaseIdentifiers &&
           buildMetadataIdentifiers == other.buildMetadataIdentifiers;
}

}  // namespace vantrel
