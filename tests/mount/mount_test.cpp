// The catalogue mounted as a folder: every file's bytes and times against the
// backup writer's manifest, reads from two threads at once, a file the backup
// ends inside (its bytes, then an I/O error), and the mount ending on Ctrl-C
// or with --background detached.
#include "mount/catalogue_fs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/text.h"
#include "engine/backup_file.h"
#include "save/output_naming.h"
#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/content.h"
#include "tools/damage.h"
#include "tools/sink.h"

extern char** environ;

namespace bkf {
namespace {

namespace fs = std::filesystem;
using tools::Content;

std::int64_t unixSeconds(FileTime t) {
    return static_cast<std::int64_t>(t / 10000000) - kFileTimeUnixEpochSeconds;
}

// A backup with names beyond ASCII, a duplicate, an empty folder, a large
// file, and a last file the backup ends inside.
struct Backup {
    test::TempDir dir;
    fs::path file = dir / "damaged.bkf";
    tools::Manifest manifest;
    std::uint64_t cutAt = 0;
    // Where a save puts each entry, in the manifest's order.
    std::vector<std::string> paths = {"BACKUP SET 1(Daily)/Data/\u00DCbersicht \u65E5\u672C.txt",
                                      "BACKUP SET 1(Daily)/Data/dup.txt", "BACKUP SET 1(Daily)/Data/dup (2).txt",
                                      "BACKUP SET 1(Daily)/Data/large.bin", "BACKUP SET 1(Daily)/Cut/cut.bin"};

    Backup() {
        tools::FileSink sink(file);
        tools::BackupWriter w(sink);
        w.beginSet({.name = u"Daily"});
        w.directory({.name = tools::folderName(u"Data")});
        FileTime t = 128575193550000000ULL;
        auto add = [&](std::u16string name, Content content) {
            t += 860000000000ULL;
            w.file({.name = std::move(name),
                    .content = std::move(content),
                    .modified = t,
                    .accessed = t + 36000000000ULL});
        };
        add(u"\u00DCbersicht \u65E5\u672C.txt", Content::text("names beyond ASCII\n"));
        add(u"dup.txt", Content::text("first"));
        add(u"dup.txt", Content::text("second"));
        add(u"large.bin", Content::random(3 << 20, 5));
        w.directory({.name = tools::folderName(u"Data/Empty")});
        w.directory({.name = tools::folderName(u"Cut")});
        add(u"cut.bin", Content::random(300000, 6));
        w.finish();
        manifest = w.takeManifest();
        sink.close();
        cutAt = manifest.back().dataOffset + 100000;
        const tools::Damage cut{tools::DamageKind::Truncate, cutAt, 0};
        const std::uint64_t size = fs::file_size(file);
        tools::damageFile(file, cut);
        tools::applyDamage(manifest, cut, size);
    }
};

// Where a save puts a manifest entry, below `root`.
fs::path placed(const fs::path& root, std::u16string_view displayPath) {
    fs::path p = root;
    for (auto c : outputComponents(displayPath)) p /= pathFromUtf16(safeName(c));
    return p;
}

struct ReadBack {
    std::string bytes;
    int error = 0;  // errno of the read that ended it, 0 at the end of the file
};

// Puts the file's bytes out of the page cache, so that the mount's next
// reads of them wait for the disk (and go to its disk threads).
void dropFromPageCache(const fs::path& p) {
    const int fd = ::open(p.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);  // advice: the reads are right either way
    ::close(fd);
}

ReadBack readAll(const fs::path& p) {
    ReadBack r;
    const int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0) return {"", errno};
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) r.error = errno;
        if (n <= 0) break;
        r.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return r;
}

