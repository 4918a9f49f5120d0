// The block layout the writer produces, checked with the scanner's own block
// readers: where blocks start, what they identify as, and how their stream
// chains end.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/tools/walk.h"
#include "tools/backup_writer.h"

namespace bkf::test {
namespace {

using tools::BackupWriter;
using tools::Content;
using tools::FileItem;

constexpr int kLastDescriptorKind = static_cast<int>(TapeBlockId::Tfdd);

// Two sets; files whose sizes run through every remainder of the block size,
// so chains end at every distance from a boundary.
Built mixedBackup(std::uint16_t blockSize) {
    tools::WriterOptions options;
    options.blockSize = blockSize;
    return buildInMemory(
        [&](BackupWriter& w) {
            w.beginSet({.name = u"First"});
            w.directory({.name = tools::folderName(u"Data/Sub")});
            for (std::uint64_t size = 0; size < blockSize + 64u; ++size) {
                FileItem f = fileOf(u"f" + std::u16string(1, static_cast<char16_t>(u'a' + size % 26)),
                                    Content::random(size, size));
                if (size % 3 == 0) f.naclSize = static_cast<std::uint32_t>(size % 50);
                w.file(f);
            }
            w.beginSet({.name = u"Second", .volume = false, .rootFolder = false});
            w.file(fileOf(u"last.txt", Content::text("end")));
        },
        options);
}

class LayoutTest : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(LayoutTest, EveryBlockIsWhereTheWriterSaysAndNowhereElse) {
    const std::uint16_t bs = GetParam();
    const Built b = mixedBackup(bs);
    ASSERT_EQ(b.bytes.size() % bs, 0u);

    std::set<std::uint64_t> recorded;
    for (const auto& r : b.blocks) {
        EXPECT_EQ(r.offset % bs, 0u) << r.offset;
        EXPECT_EQ(identifyBlock(at(b.bytes, r.offset)), static_cast<int>(r.kind)) << r.offset;
        recorded.insert(r.offset);
    }
    std::set<std::uint64_t> found;
    for (std::uint64_t p = 0; p < b.bytes.size(); p += mtf::kSlotSize) {
        const int kind = identifyBlock(at(b.bytes, p));
        if (kind >= 0 && kind <= kLastDescriptorKind) found.insert(p);
    }
    EXPECT_EQ(found, recorded);

