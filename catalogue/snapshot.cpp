#include "catalogue/snapshot.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include "base/text.h"
#include "engine/backup_file.h"

namespace bkf {

namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
constexpr std::size_t kReadChunk = std::size_t{4} << 20;

// Collects UTF-16 text as little-endian bytes and hands them to the stream in
// large pieces. A thread of its own writes each full piece while the next is
// filled, so formatting the rows and the system's copying overlap; only that
// thread touches the stream until finish().
class Utf16LeSink {
public:
    explicit Utf16LeSink(std::ofstream& out) : out_(out), writer_([this] { writeBehind(); }) {
        bytes_.reserve(kWriteChunk + 4096);
    }
    ~Utf16LeSink() { finish(); }
    Utf16LeSink(const Utf16LeSink&) = delete;
    Utf16LeSink& operator=(const Utf16LeSink&) = delete;

    void put(char16_t c) {
        bytes_.push_back(static_cast<char>(c & 0xFF));
        bytes_.push_back(static_cast<char>(c >> 8));
    }
    void put(std::u16string_view text) {
        const std::size_t old = bytes_.size();
        bytes_.resize(old + 2 * text.size());
        char* out = bytes_.data() + old;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, text.data(), 2 * text.size());
        } else {
            for (std::size_t i = 0; i < text.size(); ++i) {
                out[2 * i] = static_cast<char>(text[i] & 0xFF);
                out[2 * i + 1] = static_cast<char>(text[i] >> 8);
            }
        }
    }
    void endLine() {
        put(u'\r');
        put(u'\n');
        flushIfFull();
    }
    void flushIfFull() {
        if (bytes_.size() >= kWriteChunk) handOver();
    }
    // Hands what was collected to the writer, which may still be writing the piece before.
    void handOver() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] { return !busy_; });
        pending_.swap(bytes_);
        bytes_.clear();
        busy_ = !pending_.empty();
        if (busy_) wake_.notify_one();
    }
    // Writes everything collected and ends the writer; the stream is the caller's again.
    void finish() {
        if (!writer_.joinable()) return;
        handOver();
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        writer_.join();
    }
    // Whether a write failed, and the system's error for it (0 when not known).
    bool failed() const { return failed_.load(std::memory_order_relaxed); }
    int error() const { return error_; }

private:
    void writeBehind() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return busy_ || quit_; });
            if (!busy_) return;
            lock.unlock();
            if (!failed()) {
                errno = 0;
                out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
                if (!out_) {
                    error_ = errno;
                    failed_.store(true, std::memory_order_relaxed);
                }
            }
            lock.lock();
            busy_ = false;
            idle_.notify_all();
        }
    }

    std::ofstream& out_;
    std::string bytes_;    // being filled by the caller
    std::string pending_;  // being written
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    bool busy_ = false;
    bool quit_ = false;
    std::atomic<bool> failed_{false};
    int error_ = 0;  // set by the writer before failed_, read after finish()
    std::thread writer_;
};

// A short name, so that a target whose own name is as long as the file
// system allows still has a temporary sibling.
std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
    std::random_device rd;
    char name[32];
    std::snprintf(name, sizeof name, ".ormbkf-%08x.tmp", static_cast<unsigned>(rd()));
    return target.parent_path() / name;
}

std::string shown(const std::filesystem::path& file) {
    return utf16ToUtf8(pathToUtf16(file));
}

// Where a snapshot written at `target` lands: a link is followed to the file
// it points to, as editors do, so that the link itself stays.
std::optional<std::filesystem::path> followLinks(std::filesystem::path target) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec)) || ec) return target;
        std::filesystem::path to = std::filesystem::read_symlink(target, ec);
        if (ec) return target;
        target = to.is_absolute() ? to : target.parent_path() / to;
    }
    return std::nullopt;
}

const char* notRegularKind(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory:
            return "a folder";
        case std::filesystem::file_type::block:
        case std::filesystem::file_type::character:
            return "a device";
        case std::filesystem::file_type::fifo:
            return "a FIFO";
        case std::filesystem::file_type::socket:
            return "a socket";
        default:
            return "not a regular file";
    }
}

