// The catalogue scan: one pass over a backup file that examines every
// 512-byte slot of every 64 KiB chunk and turns the backup-set, folder and
// file blocks standing there into catalogue entries and folder paths. It does
// not follow the block chain, so a damaged region costs only the blocks in it.
//
// The chunk is the unit of reading: a name or stream header that reaches past
// the end of its chunk (or past the bytes of the final partial chunk) fails
// its slot, whatever the reads actually fetched.
//
// Bytes inserted into or lost from a backup move every block after them off
// the 512-byte grid. So the scan also looks at every other byte position for
// set, folder and file blocks, and takes one there only when its header
// checksum holds (file data does not pass for a block by chance). Such a block
// is read like a slot block of a whole chunk: the same name rules and limits,
// a 1,024-byte stream window from its first byte, and chunk borders do not
// matter. A checksummed block on the grid that its slot's rules lose only
// because its name or stream lies past the chunk or the slot's window gets
// the same second look. The catalogue stays in file order.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/file_time.h"
#include "engine/byte_source.h"

namespace bkf {

class RecoveryLog;

// A file block that was catalogued.
struct FoundFile {
    std::u16string path;  // "BKF\" + set label + folder + name
    std::int64_t size = 0;
    std::int64_t dataOffset = 0;
    std::int64_t blockOffset = 0;  // where its FILE block stands (not kept in the catalogue)
    FileTime modified = 0;
    FileTime accessed = 0;
    FileTime created = 0;
};

// What the scan hands on, in file order. fileFound means: append the entry,
// then add its display path's folders to the tree; folderFound means: add
// this folder path to the tree.
class ScanSink {
public:
    virtual ~ScanSink() = default;
    virtual void fileFound(const FoundFile& file) = 0;
    virtual void folderFound(std::u16string_view treePath) = 0;
    // After each whole chunk: bytes examined so far (chunk end) of the file size.
    virtual void chunkScanned(std::uint64_t scanned, std::uint64_t fileSize) {
        (void)scanned;
        (void)fileSize;
    }
};

struct ScanStats {
    std::uint64_t files = 0;          // entries catalogued
    std::uint64_t sets = 0;           // backup sets counted
    std::uint64_t folders = 0;        // folder blocks acted on
    std::uint64_t lostFolders = 0;    // folder blocks renamed "lost dirN"
    std::uint64_t bytesScanned = 0;   // bytes of the file examined
    std::uint64_t readErrors = 0;     // chunks that could not be read whole (examined zero-filled)
    std::uint64_t offGridBlocks = 0;  // blocks taken off the grid (or on it, past a slot's reach)
};

// Sees every byte of the backup as the scan passes it, once, in order, and
// every file the scan finds just before the bytes that follow its block: so
// a file's data can be read in the same pass (see save/verify.h). Called on
// the scanning thread.
class ScanTap {
public:
    virtual ~ScanTap() = default;
    virtual void fileFound(const FoundFile& file) { (void)file; }
    // The bytes at `position`, after every block standing in them was examined.
    virtual void bytesScanned(std::uint64_t position, std::span<const std::uint8_t> bytes) = 0;
    // The whole file was scanned (not called when the scan was stopped).
    virtual void scanEnded(std::uint64_t fileSize) { (void)fileSize; }
    // True stops the scan before its next chunk, as a cleared running flag does.
    virtual bool wantsStop() const { return false; }
};

struct ScanOptions {
    // Also find blocks off the 512-byte grid (see above); false: the slots only.
    bool offGrid = true;
    ScanTap* tap = nullptr;  // not owned
};

// How a scan ended: stopped by the caller, or with the whole file examined.
enum class ScanEnd { Stopped, Complete };

// Scans `source` from start to end. Tests `running` before every chunk and
// every slot and returns ScanEnd::Stopped as soon as it is clear, keeping what was
// handed on; ScanEnd::Complete when the whole file was examined. `log` (may be
// null) receives the scan's codes. A read error is not reported: the chunk's
// unreadable bytes are examined as zeros and the scan goes on.
ScanEnd scanBackupFile(ByteSource& source, ScanSink& sink, const std::atomic<bool>& running, RecoveryLog* log = nullptr,
                       ScanStats* stats = nullptr, ScanOptions options = {});

// scanned * 100 / size, 0..100.
int progressPercent(std::uint64_t scanned, std::uint64_t fileSize);

}  // namespace bkf
