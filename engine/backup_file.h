// Opening a backup file on disk. The file is only ever opened for reading:
// the program never changes a backup, and no output of ours may be it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "base/status.h"
#include "engine/byte_source.h"

namespace bkf {

enum class BackupAccess {
    // For a scan: others may read the file while it is open, but no program
    // may write it (a shared lock on POSIX systems, which a program holding
    // the file locked for writing refuses; a share mode that refuses writers
    // on Windows).
    Exclusive,
    // For reading file data back out: others may read and write.
    Shared,
};

// The opened backup, or the system's reason why it could not be opened.
using OpenedBackup = Result<std::unique_ptr<ByteSource>>;

// The reason given when a scan finds the backup locked by a writer.
inline constexpr const char* kBackupLockedText =
    "the file is locked for writing by another program (other programs may read it meanwhile, not write it)";

// Opens an existing regular file or block device for reading, never waiting
// in the open itself: a FIFO, a socket, a character device or a folder is
// refused with the reason. Fails, with the system's reason, when it is
// missing, cannot be read, or (for Exclusive) is locked by a writer.
OpenedBackup openBackupFile(const std::filesystem::path& path, BackupAccess access);

// Whether writing `output` would touch the backup: `output` or a folder above
// it is the backup file itself (the same file: links, hard links and other
// spellings of its path are followed). An output that does not exist yet is
// judged by the folders above it. False when the backup does not exist.
bool outputIsBackup(const std::filesystem::path& output, const std::filesystem::path& backup);

}  // namespace bkf
