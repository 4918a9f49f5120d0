// tarvik export SOURCE OUT [--match PATTERN]... [--format tar|pax|zip|7z]
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
#include "cli/save_steps.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "engine/scan.h"
#include "save/extract.h"
#ifdef BKF_HAVE_ARCHIVE
#include "archive/archive_export.h"
#endif

namespace bkf::cli {

std::vector<std::u16string> emptyFolders(const Catalogue& catalogue, const std::vector<std::u16string>& patterns) {
    std::vector<std::u16string> folders;
    const CatalogueTree& tree = catalogue.tree();
    for (NodeId n = 0; n < tree.nodeCount(); ++n) {
        if (tree.parent(n) == kNoNode || tree.firstChild(n) != kNoNode || !catalogue.rowsInFolder(n).empty()) continue;
        std::u16string path = u"BKF\\" + tree.folderPathOf(n);
        if (matchesAny(std::u16string_view(path).substr(0, path.size() - 1), patterns))
            folders.push_back(std::move(path));
    }
    return folders;
}

#ifndef BKF_HAVE_ARCHIVE

int runExportCommand(const Args&) {
    std::fputs("tarvik: export is not available in this build (it needs libarchive)\n", stderr);
    return kExitCannotOpen;
}

#else

namespace {

constexpr const char* kExportUsage =
    "usage: tarvik export SOURCE OUT|- [--match PATTERN]... [--format tar|pax|zip|7z]\n";

bool refuseOutputOverBackup(const std::filesystem::path& out, const std::filesystem::path& backup) {
    if (!outputIsBackup(out, backup)) return false;
    std::fprintf(stderr, "tarvik: the archive %s would be the backup file itself; the backup is never written to\n",
                 errText(pathText(out)).c_str());
    return true;
}

// The files a scan finds, handed to the exporter's thread as they are found.
class FoundQueue final : public ScanTap {
public:
    FoundQueue(const std::vector<std::u16string>& patterns, const std::atomic<bool>& exporterStopped)
        : patterns_(patterns), exporterStopped_(exporterStopped) {}

    void fileFound(const FoundFile& f) override {
        if (!matchesAny(f.path, patterns_)) return;
        {
            std::lock_guard lock(mutex_);
            items_.push_back({f.path, f.size, f.dataOffset, f.modified, f.accessed, f.created});
        }
        ready_.notify_one();
    }
    void bytesScanned(std::uint64_t, std::span<const std::uint8_t>) override {}
    bool wantsStop() const override { return exporterStopped_.load(); }

    // The next file, or nullopt once the scan has ended and all were taken.
    std::optional<ExtractItem> next() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !items_.empty() || closed_; });
        if (items_.empty()) return std::nullopt;
        ExtractItem item = std::move(items_.front());
        items_.pop_front();
        return item;
    }
    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

private:
    const std::vector<std::u16string>& patterns_;
    const std::atomic<bool>& exporterStopped_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<ExtractItem> items_;
    bool closed_ = false;
};

void printExportSummary(const ExtractSummary& summary, const ExportOptions& options) {
    printProblems(summary);
    if (!summary.status) std::fprintf(stderr, "tarvik: %s\n", errText(summary.status.message()).c_str());
    const bool toStdout = options.out.empty();
    const bool kept = summary.status.ok() && !summary.cancelled;
    std::fprintf(
        stderr, "tarvik: %s%s; %" PRIu64 " bytes in %.2f s %s %s (%s)%s%s\n", verdictCounts(summary, "stored").c_str(),
        renamedText(summary).c_str(), summary.bytesWritten, summary.seconds, toStdout || kept ? "into" : "not kept: no",
        toStdout ? "standard output" : errText(pathText(options.out)).c_str(), archiveFormatName(options.format),
        summary.cancelled ? "; cancelled" : "", notAttemptedText(summary).c_str());
}

// The exporter's own thread: makes the archive at once, then adds each file
// the queue hands it, and finishes the archive once the queue is closed. A
// caught signal cancels it between blocks.
class ExporterThread {
public:
    ExporterThread(ByteSource& backup, const ExportOptions& options, const std::vector<std::u16string>& patterns)
        : queue_(patterns, exporterStopped_),
          printer_(!options.out.empty(), false),  // the scan shows its own progress
          thread_([this, &backup, &options] { run(backup, options); }),
          watcher_(cancel_) {}
    ExporterThread(const ExporterThread&) = delete;
    ExporterThread& operator=(const ExporterThread&) = delete;
    ~ExporterThread() {
        if (thread_.joinable()) finish({}, true);
    }

