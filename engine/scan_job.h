// One scan of a backup file from the user's start to its outcome, on a worker
// thread: the backup file is opened for reading only, under a shared lock
// that keeps writers out (see BackupAccess), scanned,
// and closed; what the scan finds reaches the observer in batches, in file
// order; a stop keeps everything found so far.
//
//   prepareScan (caller's thread): "SUCC 0002", empty the catalogue, "SUCC 0003", startScan
//   startScan: "SUCC 0004", open the file; on success start scanWorker
//   scanWorker (worker thread): status text, scan, close, outcome
//   stopScan (any thread): clear the running flag; never waits for the worker
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/batch_queue.h"
#include "engine/recovery_log.h"
#include "engine/scan.h"

namespace bkf {

// One thing the scan found: a file, or a folder path for the tree.
struct ScanEvent {
    bool isFolder = false;
    FoundFile file;  // for a folder, file.path is the folder's tree path
};

struct ScanProgress {
    std::uint64_t scanned = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t filesFound = 0;
    int percent = 0;
};

// A range of the backup's bytes, [begin, end).
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool operator==(const ByteRange&) const = default;
};

struct ScanOutcome {
    enum class Kind { Results, NothingFound, OpenFailed };
    Kind kind = Kind::NothingFound;
    std::string reason;  // the system's reason when the file could not be opened
    bool stopped = false;
    std::string failure;            // set when the scan itself failed (it ended early, keeping what was found)
    std::vector<ByteRange> unread;  // bytes that could not be read (examined as zeros), in order
    ScanStats stats;
};

// A byte source that passes reads on and notes the bytes that could not be
// read. The scan reads large blocks and, when one fails, reads each of its
// chunks again: only failures of requests no longer than a chunk are noted,
// so the ranges name the chunks lost, not the whole block around them.
class UnreadRecorder final : public ByteSource {
public:
    explicit UnreadRecorder(ByteSource& inner) : inner_(inner) {}
    std::uint64_t size() const override { return inner_.size(); }
    std::intptr_t nativeHandle() const override { return inner_.nativeHandle(); }
    std::uint64_t nextData(std::uint64_t offset) override { return inner_.nextData(offset); }
    ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) override;
    // The ranges noted so far, sorted and merged.
    std::vector<ByteRange> ranges() const;

private:
    ByteSource& inner_;
    mutable std::mutex mutex_;
    std::vector<ByteRange> ranges_;
};

// Called on the worker thread (scanFinished also on the caller's thread when
// the open fails). Implementations hand the data to whichever thread owns the
// catalogue.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // True while the scan proper runs (the window shows its "searching"
    // line), false when it ends.
    virtual void scanSearching(bool searching) { (void)searching; }
    // Found files and folder paths, in file order: for a file, append the
    // entry and add its display path to the tree; for a folder, add its path.
    // The observer may take the vector or leave it: what it leaves is
    // overwritten by the next batch, which reuses its storage.
    virtual void scanEvents(std::vector<ScanEvent>&& events) = 0;
    // A few times a second, and once at the end of the main pass.
    virtual void scanProgress(const ScanProgress& progress) { (void)progress; }
    virtual void scanFinished(const ScanOutcome& outcome) = 0;
};

// A batch of what a scan found, packed for the hand-over: the paths in one
// string, so that a batch waiting costs one allocation, not one per path.
struct FoundBatch {
    struct Item {
        std::int64_t size = 0;
        std::int64_t dataOffset = 0;
        FileTime modified = 0;
        FileTime accessed = 0;
        FileTime created = 0;
        std::size_t pathStart = 0;
        std::size_t pathLength = 0;
        bool isFolder = false;
    };
    std::vector<Item> items;
    std::u16string paths;

    std::u16string_view path(const Item& item) const {
        return std::u16string_view(paths).substr(item.pathStart, item.pathLength);
    }
    static FoundBatch pack(const std::vector<ScanEvent>& events);
};

// What a scan hands to the thread that owns the catalogue.
using ScanQueue = BatchQueue<FoundBatch, ScanProgress, ScanOutcome>;

// An observer that puts everything into a ScanQueue, for its owner to take.
// The events are copied, packed, and left where they are: the scan reuses
// them for its next batch, so that finding a file allocates nothing.
class QueuedScanObserver final : public ScanObserver {
public:
    explicit QueuedScanObserver(ScanQueue& queue) : queue_(queue) {}
    void scanEvents(std::vector<ScanEvent>&& events) override { queue_.push(FoundBatch::pack(events)); }
    void scanProgress(const ScanProgress& progress) override { queue_.progress(progress); }
    void scanFinished(const ScanOutcome& outcome) override { queue_.finish(outcome); }

private:
    ScanQueue& queue_;
};

class ScanJob {
public:
    // `observer` must outlive the job.
    explicit ScanJob(ScanObserver& observer);
    // Stops a running scan and waits for its worker.
    ~ScanJob();
    ScanJob(const ScanJob&) = delete;
    ScanJob& operator=(const ScanJob&) = delete;

    void setBackupPath(std::filesystem::path path) { path_ = std::move(path); }
    // Recovery-log lines go to this file when set, nowhere otherwise. With
    // `enabled` (which must outlive the job) each line is written only while
    // it reads true, so switching the log off or on takes effect at the next line.
    void setLogPath(std::optional<std::filesystem::path> log, const std::atomic<bool>* enabled = nullptr) {
        logPath_ = std::move(log);
        logEnabled_ = enabled;
    }
    // How the backup is scanned (default: off-grid blocks too).
    void setOptions(ScanOptions options) { options_ = options; }
    // How often batches and progress reach the observer (default 50 ms).
    void setReportInterval(std::chrono::milliseconds interval) { interval_ = interval; }

    // Logs "SUCC 0002", calls `emptyCatalogue`, logs "SUCC 0003", then startScan.
    bool prepareScan(const std::function<void()>& emptyCatalogue);
    // Logs "SUCC 0004" and opens the backup file. On success the worker starts
    // and true is returned; on failure the observer gets an OpenFailed outcome.
    bool startScan();
    // Clears the running flag; the worker notices before its next chunk or slot.
    void stopScan() { running_.store(false, std::memory_order_relaxed); }
    // Whether a worker is still between its start and its end.
    bool scanInProgress() const { return inProgress_.load(); }
    // Waits for the worker to end (nothing when none was started).
    void wait();

private:
    void scanWorker(std::unique_ptr<ByteSource> source);
    void log(LogCode code);

    ScanObserver& observer_;
    std::filesystem::path path_;
    std::optional<std::filesystem::path> logPath_;
    const std::atomic<bool>* logEnabled_ = nullptr;
    std::unique_ptr<RecoveryLog> log_;
    std::chrono::milliseconds interval_{50};
    ScanOptions options_;
    std::atomic<bool> running_{false};
    std::atomic<bool> inProgress_{false};
    std::thread worker_;
};

}  // namespace bkf
