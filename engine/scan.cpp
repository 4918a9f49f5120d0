#include "engine/scan.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/names.h"
#include "base/text.h"
#include "engine/blocks.h"
#include "engine/read_buffer.h"
#include "engine/recovery_log.h"
#include "engine/tape_format.h"

namespace bkf {

namespace {

constexpr std::size_t kNameLimit = 261;                    // names of 261 code units or more are refused
constexpr std::size_t kSetNameSizeLimit = 261;             // set names of 261 bytes or more are not taken
constexpr std::size_t kReadBlock = 32 * mtf::kChunkSize;   // bytes fetched per read request
constexpr std::size_t kReadBuffers = 3;                    // blocks read ahead of the examination
const std::array<std::uint8_t, mtf::kChunkSize> kZeros{};  // a chunk of a hole, for the tap

// Hands out the file's chunks in order. A second thread reads the file in
// large blocks ahead of the examination, so reading and examining overlap. A
// block that cannot be read whole is read again chunk by chunk, and a chunk's
// missing bytes are zeros: a bad spot costs only the chunk it lies in. A
// block that lies wholly in a hole of a sparse file is not read at all: it is
// all zeros, and the examination is told so (hole()).
//
// When asked to, it also finds the descriptor candidates of every block (the
// positions where a block may stand off the grid, see OffGridBlocks). That
// search falls to whichever thread has time: the reading thread searches the
// blocks it has read while it waits for a buffer to come free (the
// examination is the slower side, as when files are saved along the scan);
// the examining thread searches a block it reaches before anyone has (the
// reading is the slower side). Either way the candidates are the same.
class ChunkReader {
public:
    ChunkReader(ByteSource& source, std::uint64_t fileSize, bool findCandidates)
        : source_(source),
          fileSize_(fileSize),
          blocks_((fileSize + kReadBlock - 1) / kReadBlock),
          findCandidates_(findCandidates) {
        // A small file needs no more than its own size; behind a read block
        // there is room for the start of the next one (see window()).
        const auto bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, fileSize)) +
                                (fileSize > kReadBlock ? mtf::kChunkSize : 0);
        for (auto& b : buffers_) b.bytes = ReadBuffer(bufferSize);
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

    // The `length` bytes of the chunk at `position` (a chunk boundary),
    // followed by up to one more chunk's bytes (fewer at the end of the file),
    // in one piece: a block that begins near the end of a chunk is seen whole.
    std::span<const std::uint8_t> window(std::uint64_t position, std::size_t length) {
        const std::uint64_t block = position / kReadBlock;
        std::unique_lock lock(mutex_);
        if (block != current_) enter(block, lock);
        Buffer& b = buffers_[block % kReadBuffers];
        const std::uint64_t blockEnd = std::min((block + 1) * kReadBlock, fileSize_);
        const std::uint64_t end = std::min(position + length + mtf::kChunkSize, fileSize_);
        if (end > blockEnd && b.tailOf != block) {
            // The next block's first chunk, copied behind this block's bytes.
            // The next block is never refilled before this one is consumed.
            changed_.wait(lock, [&] { return readUpTo_ > block + 1; });
            const auto tail = static_cast<std::size_t>(std::min<std::uint64_t>(mtf::kChunkSize, fileSize_ - blockEnd));
            std::memcpy(b.bytes.data() + kReadBlock, buffers_[(block + 1) % kReadBuffers].bytes.data(), tail);
            b.tailOf = block;
        }
        return {b.bytes.data() + (position - block * kReadBlock), static_cast<std::size_t>(end - position)};
    }

    // Whether the chunk at `position`, handed out by window(), lies in a
    // block that is all hole (its bytes in the window are not to be looked at).
    bool hole(std::uint64_t position) {
        std::lock_guard lock(mutex_);
        return buffers_[(position / kReadBlock) % kReadBuffers].hole;
    }

    // The descriptor candidates found in the block of `position` (handed out
    // by window()), as offsets from the block's start, in order; they cover
    // the positions before searchedTo(position).
    std::span<const std::uint32_t> candidates(std::uint64_t position) const {
        return buffers_[(position / kReadBlock) % kReadBuffers].candidates;
    }
    // The offset in the file up to which candidates() covers its block: every
    // position whose six bytes lie in the block (the examination looks at the
    // few that reach into the next one itself).
    std::uint64_t searchedTo(std::uint64_t position) const {
        const std::uint64_t start = position / kReadBlock * kReadBlock;
        const std::uint64_t end = std::min(start + kReadBlock, fileSize_);
        return end - start >= kCandidateBytes ? end - (kCandidateBytes - 1) : start;
    }

