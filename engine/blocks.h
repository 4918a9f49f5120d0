// Recognition and decoding of the tape-format descriptor blocks the scanner
// acts on. Every function takes the bytes actually held from the block's first
// byte to the end of the data read (a span), never reads past them, and reports
// a read that would reach beyond them as a failure of that one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/file_time.h"

namespace bkf {

using ByteSpan = std::span<const std::uint8_t>;

// Block and stream identifiers, in table order; a block's kind is its index.
enum class TapeBlockId : int {
    Tape = 0,
    Sfmb = 1,
    Sset = 2,
    Volb = 3,
    Dirb = 4,
    File = 5,
    Eset = 6,
    Eotm = 7,
    Cfil = 8,
    Espb = 9,
    Tsmp = 10,
    Tfdd = 11,
    Nacl = 12,
    Ntqu = 13,
    Csum = 14,
    Stan = 15,
    Spad = 16,
    Fend = 17,
    Ntoi = 18,
};

inline constexpr int kTapeBlockIdCount = 19;
inline constexpr int kEmptySlot = -2;
inline constexpr int kUnknownBlock = -1;

// The four letters of an identifier ("TAPE", "SSET", ...).
const char* tapeBlockIdName(TapeBlockId id);

// -2 when the first four bytes are all zero; otherwise the index of the first
// identifier equal to bytes 0..3 provided bytes 4 and 5 (the low half of the
// block attributes) are both zero; otherwise -1. Fewer than 6 bytes held: -1.
int identifyBlock(ByteSpan bytes);

struct TapeDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;  // 0..31 as decoded; over 23 is not a valid time
    int minute = 0;
    int second = 0;
};

// Decodes the 40-bit tape date; `bytes` must hold at least 5 bytes (else all zero).
TapeDate decodeTapeDate(ByteSpan bytes);

// The file time of a tape date, with no time-zone conversion. A date that forms
// no valid time (month 0 or over 12, a day the month does not have, hour over
// 23, minute or second over 59, a year before 1601) gives 0.
FileTime tapeDateToFileTime(ByteSpan bytes);
FileTime tapeDateToFileTime(const TapeDate& date);

// The tape address of a variable-length item: its size in bytes and its
// offset from the block start.
struct TapeAddress {
    std::uint16_t size = 0;
    std::uint16_t offset = 0;
};

// Reads the tape address stored at `fieldOffset`; nullopt when not held.
std::optional<TapeAddress> readTapeAddress(ByteSpan block, std::size_t fieldOffset);

// A name is decoded into at most this many UTF-16 code units.
inline constexpr std::size_t kTapeNameMaxUnits = 255;

// A directory or file name: the UTF-16LE code units at the address, each NUL
// code unit turned into a backslash (so "Data" NUL "Sub" NUL reads Data\Sub\),
// cut to 255 code units. nullopt when the name reaches past the bytes held.
// The buffer is not changed.
std::optional<std::u16string> readTapeName(ByteSpan block, TapeAddress address);
// The same into `out`, whose storage is reused; false (and `out` unchanged) when not held.
bool readTapeName(ByteSpan block, TapeAddress address, std::u16string& out);

// The data set name of an SSET block (tape address at 64), read like a
// directory name from its size bytes; a final code unit 0x0080 or 0x0010 is
// dropped. The caller takes the name only when its size is below 261 bytes.
// nullopt when the address field or the name reaches past the bytes held.
std::optional<std::u16string> readSetName(ByteSpan block);

// The first position p, 0 <= p < window, at which the four bytes "STAN" stand,
// all four within `block`; nullopt when there is none.
std::optional<std::size_t> findStreamHeader(ByteSpan block, std::size_t window);

// Whether a descriptor block's header checksum holds: the XOR of its first 25
// little-endian 16-bit words equals the word at byte 50. False when fewer
// than 52 bytes are held.
bool headerChecksumHolds(ByteSpan block);

// The positions p < `count` at which an SSET, DIRB or FILE identifier stands
// with bytes 4 and 5 both zero (the rule identifyBlock applies), all six bytes
// within `bytes`, in ascending order, appended to `out` (which is cleared
// first). A bulk pass meant for every byte of a backup: it looks for the
// identifiers' first two letters sixteen positions at a time and tests the
// rest only where they stand.
void findDescriptorCandidates(ByteSpan bytes, std::size_t count, std::vector<std::uint32_t>& out);

// The same with the vector instructions used capped at `most` (those the
// processor lacks are never used), so each way can be checked against the
// plain loop.
enum class VectorLevel { Plain, Sse2, Avx2, Avx512 };
void findDescriptorCandidates(ByteSpan bytes, std::size_t count, std::vector<std::uint32_t>& out, VectorLevel most);

}  // namespace bkf
