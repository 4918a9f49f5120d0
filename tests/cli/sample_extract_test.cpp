// The bundled sample backup, saved whole by the command line, gives back
// every file its manifest lists: the same bytes, size and modification time,
// under the names the save makes safe, and nothing else.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "base/text.h"
#include "save/output_naming.h"
#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/content.h"
#include "tools/manifest.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;

FileTime modifiedOf(const fs::path& p) {
    const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(p));
    const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
        system.time_since_epoch());
    return static_cast<FileTime>(ticks.count() + kFileTimeUnixEpochSeconds * 10000000LL);
}

TEST(CliSample, ExtractRecoversTheSampleExactly) {
    test::TempDir dir;
    const fs::path samples = BKF_SAMPLES_DIR;
    const auto run = test::runTool(TARVIK_PATH, {"extract", (samples / "sample.bkf").string(), "out"}, dir.path(), 120);
    ASSERT_EQ(run.status, 0) << run.err;
    const tools::Manifest manifest = tools::readManifestTsv(samples / "sample.manifest.tsv");
    ASSERT_FALSE(manifest.empty());
    const fs::path root = dir / "out" / "Rec1";
    std::set<fs::path> expected;
    for (const auto& e : manifest) {
        if (!e.expected()) continue;
        fs::path p = root;
        for (auto c : outputComponents(e.displayPath)) p /= pathFromUtf16(safeName(c));
        SCOPED_TRACE(utf16ToUtf8(e.displayPath));
        ASSERT_TRUE(fs::is_regular_file(p));
        EXPECT_EQ(fs::file_size(p), e.size);
        EXPECT_EQ(tools::hashBytes(test::readFileBytes(p)), e.hash);
        if (e.modified != 0) {
            EXPECT_EQ(modifiedOf(p), e.modified);
        }
        expected.insert(p);
    }
    std::set<fs::path> found;
    for (const auto& f : fs::recursive_directory_iterator(root)) {
        if (f.is_regular_file()) found.insert(f.path());
    }
    EXPECT_EQ(found, expected);
    EXPECT_NE(
        run.err.find(std::to_string(expected.size()) + " saved: " + std::to_string(expected.size()) + " verified"),
        std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace bkf
