#include "save/verify.h"

#include <array>
#include <cstring>

#include "engine/tape_format.h"

namespace bkf {

const char* checksumVerdictText(ChecksumVerdict verdict) {
    switch (verdict) {
        case ChecksumVerdict::Verified:
            return "verified";
        case ChecksumVerdict::Mismatch:
            return "checksum mismatch";
        case ChecksumVerdict::None:
            return "no checksum";
    }
    return "";
}

bool streamHeaderHolds(std::span<const std::uint8_t> bytes, const char* id) {
    if (bytes.size() < mtf::kStreamHeaderSize || std::memcmp(bytes.data(), id, 4) != 0) return false;
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < mtf::kStreamChecksum; i += 2) sum ^= mtf::load16(bytes.data() + i);
    return sum == mtf::load16(bytes.data() + mtf::kStreamChecksum);
}

std::optional<std::string> dataHeaderProblem(ByteSource& backup, std::int64_t dataOffset) {
    if (dataOffset < static_cast<std::int64_t>(mtf::kStreamHeaderSize)) return std::string(kWrongPlaceReason);
    const std::uint64_t at = static_cast<std::uint64_t>(dataOffset) - mtf::kStreamHeaderSize;
    // Past the end, the backup is shorter than the catalogue knew: its data is truncated, not misplaced.
    if (at >= backup.size()) return std::nullopt;
    std::array<std::uint8_t, mtf::kStreamHeaderSize> header{};
    const ReadResult got = backup.read(at, header);
    if (got.failed) return "cannot read the backup: " + got.reason;
    if (got.bytes < header.size() || !streamHeaderHolds(header, "STAN")) return std::string(kWrongPlaceReason);
    return std::nullopt;
}

void DataChecksum::add(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    // Finish the word begun by the last piece.
    while (phase_ != 0 && n > 0) {
        partial_ |= static_cast<std::uint32_t>(*p++) << (8 * phase_);
        --n;
        if (++phase_ == 4) {
            narrow_ ^= partial_;
            partial_ = 0;
            phase_ = 0;
        }
    }
    // Whole words, eight bytes at a time: the XOR of little-endian 64-bit
    // groups folds to the XOR of their two 32-bit halves. A loop the compiler
    // turns into vector code.
    std::uint64_t wide = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t group;
        std::memcpy(&group, p, 8);
        wide ^= group;
    }
    wide_ ^= wide;
    for (; n >= 4; p += 4, n -= 4) narrow_ ^= mtf::load32(p);
    while (n > 0) {
        partial_ |= static_cast<std::uint32_t>(*p++) << (8 * phase_++);
        --n;
    }
}

std::uint32_t DataChecksum::value() const {
    // The groups were loaded in the machine's byte order; fold them as
    // little-endian words.
    std::uint8_t bytes[8];
    std::memcpy(bytes, &wide_, 8);
    return narrow_ ^ partial_ ^ mtf::load32(bytes) ^ mtf::load32(bytes + 4);
}

std::uint64_t checksumStreamAt(std::int64_t dataOffset, std::int64_t size) {
    // Stream headers stand on 4-byte boundaries counted from their block, as
    // the STAN header does: counted from it, the boundary behind the data is
    // found wherever inserted or lost bytes have moved the file.
    const std::uint64_t stan = static_cast<std::uint64_t>(dataOffset) - mtf::kStreamHeaderSize;
    const std::uint64_t stanLength = mtf::kStreamHeaderSize + static_cast<std::uint64_t>(size);
    return stan + (stanLength + mtf::kStreamAlignment - 1) / mtf::kStreamAlignment * mtf::kStreamAlignment;
}

ChecksumVerdict checksumVerdictOf(std::span<const std::uint8_t> stream, std::uint32_t computed) {
    if (stream.size() < kChecksumStreamSize || !streamHeaderHolds(stream, "CSUM") ||
        mtf::load64(stream.data() + mtf::kStreamLength) < 4) {
        return ChecksumVerdict::None;
    }
    return mtf::load32(stream.data() + mtf::kStreamHeaderSize) == computed ? ChecksumVerdict::Verified
                                                                           : ChecksumVerdict::Mismatch;
}

ChecksumVerdict checkDataChecksum(ByteSource& backup, std::int64_t dataOffset, std::int64_t size,
                                  std::uint32_t computed) {
    if (dataOffset < static_cast<std::int64_t>(mtf::kStreamHeaderSize) || size < 0) return ChecksumVerdict::None;
    std::array<std::uint8_t, kChecksumStreamSize> stream{};
    const ReadResult got = backup.read(checksumStreamAt(dataOffset, size), stream);
    return checksumVerdictOf(std::span(stream).first(got.bytes), computed);
}

}  // namespace bkf
