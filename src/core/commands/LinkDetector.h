#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace vantrel {

// One link found in a text: where it starts, how long it is and its text.
struct DetectedLink {
    qsizetype start = 0;
    qsizetype length = 0;
    QString text;
    friend bool operator==(const DetectedLink&, const DetectedLink&) = default;
};

// Finds links anywhere in a text:
// - any scheme followed by "://" and at least one more character
//   ("https://example.com", "ftp://host/file", "file:///tmp/a");
// - hosts starting with "www." and ending in an alphabetic top-level domain;
// - bare domains whose top-level domain is known (a list of common generic
//   domains and every two-letter country code), e.g. "example.com",
//   "docs.example.co.uk".
// Hosts may carry a port, a path, a query and a fragment. E-mail addresses
// ("foo@bar.com", "mailto:foo@bar.com") are not links, and neither are
// numbers ("1.5", "v1.2.3"), abbreviations ("e.g.") or file names ("file.txt",
// "readme.md", "setup.py": a bare domain of two labels whose top-level domain
// is also a common source-file extension counts as a file name unless a port
// or path follows). Trailing sentence punctuation and unbalanced closing
// brackets are not part of a link.
class LinkDetector {
public:
    static std::vector<DetectedLink> links(const QString& text);
    static bool containsLink(const QString& text);
    // Lower-case top-level domain without the dot ("com", "de").
    static bool isKnownTopLevelDomain(QStringView topLevelDomain);
};

}  // namespace vantrel
