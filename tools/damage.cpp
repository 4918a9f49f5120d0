#include "tools/damage.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "engine/tape_format.h"
#include "tools/content.h"

namespace bkf::tools {

namespace {

constexpr std::size_t kPieceSize = std::size_t{4} << 20;

bool overlaps(std::uint64_t aStart, std::uint64_t aEnd, std::uint64_t bStart, std::uint64_t bEnd) {
    return aStart < bEnd && bStart < aEnd;
}

bool allZero(const std::vector<char>& bytes, std::size_t n) {
    return std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), [](char c) { return c == 0; });
}

void checkRange(const Damage& d, std::uint64_t size) {
    const bool fits = [&] {
        switch (d.kind) {
            case DamageKind::Wipe:
            case DamageKind::Randomise:
            case DamageKind::Delete:
                return d.offset <= size && d.length <= size - d.offset;
            case DamageKind::Insert:
            case DamageKind::Truncate:
                return d.offset <= size;
        }
        return false;
    }();
    if (!fits) {
        throw std::out_of_range(describe(d) + " reaches past the end (" + std::to_string(size) + " bytes)");
    }
}

// The bytes an insert or randomise puts at [at, at + out.size()) of its range.
void fillDamage(const Damage& d, std::uint64_t at, std::span<std::uint8_t> out) {
    if (d.kind == DamageKind::Randomise || (d.kind == DamageKind::Insert && d.seed)) {
        fillRandom(d.seed.value_or(0), at, out);
    } else {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
    }
}

class RandomAccessFile {
public:
    explicit RandomAccessFile(const std::filesystem::path& file) : path_(file) {
        io_.open(file, std::ios::binary | std::ios::in | std::ios::out);
        if (!io_) throw std::runtime_error("cannot open " + file.string() + " for writing");
    }
    void read(std::uint64_t at, std::vector<char>& buffer, std::size_t n) {
        io_.seekg(static_cast<std::streamoff>(at));
        io_.read(buffer.data(), static_cast<std::streamsize>(n));
        if (static_cast<std::size_t>(io_.gcount()) != n) fail("read");
    }
    void write(std::uint64_t at, const char* data, std::size_t n) {
        io_.seekp(static_cast<std::streamoff>(at));
        io_.write(data, static_cast<std::streamsize>(n));
        if (!io_) fail("write");
    }
    void close() {
        io_.close();
        if (!io_) fail("close");
    }

private:
    [[noreturn]] void fail(const char* what) {
        throw std::runtime_error(std::string("cannot ") + what + " " + path_.string());
    }
    std::filesystem::path path_;
    std::fstream io_;
};

// Writes [at, at + n) unless both it and what is there already are all zeros,
// so that moving holes around keeps them holes.
void moveWrite(RandomAccessFile& f, std::uint64_t at, std::vector<char>& data, std::size_t n,
               std::vector<char>& scratch) {
    if (allZero(data, n)) {
        f.read(at, scratch, n);
        if (allZero(scratch, n)) return;
    }
    f.write(at, data.data(), n);
}

void writeFill(RandomAccessFile& f, const Damage& d) {
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min<std::uint64_t>(d.length, kPieceSize)));
    for (std::uint64_t done = 0; done < d.length; done += piece.size()) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(d.length - done, piece.size()));
        fillDamage(d, done, std::span(piece.data(), n));
        f.write(d.offset + done, reinterpret_cast<const char*>(piece.data()), n);
    }
}

}  // namespace

std::string describe(const Damage& d) {
    switch (d.kind) {
        case DamageKind::Wipe:
            return "wipe " + std::to_string(d.offset) + "+" + std::to_string(d.length);
        case DamageKind::Randomise:
            return "randomise " + std::to_string(d.offset) + "+" + std::to_string(d.length);
        case DamageKind::Insert:
            return "insert " + std::to_string(d.length) + " at " + std::to_string(d.offset);
        case DamageKind::Delete:
            return "delete " + std::to_string(d.offset) + "+" + std::to_string(d.length);
        case DamageKind::Truncate:
            return "truncate to " + std::to_string(d.offset);
    }
    return "damage";
}

void damageBytes(std::vector<std::uint8_t>& bytes, const Damage& d) {
    checkRange(d, bytes.size());
    const auto at = static_cast<std::ptrdiff_t>(d.offset);
    const auto n = static_cast<std::size_t>(d.length);
    switch (d.kind) {
        case DamageKind::Wipe:
        case DamageKind::Randomise:
            fillDamage(d, 0, std::span(bytes.data() + at, n));
            break;
        case DamageKind::Insert: {
            std::vector<std::uint8_t> fill(n);
            fillDamage(d, 0, fill);
            bytes.insert(bytes.begin() + at, fill.begin(), fill.end());
            break;
        }
        case DamageKind::Delete:
            bytes.erase(bytes.begin() + at, bytes.begin() + at + static_cast<std::ptrdiff_t>(n));
            break;
        case DamageKind::Truncate:
            bytes.resize(static_cast<std::size_t>(d.offset));
            break;
    }
}

