// tarvik scan BACKUP [-o SNAPSHOT] [--log LOGFILE]
// tarvik list SOURCE [--format text|tsv|json]
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "catalogue/snapshot.h"
#include "catalogue/text.h"
#include "cli/commands.h"
#include "cli/listing.h"
#include "cli/terminal.h"
#include "engine/scan_job.h"
#include "save/recovery_log.h"

namespace bkf::cli {

namespace {

// Hands what the scan finds to the command's own thread, which builds the
// catalogue while the worker goes on scanning: the two overlap on two cores,
// and the catalogue is only ever touched by one thread.
class CatalogueFiller final : public ScanObserver {
public:
    void scanEvents(std::vector<ScanEvent>&& events) override {
        {
            // The scan waits when the catalogue falls behind, so found
            // entries never pile up in memory.
            std::unique_lock lock(mutex_);
            room_.wait(lock, [&] { return batches_.size() < kMaxQueued; });
            batches_.push_back(std::move(events));
        }
        wake_.notify_one();
    }
    void scanProgress(const ScanProgress& progress) override {
        std::lock_guard lock(mutex_);
        progress_ = progress;
    }
    void scanFinished(const ScanOutcome& outcome) override {
        {
            std::lock_guard lock(mutex_);
            outcome_ = outcome;
            finished_ = true;
        }
        wake_.notify_one();
    }

    // Applies the batches that have arrived, waiting up to `wait` for one.
    // Returns false once the scan has finished and everything is applied.
    bool apply(Catalogue& catalogue, std::chrono::milliseconds wait) {
        std::deque<std::vector<ScanEvent>> ready;
        bool finished = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, wait, [&] { return !batches_.empty() || finished_; });
            ready.swap(batches_);
            finished = finished_;
        }
        room_.notify_all();
        for (const auto& batch : ready) {
            for (const ScanEvent& e : batch) {
                if (!e.isFolder) {
                    catalogue.appendEntry(e.file.path, e.file.size, e.file.dataOffset, e.file.modified,
                                          e.file.accessed, e.file.created);
                }
                catalogue.addFolderPath(e.file.path);
            }
        }
        return !(finished && ready.empty());
    }

    ScanProgress progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    ScanOutcome outcome() {
        std::lock_guard lock(mutex_);
        return outcome_;
    }

private:
    static constexpr std::size_t kMaxQueued = 4;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable room_;
    std::deque<std::vector<ScanEvent>> batches_;
    ScanProgress progress_;
    ScanOutcome outcome_;
    bool finished_ = false;
};

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
    int status = kExitOk;
    ScanOutcome outcome;
};

// Scans `backup` into `catalogue`, with progress on a terminal and Ctrl-C as Stop.
ScanRun runScan(const std::string& backup, Catalogue& catalogue, const std::optional<std::filesystem::path>& log,
                bool summary) {
    const std::u16string typed = utf8ToUtf16(backup);
    catalogue.setBackupFilePath(typed);
    if (log) {
        writeLogLine(*log, logPathLine(typed));
        writeLogLine(*log, logCodeLine(LogCode::RecoveryStarted));
    }
    CatalogueFiller filler;
    ScanJob job(filler);
    job.setBackupPath(pathFromUtf16(typed));
    job.setLogPath(log);
    job.setOptions(scanOptions());
    catchInterrupt();
    const bool showing = stderrIsTerminal();
    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    if (job.prepareScan([&] { catalogue.clear(); })) {
        auto shown = std::chrono::steady_clock::now();
        while (filler.apply(catalogue, std::chrono::milliseconds(100))) {
            if (interrupted()) job.stopScan();
            if (showing && std::chrono::steady_clock::now() - shown > std::chrono::milliseconds(200)) {
                shown = std::chrono::steady_clock::now();
                showProgress(filler.progress(), elapsed());
            }
        }
        job.wait();
        if (showing) std::fputs("\n", stderr);
    }
    ScanRun run;
    run.outcome = filler.outcome();
    switch (run.outcome.kind) {
        case ScanOutcome::Kind::OpenFailed:
            std::fprintf(stderr, "tarvik: %s: %s (%s)\n", utf16ToUtf8(kOpenFailedText).c_str(), backup.c_str(),
                         run.outcome.reason.c_str());
            run.status = kExitCannotOpen;
            return run;
        case ScanOutcome::Kind::NothingFound:
            std::fprintf(stderr, "tarvik: %s\n", utf16ToUtf8(kNoDataFoundText).c_str());
            run.status = kExitNothingFound;
            return run;
        case ScanOutcome::Kind::Results: break;
    }
    catalogue.markAllAfterLoad();
    if (summary) {
        const double seconds = elapsed();
        const auto& s = run.outcome.stats;
        std::fprintf(stderr,
                     "tarvik: %" PRIu64 " files in %" PRIu64 " sets and %zu folders; %" PRIu64
                     " bytes scanned in %.2f s (%.1f MB/s)%s%s\n",
                     s.files, s.sets, folderNodes(catalogue.tree()), s.bytesScanned, seconds,
                     seconds > 0 ? static_cast<double>(s.bytesScanned) / 1e6 / seconds : 0.0,
                     run.outcome.stopped ? "; stopped before the end" : "",
                     s.readErrors ? "; some chunks could not be read" : "");
    }
    return run;
}

}  // namespace