// The refusals that need no writing: what lands where the snapshot would.
Status snapshotTargetProblem(const std::filesystem::path& target, std::u16string_view backupPath,
                             std::filesystem::path& landing) {
    const auto followed = followLinks(target);
    if (!followed) return Status::failure("cannot write " + shown(target) + ": too many levels of links");
    landing = *followed;
    std::error_code ec;
    const auto status = std::filesystem::status(landing, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return Status::failure("cannot write " + shown(target) + ": it is " + notRegularKind(status.type()) +
                               ", not a regular file");
    }
    if (!backupPath.empty() && outputIsBackup(landing, pathFromUtf16(backupPath))) {
        return Status::failure("cannot write " + shown(target) +
                               ": it is the backup file itself, which is never written to");
    }
    if (const auto bad = backupPath.find_first_of(u"<>\r\n"); bad != std::u16string_view::npos) {
        const char16_t c = backupPath[bad];
        const std::string what = c == u'<' ? "\"<\"" : c == u'>' ? "\">\"" : "a line end";
        return Status::failure("cannot write " + shown(target) + ": the backup path holds " + what +
                               ", which a snapshot's first line cannot hold");
    }
    return {};
}

Status ioFailure(const char* what, const std::filesystem::path& file, int error) {
    std::string message = std::string(what) + " " + shown(file);
    if (error != 0) message += ": " + systemErrorText(error);
    return Status::failure(std::move(message));
}

}  // namespace

std::u16string withSnapshotExtension(std::u16string_view chosen) {
    std::u16string name(chosen);
    if (name.find(kSnapshotExtension) == std::u16string::npos) name += kSnapshotExtension;
    return name;
}

namespace {

// Where a snapshot asked for as `requested` is written first: a temporary
// file beside the file it lands in (`target`), opened as `out`.
struct SnapshotFiles {
    std::filesystem::path target, temp;
    std::ofstream out;
};

Status openTemporaryBeside(const std::filesystem::path& requested, std::u16string_view backupPath,
                           SnapshotFiles& files) {
    if (Status problem = snapshotTargetProblem(requested, backupPath, files.target); !problem) return problem;
    files.temp = temporaryBeside(files.target);
    errno = 0;
    files.out.open(files.temp, std::ios::binary | std::ios::trunc);
    if (!files.out) return ioFailure("cannot create", requested, errno);
    return {};
}

}  // namespace

Status checkSnapshotTarget(const std::filesystem::path& target, std::u16string_view backupPath) {
    SnapshotFiles files;
    if (Status opened = openTemporaryBeside(target, backupPath, files); !opened) return opened;
    files.out.close();
    std::error_code ec;
    std::filesystem::remove(files.temp, ec);
    return {};
}

