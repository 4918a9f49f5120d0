// The recovery snapshot file: a catalogue kept as UTF-16LE text, without a
// byte-order mark, every line ending in CR LF, every value in "<" ">":
//
//   <backup file path>
//   <number of entries>
//   <display path><size><data offset><mod low><mod high><acc low><acc high><cre low><cre high>
//   ...one line per entry, in table order
//
// Values are the cells' texts exactly; the type name, icon and marks are not
// stored. No value may contain "<" or ">" (the format has no escape).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "engine/status.h"

namespace bkf {

inline constexpr std::u16string_view kSnapshotExtension = u".ORMBKF";

// The name a snapshot is saved under: `chosen` when it contains ".ORMBKF"
// anywhere (exact case), else `chosen` + ".ORMBKF".
std::u16string withSnapshotExtension(std::u16string_view chosen);

// Writes the catalogue table as a snapshot. The file is written beside
// `target` under a temporary name and renamed over it only when complete, so
// a failure never leaves a cut-short snapshot where a good one stood. The
// failure carries the system's reason. `progress` (optional) gets rows written.
Status writeSnapshot(const std::filesystem::path& target, const CatalogueTable& table,
                     std::u16string_view backupPath,
                     const std::function<void(std::size_t rowsWritten)>& progress = {});

// Line-by-line reader of a snapshot file. Lines are split at LF; a CR before
// it is dropped. A line longer than kMaxLineUnits code units is skipped whole
// (no display path comes near it).
class SnapshotReader {
public:
    static constexpr std::size_t kMaxLineUnits = std::size_t{1} << 20;

    Status open(const std::filesystem::path& file);
    // The next line without its line end; false at the end of the file or on a read error.
    bool readLine(std::u16string& line);
    // Set when reading stopped on an error rather than at the end.
    const Status& error() const { return error_; }
    std::uint64_t bytesRead() const { return consumed_; }
    std::uint64_t fileSize() const { return fileSize_; }

private:
    bool fill();

    std::ifstream in_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::uint64_t consumed_ = 0;
    std::uint64_t fileSize_ = 0;
    bool eof_ = false;
    Status error_;
};

// Line 1: the text after the first "<" and before the next ">". nullopt when
// the line has no such pair (the file is not a snapshot).
std::optional<std::u16string> parseSnapshotPathLine(std::u16string_view line);

// Line 2: the number after its "<" by leading-digit parsing (0 when none).
std::int64_t parseSnapshotCountLine(std::u16string_view line);

// The "<...>" values of a line, in order: each is the text between a "<" and
// the next ">" after it. Fills at most out.size() and returns how many.
std::size_t snapshotFields(std::u16string_view line, std::span<std::u16string_view> out);

// Appends the entry of one line to the catalogue: the first value is the
// display path, the next eight are cells 2..9 as they stand (missing ones
// empty, further ones ignored), and the path's folders join the tree. A line
// without any "<...>" value is skipped: returns false.
bool parseSnapshotRow(std::u16string_view line, Catalogue& catalogue);

// Whether a file looks like a snapshot: UTF-16LE text whose first line is
// "<...>" and whose second line begins with "<" (checked from the content,
// not the name).
bool looksLikeSnapshot(const std::filesystem::path& file);

struct SnapshotLoad {
    Status status;               // open or read failure
    bool stopped = false;        // the stop flag ended it early
    std::u16string backupPath;   // from line 1
    std::int64_t declaredCount = 0;  // from line 2
    std::size_t rows = 0;        // entry lines appended
};

// Percentage of rows read for a declared count; nullopt (indeterminate) when
// the count is 0 or negative. Capped at 100.
std::optional<int> snapshotProgressPercent(std::size_t rowsRead, std::int64_t declaredCount);

// Loads a whole snapshot into `catalogue` (emptied first) without asking
// anything: the backup path of line 1 becomes the catalogue's, rows are
// read until the end or until `stop` is set, and markAllAfterLoad runs on
// what was read. `progress` (optional) gets the rows read and the percentage.
SnapshotLoad loadSnapshotFile(const std::filesystem::path& file, Catalogue& catalogue,
                              const std::atomic<bool>* stop = nullptr,
                              const std::function<void(std::size_t, std::optional<int>)>& progress = {});

}  // namespace bkf
