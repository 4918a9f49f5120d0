// The mkbkf script, the generator, the command itself and the bundled sample.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "tests/fixtures/temp_dir.h"
#include "tests/tools/walk.h"
#include "tools/script.h"
#include "tools/tape_date.h"

namespace bkf::test {
namespace {

using namespace bkf::tools;

struct ScriptBuild {
    std::vector<std::uint8_t> bytes;
    BuildResult result;
};

ScriptBuild build(const std::string& text, WriterOptions options = {}, bool blockSizeFromCaller = false) {
    ScriptBuild b;
    b.result = buildBackupInMemory(parseScript(text), b.bytes, options, blockSizeFromCaller);
    return b;
}

const BlockRecord& firstFile(const BuildResult& r) {
    for (const auto& b : r.blocks) {
        if (b.kind == TapeBlockId::File) return b;
    }
    throw std::runtime_error("no FILE block");
}

TEST(ScriptErrors, NameTheLineAndTheFault) {
    struct Case {
        std::string text;
        std::size_t line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"bogus", 1, "unknown statement 'bogus'"},
        {"# fine\n\nfile", 3, "file needs a name"},
        {"file \"a\" size=x", 1, "bad size=x"},
        {"file \"a\" text=\"x\" size=3", 1, "size=3 but the content has 1 bytes"},
        {"file \"a\" zeros", 1, "need size="},
        {"file \"a\" text=\"x\" seed=4", 1, "only one of"},
        {"file \"a\" slot=128", 1, "bad slot=128"},
        {"file \"a\" colour=red", 1, "unknown item colour="},
        {"file \"a\" mtime=2008-02-30", 1, "bad date mtime="},
        {"file \"a\" \"b\"", 1, "too many values"},
        {"file \"unterminated", 1, "quote not closed"},
        {"dir \"a\" extra", 1, "unknown word 'extra'"},
        {"set \"a\"\nblocksize 512", 2, "before the first block"},
        {"blocksize 2048", 1, "512 or 1024"},
        {"endset now", 1, "endset takes nothing"},
        {"damage wipe 10", 1, "needs an offset and a length"},
        {"damage truncate 1 2", 1, "needs just a length"},
        {"damage explode 1 2", 1, "unknown damage 'explode'"},
        {"damage wipe @m.body 1", 1, "unknown part '.body'"},
        {"damage delete 1 2 seed=3", 1, "seed= only goes with"},
        {"file \"x\" name\\u{110000}", 1, "unknown word"},
        {"file \"\\u{110000}\"", 1, "beyond U+10FFFF"},
        // Faults found while writing.
        {"file \"a\"\ndamage wipe @nomark 512", 2, "no file has mark=nomark"},
        {"file \"a\" mark=x\nfile \"b\" mark=x", 2, "mark=x used twice"},
        {"\nfile \"a\" stan=101", 2, "not a multiple of 4"},
        {"file \"a\" mark=m\ndamage wipe @m-99999 1", 2, "before the start"},
    };
    for (const Case& c : cases) {
        try {
            build(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ScriptError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(ScriptValues, EscapesNumbersAndDates) {
    const auto b = build(
        "file \"a\\\\b\\\"c\\0d\\u{1F600}e\\Sub\\n\\t\" size=4K\n"
        "file plain.txt hex=00FF10 mtime=2008-06-09 atime=0 # comment\n");
    const auto& m = b.result.manifest;
    ASSERT_EQ(m.size(), 2u);
    const auto& file = firstFile(b.result);
    const auto name =
        readTapeName(at(b.bytes, file.offset), *readTapeAddress(at(b.bytes, file.offset), mtf::kFileNameSize));
    EXPECT_EQ(name, u"a\\b\"c\\d\U0001F600e\\Sub\n\t");
    EXPECT_EQ(m[0].size, 4096u);
    EXPECT_EQ(m[1].size, 3u);
    EXPECT_EQ(m[1].hash, hashBytes(std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
    EXPECT_EQ(m[1].modified, *parseDateTime("2008-06-09T00:00:00"));
    EXPECT_EQ(m[1].accessed, 0u);
    EXPECT_EQ(m[1].created, kDefaultTime);
    for (const auto& [text, value] : std::vector<std::pair<std::string, std::uint64_t>>{
             {"0", 0}, {"123", 123}, {"0x7B", 123}, {"4k", 4096}, {"3M", 3u << 20}, {"5G", 5ULL << 30}}) {
        EXPECT_EQ(parseSize(text), value) << text;
    }
    for (const char* bad : {"", "x", "0x", "12Q", "-1", "1.5K", "99999999999999999999"}) {
        EXPECT_FALSE(parseSize(bad).has_value()) << bad;
    }
}

TEST(ScriptStatements, ShapeTheBackupAsDocumented) {
    // blocksize, notape, sets without VOLB/root folder, raw folder names.
    const auto b = build(
        "blocksize 512\nnotape\nset \"S\" novolume noroot\ndir \"Data\\Sub\"\n"
        "dir \"a/b\\0\" raw\nfile \"f\"\nendset\n");
    std::vector<TapeBlockId> kinds;
    for (const auto& r : b.result.blocks) kinds.push_back(r.kind);
    EXPECT_EQ(kinds, (std::vector<TapeBlockId>{TapeBlockId::Sset, TapeBlockId::Dirb, TapeBlockId::Dirb,
                                               TapeBlockId::File, TapeBlockId::Eset}));
    EXPECT_EQ(b.bytes.size() % 512, 0u);
    EXPECT_EQ(b.result.blocks[1].offset, 512u);
    const auto dirName = [&](std::size_t i) {
        const auto block = at(b.bytes, b.result.blocks[i].offset);
        return *readTapeName(block, *readTapeAddress(block, mtf::kDirbNameSize));
    };
    EXPECT_EQ(dirName(1), u"Data\\Sub\\");
    EXPECT_EQ(dirName(2), u"a/b\\");
    EXPECT_EQ(b.result.manifest[0].displayPath, u"BKF\\BACKUP SET 1(S)\\lost dir0\\f");

    // The caller's block size wins when it says so.
    const auto overridden = build("blocksize 512\nfile \"f\"\n", {.blockSize = 1024}, true);
    EXPECT_EQ(u16At(overridden.bytes, mtf::kTapeFormatBlockSize), 1024);
}

TEST(ScriptStatements, ContentSeedsAndMarks) {
    const auto b = build(
        "file \"a\" size=100\nfile \"b\" size=100\nfile \"c\" size=100 seed=1\n"
        "file \"z\" size=3M zeros mark=big\nfile \"t\" text=\"hello\" mark=t\n"
        "damage wipe @t.data+1 3\n");
    const auto& m = b.result.manifest;
    EXPECT_NE(m[0].hash, m[1].hash);  // the default seed is the file's number
    EXPECT_EQ(m[0].hash, m[2].hash);
    EXPECT_EQ(m[3].hash, hashZeros(3u << 20));
    EXPECT_EQ(b.result.damage.at(0).offset, m[4].dataOffset + 1);
    EXPECT_EQ(std::string(b.bytes.begin() + static_cast<std::ptrdiff_t>(m[4].dataOffset),
                          b.bytes.begin() + static_cast<std::ptrdiff_t>(m[4].dataOffset) + 5),
              std::string("h\0\0\0o", 5));
    EXPECT_TRUE(m[4].expected());
    EXPECT_FALSE(m[4].intact());
    EXPECT_TRUE(m[3].intact());
}

TEST(Generator, OptionsParseOrNameTheBadItem) {
    const auto o = parseGenerateOptions("files=1000,size=4K,sets=3,dirs=0,seed=9,content=zeros");
    EXPECT_EQ(o.files, 1000u);
    EXPECT_EQ(o.size, 4096u);
    EXPECT_EQ(o.sets, 3u);
    EXPECT_EQ(o.dirs, 0u);
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(o.content, Content::Kind::Zeros);
    for (const char* bad : {"files", "files=x", "colour=red", "sets=0", "content=ones"}) {
        EXPECT_THROW(parseGenerateOptions(bad), std::invalid_argument) << bad;
    }
}

TEST(Generator, SpreadsFilesEvenlyOverSetsAndFolders) {
    GenerateOptions o;
    o.files = 10;
    o.size = 700;
    o.sets = 2;
    o.dirs = 3;
    const Built b = buildInMemory([&](BackupWriter& w) { generate(w, o); });
    ASSERT_EQ(b.manifest.size(), 10u);
    std::map<std::u16string, int> perFolder;
    for (const auto& e : b.manifest) {
        EXPECT_TRUE(e.intact());
        EXPECT_EQ(e.size, 700u);
        EXPECT_EQ(hashBytes(std::span(b.bytes).subspan(e.dataOffset, e.size)), e.hash);
        perFolder[e.displayPath.substr(0, e.displayPath.rfind(u'\\'))]++;
    }
    EXPECT_EQ(perFolder, (std::map<std::u16string, int>{{u"BKF\\BACKUP SET 1(Generated set 1)\\folder001", 1},
                                                        {u"BKF\\BACKUP SET 1(Generated set 1)\\folder002", 2},
                                                        {u"BKF\\BACKUP SET 1(Generated set 1)\\folder003", 2},
                                                        {u"BKF\\BACKUP SET 2(Generated set 2)\\folder001", 1},
                                                        {u"BKF\\BACKUP SET 2(Generated set 2)\\folder002", 2},
                                                        {u"BKF\\BACKUP SET 2(Generated set 2)\\folder003", 2}}));
}

int run(const std::string& arguments) {
    const std::string command = std::string("\"") + BKF_MKBKF_PATH + "\" " + arguments + " > " +
                                (std::filesystem::temp_directory_path() / "mkbkf-test.out").string() + " 2>&1";
    const int status = std::system(command.c_str());
#ifdef _WIN32
    return status;
#else
    return (status >> 8) & 0xFF;  // the exit code within the wait status
#endif
}

TEST(Command, ExitCodesAndDamageWithItsManifest) {
    TempDir dir;
    const std::string out = (dir / "c.bkf").string();
    const std::string tsv = (dir / "c.tsv").string();
    std::ofstream(dir / "s.mkbkf") << "set \"S\"\nfile \"a.txt\" text=\"abc\"\nfile \"b.txt\" size=2000\n";
    std::ofstream(dir / "bad.mkbkf") << "file\n";
    const std::string script = (dir / "s.mkbkf").string();

    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run(""), 64);
    EXPECT_EQ(run(out + " --block-size 4096"), 64);
    EXPECT_EQ(run(out + " --frobnicate"), 64);
    EXPECT_EQ(run(out + " --script " + script + " --generate files=1"), 64);
    EXPECT_EQ(run(out + " --generate files=x"), 64);
    EXPECT_EQ(run(out + " --script " + (dir / "bad.mkbkf").string()), 65);
    EXPECT_EQ(run(out + " --script " + (dir / "none.mkbkf").string()), 74);
    EXPECT_EQ(run("damage " + out + " wipe 1"), 64);

    ASSERT_EQ(run(out + " --script " + script + " --manifest " + tsv + " --block-size 512"), 0);
    const Manifest before = readManifestTsv(std::filesystem::path(tsv));
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(hashFileRange(out, before[1].dataOffset, before[1].size), before[1].hash);
    EXPECT_EQ(
        run("damage " + out + " insert " + std::to_string(before[1].blockOffset) + " 100 --seed 3 --manifest " + tsv),
        0);
    const Manifest after = readManifestTsv(std::filesystem::path(tsv));
    EXPECT_EQ(after[1].dataOffset, before[1].dataOffset + 100);
    EXPECT_FALSE(after[1].expectedOnSlots());
    EXPECT_TRUE(after[1].expected());
    EXPECT_EQ(hashFileRange(out, after[1].dataOffset, after[1].size), after[1].hash);
    EXPECT_EQ(run("damage " + out + " truncate 999999999"), 65);

    ASSERT_EQ(run(out + " --generate files=20,size=3000,sets=2,dirs=2 --manifest " + tsv), 0);
    EXPECT_EQ(readManifestTsv(std::filesystem::path(tsv)).size(), 20u);
}

TEST(Sample, IsWhatItsScriptMakesAndHoldsWhatItsManifestSays) {
    const std::filesystem::path samples = BKF_SAMPLES_DIR;
    const std::string stored = readFileBytes(samples / "sample.bkf");
    ASSERT_FALSE(stored.empty());
    std::vector<std::uint8_t> bytes;
    const BuildResult r = buildBackupInMemory(readScriptFile(samples / "sample.mkbkf"), bytes);
    ASSERT_EQ(std::string(bytes.begin(), bytes.end()), stored) << "samples/sample.bkf is out of date";
    EXPECT_EQ(r.manifest, readManifestTsv(samples / "sample.manifest.tsv"));

    EXPECT_GT(bytes.size(), 65536u);
    EXPECT_LT(bytes.size(), 200u * 1024);
    int lost = 0;
    for (const auto& e : r.manifest) {
        const bool found = identifyBlock(at(bytes, e.blockOffset)) == static_cast<int>(TapeBlockId::File);
        EXPECT_EQ(found, e.expected());
        if (e.expected()) {
            EXPECT_EQ(hashBytes(std::span(bytes).subspan(e.dataOffset, e.size)), e.hash);
        }
        lost += e.expected() ? 0 : 1;
    }
    EXPECT_EQ(lost, 1);
}

}  // namespace
}  // namespace bkf::test