    // TAPE, SSET, VOLB, root DIRB, DIRB, the files, ESET, SSET, FILE, ESET.
    ASSERT_GE(b.blocks.size(), 6u);
    EXPECT_EQ(b.blocks[0].kind, TapeBlockId::Tape);
    EXPECT_EQ(u16At(b.bytes, mtf::kTapeFormatBlockSize), bs);
    EXPECT_EQ(b.blocks.back().kind, TapeBlockId::Eset);
    EXPECT_EQ(
        std::count_if(b.blocks.begin(), b.blocks.end(), [](const auto& r) { return r.kind == TapeBlockId::Eset; }), 2);
}

TEST_P(LayoutTest, HeadersCarryTheirChecksumsAddressesAndStringType) {
    const std::uint16_t bs = GetParam();
    const Built b = mixedBackup(bs);
    for (const auto& r : b.blocks) {
        SCOPED_TRACE(r.offset);
        EXPECT_EQ(u16At(b.bytes, r.offset + mtf::kHeaderChecksum), xorOfWords(b.bytes, r.offset, 25));
        EXPECT_EQ(u64At(b.bytes, r.offset + mtf::kFormatLogicalAddress), r.offset / bs);
        EXPECT_EQ(b.bytes[r.offset + mtf::kStringType], 2);
        for (const StreamView& s : walkChain(b.bytes, r.offset)) {
            EXPECT_EQ(u16At(b.bytes, s.offset + mtf::kStreamChecksum), xorOfWords(b.bytes, s.offset, 10));
        }
    }
}

TEST_P(LayoutTest, EveryChainEndsInPaddingUpToTheNextBlock) {
    const std::uint16_t bs = GetParam();
    const Built b = mixedBackup(bs);
    bool sawWholeExtraBlock = false;
    bool sawExactBoundary = false;
    std::size_t fileIndex = 0;
    for (std::size_t i = 0; i < b.blocks.size(); ++i) {
        const auto& r = b.blocks[i];
        SCOPED_TRACE(r.offset);
        const auto chain = walkChain(b.bytes, r.offset);
        ASSERT_FALSE(chain.empty());
        EXPECT_EQ(chain.front().offset, r.offset + u16At(b.bytes, r.offset + mtf::kOffsetToFirstEvent));
        for (const StreamView& s : chain) EXPECT_EQ(s.offset % 4, 0u);
        ASSERT_EQ(chain.back().id, "SPAD");
        const std::uint64_t end = chain.back().offset + mtf::kStreamHeaderSize + chain.back().length;
        EXPECT_EQ(end % bs, 0u);
        EXPECT_EQ(end, i + 1 < b.blocks.size() ? b.blocks[i + 1].offset : b.bytes.size());
        const std::uint64_t leftBeforePad = bs - chain.back().offset % bs;
        sawWholeExtraBlock = sawWholeExtraBlock || leftBeforePad < mtf::kStreamHeaderSize;
        sawExactBoundary = sawExactBoundary || chain.back().offset % bs == 0;

        if (r.kind != TapeBlockId::File) {
            EXPECT_EQ(chain.size(), 1u) << "only SPAD behind a block without data";
            continue;
        }
        const auto& entry = b.manifest[fileIndex++];
        std::vector<std::string> ids;
        for (const auto& s : chain) ids.push_back(s.id);
        if (ids.front() == "NACL") ids.erase(ids.begin());
        EXPECT_EQ(ids, (std::vector<std::string>{"STAN", "CSUM", "SPAD"}));
        const auto stan = std::find_if(chain.begin(), chain.end(), [](const auto& s) { return s.id == "STAN"; });
        EXPECT_EQ(stan->offset + mtf::kStreamHeaderSize, entry.dataOffset);
        EXPECT_EQ(stan->length, entry.size);
        EXPECT_EQ(u64At(b.bytes, r.offset + mtf::kDisplayableSize), entry.size);
    }
    EXPECT_EQ(fileIndex, b.manifest.size());
    EXPECT_TRUE(sawWholeExtraBlock) << "no chain ended fewer than 22 bytes before a boundary";
    EXPECT_TRUE(sawExactBoundary) << "no chain ended right on a boundary";
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, LayoutTest, ::testing::Values(512, 1024));

TEST(WriterOptions, RefusesOtherBlockSizes) {
    tools::MemorySink sink;
    for (std::uint16_t bs : {0, 256, 2048, 1000}) {
        EXPECT_THROW(BackupWriter(sink, {.blockSize = bs}), std::invalid_argument) << bs;
    }
}

TEST(StreamDistance, PutsTheStanHeaderExactlyThere) {
    // "x.txt" ends the FILE block's fixed part and name at 98, so streams start at 100.
    constexpr std::uint32_t kFirstEvent = 100;
    for (std::uint32_t distance : {kFirstEvent, kFirstEvent + 24, kFirstEvent + 28, 512u, 1020u, 1024u, 3000u}) {
        SCOPED_TRACE(distance);
        const Built b = buildInMemory([&](BackupWriter& w) {
            FileItem f = fileOf(u"x.txt", Content::random(777, 1));
            f.naclSize = 40;  // replaced by the distance
            f.streamDistance = distance;
            w.file(f);
        });
        const auto& file = b.blocks.back().kind == TapeBlockId::File ? b.blocks.back() : b.blocks[1];
        ASSERT_EQ(file.kind, TapeBlockId::File);
        ASSERT_EQ(u16At(b.bytes, file.offset + mtf::kOffsetToFirstEvent), kFirstEvent);
        const auto found = findStreamHeader(at(b.bytes, file.offset), 1 << 16);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, distance);
        EXPECT_EQ(u64At(b.bytes, file.offset + distance + mtf::kStreamLength), 777u);
        EXPECT_EQ(b.manifest[0].dataOffset, file.offset + distance + 22);
        // The whole backup is one short chunk: a 512-byte window.
        EXPECT_EQ(b.manifest[0].expectedOnSlots(), distance < 512);
        EXPECT_EQ(b.manifest[0].expected(), distance < 1024);
    }
}

TEST(StreamDistance, RefusesDistancesNoNaclSizeGives) {
    for (std::uint32_t distance : {0u, 96u, 102u, 104u, 120u, 1021u}) {
        tools::MemorySink sink;
        BackupWriter w(sink);
        FileItem f = fileOf(u"x.txt", Content::text("a"));
        f.streamDistance = distance;
        EXPECT_THROW(w.file(f), std::invalid_argument) << distance;
    }
}

TEST(SlotPlacement, PutsEachFileInItsSlotAndNeverGoesBack) {
    const std::vector<unsigned> slots = {0, 1, 64, 63, 126, 127, 127, 5};
    for (std::uint16_t bs : {512, 1024}) {
        const Built b = buildInMemory(
            [&](BackupWriter& w) {
                w.beginSet({.name = u"S"});
                for (unsigned slot : slots) {
                    FileItem f = fileOf(u"s.bin", Content::random(3000, slot));
                    f.slot = slot;
                    w.file(f);
                }
            },
            {.blockSize = bs});
        ASSERT_EQ(b.manifest.size(), slots.size());
        std::uint64_t previous = 0;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            const std::uint64_t p = b.manifest[i].blockOffset;
            EXPECT_EQ(p % mtf::kChunkSize, slots[i] * 512u) << i;
            EXPECT_GT(p, previous);
            EXPECT_EQ(identifyBlock(at(b.bytes, p)), static_cast<int>(TapeBlockId::File));
            // The chain before each placed file was stretched to reach it.
            const auto chain = walkChain(b.bytes, i == 0 ? b.blocks[3].offset : b.manifest[i - 1].blockOffset);
            EXPECT_EQ(chain.back().offset + 22 + chain.back().length, p);
            previous = p;
        }
    }
}