void damageFile(const std::filesystem::path& file, const Damage& d) {
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(file, ec);
    if (ec) throw std::runtime_error("cannot open " + file.string());
    checkRange(d, size);
    if (d.kind == DamageKind::Truncate) {
        std::filesystem::resize_file(file, d.offset, ec);
        if (ec) throw std::runtime_error("cannot truncate " + file.string());
        return;
    }
    if (d.length == 0) return;
    if (d.kind == DamageKind::Insert) {
        // Lengthen first (the new tail is a hole), then move the tail back to
        // front so nothing is overwritten before it has been moved.
        std::filesystem::resize_file(file, size + d.length, ec);
        if (ec) throw std::runtime_error("cannot lengthen " + file.string());
    }
    RandomAccessFile f(file);
    std::vector<char> buffer(kPieceSize);
    std::vector<char> scratch(kPieceSize);
    switch (d.kind) {
        case DamageKind::Wipe:
        case DamageKind::Randomise:
            writeFill(f, d);
            break;
        case DamageKind::Insert:
            for (std::uint64_t end = size; end > d.offset;) {
                const std::uint64_t start = std::max<std::uint64_t>(d.offset, end > kPieceSize ? end - kPieceSize : 0);
                const auto n = static_cast<std::size_t>(end - start);
                f.read(start, buffer, n);
                moveWrite(f, start + d.length, buffer, n, scratch);
                end = start;
            }
            writeFill(f, d);
            break;
        case DamageKind::Delete:
            for (std::uint64_t from = d.offset + d.length; from < size;) {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - from, kPieceSize));
                f.read(from, buffer, n);
                moveWrite(f, from - d.length, buffer, n, scratch);
                from += n;
            }
            break;
        case DamageKind::Truncate:
            break;
    }
    f.close();
    if (d.kind == DamageKind::Delete) {
        std::filesystem::resize_file(file, size - d.length, ec);
        if (ec) throw std::runtime_error("cannot shorten " + file.string());
    }
}

std::uint64_t sizeAfter(const Damage& d, std::uint64_t sizeBefore) {
    switch (d.kind) {
        case DamageKind::Insert:
            return sizeBefore + d.length;
        case DamageKind::Delete:
            return sizeBefore - std::min(sizeBefore, d.length);
        case DamageKind::Truncate:
            return std::min(sizeBefore, d.offset);
        default:
            return sizeBefore;
    }
}

namespace {

void updateManifest(Manifest& manifest, const Damage& d, std::optional<std::uint64_t> sizeBefore) {
    const std::optional<std::uint64_t> newSize =
        sizeBefore ? std::optional<std::uint64_t>(sizeAfter(d, *sizeBefore)) : std::nullopt;
    const auto reach = [&](ManifestEntry& e) {
        e.notes &= ~(kNoteStreamOutOfReach | kNoteStreamBeyond);
        if (!streamHeaderWithinReach(e.blockOffset, e.streamHeaderOffset(), newSize)) {
            e.notes |= kNoteStreamOutOfReach;
        }
        if (!streamHeaderWithinAnyReach(e.blockOffset, e.streamHeaderOffset(), newSize)) {
            e.notes |= kNoteStreamBeyond;
        }
    };
    const auto shift = [&](ManifestEntry& e, std::uint64_t by, bool forward) {
        e.blockOffset = forward ? e.blockOffset + by : e.blockOffset - by;
        e.dataOffset = forward ? e.dataOffset + by : e.dataOffset - by;
        e.notes &= ~kNoteMisaligned;
        if (e.blockOffset % mtf::kSlotSize != 0) e.notes |= kNoteMisaligned;
        if (!newSize) reach(e);
    };
    for (ManifestEntry& e : manifest) {
        const std::uint64_t dataEnd = e.dataOffset + e.size;
        switch (d.kind) {
            case DamageKind::Wipe:
            case DamageKind::Randomise:
                if (d.length == 0) break;
                if (overlaps(d.offset, d.offset + d.length, e.blockOffset, e.dataOffset)) {
                    e.notes |= kNoteBlockDamaged;
                }
                if (overlaps(d.offset, d.offset + d.length, e.dataOffset, dataEnd)) {
                    e.notes |= kNoteDataDamaged;
                }
                break;
            case DamageKind::Insert:
                if (d.length == 0) break;
                if (d.offset <= e.blockOffset) {
                    shift(e, d.length, true);
                } else if (d.offset < e.dataOffset) {
                    e.notes |= kNoteBlockDamaged;
                } else if (d.offset < dataEnd) {
                    e.notes |= kNoteDataDamaged;
                }
                break;
            case DamageKind::Delete:
                if (d.length == 0) break;
                if (d.offset + d.length <= e.blockOffset) {
                    shift(e, d.length, false);
                } else if (overlaps(d.offset, d.offset + d.length, e.blockOffset, e.dataOffset)) {
                    e.notes |= kNoteBlockDamaged;
                } else if (overlaps(d.offset, d.offset + d.length, e.dataOffset, dataEnd)) {
                    e.notes |= kNoteDataDamaged;
                }
                break;
            case DamageKind::Truncate:
                if (d.offset < e.dataOffset) {
                    e.notes |= kNoteCut;
                } else if (d.offset < dataEnd) {
                    e.notes |= kNoteDataDamaged;
                }
                break;
        }
        if (newSize) reach(e);
    }
}

void refreshPlacement(ManifestEntry& e, std::uint64_t fileSize) {
    e.notes &= ~(kNoteStreamOutOfReach | kNoteStreamBeyond | kNoteMisaligned);
    if (e.blockOffset % mtf::kSlotSize != 0) e.notes |= kNoteMisaligned;
    if (!streamHeaderWithinReach(e.blockOffset, e.streamHeaderOffset(), fileSize)) e.notes |= kNoteStreamOutOfReach;
    if (!streamHeaderWithinAnyReach(e.blockOffset, e.streamHeaderOffset(), fileSize)) e.notes |= kNoteStreamBeyond;
}

}  // namespace

