// tarvik verify SOURCE [--match PATTERN]... [--format text|tsv|json]
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
#include "cli/listing.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "save/extract.h"
#include "save/output_naming.h"
#include "save/passing_verify.h"

namespace bkf::cli {

namespace {

constexpr const char* kVerifyUsage = "usage: tarvik verify SOURCE [--match PATTERN]... [--format text|tsv|json]\n";

// Prints each entry's verdict as it is checked, and progress on a terminal.
class VerifyPrinter final : public ExtractObserver {
public:
    VerifyPrinter(ListFormat format, bool showProgress) : format_(format), showProgress_(showProgress) {}

    void extractProgress(const ExtractProgress& p) override {
        if (showProgress_) showFileProgress(p, shown_);
    }

    void entryFinished(const EntryReport& r) override {
        const char* verdict = verdictWord(r);
        switch (format_) {
            case ListFormat::Text: {
                char head[24];
                std::snprintf(head, sizeof head, "%-17s ", verdict);
                writeOut(head + outText(utf16ToUtf8(r.displayPath)) + "\n");
                break;
            }
            case ListFormat::Tsv:
                printTsvCell(r.displayPath, stdout);
                std::printf("\t%s\t", verdict);
                printTsvCell(utf8ToUtf16(r.reason), stdout);
                std::fputc('\n', stdout);
                break;
            case ListFormat::Json:
                std::fputs("{\"path\":", stdout);
                printJsonString(r.displayPath, stdout);
                std::printf(",\"verdict\":\"%s\",\"reason\":", verdict);
                printJsonString(utf8ToUtf16(r.reason), stdout);
                std::fputs("}\n", stdout);
                break;
        }
    }

private:
    ListFormat format_;
    bool showProgress_;
    std::chrono::steady_clock::time_point shown_{};
};

// A backup (not a snapshot) is checked in the scan's own pass: read once.
int verifyInOnePass(const std::filesystem::path& backup, const std::function<bool(std::u16string_view)>& wanted,
                    ListFormat format) {
    PassingVerifier verifier(wanted);
    scanOptions().tap = &verifier;
    Catalogue catalogue;
    const auto started = std::chrono::steady_clock::now();
    const SourceLoad load = loadSource(backup, catalogue);
    scanOptions().tap = nullptr;
    if (load.status != kExitOk) return load.status;
    if (interrupted()) return interruptStatus();
    if (verifier.reports().empty()) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return load.finish != kExitOk ? load.finish : kExitNothingFound;
    }
    VerifyPrinter printer(format, false);
    ExtractSummary summary;
    for (const EntryReport& r : verifier.reports()) {
        printer.entryFinished(r);
        addToSummary(summary, r);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "tarvik: %s; checked in %.2f s in one pass over the backup\n",
                 verdictCounts(summary, "read whole").c_str(), seconds);
    if (!allVerdictsGood(summary)) return kExitPartial;
    return load.finish;
}

}  // namespace

int runVerifyCommand(const Args& args) {
    std::optional<std::filesystem::path> source;
    std::vector<std::u16string> patterns;
    ListFormat format = ListFormat::Text;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--match" && i + 1 < args.size()) {
            patterns.push_back(utf8ToUtf16(args[++i]));
        } else if (a == "--format" && i + 1 < args.size()) {
            if (!parseListFormat(args[++i], format)) {
                std::fprintf(stderr, "tarvik: unknown format '%.*s' (text, tsv or json)\n",
                             static_cast<int>(args[i].size()), args[i].data());
                return kExitUsage;
            }
        } else if (!a.empty() && a[0] != '-' && !source) {
            source = argumentPath(a);
        } else {
            std::fputs(kVerifyUsage, stderr);
            return kExitUsage;
        }
    }
    if (!source) {
        std::fputs(kVerifyUsage, stderr);
        return kExitUsage;
    }
    catchInterrupt();
    const auto wanted = [&](std::u16string_view path) { return matchesAny(path, patterns); };
    if (!looksLikeSnapshot(*source)) return verifyInOnePass(*source, wanted, format);
    Catalogue catalogue;
    const SourceLoad load = loadSource(*source, catalogue);
    if (load.status != kExitOk) return load.status;
    if (interrupted()) return interruptStatus();
    const std::vector<RowIndex> rows = matchingRows(catalogue.table(), patterns);
    if (rows.empty()) {
        std::fputs("tarvik: no entry matches\n", stderr);
        return load.finish != kExitOk ? load.finish : kExitNothingFound;
    }
    const std::filesystem::path backupPath = pathFromUtf16(catalogue.backupFilePath());
    const std::unique_ptr<ByteSource> backup = openBackupToRead(backupPath);
    if (!backup) return kExitCannotOpen;
    const auto items = extractItems(catalogue.table(), rows);
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    VerifyPrinter printer(format, stderrIsTerminal());
    const ExtractSummary summary = verifyEntries(*backup, items, &printer, &cancel);
    watcher.stop();
    if (stderrIsTerminal()) std::fputs("\n", stderr);
    std::fprintf(stderr, "tarvik: %s; checked in %.2f s%s\n", verdictCounts(summary, "read whole").c_str(),
                 summary.seconds, summary.cancelled ? "; cancelled" : "");
    if (summary.cancelled && interrupted()) return interruptStatus();
    if (!allVerdictsGood(summary)) return kExitPartial;
    return load.finish;
}

}  // namespace bkf::cli
