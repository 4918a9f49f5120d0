// The recovery snapshot file: a catalogue kept as UTF-16LE text, without a
// byte-order mark, every line ending in CR LF, every value in "<" ">":
//
//   <backup file path>
//   <number of entries>
//   <display path><size><data offset><mod low><mod high><acc low><acc high><cre low><cre high>
//   ...one line per entry, in table order
//
// Values are the cells' texts exactly; the type name, icon and marks are not
// stored. No value may contain "<" or ">" (the format has no escape), nor a
// line end. The backup path is written as given; the command line gives an
// absolute one, so that the snapshot names its backup from any folder.
//
// Reading is strict about rows: an entry row holds nine values, a non-empty
// display path of at most kMaxDisplayPathUnits code units, and a size and a
// data offset that are numbers (the times are kept as they stand). Other
// rows are skipped and counted, never read as if whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "catalogue/catalogue.h"

namespace bkf {

inline constexpr std::u16string_view kSnapshotExtension = u".ORMBKF";

// The name a snapshot is saved under: `chosen` when it contains ".ORMBKF"
// anywhere (exact case), else `chosen` + ".ORMBKF".
std::u16string withSnapshotExtension(std::u16string_view chosen);

// The longest display path a row may hold (the longest path Windows takes).
inline constexpr std::size_t kMaxDisplayPathUnits = 32767;

// Whether a snapshot can be written at `target` for `backupPath`, checked
// before any work: the refusals of writeSnapshot, and a temporary file
// created and removed beside where it would land.
Status checkSnapshotTarget(const std::filesystem::path& target, std::u16string_view backupPath);

// Writes the catalogue table as a snapshot. The file is written beside
// `target` under a short temporary name and renamed over it only when
// complete, so a failure never leaves a cut-short snapshot where a good one
// stood. A link at `target` is followed: the file it points to is replaced
// and the link stays. Refused, with the reason: a target that is the backup
// itself (or lies inside it), that is not a regular file (a folder, a device,
// a FIFO, a socket), and a backup path that the first line cannot hold ("<",
// ">" or a line end in it). The failure carries the system's reason.
// `progress` (optional) gets rows written.
Status writeSnapshot(const std::filesystem::path& target, const CatalogueTable& table, std::u16string_view backupPath,
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
// The count of a second line that is a count line (one value, a number);
// nullopt when it is not, and so already an entry row.
std::optional<std::int64_t> snapshotCountOf(std::u16string_view line);

// The "<...>" values of a line, in order: each is the text between a "<" and
// the next ">" after it. Fills at most out.size() and returns how many.
std::size_t snapshotFields(std::u16string_view line, std::span<std::u16string_view> out);

enum class SnapshotRowKind {
    Entry,       // nine values as they should be
    Blank,       // an empty line (or only blanks): not a row at all
    Unreadable,  // values missing, an empty path, a size or data offset that is no number
    Refused,     // a display path longer than kMaxDisplayPathUnits
};

// Sorts one line after the header and, for an Entry, fills `fields` with its
// nine values (further values are ignored).
SnapshotRowKind classifySnapshotRow(std::u16string_view line, std::span<std::u16string_view, 9> fields);

// Appends the entry of one line to the catalogue: the first value is the
// display path, the next eight are cells 2..9 as they stand, and the path's
// folders join the tree. A line that is not a whole entry row is skipped:
// returns false.
bool parseSnapshotRow(std::u16string_view line, Catalogue& catalogue);

// A snapshot read row by row: the header (backup path, and the entry count
// when the second line is one; a snapshot without it keeps its first row),
// then the entry rows, with the rows that could not be taken counted.
class SnapshotRows {
public:
    // Opens the file and reads the header; fails when it cannot be read or
    // is not a snapshot.
    Status open(const std::filesystem::path& file);
    const std::u16string& backupPath() const { return backupPath_; }
    std::optional<std::int64_t> declaredCount() const { return declaredCount_; }
    // The next entry row's values; false at the end or on a read error.
    bool next(std::span<std::u16string_view, 9> fields);
    const Status& error() const { return reader_.error(); }
    std::uint64_t bytesRead() const { return reader_.bytesRead(); }
    std::size_t rows() const { return rows_; }
    std::size_t unreadable() const { return unreadable_; }
    std::size_t refused() const { return refused_; }

private:
    SnapshotReader reader_;
    std::u16string line_;
    std::optional<std::u16string> pending_;  // a first row where the count line should be
    std::u16string backupPath_;
    std::optional<std::int64_t> declaredCount_;
    std::size_t rows_ = 0;
    std::size_t unreadable_ = 0;
    std::size_t refused_ = 0;
};

// What the rows of a read snapshot cost, for the user: "N rows of the
// snapshot were unreadable", the rows refused for a path that is too long,
// and a declared count that disagrees with the rows read (a warning). Empty
// when there is nothing to say.
std::vector<std::string> snapshotRowProblems(std::size_t rows, std::size_t unreadable, std::size_t refused,
                                             std::optional<std::int64_t> declaredCount);

// Whether a file looks like a snapshot: UTF-16LE text whose first line is
// "<...>" and whose second line begins with "<" (checked from the content,
// not the name).
bool looksLikeSnapshot(const std::filesystem::path& file);

// When a file is no snapshot but looks like one kept in another form (with a
// byte-order mark, in UTF-8, in big-endian UTF-16, with CR-only line ends),
// what it looks like ("a recovery snapshot in UTF-8"); nullopt otherwise.
std::optional<std::string> snapshotLookalike(const std::filesystem::path& file);

struct SnapshotLoad {
    Status status;                   // open or read failure
    bool stopped = false;            // the stop flag ended it early
    std::u16string backupPath;       // from line 1
    std::int64_t declaredCount = 0;  // from line 2 (0 when there is none)
    bool hasCountLine = false;
    std::size_t rows = 0;        // entry lines appended
    std::size_t unreadable = 0;  // rows skipped: values missing or malformed
    std::size_t refused = 0;     // rows skipped: a display path too long
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
