// The steps extract, export, verify and mount take alike: reading their
// shared arguments, loading the catalogue to work from, running the work
// until a signal stops it, and turning its outcome into what is printed and
// the exit status.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "save/extract.h"

namespace bkf {
class ScanTap;
}  // namespace bkf

namespace bkf::cli {

// What extract and export both read: SOURCE and the output (the positional
// arguments, in order), and every --match PATTERN.
struct SaveArguments {
    std::vector<std::string_view> positional;
    std::vector<std::u16string> patterns;
};

// Takes args[i] when it is --match PATTERN (moving `i` onto the pattern) or a
// positional argument; "-" is one only when `dashIsOutput`. False when it is
// neither, leaving it to the command's own options.
bool readSaveArgument(const Args& args, std::size_t& i, SaveArguments& into, bool dashIsOutput);

// Each file saved or stored, "verdict<TAB>path" on standard output when
// `listEntries`, and progress on a terminal when `showProgress`.
class SavePrinter final : public ExtractObserver {
public:
    SavePrinter(bool listEntries, bool showProgress) : list_(listEntries), showProgress_(showProgress) {}

    void extractProgress(const ExtractProgress& p) override;
    void entryFinished(const EntryReport& report) override;

private:
    bool list_;
    bool showProgress_;
    std::chrono::steady_clock::time_point shown_{};
};

// loadSource, and then a signal caught while the backup was scanned stops
// the command: its status becomes interruptStatus(), after `stoppedText` (when
// given) on stderr. The status is kExitOk only when there is work to do.
SourceLoad loadSourceUnlessStopped(const std::filesystem::path& source, Catalogue& catalogue,
                                   const char* stoppedText = nullptr);

// loadSource with `tap` seeing every file the scan finds (a snapshot is
// loaded without it); the tap is unhooked however the load ends.
SourceLoad loadSourceTapped(const std::filesystem::path& source, Catalogue& catalogue, ScanTap& tap);

// The backup file the entries' data is read from: the one a snapshot names,
// or the scanned source itself.
std::filesystem::path backupOf(const std::filesystem::path& source, bool fromSnapshot, const Catalogue& catalogue);

// "no entry matches" on stderr; the status is the load's own when it had
// one, else kExitNothingFound.
int reportNoMatch(int finish);

// Runs `work` with a cancel flag that a caught signal sets, then ends the
// progress line on a terminal.
ExtractSummary runStoppable(const std::function<ExtractSummary(const std::atomic<bool>& cancel)>& work);

// Every mismatched, truncated or failed entry, one line each on stderr.
void printProblems(const ExtractSummary& summary);
// ", N under changed names", or nothing when no name was changed.
std::string renamedText(const ExtractSummary& summary);
// "; N entries were never attempted", or nothing when all were.
std::string notAttemptedText(const ExtractSummary& summary);

// The status a save, export or verify exits with: stopped by a signal,
// kExitPartial when an entry or the whole run went wrong, else the load's own.
int saveExitStatus(const ExtractSummary& summary, int finish);

}  // namespace bkf::cli
