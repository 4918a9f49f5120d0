// Shared helpers for the scan tests: backups built in memory with the
// project's writer, and a sink that fills a catalogue the way the program does.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_builder.h"
#include "engine/scan.h"
#include "tools/backup_writer.h"

namespace bkf::test {

// Builds the catalogue as the programs do (CatalogueBuilder), in file order.
class CatalogueSink : public ScanSink {
public:
    explicit CatalogueSink(Catalogue& catalogue) : catalogue_(catalogue), builder_(catalogue) {}
    void fileFound(const FoundFile& f) override { builder_.addFile(f); }
    void folderFound(std::u16string_view treePath) override { builder_.addFolder(treePath); }
    void chunkScanned(std::uint64_t scanned, std::uint64_t size) override {
        lastScanned = scanned;
        lastSize = size;
        ++chunks;
    }
    std::uint64_t lastScanned = 0;
    std::uint64_t lastSize = 0;
    std::size_t chunks = 0;

protected:
    Catalogue& catalogue_;
    CatalogueBuilder builder_;
};

struct Built {
    std::vector<std::uint8_t> bytes;
    tools::Manifest manifest;
};

inline Built buildBackup(const std::function<void(tools::BackupWriter&)>& write, tools::WriterOptions options = {}) {
    tools::MemorySink sink;
    tools::BackupWriter writer(sink, options);
    write(writer);
    writer.finish();
    return {std::move(sink.bytes()), writer.takeManifest()};
}

struct ScanResult {
    Catalogue catalogue;
    ScanStats stats;
    ScanEnd result = ScanEnd::Stopped;
    std::uint64_t lastScanned = 0;
    std::size_t chunks = 0;
};

inline std::unique_ptr<ScanResult> scanBytes(std::vector<std::uint8_t> bytes, RecoveryLog* log = nullptr,
                                             ScanOptions options = {}) {
    auto r = std::make_unique<ScanResult>();
    MemoryByteSource source(std::move(bytes));
    CatalogueSink sink(r->catalogue);
    std::atomic<bool> running{true};
    r->result = scanBackupFile(source, sink, running, log, &r->stats, options);
    r->lastScanned = sink.lastScanned;
    r->chunks = sink.chunks;
    return r;
}

inline std::vector<std::u16string> paths(const Catalogue& c) {
    std::vector<std::u16string> out;
    for (RowIndex r = 0; r < c.table().rowCount(); ++r) out.push_back(c.table().path(r));
    return out;
}

}  // namespace bkf::test
