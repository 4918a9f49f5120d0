// tarvik search SOURCE PATTERN: the display paths that match, in table order,
// one a line; their count on stderr.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "search/match_pattern.h"

namespace bkf::cli {

namespace {

class PathPrinter {
public:
    explicit PathPrinter(bool terminal) : terminal_(terminal) {}
    ~PathPrinter() { flush(); }
    void print(std::u16string_view path) {
        buffer_ += terminal_ ? terminalText(utf16ToUtf8(path)) : utf16ToUtf8(path);
        buffer_.push_back('\n');
        if (buffer_.size() > (1u << 20)) flush();
    }
    void flush() {
        writeOut(buffer_);
        buffer_.clear();
    }

private:
    bool terminal_;
    std::string buffer_;
};

// What a search found: the matches printed, and the status the source
// leaves (kExitPartial when snapshot rows were unreadable or backup chunks
// could not be read).
struct SearchResult {
    std::size_t matches = 0;
    int finish = kExitOk;
};

// A snapshot is searched as it is read: the walk needs no catalogue.
// kExitCannotOpen, after saying why, when it cannot be read.
int searchSnapshot(const std::filesystem::path& path, std::string_view shownName, const std::u16string& pattern,
                   PathPrinter& out, SearchResult& result) {
    SnapshotRows rows;
    if (const Status opened = rows.open(path); !opened) {
        std::fprintf(stderr, "tarvik: cannot read the snapshot %s: %s\n", errText(shownName).c_str(),
                     errText(opened.message()).c_str());
        return kExitCannotOpen;
    }
    std::array<std::u16string_view, 9> fields;
    while (rows.next(fields)) {
        if (matchPattern(fields[0], pattern)) {
            out.print(fields[0]);
            ++result.matches;
        }
    }
    for (const auto& problem :
         snapshotRowProblems(rows.rows(), rows.unreadable(), rows.refused(), rows.declaredCount())) {
        std::fprintf(stderr, "tarvik: %s\n", problem.c_str());
    }
    if (rows.unreadable() > 0 || rows.refused() > 0) result.finish = kExitPartial;
    return kExitOk;
}

// A backup is scanned into a catalogue, then its paths are searched; the
// load's status when it gives nothing to search.
int searchBackup(const std::filesystem::path& path, const std::u16string& pattern, PathPrinter& out,
                 SearchResult& result) {
    Catalogue catalogue;
    const SourceLoad load = loadSource(path, catalogue);
    if (load.status != kExitOk) return load.status;
    result.finish = load.finish;
    std::u16string cell;
    for (RowIndex r = 0; r < catalogue.table().rowCount(); ++r) {
        cell.clear();
        catalogue.table().appendCell(cell, r, CatalogueColumn::Path);
        if (matchPattern(cell, pattern)) {
            out.print(cell);
            ++result.matches;
        }
    }
    return kExitOk;
}

}  // namespace

int runSearchCommand(const Args& args) {
    if (args.size() != 2 || (!args[0].empty() && args[0][0] == '-')) {
        std::fputs("usage: tarvik search SOURCE PATTERN\n", stderr);
        return kExitUsage;
    }
    const std::u16string pattern = utf8ToUtf16(args[1]);
    const std::filesystem::path path = argumentPath(args[0]);
    PathPrinter out(stdoutIsTerminal());
    SearchResult found;
    const int status = looksLikeSnapshot(path) ? searchSnapshot(path, args[0], pattern, out, found)
                                               : searchBackup(path, pattern, out, found);
    if (status != kExitOk) return status;
    out.flush();
    std::fprintf(stderr, "tarvik: %zu files found\n", found.matches);
    if (found.finish != kExitOk) return found.finish;
    return found.matches > 0 ? kExitOk : kExitNothingFound;
}

}  // namespace bkf::cli
