#include "engine/blocks.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include <cstring>
#include <vector>

#include "engine/tape_format.h"

namespace bkf {
namespace {

std::vector<std::uint8_t> bytesOf(const char* text, std::size_t n) {
    return std::vector<std::uint8_t>(text, text + n);
}

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void putUnits(std::vector<std::uint8_t>& b, std::size_t at, std::u16string_view units) {
    for (char16_t c : units) {
        put16(b, at, c);
        at += 2;
    }
}

TEST(IdentifyBlock, RecognisesEveryIdentifierWithZeroAttributes) {
    for (int i = 0; i < kTapeBlockIdCount; ++i) {
        const char* id = tapeBlockIdName(static_cast<TapeBlockId>(i));
        std::vector<std::uint8_t> slot(512, 0);
        std::memcpy(slot.data(), id, 4);
        EXPECT_EQ(identifyBlock(slot), i) << id;
        // Any bit in the low half of the attributes hides the block.
        slot[4] = 0x01;
        EXPECT_EQ(identifyBlock(slot), kUnknownBlock) << id << " continuation";
        slot[4] = 0;
        slot[5] = 0x80;
        EXPECT_EQ(identifyBlock(slot), kUnknownBlock) << id << " high byte of low half";
        // The high half of the attributes is not looked at.
        slot[5] = 0;
        slot[6] = 0xFF;
        slot[7] = 0xFF;
        EXPECT_EQ(identifyBlock(slot), i) << id << " with high attribute bits";
    }
}

TEST(IdentifyBlock, EmptyUnknownAndShortSlots) {
    EXPECT_EQ(identifyBlock(bytesOf("\0\0\0\0\0\0", 6)), kEmptySlot);
    EXPECT_EQ(identifyBlock(bytesOf("\0\0\0\0\x01\x02", 6)), kEmptySlot);
    EXPECT_EQ(identifyBlock(bytesOf("FILE\0\0", 6)), static_cast<int>(TapeBlockId::File));
    EXPECT_EQ(identifyBlock(bytesOf("FILE\x01\0", 6)), kUnknownBlock);
    EXPECT_EQ(identifyBlock(bytesOf("file\0\0", 6)), kUnknownBlock);
    EXPECT_EQ(identifyBlock(bytesOf("XXXX\0\0", 6)), kUnknownBlock);
    EXPECT_EQ(identifyBlock(bytesOf("TAPE\0\0", 6)), static_cast<int>(TapeBlockId::Tape));
    EXPECT_EQ(identifyBlock(bytesOf("FILE\0", 5)), kUnknownBlock);
}

TEST(TapeDate, DecodesTheExampleWithAfternoonHours) {
    const std::uint8_t raw[5] = {0x1F, 0x61, 0x93, 0x52, 0x4F};
    const TapeDate d = decodeTapeDate(raw);
    EXPECT_EQ(d.year, 2008);
    EXPECT_EQ(d.month, 6);
    EXPECT_EQ(d.day, 9);
    EXPECT_EQ(d.hour, 21);
    EXPECT_EQ(d.minute, 9);
    EXPECT_EQ(d.second, 15);
    // 2008-06-09 21:09:15 as a file time, no time zone applied.
    constexpr FileTime kExpected = (FileTime{1213045755} + kFileTimeUnixEpochSeconds) * 10000000ULL;
    EXPECT_EQ(tapeDateToFileTime(raw), kExpected);
}

struct DateCase {
    const char* what;
    TapeDate date;
    FileTime expected;
};

TEST(TapeDate, ValidAndInvalidTimes) {
    constexpr FileTime kTicksPerDay = 86400ULL * 10000000ULL;
    const DateCase cases[] = {
        {"first moment of 1601", {1601, 1, 1, 0, 0, 0}, 0},
        {"second day of 1601", {1601, 1, 2, 0, 0, 0}, kTicksPerDay},
        {"leap day of 2000", {2000, 2, 29, 0, 0, 0}, (FileTime{951782400} + 11644473600ULL) * 10000000ULL},
        {"1970 epoch", {1970, 1, 1, 0, 0, 0}, 11644473600ULL * 10000000ULL},
        {"all zero", {0, 0, 0, 0, 0, 0}, 0},
        {"month 0", {2008, 0, 9, 1, 1, 1}, 0},
        {"month 13", {2008, 13, 9, 1, 1, 1}, 0},
        {"day 0", {2008, 6, 0, 1, 1, 1}, 0},
        {"31 June", {2008, 6, 31, 1, 1, 1}, 0},
        {"29 February of 1900", {1900, 2, 29, 1, 1, 1}, 0},
        {"hour 24", {2008, 6, 9, 24, 0, 0}, 0},
        {"minute 60", {2008, 6, 9, 23, 60, 0}, 0},
        {"second 60", {2008, 6, 9, 23, 59, 60}, 0},
        {"year 1600", {1600, 12, 31, 23, 59, 59}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(tapeDateToFileTime(c.date), c.expected) << c.what;
    const std::uint8_t zeros[5] = {};
    EXPECT_EQ(tapeDateToFileTime(zeros), 0u);
    EXPECT_EQ(tapeDateToFileTime(ByteSpan(zeros, 4)), 0u) << "fewer than five bytes";
}

struct NameCase {
    const char* what;
    std::u16string units;  // the name as stored, NULs included
    std::size_t size;      // the size field in bytes
    std::u16string expected;
};

TEST(ReadTapeName, DecodesStoredNames) {
    using namespace std::literals;
    const std::u16string longName(300, u'x');
    const NameCase cases[] = {
        {"folder path with NUL separators", u"Data\0Sub\0"s, 18, u"Data\\Sub\\"},
        {"two one-letter folders", u"A\0B\0"s, 8, u"A\\B\\"},
        {"size 0 is empty", u"ignored", 0, u""},
        {"characters whose low byte is 0 keep their value", u"\u4E00\u0100\u2000.txt"s, 14, u"\u4E00\u0100\u2000.txt"},
        {"non-ASCII name", u"\u00DCbersicht.txt", 26, u"\u00DCbersicht.txt"},
        {"cut to 255 code units", longName, 600, std::u16string(255, u'x')},
        {"odd size keeps the low byte of the half unit", u"ab", 3, u"ab"},
        {"size shorter than the text", u"report.txt", 6, u"rep"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> block(2048, 0);
        putUnits(block, 200, c.units);
        const auto name = readTapeName(block, TapeAddress{static_cast<std::uint16_t>(c.size), 200});
        ASSERT_TRUE(name.has_value()) << c.what;
        EXPECT_EQ(*name, c.expected) << c.what;
    }
}

TEST(ReadTapeName, AddressPastTheBytesHeldFails) {
    std::vector<std::uint8_t> block(512, 0);
    putUnits(block, 500, u"abcdef");
    EXPECT_FALSE(readTapeName(block, TapeAddress{14, 500}).has_value()) << "ends 2 bytes past";
    EXPECT_TRUE(readTapeName(block, TapeAddress{12, 500}).has_value()) << "ends exactly at the end";
    EXPECT_FALSE(readTapeName(block, TapeAddress{2, 65535}).has_value());
    EXPECT_FALSE(readTapeName(ByteSpan(block.data(), 0), TapeAddress{2, 0}).has_value());
    EXPECT_FALSE(readTapeAddress(ByteSpan(block.data(), 86), mtf::kFileNameSize).has_value());
    EXPECT_TRUE(readTapeAddress(ByteSpan(block.data(), 88), mtf::kFileNameSize).has_value());
}

TEST(ReadTapeName, LeavesTheBufferUnchanged) {
    std::vector<std::uint8_t> block(512, 0);
    putUnits(block, 100, std::u16string_view(u"A\0B\0", 4));
    const auto before = block;
    ASSERT_TRUE(readTapeName(block, TapeAddress{8, 100}).has_value());
    EXPECT_EQ(block, before);
}

std::vector<std::uint8_t> ssetWithName(std::u16string_view units, std::size_t sizeBytes) {
    std::vector<std::uint8_t> block(1024, 0);
    std::memcpy(block.data(), "SSET", 4);
    put16(block, mtf::kSsetNameSize, static_cast<std::uint16_t>(sizeBytes));
    put16(block, mtf::kSsetNameOffset, 100);
    putUnits(block, 100, units);
    return block;
}

TEST(ReadSetName, DropsOneTrailingMarkerUnit) {
    using namespace std::literals;
    EXPECT_EQ(readSetName(ssetWithName(u"Daily", 10)), u"Daily");
    EXPECT_EQ(readSetName(ssetWithName(u"Daily\u0080", 12)), u"Daily");
    EXPECT_EQ(readSetName(ssetWithName(u"Daily\u0010", 12)), u"Daily");
    EXPECT_EQ(readSetName(ssetWithName(u"Daily\u0080\u0080", 14)), u"Daily\u0080");
    // A stored terminating NUL reads as a backslash, which the scan then cleans.
    EXPECT_EQ(readSetName(ssetWithName(u"Set\0"s, 8)), u"Set\\");
    EXPECT_EQ(readSetName(ssetWithName(u"", 0)), u"");
    EXPECT_FALSE(readSetName(ByteSpan(ssetWithName(u"Daily", 10).data(), 105)).has_value());
    EXPECT_FALSE(readSetName(ByteSpan(ssetWithName(u"Daily", 10).data(), 66)).has_value());
}

TEST(FindStreamHeader, FirstMatchWithinTheWindowAndTheBytesHeld) {
    std::vector<std::uint8_t> block(2048, 0);
    std::memcpy(block.data(), "FILE", 4);
    std::memcpy(block.data() + 600, "STAN", 4);
    std::memcpy(block.data() + 900, "STAN", 4);
    EXPECT_EQ(findStreamHeader(block, 1024), 600u);
    EXPECT_EQ(findStreamHeader(block, 601), 600u);
    EXPECT_EQ(findStreamHeader(block, 600), std::nullopt) << "the window ends before it";
    EXPECT_EQ(findStreamHeader(block, 512), std::nullopt);
    // The four compared bytes must all be held.
    EXPECT_EQ(findStreamHeader(ByteSpan(block.data(), 603), 1024), std::nullopt);
    EXPECT_EQ(findStreamHeader(ByteSpan(block.data(), 604), 1024), 600u);
    EXPECT_EQ(findStreamHeader(ByteSpan(block.data(), 3), 1024), std::nullopt);
    std::memcpy(block.data() + 1024, "STAN", 4);
    std::memset(block.data() + 600, 0, 4);
    std::memset(block.data() + 900, 0, 4);
    EXPECT_EQ(findStreamHeader(block, 1024), std::nullopt) << "1024 bytes on is outside the window";
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

TEST(DescriptorCandidates, EveryWayFindsWhatThePlainLoopFinds) {
    // Random bytes with identifiers planted at every phase, look-alikes that
    // fail late (a non-zero fifth byte, "FIXE"), and ones near both ends.
    std::mt19937_64 rng(3);
    std::vector<std::uint8_t> bytes(20000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng() % 6 == 0 ? "SDFIEL"[rng() % 6] : rng());
    const auto plant = [&](std::size_t at, const char* id, std::uint8_t fifth) {
        std::memcpy(&bytes[at], id, 4);
        bytes[at + 4] = fifth;
        bytes[at + 5] = 0;
    };
    for (std::size_t at = 0; at + 6 < bytes.size(); at += 97 + rng() % 50) {
        plant(at, std::array{"SSET", "DIRB", "FILE", "FIXE"}[rng() % 4], rng() % 5 == 0 ? 1 : 0);
    }
    plant(bytes.size() - 6, "FILE", 0);
    for (const std::size_t count : {bytes.size(), bytes.size() - 6, std::size_t{65}, std::size_t{0}}) {
        std::vector<std::uint32_t> plain, vector;
        findDescriptorCandidates(bytes, count, plain, VectorLevel::Plain);
        ASSERT_FALSE(count > 100 && plain.empty());
        for (const VectorLevel level : {VectorLevel::Sse2, VectorLevel::Avx2, VectorLevel::Avx512}) {
            findDescriptorCandidates(bytes, count, vector, level);
            EXPECT_EQ(vector, plain) << "level " << static_cast<int>(level) << ", count " << count;
        }
        for (const std::uint32_t at : plain) EXPECT_GT(identifyBlock(std::span(bytes).subspan(at)), 0);
    }
}

}  // namespace
}  // namespace bkf
