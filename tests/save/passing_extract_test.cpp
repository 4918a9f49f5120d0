// Saving in the scan's own pass against saving after the scan: the same tree.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "save/extract.h"
#include "tests/engine/scan_fixture.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/damage_patterns.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;
using tools::Content;

struct Saved {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;  // relative path -> bytes, time
    std::vector<std::string> verdicts;                                        // path and verdict, in order
    std::size_t saved = 0, failed = 0, truncated = 0;
};

struct Recorder final : ExtractObserver {
    std::vector<std::string> verdicts;
    void entryFinished(const EntryReport& r) override {
        verdicts.push_back(utf16ToUtf8(r.displayPath) + " " + std::to_string(static_cast<int>(r.result)) + " " +
                           std::to_string(static_cast<int>(r.checksum)));
    }
};

Saved look(const ExtractSummary& s, const Recorder& r) {
    Saved out;
    if (fs::exists(s.root)) {
        for (const auto& e : fs::recursive_directory_iterator(s.root)) {
            if (e.is_regular_file()) {
                out.files[fs::relative(e.path(), s.root).string()] = {test::readFileBytes(e.path()),
                                                                      e.last_write_time()};
            }
        }
    }
    out.verdicts = r.verdicts;
    out.saved = s.saved, out.failed = s.failed, out.truncated = s.truncated;
    return out;
}

Saved savedAfterTheScan(const std::vector<std::uint8_t>& bytes, const fs::path& dest) {
    const auto r = test::scanBytes(bytes);
    std::vector<RowIndex> rows(r->catalogue.table().rowCount());
    for (RowIndex i = 0; i < rows.size(); ++i) rows[i] = i;
    MemoryByteSource source(bytes);
    Recorder recorder;
    const ExtractSummary s =
        extractEntries(source, extractItems(r->catalogue.table(), rows), {dest, u"Rec"}, &recorder);
    return look(s, recorder);
}

// Counts the bytes read through it.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(ByteSource& inner) : inner_(inner) {}
    std::uint64_t size() const override { return inner_.size(); }
    ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        const ReadResult got = inner_.read(offset, out);
        bytes += got.bytes;
        return got;
    }
    std::atomic<std::uint64_t> bytes{0};

private:
    ByteSource& inner_;
};

Saved savedInTheScan(const std::vector<std::uint8_t>& bytes, const fs::path& dest) {
    Recorder recorder;
    PassingExtractor extractor({dest, u"Rec"}, {}, &recorder);
    Catalogue catalogue;
    test::CatalogueSink sink(catalogue);
    MemoryByteSource memory(bytes);
    CountingSource source(memory);
    std::atomic<bool> running{true};
    scanBackupFile(source, sink, running, nullptr, nullptr, {.tap = &extractor});
    EXPECT_EQ(source.bytes.load(), bytes.size()) << "the backup is read once";
    return look(extractor.finish(false), recorder);
}

std::vector<std::uint8_t> sampleBackup() {
    const std::string bytes = test::readFileBytes(fs::path(BKF_SAMPLES_DIR) / "sample.bkf");
    return {bytes.begin(), bytes.end()};
}

// The same path more than once: in one folder, in a folder block met again
// later, differing only in case, and a later copy of different length.
std::vector<std::uint8_t> duplicatePaths() {
    return test::buildBackup([](tools::BackupWriter& w) {
               w.beginSet({.name = u"Dup"});
               w.directory({.name = tools::folderName(u"A")});
               w.file({.name = u"x.txt", .content = Content::text("first copy")});
               w.file({.name = u"x.txt", .content = Content::random(70000, 3)});
               w.file({.name = u"X.TXT", .content = Content::text("upper case")});
               w.directory({.name = tools::folderName(u"B")});
               w.file({.name = u"y.bin", .content = Content::random(900, 4)});
               w.directory({.name = tools::folderName(u"A")});
               w.file({.name = u"x.txt", .content = Content::text("")});
               w.file({.name = u"y.bin", .content = Content::random(1200, 5)});
           })
        .bytes;
}