namespace {

// The two header lines: the backup's path and the number of rows.
void writeHeader(Utf16LeSink& sink, std::u16string_view backupPath, std::size_t rows) {
    sink.put(u'<');
    sink.put(backupPath);
    sink.put(u'>');
    sink.endLine();
    sink.put(u'<');
    sink.put(decimalText(static_cast<std::uint64_t>(rows)));
    sink.put(u'>');
    sink.endLine();
}

// One line a row, each cell in angle brackets; stops at the first failed write.
void writeRows(Utf16LeSink& sink, const CatalogueTable& table, const std::function<void(std::size_t)>& progress) {
    static constexpr std::array<CatalogueColumn, 9> kColumns = {
        CatalogueColumn::Path,         CatalogueColumn::Size,         CatalogueColumn::DataOffset,
        CatalogueColumn::ModifiedLow,  CatalogueColumn::ModifiedHigh, CatalogueColumn::AccessedLow,
        CatalogueColumn::AccessedHigh, CatalogueColumn::CreatedLow,   CatalogueColumn::CreatedHigh};
    std::u16string line;
    const auto rows = static_cast<RowIndex>(table.rowCount());
    for (RowIndex row = 0; row < rows; ++row) {
        line.clear();
        for (CatalogueColumn column : kColumns) {
            line.push_back(u'<');
            table.appendCell(line, row, column);
            line.push_back(u'>');
        }
        line += u"\r\n";
        sink.put(line);
        sink.flushIfFull();
        if (sink.failed()) break;
        if (progress && (row & 0xFFFF) == 0xFFFF) progress(row + 1);
    }
    sink.finish();
}

// Closes the written temporary file and puts it in the target's place; on a
// failure the temporary file is removed and the target left as it was.
Status replaceWithWritten(std::ofstream& out, const Utf16LeSink& sink, const std::filesystem::path& temp,
                          const std::filesystem::path& target, const std::filesystem::path& requested) {
    const bool writeFailed = sink.failed();
    errno = 0;
    out.close();
    if (writeFailed || !out) {
        const int error = writeFailed ? sink.error() : errno;
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return ioFailure("cannot write", requested, error);
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return Status::failure("cannot replace " + shown(requested) + ": " + ec.message());
    }
    return {};
}

}  // namespace

Status writeSnapshot(const std::filesystem::path& requested, const CatalogueTable& table,
                     std::u16string_view backupPath, const std::function<void(std::size_t)>& progress) {
    SnapshotFiles files;
    if (Status opened = openTemporaryBeside(requested, backupPath, files); !opened) return opened;
    Utf16LeSink sink(files.out);
    writeHeader(sink, backupPath, table.rowCount());
    writeRows(sink, table, progress);
    if (Status replaced = replaceWithWritten(files.out, sink, files.temp, files.target, requested); !replaced) {
        return replaced;
    }
    if (progress) progress(table.rowCount());
    return {};
}

Status SnapshotReader::open(const std::filesystem::path& file) {
    // A FIFO or a device would hold the open (or the reading) for ever.
    std::error_code statusError;
    const auto status = std::filesystem::status(file, statusError);
    if (!statusError && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        return Status::failure("cannot open " + shown(file) + ": it is " + notRegularKind(status.type()) +
                               ", not a regular file");
    }
    errno = 0;
    in_.open(file, std::ios::binary);
    if (!in_) return ioFailure("cannot open", file, errno);
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    fileSize_ = ec ? 0 : size;
    // A small snapshot needs no more than its own size (and room for a straddling code unit).
    buffer_.resize(static_cast<std::size_t>(std::clamp<std::uint64_t>(fileSize_ + 2, 4096, kReadChunk)));
    pos_ = end_ = 0;
    consumed_ = 0;
    eof_ = false;
    error_ = {};
    return {};
}

bool SnapshotReader::fill() {
    // Keep an odd byte left over from the last read: code units may straddle reads.
    const std::size_t left = end_ - pos_;
    if (left > 0)
        std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
    pos_ = 0;
    end_ = left;
    if (eof_ || !in_.is_open()) return false;
    errno = 0;
    in_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
    const auto got = static_cast<std::size_t>(in_.gcount());
    end_ += got;
    if (!in_) {
        if (in_.bad()) error_ = Status::failure("cannot read snapshot: " + systemErrorText(errno));
        eof_ = true;
    }
    return got > 0;
}