    std::uint64_t readErrors() const {
        std::lock_guard lock(mutex_);
        return readErrors_;
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    static constexpr std::uint64_t kCandidateBytes = 6;  // the bytes a descriptor candidate is told by
    // Who finds a block's candidates: nobody yet, the reading thread or the
    // examining thread (searching now), or found.
    enum class Search { Open, Reader, Examiner, Done };
    struct Buffer {
        ReadBuffer bytes;
        std::uint64_t tailOf = kNone;  // the block whose next chunk is copied behind it
        bool hole = false;             // all hole: only its first chunk was set (to zeros)
        Search search = Search::Done;
        std::vector<std::uint32_t> candidates;
    };

    // The examination moves to `block`: the one before may be refilled; this
    // one must be read, and its candidates found.
    void enter(std::uint64_t block, std::unique_lock<std::mutex>& lock) {
        if (current_ != kNone) {
            consumed_ = current_ + 1;
            changed_.notify_all();
        }
        current_ = block;
        changed_.wait(lock, [&] { return readUpTo_ > block; });
        Buffer& b = buffers_[block % kReadBuffers];
        if (b.search == Search::Open) {
            search(block, Search::Examiner, lock);
        } else {
            changed_.wait(lock, [&] { return b.search == Search::Done; });
        }
    }

    // Finds the candidates of `block` (read, not yet consumed) as `who`,
    // with the lock let go meanwhile.
    void search(std::uint64_t block, Search who, std::unique_lock<std::mutex>& lock) {
        Buffer& b = buffers_[block % kReadBuffers];
        b.search = who;
        lock.unlock();
        const std::uint64_t start = block * kReadBlock;
        const auto length = static_cast<std::size_t>(searchedTo(start) - start);
        // Only the block's own bytes: what lies behind them in the buffer
        // (the next block's start) is copied there later, by the examination.
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, fileSize_ - start));
        findDescriptorCandidates(std::span<const std::uint8_t>(b.bytes.data(), size), length, b.candidates);
        lock.lock();
        b.search = Search::Done;
        changed_.notify_all();
    }

    // A block read and not yet consumed whose candidates nobody has looked
    // for; the newest first, as the examination reaches it last.
    std::optional<std::uint64_t> unsearchedBlock() const {
        for (std::uint64_t block = readUpTo_; block-- > consumed_;) {
            if (buffers_[block % kReadBuffers].search == Search::Open) return block;
        }
        return std::nullopt;
    }

    void readAhead() {
        for (std::uint64_t block = 0; block < blocks_; ++block) {
            {
                std::unique_lock lock(mutex_);
                // Waiting for a buffer to come free: time to search what was read.
                while (!quit_ && block >= consumed_ + kReadBuffers) {
                    if (const auto open = unsearchedBlock()) {
                        search(*open, Search::Reader, lock);
                    } else {
                        changed_.wait(lock);
                    }
                }
                if (quit_) return;
            }
            const std::uint64_t start = block * kReadBlock;
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadBlock, fileSize_ - start));
            Buffer& buffer = buffers_[block % kReadBuffers];
            // A block in a hole: zeros, of which only the first chunk may be
            // seen (behind the block before it). Zeros hold no candidate.
            buffer.hole = source_.nextData(start) >= start + want;
            const std::uint64_t errors = buffer.hole
                                             ? (std::memset(buffer.bytes.data(), 0, std::min(want, mtf::kChunkSize)), 0)
                                             : fill(buffer.bytes.data(), start, want);
            if (buffer.hole || !findCandidates_) buffer.candidates.clear();
            {
                std::lock_guard lock(mutex_);
                buffer.search = buffer.hole || !findCandidates_ ? Search::Done : Search::Open;
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
    const bool findCandidates_;
    std::array<Buffer, kReadBuffers> buffers_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t readUpTo_ = 0;  // blocks 0..readUpTo_-1 have been read
    std::uint64_t consumed_ = 0;  // blocks 0..consumed_-1 are no longer needed
    std::uint64_t current_ = kNone;
    std::uint64_t readErrors_ = 0;
    bool quit_ = false;
    std::thread reader_;
};

// How a block is looked at: where it stands decides its stream window and
// how an SSET name is read.
enum class Placement {
    Slot,  // a slot of a whole chunk: 1,024-byte window (512 in the last slot)
    LastSlot,
    Partial,  // a slot of the final partial chunk: 512-byte window, names read like folders
    OffGrid,  // checksummed, anywhere: 1,024-byte window, read as in a whole chunk
};

class Scanner {
public:
    Scanner(ScanSink& sink, RecoveryLog* log, ScanStats& stats, ScanTap* tap)
        : sink_(sink), log_(log), stats_(stats), tap_(tap) {}