    // Waits until the archive is made (or could not be).
    bool archiveMade() { return made_.get_future().get(); }
    FoundQueue& queue() { return queue_; }

    // Closes the queue and waits for the archive to be finished with
    // `folders` as its empty folders; with `discard` (the scan failed or
    // found nothing) no archive is kept.
    ExtractSummary finish(std::vector<std::u16string> folders, bool discard) {
        folders_ = std::move(folders);
        discard_ = discard;
        queue_.close();
        thread_.join();
        watcher_.stop();
        return std::move(summary_);
    }

private:
    void run(ByteSource& backup, const ExportOptions& options) {
        ArchiveExporter archive(backup, options, &printer_, &cancel_);
        exporterStopped_ = archive.stopped();
        made_.set_value(!archive.stopped());
        while (auto item = queue_.next()) {
            if (!archive.add(*item)) exporterStopped_ = true;
        }
        summary_ = archive.finish(folders_, discard_.load() || interrupted());
    }

    std::atomic<bool> exporterStopped_{false};
    std::atomic<bool> cancel_{false};
    FoundQueue queue_;
    std::vector<std::u16string> folders_;
    std::atomic<bool> discard_{false};
    ExtractSummary summary_;
    SavePrinter printer_;
    std::promise<bool> made_;
    std::thread thread_;
    InterruptWatcher watcher_;
};

// A backup (not a snapshot) is exported while it is scanned: each file found
// goes to an exporter thread at once, which reads its data (just passed by
// the scan, so from the page cache) while the scan goes on.
int exportAlongTheScan(const std::filesystem::path& source, ByteSource& backup, const ExportOptions& options,
                       const std::vector<std::u16string>& patterns) {
    ExporterThread exporter(backup, options, patterns);
    // The archive is made before the scan starts: one that cannot be made is
    // reported as such, without a scan.
    if (!exporter.archiveMade()) {
        printExportSummary(exporter.finish({}, false), options);
        return kExitPartial;
    }
    Catalogue catalogue;
    const SourceLoad load = loadSourceTapped(source, catalogue, exporter.queue());
    std::vector<std::u16string> folders;
    if (load.status == kExitOk) folders = emptyFolders(catalogue, patterns);
    const bool nothing = matchingRows(catalogue.table(), patterns).empty() && folders.empty();
    const ExtractSummary summary = exporter.finish(std::move(folders), load.status != kExitOk || nothing);
    if (load.status != kExitOk) return load.status;
    if (nothing) return reportNoMatch(load.finish);
    printExportSummary(summary, options);
    return saveExitStatus(summary, load.finish);
}

// What export was asked to do.
struct ExportArguments {
    std::filesystem::path source;
    std::string_view output;  // OUT, or "-" for standard output
    std::optional<ArchiveFormat> format;
    std::vector<std::u16string> patterns;
};

// The arguments; nullopt after printing why they cannot be used.
std::optional<ExportArguments> readExportArguments(const Args& args) {
    ExportArguments exportArgs;
    SaveArguments shared;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size()) {
            exportArgs.format = parseArchiveFormat(args[++i]);
            if (!exportArgs.format) {
                std::fprintf(stderr, "tarvik: unknown archive format '%.*s' (tar, pax, zip or 7z)\n",
                             static_cast<int>(args[i].size()), args[i].data());
                return std::nullopt;
            }
        } else if (!readSaveArgument(args, i, shared, true)) {
            std::fputs(kExportUsage, stderr);
            return std::nullopt;
        }
    }
    if (shared.positional.size() != 2) {
        std::fputs(kExportUsage, stderr);
        return std::nullopt;
    }
    exportArgs.source = argumentPath(shared.positional[0]);
    exportArgs.output = shared.positional[1];
    exportArgs.patterns = std::move(shared.patterns);
    return exportArgs;
}

