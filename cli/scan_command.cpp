// tarvik scan BACKUP [-o SNAPSHOT] [--log LOGFILE]
// tarvik list SOURCE [--format text|tsv|json]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "base/text.h"
#include "catalogue/catalogue_builder.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
#include "cli/listing.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "engine/recovery_log.h"
#include "engine/scan_job.h"

namespace bkf::cli {

namespace {

// The scan hands what it finds to the command's own thread, which builds the
// catalogue while the worker goes on scanning: the two overlap on two cores,
// and the catalogue is only ever touched by one thread. The scan waits when
// the catalogue falls behind: two batches waiting keep both threads busy;
// more would only hold found entries in memory twice over.
constexpr std::size_t kMaxQueuedBatches = 2;

void showProgress(const ScanProgress& p, double seconds) {
    const double mb = static_cast<double>(p.scanned) / 1e6;
    std::fprintf(stderr, "\r%3d%%  %" PRIu64 " of %" PRIu64 " bytes  %" PRIu64 " files  %.1f MB/s   ", p.percent,
                 p.scanned, p.fileSize, p.filesFound, seconds > 0 ? mb / seconds : 0.0);
    std::fflush(stderr);
}

std::size_t folderNodes(const CatalogueTree& tree) {
    // Every node below a set node is a folder.
    std::size_t count = tree.nodeCount();
    for (NodeId top = tree.root(); top != kNoNode; top = tree.nextSibling(top)) {
        --count;
        for (NodeId set = tree.firstChild(top); set != kNoNode; set = tree.nextSibling(set)) --count;
    }
    return count;
}

struct ScanRun {
    int status = kExitOk;  // kExitOk when there are results to use
    int finish = kExitOk;  // the status after using them (stopped, chunks unread)
    ScanOutcome outcome;
    Status full;  // the catalogue could take no more: the scan was stopped there
};

std::string rangesText(const std::vector<ByteRange>& ranges) {
    std::string text;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i == 8) {
            text += ", and " + std::to_string(ranges.size() - i) + " more";
            break;
        }
        if (i > 0) text += ", ";
        text += std::to_string(ranges[i].begin) + "-" + std::to_string(ranges[i].end - 1);
    }
    return text;
}

// The backup's absolute path, or the path as given when it has none.
std::filesystem::path absoluteOrAsGiven(const std::filesystem::path& backup) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(backup, ec);
    if (ec) absolute = backup;
    return absolute;
}