    // Examines one block; `block` runs from its first byte to the end of the
    // bytes it may use. Returns whether a file or folder block was taken (an
    // SSET always counts as taken). `quiet`: a second look at a block whose
    // codes were logged already.
    bool examine(ByteSpan block, std::uint64_t position, int kind, Placement where, bool quiet = false) {
        // The decoders are bounded and say "not a block" by returning
        // nothing, so a damaged block cannot throw; what can (memory, or the
        // sink and the tap the found file is handed to) is a failure of the
        // scan, which its caller reports, never a block quietly lost.
        switch (static_cast<TapeBlockId>(kind)) {
            case TapeBlockId::Sset:
                backupSet(block, where == Placement::Partial);
                return true;
            case TapeBlockId::Dirb:
                return folder(block, quiet);
            case TapeBlockId::File: {
                const bool narrow = where == Placement::LastSlot || where == Placement::Partial;
                return file(block, position, narrow ? mtf::kLastSlotStreamWindow : mtf::kStreamWindow, quiet);
            }
            default:
                break;
        }
        return false;
    }

    void log(LogCode code) {
        if (log_) log_->write(code);
    }
    // The codes a chunk of zeros gives: read, then each slot begun and identified (empty).
    void logZeroChunk() {
        if (!log_) return;
        log_->write(LogCode::ChunkRead);
        for (std::size_t slot = 0; slot < mtf::kSlotsPerChunk; ++slot) {
            log_->write(LogCode::SlotStart);
            log_->write(LogCode::SlotIdentified);
        }
    }
    void logOffGrid(std::uint64_t position) {
        if (log_) log_->write(logCodeLine(LogCode::OffGridBlock, position));
    }

private:
    void backupSet(ByteSpan block, bool partial) {
        if (!partial) log(LogCode::SetFound);
        const auto address = readTapeAddress(block, mtf::kSsetNameSize);
        if (!address || address->size >= kSetNameSizeLimit) return;
        std::u16string name;
        // The final partial chunk reads the name like a folder name: a
        // trailing 0x0080 or 0x0010 stays, and a double quote is kept.
        auto read = partial ? readTapeName(block, *address) : readSetName(block);
        if (read) name = std::move(*read);
        for (char16_t& c : name) {
            if (c == u'\\' || c == u'/' || c == u':' || c == u'\r' || c == u'\n' || (!partial && c == u'"')) c = u'_';
        }
        if (!isCleanName(name)) name.clear();
        ++stats_.sets;
        setLabel_ = u"BACKUP SET " + decimalText(stats_.sets) + u"(" + name + u")";
        setFolders_.clear();
        lostFolderOf_.clear();
    }

    bool folder(ByteSpan block, bool quiet) {
        if (!quiet) log(LogCode::FolderFound);
        const auto address = readTapeAddress(block, mtf::kDirbNameSize);
        if (!address) return false;
        auto name = readTapeName(block, *address);
        if (!name) return false;  // reaches past the bytes held: this block is lost
        std::u16string folder = std::move(*name);
        if (!isCleanName(folder) || folder.size() >= kNameLimit) {
            folder = lostFolderName();
        }
        if (folder.empty()) {
            folder = u"\\";
        } else if (folder.front() != u'\\') {
            folder.insert(folder.begin(), u'\\');
        }
        if (folder.back() != u'\\') folder.push_back(u'\\');
        currentFolder_ = std::move(folder);
        currentFolderId_ = mtf::load32(block.data() + mtf::kDirbId);
        setFolders_.insert_or_assign(*currentFolderId_, currentFolder_);
        ++stats_.folders;
        std::u16string treePath = u"BKF\\" + setLabel_ + currentFolder_;
        if (treePath.size() < kNameLimit) sink_.folderFound(treePath);
        return true;
    }

