// Opening a backup file on disk. The file is only ever opened for reading:
// the program never changes a backup.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "engine/byte_source.h"

namespace bkf {

enum class BackupAccess {
    // For a scan: no other program may write the file while it is open (a
    // lock on POSIX systems, a share mode that refuses writers on Windows).
    Exclusive,
    // For reading file data back out: others may read and write.
    Shared,
};

struct OpenedBackup {
    std::unique_ptr<ByteSource> source;  // null when the open failed
    std::string reason;                  // the system's reason for a failure
};

// Opens an existing regular file for reading. Fails, with the system's
// reason, when it is missing, is not a regular file, cannot be read, or (for
// Exclusive) is locked by another program.
OpenedBackup openBackupFile(const std::filesystem::path& path, BackupAccess access);

}  // namespace bkf