TEST(CatalogueFsRead, ReadsStopAtTheFileAndFailPastTheBackup) {
    Backup b;
    OpenedBackup source = openBackupFile(b.file, BackupAccess::Shared);
    std::vector<ExtractItem> items;
    for (const auto& e : b.manifest) {
        items.push_back({e.displayPath, static_cast<std::int64_t>(e.size), static_cast<std::int64_t>(e.dataOffset),
                         e.modified, e.accessed, e.created});
    }
    const CatalogueFs cfs(**source, items, {}, 0);
    const auto set = cfs.lookup(CatalogueFs::kRoot, "BACKUP SET 1(Daily)");
    ASSERT_TRUE(set);
    const auto cut = cfs.lookup(*cfs.lookup(*set, "Cut"), "cut.bin");
    const auto small = cfs.lookup(*cfs.lookup(*set, "Data"), "dup (2).txt");
    ASSERT_TRUE(cut && small);
    const std::uint64_t held = b.cutAt - b.manifest.back().dataOffset;
    struct Case {
        const char* what;
        CatalogueFs::Node node;
        std::uint64_t offset, length;
        std::size_t bytes;
        bool ioError;
    };
    const Case cases[] = {
        {"a whole small file", *small, 0, 4096, 6, false},
        {"at the file's end", *small, 6, 10, 0, false},
        {"across the end of what the backup holds", *cut, held - 10, 4096, 10, false},
        {"at the end of what the backup holds", *cut, held, 4096, 0, true},
        {"past the end of the file", *cut, 300000, 10, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> buffer(c.length);
        const auto r = cfs.read(c.node, c.offset, buffer);
        EXPECT_EQ(r.bytes, c.bytes);
        EXPECT_EQ(r.ioError, c.ioError);
    }
}

class Mounted : public testing::Test {
protected:
    void SetUp() override {
        if (const auto why = fuseUnavailable()) GTEST_SKIP() << "FUSE is not available here: " << *why;
        if (::access("/usr/bin/fusermount3", X_OK) != 0 && ::access("/bin/fusermount3", X_OK) != 0) {
            GTEST_SKIP() << "fusermount3 is not installed";
        }
        fs::create_directory(mountpoint);
    }
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (isMounted()) test::runTool("fusermount3", {"-u", mountpoint.string()}, dir.path(), 30);
    }

    bool isMounted() const {
        struct stat inner {
        }, outer{};
        return ::stat(mountpoint.c_str(), &inner) == 0 && ::stat(dir.path().c_str(), &outer) == 0 &&
               inner.st_dev != outer.st_dev;
    }
    bool waitFor(bool mounted) const {
        for (int i = 0; i < 200; ++i) {
            if (isMounted() == mounted) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // tarvik mount in the foreground, as a child of the test.
    void start(const fs::path& backup) {
        const std::string log = (dir / "mount.log").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        std::string program = TARVIK_PATH, command = "mount", from = backup.string(), at = mountpoint.string();
        char* argv[] = {program.data(), command.data(), from.data(), at.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, TARVIK_PATH, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_TRUE(waitFor(true)) << test::readFileBytes(log);
        dropFromPageCache(backup);
    }

    // Ctrl-C: the mount ends and the folder is unmounted.
    void interruptAndExpectUnmounted() {
        ASSERT_EQ(::kill(pid_, SIGINT), 0);
        int status = -1;
        for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        pid_ = -1;
        ASSERT_TRUE(WIFEXITED(status)) << "still running after Ctrl-C";
        EXPECT_EQ(WEXITSTATUS(status), 0) << test::readFileBytes(dir / "mount.log");
        EXPECT_FALSE(isMounted());
    }

    test::TempDir dir;
    fs::path mountpoint = dir / "mnt";
    pid_t pid_ = -1;
};

TEST_F(Mounted, TheSampleShowsEveryFileWithItsBytesAndTimes) {
    const fs::path samples = BKF_SAMPLES_DIR;
    start(samples / "sample.bkf");
    std::size_t files = 0;
    for (const auto& e : tools::readManifestTsv(samples / "sample.manifest.tsv")) {
        if (!e.expected()) continue;
        SCOPED_TRACE(utf16ToUtf8(e.displayPath));
        const fs::path p = placed(mountpoint, e.displayPath);
        const ReadBack r = readAll(p);
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(r.bytes.size(), e.size);
        EXPECT_EQ(tools::hashBytes(r.bytes), e.hash);
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        if (e.modified != 0) {
            EXPECT_EQ(st.st_mtim.tv_sec, unixSeconds(e.modified));
        }
        ++files;
    }
    std::size_t listed = 0;
    for (const auto& f : fs::recursive_directory_iterator(mountpoint)) listed += f.is_regular_file() ? 1 : 0;
    EXPECT_EQ(listed, files);
    // Nothing can be written.
    EXPECT_LT(::open((mountpoint / "new.txt").c_str(), O_WRONLY | O_CREAT, 0644), 0);
    interruptAndExpectUnmounted();
}

TEST_F(Mounted, ADamagedBackupReadsFromTwoThreadsAndFailsPastItsEnd) {
    Backup b;
    start(b.file);
    EXPECT_TRUE(fs::is_directory(mountpoint / "BACKUP SET 1(Daily)" / "Data" / "Empty"));
    const auto check = [&](std::string* failure) {
        for (int round = 0; round < 3; ++round) {
            for (std::size_t i = 0; i < b.manifest.size(); ++i) {
                const tools::ManifestEntry& e = b.manifest[i];
                const ReadBack r = readAll(mountpoint / b.paths[i]);
                const bool cut = e.dataOffset + e.size > b.cutAt;
                const std::uint64_t held = cut ? b.cutAt - e.dataOffset : e.size;
                if (r.bytes.size() != held ||
                    tools::hashBytes(r.bytes) != tools::hashFileRange(b.file, e.dataOffset, held) ||
                    r.error != (cut ? EIO : 0)) {
                    *failure = utf16ToUtf8(e.displayPath) + ": " + std::to_string(r.bytes.size()) + " bytes, error " +
                               std::to_string(r.error);
                    return;
                }
            }
        }
    };
    std::string first, second;
    std::thread other(check, &second);
    check(&first);
    other.join();
    EXPECT_EQ(first, "");
    EXPECT_EQ(second, "");
    ASSERT_EQ(b.manifest.size(), b.paths.size());
    for (std::size_t i = 0; i < b.manifest.size(); ++i) {
        const tools::ManifestEntry& e = b.manifest[i];
        SCOPED_TRACE(b.paths[i]);
        struct stat st {};
        ASSERT_EQ(::stat((mountpoint / b.paths[i]).c_str(), &st), 0);
        EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), e.size);
        EXPECT_EQ(st.st_mtim.tv_sec, unixSeconds(e.modified));
        EXPECT_EQ(st.st_atim.tv_sec, unixSeconds(e.accessed));
    }
    interruptAndExpectUnmounted();
}

TEST_F(Mounted, InTheBackgroundItDetachesUntilUnmounted) {
    const fs::path samples = BKF_SAMPLES_DIR;
    const auto run = test::runTool(
        TARVIK_PATH, {"mount", "--background", (samples / "sample.bkf").string(), mountpoint.string()}, dir.path(), 60);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(waitFor(true));
    EXPECT_TRUE(fs::is_directory(mountpoint / "BACKUP SET 1(Daily)"));
    // The detached process serves reads that wait for the disk too.
    dropFromPageCache(samples / "sample.bkf");
    for (const auto& e : tools::readManifestTsv(samples / "sample.manifest.tsv")) {
        if (!e.expected()) continue;
        EXPECT_EQ(tools::hashBytes(readAll(placed(mountpoint, e.displayPath)).bytes), e.hash);
        break;
    }
    EXPECT_EQ(test::runTool("fusermount3", {"-u", mountpoint.string()}, dir.path(), 30).status, 0);
    EXPECT_TRUE(waitFor(false));
}

}  // namespace
}  // namespace bkf
