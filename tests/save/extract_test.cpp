#include "save/extract.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <array>
#include <cstdlib>
#include <set>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "engine/backup_file.h"
#include "engine/scan.h"
#include "save/output_naming.h"
#include "tests/fixtures/failing_output.h"
#include "tests/fixtures/failing_source.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/sink.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;
using tools::Content;

// Every regular file and link under `top`, as paths relative to it.
std::set<std::string> tree(const fs::path& top) {
    std::set<std::string> out;
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_directory() || it->is_symlink()) out.insert(fs::relative(it->path(), top).generic_string());
    }
    return out;
}

struct Fixture {
    test::TempDir dir;
    fs::path backup = dir / "daily.bkf";
    fs::path dest = dir / "out";
    tools::Manifest manifest;

    Fixture() {
        fs::create_directory(dest);
        tools::FileSink sink(backup);
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Daily"});
        w.directory({.name = tools::folderName(u"Data/\u00DCbersicht")});
        auto file = [&](std::u16string name, Content content, FileTime modified) {
            tools::FileItem f;
            f.name = std::move(name);
            f.content = std::move(content);
            f.modified = modified;
            f.accessed = modified + 36000000000ULL;
            w.file(f);
        };
        file(u"report.txt", Content::text("quarterly figures\n"), 128575193550000000ULL);
        file(u"big.bin", Content::random(3 << 20, 9), 128000000000000000ULL);
        file(u"empty.txt", Content(), 127000000000000000ULL);
        w.directory({.name = tools::folderName(u"Data")});
        file(u"report.txt", Content::random(5000, 1), 128575193550000000ULL);
        w.beginSet({.name = u"Weekly"});
        file(u"CON", Content::text("device name"), 128575193550000000ULL);
        w.finish();
        manifest = w.takeManifest();
        sink.close();
    }

    std::vector<ExtractItem> items() const {
        std::vector<ExtractItem> out;
        for (const auto& e : manifest) {
            out.push_back({e.displayPath, static_cast<std::int64_t>(e.size), static_cast<std::int64_t>(e.dataOffset),
                           e.modified, e.accessed, e.created});
        }
        return out;
    }

    ExtractSummary extract(std::span<const ExtractItem> what, std::u16string prefix = u"Rec",
                           ExtractObserver* observer = nullptr, const std::atomic<bool>* cancel = nullptr) {
        OpenedBackup b = openBackupFile(backup, BackupAccess::Shared);
        EXPECT_TRUE(b.ok());
        return extractEntries(**b, what, {dest, std::move(prefix)}, observer, cancel);
    }
};

