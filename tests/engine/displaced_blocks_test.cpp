// Blocks moved off the 512-byte grid by inserted or lost bytes, and files
// whose folder block was lost.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "base/text.h"
#include "engine/blocks.h"
#include "engine/recovery_log.h"
#include "engine/scan.h"
#include "engine/tape_format.h"
#include "tests/engine/scan_fixture.h"
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

FileItem fileOf(std::u16string name, Content content) {
    FileItem f;
    f.name = std::move(name);
    f.content = std::move(content);
    return f;
}

// Data offset and size of every row, in order.
std::vector<std::pair<std::int64_t, std::int64_t>> placesOf(const Catalogue& c) {
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (RowIndex r = 0; r < c.table().rowCount(); ++r) out.emplace_back(c.table().dataOffset(r), c.table().size(r));
    return out;
}

std::vector<std::pair<std::int64_t, std::int64_t>> placesOf(const tools::Manifest& m) {
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const auto& e : m) {
        if (e.expected()) out.emplace_back(static_cast<std::int64_t>(e.dataOffset), static_cast<std::int64_t>(e.size));
    }
    return out;
}

// The backup with `shift` random bytes put in front, and its manifest.
test::Built movedBy(const test::Built& b, std::uint64_t shift) {
    test::Built moved = b;
    const tools::Damage insert{tools::DamageKind::Insert, 0, shift, shift};
    tools::damageBytes(moved.bytes, insert);
    tools::applyDamage(moved.manifest, insert, b.bytes.size());
    return moved;
}

// Files in both slots next to a chunk border and all over the first chunk.
test::Built borderBackup() {
    return buildBackup([](BackupWriter& w) {
        w.beginSet({.name = u"B"});
        w.directory({.name = folderName(u"D")});
        for (int i = 0; i < 6; ++i) w.file(fileOf(u"a" + asciiToUtf16(std::to_string(i)), Content::random(5000, i)));
        for (const unsigned slot : {126u, 127u, 0u, 1u}) {
            FileItem f = fileOf(u"s" + asciiToUtf16(std::to_string(slot)), Content::random(300, slot));
            f.slot = slot;
            w.file(f);
        }
        w.file(fileOf(u"last", Content::random(9000, 9)));
    });
}

TEST(DisplacedBlocks, FoundAtEveryPhaseOffTheGridAndAcrossChunkBorders) {
    const auto b = borderBackup();
    for (std::uint64_t shift = 1; shift < 512; ++shift) {
        SCOPED_TRACE(shift);
        const auto [bytes, manifest] = movedBy(b, shift);
        const auto r = scanBytes(bytes);
        ASSERT_EQ(placesOf(r->catalogue), placesOf(manifest));
        EXPECT_EQ(paths(r->catalogue), paths(scanBytes(b.bytes)->catalogue));
    }
}

TEST(DisplacedBlocks, ABlockAcrossTheBorderOfTwoReadRequestsIsSeenWhole) {
    // The scan reads 2 MiB at a time: a file placed in the last slot before
    // that border, then moved so that its block or stream header straddles it.
    const auto b = buildBackup([](BackupWriter& w) {
        w.beginSet({.name = u"R"});
        w.file(fileOf(u"big", Content::random(2040000, 1)));
        FileItem f = fileOf(u"edge", Content::random(700, 2));
        f.slot = 127;
        w.file(f);
        w.file(fileOf(u"after", Content::random(900, 3)));
    });
    ASSERT_EQ(b.manifest[1].blockOffset, 2u * 1024 * 1024 - 512);
    for (const std::uint64_t shift : {100, 430, 470, 500, 511}) {
        SCOPED_TRACE(shift);
        const auto [bytes, manifest] = movedBy(b, shift);
        EXPECT_EQ(placesOf(scanBytes(bytes)->catalogue), placesOf(manifest));
    }
}