double secondsSince(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// Builds the catalogue from what the started scan finds until its outcome
// comes, stopping the scan on a signal or a full catalogue, with progress on
// a terminal.
void followScan(ScanJob& job, ScanQueue& queue, CatalogueBuilder& builder,
                std::chrono::steady_clock::time_point started, ScanRun& run) {
    const bool showing = stderrIsTerminal();
    auto shown = std::chrono::steady_clock::now();
    ScanProgress progress;
    for (;;) {
        queue.waitForWork(std::chrono::milliseconds(100));
        while (auto batch = queue.pop()) {
            if (!run.full.ok()) continue;
            run.full = builder.add(*batch);
            if (!run.full.ok()) job.stopScan();
        }
        if (auto outcome = queue.takeOutcome()) {
            run.outcome = std::move(*outcome);
            break;
        }
        if (interrupted()) job.stopScan();
        if (auto latest = queue.takeProgress()) progress = *latest;
        if (showing && std::chrono::steady_clock::now() - shown > std::chrono::milliseconds(200)) {
            shown = std::chrono::steady_clock::now();
            showProgress(progress, secondsSince(started));
        }
    }
    job.wait();
    if (showing) std::fputs("\n", stderr);
}

// What went wrong during the scan, on stderr, and the status it leaves.
void reportScanProblems(ScanRun& run, const std::string& shownPath) {
    if (!run.full.ok()) {
        std::fprintf(stderr, "tarvik: the scan of %s was stopped: %s\n", shownPath.c_str(), run.full.message().c_str());
        run.finish = kExitCannotOpen;
    }
    if (!run.outcome.failure.empty()) {
        std::fprintf(stderr, "tarvik: the scan of %s failed: %s\n", shownPath.c_str(), run.outcome.failure.c_str());
        run.finish = kExitCannotOpen;
    }
    if (!run.outcome.unread.empty()) {
        std::fprintf(stderr, "tarvik: some chunks of %s could not be read (examined as zeros): bytes %s\n",
                     shownPath.c_str(), rangesText(run.outcome.unread).c_str());
        run.finish = std::max(run.finish, kExitPartial);
    }
    if (run.outcome.stopped && interrupted()) run.finish = interruptStatus();
}

// True when the scan found files to use; otherwise says why not and sets
// the status to exit with.
bool foundResults(ScanRun& run, const std::string& shownPath) {
    switch (run.outcome.kind) {
        case ScanOutcome::Kind::OpenFailed:
            std::fprintf(stderr, "tarvik: %s: %s (%s)\n", kOpenFailedText, shownPath.c_str(),
                         run.outcome.reason.c_str());
            run.status = kExitCannotOpen;
            return false;
        case ScanOutcome::Kind::NothingFound:
            if (run.outcome.stopped && interrupted()) {
                std::fprintf(stderr, "tarvik: stopped at offset %" PRIu64 " before any file was found\n",
                             run.outcome.stats.bytesScanned);
                run.status = run.finish;
                return false;
            }
            std::fprintf(stderr, "tarvik: %s\n", kNoDataFoundText);
            run.status = run.finish != kExitOk ? run.finish : kExitNothingFound;
            return false;
        case ScanOutcome::Kind::Results:
            break;
    }
    return true;
}

// "N files in S sets and F folders; B bytes scanned in T s (R MB/s)".
void printScanSummary(const ScanOutcome& outcome, const Catalogue& catalogue, double seconds) {
    const auto& s = outcome.stats;
    std::fprintf(stderr,
                 "tarvik: %" PRIu64 " files in %" PRIu64 " sets and %zu folders; %" PRIu64
                 " bytes scanned in %.2f s (%.1f MB/s)%s%s\n",
                 s.files, s.sets, folderNodes(catalogue.tree()), s.bytesScanned, seconds,
                 seconds > 0 ? static_cast<double>(s.bytesScanned) / 1e6 / seconds : 0.0,
                 outcome.stopped ? "; stopped before the end" : "",
                 s.readErrors ? "; some chunks could not be read" : "");
}

// Scans `backup` into `catalogue`, with progress on a terminal and Ctrl-C
// (or SIGTERM, SIGHUP) as Stop. The catalogue names the backup by its
// absolute path; the log keeps the path as typed.
ScanRun runScan(const std::filesystem::path& backup, Catalogue& catalogue,
                const std::optional<std::filesystem::path>& log, bool summary) {
    const std::filesystem::path absolute = absoluteOrAsGiven(backup);
    catalogue.setBackupFilePath(pathToUtf16(absolute));
    if (log) {
        writeLogLine(*log, logPathLine(pathToUtf16(backup)));
        writeLogLine(*log, logCodeLine(LogCode::RecoveryStarted));
    }
    ScanQueue queue(kMaxQueuedBatches);
    QueuedScanObserver observer(queue);
    CatalogueBuilder builder(catalogue);
    ScanJob job(observer);
    job.setBackupPath(absolute);
    job.setLogPath(log);
    job.setOptions(scanOptions());
    catchInterrupt();
    const auto started = std::chrono::steady_clock::now();
    ScanRun run;
    if (job.prepareScan([&] { catalogue.clear(); })) {
        followScan(job, queue, builder, started, run);
    } else {
        // The open failed: the outcome says why.
        run.outcome = queue.takeOutcome().value_or(ScanOutcome{});
    }
    const std::string shownPath = errText(pathText(backup));
    reportScanProblems(run, shownPath);
    if (!foundResults(run, shownPath)) return run;
    catalogue.markAllAfterLoad();
    if (summary) printScanSummary(run.outcome, catalogue, secondsSince(started));
    return run;
}

// An output is never the backup (or inside it): refused, with the reason,
// before any work.
bool refuseOutputOverBackup(const char* what, const std::filesystem::path& output,
                            const std::filesystem::path& backup) {
    if (!outputIsBackup(output, backup)) return false;
    std::fprintf(stderr, "tarvik: the %s %s is the backup file itself (or inside it); the backup is never written to\n",
                 what, errText(pathText(output)).c_str());
    return true;
}

// What scan was asked to do.
struct ScanArguments {
    std::filesystem::path backup;
    std::optional<std::filesystem::path> snapshot;  // -o
    std::optional<std::filesystem::path> log;       // --log
};

// The arguments; nullopt after printing the usage.
std::optional<ScanArguments> readScanArguments(const Args& args) {
    constexpr const char* kUsage = "usage: tarvik scan BACKUP [-o SNAPSHOT] [--log LOGFILE]\n";
    std::optional<std::filesystem::path> backup;
    ScanArguments scan;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if ((a == "-o" || a == "--log") && i + 1 < args.size()) {
            (a == "-o" ? scan.snapshot : scan.log) = argumentPath(args[++i]);
        } else if (!a.empty() && a[0] != '-' && !backup) {
            backup = argumentPath(a);
        } else {
            std::fputs(kUsage, stderr);
            return std::nullopt;
        }
    }
    if (!backup) {
        std::fputs(kUsage, stderr);
        return std::nullopt;
    }
    scan.backup = std::move(*backup);
    return scan;
}