    // The folder a file goes under. Normally the most recent folder block's;
    // but when that is not the file's own (the file's folder block was lost,
    // or the file belongs to an earlier folder of its set), the folder its
    // directory id names among this set's folder blocks, or a lost folder of
    // its own for an id none of them has.
    const std::u16string& folderOf(std::uint32_t directoryId) {
        if (setFolders_.empty() || currentFolderId_ == directoryId) return currentFolder_;
        if (const auto known = setFolders_.find(directoryId); known != setFolders_.end()) return known->second;
        auto [lost, added] = lostFolderOf_.try_emplace(directoryId);
        if (added) lost->second = u"\\" + lostFolderName();
        return lost->second;
    }

    std::u16string lostFolderName() { return u"lost dir" + decimalText(stats_.lostFolders++) + u"\\"; }

    bool file(ByteSpan block, std::uint64_t position, std::size_t window, bool quiet) {
        if (!quiet) log(LogCode::FileFound);
        const auto stan = findStreamHeader(block, window);
        if (!stan) return false;
        const auto address = readTapeAddress(block, mtf::kFileNameSize);
        if (!address) return false;
        // The name is decoded into storage kept from file to file: a scan meets millions.
        if (!readTapeName(block, *address, name_) || name_.empty()) return false;
        std::u16string_view name = name_;
        if (name.front() == u'\\') name.remove_prefix(1);
        if (name.empty() || !isCleanName(name) || name.size() >= kNameLimit) return false;
        // The identifier and the length (the stream header's first 16 bytes)
        // must be held; the data starts 22 bytes on, wherever that is.
        if (*stan + mtf::kStreamLength + 8 > block.size()) return false;

        const std::u16string& folder = folderOf(mtf::load32(block.data() + mtf::kFileDirectoryId));
        found_.path.assign(u"BKF\\");
        found_.path += setLabel_;
        if (folder.empty()) {
            found_.path += u'\\';
        } else {
            if (folder.front() != u'\\') found_.path += u'\\';
            found_.path += folder;
        }
        found_.path += name;
        found_.size = static_cast<std::int64_t>(mtf::load64(block.data() + *stan + mtf::kStreamLength));
        found_.dataOffset = static_cast<std::int64_t>(position + *stan + mtf::kStreamHeaderSize);
        found_.blockOffset = static_cast<std::int64_t>(position);
        found_.modified = tapeDateToFileTime(block.subspan(mtf::kFileModified, mtf::kTapeDateSize));
        found_.accessed = tapeDateToFileTime(block.subspan(mtf::kFileAccessed, mtf::kTapeDateSize));
        found_.created = tapeDateToFileTime(block.subspan(mtf::kFileCreated, mtf::kTapeDateSize));
        sink_.fileFound(found_);
        if (tap_) tap_->fileFound(found_);
        log(LogCode::FileCatalogued);
        ++stats_.files;
        return true;
    }

    ScanSink& sink_;
    RecoveryLog* log_;
    ScanStats& stats_;
    ScanTap* tap_;
    std::u16string setLabel_ = u"BACKUP SET 0";
    std::u16string currentFolder_;
    std::optional<std::uint32_t> currentFolderId_;
    // Since the last set block: folder path by directory id, and the lost
    // folders given to ids none of its folder blocks had.
    std::unordered_map<std::uint32_t, std::u16string> setFolders_;
    std::unordered_map<std::uint32_t, std::u16string> lostFolderOf_;
    FoundFile found_;
    std::u16string name_;
};

bool stopped(const std::atomic<bool>& running) {
    return !running.load(std::memory_order_relaxed);
}

// The blocks of one stretch of the file (a chunk, or the final partial
// chunk) that stand off the slots examined there, in file order.
class OffGridBlocks {
public:
    OffGridBlocks(bool enabled, Scanner& scanner, ScanStats& stats)
        : enabled_(enabled), scanner_(scanner), stats_(stats) {}

