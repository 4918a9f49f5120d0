#include "engine/scan.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>

#include "base/text.h"
#include "engine/backup_file.h"
#include "engine/recovery_log.h"
#include "engine/scan_job.h"
#include "engine/tape_format.h"
#include "tests/engine/scan_fixture.h"
#include "tests/fixtures/failing_source.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/damage.h"

namespace bkf {
namespace {

using test::buildBackup;
using test::paths;
using test::scanBytes;
using tools::BackupWriter;
using tools::Content;
using tools::FileItem;
using tools::folderName;

FileItem fileOf(std::u16string name, Content content = Content::text("x")) {
    FileItem f;
    f.name = std::move(name);
    f.content = std::move(content);
    return f;
}

// Every row against the manifest's files that are expected to be found, in order.
void expectMatchesManifest(const Catalogue& c, const tools::Manifest& manifest) {
    std::vector<const tools::ManifestEntry*> expected;
    for (const auto& e : manifest) {
        if (e.expected()) expected.push_back(&e);
    }
    if (c.table().rowCount() != expected.size()) {
        for (const auto* e : expected) ADD_FAILURE() << "expected " << utf16ToUtf8(e->displayPath);
        for (RowIndex r = 0; r < c.table().rowCount(); ++r) ADD_FAILURE() << "found " << utf16ToUtf8(c.table().path(r));
    }
    ASSERT_EQ(c.table().rowCount(), expected.size()) << "rows found against files expected";
    for (RowIndex r = 0; r < expected.size(); ++r) {
        const auto& e = *expected[r];
        const std::string where = utf16ToUtf8(e.displayPath);
        EXPECT_EQ(c.table().path(r), e.displayPath) << r;
        EXPECT_EQ(c.table().size(r), static_cast<std::int64_t>(e.size)) << where;
        EXPECT_EQ(c.table().dataOffset(r), static_cast<std::int64_t>(e.dataOffset)) << where;
        EXPECT_EQ(c.table().modified(r), e.modified) << where;
        EXPECT_EQ(c.table().accessed(r), e.accessed) << where;
        EXPECT_EQ(c.table().created(r), e.created) << where;
    }
}

test::Built healthyBackup() {
    return buildBackup([](BackupWriter& w) {
        w.beginSet({.name = u"Daily"});
        w.directory({.name = folderName(u"Data/Sub")});
        w.file(fileOf(u"report.txt", Content::text("quarterly figures")));
        FileItem dated = fileOf(u"\u00DCbersicht.txt", Content::random(150000, 7));
        dated.modified = 128575193550000000ULL - 86400ULL * 10000000ULL;
        dated.created = 125000000000000000ULL;
        dated.accessed = 128575193560000000ULL;
        w.file(dated);
        w.file(fileOf(u"empty.txt", Content()));
        w.directory({.name = folderName(u"\u0414\u0430\u043D\u043D\u044B\u0435")});
        for (int i = 0; i < 40; ++i)
            w.file(fileOf(u"f" + asciiToUtf16(std::to_string(i)) + u".dat", Content::random(3000, i)));
        w.beginSet({.name = u"Weekly \u65E5\u672C"});
        w.directory({.name = folderName(u"Data")});
        w.file(fileOf(u"report.txt", Content::random(70000, 99)));
    });
}

TEST(Scan, AHealthyBackupIsCataloguedAsWritten) {
    const auto b = healthyBackup();
    const auto r = scanBytes(b.bytes);
    EXPECT_EQ(r->result, ScanEnd::Complete);
    expectMatchesManifest(r->catalogue, b.manifest);
    EXPECT_EQ(r->stats.sets, 2u);
    EXPECT_EQ(r->stats.files, b.manifest.size());
    // The tree, in the order the paths were first met.
    const auto& t = r->catalogue.tree();
    std::vector<std::u16string> sets;
    for (NodeId n = t.firstChild(t.root()); n != kNoNode; n = t.nextSibling(n)) sets.emplace_back(t.label(n));
    EXPECT_EQ(sets, (std::vector<std::u16string>{u"BACKUP SET 1(Daily)", u"BACKUP SET 2(Weekly \u65E5\u672C)"}));
    EXPECT_EQ(paths(r->catalogue).front(), u"BKF\\BACKUP SET 1(Daily)\\Data\\Sub\\report.txt");
    // Every whole chunk was reported; the final partial one is not.
    EXPECT_EQ(r->chunks, b.bytes.size() / mtf::kChunkSize);
}

TEST(Scan, DamagedRegionsCostOnlyTheBlocksInsideThem) {
    const auto healthy = healthyBackup();
    struct Case {
        const char* what;
        std::vector<tools::Damage> damage;
    };
    const tools::DamageKind wipe = tools::DamageKind::Wipe, randomise = tools::DamageKind::Randomise;
    const Case cases[] = {
        {"wiped 4 KiB", {{wipe, 20000, 4096, {}}}},
        {"randomised 1 KiB", {{randomise, 9000, 1024, 5}}},
        {"wiped across a chunk boundary", {{wipe, 65000, 2000, {}}}},
        {"two wiped ranges", {{wipe, 3000, 600, {}}, {wipe, 100000, 30000, {}}}},
        {"wiped start, tape header and set", {{wipe, 0, 2048, {}}}},
    };
    for (const auto& c : cases) {
        auto bytes = healthy.bytes;
        auto manifest = healthy.manifest;
        for (const auto& d : c.damage) {
            const std::uint64_t sizeBefore = bytes.size();
            tools::damageBytes(bytes, d);
            tools::applyDamage(manifest, d, sizeBefore);
        }
        SCOPED_TRACE(c.what);
        const auto r = scanBytes(bytes);
        // A wiped set or folder block changes the names of the files after it;
        // compare those by offset, size and name only.
        std::map<std::int64_t, const tools::ManifestEntry*> byOffset;
        std::size_t expected = 0;
        for (const auto& e : manifest) {
            if (e.expected()) {
                byOffset[static_cast<std::int64_t>(e.dataOffset)] = &e;
                ++expected;
            }
        }
        ASSERT_EQ(r->catalogue.table().rowCount(), expected);
        for (RowIndex row = 0; row < r->catalogue.table().rowCount(); ++row) {
            const auto it = byOffset.find(r->catalogue.table().dataOffset(row));
            ASSERT_NE(it, byOffset.end());
            EXPECT_EQ(r->catalogue.table().size(row), static_cast<std::int64_t>(it->second->size));
            EXPECT_EQ(r->catalogue.table().name(row), lastPathComponent(it->second->displayPath));
        }
    }
}

TEST(Scan, ShiftedRegionsAndInsertedBytes) {
    const auto healthy = healthyBackup();
    {
        SCOPED_TRACE("512 bytes inserted near the start shift every later offset by 512");
        auto bytes = healthy.bytes;
        auto manifest = healthy.manifest;
        const tools::Damage insert{tools::DamageKind::Insert, 1024, 512, {}};
        const std::uint64_t sizeBefore = bytes.size();
        tools::damageBytes(bytes, insert);
        tools::applyDamage(manifest, insert, sizeBefore);
        const auto r = scanBytes(bytes);
        expectMatchesManifest(r->catalogue, manifest);
        EXPECT_EQ(r->catalogue.table().dataOffset(0), static_cast<std::int64_t>(healthy.manifest[0].dataOffset + 512));
    }
    {
        SCOPED_TRACE("a region shifted off the grid is found whole; the slots alone lose it");
        auto bytes = healthy.bytes;
        auto manifest = healthy.manifest;
        // 100 bytes in before the 6th small file and 100 bytes out after the
        // 30th: between them every block stands 100 bytes off the 512-byte grid.
        const std::uint64_t in = healthy.manifest[8].blockOffset - 10;
        const std::uint64_t out = healthy.manifest[33].blockOffset - 10;
        for (const tools::Damage d : {tools::Damage{tools::DamageKind::Delete, out, 100, {}},
                                      tools::Damage{tools::DamageKind::Insert, in, 100, {}}}) {
            const std::uint64_t sizeBefore = bytes.size();
            tools::damageBytes(bytes, d);
            tools::applyDamage(manifest, d, sizeBefore);
        }
        expectMatchesManifest(scanBytes(bytes)->catalogue, manifest);
        std::size_t lostOnSlots = 0;
        for (const auto& e : manifest) lostOnSlots += e.expectedOnSlots() ? 0 : 1;
        EXPECT_GE(lostOnSlots, 25u);
        const auto slotsOnly = scanBytes(bytes, nullptr, {.offGrid = false});
        EXPECT_EQ(slotsOnly->catalogue.table().rowCount(), manifest.size() - lostOnSlots);
    }
}

// A FILE block by hand: name at 88, valid dates, a STAN header `distance`
// bytes on with the given stream length.
void putFileBlock(std::vector<std::uint8_t>& b, std::size_t at, std::u16string_view name, std::size_t distance,
                  std::uint64_t length) {
    std::memcpy(&b[at], "FILE", 4);
    const std::uint8_t date[5] = {0x1F, 0x61, 0x93, 0x52, 0x4F};
    for (std::size_t field : {mtf::kFileModified, mtf::kFileCreated, mtf::kFileAccessed})
        std::memcpy(&b[at + field], date, 5);
    b[at + mtf::kFileNameSize] = static_cast<std::uint8_t>(name.size() * 2);
    b[at + mtf::kFileNameOffset] = 88;
    for (std::size_t i = 0; i < name.size(); ++i) {
        b[at + 88 + 2 * i] = static_cast<std::uint8_t>(name[i]);
        b[at + 88 + 2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
    }
    if (at + distance + 4 <= b.size()) std::memcpy(&b[at + distance], "STAN", 4);
    for (int i = 0; i < 8 && at + distance + 8 + i < b.size(); ++i) {
        b[at + distance + 8 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
}

TEST(Scan, TheFinalPartialChunk) {
    struct Case {
        const char* what;
        std::size_t fileSize;
        std::size_t blockAt;
        std::size_t found;
    };
    const Case cases[] = {
        {"512 bytes are not examined", 512, 0, 0},
        {"513 bytes: one slot", 513, 0, 1},
        {"1000 bytes: slot 0 is examined", 1000, 0, 1},
        {"1000 bytes: slot 512 is not", 1000, 512, 0},
        {"1024 bytes: two slots", 1024, 512, 1},
        {"70000 bytes: the eighth slot of the rest", 70000, 65536 + 7 * 512, 1},
        {"70000 bytes: past the last whole slot", 70000, 65536 + 8 * 512, 0},
        {"exactly one chunk", 65536, 127 * 512, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes(c.fileSize, 0);
        if (c.blockAt + 512 <= bytes.size() || c.blockAt + 200 <= bytes.size()) {
            putFileBlock(bytes, c.blockAt, u"a.txt", 120, 3);
        }
        const auto r = scanBytes(bytes);
        EXPECT_EQ(r->catalogue.table().rowCount(), c.found) << c.what;
        EXPECT_EQ(r->result, ScanEnd::Complete) << c.what;
    }
    // Exactly one chunk: progress reaches the file size, and no partial chunk follows.
    std::vector<std::uint8_t> chunk(65536, 0);
    const auto r = scanBytes(chunk);
    EXPECT_EQ(r->lastScanned, 65536u);
    EXPECT_EQ(progressPercent(r->lastScanned, 65536), 100);
}

TEST(Scan, TheStreamWindowOfEachSlot) {
    struct Case {
        const char* what;
        std::size_t blockAt;
        std::size_t distance;
        bool found;
    };
    const Case cases[] = {
        {"middle slot, 1020 bytes on", 10 * 512, 1020, true},
        {"middle slot, 1024 bytes on", 10 * 512, 1024, false},
        {"slot 126, 600 bytes on", 126 * 512, 600, true},
        {"last slot, 600 bytes on", 127 * 512, 600, false},
        {"last slot, 488 bytes on: the header ends in the chunk", 127 * 512, 488, true},
        {"last slot, 492 bytes on: its identifier and length are in the chunk", 127 * 512, 492, true},
        {"last slot, 496 bytes on: its length ends the chunk", 127 * 512, 496, true},
        {"last slot, 500 bytes on: its length reaches past the chunk", 127 * 512, 500, false},
        {"final partial chunk, 600 bytes on", 65536 + 512, 600, false},
        {"final partial chunk, 400 bytes on", 65536 + 512, 400, true},
    };
    for (const auto& c : cases) {
        // The next chunk holds bytes too: they must not count for the last slot.
        std::vector<std::uint8_t> bytes(65536 + 4096, 0);
        putFileBlock(bytes, c.blockAt, u"w.txt", c.distance, 77);
        const auto r = scanBytes(bytes);
        ASSERT_EQ(r->catalogue.table().rowCount(), c.found ? 1u : 0u) << c.what;
        if (c.found) {
            EXPECT_EQ(r->catalogue.table().dataOffset(0), static_cast<std::int64_t>(c.blockAt + c.distance + 22))
                << c.what;
            EXPECT_EQ(r->catalogue.table().size(0), 77) << c.what;
        }
    }
}

TEST(Scan, TheStreamWindowWithTheWriter) {
    for (const unsigned slot : {126u, 127u}) {
        for (const std::uint32_t distance : {300u, 480u, 600u}) {
            const auto b = buildBackup([&](BackupWriter& w) {
                w.beginSet({.name = u"S"});
                FileItem f = fileOf(u"placed.txt", Content::random(100, 3));
                f.slot = slot;
                f.streamDistance = distance;
                w.file(f);
            });
            const auto r = scanBytes(b.bytes);
            SCOPED_TRACE("slot " + std::to_string(slot) + ", distance " + std::to_string(distance));
            expectMatchesManifest(r->catalogue, b.manifest);
        }
    }
}

TEST(Scan, NamesSetsAndFolders) {
    const std::u16string longName = std::u16string(300, u'n') + u".txt";
    const auto b = buildBackup([&](BackupWriter& w) {
        w.file(fileOf(u"before-any-set.txt"));
        w.beginSet({.name = u"Set: 1/2", .rootFolder = false});
        w.file(fileOf(u"before-any-folder.txt"));
        w.directory({.name = folderName(u"x?y")});
        w.file(fileOf(u"in-lost.txt"));
        w.directory({.name = folderName(u"a*b/c")});
        w.file(fileOf(u"in-second-lost.txt"));
        w.directory({.name = folderName(u"Good")});
        w.file(fileOf(u"a<b.txt"));
        w.file(fileOf(u"\\lead.txt"));
        w.file(fileOf(u"\\"));
        w.file(fileOf(u""));
        w.file(fileOf(longName));
        FileItem hidden = fileOf(u"continued.txt");
        hidden.attributes = 1;
        w.file(hidden);
        w.beginSet({.name = u"a*b"});
        w.file(fileOf(u"in-unnamed-set.txt"));
        w.beginSet({.name = std::u16string(150, u's')});  // 300 bytes: not a set
        w.file(fileOf(u"still-unnamed.txt"));
        w.beginSet({.name = u""});
        w.file(fileOf(u"empty-name.txt"));
        w.beginSet({.name = u"Quote\"d"});
        w.file(fileOf(u"q.txt"));
        // Every block above lies in a whole chunk: the final partial chunk reads set names otherwise.
        w.file(fileOf(u"pad", Content::zeros(70000)));
    });
    const auto r = scanBytes(b.bytes);
    const std::vector<std::u16string> expected = {
        u"BKF\\BACKUP SET 0\\before-any-set.txt",
        u"BKF\\BACKUP SET 1(Set_ 1_2)\\before-any-folder.txt",
        u"BKF\\BACKUP SET 1(Set_ 1_2)\\lost dir0\\in-lost.txt",
        u"BKF\\BACKUP SET 1(Set_ 1_2)\\lost dir1\\in-second-lost.txt",
        u"BKF\\BACKUP SET 1(Set_ 1_2)\\Good\\lead.txt",
        u"BKF\\BACKUP SET 1(Set_ 1_2)\\Good\\" + std::u16string(255, u'n'),
        u"BKF\\BACKUP SET 2()\\in-unnamed-set.txt",
        u"BKF\\BACKUP SET 2()\\still-unnamed.txt",
        u"BKF\\BACKUP SET 3()\\empty-name.txt",
        u"BKF\\BACKUP SET 4(Quote_d)\\q.txt",
        u"BKF\\BACKUP SET 4(Quote_d)\\pad",
    };
    EXPECT_EQ(paths(r->catalogue), expected);
    EXPECT_EQ(r->stats.lostFolders, 2u);
    EXPECT_EQ(r->stats.sets, 4u);
    expectMatchesManifest(r->catalogue, b.manifest);
}

TEST(Scan, SizesAndOffsetsAreFull64BitValues) {
    std::vector<std::uint8_t> bytes(2048, 0);
    putFileBlock(bytes, 0, u"huge.bin", 200, 5368709120ULL);
    const auto r = scanBytes(bytes);
    ASSERT_EQ(r->catalogue.table().rowCount(), 1u);
    EXPECT_EQ(r->catalogue.table().cell(0, CatalogueColumn::Size), u"5368709120");
}

// Zeros everywhere except a few blocks placed at chosen offsets.
class SparseSource final : public ByteSource {
public:
    SparseSource(std::uint64_t size, std::map<std::uint64_t, std::vector<std::uint8_t>> pieces)
        : size_(size), pieces_(std::move(pieces)) {}
    std::uint64_t size() const override { return size_; }
    ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        ReadResult r;
        r.bytes = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - std::min(offset, size_)));
        std::memset(out.data(), 0, r.bytes);
        for (const auto& [at, piece] : pieces_) {
            const std::uint64_t begin = std::max(at, offset), end = std::min(at + piece.size(), offset + r.bytes);
            if (begin < end) std::memcpy(out.data() + (begin - offset), piece.data() + (begin - at), end - begin);
        }
        return r;
    }

private:
    std::uint64_t size_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> pieces_;
};

TEST(Scan, DataBeyondFourGiB) {
    constexpr std::uint64_t kAt = (std::uint64_t{4} << 30) + 3 * 65536 + 1024;
    std::vector<std::uint8_t> block(1024, 0);
    putFileBlock(block, 0, u"far.bin", 256, 10);
    SparseSource source(kAt + 65536, {{kAt, block}});
    Catalogue c;
    test::CatalogueSink sink(c);
    std::atomic<bool> running{true};
    ASSERT_EQ(scanBackupFile(source, sink, running), ScanEnd::Complete);
    ASSERT_EQ(c.table().rowCount(), 1u);
    EXPECT_EQ(c.table().cell(0, CatalogueColumn::DataOffset), decimalText(static_cast<std::int64_t>(kAt + 256 + 22)));
    EXPECT_EQ(sink.lastScanned, source.size() / 65536 * 65536);
}

// Stops the scan when it has seen a given number of files.
class StoppingSink final : public test::CatalogueSink {
public:
    StoppingSink(Catalogue& c, std::atomic<bool>& running, std::size_t after)
        : CatalogueSink(c), running_(running), after_(after) {}
    void fileFound(const FoundFile& f) override {
        CatalogueSink::fileFound(f);
        if (catalogue_.table().rowCount() == after_) running_.store(false);
    }

private:
    std::atomic<bool>& running_;
    std::size_t after_;
};

TEST(Scan, AStopKeepsWhatWasFound) {
    const auto b = healthyBackup();
    Catalogue c;
    std::atomic<bool> running{true};
    StoppingSink sink(c, running, 5);
    MemoryByteSource source(b.bytes);
    EXPECT_EQ(scanBackupFile(source, sink, running), ScanEnd::Stopped);
    ASSERT_EQ(c.table().rowCount(), 5u);
    EXPECT_EQ(c.table().path(4), b.manifest[4].displayPath);

    std::atomic<bool> never{false};
    Catalogue none;
    test::CatalogueSink quiet(none);
    EXPECT_EQ(scanBackupFile(source, quiet, never), ScanEnd::Stopped);
    EXPECT_EQ(none.table().rowCount(), 0u);
}

TEST(Scan, AReadErrorOrAShortReadCostsOnlyItsChunk) {
    const auto b = healthyBackup();
    const std::uint64_t badChunk = b.manifest[20].blockOffset / 65536;
    const std::uint64_t bad = badChunk * 65536 + 1000;
    std::size_t expected = 0;
    for (const auto& e : b.manifest) expected += e.blockOffset / 65536 == badChunk ? 0 : 1;
    ASSERT_LT(expected, b.manifest.size());
    for (const bool shortRead : {false, true}) {
        SCOPED_TRACE(shortRead ? "short read" : "read error");
        MemoryByteSource memory(b.bytes);
        test::FailingSource source(memory, bad, "Input/output error", shortRead);
        Catalogue c;
        test::CatalogueSink sink(c);
        std::atomic<bool> running{true};
        ScanStats stats;
        EXPECT_EQ(scanBackupFile(source, sink, running, nullptr, &stats), ScanEnd::Complete);
        EXPECT_EQ(stats.readErrors, 1u);
        EXPECT_EQ(c.table().rowCount(), expected);
    }
}

TEST(Scan, TheUnreadBytesAreNamedByTheChunksLost) {
    const auto b = healthyBackup();
    const std::uint64_t badChunk = b.manifest[20].blockOffset / 65536;
    for (const bool shortRead : {false, true}) {
        SCOPED_TRACE(shortRead ? "short read" : "read error");
        MemoryByteSource memory(b.bytes);
        test::FailingSource failing(memory, badChunk * 65536 + 1000, "Input/output error", shortRead);
        UnreadRecorder source(failing);
        Catalogue c;
        test::CatalogueSink sink(c);
        std::atomic<bool> running{true};
        EXPECT_EQ(scanBackupFile(source, sink, running), ScanEnd::Complete);
        // The whole block read around the bad spot fails too: only the chunk is named.
        EXPECT_EQ(source.ranges(), (std::vector<ByteRange>{{badChunk * 65536 + 1000, (badChunk + 1) * 65536}}));
    }
}

TEST(Scan, ALineEndInANameNeverReachesTheCatalogue) {
    // A snapshot keeps one entry a line: a file or folder name holding a CR
    // or LF is refused like one holding a forbidden character, and a set
    // name has them cleaned to "_".
    const auto b = buildBackup([&](BackupWriter& w) {
        w.beginSet({.name = u"Line\r\nSet"});
        w.directory({.name = folderName(u"Good")});
        w.file(fileOf(u"two\nlines.txt"));
        w.file(fileOf(u"carriage\rreturn.txt"));
        w.file(fileOf(u"kept.txt"));
        w.directory({.name = folderName(u"bad\nfolder")});
        w.file(fileOf(u"in-lost.txt"));
        w.file(fileOf(u"pad", Content::zeros(70000)));
    });
    const auto r = scanBytes(b.bytes);
    EXPECT_EQ(paths(r->catalogue), (std::vector<std::u16string>{
                                       u"BKF\\BACKUP SET 1(Line__Set)\\Good\\kept.txt",
                                       u"BKF\\BACKUP SET 1(Line__Set)\\lost dir0\\in-lost.txt",
                                       u"BKF\\BACKUP SET 1(Line__Set)\\lost dir0\\pad",
                                   }));
    expectMatchesManifest(r->catalogue, b.manifest);
}

// The codes of a log, in order.
std::vector<int> logCodes(const std::string& bytes) {
    std::vector<int> codes;
    const std::u16string text = [&] {
        std::u16string t;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            t.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return t;
    }();
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find(u"\r\n", at);
        const auto line = text.substr(at, end - at);
        codes.push_back(line.starts_with(u"SUCC ") ? static_cast<int>(parseLeadingInt64(line.substr(5))) : -1);
        at = end + 2;
    }
    return codes;
}

// A chunk with a tape header, a set, a folder, a file, and a file without
// its stream header, followed by `tail` bytes with a folder and a file.
std::vector<std::uint8_t> smallBackup(std::size_t tail) {
    std::vector<std::uint8_t> b(65536 + tail, 0);
    std::memcpy(&b[0], "TAPE", 4);
    std::memcpy(&b[1024], "SSET", 4);
    std::memcpy(&b[2048], "DIRB", 4);
    putFileBlock(b, 3072, u"a.txt", 200, 1);
    putFileBlock(b, 4096, u"b.txt", 2000, 1);
    if (tail >= 2048) {
        std::memcpy(&b[65536], "SSET", 4);
        std::memcpy(&b[65536 + 512], "DIRB", 4);
        putFileBlock(b, 65536 + 1024, u"c.txt", 200, 1);
    }
    return b;
}

std::vector<int> expectedChunkCodes() {
    std::vector<int> codes = {6, 7};
    for (int slot = 0; slot < 128; ++slot) {
        codes.push_back(8);
        if (slot != 0) codes.push_back(9);  // not for the tape header
        if (slot == 2) codes.push_back(10);
        if (slot == 4) codes.push_back(11);
        if (slot == 6) codes.insert(codes.end(), {12, 13});
        if (slot == 8) codes.push_back(12);  // no stream header: no 13
    }
    return codes;
}

TEST(Scan, LogCodeSequences) {
    test::TempDir dir;
    {
        SCOPED_TRACE("exactly one chunk");
        const auto log = dir / "one.log";
        {
            RecoveryLog session(log);
            scanBytes(smallBackup(0), &session);
        }
        std::vector<int> expected = {5};
        const auto chunk = expectedChunkCodes();
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        EXPECT_EQ(logCodes(test::readFileBytes(log)), expected);
    }
    {
        SCOPED_TRACE("a chunk and 4,464 bytes more");
        const auto log = dir / "two.log";
        {
            RecoveryLog session(log);
            const auto r = scanBytes(smallBackup(70000 - 65536), &session);
            EXPECT_EQ(r->catalogue.table().rowCount(), 2u);
        }
        std::vector<int> expected = {5};
        const auto chunk = expectedChunkCodes();
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        // The final partial chunk: no 6..10 of its own; 11, 12 and 13 are written.
        expected.insert(expected.end(), {6, 11, 12, 13});
        EXPECT_EQ(logCodes(test::readFileBytes(log)), expected);
    }
    {
        SCOPED_TRACE("a stop ends the log with the code before the stop test");
        const auto log = dir / "stop.log";
        {
            RecoveryLog session(log);
            Catalogue c;
            std::atomic<bool> running{true};
            StoppingSink sink(c, running, 1);
            MemoryByteSource source(smallBackup(0));
            scanBackupFile(source, sink, running, &session);
        }
        const auto codes = logCodes(test::readFileBytes(log));
        ASSERT_GE(codes.size(), 3u);
        EXPECT_EQ(std::vector<int>(codes.end() - 3, codes.end()), (std::vector<int>{12, 13, 8}));
    }
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

TEST(Scan, TheHolesOfASparseBackupAreNotReadAndChangeNothing) {
    // Zeros written as holes by the file sink, between and after real files.
    test::TempDir dir;
    const auto path = dir / "sparse.bkf";
    {
        tools::FileSink sink(path);
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Holes"});
        w.file(fileOf(u"before.txt", Content::random(5000, 1)));
        w.file(fileOf(u"zeros.bin", Content::zeros(9u << 20)));
        w.file(fileOf(u"after.txt", Content::random(3000, 2)));
        w.file(fileOf(u"tail.bin", Content::zeros(3u << 20)));
        w.finish();
        sink.close();
    }
    const std::string bytes = test::readFileBytes(path);
    std::vector<std::string> logs;
    std::vector<std::vector<std::array<std::u16string, kCatalogueColumnCount>>> found;  // every cell of every entry
    for (const bool fromFile : {true, false}) {
        OpenedBackup opened = openBackupFile(path, BackupAccess::Shared);
        ASSERT_TRUE(opened.ok());
        MemoryByteSource memory(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        ByteSource& source = fromFile ? **opened : memory;
        if (fromFile && source.nextData(0) == 0 && source.nextData(4u << 20) == 4u << 20) {
            GTEST_SKIP() << "this file system keeps no holes";
        }
        Catalogue catalogue;
        test::CatalogueSink sink(catalogue);
        std::atomic<bool> running{true};
        const auto log = dir / (fromFile ? "file.log" : "memory.log");
        {
            RecoveryLog session(log);
            ASSERT_EQ(scanBackupFile(source, sink, running, &session), ScanEnd::Complete);
        }
        logs.push_back(test::readFileBytes(log));
        found.emplace_back();
        for (RowIndex r = 0; r < catalogue.table().rowCount(); ++r)
            found.back().push_back(catalogue.table().entry(r).cells);
    }
    EXPECT_EQ(found[0], found[1]);
    EXPECT_EQ(found[0].size(), 4u);
    EXPECT_EQ(logs[0], logs[1]);
}

}  // namespace
}  // namespace bkf
