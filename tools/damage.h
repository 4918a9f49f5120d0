// Damage done to a backup on purpose, to see what the scanner makes of it:
// wiping or randomising a byte range, inserting or deleting bytes (which
// shifts everything after them), and cutting the file short. The file forms
// stream through the file in pieces, so they work on multi-GiB backups, and
// keep runs of zeros as holes where the file system allows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/manifest.h"

namespace bkf::tools {

enum class DamageKind { Wipe, Randomise, Insert, Delete, Truncate };

struct Damage {
    DamageKind kind = DamageKind::Wipe;
    std::uint64_t offset = 0;  // Truncate: the new length
    std::uint64_t length = 0;  // bytes wiped, randomised, inserted or deleted
    // Randomise: the byte stream's seed (0 when unset). Insert: random bytes
    // from this seed, zeros when unset.
    std::optional<std::uint64_t> seed = std::nullopt;
};

// "wipe 70000+512" and the like, for messages.
std::string describe(const Damage& damage);

// Throw std::out_of_range when the range does not lie within the data (an
// insert may be at the very end; a truncation may not lengthen).
void damageBytes(std::vector<std::uint8_t>& bytes, const Damage& damage);
// Also throws std::runtime_error when the file cannot be read or written.
void damageFile(const std::filesystem::path& file, const Damage& damage);

// The backup's length after the damage.
std::uint64_t sizeAfter(const Damage& damage, std::uint64_t sizeBefore);

// Brings a manifest up to date with the damage done to a backup of
// `sizeBefore` bytes: files whose FILE block or STAN header is hit are marked
// lost, files whose data is hit are marked damaged, the offsets of files
// behind an insert or delete move with them (off the 512-byte grid when the
// shift is not a multiple of 512), and whether each STAN header is within the
// scanner's reach is worked out again for the new length. Damage to the SSET
// and DIRB blocks is not followed into the names of later files.
void applyDamage(Manifest& manifest, const Damage& damage, std::uint64_t sizeBefore);
// The same without the length: reach is worked out again only for the files
// that move, as if they lay in whole chunks. Right unless the damage moves
// files into or out of the final short chunk, or changes where it begins.
void applyDamage(Manifest& manifest, const Damage& damage);

// A copy through a text-mode transfer: a CR put before every LF byte. The
// manifest follows: every file moves by the LF bytes before it; one whose
// block or stream header holds an LF is lost, one whose data holds one is
// damaged.
std::vector<std::uint8_t> addCrBeforeLf(const std::vector<std::uint8_t>& bytes, Manifest& manifest);

// A piece of a backup: `length` bytes from `offset`.
struct Piece {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
// The pieces (which must cover the backup, each byte once) joined in the
// order given, as when parts of a copy are put together wrongly. A file whose
// block, stream header or data is split between two pieces that no longer
// follow each other is lost or damaged; the others move with their piece.
std::vector<std::uint8_t> rearrange(const std::vector<std::uint8_t>& bytes, const std::vector<Piece>& pieces,
                                    Manifest& manifest);

}  // namespace bkf::tools