ScanOptions& scanOptions() {
    static ScanOptions options;
    return options;
}

int runScanCommand(const Args& args) {
    std::optional<std::string> backup;
    std::optional<std::filesystem::path> snapshot;
    std::optional<std::filesystem::path> log;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if ((a == "-o" || a == "--log") && i + 1 < args.size()) {
            const auto path = pathFromUtf16(utf8ToUtf16(args[++i]));
            (a == "-o" ? snapshot : log) = path;
        } else if (!a.empty() && a[0] != '-' && !backup) {
            backup = std::string(a);
        } else {
            std::fputs("usage: tarvik scan BACKUP [-o SNAPSHOT] [--log LOGFILE]\n", stderr);
            return kExitUsage;
        }
    }
    if (!backup) {
        std::fputs("usage: tarvik scan BACKUP [-o SNAPSHOT] [--log LOGFILE]\n", stderr);
        return kExitUsage;
    }
    Catalogue catalogue;
    const ScanRun run = runScan(*backup, catalogue, log, true);
    if (run.status != kExitOk) return run.status;
    if (snapshot) {
        const Status written = writeSnapshot(*snapshot, catalogue.table(), catalogue.backupFilePath());
        if (!written) {
            std::fprintf(stderr, "tarvik: %s\n", written.message().c_str());
            return kExitPartial;
        }
    } else {
        printCatalogue(catalogue.table(), ListFormat::Text, stdout);
    }
    return kExitOk;
}

int runListCommand(const Args& args) {
    std::optional<std::string> source;
    ListFormat format = ListFormat::Text;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--format" && i + 1 < args.size()) {
            if (!parseListFormat(args[++i], format)) {
                std::fprintf(stderr, "tarvik: unknown format '%.*s' (text, tsv or json)\n",
                             static_cast<int>(args[i].size()), args[i].data());
                return kExitUsage;
            }
        } else if (!a.empty() && a[0] != '-' && !source) {
            source = std::string(a);
        } else {
            std::fputs("usage: tarvik list SOURCE [--format text|tsv|json]\n", stderr);
            return kExitUsage;
        }
    }
    if (!source) {
        std::fputs("usage: tarvik list SOURCE [--format text|tsv|json]\n", stderr);
        return kExitUsage;
    }
    const auto path = pathFromUtf16(utf8ToUtf16(*source));
    if (looksLikeSnapshot(path)) {
        std::string error;
        const auto rows = printSnapshot(path, format, stdout, error);
        if (!rows) {
            std::fprintf(stderr, "tarvik: %s\n", error.c_str());
            return kExitCannotOpen;
        }
        if (*rows == 0) {
            std::fprintf(stderr, "tarvik: %s\n", utf16ToUtf8(kNoDataFoundText).c_str());
            return kExitNothingFound;
        }
        return kExitOk;
    }
    Catalogue catalogue;
    const int status = runScan(*source, catalogue, std::nullopt, false).status;
    if (status != kExitOk) return status;
    printCatalogue(catalogue.table(), format, stdout);
    return kExitOk;
}

int loadSource(const std::string& source, Catalogue& catalogue) {
    const auto path = pathFromUtf16(utf8ToUtf16(source));
    if (looksLikeSnapshot(path)) {
        const SnapshotLoad load = loadSnapshotFile(path, catalogue);
        if (!load.status) {
            std::fprintf(stderr, "tarvik: %s\n", load.status.message().c_str());
            return kExitCannotOpen;
        }
        if (load.rows == 0) {
            std::fprintf(stderr, "tarvik: %s\n", utf16ToUtf8(kNoDataFoundText).c_str());
            return kExitNothingFound;
        }
        return kExitOk;
    }
    return runScan(source, catalogue, std::nullopt, false).status;
}

}  // namespace bkf::cli