    // `window`: the stretch's bytes and what follows them, as `reader` handed
    // them out; candidates are taken at the first `length` positions. Slots
    // examined there are the multiples of 512 below `slotsEnd`.
    void start(ByteSpan window, std::uint64_t position, std::size_t length, std::size_t slotsEnd,
               const ChunkReader& reader) {
        window_ = window;
        position_ = position;
        slotsEnd_ = slotsEnd;
        next_ = 0;
        candidates_.clear();
        if (!enabled_) return;
        // What the search of the read block found here, then the positions
        // it could not judge (their bytes reach into the next block).
        const auto found = reader.candidates(position);
        const auto from = static_cast<std::uint32_t>(position % kReadBlock);
        const auto to = static_cast<std::uint32_t>(from + length);
        for (auto at = std::lower_bound(found.begin(), found.end(), from); at != found.end() && *at < to; ++at) {
            candidates_.push_back(*at - from);
        }
        const std::uint64_t searched = reader.searchedTo(position);
        if (position + length > searched) {
            const auto skip = static_cast<std::size_t>(std::max(searched, position) - position);
            findDescriptorCandidates(window.subspan(skip), length - skip, edge_);
            for (const std::uint32_t at : edge_) candidates_.push_back(static_cast<std::uint32_t>(at + skip));
        }
    }

    // Examines the candidates before `end` (relative to the stretch); false
    // when stopped.
    bool examineUpTo(std::size_t end, const std::atomic<bool>& running) {
        for (; next_ < candidates_.size() && candidates_[next_] < end; ++next_) {
            const std::size_t at = candidates_[next_];
            if (at % mtf::kSlotSize == 0 && at < slotsEnd_) continue;  // a slot: examined there
            const ByteSpan block = window_.subspan(at);
            if (!headerChecksumHolds(block)) continue;
            if (stopped(running)) return false;
            ++stats_.offGridBlocks;
            scanner_.logOffGrid(position_ + at);
            scanner_.examine(block, position_ + at, identifyBlock(block), Placement::OffGrid);
        }
        return true;
    }

    // A slot's file or folder block its own rules did not take: taken after
    // all when its header checksum holds and more bytes (or a wider stream
    // window) than the slot had give it what it lacked.
    void secondLook(std::size_t slot, int kind) {
        if (!enabled_ || (kind != static_cast<int>(TapeBlockId::File) && kind != static_cast<int>(TapeBlockId::Dirb)))
            return;
        const ByteSpan block = window_.subspan(slot);
        if (!headerChecksumHolds(block)) return;
        if (scanner_.examine(block, position_ + slot, kind, Placement::OffGrid, true)) {
            ++stats_.offGridBlocks;
            scanner_.logOffGrid(position_ + slot);
        }
    }

private:
    const bool enabled_;
    Scanner& scanner_;
    ScanStats& stats_;
    ByteSpan window_;
    std::uint64_t position_ = 0;
    std::size_t slotsEnd_ = 0;
    std::size_t next_ = 0;
    std::vector<std::uint32_t> candidates_;
    std::vector<std::uint32_t> edge_;
};

// One scan of a file: its whole chunks in order, then the final partial one.
class ScanPass {
public:
    ScanPass(ByteSource& source, ScanSink& sink, const std::atomic<bool>& running, RecoveryLog* log, ScanStats& stats,
             ScanOptions options)
        : sink_(sink),
          running_(running),
          log_(log),
          stats_(stats),
          tap_(options.tap),
          fileSize_(source.size()),
          scanner_(sink, log, stats, options.tap),
          offGrid_(options.offGrid, scanner_, stats),
          reader_(source, fileSize_, options.offGrid) {}

