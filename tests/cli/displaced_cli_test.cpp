#include <gtest/gtest.h>

#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/sink.h"

namespace bkf {
namespace {

TEST(CliDisplacedBlocks, AHeaderPutInFrontOfTheBackupCostsNothingUnlessTheScanKeepsToTheSlots) {
    test::TempDir dir;
    const auto backup = dir / "moved.bkf";
    tools::Manifest manifest;
    {
        tools::FileSink sink(backup);
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Moved"});
        for (int i = 0; i < 5; ++i) {
            w.file({.name = u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                    .content = tools::Content::random(7000, i)});
        }
        w.finish();
        sink.close();
        manifest = w.takeManifest();
    }
    tools::damageFile(backup, {tools::DamageKind::Insert, 0, 333, 1});
    const auto run = [&](std::vector<std::string> args) { return test::runTool(TARVIK_PATH, args, dir.path()); };

    const auto listed = run({"list", "moved.bkf", "--format", "tsv"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("f4"), std::string::npos);
    EXPECT_EQ(run({"list", "--aligned-only", "moved.bkf"}).status, 1);

    ASSERT_EQ(run({"extract", "moved.bkf", "out"}).status, 0);
    for (const auto& e : manifest) {
        const std::string name = "f" + std::string(1, static_cast<char>(e.displayPath.back()));
        const std::string bytes = test::readFileBytes(dir / "out" / "Rec1" / "BACKUP SET 1(Moved)" / name);
        EXPECT_EQ(tools::hashBytes(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())),
                  e.hash)
            << name;
    }
}

}  // namespace
}  // namespace bkf
