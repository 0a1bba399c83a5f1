#include "extensions/packages/ZipArchive.h"

#include "kit/VantrelError.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace vantrel {

namespace {

struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

QString errorText(archive* a) {
    const char* text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

// The entry's path made relative and checked: no absolute path, no ".."
// segment. Empty for the archive's own root ("./").
QString checkedPath(const QString& raw) {
    if (raw.startsWith(QLatin1Char('/')) || raw.startsWith(QLatin1Char('\\')) ||
        (raw.size() > 1 && raw[1] == QLatin1Char(':')))
        throw VantrelError(QStringLiteral("Archive entry escapes its folder: '%1'").arg(raw));
    QStringList kept;
    for (const QString& segment : raw.split(QRegularExpression(QStringLiteral("[/\\\\]")), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("..")) throw VantrelError(QStringLiteral("Archive entry escapes its folder: '%1'").arg(raw));
        if (segment != QLatin1String(".")) kept << segment;
    }
    return kept.join(QLatin1Char('/'));
}

// Whether a link target, read from the folder of `entryPath`, stays inside.
bool targetStaysInside(const QString& entryPath, const QString& target, bool relativeToEntryFolder) {
    if (target.isEmpty() || target.startsWith(QLatin1Char('/'))) return false;
    QStringList stack;
    if (relativeToEntryFolder) {
        stack = entryPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (!stack.isEmpty()) stack.removeLast();
    }
    for (const QString& segment : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String(".")) continue;
        if (segment == QLatin1String("..")) {
            if (stack.isEmpty()) return false;
            stack.removeLast();
        } else {
            stack << segment;
        }
    }
    return true;
}

}  // namespace

void ZipArchive::extract(const QString& archivePath, const QString& destination) const {
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    const QByteArray archiveFile = QFile::encodeName(archivePath);
    if (archive_read_open_filename(reader.get(), archiveFile.constData(), 64 * 1024) != ARCHIVE_OK)
        throw VantrelError(QStringLiteral("Not a readable zip archive: ") + errorText(reader.get()));

    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    // Our own checks come first; libarchive's secure options are a second net
    // (not the one against absolute paths: every entry is written at its
    // checked path below the absolute destination).
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    const QString root = QDir(destination).absolutePath();

    std::int64_t entries = 0;
    std::int64_t written = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
            throw VantrelError(QStringLiteral("Not a readable zip archive: ") + errorText(reader.get()));
        if (++entries > maxEntries)
            throw VantrelError(QStringLiteral("Archive has more than %1 entries").arg(maxEntries));

        const char* rawPath = archive_entry_pathname_utf8(entry);
        if (!rawPath) rawPath = archive_entry_pathname(entry);
        const QString raw = QString::fromUtf8(rawPath ? rawPath : "");
        const QString path = checkedPath(raw);
        if (path.isEmpty()) continue;

        const mode_t type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            throw VantrelError(QStringLiteral("Archive entry is not a file, folder or link: '%1'").arg(raw));
        if (type == AE_IFLNK) {
            const char* rawTarget = archive_entry_symlink_utf8(entry);
            if (!rawTarget) rawTarget = archive_entry_symlink(entry);
            const QString target = QString::fromUtf8(rawTarget ? rawTarget : "");
            if (!targetStaysInside(path, target, true))
                throw VantrelError(QStringLiteral("Archive link leaves its folder: '%1' -> '%2'").arg(raw, target));
        }
        if (const char* rawHardlink = archive_entry_hardlink(entry)) {
            const QString target = QString::fromUtf8(rawHardlink);
            if (!targetStaysInside(path, target, false))
                throw VantrelError(QStringLiteral("Archive link leaves its folder: '%1' -> '%2'").arg(raw, target));
            archive_entry_copy_hardlink(entry, QFile::encodeName(root + QLatin1Char('/') + checkedPath(target)).constData());
        }
        // The stated size may lie; it is counted again as the data is written.
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > maxUnpackedBytes - written)
            throw VantrelError(QStringLiteral("Archive is larger than %1 bytes when unpacked").arg(maxUnpackedBytes));

        archive_entry_copy_pathname(entry, QFile::encodeName(root + QLatin1Char('/') + path).constData());
        // Files are the user's own: no set-id bits, readable and writable by the owner.
        if (type == AE_IFREG) archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0755) | 0600);
        if (type == AE_IFDIR) archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0755) | 0700);
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            throw VantrelError(QStringLiteral("Could not unpack '%1': %2").arg(raw, errorText(writer.get())));

        if (type == AE_IFREG) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
                if (read == ARCHIVE_EOF) break;
                if (read != ARCHIVE_OK && read != ARCHIVE_WARN)
                    throw VantrelError(QStringLiteral("Not a readable zip archive: ") + errorText(reader.get()));
                written += std::int64_t(size);
                if (written > maxUnpackedBytes)
                    throw VantrelError(QStringLiteral("Archive is larger than %1 bytes when unpacked").arg(maxUnpackedBytes));
                if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK)
                    throw VantrelError(QStringLiteral("Could not unpack '%1': %2").arg(raw, errorText(writer.get())));
            }
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            throw VantrelError(QStringLiteral("Could not unpack '%1': %2").arg(raw, errorText(writer.get())));
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        throw VantrelError(QStringLiteral("Could not unpack archive: ") + errorText(writer.get()));
}

}  // namespace vantrel
