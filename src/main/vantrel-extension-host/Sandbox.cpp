#include "main/vantrel-extension-host/Sandbox.h"

#include <QFileInfo>

#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>

namespace vantrel::extensionhost {

namespace {

// The ruleset of newer kernels than this system's headers describe.
struct RulesetAttr {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;  // ABI 4
    std::uint64_t scoped = 0;            // ABI 6
};

constexpr std::uint64_t kAccessFsTruncate = 1ULL << 14;  // ABI 3
constexpr std::uint64_t kAccessFsIoctlDev = 1ULL << 15;  // ABI 5
constexpr std::uint64_t kAccessNetBindTcp = 1ULL << 0;
constexpr std::uint64_t kAccessNetConnectTcp = 1ULL << 1;
constexpr std::uint64_t kScopeAbstractUnixSocket = 1ULL << 0;
constexpr std::uint64_t kScopeSignal = 1ULL << 1;

constexpr std::uint64_t kReadOnly = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;

std::uint64_t handledFs(int abi) {
    std::uint64_t access = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
                           LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
                           LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                           LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
                           LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2) access |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3) access |= kAccessFsTruncate;
    if (abi >= 5) access |= kAccessFsIoctlDev;
    return access;
}

QString errorText() { return QString::fromLocal8Bit(std::strerror(errno)); }

}  // namespace

SandboxOutcome applySandbox(const QStringList& readableFolders) {
    SandboxOutcome outcome;
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        outcome.description = QStringLiteral("Landlock is not available in this kernel (%1): the host runs unrestricted").arg(errorText());
        return outcome;
    }
    outcome.abi = static_cast<int>(abi);

    RulesetAttr attr;
    attr.handledAccessFs = handledFs(outcome.abi);
    std::size_t size = sizeof(std::uint64_t);
    if (outcome.abi >= 4) {
        attr.handledAccessNet = kAccessNetBindTcp | kAccessNetConnectTcp;
        size = 2 * sizeof(std::uint64_t);
    }
    if (outcome.abi >= 6) {
        attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
        size = sizeof(RulesetAttr);
    }
    const int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0) {
        outcome.description = QStringLiteral("Could not create the Landlock ruleset: ") + errorText();
        return outcome;
    }
    QStringList allowed;
    for (const QString& folder : readableFolders) {
        const QString path = QFileInfo(folder).canonicalFilePath();
        if (path.isEmpty()) continue;
        const int fd = open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
        if (fd < 0) continue;
        landlock_path_beneath_attr rule{};
        rule.parent_fd = fd;
        // A file allows reading itself; a folder also its listing.
        rule.allowed_access = QFileInfo(path).isDir() ? kReadOnly : LANDLOCK_ACCESS_FS_READ_FILE;
        if (syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0) allowed << path;
        ::close(fd);
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        outcome.description = QStringLiteral("Could not set no_new_privs: ") + errorText();
        ::close(ruleset);
        return outcome;
    }
    if (syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) {
        outcome.description = QStringLiteral("Could not restrict the host with Landlock: ") + errorText();
        ::close(ruleset);
        return outcome;
    }
    ::close(ruleset);
    outcome.applied = true;
    outcome.description = QStringLiteral("Landlock ABI %1: read-only access to %2; no writes, no TCP")
                              .arg(outcome.abi)
                              .arg(allowed.isEmpty() ? QStringLiteral("nothing") : allowed.join(QStringLiteral(", ")));
    return outcome;
}

}  // namespace vantrel::extensionhost
