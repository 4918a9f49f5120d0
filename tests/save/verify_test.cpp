// The verdict each saved entry gets from the checksum stream behind its data.
#include "save/verify.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/tape_format.h"
#include "save/extract.h"
#include "save/passing_verify.h"
#include "tests/engine/scan_fixture.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/sink.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;
using tools::Content;

struct Built {
    std::vector<std::uint8_t> bytes;
    tools::Manifest manifest;
};

// Files of 0 to 7 bytes (every padding of the last word), then larger ones.
Built backupOfSizes() {
    tools::MemorySink sink;
    tools::BackupWriter w(sink);
    w.beginSet({.name = u"V"});
    for (std::uint64_t size : {0, 1, 2, 3, 4, 5, 6, 7, 1000, 300001}) {
        w.file({.name = u"s" + std::u16string(1, u'a' + static_cast<char16_t>(size % 26)) + u".bin",
                .content = Content::random(size, size + 1)});
    }
    w.finish();
    return {std::move(sink.bytes()), w.takeManifest()};
}

ExtractItem itemOf(const tools::ManifestEntry& e, std::int64_t size = -1) {
    return {e.displayPath,
            size < 0 ? static_cast<std::int64_t>(e.size) : size,
            static_cast<std::int64_t>(e.dataOffset),
            e.modified,
            e.accessed,
            e.created};
}

EntryReport extractOne(const std::vector<std::uint8_t>& bytes, const ExtractItem& item, const test::TempDir& dir) {
    MemoryByteSource source(bytes);
    struct Last : ExtractObserver {
        EntryReport report;
        void entryFinished(const EntryReport& r) override { report = r; }
    } last;
    const auto target = dir / ("out" + std::to_string(std::rand()));
    fs::create_directory(target);
    extractEntries(source, std::span(&item, 1), {target, u"Rec"}, &last);
    return last.report;
}

TEST(Verify, EachSavedEntryGetsItsVerdict) {
    const Built b = backupOfSizes();
    test::TempDir dir;
    struct Case {
        std::string what;
        std::size_t file;
        std::function<void(std::vector<std::uint8_t>&, const tools::ManifestEntry&)> damage;
        EntryResult result;
        ChecksumVerdict verdict;
    };
    std::vector<Case> cases;
    for (std::size_t i = 0; i < b.manifest.size(); ++i) {
        const auto size = b.manifest[i].size;
        cases.push_back(
            {"intact, " + std::to_string(size) + " bytes", i, nullptr, EntryResult::Saved, ChecksumVerdict::Verified});
        if (size == 0) continue;
        // One flipped bit in the first byte, the middle and the last (in the padded last word).
        for (const std::uint64_t at : {std::uint64_t{0}, size / 2, size - 1}) {
            cases.push_back({"bit flipped at " + std::to_string(at) + " of " + std::to_string(size), i,
                             [at](auto& bytes, const auto& e) { bytes[e.dataOffset + at] ^= 0x10; }, EntryResult::Saved,
                             ChecksumVerdict::Mismatch});
        }
    }
    const auto csumAt = [](const tools::ManifestEntry& e) { return (e.dataOffset + e.size + 3) / 4 * 4; };
    cases.push_back({"checksum stream wiped", 8,
                     [&](auto& bytes, const auto& e) { std::fill_n(&bytes[csumAt(e)], 26, 0); }, EntryResult::Saved,
                     ChecksumVerdict::None});
    cases.push_back({"checksum stream header damaged", 8,
                     [&](auto& bytes, const auto& e) { bytes[csumAt(e) + 9] ^= 1; }, EntryResult::Saved,
                     ChecksumVerdict::None});
    cases.push_back({"checksum value damaged", 8, [&](auto& bytes, const auto& e) { bytes[csumAt(e) + 23] ^= 1; },
                     EntryResult::Saved, ChecksumVerdict::Mismatch});
    cases.push_back({"stream header in front of the data damaged", 8,
                     [](auto& bytes, const auto& e) { bytes[e.dataOffset - 22 + 12] ^= 1; }, EntryResult::Failed,
                     ChecksumVerdict::None});
    cases.push_back({"data runs past the end of the backup", 9,
                     [](auto& bytes, const auto& e) { bytes.resize(e.dataOffset + 1000); }, EntryResult::Truncated,
                     ChecksumVerdict::None});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = b.bytes;
        if (c.damage) c.damage(bytes, b.manifest[c.file]);
        const EntryReport r = extractOne(bytes, itemOf(b.manifest[c.file]), dir);
        EXPECT_EQ(r.result, c.result) << r.reason;
        EXPECT_EQ(r.checksum, c.verdict);
        EXPECT_EQ(r.writtenAs.empty(), c.result == EntryResult::Failed);
    }
}

