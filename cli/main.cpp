// tarvik: the command-line front end of Ormilo Tarvik BKF.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "engine/scan.h"

namespace {

constexpr const char* kUsage =
    "Usage: tarvik COMMAND [ARGS]\n"
    "Finds the files held in Windows backup files (.bkf), healthy or damaged.\n"
    "\n"
    "Commands:\n"
    "  scan BACKUP [-o SNAPSHOT] [--log LOGFILE]\n"
    "                       catalogue a backup; write a recovery snapshot with -o,\n"
    "                       otherwise list what was found; --log appends the recovery log\n"
    "  list SOURCE [--format text|tsv|json]\n"
    "                       list a backup (scanned) or a recovery snapshot (loaded); in tsv,\n"
    "                       % and control characters in a cell are written as %XX\n"
    "  search SOURCE PATTERN\n"
    "                       the entries whose display path matches PATTERN (* and ?)\n"
    "  extract SOURCE DEST [--match PATTERN]... [--prefix TEXT] [--backup BACKUP]\n"
    "                       save every entry, or those matching a --match, under DEST in a\n"
    "                       new folder TEXT1, TEXT2, ... (default Rec; an empty TEXT saves\n"
    "                       straight into DEST); --backup names the backup file when the\n"
    "                       snapshot's own path no longer holds it\n"
    "  verify SOURCE [--match PATTERN]... [--format text|tsv|json]\n"
    "                       read every entry (or those matching) and check its bytes against\n"
    "                       the backup's checksum, writing nothing\n"
    "  export SOURCE OUT|- [--match PATTERN]... [--format tar|pax|zip|7z]\n"
    "                       the same files as a save, into one archive (the format from\n"
    "                       OUT's extension unless given; - writes a tar stream to stdout)\n"
    "  mount SOURCE MOUNTPOINT [--background]\n"
    "                       the catalogue as a read-only folder (FUSE) until unmounted or\n"
    "                       Ctrl-C; reads come from the backup as they are asked for\n"
    "  blocks BACKUP        list the tape-format blocks found at every 512-byte slot\n"
    "\n"
    "A backup is scanned at every 512-byte slot and, for blocks moved off that grid\n"
    "by inserted or lost bytes, at every other byte; --aligned-only (with scan, list,\n"
    "search or extract) keeps to the slots.\n"
    "  --help, help         show this text\n"
    "  --version            show the program's version\n"
    "\n"
    "Each saved or checked file is verified (its checksum matches), has a checksum\n"
    "mismatch (its data is damaged; it is saved all the same), has no checksum, or\n"
    "is truncated or failed.\n"
    "\n"
    "Exit status: 0 done; 1 nothing found; 2 the source cannot be opened;\n"
    "3 some entries were mismatched, truncated or failed, snapshot rows were unreadable or\n"
    "backup chunks could not be read; 64 usage (an output that cannot be used);\n"
    "74 the results could not be written to standard output; 128+N stopped by\n"
    "signal N (130 for Ctrl-C), keeping what was done.\n";

int run(const std::vector<std::string>& argv) {
    std::vector<std::string_view> args(argv.begin() + (argv.empty() ? 0 : 1), argv.end());
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return bkf::cli::kExitUsage;
    }
    const std::string_view command = args.front();
    std::vector<std::string_view> rest;
    for (auto a = args.begin() + 1; a != args.end(); ++a) {
        if (*a == "--aligned-only") {
            bkf::cli::scanOptions().offGrid = false;
        } else {
            rest.push_back(*a);
        }
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return bkf::cli::kExitOk;
    }
    if (command == "--version") {
        std::printf("tarvik (Ormilo Tarvik BKF) %s\n", BKF_VERSION);
        return bkf::cli::kExitOk;
    }
    if (command == "blocks") return bkf::cli::runBlocks(rest);
    if (command == "scan") return bkf::cli::runScanCommand(rest);
    if (command == "list") return bkf::cli::runListCommand(rest);
    if (command == "search") return bkf::cli::runSearchCommand(rest);
    if (command == "extract") return bkf::cli::runExtractCommand(rest);
    if (command == "verify") return bkf::cli::runVerifyCommand(rest);
    if (command == "export") return bkf::cli::runExportCommand(rest);
    if (command == "mount") return bkf::cli::runMountCommand(rest);
    std::fprintf(stderr, "tarvik: unknown command '%.*s' (see tarvik --help)\n", static_cast<int>(command.size()),
                 command.data());
    return bkf::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    bkf::cli::defaultBrokenPipe();
    bkf::cli::setUpConsole();
    int status = bkf::cli::kExitCannotOpen;
    // Nothing thrown ever ends the program unreported.
    try {
        status = run(bkf::cli::utf8Arguments(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvik: internal error: %s\n", e.what());
        status = bkf::cli::kExitCannotOpen;
    } catch (...) {
        std::fputs("tarvik: internal error\n", stderr);
        status = bkf::cli::kExitCannotOpen;
    }
    // Results that did not reach standard output are a failure, with the reason.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed || std::ferror(stdout) || bkf::cli::outputError() != 0) {
        const int error = bkf::cli::outputError() != 0 ? bkf::cli::outputError() : errno;
        std::fprintf(stderr, "tarvik: cannot write the results: %s\n",
                     error != 0 ? bkf::systemErrorText(error).c_str() : "write error");
        if (status == bkf::cli::kExitOk || status == bkf::cli::kExitNothingFound) status = bkf::cli::kExitOutputFailed;
    }
    return status;
}