// Every output is checked before the scan starts: false after printing why
// one cannot be used.
bool outputsUsable(const ScanArguments& scan) {
    if (scan.snapshot && refuseOutputOverBackup("snapshot", *scan.snapshot, scan.backup)) return false;
    if (scan.log && refuseOutputOverBackup("log", *scan.log, scan.backup)) return false;
    if (scan.log) {
        if (const Status usable = checkLogFile(*scan.log); !usable) {
            std::fprintf(stderr, "tarvik: %s\n", errText(usable.message()).c_str());
            return false;
        }
    }
    if (!scan.snapshot) return true;
    const std::filesystem::path absolute = absoluteOrAsGiven(scan.backup);
    if (const Status usable = checkSnapshotTarget(*scan.snapshot, pathToUtf16(absolute)); !usable) {
        std::fprintf(stderr, "tarvik: %s\n", errText(usable.message()).c_str());
        return false;
    }
    if (pathFromUtf16(pathToUtf16(absolute)).native() != absolute.native()) {
        std::fprintf(stderr,
                     "tarvik: warning: the backup path is not UTF-8 and the snapshot cannot keep it exactly; "
                     "extract from it with --backup\n");
    }
    return true;
}

// Writes the snapshot, or lists the catalogue when none was asked for; a
// scan stopped early says how far what is kept goes.
int keepScanResults(const ScanRun& run, const Catalogue& catalogue,
                    const std::optional<std::filesystem::path>& snapshot) {
    if (snapshot) {
        const Status written = writeSnapshot(*snapshot, catalogue.table(), catalogue.backupFilePath());
        if (!written) {
            std::fprintf(stderr, "tarvik: %s\n", errText(written.message()).c_str());
            return kExitPartial;
        }
    } else {
        printCatalogue(catalogue.table(), ListFormat::Text, stdout, stdoutIsTerminal());
    }
    if (run.outcome.stopped) {
        std::fprintf(stderr, "tarvik: stopped: the %s holds what was found up to offset %" PRIu64 "\n",
                     snapshot ? "snapshot" : "list", run.outcome.stats.bytesScanned);
    }
    return run.finish;
}

// SOURCE and --format; false after printing why they cannot be used.
bool readListArguments(const Args& args, std::filesystem::path& source, ListFormat& format) {
    constexpr const char* kUsage = "usage: tarvik list SOURCE [--format text|tsv|json]\n";
    bool haveSource = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--format" && i + 1 < args.size()) {
            if (!parseListFormat(args[++i], format)) {
                std::fprintf(stderr, "tarvik: unknown format '%s' (text, tsv or json)\n", errText(args[i]).c_str());
                return false;
            }
        } else if (!a.empty() && a[0] != '-' && !haveSource) {
            source = argumentPath(a);
            haveSource = true;
        } else {
            std::fputs(kUsage, stderr);
            return false;
        }
    }
    if (!haveSource) std::fputs(kUsage, stderr);
    return haveSource;
}