TEST(Verify, ADataOffsetThatFollowsNoStreamHeaderWritesNothing) {
    const Built b = backupOfSizes();
    test::TempDir dir;
    ExtractItem item = itemOf(b.manifest[8]);
    item.dataOffset += 4;
    const EntryReport r = extractOne(b.bytes, item, dir);
    EXPECT_EQ(r.result, EntryResult::Failed);
    EXPECT_EQ(r.reason, kWrongPlaceReason);
    EXPECT_TRUE(r.writtenAs.empty());
}

TEST(Verify, AFileMovedByInsertedBytesIsStillVerified) {
    const Built b = backupOfSizes();
    test::TempDir dir;
    for (const std::uint64_t shift : {1, 2, 3, 333}) {
        auto bytes = b.bytes;
        auto manifest = b.manifest;
        const tools::Damage insert{tools::DamageKind::Insert, 0, shift, shift};
        tools::damageBytes(bytes, insert);
        tools::applyDamage(manifest, insert, b.bytes.size());
        for (const std::size_t file : {std::size_t{3}, std::size_t{9}}) {
            EXPECT_EQ(extractOne(bytes, itemOf(manifest[file]), dir).checksum, ChecksumVerdict::Verified)
                << "moved " << shift << ", file " << file;
        }
    }
}

TEST(Verify, CheckingInTheScansPassGivesWhatCheckingAfterwardsGives) {
    const Built b = backupOfSizes();
    std::mt19937_64 rng(17);
    std::map<std::pair<EntryResult, ChecksumVerdict>, int> seen;
    for (int round = 0; round < 60; ++round) {
        auto bytes = b.bytes;
        // Now and then a stream header hit past its identifier, a few random
        // hits, now and then a shift or a cut.
        if (round % 5 == 0) bytes[b.manifest[rng() % b.manifest.size()].dataOffset - 18 + rng() % 18] ^= 0x40;
        for (int i = 0; i < 3; ++i) {
            const std::uint64_t at = rng() % bytes.size();
            tools::damageBytes(bytes, {tools::DamageKind::Randomise, at,
                                       std::min<std::uint64_t>(1 + rng() % 40, bytes.size() - at), rng()});
        }
        if (round % 3 == 0)
            tools::damageBytes(bytes, {tools::DamageKind::Insert, rng() % bytes.size(), 1 + rng() % 9, rng()});
        if (round % 4 == 0) tools::damageBytes(bytes, {tools::DamageKind::Truncate, bytes.size() - rng() % 300000, 0});

        PassingVerifier passing;
        Catalogue catalogue;
        test::CatalogueSink sink(catalogue);
        MemoryByteSource source(bytes);
        std::atomic<bool> running{true};
        scanBackupFile(source, sink, running, nullptr, nullptr, {.tap = &passing});
        std::vector<RowIndex> rows(catalogue.table().rowCount());
        for (RowIndex r = 0; r < rows.size(); ++r) rows[r] = r;
        struct All : ExtractObserver {
            std::vector<EntryReport> reports;
            void entryFinished(const EntryReport& r) override { reports.push_back(r); }
        } afterwards;
        verifyEntries(source, extractItems(catalogue.table(), rows), &afterwards);
        ASSERT_EQ(passing.reports().size(), afterwards.reports.size()) << round;
        for (std::size_t i = 0; i < afterwards.reports.size(); ++i) {
            const EntryReport &x = passing.reports()[i], &y = afterwards.reports[i];
            EXPECT_EQ(x.displayPath, y.displayPath) << round;
            EXPECT_EQ(x.result, y.result) << round << " " << i << " " << y.reason << " / " << x.reason;
            EXPECT_EQ(x.checksum, y.checksum) << round << " " << i;
            ++seen[{y.result, y.checksum}];
        }
    }
    // The rounds met every verdict.
    EXPECT_GT((seen[{EntryResult::Saved, ChecksumVerdict::Mismatch}]), 0);
    EXPECT_GT((seen[{EntryResult::Saved, ChecksumVerdict::None}]), 0);
    EXPECT_GT((seen[{EntryResult::Truncated, ChecksumVerdict::None}]), 0);
    EXPECT_GT((seen[{EntryResult::Failed, ChecksumVerdict::None}]), 0);
}

TEST(Verify, TheChecksumIsTheSameWhateverPiecesTheDataComesIn) {
    std::mt19937_64 rng(5);
    std::vector<std::uint8_t> data(10007);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(rng());
    for (const std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{9}, data.size()}) {
        DataChecksum whole;
        whole.add(std::span(data).first(size));
        // The XOR of the little-endian words, the last one padded.
        std::uint32_t expected = 0;
        for (std::size_t i = 0; i < size; ++i) expected ^= static_cast<std::uint32_t>(data[i]) << (8 * (i % 4));
        EXPECT_EQ(whole.value(), expected) << size;
        DataChecksum pieces;
        for (std::size_t at = 0; at < size;) {
            const std::size_t n = std::min<std::size_t>(size - at, rng() % 13);
            pieces.add(std::span(data).subspan(at, n));
            at += n;
        }
        EXPECT_EQ(pieces.value(), expected) << size;
    }
}

}  // namespace
}  // namespace bkf