// Slows the examination down, so the reading thread runs ahead and waits.
class SlowTap : public ScanTap {
public:
    void bytesScanned(std::uint64_t, std::span<const std::uint8_t>) override {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
};

TEST(DisplacedBlocks, FoundTheSameWhetherReadingOrExaminingIsTheSlower) {
    // Six read blocks of files off the grid. With the examination slowed,
    // the reading thread looks for the blocks ahead while it waits; without,
    // the examination mostly does. Either way every file is found.
    const auto b = movedBy(buildBackup([](BackupWriter& w) {
                               w.beginSet({.name = u"T"});
                               for (int i = 0; i < 70; ++i) {
                                   const auto size = static_cast<std::size_t>(150000 + 1000 * i);
                                   w.file(fileOf(u"f" + asciiToUtf16(std::to_string(i)), Content::random(size, i)));
                               }
                           }),
                           77);
    ASSERT_GT(b.bytes.size(), 5u * 2 * 1024 * 1024);
    SlowTap slow;
    const auto slowly = scanBytes(b.bytes, nullptr, {.tap = &slow});
    const auto quickly = scanBytes(b.bytes);
    EXPECT_EQ(placesOf(slowly->catalogue), placesOf(b.manifest));
    EXPECT_EQ(placesOf(quickly->catalogue), placesOf(b.manifest));
}

TEST(DisplacedBlocks, LookAlikesInFileDataAreNotTaken) {
    // File data full of copies of a real FILE block, its checksum spoiled,
    // at every phase of the grid.
    const auto real = buildBackup([](BackupWriter& w) { w.file(fileOf(u"model.txt", Content::text("m"))); });
    const std::uint64_t at = real.manifest[0].blockOffset;
    std::vector<std::uint8_t> lookAlike(
        real.bytes.begin() + static_cast<std::ptrdiff_t>(at),
        real.bytes.begin() + static_cast<std::ptrdiff_t>(real.manifest[0].dataOffset + 1));
    lookAlike[mtf::kHeaderChecksum] ^= 0x01;
    ASSERT_FALSE(headerChecksumHolds(lookAlike));
    std::vector<std::uint8_t> data;
    while (data.size() < 200000) {
        data.insert(data.end(), lookAlike.begin(), lookAlike.end());
        data.push_back(0x20);  // the next copy one byte further off the grid
    }
    const auto b = buildBackup([&](BackupWriter& w) {
        w.beginSet({.name = u"P"});
        w.file(fileOf(u"decoys.bin", Content::bytes(data)));
        w.file(fileOf(u"after.txt", Content::text("after")));
    });
    const auto r = scanBytes(b.bytes);
    EXPECT_EQ(placesOf(r->catalogue), placesOf(b.manifest));
    EXPECT_EQ(r->stats.offGridBlocks, 0u);
}

TEST(DisplacedBlocks, AHealthyBackupGivesTheSameCatalogueAndLogWithTheSearchOnOrOff) {
    const auto b = borderBackup();
    test::TempDir dir;
    std::vector<std::string> logs;
    std::vector<std::vector<std::u16string>> found;
    for (const bool offGrid : {true, false}) {
        const auto log = dir / (offGrid ? "on.log" : "off.log");
        {
            RecoveryLog session(log);
            found.push_back(paths(scanBytes(b.bytes, &session, {.offGrid = offGrid})->catalogue));
        }
        logs.push_back(test::readFileBytes(log));
    }
    EXPECT_EQ(found[0], found[1]);
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(found[0].size(), b.manifest.size());
}

TEST(DisplacedBlocks, EachOffGridBlockIsLoggedWithItsOffset) {
    auto b = buildBackup([](BackupWriter& w) {
        w.beginSet({.name = u"L"});
        w.file(fileOf(u"x", Content::text("x")));
    });
    const std::uint64_t fileBlock = b.manifest[0].blockOffset + 3;
    tools::damageBytes(b.bytes, {tools::DamageKind::Insert, 0, 3, {}});
    test::TempDir dir;
    {
        RecoveryLog session(dir / "l.log");
        EXPECT_EQ(scanBytes(b.bytes, &session)->catalogue.table().rowCount(), 1u);
    }
    const std::string log = test::readFileBytes(dir / "l.log");
    const auto line = [](std::uint64_t offset) { return test::utf16le(logCodeLine(LogCode::OffGridBlock, offset)); };
    EXPECT_NE(log.find(line(fileBlock)), std::string::npos);
    EXPECT_EQ(logCodeLine(LogCode::OffGridBlock, 1027), u"SUCC 0014 1027\r\n");
}

TEST(DisplacedBlocks, ATextModeTransferCostsOnlyTheFilesWithAnLfByte) {
    const auto b = buildBackup([](BackupWriter& w) {
        w.beginSet({.name = u"T"});
        w.directory({.name = folderName(u"Docs")});
        for (int i = 0; i < 30; ++i) {
            // Plain text without line breaks, and now and then a file with some.
            const std::string text = i % 4 == 0 ? "line one\nline two\n" : std::string(100 + 37 * i, 'a' + i % 26);
            w.file(fileOf(u"t" + asciiToUtf16(std::to_string(i)) + u".txt", Content::text(text)));
        }
    });
    auto manifest = b.manifest;
    const auto bytes = tools::addCrBeforeLf(b.bytes, manifest);
    ASSERT_GT(bytes.size(), b.bytes.size());
    std::size_t eligible = 0;
    for (const auto& e : manifest) eligible += e.intact() ? 1 : 0;
    EXPECT_GE(eligible, 20u);
    const auto r = scanBytes(bytes);
    std::size_t recovered = 0;
    for (const auto& e : manifest) {
        if (!e.intact()) continue;
        for (RowIndex row = 0; row < r->catalogue.table().rowCount(); ++row) {
            if (r->catalogue.table().dataOffset(row) != static_cast<std::int64_t>(e.dataOffset)) continue;
            // (The folder block may have taken an LF byte: compare the names only.)
            EXPECT_EQ(r->catalogue.table().name(row), lastPathComponent(e.displayPath));
            recovered += tools::hashBytes(std::span(bytes).subspan(e.dataOffset, e.size)) == e.hash ? 1 : 0;
        }
    }
    EXPECT_EQ(recovered, eligible);
}

// The offset of the n-th DIRB block on the grid.
std::uint64_t folderBlock(const std::vector<std::uint8_t>& bytes, int n) {
    for (std::uint64_t at = 0; at + 512 <= bytes.size(); at += 512) {
        if (identifyBlock(std::span(bytes).subspan(at)) == static_cast<int>(TapeBlockId::Dirb) && n-- == 0) return at;
    }
    ADD_FAILURE() << "no such folder block";
    return 0;
}

// Gives a FILE block another directory id and makes its checksum hold again.
void setDirectoryId(std::vector<std::uint8_t>& bytes, std::uint64_t block, std::uint32_t id) {
    std::uint8_t* p = bytes.data() + block;
    for (int i = 0; i < 4; ++i) p[mtf::kFileDirectoryId + i] = static_cast<std::uint8_t>(id >> (8 * i));
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < mtf::kHeaderChecksum; i += 2) sum ^= mtf::load16(p + i);
    p[mtf::kHeaderChecksum] = static_cast<std::uint8_t>(sum);
    p[mtf::kHeaderChecksum + 1] = static_cast<std::uint8_t>(sum >> 8);
}

