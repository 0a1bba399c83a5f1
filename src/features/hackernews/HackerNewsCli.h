#pragma once

#include <QString>
#include <QStringList>

namespace vantrel::hackernews {

class HackerNewsClient;

// `vantrel hackernews [--json] [--limit N]`: the top stories, fresh from the
// server; when the server cannot be reached, the list read last (with a
// warning on stderr). Exit status 0 with a list, 1 without one, 2 for wrong
// arguments. A null client fails with `problem`.
int runCli(HackerNewsClient* client, QStringList arguments, const QString& problem);

}  // namespace vantrel::hackernews
