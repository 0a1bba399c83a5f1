#pragma once

#include "kit/Version.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace vantrel {

// The latest release a feed announces. A feed is JSON in one of these forms:
// - a release as GitHub's "releases/latest" answers it:
//   {"tag_name": "v1.2.0", "html_url": "…", "body": "notes", "prerelease": false}
// - a list of such releases (GitHub's "releases"): the first one that is
//   neither a draft nor a prerelease counts;
// - {"version": "1.2.0", "url": "…", "notes": "…"}.
struct LatestRelease {
    Version version;
    QString versionText;  // as the feed wrote it
    QUrl url;             // the release page (may be empty)
    QString notes;        // Markdown (may be empty)
};

struct UpdateCheck {
    // Empty when the feed answered; otherwise what went wrong, as a sentence.
    QString problem;
    std::optional<LatestRelease> latest;
    bool isNewer = false;  // latest is newer than the running version

    // One line for the command line and the toast.
    QString summary(const Version& running) const;
};

namespace UpdateFeed {

// How long a feed may take to answer.
inline constexpr int kTimeoutMs = 10000;
// Feeds larger than this are not read.
inline constexpr qint64 kMaxBytes = 2 * 1024 * 1024;

// Reads a feed's body; nothing (and *problem set) when it is none of the
// forms above.
std::optional<LatestRelease> parse(const QByteArray& body, QString* problem);

// Compares the feed's latest release with `running`.
UpdateCheck check(const QByteArray& body, const Version& running);

// Fetches the feed (http or https, redirects followed) and calls `done`
// once on the calling thread's event loop, never later than kTimeoutMs.
void fetch(const QUrl& feed, const Version& running, std::function<void(UpdateCheck)> done,
           int timeoutMs = kTimeoutMs);

// The same, waiting for the answer (command line).
UpdateCheck fetchAndWait(const QUrl& feed, const Version& running, int timeoutMs = kTimeoutMs);

}  // namespace UpdateFeed

// The version of the running program.
Version runningVersion();

}  // namespace vantrel
