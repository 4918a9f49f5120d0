// tarvik verify SOURCE [--match PATTERN]... [--format text|tsv|json]
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
#include "cli/listing.h"
#include "cli/save_steps.h"
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
    Catalogue catalogue;
    const auto started = std::chrono::steady_clock::now();
    const SourceLoad load = loadSourceTapped(backup, catalogue, verifier);
    if (load.status != kExitOk) return load.status;
    if (interrupted()) return interruptStatus();
    if (verifier.reports().empty()) return reportNoMatch(load.finish);
    VerifyPrinter printer(format, false);
    ExtractSummary summary;
    for (const EntryReport& r : verifier.reports()) {
        printer.entryFinished(r);
        addToSummary(summary, r);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "tarvik: %s; checked in %.2f s in one pass over the backup\n",
                 verdictCounts(summary, "read whole").c_str(), seconds);
    return saveExitStatus(summary, load.finish);
}

// What verify was asked to do.
struct VerifyArguments {
    std::filesystem::path source;
    std::vector<std::u16string> patterns;
    ListFormat format = ListFormat::Text;
};

// The arguments; nullopt after printing why they cannot be used.
std::optional<VerifyArguments> readVerifyArguments(const Args& args) {
    VerifyArguments verify;
    bool haveSource = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--match" && i + 1 < args.size()) {
            verify.patterns.push_back(utf8ToUtf16(args[++i]));
        } else if (a == "--format" && i + 1 < args.size()) {
            if (!parseListFormat(args[++i], verify.format)) {
                std::fprintf(stderr, "tarvik: unknown format '%.*s' (text, tsv or json)\n",
                             static_cast<int>(args[i].size()), args[i].data());
                return std::nullopt;
            }
        } else if (!a.empty() && a[0] != '-' && !haveSource) {
            verify.source = argumentPath(a);
            haveSource = true;
        } else {
            std::fputs(kVerifyUsage, stderr);
            return std::nullopt;
        }
    }
    if (!haveSource) {
        std::fputs(kVerifyUsage, stderr);
        return std::nullopt;
    }
    return verify;
}

// A snapshot is loaded first; the matching entries are then read from the
// backup it names.
int verifyFromSnapshot(const VerifyArguments& verify) {
    Catalogue catalogue;
    const SourceLoad load = loadSourceUnlessStopped(verify.source, catalogue);
    if (load.status != kExitOk) return load.status;
    const std::vector<RowIndex> rows = matchingRows(catalogue.table(), verify.patterns);
    if (rows.empty()) return reportNoMatch(load.finish);
    const std::unique_ptr<ByteSource> backup = openBackupToRead(backupOf(verify.source, true, catalogue));
    if (!backup) return kExitCannotOpen;

    const auto items = extractItems(catalogue.table(), rows);
    VerifyPrinter printer(verify.format, stderrIsTerminal());
    const ExtractSummary summary =
        runStoppable([&](const std::atomic<bool>& cancel) { return verifyEntries(*backup, items, &printer, &cancel); });
    std::fprintf(stderr, "tarvik: %s; checked in %.2f s%s\n", verdictCounts(summary, "read whole").c_str(),
                 summary.seconds, summary.cancelled ? "; cancelled" : "");
    return saveExitStatus(summary, load.finish);
}

}  // namespace

int runVerifyCommand(const Args& args) {
    const std::optional<VerifyArguments> verify = readVerifyArguments(args);
    if (!verify) return kExitUsage;
    catchInterrupt();
    if (looksLikeSnapshot(verify->source)) return verifyFromSnapshot(*verify);
    const auto wanted = [&](std::u16string_view path) { return matchesAny(path, verify->patterns); };
    return verifyInOnePass(verify->source, wanted, verify->format);
}

}  // namespace bkf::cli
