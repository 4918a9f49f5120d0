// tarvik extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]
// tarvik search SOURCE PATTERN
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "save/extract.h"
#include "save/output_naming.h"
#include "search/match_pattern.h"

namespace bkf::cli {

namespace {

constexpr const char* kExtractUsage =
    "usage: tarvik extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]\n";

// Prints each file as it is written, and progress on a terminal.
class ExtractPrinter final : public ExtractObserver {
public:
    explicit ExtractPrinter(bool showProgress) : showProgress_(showProgress) {}

    void extractProgress(const ExtractProgress& p) override {
        if (showProgress_) showFileProgress(p, shown_);
    }
    void entryFinished(const EntryReport& report) override {
        if (report.writtenAs.empty()) return;
        writeOut(std::string(verdictWord(report)) + "\t" + outText(pathText(report.writtenAs)) + "\n");
    }

private:
    bool showProgress_;
    std::chrono::steady_clock::time_point shown_{};
};

// The destination (or a folder above it) may not be the backup itself.
bool refuseDestinationOverBackup(const std::filesystem::path& destination, const std::filesystem::path& backup) {
    if (!outputIsBackup(destination, backup)) return false;
    std::fprintf(stderr,
                 "tarvik: the destination %s is the backup file itself (or inside it); the backup is never written "
                 "to\n",
                 errText(pathText(destination)).c_str());
    return true;
}

// The problems, a failure of the whole save and the counts, on standard error.
void printSaveSummary(const ExtractSummary& summary, const std::filesystem::path& destination, bool fromSnapshot,
                      bool backupNamed, const std::filesystem::path& backupPath) {
    for (const auto& p : summary.problems) {
        std::fprintf(stderr, "tarvik: %s: %s%s%s\n", verdictWord(p), errText(utf16ToUtf8(p.displayPath)).c_str(),
                     p.reason.empty() ? "" : ": ", errText(p.reason).c_str());
    }
    if (summary.wrongBackup && fromSnapshot && !backupNamed) {
        std::fprintf(stderr,
                     "tarvik: the snapshot does not belong to the backup file %s: its first entries' data is not "
                     "there; the save stopped (name the right backup with --backup)\n",
                     errText(pathText(backupPath)).c_str());
    } else if (summary.wrongBackup) {
        std::fprintf(stderr,
                     "tarvik: the %s does not belong to the backup file %s: its first entries' data is not "
                     "there; the save stopped\n",
                     fromSnapshot ? "snapshot" : "catalogue", errText(pathText(backupPath)).c_str());
    } else if (!summary.status) {
        std::fprintf(stderr, "tarvik: %s\n", errText(summary.status.message()).c_str());
    }
    const std::filesystem::path& into = summary.root.empty() ? destination : summary.root;
    std::string notAttempted;
    if (summary.notReached > 0) {
        notAttempted = "; " + std::to_string(summary.notReached) +
                       (summary.notReached == 1 ? " entry was" : " entries were") + " never attempted";
    }
    std::fprintf(stderr, "tarvik: %s%s; %" PRIu64 " bytes written in %.2f s into %s%s%s\n",
                 verdictCounts(summary, "saved").c_str(),
                 summary.renamed ? (", " + std::to_string(summary.renamed) + " under changed names").c_str() : "",
                 summary.bytesWritten, summary.seconds, errText(pathText(into)).c_str(),
                 summary.cancelled ? "; cancelled" : "", notAttempted.c_str());
}

// A backup (not a snapshot) is saved in the scan's own pass: read once.
int extractInOnePass(const std::filesystem::path& source, const ExtractOptions& options,
                     const std::vector<std::u16string>& patterns) {
    ExtractPrinter printer(false);  // the scan shows its own progress
    PassingExtractor extractor(
        options, [&](std::u16string_view path) { return matchesAny(path, patterns); }, &printer);
    scanOptions().tap = &extractor;
    Catalogue catalogue;
    const SourceLoad load = loadSource(source, catalogue);
    scanOptions().tap = nullptr;
    const ExtractSummary summary = extractor.finish(interrupted());
    if (load.status != kExitOk) return load.status;
    if (summary.saved + summary.truncated + summary.failed + summary.notReached == 0 && summary.status.ok()) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return load.finish != kExitOk ? load.finish : kExitNothingFound;
    }
    printSaveSummary(summary, options.destination, false, false, source);
    if (summary.cancelled && interrupted()) return interruptStatus();
    if (!allVerdictsGood(summary)) return kExitPartial;
    return load.finish;
}

}  // namespace

bool matchesAny(std::u16string_view path, const std::vector<std::u16string>& patterns) {
    if (patterns.empty()) return true;
    for (const auto& p : patterns) {
        if (matchPattern(path, p)) return true;
    }
    return false;
}

std::vector<RowIndex> matchingRows(const CatalogueTable& table, const std::vector<std::u16string>& patterns) {
    std::vector<RowIndex> rows;
    for (RowIndex r = 0; r < table.rowCount(); ++r) {
        if (matchesAny(table.path(r), patterns)) rows.push_back(r);
    }
    return rows;
}

void showFileProgress(const ExtractProgress& p, std::chrono::steady_clock::time_point& shown) {
    const auto now = std::chrono::steady_clock::now();
    if (now - shown < std::chrono::milliseconds(200) && p.filesDone < p.filesTotal) return;
    shown = now;
    std::fprintf(stderr, "\r%zu of %zu files, %" PRIu64 " of %" PRIu64 " bytes   ", p.filesDone, p.filesTotal,
                 p.bytesDone, p.bytesTotal);
    std::fflush(stderr);
}

