// How much of a damaged backup comes back. Healthy backups of thousands of
// files are made with the writer and damaged with fixed seeds (wiped ranges,
// random bytes over a share of the file, bytes inserted or deleted, a header
// put in front, a text-mode transfer, backups joined or put together in the
// wrong order, truncation). A file is eligible when its block, stream header
// and data are intact wherever they now lie (the writer's manifest follows
// every shift); the share of the eligible files that the scan lists with the
// right size, data offset and content is printed, for the default scan and
// for one that keeps to the 512-byte slots. Entries listed from a place where
// the writer put no FILE block are counted as phantoms. The target is 100%
// everywhere, and no phantom added by the search off the grid on a healthy
// backup whose file data is full of block look-alikes (the slots take a
// look-alike that lands on the grid, without or with that search).
//
// Then every file found at its true data offset is checked as a save checks
// it, and beside each pattern are printed: the files verified; of the files
// whose data was hit while their checksum stream survived, how many got
// "checksum mismatch" (target: all); files verified whose bytes are wrong
// (target: 0); files intact, their checksum stream too, but called
// mismatched (target: 0).
// Usage: damage_bench [FILES]
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "engine/blocks.h"
#include "engine/scan.h"
#include "save/extract.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/damage_patterns.h"

using namespace bkf;
using namespace bkf::tools;

namespace {

using Healthy = MixedBackup;

Healthy makeBackup(std::size_t files, std::uint64_t seed) {
    return makeMixedBackup(files, seed);
}

class Sink final : public ScanSink {
public:
    std::map<std::int64_t, std::int64_t> sizeAt;  // data offset -> size
    std::vector<std::int64_t> blocks;             // FILE block offsets
    void fileFound(const FoundFile& f) override {
        sizeAt[f.dataOffset] = f.size;
        blocks.push_back(f.blockOffset);
    }
    void folderFound(std::u16string_view) override {}
};

struct Count {
    std::size_t eligible = 0;
    std::size_t recovered = 0;
    std::size_t phantoms = 0;
    // Verdicts of the files found at their true data offset.
    std::size_t verified = 0;
    std::size_t hitWithChecksum = 0;  // data hit, checksum stream intact
    std::size_t hitCaught = 0;        // ... and called mismatched
    std::size_t wrongVerified = 0;
    std::size_t falseMismatches = 0;
};

Count count(const std::vector<std::uint8_t>& bytes, const Manifest& manifest, bool offGrid,
            const Healthy* healthy = nullptr) {
    Sink sink;
    MemoryByteSource source(bytes);
    std::atomic<bool> running{true};
    scanBackupFile(source, sink, running, nullptr, nullptr, {.offGrid = offGrid});
    Count c;
    std::set<std::int64_t> written;  // where the writer put FILE blocks
    for (const ManifestEntry& e : manifest) {
        written.insert(static_cast<std::int64_t>(e.blockOffset));
        if (!e.intact()) continue;
        ++c.eligible;
        const auto it = sink.sizeAt.find(static_cast<std::int64_t>(e.dataOffset));
        if (it == sink.sizeAt.end() || it->second != static_cast<std::int64_t>(e.size)) continue;
        if (e.dataOffset + e.size > bytes.size()) continue;
        const std::uint64_t hash = hashBytes(std::span<const std::uint8_t>(bytes.data() + e.dataOffset, e.size));
        c.recovered += hash == e.hash ? 1 : 0;
    }
    for (const std::int64_t block : sink.blocks) c.phantoms += written.count(block) ? 0 : 1;
    if (!healthy) return c;

    // Verdicts for the files found where their data truly starts, whole.
    std::vector<ExtractItem> items;
    std::vector<std::size_t> entryOf;
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        const ManifestEntry& e = manifest[i];
        const auto it = sink.sizeAt.find(static_cast<std::int64_t>(e.dataOffset));
        if (it == sink.sizeAt.end() || it->second != static_cast<std::int64_t>(e.size)) continue;
        if (e.dataOffset + e.size > bytes.size()) continue;
        items.push_back({e.displayPath, static_cast<std::int64_t>(e.size), static_cast<std::int64_t>(e.dataOffset)});
        entryOf.push_back(i);
    }
    struct Verdicts final : ExtractObserver {
        std::vector<EntryReport> reports;
        void entryFinished(const EntryReport& r) override { reports.push_back(r); }
    } verdicts;
    MemoryByteSource again(bytes);
    verifyEntries(again, items, &verdicts);
    for (std::size_t k = 0; k < verdicts.reports.size(); ++k) {
        const ManifestEntry& e = manifest[entryOf[k]];
        const ManifestEntry& before = healthy->manifest[entryOf[k] % healthy->manifest.size()];
        const EntryReport& r = verdicts.reports[k];
        const bool right = hashBytes(std::span<const std::uint8_t>(bytes.data() + e.dataOffset, e.size)) == e.hash;
        const bool verified = r.result == EntryResult::Saved && r.checksum == ChecksumVerdict::Verified;
        const bool mismatch = r.result == EntryResult::Saved && r.checksum == ChecksumVerdict::Mismatch;
        // Whether the checksum stream behind the data still holds what was written.
        const std::uint64_t at =
            checksumStreamAt(static_cast<std::int64_t>(e.dataOffset), static_cast<std::int64_t>(e.size));
        const std::uint64_t was =
            checksumStreamAt(static_cast<std::int64_t>(before.dataOffset), static_cast<std::int64_t>(before.size));
        const bool survived =
            at + 26 <= bytes.size() && std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                  bytes.begin() + static_cast<std::ptrdiff_t>(at + 26),
                                                  healthy->bytes.begin() + static_cast<std::ptrdiff_t>(was));
        c.verified += verified ? 1 : 0;
        c.wrongVerified += verified && !right ? 1 : 0;
        c.falseMismatches += mismatch && right && survived ? 1 : 0;
        // A file whose stream header took damage fails instead: not counted here.
        if (!right && (e.notes & kNoteBlockDamaged) == 0) {
            c.hitWithChecksum += survived ? 1 : 0;
            c.hitCaught += survived && mismatch ? 1 : 0;
        }
    }
    return c;
}

