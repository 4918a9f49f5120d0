// The content hash, the pseudo-random stream, the sinks and the manifest file.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/fixtures/temp_dir.h"
#include "tools/content.h"
#include "tools/manifest.h"
#include "tools/sink.h"

namespace bkf::test {
namespace {

using namespace bkf::tools;

TEST(ContentHash, IsFnv1a64) {
    // Published FNV-1a 64 test vectors.
    EXPECT_EQ(hashBytes(std::string_view("")), 0xcbf29ce484222325ULL);
    EXPECT_EQ(hashBytes(std::string_view("a")), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(hashBytes(std::string_view("foobar")), 0x85944171f73967e8ULL);
}

TEST(ContentHash, ZerosAndPiecesGiveTheSameHashAsTheWhole) {
    for (const std::uint64_t n : {0ULL, 1ULL, 7ULL, 8ULL, 4096ULL, 100001ULL}) {
        const std::vector<std::uint8_t> zeros(n, 0);
        EXPECT_EQ(hashZeros(n), hashBytes(zeros)) << n;
    }
    const auto data = Content::random(10000, 5).materialise();
    for (const std::size_t cut : {0u, 1u, 3u, 4999u, 10000u}) {
        ContentHasher h;
        h.update(std::span(data).first(cut));
        h.update(std::span(data).subspan(cut));
        EXPECT_EQ(h.value(), hashBytes(data)) << cut;
        EXPECT_EQ(h.bytesSeen(), data.size());
    }
    std::vector<std::uint8_t> mixed(data.begin(), data.begin() + 10);
    mixed.resize(5000, 0);
    ContentHasher h;
    h.update(std::span(data).first(10));
    h.updateZeros(4990);
    EXPECT_EQ(h.value(), hashBytes(mixed));
}

TEST(RandomStream, AnyPieceMatchesTheWholeStream) {
    std::vector<std::uint8_t> whole(200);
    fillRandom(42, 0, whole);
    for (const std::size_t offset : {0u, 1u, 7u, 8u, 13u, 100u}) {
        for (const std::size_t length : {0u, 1u, 9u, 64u}) {
            std::vector<std::uint8_t> piece(length);
            fillRandom(42, offset, piece);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), whole.begin() + static_cast<std::ptrdiff_t>(offset)))
                << offset << "+" << length;
        }
    }
    std::vector<std::uint8_t> other(200);
    fillRandom(43, 0, other);
    EXPECT_NE(whole, other);
    // Not a degenerate stream: every byte value turns up in 64 KiB of it.
    std::vector<std::uint8_t> big(65536);
    fillRandom(1, 0, big);
    std::vector<bool> seen(256);
    for (auto b : big) seen[b] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
}

TEST(ContentKinds, ReadHashAndSizeAgree) {
    const std::vector<Content> kinds = {Content(), Content::text("Grüße"), Content::bytes({0, 1, 2}),
                                        Content::random(3001, 9), Content::zeros(777)};
    for (const Content& c : kinds) {
        const auto all = c.materialise();
        ASSERT_EQ(all.size(), c.size());
        EXPECT_EQ(c.hash(), hashBytes(all));
        if (c.size() > 10) {
            std::vector<std::uint8_t> part(7);
            c.read(3, part);
            EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + 3));
        }
        std::vector<std::uint8_t> past(1);
        EXPECT_THROW(c.read(c.size(), past), std::out_of_range);
    }
    EXPECT_EQ(Content::text("Grüße").size(), 7u);
}

