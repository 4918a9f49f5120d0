#include "engine/scan.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "catalogue/text.h"
#include "engine/blocks.h"
#include "engine/tape_format.h"
#include "save/output_naming.h"
#include "save/recovery_log.h"

namespace bkf {

namespace {

constexpr std::size_t kNameLimit = 261;  // names of 261 code units or more are refused
constexpr std::size_t kSetNameSizeLimit = 261;  // set names of 261 bytes or more are not taken
constexpr std::size_t kReadBlock = 32 * mtf::kChunkSize;  // bytes fetched per read request
constexpr std::size_t kReadBuffers = 3;                    // blocks read ahead of the examination

// Hands out the file's chunks in order. A second thread reads the file in
// large blocks ahead of the examination, so reading and examining overlap. A
// block that cannot be read whole is read again chunk by chunk, and a chunk's
// missing bytes are zeros: a bad spot costs only the chunk it lies in.
class ChunkReader {
public:
    ChunkReader(ByteSource& source, std::uint64_t fileSize)
        : source_(source), fileSize_(fileSize), blocks_((fileSize + kReadBlock - 1) / kReadBlock) {
        // A small file needs no more than its own size.
        const auto bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, fileSize));
        for (auto& b : buffers_) b.bytes.resize(bufferSize);
        if (blocks_ > 0) reader_ = std::thread([this] { readAhead(); });
    }
    ~ChunkReader() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        if (reader_.joinable()) reader_.join();
    }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // The `length` bytes at `position`, a chunk boundary; they lie in one block.
    std::span<const std::uint8_t> chunk(std::uint64_t position, std::size_t length) {
        const std::uint64_t block = position / kReadBlock;
        std::unique_lock lock(mutex_);
        if (block != current_) {
            // The examination has moved on: the block before may be refilled.
            if (current_ != kNone) {
                consumed_ = current_ + 1;
                changed_.notify_all();
            }
            current_ = block;
            changed_.wait(lock, [&] { return readUpTo_ > block; });
        }
        const Buffer& b = buffers_[block % kReadBuffers];
        return {b.bytes.data() + (position - block * kReadBlock), length};
    }

    std::uint64_t readErrors() const {
        std::lock_guard lock(mutex_);
        return readErrors_;
    }

private:
    struct Buffer {
        std::vector<std::uint8_t> bytes;
    };
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};

    void readAhead() {
        for (std::uint64_t block = 0; block < blocks_; ++block) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return quit_ || block < consumed_ + kReadBuffers; });
                if (quit_) return;
            }
            const std::uint64_t start = block * kReadBlock;
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, fileSize_ - start));
            const std::uint64_t errors = fill(buffers_[block % kReadBuffers].bytes.data(), start, want);
            {
                std::lock_guard lock(mutex_);
                readErrors_ += errors;
                readUpTo_ = block + 1;
            }
            changed_.notify_all();
        }
    }

    std::uint64_t fill(std::uint8_t* out, std::uint64_t start, std::size_t want) {
        const ReadResult got = source_.read(start, {out, want});
        if (got.bytes == want) return 0;
        std::uint64_t errors = 0;
        for (std::size_t at = (got.bytes / mtf::kChunkSize) * mtf::kChunkSize; at < want; at += mtf::kChunkSize) {
            const std::size_t length = std::min(mtf::kChunkSize, want - at);
            const ReadResult part = source_.read(start + at, {out + at, length});
            if (part.bytes < length) {
                std::memset(out + at + part.bytes, 0, length - part.bytes);
                ++errors;
            }
        }
        return errors;
    }

    ByteSource& source_;
    const std::uint64_t fileSize_;
    const std::uint64_t blocks_;
    std::array<Buffer, kReadBuffers> buffers_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t readUpTo_ = 0;   // blocks 0..readUpTo_-1 have been read
    std::uint64_t consumed_ = 0;   // blocks 0..consumed_-1 are no longer needed
    std::uint64_t current_ = kNone;
    std::uint64_t readErrors_ = 0;
    bool quit_ = false;
    std::thread reader_;
};

