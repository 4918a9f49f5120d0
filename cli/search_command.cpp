// tarvik search SOURCE PATTERN: the display paths that match, in table order,
// one a line; their count on stderr.
#include <array>
#include <cstdio>
#include <string>

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

}  // namespace

int runSearchCommand(const Args& args) {
    if (args.size() != 2 || (!args[0].empty() && args[0][0] == '-')) {
        std::fputs("usage: tarvik search SOURCE PATTERN\n", stderr);
        return kExitUsage;
    }
    const std::u16string pattern = utf8ToUtf16(args[1]);
    const std::filesystem::path path = argumentPath(args[0]);
    std::size_t matches = 0;
    int finish = kExitOk;
    PathPrinter out(stdoutIsTerminal());
    if (looksLikeSnapshot(path)) {
        // A snapshot is searched as it is read: the walk needs no catalogue.
        SnapshotRows rows;
        if (const Status opened = rows.open(path); !opened) {
            std::fprintf(stderr, "tarvik: cannot read the snapshot %s: %s\n", errText(args[0]).c_str(),
                         errText(opened.message()).c_str());
            return kExitCannotOpen;
        }
        std::array<std::u16string_view, 9> fields;
        while (rows.next(fields)) {
            if (matchPattern(fields[0], pattern)) {
                out.print(fields[0]);
                ++matches;
            }
        }
        for (const auto& problem :
             snapshotRowProblems(rows.rows(), rows.unreadable(), rows.refused(), rows.declaredCount())) {
            std::fprintf(stderr, "tarvik: %s\n", problem.c_str());
        }
        if (rows.unreadable() > 0 || rows.refused() > 0) finish = kExitPartial;
    } else {
        Catalogue catalogue;
        const SourceLoad load = loadSource(path, catalogue);
        if (load.status != kExitOk) return load.status;
        finish = load.finish;
        std::u16string cell;
        for (RowIndex r = 0; r < catalogue.table().rowCount(); ++r) {
            cell.clear();
            catalogue.table().appendCell(cell, r, CatalogueColumn::Path);
            if (matchPattern(cell, pattern)) {
                out.print(cell);
                ++matches;
            }
        }
    }
    out.flush();
    std::fprintf(stderr, "tarvik: %zu files found\n", matches);
    if (finish != kExitOk) return finish;
    return matches > 0 ? kExitOk : kExitNothingFound;
}

}  // namespace bkf::cli
