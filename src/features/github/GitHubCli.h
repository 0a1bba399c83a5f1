#pragma once

#include <QStringList>

namespace vantrel::github {

// `vantrel github SUBCOMMAND …`: answers the exit status.
int runCli(QStringList arguments);

}  // namespace vantrel::github
