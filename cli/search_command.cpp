// tarvik search SOURCE PATTERN: the display paths that match, in table order,
// one a line; their count on stderr.
#include <cstdio>
#include <array>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/snapshot.h"
#include "catalogue/text.h"
#include "cli/commands.h"
#include "search/match_pattern.h"

namespace bkf::cli {

namespace {

class PathPrinter {
public:
    ~PathPrinter() { flush(); }
    void print(std::u16string_view path) {
        buffer_ += utf16ToUtf8(path);
        buffer_.push_back('\n');
        if (buffer_.size() > (1u << 20)) flush();
    }
    void flush() {
        std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
        buffer_.clear();
    }

private:
    std::string buffer_;
};

}  // namespace

int runSearchCommand(const Args& args) {
    if (args.size() != 2 || (!args[0].empty() && args[0][0] == '-')) {
        std::fputs("usage: tarvik search SOURCE PATTERN\n", stderr);
        return kExitUsage;
    }
    const std::u16string pattern = utf8ToUtf16(args[1]);
    const std::string source(args[0]);
    const auto path = pathFromUtf16(utf8ToUtf16(source));
    std::size_t matches = 0;
    PathPrinter out;
    if (looksLikeSnapshot(path)) {
        // A snapshot is searched as it is read: the walk needs no catalogue.
        SnapshotReader reader;
        std::u16string line;
        if (const Status opened = reader.open(path); !opened || !reader.readLine(line) ||
                                                     !parseSnapshotPathLine(line)) {
            std::fprintf(stderr, "tarvik: cannot read the snapshot %s\n", source.c_str());
            return kExitCannotOpen;
        }
        reader.readLine(line);
        std::array<std::u16string_view, 1> field;
        while (reader.readLine(line)) {
            if (snapshotFields(line, field) == 0) continue;
            if (matchPattern(field[0], pattern)) {
                out.print(field[0]);
                ++matches;
            }
        }
    } else {
        Catalogue catalogue;
        if (const int status = loadSource(source, catalogue); status != kExitOk) return status;
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
    return kExitOk;
}

}  // namespace bkf::cli
