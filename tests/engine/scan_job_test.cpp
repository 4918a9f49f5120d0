#include "engine/scan_job.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "engine/backup_file.h"
#include "tests/engine/scan_fixture.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/sink.h"

namespace bkf {
namespace {

using tools::BackupWriter;
using tools::Content;

// Records everything, and can stop the job at its first batch.
class Recorder final : public ScanObserver {
public:
    void scanSearching(bool searching) override {
        std::lock_guard lock(mutex_);
        statuses.push_back(searching);
    }
    void scanEvents(std::vector<ScanEvent>&& batch) override {
        std::lock_guard lock(mutex_);
        for (auto& e : batch) events.push_back(std::move(e));
        ++batches;
        if (stopAtFirstBatch && job) job->stopScan();
    }
    void scanFinished(const ScanOutcome& o) override {
        std::lock_guard lock(mutex_);
        outcome = o;
        finished = true;
    }
    std::size_t files() const {
        std::size_t n = 0;
        for (const auto& e : events) n += e.isFolder ? 0 : 1;
        return n;
    }

    std::vector<bool> statuses;  // scanSearching, in order
    std::vector<ScanEvent> events;
    std::size_t batches = 0;
    ScanOutcome outcome;
    bool finished = false;
    bool stopAtFirstBatch = false;
    ScanJob* job = nullptr;

private:
    std::mutex mutex_;
};

std::filesystem::path writeBackup(const test::TempDir& dir, const std::string& name, int files) {
    const auto path = dir / name;
    tools::FileSink sink(path);
    BackupWriter w(sink);
    w.beginSet({.name = u"Daily"});
    w.directory({.name = tools::folderName(u"Data")});
    for (int i = 0; i < files; ++i) {
        tools::FileItem f;
        f.name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u".bin";
        f.content = Content::random(20000, static_cast<std::uint64_t>(i));
        w.file(f);
    }
    w.finish();
    sink.close();
    return path;
}

TEST(ScanJob, FindsFilesClosesTheFileAndLeavesItUnchanged) {
    test::TempDir dir;
    const auto backup = writeBackup(dir, "daily.bkf", 30);
    const std::string before = test::readFileBytes(backup);
    Recorder rec;
    ScanJob job(rec);
    job.setBackupPath(backup);
    bool emptied = false;
    ASSERT_TRUE(job.prepareScan([&] { emptied = true; }));
    job.wait();
    EXPECT_TRUE(emptied);
    ASSERT_TRUE(rec.finished);
    EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::Results);
    EXPECT_FALSE(rec.outcome.stopped);
    EXPECT_EQ(rec.files(), 30u);
    EXPECT_EQ(rec.outcome.stats.files, 30u);
    EXPECT_EQ(rec.statuses, (std::vector<bool>{true, false}));
    EXPECT_FALSE(job.scanInProgress());
    EXPECT_EQ(test::readFileBytes(backup), before);
    // The lock went with the scan: the file can be opened exclusively again.
    EXPECT_TRUE(openBackupFile(backup, BackupAccess::Exclusive).ok());

    // A second scan starts afresh.
    Recorder again;
    ScanJob second(again);
    second.setBackupPath(backup);
    ASSERT_TRUE(second.prepareScan({}));
    second.wait();
    EXPECT_EQ(again.files(), 30u);
}

TEST(ScanJob, OpenFailuresCarryTheSystemsReason) {
    test::TempDir dir;
    {
        Recorder rec;
        ScanJob job(rec);
        job.setBackupPath(dir / "missing.bkf");
        EXPECT_FALSE(job.prepareScan({}));
        ASSERT_TRUE(rec.finished);
        EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::OpenFailed);
#ifdef _WIN32
        // The system's own words, which differ between Windows versions and Wine.
        EXPECT_FALSE(rec.outcome.reason.empty());
        EXPECT_FALSE(rec.outcome.reason.starts_with("error ")) << rec.outcome.reason;
#else
        EXPECT_EQ(rec.outcome.reason, "No such file or directory");
#endif
        EXPECT_FALSE(job.scanInProgress());
    }
    {
        SCOPED_TRACE("a file another scan holds: both read it");
        const auto backup = writeBackup(dir, "held.bkf", 2);
        const OpenedBackup held = openBackupFile(backup, BackupAccess::Exclusive);
        ASSERT_TRUE(held.ok());
        Recorder rec;
        ScanJob job(rec);
        job.setBackupPath(backup);
        EXPECT_TRUE(job.prepareScan({}));
        job.wait();
        EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::Results);
    }
    {
        SCOPED_TRACE("a file a writer holds locked");
        const auto backup = writeBackup(dir, "written.bkf", 2);
#ifdef _WIN32
        // A writer that lets others read and write: a scan, which lets no
        // one write, cannot share the file with it.
        const HANDLE writer = CreateFileW(backup.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
#else
        const int writer = ::open(backup.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
#endif
        Recorder rec;
        ScanJob job(rec);
        job.setBackupPath(backup);
        EXPECT_FALSE(job.prepareScan({}));
        EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::OpenFailed);
        EXPECT_EQ(rec.outcome.reason, kBackupLockedText);
        // Reading its data meanwhile is still allowed.
        EXPECT_TRUE(openBackupFile(backup, BackupAccess::Shared).ok());
#ifdef _WIN32
        CloseHandle(writer);
#else
        ::close(writer);
#endif
    }
    {
        SCOPED_TRACE("a folder");
        Recorder rec;
        ScanJob job(rec);
        job.setBackupPath(dir.path());
        EXPECT_FALSE(job.prepareScan({}));
        EXPECT_EQ(rec.outcome.reason, "Is a directory");
    }
}

