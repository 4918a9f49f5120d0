// The snapshot reader over an arbitrary file: a load never fails on the
// content, and what it loads survives the catalogue's operations. What it
// loads is then saved from a small backup held in memory: only data that
// follows a stream header is ever copied, and exactly that data. Every path
// shown on a terminal carries no control character, and every path written
// as a TSV cell reads back exactly.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "catalogue/snapshot.h"
#include "engine/byte_source.h"
#include "save/extract.h"
#include "save/output_fs.h"

namespace {

using namespace bkf;

// Files and folders kept in memory: what a save wrote, by path.
struct Written {
    std::map<std::u16string, std::vector<std::uint8_t>> files;
};

class MemoryFile final : public OutputFile {
public:
    explicit MemoryFile(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    FsError write(std::span<const std::uint8_t> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return {};
    }
    FsError setTimes(FileTime, FileTime, FileTime) override { return {}; }
    FsError close() override { return {}; }

private:
    std::vector<std::uint8_t>& bytes_;
};

class MemoryDir final : public OutputDir {
public:
    MemoryDir(Written& written, std::u16string key) : written_(written), key_(std::move(key)) {}
    Result<std::unique_ptr<OutputDir>, FsError> makeDir(const std::u16string& name, bool) override {
        return std::make_unique<MemoryDir>(written_, key_ + u"/" + name);
    }
    Result<std::unique_ptr<OutputFile>, FsError> createFile(const std::u16string& name) override {
        const auto [at, added] = written_.files.try_emplace(key_ + u"/" + name);
        if (!added) {
            FsError error;
            error.code = 17;
            error.reason = "File exists";
            error.exists = true;
            return error;
        }
        return std::make_unique<MemoryFile>(at->second);
    }
    void removeFile(const std::u16string& name) override { written_.files.erase(key_ + u"/" + name); }
    const std::filesystem::path& path() const override { return path_; }

private:
    Written& written_;
    std::u16string key_;
    std::filesystem::path path_{"/memory"};
};

// A backup of 4 KiB: stream headers at 512 and 2048, bytes that say where they are.
const std::vector<std::uint8_t>& smallBackup() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> b(4096);
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
        std::memcpy(b.data() + 512, "STAN", 4);
        std::memcpy(b.data() + 2048, "STAN", 4);
        return b;
    }();
    return bytes;
}

// Counts the entries that were copied (saved or truncated).
class Checker final : public ExtractObserver {
public:
    void entryFinished(const EntryReport& report) override { copied += report.result != EntryResult::Failed; }
    std::size_t copied = 0;
};

void checkShownAndTsv(std::u16string_view path) {
    const std::string shown = terminalText(utf16ToUtf8(path));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto c = static_cast<unsigned char>(shown[i]);
        const bool c1 = c == 0xC2 && i + 1 < shown.size() && (static_cast<unsigned char>(shown[i + 1]) & 0xE0) == 0x80;
        if (c < 0x20 || c == 0x7F || c1) std::abort();
    }
    std::string cell;
    appendTsvCell(cell, path);
    if (cell.find_first_of("\t\r\n") != std::string::npos || parseTsvCell(cell) != std::u16string(path)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("fuzz-snapshot-" + std::to_string(::getpid()) + ".ORMBKF");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Catalogue catalogue;
    const SnapshotLoad load = loadSnapshotFile(file, catalogue);
    if (!load.status.ok()) return 0;
    const CatalogueTable& table = catalogue.table();
    std::vector<RowIndex> rows;
    for (RowIndex r = 0; r < table.rowCount() && rows.size() < 64; ++r) {
        checkShownAndTsv(table.path(r));
        if (table.path(r).size() > kMaxDisplayPathUnits) std::abort();
        rows.push_back(r);
    }

    // The snapshot against a backup: whatever its rows say, only bytes that
    // follow a stream header leave the backup, and exactly those.
    const std::vector<ExtractItem> items = extractItems(table, rows);
    Written written;
    MemoryByteSource backup(smallBackup());
    Checker checker;
    const ExtractSummary summary =
        extractEntries(backup, items, std::make_unique<MemoryDir>(written, u""), u"", &checker, nullptr);
    if (summary.saved + summary.truncated != checker.copied) std::abort();
    std::size_t copiedWithData = 0;
    for (const ExtractItem& item : items) {
        // Copied only after a stream header, or (with nothing to copy) past the backup's end.
        const bool pastEnd = item.dataOffset >= 4096 + 22;
        const bool follows = item.dataOffset >= 22 && item.size >= 0 &&
                             (pastEnd || (item.dataOffset - 22 + 4 <= 4096 &&
                                          std::memcmp(smallBackup().data() + item.dataOffset - 22, "STAN", 4) == 0));
        copiedWithData += follows ? 1 : 0;
    }
    if (checker.copied > copiedWithData) std::abort();
    for (const auto& [name, bytes] : written.files) {
        // Each file written is a run of the backup right after a stream header.
        bool found = bytes.empty();
        for (const std::size_t header : {512u, 2048u}) {
            const std::size_t start = header + 22;
            found = found || (start + bytes.size() <= 4096 &&
                              std::memcmp(smallBackup().data() + start, bytes.data(), bytes.size()) == 0);
        }
        if (!found) std::abort();
    }

    if (catalogue.tree().nodeCount() > 0) {
        const NodeId last = static_cast<NodeId>(catalogue.tree().nodeCount() - 1);
        catalogue.setFolderMark(last, false);
        catalogue.refreshAncestorMarks(last);
        catalogue.renameFolder(last, u"x");
        (void)catalogue.rowsInFolder(last);
    }
    return 0;
}
