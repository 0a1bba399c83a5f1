#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace vantrel {

// What a quicklink's text opens once its argument is filled in: a local path
// (from "/…" or "~…") or a URL with a scheme.
struct QuicklinkTarget {
    QString text;
    bool isFilePath = false;
    // The file as a file:// URL, or the parsed URL with its encoding kept.
    QUrl url;
};

// The name inside the first pair of braces of the link ("Query" in
// "https://example.org/?q={Query}"): the shortest text between a "{" and the
// next "}". Nothing when the link has no braces.
std::optional<QString> quicklinkPlaceholder(const QString& urlString);

// The link with its argument filled in. `arguments` are the values of the
// argument fields, already percent-encoded (percentEncodedForQuery): with a
// placeholder there must be exactly one, not empty, and every "{name}" of
// that placeholder takes it (other braces stay as written); without one the
// link is used as it stands, whatever the arguments. Text starting with "~"
// is a path in the home folder, text starting with "/" a path; anything else
// must be a URL with a scheme. Nothing when one of these fails.
std::optional<QuicklinkTarget> buildQuicklink(const QString& urlString, const QStringList& arguments);

// Whether text typed as a link is a path or parses as a URL with a scheme
// (placeholders allowed).
bool isValidQuicklinkLink(const QString& urlString);

}  // namespace vantrel