// A snapshot is listed as it is read, without building a catalogue.
int listSnapshot(const std::filesystem::path& source, ListFormat format, bool terminal) {
    std::string error;
    const auto listed = printSnapshot(source, format, stdout, terminal, error);
    if (!listed) {
        std::fprintf(stderr, "tarvik: %s\n", errText(error).c_str());
        return kExitCannotOpen;
    }
    for (const auto& problem : listed->problems) std::fprintf(stderr, "tarvik: %s\n", problem.c_str());
    if (listed->rows == 0) {
        std::fprintf(stderr, "tarvik: %s\n", kNoDataFoundText);
        return listed->unreadable > 0 ? kExitPartial : kExitNothingFound;
    }
    return listed->unreadable > 0 ? kExitPartial : kExitOk;
}

// Loads a snapshot into `catalogue`, telling of rows that could not be.
SourceLoad loadSnapshotSource(const std::filesystem::path& source, Catalogue& catalogue) {
    SourceLoad result;
    const SnapshotLoad load = loadSnapshotFile(source, catalogue);
    if (!load.status) {
        std::fprintf(stderr, "tarvik: %s\n", errText(load.status.message()).c_str());
        result.status = kExitCannotOpen;
        return result;
    }
    for (const auto& problem :
         snapshotRowProblems(load.rows, load.unreadable, load.refused,
                             load.hasCountLine ? std::optional(load.declaredCount) : std::nullopt)) {
        std::fprintf(stderr, "tarvik: %s\n", problem.c_str());
    }
    if (load.unreadable > 0 || load.refused > 0) result.finish = kExitPartial;
    if (load.rows == 0) {
        std::fprintf(stderr, "tarvik: %s\n", kNoDataFoundText);
        result.status = result.finish != kExitOk ? result.finish : kExitNothingFound;
    }
    return result;
}

}  // namespace

ScanOptions& scanOptions() {
    static ScanOptions options;
    return options;
}

bool refuseSnapshotLookalike(const std::filesystem::path& source) {
    const auto lookalike = snapshotLookalike(source);
    if (!lookalike) return false;
    std::fprintf(stderr,
                 "tarvik: %s is not a backup file but looks like %s; a recovery snapshot is UTF-16LE text "
                 "without a byte-order mark, its lines ending in CR LF\n",
                 errText(pathText(source)).c_str(), lookalike->c_str());
    return true;
}

int runScanCommand(const Args& args) {
    const std::optional<ScanArguments> scan = readScanArguments(args);
    if (!scan) return kExitUsage;
    if (!outputsUsable(*scan)) return kExitUsage;
    if (refuseSnapshotLookalike(scan->backup)) return kExitCannotOpen;
    Catalogue catalogue;
    const ScanRun run = runScan(scan->backup, catalogue, scan->log, true);
    if (run.status != kExitOk) return run.status;
    return keepScanResults(run, catalogue, scan->snapshot);
}

int runListCommand(const Args& args) {
    std::filesystem::path source;
    ListFormat format = ListFormat::Text;
    if (!readListArguments(args, source, format)) return kExitUsage;
    const bool terminal = stdoutIsTerminal();
    if (looksLikeSnapshot(source)) return listSnapshot(source, format, terminal);
    Catalogue catalogue;
    const SourceLoad load = loadSource(source, catalogue);
    if (load.status != kExitOk) return load.status;
    printCatalogue(catalogue.table(), format, stdout, terminal);
    return load.finish;
}

SourceLoad loadSource(const std::filesystem::path& source, Catalogue& catalogue) {
    if (looksLikeSnapshot(source)) return loadSnapshotSource(source, catalogue);
    SourceLoad result;
    if (refuseSnapshotLookalike(source)) {
        result.status = kExitCannotOpen;
        return result;
    }
    const ScanRun run = runScan(source, catalogue, std::nullopt, false);
    result.status = run.status;
    result.finish = run.finish;
    result.stopped = run.outcome.stopped;
    if (run.status == kExitOk && run.outcome.stopped) {
        std::fprintf(stderr, "tarvik: stopped at offset %" PRIu64 ": what was found up to there is kept\n",
                     run.outcome.stats.bytesScanned);
    }
    return result;
}

}  // namespace bkf::cli
