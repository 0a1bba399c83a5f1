#pragma once

#include <QString>

#include <cstdint>

namespace vantrel {

// Unpacks a zip archive into an empty folder, through libarchive, refusing
// anything that could write outside that folder or fill the disk. Throws
// VantrelError on the first refused entry; the caller removes the folder.
//
// Refused:
//   - an entry whose path is absolute or has a ".." segment
//     ("Archive entry escapes its folder: '<path>'");
//   - a symbolic or hard link whose target is absolute or leads outside the
//     folder ("Archive link leaves its folder: '<path>' -> '<target>'");
//   - device files, FIFOs and sockets ("Archive entry is not a file, folder or
//     link: '<path>'");
//   - more than `maxEntries` entries, or more than `maxUnpackedBytes` bytes
//     once unpacked, counted as they are written ("Archive is larger than
//     <limit> bytes when unpacked" / "Archive has more than <n> entries");
//   - anything libarchive cannot read as a zip ("Not a readable zip archive: "
//     + libarchive's reason).
struct ZipArchive {
    // 256 MiB unpacked and 20,000 entries: far above any real extension
    // (scripts and a few icons), far below what would hurt the disk.
    static constexpr std::int64_t defaultMaxUnpackedBytes = 256ll * 1024 * 1024;
    static constexpr std::int64_t defaultMaxEntries = 20000;

    std::int64_t maxUnpackedBytes = defaultMaxUnpackedBytes;
    std::int64_t maxEntries = defaultMaxEntries;

    void extract(const QString& archivePath, const QString& destination) const;
};

}  // namespace vantrel