struct TreeCase {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

std::vector<TreeCase> treeCases() {
    std::vector<TreeCase> cases{{"the sample backup", sampleBackup()}, {"duplicate paths", duplicatePaths()}};
    // Each damage pattern of the damage benchmark, on a backup of a few MB.
    const tools::MixedBackup healthy = tools::makeMixedBackup(150, 42);
    for (const tools::DamagePattern& p : tools::damagePatterns()) {
        std::mt19937_64 rng(7919);
        auto bytes = healthy.bytes;
        auto manifest = healthy.manifest;
        p.apply(bytes, manifest, rng);
        cases.push_back({p.name, std::move(bytes)});
    }
    return cases;
}

TEST(PassingExtract, GivesTheSameTreeOnEveryKindOfBackup) {
    test::TempDir dir;
    int n = 0;
    for (const TreeCase& c : treeCases()) {
        SCOPED_TRACE(c.name);
        const auto one = dir / ("one" + std::to_string(n)), two = dir / ("two" + std::to_string(n));
        ++n;
        fs::create_directories(one);
        fs::create_directories(two);
        const Saved after = savedAfterTheScan(c.bytes, two);
        const Saved during = savedInTheScan(c.bytes, one);
        EXPECT_FALSE(after.files.empty());
        EXPECT_EQ(during.verdicts, after.verdicts);
        EXPECT_EQ(during.files, after.files);
        EXPECT_EQ(during.saved, after.saved);
        EXPECT_EQ(during.failed, after.failed);
        EXPECT_EQ(during.truncated, after.truncated);
    }
}

TEST(PassingExtract, GivesTheTreeASaveAfterTheScanGives) {
    // Files of many sizes in nested folders, two of one path, and a large one.
    const auto b = test::buildBackup([](tools::BackupWriter& w) {
        w.beginSet({.name = u"One"});
        w.directory({.name = tools::folderName(u"A/B")});
        for (int i = 0; i < 12; ++i) {
            tools::FileItem f{.name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i)),
                              .content = Content::random(static_cast<std::uint64_t>(i * 997), i)};
            f.modified = tools::kDefaultTime + static_cast<FileTime>(i) * 10000000;
            w.file(f);
        }
        w.file({.name = u"same.txt", .content = Content::text("first")});
        w.file({.name = u"same.txt", .content = Content::text("second")});
        w.directory({.name = tools::folderName(u"C")});
        w.file({.name = u"big.bin", .content = Content::random(300000, 7)});
        w.beginSet({.name = u"Two"});
        w.file({.name = u"late.txt", .content = Content::random(5000, 8)});
    });
    test::TempDir dir;
    std::mt19937_64 rng(23);
    std::size_t failed = 0, truncated = 0;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        auto bytes = b.bytes;
        if (round % 6 == 1) bytes[b.manifest[rng() % b.manifest.size()].dataOffset - 10] ^= 0x20;  // a stream header
        if (round > 0) {
            for (int i = 0; i < 3; ++i) {
                const std::uint64_t at = rng() % bytes.size();
                tools::damageBytes(bytes, {tools::DamageKind::Randomise, at,
                                           std::min<std::uint64_t>(1 + rng() % 30, bytes.size() - at), rng()});
            }
        }
        if (round % 3 == 2)
            tools::damageBytes(bytes, {tools::DamageKind::Insert, rng() % bytes.size(), 1 + rng() % 700, rng()});
        if (round % 4 == 3) tools::damageBytes(bytes, {tools::DamageKind::Truncate, bytes.size() - rng() % 200000, 0});
        const auto one = dir / ("one" + std::to_string(round)), two = dir / ("two" + std::to_string(round));
        fs::create_directories(one);
        fs::create_directories(two);
        const Saved after = savedAfterTheScan(bytes, two);
        const Saved during = savedInTheScan(bytes, one);
        EXPECT_EQ(during.verdicts, after.verdicts);
        EXPECT_EQ(during.files, after.files);
        EXPECT_EQ(during.saved + during.failed + during.truncated, after.saved + after.failed + after.truncated);
        if (round == 0) {
            EXPECT_EQ(after.files.size(), b.manifest.size());
        }
        failed += after.failed;
        truncated += after.truncated;
    }
    // The rounds met failed and truncated entries.
    EXPECT_GT(failed, 0u);
    EXPECT_GT(truncated, 0u);
}

}  // namespace
}  // namespace bkf
