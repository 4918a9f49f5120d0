#include "cli/save_steps.h"

#include <cstdio>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "cli/terminal.h"
#include "engine/scan.h"

namespace bkf::cli {

bool readSaveArgument(const Args& args, std::size_t& i, SaveArguments& into, bool dashIsOutput) {
    const std::string_view a = args[i];
    if (a == "--match" && i + 1 < args.size()) {
        into.patterns.push_back(utf8ToUtf16(args[++i]));
    } else if ((dashIsOutput && a == "-") || (!a.empty() && a[0] != '-')) {
        into.positional.push_back(a);
    } else {
        return false;
    }
    return true;
}

void SavePrinter::extractProgress(const ExtractProgress& p) {
    if (showProgress_) showFileProgress(p, shown_);
}

void SavePrinter::entryFinished(const EntryReport& report) {
    if (!list_ || report.writtenAs.empty()) return;
    writeOut(std::string(verdictWord(report)) + "\t" + outText(pathText(report.writtenAs)) + "\n");
}

SourceLoad loadSourceUnlessStopped(const std::filesystem::path& source, Catalogue& catalogue, const char* stoppedText) {
    SourceLoad load = loadSource(source, catalogue);
    if (load.status == kExitOk && interrupted()) {
        if (stoppedText != nullptr) std::fprintf(stderr, "tarvik: %s\n", stoppedText);
        load.status = interruptStatus();
    }
    return load;
}

SourceLoad loadSourceTapped(const std::filesystem::path& source, Catalogue& catalogue, ScanTap& tap) {
    // Unhooked on the way out, thrown or not: the tap does not outlive this call.
    struct Unhook {
        ~Unhook() { scanOptions().tap = nullptr; }
    } unhook;
    scanOptions().tap = &tap;
    return loadSource(source, catalogue);
}

std::filesystem::path backupOf(const std::filesystem::path& source, bool fromSnapshot, const Catalogue& catalogue) {
    return fromSnapshot ? pathFromUtf16(catalogue.backupFilePath()) : source;
}

int reportNoMatch(int finish) {
    std::fputs("tarvik: no entry matches\n", stderr);
    return finish != kExitOk ? finish : kExitNothingFound;
}

ExtractSummary runStoppable(const std::function<ExtractSummary(const std::atomic<bool>& cancel)>& work) {
    std::atomic<bool> cancel{false};
    InterruptWatcher watcher(cancel);
    ExtractSummary summary = work(cancel);
    watcher.stop();
    if (stderrIsTerminal()) std::fputs("\n", stderr);
    return summary;
}

void printProblems(const ExtractSummary& summary) {
    for (const auto& p : summary.problems) {
        std::fprintf(stderr, "tarvik: %s: %s%s%s\n", verdictWord(p), errText(utf16ToUtf8(p.displayPath)).c_str(),
                     p.reason.empty() ? "" : ": ", errText(p.reason).c_str());
    }
}

std::string renamedText(const ExtractSummary& summary) {
    if (summary.renamed == 0) return {};
    return ", " + std::to_string(summary.renamed) + " under changed names";
}

std::string notAttemptedText(const ExtractSummary& summary) {
    if (summary.notReached == 0) return {};
    return "; " + std::to_string(summary.notReached) + (summary.notReached == 1 ? " entry was" : " entries were") +
           " never attempted";
}

int saveExitStatus(const ExtractSummary& summary, int finish) {
    if (summary.cancelled && interrupted()) return interruptStatus();
    if (!allVerdictsGood(summary)) return kExitPartial;
    return finish;
}

}  // namespace bkf::cli