class Scanner {
public:
    Scanner(ScanSink& sink, RecoveryLog* log, ScanStats& stats) : sink_(sink), log_(log), stats_(stats) {}

    // Examines one slot; `block` runs from the slot to the end of the chunk's bytes.
    void examine(ByteSpan block, std::uint64_t position, int kind, bool lastSlot, bool partial) {
        // A fault in one damaged block loses only that block.
        try {
            switch (static_cast<TapeBlockId>(kind)) {
                case TapeBlockId::Sset: backupSet(block, partial); break;
                case TapeBlockId::Dirb: folder(block); break;
                case TapeBlockId::File:
                    file(block, position, partial || lastSlot ? mtf::kLastSlotStreamWindow : mtf::kStreamWindow);
                    break;
                default: break;
            }
        } catch (...) {
        }
    }

    void log(LogCode code) {
        if (log_) log_->write(code);
    }

private:
    void backupSet(ByteSpan block, bool partial) {
        if (!partial) log(LogCode::SetFound);
        const auto address = readTapeAddress(block, mtf::kSsetNameSize);
        if (!address || address->size >= kSetNameSizeLimit) return;
        std::u16string name;
        try {
            // The final partial chunk reads the name like a folder name: a
            // trailing 0x0080 or 0x0010 stays, and a double quote is kept.
            auto read = partial ? readTapeName(block, *address) : readSetName(block);
            if (read) name = std::move(*read);
            for (char16_t& c : name) {
                if (c == u'\\' || c == u'/' || c == u':' || c == u'\r' || c == u'\n' || (!partial && c == u'"')) c = u'_';
            }
            if (!isCleanName(name)) name.clear();
        } catch (...) {
            name.clear();
        }
        ++stats_.sets;
        setLabel_ = u"BACKUP SET " + decimalText(stats_.sets) + u"(" + name + u")";
    }

    void folder(ByteSpan block) {
        log(LogCode::FolderFound);
        const auto address = readTapeAddress(block, mtf::kDirbNameSize);
        if (!address) return;
        auto name = readTapeName(block, *address);
        if (!name) return;  // reaches past the chunk: this block is lost
        std::u16string folder = std::move(*name);
        if (!isCleanName(folder) || folder.size() >= kNameLimit) {
            folder = u"lost dir" + decimalText(stats_.lostFolders++) + u"\\";
        }
        if (folder.empty()) {
            folder = u"\\";
        } else if (folder.front() != u'\\') {
            folder.insert(folder.begin(), u'\\');
        }
        if (folder.back() != u'\\') folder.push_back(u'\\');
        currentFolder_ = std::move(folder);
        ++stats_.folders;
        std::u16string treePath = u"BKF\\" + setLabel_ + currentFolder_;
        if (treePath.size() < kNameLimit) sink_.folderFound(treePath);
    }

    void file(ByteSpan block, std::uint64_t position, std::size_t window) {
        log(LogCode::FileFound);
        const auto stan = findStreamHeader(block, window);
        if (!stan) return;
        const auto address = readTapeAddress(block, mtf::kFileNameSize);
        if (!address) return;
        auto read = readTapeName(block, *address);
        if (!read || read->empty()) return;
        std::u16string_view name = *read;
        if (name.front() == u'\\') name.remove_prefix(1);
        if (name.empty() || !isCleanName(name) || name.size() >= kNameLimit) return;
        // The whole stream header must lie within the chunk.
        if (*stan + mtf::kStreamHeaderSize > block.size()) return;

        found_.path.assign(u"BKF\\");
        found_.path += setLabel_;
        if (currentFolder_.empty()) {
            found_.path += u'\\';
        } else {
            if (currentFolder_.front() != u'\\') found_.path += u'\\';
            found_.path += currentFolder_;
        }
        found_.path += name;
        found_.size = static_cast<std::int64_t>(mtf::load64(block.data() + *stan + mtf::kStreamLength));
        found_.dataOffset = static_cast<std::int64_t>(position + *stan + mtf::kStreamHeaderSize);
        found_.modified = tapeDateToFileTime(block.subspan(mtf::kFileModified, mtf::kTapeDateSize));
        found_.accessed = tapeDateToFileTime(block.subspan(mtf::kFileAccessed, mtf::kTapeDateSize));
        found_.created = tapeDateToFileTime(block.subspan(mtf::kFileCreated, mtf::kTapeDateSize));
        sink_.fileFound(found_);
        log(LogCode::FileCatalogued);
        ++stats_.files;
    }

