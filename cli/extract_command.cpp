// tarvik extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]
// tarvik search SOURCE PATTERN
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <functional>
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
#include "save/extract.h"
#include "save/output_naming.h"
#include "search/match_pattern.h"

namespace bkf::cli {

namespace {

constexpr const char* kExtractUsage =
    "usage: tarvik extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]\n";

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
    printProblems(summary);
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
    std::fprintf(stderr, "tarvik: %s%s; %" PRIu64 " bytes written in %.2f s into %s%s%s\n",
                 verdictCounts(summary, "saved").c_str(), renamedText(summary).c_str(), summary.bytesWritten,
                 summary.seconds, errText(pathText(into)).c_str(), summary.cancelled ? "; cancelled" : "",
                 notAttemptedText(summary).c_str());
}

// What extract was asked to do.
struct ExtractArguments {
    std::filesystem::path source;
    std::filesystem::path destination;
    std::vector<std::u16string> patterns;
    std::u16string prefix{kDefaultFolderPrefix};
    std::optional<std::filesystem::path> backup;  // --backup: where the snapshot's backup is now
};

// The arguments, with the folder prefix checked before any source is looked
// at; nullopt after printing why they cannot be used.
std::optional<ExtractArguments> readExtractArguments(const Args& args) {
    ExtractArguments extract;
    SaveArguments shared;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--prefix" && i + 1 < args.size()) {
            extract.prefix = utf8ToUtf16(args[++i]);
        } else if (a == "--backup" && i + 1 < args.size()) {
            extract.backup = argumentPath(args[++i]);
        } else if (!readSaveArgument(args, i, shared, false)) {
            std::fputs(kExtractUsage, stderr);
            return std::nullopt;
        }
    }
    if (shared.positional.size() != 2) {
        std::fputs(kExtractUsage, stderr);
        return std::nullopt;
    }
    if (!isValidFolderPrefix(extract.prefix)) {
        std::fprintf(stderr, "tarvik: %s(none of / \\ | * : ? < > ' may be in it)\n",
                     utf16ToUtf8(kIllegalPrefixText).c_str());
        return std::nullopt;
    }
    if (!folderPrefixFits(extract.prefix)) {
        std::fputs("tarvik: the prefix is too long to leave room for its number in a folder name\n", stderr);
        return std::nullopt;
    }
    extract.source = argumentPath(shared.positional[0]);
    extract.destination = argumentPath(shared.positional[1]);
    extract.patterns = std::move(shared.patterns);
    return extract;
}

// A destination that does not exist yet is made, as mkdir -p would; false
// after saying why it cannot be.
bool makeDestination(const std::filesystem::path& destination) {
    std::error_code madeError;
    std::filesystem::create_directories(destination, madeError);
    if (!madeError) return true;
    std::fprintf(stderr, "tarvik: cannot create the destination folder %s: %s\n",
                 errText(pathText(destination)).c_str(), madeError.message().c_str());
    return false;
}

// A backup (not a snapshot) is saved in the scan's own pass: read once.
int extractInOnePass(const std::filesystem::path& source, const ExtractOptions& options,
                     const std::vector<std::u16string>& patterns) {
    SavePrinter printer(true, false);  // the scan shows its own progress
    PassingExtractor extractor(
        options, [&](std::u16string_view path) { return matchesAny(path, patterns); }, &printer);
    Catalogue catalogue;
    const SourceLoad load = loadSourceTapped(source, catalogue, extractor);
    const ExtractSummary summary = extractor.finish(interrupted());
    if (load.status != kExitOk) return load.status;
    if (summary.saved + summary.truncated + summary.failed + summary.notReached == 0 && summary.status.ok()) {
        return reportNoMatch(load.finish);
    }
    printSaveSummary(summary, options.destination, false, false, source);
    return saveExitStatus(summary, load.finish);
}

// A snapshot, or a backup named apart with --backup, is loaded into a
// catalogue first; the matching entries are then read from the backup.
int extractFromCatalogue(const ExtractArguments& extract, bool fromSnapshot) {
    Catalogue catalogue;
    // Stopped while the backup was scanned: nothing is written.
    const SourceLoad load = loadSourceUnlessStopped(extract.source, catalogue, "stopped before any file was written");
    if (load.status != kExitOk) return load.status;
    const std::vector<RowIndex> rows = matchingRows(catalogue.table(), extract.patterns);
    if (rows.empty()) return reportNoMatch(load.finish);

    const std::filesystem::path backupPath =
        extract.backup ? *extract.backup : backupOf(extract.source, fromSnapshot, catalogue);
    if (!extract.backup && fromSnapshot && refuseDestinationOverBackup(extract.destination, backupPath)) {
        return kExitUsage;
    }
    const std::unique_ptr<ByteSource> backup =
        openBackupToRead(backupPath, extract.backup || !fromSnapshot ? "" : " (name it with --backup)");
    if (!backup) return kExitCannotOpen;
    if (!makeDestination(extract.destination)) return kExitPartial;

    const ExtractOptions options{extract.destination, extract.prefix};
    const auto items = extractItems(catalogue.table(), rows);
    SavePrinter printer(true, stderrIsTerminal());
    // A signal cancels between blocks.
    const ExtractSummary summary = runStoppable(
        [&](const std::atomic<bool>& cancel) { return extractEntries(*backup, items, options, &printer, &cancel); });
    printSaveSummary(summary, extract.destination, fromSnapshot, extract.backup.has_value(), backupPath);
    return saveExitStatus(summary, load.finish);
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
    const std::optional<ExtractArguments> extract = readExtractArguments(args);
    if (!extract) return kExitUsage;
    const bool fromSnapshot = looksLikeSnapshot(extract->source);
    // The destination is checked against the backup before the source is loaded.
    const std::filesystem::path& backup = extract->backup ? *extract->backup : extract->source;
    if ((extract->backup || !fromSnapshot) && refuseDestinationOverBackup(extract->destination, backup)) {
        return kExitUsage;
    }
    catchInterrupt();
    if (fromSnapshot || extract->backup) return extractFromCatalogue(*extract, fromSnapshot);
    if (!makeDestination(extract->destination)) return kExitPartial;
    return extractInOnePass(extract->source, {extract->destination, extract->prefix}, extract->patterns);
}

}  // namespace bkf::cli