bool SnapshotReader::readLine(std::u16string& line) {
    line.clear();
    bool any = false;
    bool tooLong = false;
    for (;;) {
        if (end_ - pos_ < 2 && !fill() && end_ - pos_ < 2) {
            // End of the file: a last line without a line end still counts.
            consumed_ += end_ - pos_;
            pos_ = end_;
            if (!any) return false;
            break;
        }
        any = true;
        const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data());
        const std::size_t last = pos_ + ((end_ - pos_) & ~std::size_t{1});
        // The line feed: a 0x0A byte at an even distance followed by a zero byte.
        std::size_t at = pos_;
        for (;;) {
            const void* hit = std::memchr(p + at, 0x0A, last - at);
            if (!hit) {
                at = last;
                break;
            }
            at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
            if ((at - pos_) % 2 == 0 && at + 1 < end_ && p[at + 1] == 0) break;
            ++at;
            if ((at - pos_) % 2 == 1) ++at;  // back onto a code unit boundary
        }
        const bool ended = at < last;
        const std::size_t units = (at - pos_) / 2;
        if (line.size() + units <= kMaxLineUnits) {
            const std::size_t old = line.size();
            line.resize(old + units);
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(line.data() + old, p + pos_, 2 * units);
            } else {
                for (std::size_t i = 0; i < units; ++i) {
                    line[old + i] = static_cast<char16_t>(p[pos_ + 2 * i] | (p[pos_ + 2 * i + 1] << 8));
                }
            }
        } else {
            tooLong = true;
        }
        const std::size_t taken = at - pos_ + (ended ? 2 : 0);
        pos_ += taken;
        consumed_ += taken;
        if (ended) break;
    }
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    if (tooLong) line.clear();
    return true;
}

std::optional<std::u16string> parseSnapshotPathLine(std::u16string_view line) {
    const auto lt = line.find(u'<');
    if (lt == std::u16string_view::npos) return std::nullopt;
    const auto gt = line.find(u'>', lt + 1);
    if (gt == std::u16string_view::npos) return std::nullopt;
    return std::u16string(line.substr(lt + 1, gt - lt - 1));
}

std::int64_t parseSnapshotCountLine(std::u16string_view line) {
    const auto lt = line.find(u'<');
    if (lt == std::u16string_view::npos) return 0;
    return parseLeadingInt64(line.substr(lt + 1));
}

// Values are taken left to right: each is the text between a "<" and the
// next ">" after it.
namespace {

// The first code unit c at or after p, or end. Values are short: a plain loop.
const char16_t* findUnit(const char16_t* p, const char16_t* end, char16_t c) {
    while (p < end && *p != c) ++p;
    return p;
}

}  // namespace

std::size_t snapshotFields(std::u16string_view line, std::span<std::u16string_view> out) {
    // Each value is the text between a "<" and the next ">" after it; the
    // next "<" is sought from that ">" on.
    std::size_t count = 0;
    const char16_t* p = line.data();
    const char16_t* const end = p + line.size();
    while (count < out.size()) {
        p = findUnit(p, end, u'<');
        if (p == end) break;
        const char16_t* value = ++p;
        p = findUnit(p, end, u'>');
        if (p == end) break;
        out[count++] = std::u16string_view(value, static_cast<std::size_t>(p - value));
    }
    return count;
}

namespace {

// A number that leading-digit parsing reads whole: optional blanks, an
// optional sign, digits, nothing after them.
bool isNumberText(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) text.remove_prefix(1);
    if (text.empty()) return false;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

bool isBlankLine(std::u16string_view line) {
    for (char16_t c : line) {
        if (c != u' ' && c != u'\t' && c != u'\r') return false;
    }
    return true;
}

}  // namespace

SnapshotRowKind classifySnapshotRow(std::u16string_view line, std::span<std::u16string_view, 9> fields) {
    if (isBlankLine(line)) return SnapshotRowKind::Blank;
    if (snapshotFields(line, fields) < fields.size()) return SnapshotRowKind::Unreadable;
    // The size and the data offset say what a save copies: they must be
    // numbers. The times are only shown, and kept as they stand.
    if (fields[0].empty() || !isNumberText(fields[1]) || !isNumberText(fields[2])) return SnapshotRowKind::Unreadable;
    if (fields[0].size() > kMaxDisplayPathUnits) return SnapshotRowKind::Refused;
    return SnapshotRowKind::Entry;
}

bool parseSnapshotRow(std::u16string_view line, Catalogue& catalogue) {
    std::array<std::u16string_view, 9> fields{};
    if (classifySnapshotRow(line, fields) != SnapshotRowKind::Entry) return false;
    const std::span<const std::u16string_view, kNumericCellCount> cells(fields.data() + 1, kNumericCellCount);
    catalogue.appendEntryText(fields[0], cells);
    catalogue.addFolderPath(fields[0]);
    return true;
}