void applyDamage(Manifest& manifest, const Damage& d, std::uint64_t sizeBefore) {
    updateManifest(manifest, d, sizeBefore);
}

void applyDamage(Manifest& manifest, const Damage& d) {
    updateManifest(manifest, d, std::nullopt);
}

std::vector<std::uint8_t> addCrBeforeLf(const std::vector<std::uint8_t>& bytes, Manifest& manifest) {
    std::vector<std::uint64_t> lf;  // positions of the LF bytes
    for (std::uint64_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == 0x0A) lf.push_back(i);
    }
    const auto before = [&](std::uint64_t at) {
        return static_cast<std::uint64_t>(std::lower_bound(lf.begin(), lf.end(), at) - lf.begin());
    };
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size() + lf.size());
    for (const std::uint8_t b : bytes) {
        if (b == 0x0A) out.push_back(0x0D);
        out.push_back(b);
    }
    for (ManifestEntry& e : manifest) {
        const std::uint64_t dataEnd = e.dataOffset + e.size;
        if (before(e.dataOffset) != before(e.blockOffset)) e.notes |= kNoteBlockDamaged;
        if (before(dataEnd) != before(e.dataOffset)) e.notes |= kNoteDataDamaged;
        e.blockOffset += before(e.blockOffset);
        e.dataOffset += before(e.dataOffset);
        refreshPlacement(e, out.size());
    }
    return out;
}

std::vector<std::uint8_t> rearrange(const std::vector<std::uint8_t>& bytes, const std::vector<Piece>& pieces,
                                    Manifest& manifest) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    std::vector<std::uint64_t> placedAt;  // where each piece now begins
    for (const Piece& p : pieces) {
        if (p.offset > bytes.size() || p.length > bytes.size() - p.offset)
            throw std::out_of_range("piece past the end");
        placedAt.push_back(out.size());
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p.offset),
                   bytes.begin() + static_cast<std::ptrdiff_t>(p.offset + p.length));
    }
    const auto pieceOf = [&](std::uint64_t at) -> std::size_t {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (at >= pieces[i].offset && at - pieces[i].offset < pieces[i].length) return i;
        }
        throw std::out_of_range("the pieces do not cover the backup");
    };
    const auto newPosition = [&](std::uint64_t at) {
        const std::size_t i = pieceOf(at);
        return placedAt[i] + (at - pieces[i].offset);
    };
    // Whether [from, to) reads the same, in one run, after the rearrangement.
    const auto whole = [&](std::uint64_t from, std::uint64_t to) {
        return to <= from || newPosition(to - 1) - newPosition(from) == to - 1 - from;
    };
    for (ManifestEntry& e : manifest) {
        if (e.dataOffset > bytes.size()) continue;
        if (!whole(e.blockOffset, e.dataOffset)) e.notes |= kNoteBlockDamaged;
        if (!whole(e.dataOffset, std::min<std::uint64_t>(e.dataOffset + e.size, bytes.size())))
            e.notes |= kNoteDataDamaged;
        const std::uint64_t distance = e.dataOffset - e.blockOffset;
        e.blockOffset = newPosition(e.blockOffset);
        e.dataOffset = e.blockOffset + distance;
        refreshPlacement(e, out.size());
    }
    return out;
}

}  // namespace bkf::tools