TEST(Sinks, FileAndMemoryHoldTheSameBytesIncludingSkippedRuns) {
    TempDir dir;
    const auto path = dir / "sink.bin";
    MemorySink memory;
    {
        FileSink file(path, 4096);
        for (ByteSink* sink : {static_cast<ByteSink*>(&memory), static_cast<ByteSink*>(&file)}) {
            const std::vector<std::uint8_t> a(5000, 0xAB);
            sink->write(a);
            sink->skipZeros(10);
            sink->write(std::vector<std::uint8_t>{1, 2, 3});
            sink->skipZeros(3u << 20);  // seeked over
            sink->write(std::vector<std::uint8_t>{4});
            sink->skipZeros(2u << 20);  // the file ends in a hole
        }
        EXPECT_EQ(file.position(), memory.position());
        file.close();
    }
    const std::string onDisk = readFileBytes(path);
    ASSERT_EQ(onDisk.size(), memory.bytes().size());
    EXPECT_TRUE(std::equal(onDisk.begin(), onDisk.end(), memory.bytes().begin(),
                           [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }));
    EXPECT_EQ(hashFileRange(path, 5010, 3), hashBytes(std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_THROW(hashFileRange(path, onDisk.size() - 2, 3), std::runtime_error);
}

Manifest oddManifest() {
    Manifest m(4);
    m[0].displayPath = u"BKF\\BACKUP SET 1(Daily)\\Data\\Übersicht.txt";
    m[0].size = 12;
    m[0].dataOffset = 5394;
    m[0].modified = 128575193550000000ULL;
    m[0].hash = 0x782e1488cd5a68b7ULL;
    m[1].displayPath = u"tab\there%20new\nline\rcr";
    m[1].notes = kNoteNameRejected | kNoteDataDamaged;
    m[2].displayPath = std::u16string(u"lone \xD800 high, pair \U0001F600, lone \xDC00 low");
    m[2].size = 5ULL << 30;
    m[2].dataOffset = (5ULL << 30) + 12345;
    m[2].hash = ~0ULL;
    m[2].notes = kNoteDataDamaged;
    m[3].displayPath = u"";
    m[3].notes = kNotesThatLoseTheFile | kNoteDataDamaged;
    return m;
}

TEST(ManifestFile, RoundTripsEveryField) {
    const Manifest m = oddManifest();
    std::stringstream text;
    writeManifestTsv(text, m);
    EXPECT_NE(text.str().find("Übersicht.txt\t12\t5394\t128575193550000000\t0\t0\t782e1488cd5a68b7\t1\t1\t0\t-\n"),
              std::string::npos);
    EXPECT_NE(text.str().find("tab%09here%2520new%0Aline%0Dcr\t"), std::string::npos);
    EXPECT_EQ(readManifestTsv(text), m);

    TempDir dir;
    writeManifestTsv(dir / "m.tsv", m);
    EXPECT_EQ(readManifestTsv(dir / "m.tsv"), m);
}

TEST(ManifestFile, RefusesMalformedLinesNamingThem) {
    std::stringstream good;
    writeManifestTsv(good, oddManifest());
    const std::string header = good.str().substr(0, good.str().find('\n') + 1);
    const std::string row = "p\t1\t2\t3\t4\t5\t00ff\t1\t1\t9\t-\n";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "empty"},
        {"path\tsize\n", "line 1"},
        {header + row + "p\t1\t2\n", "line 3: 3 columns"},
        {header + "p\tx\t2\t3\t4\t5\t00ff\t1\t1\t9\t-\n", "line 2: bad size"},
        {header + "p\t1\t2\t3\t4\t5\tzz\t1\t1\t9\t-\n", "bad hash"},
        {header + "p\t1\t2\t3\t4\t5\t00ff\t0\t1\t9\t-\n", "flags disagree"},
        {header + "p\t1\t2\t3\t4\t5\t00ff\t1\t1\t9\tweird\n", "weird"},
        {header + "p%z1\t1\t2\t3\t4\t5\t00ff\t1\t1\t9\t-\n", "bad escape"},
    };
    for (const Case& c : cases) {
        std::stringstream in(c.text);
        try {
            readManifestTsv(in);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    std::stringstream crlf(header + "p\t1\t2\t3\t4\t5\t00ff\t1\t1\t9\t-\r\n");
    EXPECT_EQ(readManifestTsv(crlf).at(0).hash, 0xFFu);
}

}  // namespace
}  // namespace bkf::test
