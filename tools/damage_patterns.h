// The named ways of damaging a backup that the damage benchmark measures and
// the tests repeat: wiped ranges, random bytes over a share of the file,
// bytes inserted or deleted, a header put in front, a text-mode transfer,
// backups joined or put together in the wrong order, truncation. Each keeps
// the writer's manifest in step with the bytes.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "tools/manifest.h"

namespace bkf::tools {

struct DamagePattern {
    const char* name;
    void (*apply)(std::vector<std::uint8_t>& bytes, Manifest& manifest, std::mt19937_64& rng);
};

// Every pattern, in the benchmark's order. Some wipe 1 MiB ranges: the
// backup must be larger than that.
std::span<const DamagePattern> damagePatterns();

// A healthy backup of `files` files for the patterns: a set every 500 files,
// a folder every 40, mostly small files of random bytes and now and then one
// of 20 to 220 KB, checksum chains of several lengths.
struct MixedBackup {
    std::vector<std::uint8_t> bytes;
    Manifest manifest;
};
MixedBackup makeMixedBackup(std::size_t files, std::uint64_t seed);

}  // namespace bkf::tools