Status SnapshotRows::open(const std::filesystem::path& file) {
    if (Status opened = reader_.open(file); !opened) return opened;
    std::optional<std::u16string> path;
    if (reader_.readLine(line_)) path = parseSnapshotPathLine(line_);
    if (!path) {
        return reader_.error().ok() ? Status::failure(shown(file) + " is not a recovery snapshot") : reader_.error();
    }
    backupPath_ = std::move(*path);
    if (reader_.readLine(line_)) {
        declaredCount_ = snapshotCountOf(line_);
        if (!declaredCount_) pending_ = std::move(line_);
    }
    return reader_.error();
}

std::optional<std::int64_t> snapshotCountOf(std::u16string_view line) {
    // The count line holds one value, a number; anything else is already a row.
    std::array<std::u16string_view, 2> values{};
    const std::size_t n = snapshotFields(line, values);
    std::u16string_view digits = n == 1 ? values[0] : std::u16string_view();
    while (!digits.empty() && digits.front() == u' ') digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == u' ') digits.remove_suffix(1);
    if (n != 1 || !isNumberText(digits)) return std::nullopt;
    return parseSnapshotCountLine(line);
}

bool SnapshotRows::next(std::span<std::u16string_view, 9> fields) {
    for (;;) {
        if (pending_) {
            line_ = std::move(*pending_);
            pending_.reset();
        } else if (!reader_.readLine(line_)) {
            return false;
        }
        for (auto& f : fields) f = {};
        switch (classifySnapshotRow(line_, fields)) {
            case SnapshotRowKind::Entry:
                ++rows_;
                return true;
            case SnapshotRowKind::Blank:
                break;
            case SnapshotRowKind::Unreadable:
                ++unreadable_;
                break;
            case SnapshotRowKind::Refused:
                ++refused_;
                break;
        }
    }
}

std::vector<std::string> snapshotRowProblems(std::size_t rows, std::size_t unreadable, std::size_t refused,
                                             std::optional<std::int64_t> declaredCount) {
    std::vector<std::string> problems;
    if (unreadable > 0) {
        problems.push_back(std::to_string(unreadable) + (unreadable == 1 ? " row" : " rows") + " of the snapshot " +
                           (unreadable == 1 ? "was" : "were") + " unreadable");
    }
    if (refused > 0) {
        problems.push_back(std::to_string(refused) + (refused == 1 ? " row" : " rows") + " of the snapshot " +
                           (refused == 1 ? "was" : "were") + " refused: a display path longer than " +
                           std::to_string(kMaxDisplayPathUnits) + " code units");
    }
    const std::uint64_t held = rows + unreadable + refused;
    if (declaredCount && (*declaredCount < 0 || static_cast<std::uint64_t>(*declaredCount) != held)) {
        problems.push_back("warning: the snapshot declares " + std::to_string(*declaredCount) + " entries but holds " +
                           std::to_string(held) + " rows");
    }
    return problems;
}

bool looksLikeSnapshot(const std::filesystem::path& file) {
    {
        // Only a regular file is opened: a FIFO would hold the open for ever.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec) || ec) return false;
        // A backup begins with binary blocks: most files are told apart by their first code unit.
        std::ifstream in(file, std::ios::binary);
        char first[2] = {};
        if (!in.read(first, 2) || first[0] != '<' || first[1] != 0) return false;
    }
    SnapshotReader reader;
    if (!reader.open(file)) return false;
    std::u16string line;
    if (!reader.readLine(line) || line.empty() || line.front() != u'<' || !parseSnapshotPathLine(line)) {
        return false;
    }
    return reader.readLine(line) && !line.empty() && line.front() == u'<';
}

