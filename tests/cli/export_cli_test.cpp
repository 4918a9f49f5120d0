// tarvik export from the command line: a tar stream through a pipe, and the
// outputs it refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "base/text.h"
#include "save/output_naming.h"
#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/manifest.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;

test::ToolRun shell(const std::string& command, const fs::path& dir) {
    return test::runTool("/bin/sh", {"-c", command}, dir, 120);
}

TEST(CliExport, TheSampleThroughAPipeListsEveryFileUnderItsSavedName) {
    test::TempDir dir;
    const fs::path samples = BKF_SAMPLES_DIR;
    const auto run = shell(test::shellQuote(TARVIK_PATH) + " export " +
                               test::shellQuote((samples / "sample.bkf").string()) + " - | tar -tf -",
                           dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    std::set<std::string> listed;
    for (std::size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1) {
        listed.insert(run.out.substr(at, end - at));
    }
    std::set<std::string> expected;
    for (const auto& e : tools::readManifestTsv(samples / "sample.manifest.tsv")) {
        if (!e.expected()) continue;
        std::string path;
        for (auto c : outputComponents(e.displayPath)) path += (path.empty() ? "" : "/") + utf16ToUtf8(safeName(c));
        expected.insert(path);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_NE(
        run.err.find(std::to_string(expected.size()) + " stored: " + std::to_string(expected.size()) + " verified"),
        std::string::npos)
        << run.err;
}

TEST(CliExport, OutputsThatAreRefused) {
    test::TempDir dir;
    const fs::path sample = fs::path(BKF_SAMPLES_DIR) / "sample.bkf";
    fs::copy_file(sample, dir / "b.bkf");
    fs::create_hard_link(dir / "b.bkf", dir / "hard.tar");
    const std::string before = test::readFileBytes(dir / "b.bkf");
    { std::ofstream(dir / "old.tar") << "keep me"; }
    const std::string tarvik = test::shellQuote(TARVIK_PATH);
    struct Case {
        const char* what;
        std::string command;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"the archive over the backup", tarvik + " export b.bkf hard.tar", 64, "the backup file itself"},
        {"standard output appended to the backup", tarvik + " export b.bkf - >> b.bkf", 64, "the backup file itself"},
        {"an existing file", tarvik + " export b.bkf old.tar", 64, "never replaces"},
        {"no format to be had from the name", tarvik + " export b.bkf out.rar", 64, "--format"},
        {"an unknown format", tarvik + " export b.bkf out.tar --format rar", 64, "unknown archive format"},
        {"a folder that does not exist", tarvik + " export b.bkf missing/out.tar", 3, "cannot write the archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto run = shell(c.command, dir.path());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(test::readFileBytes(dir / "b.bkf"), before);
    }
    EXPECT_EQ(test::readFileBytes(dir / "old.tar"), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace bkf