const char* verdictWord(const EntryReport& report) {
    switch (report.result) {
        case EntryResult::Saved:
            return checksumVerdictText(report.checksum);
        case EntryResult::Truncated:
            return "truncated";
        case EntryResult::Failed:
            return "failed";
    }
    return "";
}

std::string verdictCounts(const ExtractSummary& s, const char* done) {
    return std::to_string(s.saved) + " " + done + ": " + std::to_string(s.verified) + " verified, " +
           std::to_string(s.mismatched) + " checksum mismatch, " + std::to_string(s.unchecked) + " without checksum; " +
           std::to_string(s.truncated) + " truncated; " + std::to_string(s.failed) + " failed";
}

std::unique_ptr<ByteSource> openBackupToRead(const std::filesystem::path& path, const char* hint) {
    OpenedBackup backup = openBackupFile(path, BackupAccess::Shared);
    if (!backup) {
        std::fprintf(stderr, "tarvik: cannot open the backup file %s: %s%s\n", errText(pathText(path)).c_str(),
                     backup.error().message().c_str(), hint);
    }
    if (!backup) return nullptr;
    return std::move(*backup);
}

bool allVerdictsGood(const ExtractSummary& s) {
    return s.status.ok() && !s.cancelled && s.mismatched == 0 && s.truncated == 0 && s.failed == 0;
}

int runExtractCommand(const Args& args) {
    std::vector<std::string_view> positional;
    std::vector<std::u16string> patterns;
    std::u16string prefix(kDefaultFolderPrefix);
    std::optional<std::filesystem::path> backupArg;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--match" && i + 1 < args.size()) {
            patterns.push_back(utf8ToUtf16(args[++i]));
        } else if (a == "--prefix" && i + 1 < args.size()) {
            prefix = utf8ToUtf16(args[++i]);
        } else if (a == "--backup" && i + 1 < args.size()) {
            backupArg = argumentPath(args[++i]);
        } else if (!a.empty() && a[0] != '-') {
            positional.push_back(a);
        } else {
            std::fputs(kExtractUsage, stderr);
            return kExitUsage;
        }
    }
    if (positional.size() != 2) {
        std::fputs(kExtractUsage, stderr);
        return kExitUsage;
    }
    // The output is checked before the source is loaded.
    if (!isValidFolderPrefix(prefix)) {
        std::fprintf(stderr, "tarvik: %s(none of / \\ | * : ? < > ' may be in it)\n",
                     utf16ToUtf8(kIllegalPrefixText).c_str());
        return kExitUsage;
    }
    if (!folderPrefixFits(prefix)) {
        std::fputs("tarvik: the prefix is too long to leave room for its number in a folder name\n", stderr);
        return kExitUsage;
    }
    const std::filesystem::path source = argumentPath(positional[0]);
    const std::filesystem::path destination = argumentPath(positional[1]);
    const bool fromSnapshot = looksLikeSnapshot(source);
    if (backupArg && refuseDestinationOverBackup(destination, *backupArg)) return kExitUsage;
    if (!backupArg && !fromSnapshot && refuseDestinationOverBackup(destination, source)) return kExitUsage;
    catchInterrupt();
    if (!fromSnapshot && !backupArg) {
        // A destination that does not exist yet is made, as mkdir -p would.
        std::error_code madeError;
        std::filesystem::create_directories(destination, madeError);
        if (madeError) {
            std::fprintf(stderr, "tarvik: cannot create the destination folder %s: %s\n",
                         errText(pathText(destination)).c_str(), madeError.message().c_str());
            return kExitPartial;
        }
        return extractInOnePass(source, {destination, prefix}, patterns);
    }
    Catalogue catalogue;
    const SourceLoad load = loadSource(source, catalogue);
    if (load.status != kExitOk) return load.status;
    if (interrupted()) {
        // Stopped while the backup was scanned: nothing is written.
        std::fputs("tarvik: stopped before any file was written\n", stderr);
        return interruptStatus();
    }

    const std::vector<RowIndex> rows = matchingRows(catalogue.table(), patterns);
    if (rows.empty()) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return load.finish != kExitOk ? load.finish : kExitNothingFound;
    }

    const std::filesystem::path backupPath = backupArg      ? *backupArg
                                             : fromSnapshot ? pathFromUtf16(catalogue.backupFilePath())
                                                            : source;
    if (!backupArg && fromSnapshot && refuseDestinationOverBackup(destination, backupPath)) return kExitUsage;
    const std::unique_ptr<ByteSource> backup =
        openBackupToRead(backupPath, backupArg || !fromSnapshot ? "" : " (name it with --backup)");
    if (!backup) return kExitCannotOpen;

    ExtractOptions options;
    options.destination = destination;
    // A destination that does not exist yet is made, as mkdir -p would.
    std::error_code madeError;
    std::filesystem::create_directories(options.destination, madeError);
    if (madeError) {
        std::fprintf(stderr, "tarvik: cannot create the destination folder %s: %s\n",
                     errText(pathText(destination)).c_str(), madeError.message().c_str());
        return kExitPartial;
    }
    options.prefix = prefix;
    const auto items = extractItems(catalogue.table(), rows);
    std::atomic<bool> cancel{false};
    ExtractPrinter printer(stderrIsTerminal());
    // A signal cancels between blocks.
    InterruptWatcher watcher(cancel);
    const ExtractSummary summary = extractEntries(*backup, items, options, &printer, &cancel);
    watcher.stop();
    if (stderrIsTerminal()) std::fputs("\n", stderr);

    printSaveSummary(summary, destination, fromSnapshot, backupArg.has_value(), backupPath);
    if (summary.cancelled && interrupted()) return interruptStatus();
    if (!allVerdictsGood(summary)) return kExitPartial;
    return load.finish;
}

}  // namespace bkf::cli
