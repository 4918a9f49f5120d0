// The copy of entries' data out of the backup that saving, checking and
// exporting share: one run's buffer, cancel flag and progress, and the
// block-by-block copy that works out the data's checksum as it passes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/byte_source.h"
#include "save/extract.h"

namespace bkf {

class OutputFile;

// Small enough that what is read is still in the cache when it is written.
inline constexpr std::size_t kCopyBlock = std::size_t{256} << 10;

// How the copy of one entry's data ended.
enum class CopyEnd { Done, ReadFailed, WriteFailed, DiskFull, Cancelled };

struct CopyOutcome {
    CopyEnd end = CopyEnd::Done;
    std::uint64_t bytes = 0;     // passed on to the writer (or read, when there is none)
    std::string reason;          // why it did not end Done
    std::uint32_t checksum = 0;  // of the data, when it ended Done
};

// What one run needs: the backup, a block of memory, the cancel flag and the
// progress that reaches the observer.
struct CopyRun {
    ByteSource& backup;
    ExtractObserver* observer;
    const std::atomic<bool>* cancel;
    ExtractProgress progress;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kCopyBlock);
    std::uint64_t backupSize = backup.size();

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    void report() {
        if (observer) observer->extractProgress(progress);
    }
    // Before entry `index`: false when a cancel came (the rest is not reached).
    bool begin(ExtractSummary& summary, std::span<const ExtractItem> items, std::size_t index);
    // The data bytes of `item` the backup holds.
    std::uint64_t held(const ExtractItem& item) const;
};

// A run over `items`, its totals counted.
CopyRun startCopyRun(ByteSource& backup, std::span<const ExtractItem> items, ExtractObserver* observer,
                     const std::atomic<bool>* cancel);

// Reads `length` bytes of data at `offset` block by block, works out their
// checksum, and hands each block to `write` (when there is one).
CopyOutcome copyData(CopyRun& run, std::uint64_t offset, std::uint64_t length, OutputFile* write);

// Why an entry cannot be read at all, before anything is written: nullopt
// when its size and data offset are numbers and its stream header holds.
std::optional<std::string> entryProblem(ByteSource& backup, const ExtractItem& item);

}  // namespace bkf