TEST(ScanJob, ReadOnlyBackupsOpen) {
    test::TempDir dir;
    const auto backup = writeBackup(dir, "ro.bkf", 3);
    std::filesystem::permissions(backup, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    Recorder rec;
    ScanJob job(rec);
    job.setBackupPath(backup);
    ASSERT_TRUE(job.prepareScan({}));
    job.wait();
    EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::Results);
}

TEST(ScanJob, NothingFoundAndStop) {
    test::TempDir dir;
    test::writeFileBytes(dir / "zeros.bkf", std::string(200000, '\0'));
    {
        Recorder rec;
        ScanJob job(rec);
        job.setBackupPath(dir / "zeros.bkf");
        ASSERT_TRUE(job.prepareScan({}));
        job.wait();
        EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::NothingFound);
    }
    {
        SCOPED_TRACE("stopped after the first batch: what was found is kept");
        const auto backup = writeBackup(dir, "big.bkf", 400);
        Recorder rec;
        ScanJob job(rec);
        rec.job = &job;
        rec.stopAtFirstBatch = true;
        job.setReportInterval(std::chrono::milliseconds(0));
        job.setBackupPath(backup);
        ASSERT_TRUE(job.prepareScan({}));
        job.wait();
        EXPECT_TRUE(rec.outcome.stopped);
        EXPECT_EQ(rec.outcome.kind, ScanOutcome::Kind::Results);
        EXPECT_GT(rec.files(), 0u);
        EXPECT_LT(rec.files(), 400u);
        EXPECT_EQ(rec.files(), rec.outcome.stats.files);
    }
}

TEST(ScanJob, LogsTheStartCodesBeforeTheScansOwn) {
    test::TempDir dir;
    const auto log = dir / "OrmBkf.log";
    Recorder rec;
    ScanJob job(rec);
    job.setLogPath(log);
    job.setBackupPath(dir / "missing.bkf");
    EXPECT_FALSE(job.prepareScan({}));
    EXPECT_EQ(test::readFileBytes(log), test::utf16le(u"SUCC 0002\r\nSUCC 0003\r\nSUCC 0004\r\n"))
        << "0004 is written also when the open then fails";

    test::writeFileBytes(dir / "small.bkf", std::string(1000, '\0'));
    job.setBackupPath(dir / "small.bkf");
    ASSERT_TRUE(job.prepareScan({}));
    job.wait();
    EXPECT_EQ(test::readFileBytes(log), test::utf16le(u"SUCC 0002\r\nSUCC 0003\r\nSUCC 0004\r\n"
                                                      u"SUCC 0002\r\nSUCC 0003\r\nSUCC 0004\r\n"
                                                      u"SUCC 0005\r\nSUCC 0006\r\n"));
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define BKF_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BKF_SANITIZED 1
#endif
#endif

TEST(ScanJob, SizesAndOffsetsBeyondFourGiBInASparseBackup) {
#ifdef BKF_SANITIZED
    // Reading five GiB of holes takes seconds; under the sanitizers, minutes.
    // Scan.DataBeyondFourGiB covers the same figures there from memory.
    GTEST_SKIP() << "too slow under the sanitizers";
#endif
    test::TempDir dir;
    const auto path = dir / "big.bkf";
    constexpr std::uint64_t kHuge = std::uint64_t{5} << 30;
    {
        tools::FileSink sink(path);
        BackupWriter w(sink);
        w.beginSet({.name = u"Big"});
        tools::FileItem huge;
        huge.name = u"huge.bin";
        huge.content = Content::zeros(kHuge);
        w.file(huge);
        tools::FileItem after;
        after.name = u"after.txt";
        after.content = Content::text("behind five GiB");
        w.file(after);
        w.finish();
        sink.close();
    }
#ifdef _WIN32
    DWORD high = 0;
    const DWORD low = GetCompressedFileSizeW(path.c_str(), &high);
    ASSERT_FALSE(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR);
    const std::uint64_t allocated = (std::uint64_t{high} << 32) | low;
#else
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const std::uint64_t allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
#endif
    if (allocated > (std::uint64_t{64} << 20)) {
        GTEST_SKIP() << "the temporary folder keeps no sparse files";
    }
    Recorder rec;
    ScanJob job(rec);
    job.setBackupPath(path);
    ASSERT_TRUE(job.prepareScan({}));
    job.wait();
    ASSERT_EQ(rec.files(), 2u);
    std::vector<FoundFile> files;
    for (const auto& e : rec.events) {
        if (!e.isFolder) files.push_back(e.file);
    }
    EXPECT_EQ(files[0].size, static_cast<std::int64_t>(kHuge)) << "not the size modulo 4 GiB";
    EXPECT_GT(files[1].dataOffset, static_cast<std::int64_t>(kHuge));
    EXPECT_EQ(files[1].path, u"BKF\\BACKUP SET 1(Big)\\after.txt");
}

}  // namespace
}  // namespace bkf
