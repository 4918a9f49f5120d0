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

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
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

// Each stored entry on standard output (unless the archive goes there), and
// progress on a terminal.
class ExportPrinter final : public ExtractObserver {
public:
    ExportPrinter(bool listEntries, bool showProgress) : list_(listEntries), showProgress_(showProgress) {}

    void extractProgress(const ExtractProgress& p) override {
        if (showProgress_) showFileProgress(p, shown_);
    }
    void entryFinished(const EntryReport& report) override {
        if (!list_ || report.writtenAs.empty()) return;
        writeOut(std::string(verdictWord(report)) + "\t" + outText(pathText(report.writtenAs)) + "\n");
    }

private:
    bool list_;
    bool showProgress_;
    std::chrono::steady_clock::time_point shown_{};
};

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
    for (const auto& p : summary.problems) {
        std::fprintf(stderr, "tarvik: %s: %s%s%s\n", verdictWord(p), errText(utf16ToUtf8(p.displayPath)).c_str(),
                     p.reason.empty() ? "" : ": ", errText(p.reason).c_str());
    }
    if (!summary.status) std::fprintf(stderr, "tarvik: %s\n", errText(summary.status.message()).c_str());
    const bool toStdout = options.out.empty();
    const bool kept = summary.status.ok() && !summary.cancelled;
    std::string notAttempted;
    if (summary.notReached > 0) {
        notAttempted = "; " + std::to_string(summary.notReached) +
                       (summary.notReached == 1 ? " entry was" : " entries were") + " never attempted";
    }
    std::fprintf(stderr, "tarvik: %s%s; %" PRIu64 " bytes in %.2f s %s %s (%s)%s%s\n",
                 verdictCounts(summary, "stored").c_str(),
                 summary.renamed ? (", " + std::to_string(summary.renamed) + " under changed names").c_str() : "",
                 summary.bytesWritten, summary.seconds, toStdout || kept ? "into" : "not kept: no",
                 toStdout ? "standard output" : errText(pathText(options.out)).c_str(),
                 archiveFormatName(options.format), summary.cancelled ? "; cancelled" : "", notAttempted.c_str());
}

// A backup (not a snapshot) is exported while it is scanned: each file found
// goes to an exporter thread at once, which reads its data (just passed by
// the scan, so from the page cache) while the scan goes on.
int exportAlongTheScan(const std::filesystem::path& source, ByteSource& backup, const ExportOptions& options,
                       const std::vector<std::u16string>& patterns) {
    std::atomic<bool> exporterStopped{false};
    std::atomic<bool> cancel{false};
    FoundQueue queue(patterns, exporterStopped);
    std::vector<std::u16string> folders;
    std::atomic<bool> discard{false};  // the scan failed or found nothing: no archive is kept
    ExtractSummary summary;
    ExportPrinter printer(!options.out.empty(), false);  // the scan shows its own progress
    // The archive is made before the scan starts: one that cannot be made is
    // reported as such, without a scan.
    std::promise<bool> made;
    std::thread exporter([&] {
        ArchiveExporter archive(backup, options, &printer, &cancel);
        exporterStopped = archive.stopped();
        made.set_value(!archive.stopped());
        while (auto item = queue.next()) {
            if (!archive.add(*item)) exporterStopped = true;
        }
        summary = archive.finish(folders, discard.load() || interrupted());
    });
    InterruptWatcher watcher(cancel);
    const auto stopThreads = [&] {
        queue.close();
        exporter.join();
        watcher.stop();
    };
    if (!made.get_future().get()) {
        stopThreads();
        printExportSummary(summary, options);
        return kExitPartial;
    }
    Catalogue catalogue;
    SourceLoad load;
    scanOptions().tap = &queue;
    try {
        load = loadSource(source, catalogue);
    } catch (...) {
        scanOptions().tap = nullptr;
        discard = true;
        stopThreads();
        throw;
    }
    scanOptions().tap = nullptr;
    if (load.status == kExitOk) folders = emptyFolders(catalogue, patterns);
    const bool nothing = matchingRows(catalogue.table(), patterns).empty() && folders.empty();
    discard = load.status != kExitOk || nothing;
    stopThreads();
    if (load.status != kExitOk) return load.status;
    if (nothing) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return load.finish != kExitOk ? load.finish : kExitNothingFound;
    }
    printExportSummary(summary, options);
    if (summary.cancelled && interrupted()) return interruptStatus();
    if (!allVerdictsGood(summary)) return kExitPartial;
    return load.finish;
}

}  // namespace

