#include "catalogue/snapshot.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <cerrno>
#include <random>
#include <system_error>

#include "catalogue/text.h"

namespace bkf {

namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
constexpr std::size_t kReadChunk = std::size_t{4} << 20;

// Collects UTF-16 text as little-endian bytes and hands them to the stream in large pieces.
class Utf16LeSink {
public:
    explicit Utf16LeSink(std::ofstream& out) : out_(out) { bytes_.reserve(kWriteChunk + 4096); }

    void put(char16_t c) {
        bytes_.push_back(static_cast<char>(c & 0xFF));
        bytes_.push_back(static_cast<char>(c >> 8));
    }
    void put(std::u16string_view text) {
        const std::size_t old = bytes_.size();
        bytes_.resize(old + 2 * text.size());
        char* out = bytes_.data() + old;
        for (std::size_t i = 0; i < text.size(); ++i) {
            out[2 * i] = static_cast<char>(text[i] & 0xFF);
            out[2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
    }
    void endLine() {
        put(u'\r');
        put(u'\n');
        if (bytes_.size() >= kWriteChunk) flush();
    }
    void flushIfFull() {
        if (bytes_.size() >= kWriteChunk) flush();
    }
    void flush() {
        out_.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
        bytes_.clear();
    }

private:
    std::ofstream& out_;
    std::string bytes_;
};

std::filesystem::path temporaryBeside(const std::filesystem::path& target) {
    std::random_device rd;
    auto name = target.filename();
    name += ".tmp-" + std::to_string(rd());
    return target.parent_path() / name;
}

Status ioFailure(const char* what, const std::filesystem::path& file, int error) {
    std::string message = std::string(what) + " " + utf16ToUtf8(file.u16string());
    if (error != 0) message += ": " + systemErrorText(error);
    return Status::failure(std::move(message));
}

}  // namespace

std::u16string withSnapshotExtension(std::u16string_view chosen) {
    std::u16string name(chosen);
    if (name.find(kSnapshotExtension) == std::u16string::npos) name += kSnapshotExtension;
    return name;
}

Status writeSnapshot(const std::filesystem::path& target, const CatalogueTable& table,
                     std::u16string_view backupPath,
                     const std::function<void(std::size_t)>& progress) {
    const std::filesystem::path temp = temporaryBeside(target);
    std::ofstream out;
    errno = 0;
    out.open(temp, std::ios::binary | std::ios::trunc);
    if (!out) return ioFailure("cannot create", target, errno);

    Utf16LeSink sink(out);
    sink.put(u'<');
    sink.put(backupPath);
    sink.put(u'>');
    sink.endLine();
    sink.put(u'<');
    sink.put(decimalText(static_cast<std::uint64_t>(table.rowCount())));
    sink.put(u'>');
    sink.endLine();

    static constexpr std::array<CatalogueColumn, 9> kColumns = {
        CatalogueColumn::Path,        CatalogueColumn::Size,         CatalogueColumn::DataOffset,
        CatalogueColumn::ModifiedLow, CatalogueColumn::ModifiedHigh, CatalogueColumn::AccessedLow,
        CatalogueColumn::AccessedHigh, CatalogueColumn::CreatedLow,  CatalogueColumn::CreatedHigh};
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
        if (!out) break;
        if (progress && (row & 0xFFFF) == 0xFFFF) progress(row + 1);
    }
    errno = 0;
    sink.flush();
    out.close();
    if (!out) {
        const int error = errno;
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return ioFailure("cannot write", target, error);
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return Status::failure("cannot replace " + utf16ToUtf8(target.u16string()) + ": " +
                               ec.message());
    }
    if (progress) progress(rows);
    return {};
}

Status SnapshotReader::open(const std::filesystem::path& file) {
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
    if (left > 0) std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(pos_),
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


bool parseSnapshotRow(std::u16string_view line, Catalogue& catalogue) {
    std::array<std::u16string_view, 9> fields{};
    const std::size_t count = snapshotFields(line, fields);
    if (count == 0) return false;
    const std::span<const std::u16string_view, kNumericCellCount> cells(fields.data() + 1, kNumericCellCount);
    catalogue.appendEntryText(fields[0], cells);
    catalogue.addFolderPath(fields[0]);
    return true;
}

bool looksLikeSnapshot(const std::filesystem::path& file) {
    {
        // A backup begins with binary blocks: most files are told apart by their first code unit.
        std::ifstream in(file, std::ios::binary);
        char first[2] = {};
        if (!in.read(first, 2) || first[0] != '<' || first[1] != 0) return false;
    }
    SnapshotReader reader;
    if (!reader.open(file)) return false;
    std::u16string line;
    if (!reader.readLine(line) || line.empty() || line.front() != u'<' ||
        !parseSnapshotPathLine(line)) {
        return false;
    }
    return reader.readLine(line) && !line.empty() && line.front() == u'<';
}

std::optional<int> snapshotProgressPercent(std::size_t rowsRead, std::int64_t declaredCount) {
    if (declaredCount <= 0) return std::nullopt;
    const auto percent = static_cast<std::uint64_t>(rowsRead) * 100 / static_cast<std::uint64_t>(declaredCount);
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

SnapshotLoad loadSnapshotFile(const std::filesystem::path& file, Catalogue& catalogue,
                              const std::atomic<bool>* stop,
                              const std::function<void(std::size_t, std::optional<int>)>& progress) {
    SnapshotLoad result;
    SnapshotReader reader;
    result.status = reader.open(file);
    if (!result.status) return result;
    std::u16string line;
    std::optional<std::u16string> path;
    if (reader.readLine(line)) path = parseSnapshotPathLine(line);
    if (!path) {
        result.status = reader.error().ok()
                            ? Status::failure(utf16ToUtf8(file.u16string()) + " is not a recovery snapshot")
                            : reader.error();
        return result;
    }
    result.backupPath = *path;
    if (reader.readLine(line)) result.declaredCount = parseSnapshotCountLine(line);

    catalogue.clear();
    catalogue.setBackupFilePath(result.backupPath);
    while (!(stop && stop->load(std::memory_order_relaxed)) && reader.readLine(line)) {
        if (parseSnapshotRow(line, catalogue)) ++result.rows;
        if (progress && (result.rows & 0x3FFF) == 0) {
            progress(result.rows, snapshotProgressPercent(result.rows, result.declaredCount));
        }
    }
    result.stopped = stop && stop->load(std::memory_order_relaxed);
    if (!reader.error().ok()) result.status = reader.error();
    catalogue.markAllAfterLoad();
    if (progress) progress(result.rows, snapshotProgressPercent(result.rows, result.declaredCount));
    return result;
}

}  // namespace bkf
