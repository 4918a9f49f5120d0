// The subcommands of tarvik. Each takes its arguments (without the command
// name), prints its results on stdout and one clear line per error on stderr,
// and returns the process exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bkf {
class Catalogue;
class CatalogueTable;
using RowIndex = std::uint32_t;
class ByteSource;
struct ScanOptions;
struct EntryReport;
struct ExtractProgress;
struct ExtractSummary;
}  // namespace bkf

namespace bkf::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNothingFound = 1;
inline constexpr int kExitCannotOpen = 2;
inline constexpr int kExitPartial = 3;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitOutputFailed = 74;

// What the scan commands say when a backup gives nothing.
inline constexpr const char* kOpenFailedText =
    "Some Error occoured while opening file. Make sure that file is not shared";
inline constexpr const char* kNoDataFoundText = "No data found in backup file";

using Args = std::vector<std::string_view>;

int runBlocks(const Args& args);
int runScanCommand(const Args& args);
int runListCommand(const Args& args);
int runExtractCommand(const Args& args);
int runSearchCommand(const Args& args);
int runVerifyCommand(const Args& args);
int runExportCommand(const Args& args);
int runMountCommand(const Args& args);

// Whether a display path matches one of the --match patterns (all do when there are none).
bool matchesAny(std::u16string_view path, const std::vector<std::u16string>& patterns);
// The rows of the catalogue that match.
std::vector<RowIndex> matchingRows(const CatalogueTable& table, const std::vector<std::u16string>& patterns);

// The display paths ("BKF\Set\Empty\") of the catalogue's folders that hold
// nothing, those matching a --match (all when there are none).
std::vector<std::u16string> emptyFolders(const Catalogue& catalogue, const std::vector<std::u16string>& patterns);

// "N of M files, B of T bytes" on standard error, a few times a second.
void showFileProgress(const ExtractProgress& progress, std::chrono::steady_clock::time_point& shown);
// "verified", "checksum mismatch", "no checksum", "truncated" or "failed".
const char* verdictWord(const EntryReport& report);
// "N <done>: V verified, M checksum mismatch, U without checksum; T truncated; F failed".
std::string verdictCounts(const ExtractSummary& summary, const char* done);

// The backup opened to read entries' data back, or null after saying why on
// stderr (`hint` is appended to that line).
std::unique_ptr<ByteSource> openBackupToRead(const std::filesystem::path& path, const char* hint = "");
// No entry mismatched, truncated or failed, and the whole run went through.
bool allVerdictsGood(const ExtractSummary& summary);

// How every command scans a backup (--aligned-only clears offGrid).
ScanOptions& scanOptions();

struct SourceLoad {
    // kExitOk when there is a catalogue to work on; otherwise the status to
    // exit with (the reason is printed).
    int status = kExitOk;
    // What the command exits with after doing its work: kExitPartial when
    // snapshot rows were unreadable or backup chunks could not be read,
    // 128 + n when a signal stopped the scan (what was found is kept).
    int finish = kExitOk;
    bool stopped = false;
};

// Fills `catalogue` from a recovery snapshot (recognised by its content) or by
// scanning a backup file; prints any failure or problem.
SourceLoad loadSource(const std::filesystem::path& source, Catalogue& catalogue);

// Refuses a source that is no backup but a snapshot kept in another form;
// prints why. True when the source may be scanned.
bool refuseSnapshotLookalike(const std::filesystem::path& source);

}  // namespace bkf::cli
