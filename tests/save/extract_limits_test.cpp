// A save stays sound whatever the catalogue says: entries whose data is not
// where it claims, paths thousands of folders deep, names a million code
// units long, ten thousand entries of one path.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <chrono>

#include "base/text.h"
#include "engine/backup_file.h"
#include "engine/windows_path.h"
#include "save/extract.h"
#include "save/output_naming.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/sink.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;

struct Backup {
    test::TempDir dir;
    fs::path file = dir / "daily.bkf";
    fs::path dest = dir / "out";
    tools::Manifest manifest;

    Backup() {
        fs::create_directory(dest);
        tools::FileSink sink(file);
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Daily"});
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            tools::FileItem f;
            f.name = utf8ToUtf16(name);
            f.content = tools::Content::text(std::string("content of ") + name);
            w.file(f);
        }
        w.finish();
        manifest = w.takeManifest();
        sink.close();
    }

    ExtractItem item(std::size_t entry, std::u16string path) const {
        const auto& e = manifest.at(entry);
        return {std::move(path), static_cast<std::int64_t>(e.size), static_cast<std::int64_t>(e.dataOffset), 0, 0, 0};
    }

    ExtractSummary extract(std::span<const ExtractItem> items) {
        OpenedBackup b = openBackupFile(file, BackupAccess::Shared);
        EXPECT_TRUE(b.ok());
        return extractEntries(**b, items, {dest, u"Rec"});
    }
};

TEST(ExtractLimits, DataThatIsNotWhereTheCatalogueSaysIsNeverSaved) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> shifts;  // added to each entry's data offset
        std::size_t saved, failed, notReached;
        bool wrongBackup;
    };
    const Case cases[] = {
        {"one entry moved", {0, 7, 0}, 2, 1, 0, false},
        {"every entry moved: a catalogue of another backup", {512, 512, 512}, 0, 3, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Backup b;
        std::vector<ExtractItem> items;
        for (std::size_t i = 0; i < c.shifts.size(); ++i) {
            items.push_back(b.item(i, u"BKF\\S\\f" + decimalText(static_cast<std::int64_t>(i))));
            items.back().dataOffset += c.shifts[i];
        }
        const ExtractSummary s = b.extract(items);
        EXPECT_EQ(s.saved, c.saved);
        EXPECT_EQ(s.failed, c.failed);
        EXPECT_EQ(s.wrongBackup, c.wrongBackup);
        EXPECT_EQ(s.status.ok(), !c.wrongBackup);
        for (const auto& p : s.problems) {
            EXPECT_EQ(p.reason, kWrongBackupText);
            EXPECT_TRUE(p.writtenAs.empty());
        }
    }
    // Eight misses before any hit stop the save: the rest are never attempted.
    Backup b;
    std::vector<ExtractItem> items(20, b.item(0, u"BKF\\S\\x"));
    for (auto& item : items) item.dataOffset += 3;
    const ExtractSummary s = b.extract(items);
    EXPECT_TRUE(s.wrongBackup);
    EXPECT_EQ(s.failed, 8u);
    EXPECT_EQ(s.notReached, 12u);
}

TEST(ExtractLimits, AnyDepthWithAHandfulOfOpenFolders) {
    Backup b;
    // Far more folders than open files allowed: each one held open would fail.
#ifndef _WIN32
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
#endif
    // On Windows, where handles are not limited so, the path passes far
    // beyond MAX_PATH (260) instead.
    // Under Wine every level costs a walk of the whole path on the Linux
    // side: a tenth of the depth there still passes MAX_PATH many times.
    const int depth = test::runningUnderWine() ? 150 : 1500;
    std::u16string deep = u"BKF\\S";
    for (int i = 0; i < depth; ++i) deep += u"\\d";
    const std::vector<ExtractItem> items = {b.item(0, deep + u"\\a.txt"), b.item(1, u"BKF\\S\\d\\b.txt"),
                                            b.item(2, deep + u"\\c.txt")};
    const ExtractSummary s = b.extract(items);
#ifndef _WIN32
    ::setrlimit(RLIMIT_NOFILE, &old);
#endif
    ASSERT_TRUE(s.status.ok()) << s.status.message();
    for (const auto& p : s.problems) ADD_FAILURE() << utf16ToUtf8(p.displayPath).substr(0, 40) << ": " << p.reason;
    EXPECT_EQ(s.saved, 3u);
    fs::path p = s.root / "S";
    for (int i = 0; i < depth; ++i) p /= "d";
#ifdef _WIN32
    p = fs::path(longPath(p));
#endif
    EXPECT_EQ(test::readFileBytes(p / "c.txt"), "content of c.txt");
}

TEST(ExtractLimits, TenThousandEntriesOfOnePathAllSurvive) {
    Backup b;
    // Wine matches each new name against the whole folder (its names are
    // case-blind there), so a folder of n files costs n squared: fewer there.
    const std::size_t count = test::runningUnderWine() ? 2050 : 10050;
    const std::vector<ExtractItem> items(count, b.item(0, u"BKF\\S\\dup.txt"));
    const auto started = std::chrono::steady_clock::now();
    const ExtractSummary s = b.extract(items);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(s.saved, items.size());
    EXPECT_TRUE(fs::exists(s.root / "S" / ("dup (" + std::to_string(count) + ").txt")));
    EXPECT_LT(seconds, 15.0) << "a taken name is numbered without trying every number before it";
}

TEST(ExtractLimits, AMillionCodeUnitNameIsShortenedInLinearTime) {
    const std::u16string name = std::u16string(1000000, u'\u65E5') + u".txt";
    const auto started = std::chrono::steady_clock::now();
    const std::u16string safe = safeName(name);
    const std::u16string numbered = numberedName(safe, 12);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(isSafeName(safe));
    EXPECT_TRUE(safe.ends_with(u".txt"));
    EXPECT_EQ(utf16ToUtf8(safe).size(), 3 * 83 + 4u) << "as many whole characters as 255 bytes hold";
    EXPECT_TRUE(numbered.ends_with(u" (12).txt"));
    EXPECT_LT(seconds, 3.0);
}

}  // namespace
}  // namespace bkf