std::size_t decoyCount = 0;

// A healthy backup whose files hold random bytes strewn with copies of real
// FILE, DIRB and SSET blocks whose checksums do not hold.
Healthy lookAlikeBackup(std::size_t files) {
    const Healthy model = makeBackup(3, 7);
    std::vector<std::vector<std::uint8_t>> decoys;
    for (std::uint64_t at = 0; at + 512 <= model.bytes.size(); at += 512) {
        const int kind = identifyBlock(std::span(model.bytes).subspan(at));
        if (kind != static_cast<int>(TapeBlockId::File) && kind != static_cast<int>(TapeBlockId::Dirb) &&
            kind != static_cast<int>(TapeBlockId::Sset)) {
            continue;
        }
        std::vector<std::uint8_t> block(model.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                        model.bytes.begin() + static_cast<std::ptrdiff_t>(at + 512));
        block[50] ^= 0x5A;
        decoys.push_back(std::move(block));
    }
    MemorySink sink;
    BackupWriter w(sink);
    std::mt19937_64 rng(11);
    w.beginSet({.name = u"Decoys"});
    for (std::size_t i = 0; i < files; ++i) {
        if (i % 100 == 0)
            w.directory({.name = folderName(u"d" + std::u16string(1, static_cast<char16_t>(u'a' + i / 100 % 26)))});
        std::vector<std::uint8_t> data(rng() % 8000);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(rng());
        for (std::size_t at = rng() % 700; at + 512 <= data.size(); at += 300 + rng() % 900) {
            const auto& d = decoys[rng() % decoys.size()];
            std::copy(d.begin(), d.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
            ++decoyCount;
        }
        FileItem f;
        f.name = u"r" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".bin";
        f.content = Content::bytes(std::move(data));
        w.file(f);
    }
    w.finish();
    return {std::move(sink.bytes()), w.takeManifest()};
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t files = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5000;
    const Healthy healthy = makeBackup(files, 42);
    std::printf("%zu files in a backup of %.1f MB\n\n", files, static_cast<double>(healthy.bytes.size()) / 1e6);
    std::printf("%-40s %4s %9s %10s %8s %9s %11s %9s %11s %9s %9s\n", "damage", "seed", "eligible", "recovered",
                "share", "phantoms", "slots only", "verified", "hit caught", "wrong ok", "false hit");
    bool allMet = true;
    for (const DamagePattern& p : damagePatterns()) {
        for (std::uint64_t seed : {1u, 2u, 3u}) {
            std::mt19937_64 rng(seed * 7919);
            auto bytes = healthy.bytes;
            auto manifest = healthy.manifest;
            p.apply(bytes, manifest, rng);
            const Count c = count(bytes, manifest, true, &healthy);
            const Count slots = count(bytes, manifest, false);
            const double share =
                c.eligible ? 100.0 * static_cast<double>(c.recovered) / static_cast<double>(c.eligible) : 100.0;
            const double slotShare =
                c.eligible ? 100.0 * static_cast<double>(slots.recovered) / static_cast<double>(c.eligible) : 100.0;
            allMet = allMet && c.recovered == c.eligible && c.hitCaught == c.hitWithChecksum && c.wrongVerified == 0 &&
                     c.falseMismatches == 0;
            const std::string caught = std::to_string(c.hitCaught) + "/" + std::to_string(c.hitWithChecksum);
            std::printf("%-40s %4llu %9zu %10zu %7.2f%% %9zu %10.2f%% %9zu %11s %9zu %9zu\n", p.name,
                        static_cast<unsigned long long>(seed), c.eligible, c.recovered, share, c.phantoms, slotShare,
                        c.verified, caught.c_str(), c.wrongVerified, c.falseMismatches);
        }
    }
    const Healthy decoys = lookAlikeBackup(10000);
    const Count d = count(decoys.bytes, decoys.manifest, true);
    const Count dSlots = count(decoys.bytes, decoys.manifest, false);
    std::printf(
        "\nhealthy, 10,000 random files strewn with %zu block look-alikes (%.1f MB): %zu of %zu listed;\n"
        "phantoms: %zu, of which %zu are look-alikes on the grid that the slots alone take too\n",
        decoyCount, static_cast<double>(decoys.bytes.size()) / 1e6, d.recovered, d.eligible, d.phantoms,
        dSlots.phantoms);
    allMet = allMet && d.recovered == d.eligible && d.phantoms == dSlots.phantoms;
    std::printf(
        "\ntarget: 100%% of the eligible files on every pattern, every hit file with its checksum caught,\n"
        "nothing wrongly verified or wrongly called damaged, no phantom added on the healthy backup: %s\n",
        allMet ? "ok" : "MISSED");
    return allMet ? 0 : 1;
}