namespace {

// Whether text begins like a snapshot: a "<...>" line, then a count line
// "<digits>" or an entry row, the lines ending in `lineEnd`.
bool snapshotHeader(std::u16string_view text, char16_t lineEnd) {
    const auto end1 = text.find(lineEnd);
    if (end1 == std::u16string_view::npos) return false;
    std::u16string_view first = text.substr(0, end1);
    if (lineEnd == u'\n' && !first.empty() && first.back() == u'\r') first.remove_suffix(1);
    if (first.size() < 2 || first.front() != u'<' || first.back() != u'>' || first.find(u'>') != first.size() - 1) {
        return false;
    }
    std::u16string_view second = text.substr(end1 + 1);
    second = second.substr(0, second.find(lineEnd));
    if (!second.empty() && second.back() == u'\r') second.remove_suffix(1);
    std::array<std::u16string_view, 9> fields{};
    const std::size_t n = snapshotFields(second, fields);
    if (second.empty() || second.front() != u'<') return false;
    return (n == 1 && isNumberText(fields[0]) && second.back() == u'>') ||
           classifySnapshotRow(second, fields) == SnapshotRowKind::Entry;
}

std::u16string fromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
    }
    return text;
}

}  // namespace

std::optional<std::string> snapshotLookalike(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || ec) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string head(64 * 1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const std::string_view bytes(head);
    if (bytes.starts_with("\xFF\xFE") && snapshotHeader(fromUtf16(bytes.substr(2), false), u'\n')) {
        return "a recovery snapshot with a byte-order mark";
    }
    if (bytes.starts_with("\xFE\xFF") && snapshotHeader(fromUtf16(bytes.substr(2), true), u'\n')) {
        return "a recovery snapshot in big-endian UTF-16";
    }
    const std::string_view utf8 = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    if (utf8.starts_with("<") && snapshotHeader(utf8ToUtf16(utf8), u'\n')) return "a recovery snapshot in UTF-8";
    const std::u16string utf16 = fromUtf16(bytes, false);
    if (utf16.find(u'\n') == std::u16string::npos && snapshotHeader(utf16, u'\r')) {
        return "a recovery snapshot with CR-only line ends";
    }
    return std::nullopt;
}

std::optional<int> snapshotProgressPercent(std::size_t rowsRead, std::int64_t declaredCount) {
    if (declaredCount <= 0) return std::nullopt;
    const auto percent = static_cast<std::uint64_t>(rowsRead) * 100 / static_cast<std::uint64_t>(declaredCount);
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

SnapshotLoad loadSnapshotFile(const std::filesystem::path& file, Catalogue& catalogue, const std::atomic<bool>* stop,
                              const std::function<void(std::size_t, std::optional<int>)>& progress) {
    SnapshotLoad result;
    SnapshotRows rows;
    result.status = rows.open(file);
    if (!result.status) return result;
    result.backupPath = rows.backupPath();
    result.hasCountLine = rows.declaredCount().has_value();
    result.declaredCount = rows.declaredCount().value_or(0);

    catalogue.clear();
    catalogue.setBackupFilePath(result.backupPath);
    std::array<std::u16string_view, 9> fields{};
    while (!(stop && stop->load(std::memory_order_relaxed)) && rows.next(fields)) {
        const std::span<const std::u16string_view, kNumericCellCount> cells(fields.data() + 1, kNumericCellCount);
        catalogue.appendEntryText(fields[0], cells);
        catalogue.addFolderPath(fields[0]);
        if (progress && (rows.rows() & 0x3FFF) == 0) {
            progress(rows.rows(), snapshotProgressPercent(rows.rows(), result.declaredCount));
        }
    }
    result.rows = rows.rows();
    result.unreadable = rows.unreadable();
    result.refused = rows.refused();
    result.stopped = stop && stop->load(std::memory_order_relaxed);
    if (!rows.error().ok()) result.status = rows.error();
    catalogue.markAllAfterLoad();
    if (progress) progress(result.rows, snapshotProgressPercent(result.rows, result.declaredCount));
    return result;
}

}  // namespace bkf
