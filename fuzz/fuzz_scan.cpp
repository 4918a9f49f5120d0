// The whole scan over an arbitrary small file (on and off the 512-byte grid),
// into a catalogue; every entry found checked against its checksum as a save
// would; then the catalogue's mark and rename operations on what it built.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogue/catalogue.h"
#include "engine/byte_source.h"
#include "engine/scan.h"
#include "save/extract.h"

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
    scanBackupFile(source, sink, running);
    catalogue.markAllAfterLoad();
    if (const auto rows = rowsToSave(catalogue.table(), 0, 0)) {
        const auto items = extractItems(catalogue.table(), *rows);
        const ExtractSummary checked = verifyEntries(source, items);
        if (checked.saved + checked.truncated + checked.failed != items.size()) __builtin_trap();
    }
    const auto& tree = catalogue.tree();
    for (NodeId n = 0; n < tree.nodeCount() && n < 8; ++n) {
        catalogue.setFolderMark(n, n % 2 == 0);
        catalogue.refreshAncestorMarks(n);
        catalogue.renameFolder(n, u"renamed");
    }
    return 0;
}
