// tarvik extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]
// tarvik search SOURCE PATTERN
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <thread>

#include "catalogue/catalogue.h"
#include "catalogue/text.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "save/extract.h"
#include "search/match_pattern.h"

namespace bkf::cli {

const char* verdictWord(const EntryReport& report);

namespace {

constexpr const char* kExtractUsage =
    "usage: tarvik extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]\n";

// Prints each file as it is written, and progress on a terminal.
class ExtractPrinter final : public ExtractObserver {
public:
    explicit ExtractPrinter(bool showProgress) : showProgress_(showProgress) {}

    void extractProgress(const ExtractProgress& p) override {
        if (!showProgress_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - shown_ < std::chrono::milliseconds(200) && p.filesDone < p.filesTotal) return;
        shown_ = now;
        std::fprintf(stderr, "\r%zu of %zu files, %" PRIu64 " of %" PRIu64 " bytes   ", p.filesDone, p.filesTotal,
                     p.bytesDone, p.bytesTotal);
        std::fflush(stderr);
    }
    void entryFinished(const EntryReport& report) override {
        if (report.writtenAs.empty()) return;
        std::printf("%s\t%s\n", verdictWord(report), utf16ToUtf8(report.writtenAs.u16string()).c_str());
    }

private:
    bool showProgress_;
    std::chrono::steady_clock::time_point shown_{};
};

}  // namespace

const char* verdictWord(const EntryReport& report) {
    switch (report.result) {
        case EntryResult::Saved: return checksumVerdictText(report.checksum);
        case EntryResult::Truncated: return "truncated";
        case EntryResult::Failed: return "failed";
    }
    return "";
}

std::string verdictCounts(const ExtractSummary& s, const char* done) {
    return std::to_string(s.saved) + " " + done + ": " + std::to_string(s.verified) + " verified, " +
           std::to_string(s.mismatched) + " checksum mismatch, " + std::to_string(s.unchecked) +
           " without checksum; " + std::to_string(s.truncated) + " truncated; " + std::to_string(s.failed) +
           " failed";
}

bool allVerdictsGood(const ExtractSummary& s) {
    return s.status.ok() && !s.cancelled && s.mismatched == 0 && s.truncated == 0 && s.failed == 0;
}

int runExtractCommand(const Args& args) {
    std::vector<std::string> positional;
    std::vector<std::u16string> patterns;
    std::u16string prefix(u"Rec");
    std::optional<std::string> backupArg;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--match" && i + 1 < args.size()) {
            patterns.push_back(utf8ToUtf16(args[++i]));
        } else if (a == "--prefix" && i + 1 < args.size()) {
            prefix = utf8ToUtf16(args[++i]);
        } else if (a == "--backup" && i + 1 < args.size()) {
            backupArg = std::string(args[++i]);
        } else if (!a.empty() && a[0] != '-') {
            positional.emplace_back(a);
        } else {
            std::fputs(kExtractUsage, stderr);
            return kExitUsage;
        }
    }
    if (positional.size() != 2) {
        std::fputs(kExtractUsage, stderr);
        return kExitUsage;
    }
    Catalogue catalogue;
    if (const int status = loadSource(positional[0], catalogue); status != kExitOk) return status;

    std::vector<RowIndex> rows;
    for (RowIndex r = 0; r < catalogue.table().rowCount(); ++r) {
        bool take = patterns.empty();
        if (!take) {
            const std::u16string path = catalogue.table().path(r);
            for (const auto& p : patterns) take = take || matchPattern(path, p);
        }
        if (take) rows.push_back(r);
    }
    if (rows.empty()) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return kExitNothingFound;
    }

    const std::filesystem::path backupPath =
        backupArg ? pathFromUtf16(utf8ToUtf16(*backupArg)) : pathFromUtf16(catalogue.backupFilePath());
    OpenedBackup backup = openBackupFile(backupPath, BackupAccess::Shared);
    if (!backup.source) {
        std::fprintf(stderr, "tarvik: cannot open the backup file %s: %s%s\n",
                     utf16ToUtf8(backupPath.u16string()).c_str(), backup.reason.c_str(),
                     backupArg ? "" : " (name it with --backup)");
        return kExitCannotOpen;
    }

    ExtractOptions options;
    options.destination = pathFromUtf16(utf8ToUtf16(positional[1]));
    // A destination that does not exist yet is made, as mkdir -p would.
    std::error_code madeError;
    std::filesystem::create_directories(options.destination, madeError);
    options.prefix = prefix;
    const auto items = extractItems(catalogue.table(), rows);
    catchInterrupt();
    std::atomic<bool> cancel{false};
    ExtractPrinter printer(stderrIsTerminal());
    // Ctrl-C cancels between blocks: a watcher turns the signal flag into the cancel flag.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load()) {
            if (interrupted()) cancel.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const ExtractSummary summary = extractEntries(*backup.source, items, options, &printer, &cancel);
    done.store(true);
    watcher.join();
    if (stderrIsTerminal()) std::fputs("\n", stderr);

    for (const auto& p : summary.problems) {
        std::fprintf(stderr, "tarvik: %s: %s%s%s\n", verdictWord(p), utf16ToUtf8(p.displayPath).c_str(),
                     p.reason.empty() ? "" : ": ", p.reason.c_str());
    }
    if (!summary.status) std::fprintf(stderr, "tarvik: %s\n", summary.status.message().c_str());
    std::fprintf(stderr, "tarvik: %s%s; %" PRIu64 " bytes written in %.2f s into %s%s\n",
                 verdictCounts(summary, "saved").c_str(),
                 summary.renamed ? (", " + std::to_string(summary.renamed) + " under changed names").c_str() : "",
                 summary.bytesWritten, summary.seconds, utf16ToUtf8(summary.root.u16string()).c_str(),
                 summary.cancelled ? "; cancelled" : "");
    return allVerdictsGood(summary) ? kExitOk : kExitPartial;
}

}  // namespace bkf::cli