    ScanEnd run() {
        scanner_.log(LogCode::ScanStarted);
        std::uint64_t position = 0;
        while (position < fileSize_) {
            // Every line logged so far reaches the file before the next chunk is examined.
            if (log_) log_->flush();
            scanner_.log(LogCode::ChunkLoop);
            if (stopped(running_) || (tap_ && tap_->wantsStop())) return ScanEnd::Stopped;
            if (fileSize_ - position < mtf::kChunkSize) break;
            if (!wholeChunk(position)) return ScanEnd::Stopped;
            position += mtf::kChunkSize;
            stats_.bytesScanned = position;
            sink_.chunkScanned(position, fileSize_);
        }
        if (position < fileSize_ && !finalPart(position)) return ScanEnd::Stopped;
        if (tap_) tap_->scanEnded(fileSize_);
        stats_.bytesScanned = fileSize_;
        stats_.readErrors = reader_.readErrors();
        if (log_) log_->flush();
        return ScanEnd::Complete;
    }

private:
    // The chunk at `position`; false when stopped.
    bool wholeChunk(std::uint64_t position) {
        const auto window = reader_.window(position, mtf::kChunkSize);
        if (reader_.hole(position)) {
            // Zeros hold no block: only the codes and the progress of a chunk of them.
            scanner_.logZeroChunk();
            if (tap_) tap_->bytesScanned(position, std::span(kZeros).first(mtf::kChunkSize));
            return true;
        }
        const auto chunk = window.first(mtf::kChunkSize);
        scanner_.log(LogCode::ChunkRead);
        offGrid_.start(window, position, mtf::kChunkSize, mtf::kChunkSize, reader_);
        for (std::size_t slot = 0; slot < mtf::kChunkSize; slot += mtf::kSlotSize) {
            scanner_.log(LogCode::SlotStart);
            if (stopped(running_)) return false;
            const ByteSpan block = chunk.subspan(slot);
            const int kind = identifyBlock(block);
            if (kind != static_cast<int>(TapeBlockId::Tape)) scanner_.log(LogCode::SlotIdentified);
            if (kind > 0) {
                const Placement where =
                    slot == mtf::kChunkSize - mtf::kSlotSize ? Placement::LastSlot : Placement::Slot;
                if (!scanner_.examine(block, position + slot, kind, where)) offGrid_.secondLook(slot, kind);
            }
            if (!offGrid_.examineUpTo(slot + mtf::kSlotSize, running_)) return false;
        }
        if (tap_) tap_->bytesScanned(position, chunk);
        return true;
    }

    // The final partial chunk: its slots are examined with a 512-byte stream
    // window, without the chunk and slot codes and without a progress update.
    // False when stopped.
    bool finalPart(std::uint64_t position) {
        const auto rest = static_cast<std::size_t>(fileSize_ - position);
        const auto window = reader_.window(position, rest);
        if (reader_.hole(position)) {
            if (tap_) tap_->bytesScanned(position, std::span(kZeros).first(rest));
            return true;
        }
        // Only a rest of more than one slot has its whole slots examined.
        const std::size_t slotsEnd = rest > mtf::kSlotSize ? rest / mtf::kSlotSize * mtf::kSlotSize : 0;
        offGrid_.start(window, position, rest, slotsEnd, reader_);
        for (std::size_t slot = 0; slot < slotsEnd; slot += mtf::kSlotSize) {
            if (stopped(running_)) return false;
            const ByteSpan block = window.subspan(slot);
            const int kind = identifyBlock(block);
            if (kind > 0 && !scanner_.examine(block, position + slot, kind, Placement::Partial)) {
                offGrid_.secondLook(slot, kind);
            }
            if (!offGrid_.examineUpTo(slot + mtf::kSlotSize, running_)) return false;
        }
        if (!offGrid_.examineUpTo(rest, running_)) return false;
        if (tap_) tap_->bytesScanned(position, window);
        return true;
    }

    ScanSink& sink_;
    const std::atomic<bool>& running_;
    RecoveryLog* log_;
    ScanStats& stats_;
    ScanTap* tap_;
    const std::uint64_t fileSize_;
    Scanner scanner_;
    OffGridBlocks offGrid_;
    ChunkReader reader_;  // last: its reading thread ends first
};

}  // namespace

ScanEnd scanBackupFile(ByteSource& source, ScanSink& sink, const std::atomic<bool>& running, RecoveryLog* log,
                       ScanStats* statsOut, ScanOptions options) {
    ScanStats localStats;
    ScanStats& stats = statsOut ? *statsOut : localStats;
    stats = {};
    return ScanPass(source, sink, running, log, stats, options).run();
}

int progressPercent(std::uint64_t scanned, std::uint64_t fileSize) {
    if (fileSize == 0 || scanned >= fileSize) return 100;
    // scanned * 100 / fileSize without overflowing for any 64-bit size.
    if (scanned <= UINT64_MAX / 100) return static_cast<int>(scanned * 100 / fileSize);
    return static_cast<int>(scanned / (fileSize / 100));
}

}  // namespace bkf