int runExportCommand(const Args& args) {
    std::vector<std::string_view> positional;
    std::vector<std::u16string> patterns;
    std::optional<ArchiveFormat> format;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--match" && i + 1 < args.size()) {
            patterns.push_back(utf8ToUtf16(args[++i]));
        } else if (a == "--format" && i + 1 < args.size()) {
            format = parseArchiveFormat(args[++i]);
            if (!format) {
                std::fprintf(stderr, "tarvik: unknown archive format '%.*s' (tar, pax, zip or 7z)\n",
                             static_cast<int>(args[i].size()), args[i].data());
                return kExitUsage;
            }
        } else if (a == "-" || (!a.empty() && a[0] != '-')) {
            positional.push_back(a);
        } else {
            std::fputs(kExportUsage, stderr);
            return kExitUsage;
        }
    }
    if (positional.size() != 2) {
        std::fputs(kExportUsage, stderr);
        return kExitUsage;
    }
    const std::filesystem::path source = argumentPath(positional[0]);
    const bool toStdout = positional[1] == "-";
    ExportOptions options;
    if (toStdout) {
        options.fd = 1;
        options.format = format.value_or(ArchiveFormat::Tar);
        if (stdoutIsTerminal()) {
            std::fputs("tarvik: an archive is not written to a terminal; redirect standard output or name a file\n",
                       stderr);
            return kExitUsage;
        }
    } else {
        options.out = argumentPath(positional[1]);
        if (!format) format = archiveFormatOf(options.out);
        if (!format) {
            std::fprintf(stderr,
                         "tarvik: cannot tell the archive format from the name %s: give --format "
                         "tar|pax|zip|7z\n",
                         errText(pathText(options.out)).c_str());
            return kExitUsage;
        }
        options.format = *format;
    }
    // Standard output redirected into the backup counts as the backup too.
    const std::filesystem::path outPath = toStdout ? std::filesystem::path("/dev/stdout") : options.out;
    const bool fromSnapshot = looksLikeSnapshot(source);
    if (!fromSnapshot && refuseOutputOverBackup(outPath, source)) return kExitUsage;
    std::error_code error;
    if (!toStdout &&
        std::filesystem::symlink_status(options.out, error).type() != std::filesystem::file_type::not_found) {
        std::fprintf(stderr, "tarvik: %s exists; an archive never replaces a file\n",
                     errText(pathText(options.out)).c_str());
        return kExitUsage;
    }
    catchInterrupt();
    if (!fromSnapshot) {
        if (refuseSnapshotLookalike(source)) return kExitCannotOpen;
        OpenedBackup opened = openBackupFile(source, BackupAccess::Shared);
        // (One that cannot be opened is reported by the scan's own open below.)
        if (opened) return exportAlongTheScan(source, **opened, options, patterns);
    }
    Catalogue catalogue;
    const SourceLoad load = loadSource(source, catalogue);
    if (load.status != kExitOk) return load.status;
    if (interrupted()) {
        std::fputs("tarvik: stopped before any file was written\n", stderr);
        return interruptStatus();
    }
    const std::vector<RowIndex> rows = matchingRows(catalogue.table(), patterns);
    const std::vector<std::u16string> folders = emptyFolders(catalogue, patterns);
    if (rows.empty() && folders.empty()) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return load.finish != kExitOk ? load.finish : kExitNothingFound;
    }
    const std::filesystem::path backupPath = fromSnapshot ? pathFromUtf16(catalogue.backupFilePath()) : source;
    if (fromSnapshot && refuseOutputOverBackup(outPath, backupPath)) return kExitUsage;
    const std::unique_ptr<ByteSource> backup = openBackupToRead(backupPath);
    if (!backup) return kExitCannotOpen;
    const auto items = extractItems(catalogue.table(), rows);
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    ExportPrinter printer(!toStdout, stderrIsTerminal());
    const ExtractSummary summary = exportEntries(*backup, items, folders, options, &printer, &cancel);
    watcher.stop();
    if (stderrIsTerminal()) std::fputs("\n", stderr);

    printExportSummary(summary, options);
    if (summary.cancelled && interrupted()) return interruptStatus();
    if (!allVerdictsGood(summary)) return kExitPartial;
    return load.finish;
}

#endif

}  // namespace bkf::cli