#ifdef _WIN32
// The file's times as the system keeps them: modification, access, creation.
std::array<FileTime, 3> timesOf(const fs::path& p) {
    std::array<FileTime, 3> times{};
    const HANDLE h = CreateFileW(p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return times;
    FILETIME created{}, accessed{}, modified{};
    if (GetFileTime(h, &created, &accessed, &modified)) {
        const auto value = [](FILETIME t) { return (FileTime{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
        times = {value(modified), value(accessed), value(created)};
    }
    CloseHandle(h);
    return times;
}

FileTime modifiedOf(const fs::path& p) {
    return timesOf(p)[0];
}
FileTime accessedOf(const fs::path& p) {
    return timesOf(p)[1];
}
#else
FileTime modifiedOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return (static_cast<FileTime>(st.st_mtim.tv_sec + kFileTimeUnixEpochSeconds) * 10000000ULL) +
           static_cast<FileTime>(st.st_mtim.tv_nsec / 100);
}

FileTime accessedOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return (static_cast<FileTime>(st.st_atim.tv_sec + kFileTimeUnixEpochSeconds) * 10000000ULL) +
           static_cast<FileTime>(st.st_atim.tv_nsec / 100);
}
#endif

TEST(Extract, RoundTripsContentAndTimesIntoANewNumberedFolder) {
    Fixture f;
    const auto items = f.items();
    const ExtractSummary s = f.extract(items);
    ASSERT_TRUE(s.status.ok()) << s.status.message();
    EXPECT_EQ(s.saved, items.size());
    EXPECT_EQ(s.failed + s.truncated, 0u);
    EXPECT_EQ(s.root, f.dest / "Rec1");
    for (const auto& e : f.manifest) {
        fs::path p = s.root;
        for (auto c : outputComponents(e.displayPath)) p /= pathFromUtf16(safeName(c));
        ASSERT_TRUE(fs::exists(p)) << p;
        // The times first: reading the file may change its access time.
        EXPECT_EQ(modifiedOf(p), e.modified) << p;
        EXPECT_EQ(accessedOf(p), e.accessed) << p;
#ifdef _WIN32
        // Windows keeps a creation time too, and it is set. Wine on a Linux
        // file system takes the time but cannot keep it.
        if (!test::runningUnderWine()) {
            EXPECT_EQ(timesOf(p)[2], e.created) << p;
        }
#endif
        EXPECT_EQ(tools::hashBytes(test::readFileBytes(p)), e.hash) << p;
    }
    EXPECT_TRUE(fs::exists(s.root / "BACKUP SET 2(Weekly)" / "_CON")) << "a device name is never created";
    EXPECT_EQ(s.renamed, 1u);

    // A second save never mixes with the first.
    const ExtractSummary again = f.extract(items);
    EXPECT_EQ(again.root, f.dest / "Rec2");
    EXPECT_EQ(again.saved, items.size());
}

TEST(Extract, WithoutAPrefixNothingIsOverwritten) {
    Fixture f;
    const auto items = f.items();
    test::writeFileBytes(f.dest / "keep.txt", "mine");
    ASSERT_EQ(f.extract(items, u"").saved, items.size());
    ASSERT_EQ(f.extract(items, u"").saved, items.size());
    const fs::path folder = f.dest / "BACKUP SET 1(Daily)" / "Data" / fs::path(u"\u00DCbersicht");
    EXPECT_TRUE(fs::exists(folder / "report.txt"));
    EXPECT_TRUE(fs::exists(folder / "report (2).txt")) << "the second save's copy gets a number";
    EXPECT_EQ(test::readFileBytes(f.dest / "keep.txt"), "mine");
    EXPECT_FALSE(f.extract(items, u"bad'prefix").status.ok());
}

TEST(Extract, HostileEntriesStayInsideTheOutputRoot) {
    Fixture f;
    const auto good = f.items();
    auto item = [&](std::u16string path, std::int64_t size = 4, std::optional<std::int64_t> offset = {}) {
        return ExtractItem{std::move(path),  size, offset.value_or(good[0].dataOffset), good[0].modified,
                           good[0].accessed, 0};
    };
    const std::int64_t backupSize = static_cast<std::int64_t>(fs::file_size(f.backup));
    const std::int64_t lastOffset = good.back().dataOffset;
    const std::vector<ExtractItem> items = {
        item(u"BKF\\..\\..\\..\\escaped-dots.txt"),
        item(u"..\\..\\escaped-without-root.txt"),
        item(u"BKF\\S\\/etc/passwd"),
        item(u"BKF\\S\\C:\\Windows\\win.ini"),
        item(u"\\\\server\\share\\unc.txt"),
        item(u"/abs/olute.txt"),
        item(u"BKF\\S\\."),
        item(u""),
        item(u"BKF\\S\\aux.txt"),
        item(u"BKF\\S\\trailing. "),
        item(u"BKF\\S\\bad\xD800surrogate"),
        item(u"BKF\\S\\dup.txt"),
        item(u"BKF\\S\\dup.txt"),
        item(u"BKF\\S\\past-end.bin", backupSize - lastOffset + 100, lastOffset),
        item(u"BKF\\S\\beyond.bin", 100, backupSize + 5000),
        item(u"BKF\\S\\huge-offset.bin", 1000, INT64_MAX - 500),
        item(u"BKF\\S\\huge-size.bin", INT64_MAX),
        item(u"BKF\\S\\negative.bin", -5),
        item(u"BKF\\S\\negative-offset.bin", 5, -2),
    };
    const auto before = tree(f.dir.path());
    const ExtractSummary s = f.extract(items);
    ASSERT_TRUE(s.status.ok()) << s.status.message();

    // Nothing outside the output root changed.
    std::set<std::string> outside;
    for (const auto& p : tree(f.dir.path())) {
        if (!p.starts_with("out/Rec1/")) outside.insert(p);
    }
    EXPECT_EQ(outside, before);
    // No name inside it is special.
    for (const auto& p : tree(s.root)) {
        for (const auto& part : fs::path(p)) {
            const std::string name = part.string();
            EXPECT_NE(name, "..");
            EXPECT_NE(name, ".");
            EXPECT_FALSE(isReservedDeviceName(utf8ToUtf16(name))) << p;
            EXPECT_EQ(name.find_first_of(":*?\"<>|\\"), std::string::npos) << p;
            EXPECT_FALSE(name.ends_with(".") || name.ends_with(" ")) << p;
        }
    }
    EXPECT_TRUE(fs::exists(s.root / "S" / "dup.txt"));
    EXPECT_TRUE(fs::exists(s.root / "S" / "dup (2).txt")) << "two entries of one path both survive";
    EXPECT_EQ(fs::file_size(s.root / "S" / "past-end.bin"), static_cast<std::uintmax_t>(backupSize - lastOffset))
        << "what exists is written";
    EXPECT_EQ(fs::file_size(s.root / "S" / "beyond.bin"), 0u);
    EXPECT_EQ(fs::file_size(s.root / "S" / "huge-size.bin"),
              static_cast<std::uintmax_t>(backupSize - good[0].dataOffset));
    EXPECT_EQ(s.truncated, 4u);  // past-end, beyond, huge-offset, huge-size
    EXPECT_EQ(s.failed, 2u);     // negative size, negative offset
    EXPECT_EQ(s.saved, items.size() - 6);
    for (const auto& p : s.problems) EXPECT_FALSE(p.reason.empty());
}

TEST(Extract, PlantedLinksAreNeverFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    Fixture f;
    const fs::path elsewhere = f.dir / "elsewhere";
    fs::create_directory(elsewhere);
    test::writeFileBytes(elsewhere / "target.txt", "precious");
    // Straight into the destination, where a folder and a file name are links out.
    fs::create_directory_symlink(elsewhere, f.dest / "BACKUP SET 1(Daily)");
    fs::create_directory(f.dest / "BACKUP SET 2(Weekly)");
    fs::create_symlink(elsewhere / "target.txt", f.dest / "BACKUP SET 2(Weekly)" / "_CON");
    const auto items = f.items();
    const ExtractSummary s = f.extract(items, u"");
    ASSERT_TRUE(s.status.ok());
    EXPECT_EQ(s.saved, items.size());
    EXPECT_EQ(tree(elsewhere), std::set<std::string>{"target.txt"});
    EXPECT_EQ(test::readFileBytes(elsewhere / "target.txt"), "precious");
    EXPECT_TRUE(fs::exists(f.dest / "BACKUP SET 1(Daily) (2)" / "Data" / "report.txt"));
    EXPECT_TRUE(fs::exists(f.dest / "BACKUP SET 2(Weekly)" / "_CON (2)"));
}

TEST(Extract, ReadOnlyDestinationFailsWholeAndClearly) {
    Fixture f;
    const auto items = f.items();
    OpenedBackup b = openBackupFile(f.backup, BackupAccess::Shared);
    for (const fs::path& dest : {fs::path("/proc/self"), f.dir / "missing"}) {
        const ExtractSummary s = extractEntries(**b, items, {dest, u"Rec"});
        EXPECT_FALSE(s.status.ok()) << dest;
        EXPECT_FALSE(s.status.message().empty());
        EXPECT_EQ(s.saved, 0u);
        EXPECT_EQ(s.notReached, items.size());
    }
}

// Cancels as soon as the big file has its first block.
class CancelInBigFile final : public ExtractObserver {
public:
    explicit CancelInBigFile(std::atomic<bool>& cancel) : cancel_(cancel) {}
    void extractProgress(const ExtractProgress& p) override {
        if (p.current.ends_with(u"big.bin") && p.bytesDone > 100) cancel_.store(true);
    }

private:
    std::atomic<bool>& cancel_;
};

TEST(Extract, CancelRemovesTheFileBeingWrittenAndKeepsTheFinishedOnes) {
    Fixture f;
    std::atomic<bool> cancel{false};
    CancelInBigFile observer(cancel);
    const auto items = f.items();
    const ExtractSummary s = f.extract(items, u"Rec", &observer, &cancel);
    EXPECT_TRUE(s.cancelled);
    EXPECT_EQ(s.saved, 1u);
    const fs::path folder = s.root / "BACKUP SET 1(Daily)" / "Data" / fs::path(u"\u00DCbersicht");
    EXPECT_TRUE(fs::exists(folder / "report.txt"));
    EXPECT_FALSE(fs::exists(folder / "big.bin"));
    EXPECT_EQ(s.notReached, items.size() - 1);
}

TEST(Extract, AReadErrorOrAShortReadFailsOnlyThatEntry) {
    for (const bool shortRead : {false, true}) {
        SCOPED_TRACE(shortRead ? "short read" : "read error");
        Fixture f;
        OpenedBackup b = openBackupFile(f.backup, BackupAccess::Shared);
        test::FailingSource failing(**b, f.manifest[1].dataOffset + 2000000, "Input/output error", shortRead);
        const auto items = f.items();
        const ExtractSummary s = extractEntries(failing, items, {f.dest, u"Rec"});
        EXPECT_EQ(s.failed, 1u);
        EXPECT_EQ(s.saved, items.size() - 1);
        ASSERT_EQ(s.problems.size(), 1u);
        EXPECT_NE(s.problems[0].reason.find(shortRead ? "ended early" : "Input/output error"), std::string::npos)
            << s.problems[0].reason;
        EXPECT_FALSE(fs::exists(s.root / "BACKUP SET 1(Daily)" / "Data" / fs::path(u"\u00DCbersicht") / "big.bin"));
    }
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

// A destination on a small file system of its own, so that it really fills up.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& at) : at_(at) {
        fs::create_directory(at_);
        const std::string command = "mount -t tmpfs -o size=1m tmpfs '" + at_.string() + "' 2>/dev/null";
        mounted_ = std::system(command.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) std::system(("umount '" + at_.string() + "'").c_str());
    }
    bool mounted() const { return mounted_; }

private:
    fs::path at_;
    bool mounted_ = false;
};

TEST(Extract, AFullDiskStopsTheSaveCleanly) {
    Fixture f;
    const fs::path small = f.dir / "small";
    SmallDisk disk(small);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small file system here";
    OpenedBackup b = openBackupFile(f.backup, BackupAccess::Shared);
    const auto items = f.items();
    const ExtractSummary s = extractEntries(**b, items, {small, u"Rec"});
    EXPECT_TRUE(s.diskFull);
    EXPECT_FALSE(s.status.ok());
    EXPECT_NE(s.status.message().find("No space left on device"), std::string::npos) << s.status.message();
    EXPECT_EQ(s.saved, 1u) << "the file finished before stays";
    EXPECT_EQ(s.failed, 1u);
    EXPECT_EQ(s.notReached, items.size() - 2);
    const fs::path folder = s.root / "BACKUP SET 1(Daily)" / "Data" / fs::path(u"\u00DCbersicht");
    EXPECT_TRUE(fs::exists(folder / "report.txt"));
    EXPECT_FALSE(fs::exists(folder / "big.bin")) << "the partial file is removed";
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

using test::OutputFault;

ExtractSummary extractWithFault(Fixture& f, OutputFault fault) {
    OpenedBackup b = openBackupFile(f.backup, BackupAccess::Shared);
    auto root = openOutputRoot(f.dest);
    EXPECT_TRUE(root.ok());
    const auto items = f.items();
    return extractEntries(**b, items, std::make_unique<test::FailingOutputDir>(std::move(*root), fault), u"Rec");
}

TEST(Extract, WriteFaultsFailTheirEntryOrStopTheSave) {
    struct Case {
        const char* what;
        OutputFault fault;
        std::size_t saved, failed, notReached;
        bool stops;
        const char* reason;
    };
    using W = OutputFault::Where;
    const Case cases[] = {
        {"permission refused on a file", {W::CreateFile, u"big.bin", EACCES}, 4, 1, 0, false, "Permission denied"},
        {"permission refused on a folder", {W::MakeDir, u"Data", EACCES}, 1, 4, 0, false, "Permission denied"},
        {"an error in the middle of a file",
         {W::Write, u"big.bin", EIO, 1500000},
         4,
         1,
         0,
         false,
         "Input/output error"},
        {"a late error when closing", {W::Close, u"big.bin", EIO}, 4, 1, 0, false, "Input/output error"},
        {"the disk fills in the middle of a file",
         {W::Write, u"big.bin", ENOSPC, 1500000},
         1,
         1,
         3,
         true,
         "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        const ExtractSummary s = extractWithFault(f, c.fault);
        EXPECT_EQ(s.saved, c.saved);
        EXPECT_EQ(s.failed, c.failed);
        EXPECT_EQ(s.notReached, c.notReached);
        EXPECT_EQ(s.diskFull, c.stops);
        EXPECT_EQ(s.status.ok(), !c.stops);
        ASSERT_FALSE(s.problems.empty());
        EXPECT_NE(s.problems.front().reason.find(c.reason), std::string::npos) << s.problems.front().reason;
        // A file that failed is not left half-written.
        const fs::path big = s.root / "BACKUP SET 1(Daily)" / "Data" / fs::path(u"\u00DCbersicht") / "big.bin";
        if (c.fault.name == u"big.bin") {
            EXPECT_FALSE(fs::exists(big));
        }
    }
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

TEST(Extract, LongPathsAndLongNamesAreWrittenSafely) {
    Fixture f;
    const auto good = f.items();
    // Thirty folders of a hundred code units: a display path of over 3,000.
    std::u16string deep = u"BKF\\S";
    for (int i = 0; i < 30; ++i) deep += u"\\" + std::u16string(100, static_cast<char16_t>(u'a' + i % 26));
    deep += u"\\deep.txt";
    // 255 code units that take three bytes each in UTF-8: 765 bytes on a 255-byte file system.
    const std::u16string wide = u"BKF\\S\\" + std::u16string(251, u'\u65E5') + u".txt";
    const std::u16string oneLongComponent = u"BKF\\S\\" + std::u16string(5000, u'x') + u"\\f.txt";
    std::vector<ExtractItem> items;
    for (const auto& path : {deep, wide, oneLongComponent}) {
        items.push_back(
            {path, 18, static_cast<std::int64_t>(good[0].dataOffset), good[0].modified, good[0].accessed, 0});
    }
    const ExtractSummary s = f.extract(items);
    ASSERT_TRUE(s.status.ok()) << s.status.message();
    EXPECT_EQ(s.saved, 3u);
    EXPECT_EQ(s.renamed, 2u) << "the wide name and the long folder were shortened, and said so";
    fs::path p = s.root / "S";
    for (int i = 0; i < 30; ++i) p /= std::string(100, static_cast<char>('a' + i % 26));
    EXPECT_EQ(test::readFileBytes(p / "deep.txt"), "quarterly figures\n");
    std::size_t found = 0;
    for (const auto& entry : fs::directory_iterator(s.root / "S")) {
        const std::string name = entry.path().filename().string();
        EXPECT_LE(name.size(), kMaxNameBytes) << name;
        found += name.ends_with(".txt") && name.size() > 200 ? 1 : 0;
    }
    EXPECT_EQ(found, 1u) << "the wide name, shortened, keeps its extension";
}

}  // namespace
}  // namespace bkf