TEST(DisplacedBlocks, FilesKeepTheirFolderWhenItsBlockIsLost) {
    // Set 1: root, A (a1 a2), B (b1 b2), C (c1); set 2: f0 before any folder, then E (e1).
    const auto b = buildBackup([](BackupWriter& w) {
        w.beginSet({.name = u"One"});
        for (const char* folder : {"A", "B", "C"}) {
            w.directory({.name = folderName(asciiToUtf16(folder))});
            for (int i = 1; i <= (folder[0] == 'C' ? 1 : 2); ++i) {
                w.file(fileOf(asciiToUtf16(std::string(1, static_cast<char>(folder[0] + 32)) + std::to_string(i)),
                              Content::text("x")));
            }
        }
        w.beginSet({.name = u"Two", .rootFolder = false});
        w.file(fileOf(u"f0", Content::text("y")));
        w.directory({.name = folderName(u"E")});
        w.file(fileOf(u"e1", Content::text("z")));
    });
    const auto wipe = [&](std::vector<std::uint8_t>& bytes, int folder) {
        tools::damageBytes(bytes, {tools::DamageKind::Wipe, folderBlock(b.bytes, folder), 512, {}});
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        std::vector<std::u16string> expected;  // after "BKF\BACKUP SET "
    };
    const std::vector<Case> cases = {
        {"healthy",
         [](auto&) {},
         {u"1(One)\\A\\a1", u"1(One)\\A\\a2", u"1(One)\\B\\b1", u"1(One)\\B\\b2", u"1(One)\\C\\c1", u"2(Two)\\C\\f0",
          u"2(Two)\\E\\e1"}},
        {"B's block destroyed: its two files share one lost folder",
         [&](auto& bytes) { wipe(bytes, 2); },
         {u"1(One)\\A\\a1", u"1(One)\\A\\a2", u"1(One)\\lost dir0\\b1", u"1(One)\\lost dir0\\b2", u"1(One)\\C\\c1",
          u"2(Two)\\C\\f0", u"2(Two)\\E\\e1"}},
        {"b2 names A's id",
         [&](auto& bytes) {
             setDirectoryId(bytes, b.manifest[3].blockOffset,
                            mtf::load32(b.bytes.data() + folderBlock(b.bytes, 1) + mtf::kDirbId));
         },
         {u"1(One)\\A\\a1", u"1(One)\\A\\a2", u"1(One)\\B\\b1", u"1(One)\\A\\b2", u"1(One)\\C\\c1", u"2(Two)\\C\\f0",
          u"2(Two)\\E\\e1"}},
        {"the root and A destroyed: A's files before any folder of the set stay where they were",
         [&](auto& bytes) {
             wipe(bytes, 0);
             wipe(bytes, 1);
         },
         {u"1(One)\\a1", u"1(One)\\a2", u"1(One)\\B\\b1", u"1(One)\\B\\b2", u"1(One)\\C\\c1", u"2(Two)\\C\\f0",
          u"2(Two)\\E\\e1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = b.bytes;
        c.damage(bytes);
        std::vector<std::u16string> found;
        for (const auto& p : paths(scanBytes(bytes)->catalogue))
            found.push_back(p.substr(std::u16string_view(u"BKF\\BACKUP SET ").size()));
        EXPECT_EQ(found, c.expected);
    }
}

}  // namespace
}  // namespace bkf
