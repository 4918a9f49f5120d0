#include "engine/scan_job.h"

#include <algorithm>
#include <exception>

#include "engine/backup_file.h"
#include "engine/tape_format.h"

namespace bkf {

FoundBatch FoundBatch::pack(const std::vector<ScanEvent>& events) {
    FoundBatch batch;
    std::size_t units = 0;
    for (const ScanEvent& e : events) units += e.file.path.size();
    batch.paths.reserve(units);
    batch.items.reserve(events.size());
    for (const ScanEvent& e : events) {
        const FoundFile& f = e.file;
        batch.items.push_back(
            {f.size, f.dataOffset, f.modified, f.accessed, f.created, batch.paths.size(), f.path.size(), e.isFolder});
        batch.paths += f.path;
    }
    return batch;
}

namespace {

// Collects what the scan finds and passes it on in batches, by time, never
// one call per entry.
class BatchingSink final : public ScanSink {
public:
    BatchingSink(ScanObserver& observer, std::chrono::milliseconds interval)
        : observer_(observer), interval_(interval), last_(std::chrono::steady_clock::now()) {
        events_.reserve(kMaxBatch);
    }

    void fileFound(const FoundFile& file) override {
        ScanEvent& event = next();
        event.isFolder = false;
        event.file = file;
        ++files_;
        if (used_ >= kMaxBatch) flush();
    }
    void folderFound(std::u16string_view treePath) override {
        ScanEvent& event = next();
        event.isFolder = true;
        FoundFile& f = event.file;
        f.path.assign(treePath);
        f.size = f.dataOffset = f.blockOffset = 0;
        f.modified = f.accessed = f.created = 0;
        if (used_ >= kMaxBatch) flush();
    }
    void chunkScanned(std::uint64_t scanned, std::uint64_t fileSize) override {
        progress_ = {scanned, fileSize, files_, progressPercent(scanned, fileSize)};
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ >= interval_ || scanned == fileSize) {
            last_ = now;
            flush();
            observer_.scanProgress(progress_);
        }
    }
    void flush() {
        if (used_ == 0) return;
        events_.resize(used_);
        used_ = 0;
        observer_.scanEvents(std::move(events_));
        // Events the observer left in the vector lend their storage to the
        // next batch: their paths are overwritten without a new allocation.
        if (events_.capacity() < kMaxBatch) events_.reserve(kMaxBatch);
    }

private:
    // A batch is also passed on when it is this big, so that what is found
    // does not pile up while a slow observer catches up.
    static constexpr std::size_t kMaxBatch = 8192;
    ScanObserver& observer_;
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point last_;
    // The next event to be handed on. The event's slot is reused when an
    // earlier batch left one there, or appended.
    ScanEvent& next() {
        if (used_ < events_.size()) return events_[used_++];
        ++used_;
        return events_.emplace_back();
    }

    std::vector<ScanEvent> events_;
    std::size_t used_ = 0;  // events of the batch being collected (the rest of events_ are spare)
    std::uint64_t files_ = 0;
    ScanProgress progress_;
};

}  // namespace

ReadResult UnreadRecorder::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    ReadResult result = inner_.read(offset, out);
    if ((result.failed || result.bytes < out.size()) && out.size() <= mtf::kChunkSize) {
        const std::uint64_t end = std::min<std::uint64_t>(offset + out.size(), inner_.size());
        if (offset + result.bytes < end) {
            std::lock_guard lock(mutex_);
            ranges_.push_back({offset + result.bytes, end});
        }
    }
    return result;
}

std::vector<ByteRange> UnreadRecorder::ranges() const {
    std::vector<ByteRange> sorted;
    {
        std::lock_guard lock(mutex_);
        sorted = ranges_;
    }
    std::sort(sorted.begin(), sorted.end(), [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : sorted) {
        if (!merged.empty() && r.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, r.end);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

ScanJob::ScanJob(ScanObserver& observer) : observer_(observer) {}

ScanJob::~ScanJob() {
    stopScan();
    wait();
}

void ScanJob::log(LogCode code) {
    if (log_) log_->write(code);
}

bool ScanJob::prepareScan(const std::function<void()>& emptyCatalogue) {
    wait();  // a previous worker has ended by the time its outcome was shown
    log_ = logPath_ ? std::make_unique<RecoveryLog>(*logPath_, logEnabled_) : nullptr;
    log(LogCode::PrepareStarted);
    if (emptyCatalogue) emptyCatalogue();
    log(LogCode::CatalogueEmptied);
    return startScan();
}

bool ScanJob::startScan() {
    wait();
    if (!log_ && logPath_) log_ = std::make_unique<RecoveryLog>(*logPath_, logEnabled_);
    log(LogCode::OpeningBackup);
    if (log_) log_->flush();
    OpenedBackup opened = openBackupFile(path_, BackupAccess::Exclusive);
    if (!opened) {
        running_.store(false);
        ScanOutcome outcome;
        outcome.kind = ScanOutcome::Kind::OpenFailed;
        outcome.reason = opened.error().message();
        log_.reset();
        observer_.scanFinished(outcome);
        return false;
    }
    running_.store(true);
    inProgress_.store(true);
    worker_ = std::thread(&ScanJob::scanWorker, this, std::move(*opened));
    return true;
}

void ScanJob::scanWorker(std::unique_ptr<ByteSource> source) {
    observer_.scanSearching(true);
    ScanOutcome outcome;
    // Nothing thrown may leave the worker: the scan ends, keeping what was found, and says why.
    try {
        UnreadRecorder recorder(*source);
        BatchingSink sink(observer_, interval_);
        const ScanEnd result = scanBackupFile(recorder, sink, running_, log_.get(), &outcome.stats, options_);
        outcome.stopped = result == ScanEnd::Stopped;
        sink.flush();
        outcome.unread = recorder.ranges();
    } catch (const std::exception& e) {
        outcome.failure = e.what();
    } catch (...) {
        outcome.failure = "unknown error";
    }
    observer_.scanSearching(false);
    source.reset();  // closes the backup file and releases its lock
    if (log_) log_->flush();
    running_.store(false);
    outcome.kind = outcome.stats.files > 0 ? ScanOutcome::Kind::Results : ScanOutcome::Kind::NothingFound;
    observer_.scanFinished(outcome);
    inProgress_.store(false);
}

void ScanJob::wait() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

}  // namespace bkf
