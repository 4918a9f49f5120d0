// Damage done to backups: the byte-level effect, the same effect streamed
// through a file, what the scanner's readers then find, and the manifest's
// account of it.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/fixtures/temp_dir.h"
#include "tests/tools/walk.h"
#include "tools/damage.h"

namespace bkf::test {
namespace {

using namespace bkf::tools;

std::vector<std::uint8_t> counting(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i + 1);
    return v;
}

std::vector<std::uint8_t> randomBytes(std::uint64_t seed, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    fillRandom(seed, 0, v);
    return v;
}

TEST(DamageBytes, DoesWhatEachKindSays) {
    const auto base = counting(20);
    auto join = [](std::initializer_list<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    auto slice = [&](std::size_t from, std::size_t to) {
        return std::vector<std::uint8_t>(base.begin() + static_cast<std::ptrdiff_t>(from),
                                         base.begin() + static_cast<std::ptrdiff_t>(to));
    };
    struct Case {
        Damage damage;
        std::vector<std::uint8_t> expected;
    };
    const std::vector<Case> cases = {
        {{DamageKind::Wipe, 10, 5}, join({slice(0, 10), std::vector<std::uint8_t>(5, 0), slice(15, 20)})},
        {{DamageKind::Randomise, 10, 5, 3}, join({slice(0, 10), randomBytes(3, 5), slice(15, 20)})},
        {{DamageKind::Insert, 10, 3}, join({slice(0, 10), std::vector<std::uint8_t>(3, 0), slice(10, 20)})},
        {{DamageKind::Insert, 20, 2, 8}, join({base, randomBytes(8, 2)})},
        {{DamageKind::Delete, 10, 3}, join({slice(0, 10), slice(13, 20)})},
        {{DamageKind::Delete, 0, 20}, {}},
        {{DamageKind::Truncate, 7}, slice(0, 7)},
        {{DamageKind::Wipe, 20, 0}, base},
    };
    for (const Case& c : cases) {
        auto bytes = base;
        damageBytes(bytes, c.damage);
        EXPECT_EQ(bytes, c.expected) << describe(c.damage);
    }
    for (const Damage& bad :
         {Damage{DamageKind::Wipe, 15, 6}, Damage{DamageKind::Randomise, 21, 0}, Damage{DamageKind::Delete, 19, 2},
          Damage{DamageKind::Insert, 21, 1}, Damage{DamageKind::Truncate, 21}}) {
        auto bytes = base;
        EXPECT_THROW(damageBytes(bytes, bad), std::out_of_range) << describe(bad);
        EXPECT_EQ(bytes, base);
    }
}

TEST(DamageFile, StreamsToTheSameResultAsInMemory) {
    // Larger than the pieces the file forms move at a time, with a hole in it.
    auto original = randomBytes(77, 9u << 20);
    std::fill(original.begin() + (5u << 20), original.begin() + (7u << 20), 0);
    TempDir dir;
    const auto path = dir / "d.bin";
    const std::vector<Damage> cases = {
        {DamageKind::Wipe, (4u << 20) - 10, 100},  {DamageKind::Randomise, 3, (4u << 20) + 5, 11},
        {DamageKind::Insert, 1000, 333},           {DamageKind::Insert, (6u << 20) + 1, 4097, 5},
        {DamageKind::Insert, 9u << 20, 10},        {DamageKind::Delete, 1, (4u << 20) + 1},
        {DamageKind::Delete, (5u << 20) - 7, 513}, {DamageKind::Truncate, (9u << 20) - 1},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(describe(d));
        writeFileBytes(path, std::string(original.begin(), original.end()));
        damageFile(path, d);
        auto expected = original;
        damageBytes(expected, d);
        const std::string onDisk = readFileBytes(path);
        ASSERT_EQ(onDisk.size(), expected.size());
        EXPECT_TRUE(std::equal(onDisk.begin(), onDisk.end(), expected.begin(),
                               [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }));
    }
    EXPECT_THROW(damageFile(path, {DamageKind::Wipe, 9u << 20, 1}), std::out_of_range);
    EXPECT_THROW(damageFile(dir / "missing.bin", {DamageKind::Wipe, 0, 1}), std::runtime_error);
}

// Five files of 3000 bytes, one a block apart from the next, in one set.
Built fiveFiles() {
    return buildInMemory([](BackupWriter& w) {
        SetItem s;
        s.name = u"S";
        w.beginSet(s);
        for (int i = 0; i < 5; ++i) {
            w.file(fileOf(u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                          Content::random(3000, static_cast<std::uint64_t>(i))));
        }
    });
}

bool dataMatches(const std::vector<std::uint8_t>& bytes, const ManifestEntry& e) {
    return e.dataOffset + e.size <= bytes.size() &&
           hashBytes(std::span(bytes).subspan(static_cast<std::size_t>(e.dataOffset),
                                              static_cast<std::size_t>(e.size))) == e.hash;
}

TEST(DamageOnBackups, TheManifestSaysWhatTheReadersFind) {
    const Built b = fiveFiles();
    const auto& m = b.manifest;
    struct Case {
        Damage damage;
        std::vector<bool> listed;  // per file: FILE block still found where the manifest says
        std::vector<bool> intact;  // per file: data at the data offset still hashes right
    };
    const std::vector<Case> cases = {
        {{DamageKind::Wipe, m[2].blockOffset, 512}, {1, 1, 0, 1, 1}, {1, 1, 0, 1, 1}},
        {{DamageKind::Randomise, m[1].dataOffset + 100, 50, 1}, {1, 1, 1, 1, 1}, {1, 0, 1, 1, 1}},
        {{DamageKind::Wipe, m[3].streamHeaderOffset(), 4}, {1, 1, 1, 0, 1}, {1, 1, 1, 1, 1}},
        {{DamageKind::Insert, m[2].blockOffset, 100}, {1, 1, 0, 0, 0}, {1, 1, 1, 1, 1}},
        {{DamageKind::Insert, m[2].blockOffset - 8, 1024}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}},
        {{DamageKind::Insert, m[0].dataOffset + 1, 512}, {1, 1, 1, 1, 1}, {0, 1, 1, 1, 1}},
        {{DamageKind::Delete, m[1].blockOffset - 100, 100}, {1, 0, 0, 0, 0}, {1, 1, 1, 1, 1}},
        {{DamageKind::Delete, m[1].dataOffset + 3000, 512}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}},
        // Cut within the data; the slot of the FILE block is no longer whole either.
        {{DamageKind::Truncate, m[3].dataOffset + 10}, {1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}},
        {{DamageKind::Truncate, m[3].blockOffset + 512}, {1, 1, 1, 1, 0}, {1, 1, 1, 0, 0}},
        {{DamageKind::Truncate, m[3].dataOffset - 1}, {1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.damage));
        auto bytes = b.bytes;
        damageBytes(bytes, c.damage);
        Manifest after = m;
        applyDamage(after, c.damage, b.bytes.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const auto& e = after[i];
            // As the scanner goes through a backup shorter than a chunk: a FILE
            // block in a whole slot of the grid, its STAN header whole within 512 bytes.
            const bool onGrid = e.blockOffset % 512 == 0 && e.blockOffset + 512 <= bytes.size();
            const bool isFile =
                onGrid && identifyBlock(at(bytes, e.blockOffset)) == static_cast<int>(TapeBlockId::File);
            const auto stan = isFile ? findStreamHeader(at(bytes, e.blockOffset), 512) : std::nullopt;
            const bool listed = stan && e.blockOffset + *stan == e.streamHeaderOffset() && e.dataOffset <= bytes.size();
            EXPECT_EQ(listed, c.listed[i]) << "file " << i << " by the readers";
            EXPECT_EQ(e.expectedOnSlots(), c.listed[i]) << "file " << i << " by the manifest: " << noteWords(e.notes);
            EXPECT_EQ(dataMatches(bytes, e), c.intact[i]) << "file " << i << " by its data";
            EXPECT_EQ(e.intact() && e.expectedOnSlots(), c.listed[i] && c.intact[i])
                << "file " << i << " by the manifest";
        }
    }
}

