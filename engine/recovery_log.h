// The recovery log: an optional trace of a recovery, one short line per stage,
// UTF-16LE without a byte-order mark, each line ending in CR LF (two code
// units). It holds the backup path line and fixed codes "SUCC 0001" to
// "SUCC 0014". Writing it never reports a failure: a line that cannot be
// written is dropped and the recovery goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/status.h"

namespace bkf {

// The stages a recovery logs, in the order a run writes them.
enum class LogCode : int {
    RecoveryStarted = 1,    // after the backup path line
    PrepareStarted = 2,     // first step of the scan preparation
    CatalogueEmptied = 3,   // tree and lists emptied, before the open
    OpeningBackup = 4,      // before the backup file is opened
    ScanStarted = 5,        // first step of the scan
    ChunkLoop = 6,          // top of every pass of the chunk loop
    ChunkRead = 7,          // after a whole chunk was read
    SlotStart = 8,          // top of every slot of a whole chunk
    SlotIdentified = 9,     // a slot of a whole chunk identified as anything but a tape header
    SetFound = 10,          // an SSET in a whole chunk
    FolderFound = 11,       // a DIRB
    FileFound = 12,         // a FILE, before any further test
    FileCatalogued = 13,    // a file's row stored, before its folders join the tree
    OffGridBlock = 14,      // a set, folder or file block found off the 512-byte grid, with its offset
    ChecksumMismatch = 15,  // a saved file whose data does not match its checksum, with its display path
};

// "SUCC " + four digits + "\r\n".
std::u16string logCodeLine(LogCode code);
// "SUCC " + four digits + " " + the decimal offset + "\r\n".
std::u16string logCodeLine(LogCode code, std::uint64_t offset);
// "SUCC " + four digits + " " + text + "\r\n".
std::u16string logCodeLine(LogCode code, std::u16string_view text);
// The backup path as entered, + "\r\n".
std::u16string logPathLine(std::u16string_view backupPath);

// Where the desktop program keeps its log: c:\OrmBkf.log on Windows,
// OrmBkf.log in the user's home folder elsewhere.
std::filesystem::path defaultLogPath();

// Whether lines can be appended to the log: it is a regular file (or a
// character device such as /dev/null, or missing: it is then created) and
// opens for appending. Checked before a recovery starts.
Status checkLogFile(const std::filesystem::path& log);

// Deletes the log if it exists (once per program run, at start-up).
void deleteOldLog(const std::filesystem::path& log);

// Appends one line (its text including "\r\n") to the log, creating the file
// when missing and never truncating it; the file is closed again at once.
// Returns false when the line was dropped.
bool writeLogLine(const std::filesystem::path& log, std::u16string_view line);

// A log kept open for the length of one recovery, for speed: lines are
// buffered and reach the file at every flush(), which the scan calls before
// it examines the next chunk, and at destruction. Appends, never truncates.
// `enabled` (null: always on; else it must outlive the log) is read before
// every line: a line written while it is false is dropped.
class RecoveryLog {
public:
    explicit RecoveryLog(std::filesystem::path log, const std::atomic<bool>* enabled = nullptr);
    ~RecoveryLog();
    RecoveryLog(const RecoveryLog&) = delete;
    RecoveryLog& operator=(const RecoveryLog&) = delete;

    void write(std::u16string_view line);
    void write(LogCode code);
    void flush();
    const std::filesystem::path& path() const { return path_; }

private:
    bool enabled() const { return !enabled_ || enabled_->load(std::memory_order_relaxed); }

    std::filesystem::path path_;
    const std::atomic<bool>* enabled_;
    std::ofstream out_;
    std::string pending_;
};

}  // namespace bkf