// Where the archive goes and in which format: --format, else the name's
// extension; tar when it goes to standard output, which may not be a
// terminal. nullopt after printing why the output cannot be used.
std::optional<ExportOptions> archiveOptions(std::string_view output, std::optional<ArchiveFormat> format) {
    ExportOptions options;
    if (output == "-") {
        options.fd = 1;
        options.format = format.value_or(ArchiveFormat::Tar);
        if (stdoutIsTerminal()) {
            std::fputs("tarvik: an archive is not written to a terminal; redirect standard output or name a file\n",
                       stderr);
            return std::nullopt;
        }
        return options;
    }
    options.out = argumentPath(output);
    if (!format) format = archiveFormatOf(options.out);
    if (!format) {
        std::fprintf(stderr,
                     "tarvik: cannot tell the archive format from the name %s: give --format "
                     "tar|pax|zip|7z\n",
                     errText(pathText(options.out)).c_str());
        return std::nullopt;
    }
    options.format = *format;
    return options;
}

// The archive as a path to compare with the backup: standard output
// redirected into the backup counts as the backup too.
std::filesystem::path archivePath(const ExportOptions& options) {
    return options.out.empty() ? std::filesystem::path("/dev/stdout") : options.out;
}

bool refuseExistingArchive(const ExportOptions& options) {
    std::error_code error;
    if (options.out.empty() ||
        std::filesystem::symlink_status(options.out, error).type() == std::filesystem::file_type::not_found) {
        return false;
    }
    std::fprintf(stderr, "tarvik: %s exists; an archive never replaces a file\n",
                 errText(pathText(options.out)).c_str());
    return true;
}

// A snapshot, or a backup the scan alone could open, is loaded into a
// catalogue first; the matching entries are then read from the backup.
int exportFromCatalogue(const ExportArguments& exportArgs, const ExportOptions& options, bool fromSnapshot) {
    Catalogue catalogue;
    const SourceLoad load =
        loadSourceUnlessStopped(exportArgs.source, catalogue, "stopped before any file was written");
    if (load.status != kExitOk) return load.status;
    const std::vector<RowIndex> rows = matchingRows(catalogue.table(), exportArgs.patterns);
    const std::vector<std::u16string> folders = emptyFolders(catalogue, exportArgs.patterns);
    if (rows.empty() && folders.empty()) return reportNoMatch(load.finish);

    const std::filesystem::path backupPath = backupOf(exportArgs.source, fromSnapshot, catalogue);
    if (fromSnapshot && refuseOutputOverBackup(archivePath(options), backupPath)) return kExitUsage;
    const std::unique_ptr<ByteSource> backup = openBackupToRead(backupPath);
    if (!backup) return kExitCannotOpen;

    const auto items = extractItems(catalogue.table(), rows);
    // Each stored entry is listed unless the archive goes to standard output.
    SavePrinter printer(!options.out.empty(), stderrIsTerminal());
    const ExtractSummary summary = runStoppable([&](const std::atomic<bool>& cancel) {
        return exportEntries(*backup, items, folders, options, &printer, &cancel);
    });
    printExportSummary(summary, options);
    return saveExitStatus(summary, load.finish);
}

}  // namespace

int runExportCommand(const Args& args) {
    const std::optional<ExportArguments> exportArgs = readExportArguments(args);
    if (!exportArgs) return kExitUsage;
    const std::optional<ExportOptions> options = archiveOptions(exportArgs->output, exportArgs->format);
    if (!options) return kExitUsage;
    const bool fromSnapshot = looksLikeSnapshot(exportArgs->source);
    // A snapshot's own backup is known only once it is loaded.
    if (!fromSnapshot && refuseOutputOverBackup(archivePath(*options), exportArgs->source)) return kExitUsage;
    if (refuseExistingArchive(*options)) return kExitUsage;
    catchInterrupt();
    if (!fromSnapshot) {
        if (refuseSnapshotLookalike(exportArgs->source)) return kExitCannotOpen;
        OpenedBackup opened = openBackupFile(exportArgs->source, BackupAccess::Shared);
        // (One that cannot be opened is reported by the scan's own open below.)
        if (opened) return exportAlongTheScan(exportArgs->source, **opened, *options, exportArgs->patterns);
    }
    return exportFromCatalogue(*exportArgs, *options, fromSnapshot);
}

#endif

}  // namespace bkf::cli