TEST(ScannerReach, WindowAndChunkEndDecideWhetherTheStanIsFound) {
    struct Case {
        unsigned slot;
        std::uint32_t distance;
        bool expected;
    };
    // Each file lies in a whole chunk: a second file follows a chunk later.
    // The identifier and the length (16 bytes) must lie in the chunk; the
    // rest of the header and the data may lie beyond it.
    for (const Case c : {Case{127, 488, true}, Case{127, 492, true}, Case{127, 496, true}, Case{127, 500, false},
                         Case{127, 100, true}, Case{126, 1000, true}, Case{126, 1008, true}, Case{126, 1012, false},
                         Case{5, 1020, true}, Case{5, 1024, false}}) {
        SCOPED_TRACE(std::to_string(c.slot) + " " + std::to_string(c.distance));
        const Built b = buildInMemory([&](BackupWriter& w) {
            FileItem f = fileOf(u"r.bin", Content::text("data"));
            f.slot = c.slot;
            f.streamDistance = c.distance;
            w.file(f);
            w.file(fileOf(u"pad.bin", Content::zeros(70000)));
        });
        const auto& e = b.manifest[0];
        EXPECT_EQ(e.expectedOnSlots(), c.expected);
        EXPECT_EQ(e.notes & tools::kNoteStreamOutOfReach, c.expected ? 0u : tools::kNoteStreamOutOfReach);
        // Found anyway when the scan looks past the slots, but for a stream 1,024 bytes on.
        EXPECT_EQ(e.expected(), c.distance < 1024);
        // What the scanner does with the slot: the bytes to the end of the chunk, its window.
        const std::size_t chunkEnd = (e.blockOffset / mtf::kChunkSize + 1) * mtf::kChunkSize;
        const ByteSpan held = ByteSpan(b.bytes).subspan(e.blockOffset, chunkEnd - e.blockOffset);
        const auto found = findStreamHeader(held, c.slot == 127 ? 512 : 1024);
        EXPECT_EQ(found.has_value() && *found + 16 <= held.size(), c.expected);
    }
}