    ScanSink& sink_;
    RecoveryLog* log_;
    ScanStats& stats_;
    std::u16string setLabel_ = u"BACKUP SET 0";
    std::u16string currentFolder_;
    FoundFile found_;
};

bool stopped(const std::atomic<bool>& running) { return !running.load(std::memory_order_relaxed); }

}  // namespace

int scanBackupFile(ByteSource& source, ScanSink& sink, const std::atomic<bool>& running,
                   RecoveryLog* log, ScanStats* statsOut) {
    ScanStats localStats;
    ScanStats& stats = statsOut ? *statsOut : localStats;
    stats = {};
    Scanner scanner(sink, log, stats);
    scanner.log(LogCode::ScanStarted);
    const std::uint64_t fileSize = source.size();
    ChunkReader reader(source, fileSize);

    std::uint64_t position = 0;
    while (position < fileSize) {
        // Every line logged so far reaches the file before the next chunk is examined.
        if (log) log->flush();
        scanner.log(LogCode::ChunkLoop);
        if (stopped(running)) return kScanStopped;
        if (fileSize - position < mtf::kChunkSize) break;
        const auto chunk = reader.chunk(position, mtf::kChunkSize);
        scanner.log(LogCode::ChunkRead);
        for (std::size_t slot = 0; slot < mtf::kChunkSize; slot += mtf::kSlotSize) {
            scanner.log(LogCode::SlotStart);
            if (stopped(running)) return kScanStopped;
            const ByteSpan block = chunk.subspan(slot);
            const int kind = identifyBlock(block);
            if (kind != static_cast<int>(TapeBlockId::Tape)) scanner.log(LogCode::SlotIdentified);
            if (kind > 0) {
                scanner.examine(block, position + slot, kind, slot == mtf::kChunkSize - mtf::kSlotSize, false);
            }
        }
        position += mtf::kChunkSize;
        stats.bytesScanned = position;
        sink.chunkScanned(position, fileSize);
    }

    // The final partial chunk: its slots are examined with a 512-byte stream
    // window, without the chunk and slot codes and without a progress update.
    const std::uint64_t rest = fileSize - position;
    if (rest > mtf::kSlotSize) {
        const auto chunk = reader.chunk(position, static_cast<std::size_t>(rest));
        for (std::size_t slot = 0; slot + mtf::kSlotSize <= rest; slot += mtf::kSlotSize) {
            if (stopped(running)) return kScanStopped;
            const ByteSpan block = chunk.subspan(slot);
            const int kind = identifyBlock(block);
            if (kind > 0) scanner.examine(block, position + slot, kind, false, true);
        }
    }
    stats.bytesScanned = fileSize;
    stats.readErrors = reader.readErrors();
    if (log) log->flush();
    return kScanComplete;
}

std::u16string progressText(std::uint64_t scanned, std::uint64_t fileSize) {
    return u"Progress : " + decimalText(scanned) + u" \\ " + decimalText(fileSize);
}

int progressPercent(std::uint64_t scanned, std::uint64_t fileSize) {
    if (fileSize == 0 || scanned >= fileSize) return 100;
    // scanned * 100 / fileSize without overflowing for any 64-bit size.
    if (scanned <= UINT64_MAX / 100) return static_cast<int>(scanned * 100 / fileSize);
    return static_cast<int>(scanned / (fileSize / 100));
}

std::u16string foundFilesText(std::uint64_t count) { return u"File(s) Found : " + decimalText(count); }

}  // namespace bkf
