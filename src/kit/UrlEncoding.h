#pragma once

#include <QString>
#include <QUrl>

namespace vantrel {

// The characters a URL query may hold as they are: letters, digits and
// "!$&'()*+,-./:;=?@_~". Everything else (spaces, "#", "%", non-ASCII…) is
// percent-encoded as UTF-8, so a value can go after "q=" without the rest of
// it turning into a fragment.
inline QString percentEncodedForQuery(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "!$&'()*+,-./:;=?@_~"));
}

}  // namespace vantrel