TEST(ScannerReach, TheFinalShortChunkIsSeenDifferently) {
    // A set name with a double quote and a final 0x0080, first in a whole
    // chunk, then with the whole backup one short chunk.
    const auto label = [](bool whole) {
        const Built b = buildInMemory([&](BackupWriter& w) {
            w.beginSet(tools::SetItem{.name = u"say \"hi\"\u0080", .volume = false, .rootFolder = false});
            FileItem f = fileOf(u"f", Content::text("x"));
            f.streamDistance = 600;  // beyond the short chunk's window
            w.file(f);
            if (whole) w.file(fileOf(u"pad.bin", Content::zeros(70000)));
        });
        return std::make_pair(b.manifest[0].displayPath, b.manifest[0].expectedOnSlots());
    };
    EXPECT_EQ(label(true), std::make_pair(std::u16string(u"BKF\\BACKUP SET 1(say _hi_)\\f"), true));
    EXPECT_EQ(label(false), std::make_pair(std::u16string(u"BKF\\BACKUP SET 1(say \"hi\"\u0080)\\f"), false));

    // A short chunk of 512 bytes or less is not looked at.
    const Built tail = buildInMemory(
        [](BackupWriter& w) {
            FileItem f = fileOf(u"t", Content());
            f.slot = 0;
            w.file(f);
        },
        {.blockSize = 512, .writeTape = false});
    ASSERT_EQ(tail.bytes.size(), 512u);
    EXPECT_FALSE(tail.manifest[0].expectedOnSlots());
}

TEST(BlockAttributes, LowHalfHidesTheBlockHighHalfDoesNot) {
    for (const std::uint32_t attributes : {0x1u, 0x8000u, 0x10000u, 0x80000000u}) {
        const bool hidden = (attributes & 0xFFFF) != 0;
        const Built b = buildInMemory([&](BackupWriter& w) {
            w.beginSet({.name = u"Hidden", .attributes = attributes});
            w.directory({.name = tools::folderName(u"D"), .attributes = attributes});
            FileItem f = fileOf(u"a.txt", Content::text("x"));
            f.attributes = attributes;
            w.file(f);
        });
        for (const auto& r : b.blocks) {
            if (r.kind != TapeBlockId::Sset && r.kind != TapeBlockId::Dirb && r.kind != TapeBlockId::File) continue;
            if (r.kind == TapeBlockId::Dirb && r.attributes == 0) continue;  // the root folder
            EXPECT_EQ(mtf::load32(b.bytes.data() + r.offset + mtf::kBlockAttributes), attributes);
            EXPECT_EQ(identifyBlock(at(b.bytes, r.offset)), hidden ? kUnknownBlock : static_cast<int>(r.kind));
        }
        // A hidden set and folder leave the names as they were.
        EXPECT_EQ(b.manifest[0].displayPath,
                  hidden ? u"BKF\\BACKUP SET 0\\a.txt" : u"BKF\\BACKUP SET 1(Hidden)\\D\\a.txt");
        EXPECT_EQ(b.manifest[0].expected(), !hidden);
    }
}

TEST(FileBeforeAnySet, IsWrittenRightAfterTheTapeBlock) {
    const Built b = buildInMemory([](BackupWriter& w) { w.file(fileOf(u"early.txt", Content::text("hi"))); });
    ASSERT_EQ(b.blocks.size(), 2u);
    EXPECT_EQ(b.blocks[1].kind, TapeBlockId::File);
    EXPECT_EQ(b.manifest[0].displayPath, u"BKF\\BACKUP SET 0\\early.txt");

    const Built bare =
        buildInMemory([](BackupWriter& w) { w.file(fileOf(u"first.txt", Content::text("hi"))); }, {.writeTape = false});
    EXPECT_EQ(identifyBlock(at(bare.bytes, 0)), static_cast<int>(TapeBlockId::File));
}

}  // namespace
}  // namespace bkf::test
