#pragma once

#include <QString>
#include <QStringList>

#include <compare>
#include <optional>

namespace vantrel {

// A semantic version: "major.minor.patch-prerelease+build".
//
// Comparison follows semantic-version precedence: build metadata is ignored, so
// two versions that differ only there compare equal; a prerelease ranks below
// its release; prerelease identifiers are compared left to right, numeric ones
// numerically and below alphanumeric ones, alphanumeric ones in ASCII order, and
// a shorter list ranks lower when all its identifiers equal the other's.
struct Version {
    qint64 major = 0;
    qint64 minor = 0;
    qint64 patch = 0;
    QStringList prereleaseIdentifiers;
    QStringList buildMetadataIdentifiers;

    // Accepts "1.2.3", "1.2.3-alpha.1+build.5", a leading "v" and a missing
    // minor or patch (read as 0). Surrounding white space is ignored. Rejects
    // empty identifiers, identifiers with characters other than ASCII letters,
    // digits and '-', non-numeric or negative core numbers and anything else
    // around the version.
    static std::optional<Version> parse(const QString& text);

    // "major.minor.patch", then "-" and the prerelease identifiers joined by
    // "." when there are any, then "+" and the build identifiers joined by "."
    // when there are any.
    QString toString() const;

    bool isPrerelease() const { return !prereleaseIdentifiers.isEmpty(); }

    // Precedence order (see above).
    std::strong_ordering operator<=>(const Version& other) const;
    bool operator==(const Version& other) const { return (*this <=> other) == 0; }
    // Equal in every field, build metadata included.
    bool isIdentical(const Version& other) const;
};

}  // namespace vantrel