TEST(DamageOnBackups, ShiftsThatCancelOutPutFilesBackOnTheGrid) {
    const Built b = fiveFiles();
    Manifest m = b.manifest;
    applyDamage(m, {DamageKind::Insert, 0, 100}, b.bytes.size());
    EXPECT_FALSE(m[4].expectedOnSlots());
    EXPECT_TRUE(m[4].expected());
    applyDamage(m, {DamageKind::Delete, 0, 100}, b.bytes.size() + 100);
    EXPECT_EQ(m, b.manifest);
}

// Free space lost to a file made of a 1 GiB hole says whether holes are kept.
bool temporaryFolderKeepsHoles(const std::filesystem::path& dir) {
    const auto before = std::filesystem::space(dir).available;
    if (before < (2ULL << 30)) return false;
    {
        FileSink probe(dir / "probe.bin");
        probe.skipZeros(1ULL << 30);
        probe.write(std::vector<std::uint8_t>{1});
        probe.close();
    }
    const auto after = std::filesystem::space(dir).available;
    std::filesystem::remove(dir / "probe.bin");
    return before < after || before - after < (256ULL << 20);
}

TEST(LargeBackups, SizesAndOffsetsBeyond4GiB) {
    TempDir dir;
    if (!temporaryFolderKeepsHoles(dir.path())) GTEST_SKIP() << "the temporary folder keeps no sparse files";
    const auto path = dir / "big.bkf";
    constexpr std::uint64_t kBig = (5ULL << 30) + 3;
    Manifest m;
    {
        FileSink sink(path);
        BackupWriter w(sink);
        SetItem s;
        s.name = u"Big";
        w.beginSet(s);
        w.file(fileOf(u"huge.bin", Content::zeros(kBig)));
        w.file(fileOf(u"after.txt", Content::text("beyond four gibibytes")));
        w.finish();
        m = w.manifest();
        sink.close();
    }
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].size, kBig);
    EXPECT_EQ(m[0].hash, hashZeros(kBig));
    EXPECT_GT(m[1].dataOffset, 4ULL << 30);

    // The headers, as read from the file.
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> head(1024);
    in.seekg(static_cast<std::streamoff>(m[0].blockOffset));
    in.read(reinterpret_cast<char*>(head.data()), 1024);
    EXPECT_EQ(u64At(head, mtf::kDisplayableSize), kBig);
    const auto stan = findStreamHeader(ByteSpan(head), 1024);
    ASSERT_TRUE(stan.has_value());
    EXPECT_EQ(u64At(head, *stan + mtf::kStreamLength), kBig);
    in.seekg(static_cast<std::streamoff>(m[1].blockOffset));
    in.read(reinterpret_cast<char*>(head.data()), 1024);
    EXPECT_EQ(identifyBlock(ByteSpan(head)), static_cast<int>(TapeBlockId::File));
    EXPECT_EQ(u64At(head, mtf::kFormatLogicalAddress), m[1].blockOffset / 1024);
    in.close();
    EXPECT_EQ(hashFileRange(path, m[1].dataOffset, m[1].size), m[1].hash);

    // Damage far out in the file moves only what lies behind it.
    const auto size = std::filesystem::file_size(path);
    damageFile(path, {DamageKind::Insert, m[1].blockOffset, 512});
    applyDamage(m, {DamageKind::Insert, m[1].blockOffset, 512}, size);
    EXPECT_EQ(hashFileRange(path, m[1].dataOffset, m[1].size), m[1].hash);
    EXPECT_TRUE(m[1].expected());
}

}  // namespace
}  // namespace bkf::test
