#pragma once

#include <QString>
#include <QStringList>

namespace vantrel::extensionhost {

// Restricts this process, and every thread it starts afterwards, with
// Landlock: files may only be read, and only below readableFolders; nothing
// may be written, created, removed or executed anywhere; no TCP socket may be
// bound or connected (kernels with Landlock ABI 4); abstract Unix sockets and
// signals stay within the process (ABI 6). Must run before the engines start
// their threads.
struct SandboxOutcome {
    bool applied = false;
    int abi = 0;          // the kernel's Landlock ABI version, 0 without Landlock
    QString description;  // for the log: what was restricted, or why nothing was
};

SandboxOutcome applySandbox(const QStringList& readableFolders);

}  // namespace vantrel::extensionhost
