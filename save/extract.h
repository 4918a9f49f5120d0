// Saving catalogue entries back to disk.
//
// Each entry's bytes are the `size` bytes at its data offset in the backup
// file, copied as they are, in large blocks. They go under an output root: a
// new folder "<prefix><n>" in the chosen destination (the first n not used
// yet), or the destination itself when the prefix is empty. Below the root
// come the display path's components after "BKF", each made safe
// (safeName); nothing that exists is ever overwritten or followed through a
// link: a name that is taken gets a numbered suffix.
//
// Each entry ends saved, truncated (its data runs past the end of the backup:
// what exists is written) or failed (with the system's reason); one entry's
// failure never stops the others. A full disk stops the save and removes the
// file it was writing; a cancel does the same; finished files stay.
//
// Before anything is written, the STAN stream header in front of the data
// must hold (else the data offset does not point at this file's data: the
// entry fails with kWrongBackupText, and when the first entries all fail so,
// the save stops, the catalogue not being of this backup; a header past the
// end of a shorter backup leaves its entry truncated); as the data is
// copied its checksum is worked out, and a saved entry is verified,
// mismatched (saved all the same: a partly damaged file is often worth
// having) or without a checksum (see verify.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "catalogue/catalogue_table.h"
#include "engine/byte_source.h"
#include "engine/scan.h"
#include "save/verify.h"

namespace bkf {

// ---- Which rows a save takes.

inline constexpr std::string_view kWrongBackupText = kWrongPlaceReason;

// The rows a save takes, in row order: the chosen row when there is one,
// else every checked row. nullopt when there is nothing to save (a chosen row
// beyond the table, or nothing checked).
std::optional<std::vector<RowIndex>> rowsToSave(const CatalogueTable& table,
                                                std::optional<RowIndex> chosenRow = std::nullopt);

// ---- What is saved.

struct ExtractItem {
    std::u16string displayPath;
    std::int64_t size = 0;
    std::int64_t dataOffset = 0;
    FileTime modified = 0;
    FileTime accessed = 0;
    FileTime created = 0;
};

// The items of the given rows, read from their cells.
std::vector<ExtractItem> extractItems(const CatalogueTable& table, std::span<const RowIndex> rows);

enum class EntryResult { Saved, Truncated, Failed };

struct EntryReport {
    std::u16string displayPath;
    std::filesystem::path writtenAs;  // empty when nothing was written
    EntryResult result = EntryResult::Saved;
    ChecksumVerdict checksum = ChecksumVerdict::None;  // of a saved entry
    std::uint64_t bytes = 0;                           // bytes written
    std::string reason;                                // why it was truncated or failed
    bool renamed = false;                              // a name on the way had to change
};

struct ExtractProgress {
    std::size_t filesDone = 0;
    std::size_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::u16string current;  // display path of the file being written
};

class ExtractObserver {
public:
    virtual ~ExtractObserver() = default;
    // At each new file and after each block written.
    virtual void extractProgress(const ExtractProgress& progress) { (void)progress; }
    virtual void entryFinished(const EntryReport& report) { (void)report; }
};

struct ExtractOptions {
    std::filesystem::path destination;
    std::u16string prefix = u"Rec";
};

struct ExtractSummary {
    Status status;  // a failure of the whole save (no output root, a full disk)
    std::filesystem::path root;
    std::size_t saved = 0;  // verified + mismatched + unchecked
    std::size_t verified = 0;
    std::size_t mismatched = 0;
    std::size_t unchecked = 0;  // saved without a checksum to check
    std::size_t truncated = 0;
    std::size_t failed = 0;
    std::size_t renamed = 0;
    std::size_t notReached = 0;  // entries left when a cancel or a full disk stopped the save
    std::uint64_t bytesWritten = 0;
    double seconds = 0;
    bool cancelled = false;
    bool diskFull = false;
    bool wrongBackup = false;           // the first entries' data is not where the catalogue says: the save stopped
    std::vector<EntryReport> problems;  // every mismatched, truncated or failed entry
};

// Saves `items` from `backup`. `cancel` (optional) is polled between blocks.
ExtractSummary extractEntries(ByteSource& backup, std::span<const ExtractItem> items, const ExtractOptions& options,
                              ExtractObserver* observer = nullptr, const std::atomic<bool>* cancel = nullptr);

// Adds one entry's outcome to the summary's counts (saved, verified, ...) and
// to its problems when it is mismatched, truncated or failed.
void addToSummary(ExtractSummary& summary, const EntryReport& report);

// Checks `items` as a save would, reading each entry's data once and writing
// nothing: the same results and verdicts (no entry has a writtenAs), progress
// and cancel. `status` fails only when the backup cannot be read at all.
ExtractSummary verifyEntries(ByteSource& backup, std::span<const ExtractItem> items,
                             ExtractObserver* observer = nullptr, const std::atomic<bool>* cancel = nullptr);

// Saves the files a scan finds as their bytes pass, so that the backup is
// read once: the same tree, files, times and verdicts as a scan followed by
// extractEntries over what it found (in the order found). Give it to the scan
// as its tap (it runs on the scanning thread; it stops the scan when the
// destination is full). The output root is made when the first file is
// decided. After the scan, whole or stopped,
// finish() closes what is still open (a file not whole is removed, as a save
// removes it) and gives the summary.
class PassingExtractor final : public ScanTap {
public:
    // `wanted` picks the files to save by display path (all when empty).
    PassingExtractor(const ExtractOptions& options, std::function<bool(std::u16string_view)> wanted = {},
                     ExtractObserver* observer = nullptr);
    ~PassingExtractor() override;
    PassingExtractor(const PassingExtractor&) = delete;
    PassingExtractor& operator=(const PassingExtractor&) = delete;

    void fileFound(const FoundFile& file) override;
    void bytesScanned(std::uint64_t position, std::span<const std::uint8_t> bytes) override;
    void scanEnded(std::uint64_t fileSize) override;
    bool wantsStop() const override { return stop_.load(); }

    // `cancelled`: the scan was stopped by the user.
    ExtractSummary finish(bool cancelled);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::atomic<bool> stop_{false};
};

class OutputDir;
// The same into a destination folder already open (a test may give one that fails).
ExtractSummary extractEntries(ByteSource& backup, std::span<const ExtractItem> items,
                              std::unique_ptr<OutputDir> destination, std::u16string_view prefix,
                              ExtractObserver* observer = nullptr, const std::atomic<bool>* cancel = nullptr);

}  // namespace bkf
