#include <gtest/gtest.h>

#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/sink.h"

namespace bkf {
namespace {

TEST(CliVerify, TellsWhichFilesTheBackupStillHoldsIntactAndWritesNothing) {
    test::TempDir dir;
    tools::Manifest manifest;
    {
        tools::FileSink sink(dir / "v.bkf");
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"V"});
        w.file({.name = u"good.bin", .content = tools::Content::random(5000, 1)});
        w.file({.name = u"hit.bin", .content = tools::Content::random(5000, 2)});
        w.finish();
        sink.close();
        manifest = w.takeManifest();
    }
    tools::damageFile(dir / "v.bkf", {tools::DamageKind::Randomise, manifest[1].dataOffset + 100, 8, 3});
    const auto run = [&](std::vector<std::string> args) { return test::runTool(TARVIK_PATH, args, dir.path()); };
    const auto v = run({"verify", "v.bkf", "--format", "tsv"});
    EXPECT_EQ(v.status, 3) << v.err;
    EXPECT_EQ(v.out,
              "BKF\\BACKUP SET 1(V)\\good.bin\tverified\t\nBKF\\BACKUP SET 1(V)\\hit.bin\tchecksum mismatch\t\n");
    EXPECT_NE(v.err.find("2 read whole: 1 verified, 1 checksum mismatch"), std::string::npos) << v.err;
    EXPECT_NE(v.err.find("in one pass over the backup"), std::string::npos) << v.err;
    EXPECT_EQ(run({"verify", "v.bkf", "--match", "*good*"}).status, 0);
    // From a snapshot, the chosen files' data is read afterwards: the same verdicts.
    ASSERT_EQ(run({"scan", "v.bkf", "-o", "v.ORMBKF"}).status, 0);
    EXPECT_EQ(run({"verify", "v.ORMBKF", "--format", "tsv"}).out, v.out);
    EXPECT_FALSE(std::filesystem::exists(dir / "Rec1"));

    // Saving writes the damaged file too, says so, and exits 3.
    const auto x = run({"extract", "v.bkf", "out"});
    EXPECT_EQ(x.status, 3);
#ifdef _WIN32
    const std::string written = "checksum mismatch\tout\\Rec1\\BACKUP SET 1(V)\\hit.bin";
#else
    const std::string written = "checksum mismatch\tout/Rec1/BACKUP SET 1(V)/hit.bin";
#endif
    EXPECT_NE(x.out.find(written), std::string::npos) << x.out;
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "Rec1" / "BACKUP SET 1(V)" / "hit.bin"));
}

}  // namespace
}  // namespace bkf
