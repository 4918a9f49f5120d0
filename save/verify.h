// Whether the bytes of a saved file are the ones that were backed up.
//
// A file's data follows its STAN stream header (22 bytes) at once. Behind the
// data, at the next 4-byte boundary (counted from the STAN header, which
// stands on one), a backup made by Windows puts a CSUM stream: its own 22-byte header, then the 32-bit XOR of the
// data's little-endian 32-bit words (a last partial word padded with zero bytes). Each stream header carries a 16-bit
// checksum at byte 20: the XOR of its first ten little-endian 16-bit words.
//
// The checksum is worked out from the bytes a save reads anyway; checking it
// costs one more small read behind the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/byte_source.h"

namespace bkf {

// What the checksum stream says of a file's data.
enum class ChecksumVerdict {
    Verified,  // a CSUM stream follows the data and matches it
    Mismatch,  // one follows and differs: the data is damaged
    None,      // none follows, or its header is damaged
};

// "verified", "checksum mismatch", "no checksum".
const char* checksumVerdictText(ChecksumVerdict verdict);

inline constexpr const char* kWrongPlaceReason = "the backup does not hold this file's data here (wrong backup?)";

// Whether a 22-byte stream header with identifier `id` stands at the start of
// `bytes` with its header checksum holding.
bool streamHeaderHolds(std::span<const std::uint8_t> bytes, const char* id);

// Reads the STAN header in front of the data at `dataOffset`: nullopt when it
// holds, or when it would lie past the end of the backup (a shorter backup:
// the entry is truncated); otherwise why the data cannot be this file's
// (kWrongPlaceReason, or the reason the bytes could not be read).
std::optional<std::string> dataHeaderProblem(ByteSource& backup, std::int64_t dataOffset);

// The running XOR of the data's 32-bit words, fed in pieces of any length.
class DataChecksum {
public:
    void add(std::span<const std::uint8_t> bytes);
    // The checksum of everything added, the last partial word padded with zeros.
    std::uint32_t value() const;

private:
    std::uint64_t wide_ = 0;    // XOR of whole 8-byte groups (word-aligned)
    std::uint32_t narrow_ = 0;  // XOR of single words
    std::uint32_t partial_ = 0;
    unsigned phase_ = 0;  // bytes of the current word taken (0..3)
};

// The checksum stream: its 22-byte header and the 4-byte value.
inline constexpr std::size_t kChecksumStreamSize = 26;

// Where the checksum stream of `size` data bytes at `dataOffset` stands: the
// next 4-byte boundary after the data, counted from the STAN header.
// `dataOffset` must be at least 22.
std::uint64_t checksumStreamAt(std::int64_t dataOffset, std::int64_t size);

// The verdict of a checksum stream's bytes as held (fewer than a whole stream:
// none) against the checksum worked out from the data.
ChecksumVerdict checksumVerdictOf(std::span<const std::uint8_t> stream, std::uint32_t computed);

// Reads the checksum stream behind `size` data bytes at `dataOffset` and
// compares it with `computed`.
ChecksumVerdict checkDataChecksum(ByteSource& backup, std::int64_t dataOffset, std::int64_t size,
                                  std::uint32_t computed);

}  // namespace bkf
