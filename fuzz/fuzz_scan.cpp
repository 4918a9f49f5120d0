// The whole scan over an arbitrary small file (on and off the 512-byte grid),
// into a catalogue, its files checked in the scan's own pass; every entry
// found checked again as a save would, which must give the same verdicts;
// then the catalogue's mark and rename operations on what it built.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogue/catalogue.h"
#include "engine/byte_source.h"
#include "engine/scan.h"
#include "save/extract.h"
#include "save/passing_verify.h"

namespace {

class Sink final : public bkf::ScanSink {
public:
    explicit Sink(bkf::Catalogue& c) : c_(c) {}
    void fileFound(const bkf::FoundFile& f) override {
        c_.appendEntry(f.path, f.size, f.dataOffset, f.modified, f.accessed, f.created);
        c_.addFolderPath(f.path);
    }
    void folderFound(std::u16string_view path) override { c_.addFolderPath(path); }

private:
    bkf::Catalogue& c_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bkf;
    // Small inputs become a file of more than one chunk: the input is the
    // start of the file and is repeated at the start of the second chunk.
    std::vector<std::uint8_t> bytes(data, data + size);
    if (size > 0 && size < 65536) {
        bytes.resize(65536 + size, 0);
        std::copy(data, data + size, bytes.begin() + 65536);
    }
    MemoryByteSource source(std::move(bytes));
    Catalogue catalogue;
    Sink sink(catalogue);
    std::atomic<bool> running{true};
    PassingVerifier passing;
    scanBackupFile(source, sink, running, nullptr, nullptr, {.tap = &passing});
    catalogue.markAllAfterLoad();
    if (const auto rows = rowsToSave(catalogue.table())) {
        struct All final : ExtractObserver {
            std::vector<EntryReport> reports;
            void entryFinished(const EntryReport& r) override { reports.push_back(r); }
        } afterwards;
        verifyEntries(source, extractItems(catalogue.table(), *rows), &afterwards);
        if (afterwards.reports.size() != passing.reports().size()) __builtin_trap();
        for (std::size_t i = 0; i < afterwards.reports.size(); ++i) {
            const EntryReport &a = afterwards.reports[i], &b = passing.reports()[i];
            if (a.result != b.result || a.checksum != b.checksum) __builtin_trap();
        }
    }
    const auto& tree = catalogue.tree();
    for (NodeId n = 0; n < tree.nodeCount() && n < 8; ++n) {
        catalogue.setFolderMark(n, n % 2 == 0);
        catalogue.refreshAncestorMarks(n);
        catalogue.renameFolder(n, u"renamed");
    }
    return 0;
}
