#pragma once

#include "core/api/CommandOutcome.h"
#include "data/Records.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace vantrel {

// The icon of a quicklink's row. For an http(s) link opened by the browser:
// the built-in icon of a host the launcher knows, otherwise the site's
// favicon from the favicon service (fetched in the background and kept on
// disk by the image cache of the list), except for hosts that have none.
// Otherwise the icon of the application that opens it (the chosen one, or
// the desktop's default for the link), and the quicklinks icon when none is known.
ImageResource quicklinkIcon(const QuicklinkRecord& link);

// The favicon service's address for a host: "<service>?domain=<host>&sz=64".
// The service is $VANTREL_FAVICON_SERVICE when set (tests point it to a local
// server), otherwise Google's.
QUrl faviconServiceUrl(const QString& host);
// The built-in icon of a known host ("search" for google.com…), if any.
std::optional<QString> builtinHostIcon(const QString& host);

}  // namespace vantrel
