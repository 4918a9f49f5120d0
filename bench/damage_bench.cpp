// How much of a damaged backup comes back. Healthy backups of thousands of
// files are made with the writer and damaged with fixed seeds (wiped ranges,
// random bytes over a share of the file, bytes inserted or deleted at random
// places, truncation); among the files whose block, stream header and data
// lie wholly outside the damage, the share that the scan lists with the right
// size, data offset and content is printed. The target is 100% everywhere.
// Usage: damage_bench [FILES]
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "engine/scan.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"

using namespace bkf;
using namespace bkf::tools;

namespace {

struct Healthy {
    std::vector<std::uint8_t> bytes;
    Manifest manifest;
};

Healthy makeBackup(std::size_t files, std::uint64_t seed) {
    MemorySink sink;
    BackupWriter w(sink);
    std::mt19937_64 rng(seed);
    for (std::size_t i = 0; i < files; ++i) {
        if (i % 500 == 0) w.beginSet({.name = u"Set " + std::u16string(1, static_cast<char16_t>(u'A' + i / 500))});
        if (i % 40 == 0) w.directory({.name = folderName(u"dir" + std::u16string(1, static_cast<char16_t>(u'a' + i / 40 % 26)))});
        FileItem f;
        f.name = u"file" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".bin";
        // Mostly small files, now and then a larger one.
        const std::uint64_t size = rng() % 8 == 0 ? 20000 + rng() % 200000 : rng() % 6000;
        f.content = Content::random(size, i + seed);
        f.naclSize = static_cast<std::uint32_t>(rng() % 4 * 40);
        w.file(f);
    }
    w.finish();
    return {std::move(sink.bytes()), w.takeManifest()};
}

class Sink final : public ScanSink {
public:
    std::map<std::int64_t, std::int64_t> sizeAt;  // data offset -> size
    void fileFound(const FoundFile& f) override { sizeAt[f.dataOffset] = f.size; }
    void folderFound(std::u16string_view) override {}
};

struct Pattern {
    const char* name;
    std::vector<Damage> (*make)(std::uint64_t size, std::mt19937_64& rng);
};

std::vector<Damage> wipes(std::uint64_t size, std::mt19937_64& rng, std::uint64_t length, int count) {
    std::vector<Damage> d;
    for (int i = 0; i < count; ++i) d.push_back({DamageKind::Wipe, rng() % (size - length), length, {}});
    return d;
}

std::vector<Damage> randomBytes(std::uint64_t size, std::mt19937_64& rng, double share) {
    std::vector<Damage> d;
    const std::uint64_t total = static_cast<std::uint64_t>(static_cast<double>(size) * share);
    for (std::uint64_t done = 0; done < total;) {
        const std::uint64_t length = 1 + rng() % 4096;
        d.push_back({DamageKind::Randomise, rng() % (size - length), length, rng()});
        done += length;
    }
    return d;
}

std::vector<Damage> shifts(std::uint64_t size, std::mt19937_64& rng, DamageKind kind) {
    std::vector<Damage> d;
    for (int i = 0; i < 5; ++i) d.push_back({kind, rng() % (size - 5000), 1 + rng() % 3000, rng()});
    return d;
}

const Pattern kPatterns[] = {
    {"wiped 4 KiB ranges (20)", [](std::uint64_t s, std::mt19937_64& r) { return wipes(s, r, 4096, 20); }},
    {"wiped 1 MiB ranges (2)", [](std::uint64_t s, std::mt19937_64& r) { return wipes(s, r, 1 << 20, 2); }},
    {"random bytes over 1% of the file", [](std::uint64_t s, std::mt19937_64& r) { return randomBytes(s, r, 0.01); }},
    {"random bytes over 10% of the file", [](std::uint64_t s, std::mt19937_64& r) { return randomBytes(s, r, 0.10); }},
    {"bytes inserted at 5 places", [](std::uint64_t s, std::mt19937_64& r) { return shifts(s, r, DamageKind::Insert); }},
    {"bytes deleted at 5 places", [](std::uint64_t s, std::mt19937_64& r) { return shifts(s, r, DamageKind::Delete); }},
    {"cut at two thirds", [](std::uint64_t s, std::mt19937_64&) {
         return std::vector<Damage>{{DamageKind::Truncate, s * 2 / 3, 0, {}}};
     }},
};

}  // namespace

int main(int argc, char** argv) {
    const std::size_t files = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 5000;
    const Healthy healthy = makeBackup(files, 42);
    std::printf("%zu files in a backup of %.1f MB\n\n", files, static_cast<double>(healthy.bytes.size()) / 1e6);
    std::printf("%-36s %8s %10s %10s %9s\n", "damage", "seed", "eligible", "recovered", "share");
    bool allMet = true;
    for (const Pattern& p : kPatterns) {
        for (std::uint64_t seed : {1u, 2u, 3u}) {
            std::mt19937_64 rng(seed * 7919);
            auto bytes = healthy.bytes;
            auto manifest = healthy.manifest;
            for (const Damage& d : p.make(bytes.size(), rng)) {
                if (d.kind != DamageKind::Truncate && d.offset + (d.kind == DamageKind::Insert ? 0 : d.length) > bytes.size()) continue;
                const std::uint64_t before = bytes.size();
                damageBytes(bytes, d);
                applyDamage(manifest, d, before);
            }
            Sink sink;
            MemoryByteSource source(bytes);
            std::atomic<bool> running{true};
            scanBackupFile(source, sink, running);
            std::size_t eligible = 0, recovered = 0;
            for (const ManifestEntry& e : manifest) {
                if (!e.intact()) continue;
                ++eligible;
                const auto it = sink.sizeAt.find(static_cast<std::int64_t>(e.dataOffset));
                if (it == sink.sizeAt.end() || it->second != static_cast<std::int64_t>(e.size)) continue;
                if (e.dataOffset + e.size > bytes.size()) continue;
                const std::uint64_t hash = hashBytes(std::span<const std::uint8_t>(bytes.data() + e.dataOffset, e.size));
                recovered += hash == e.hash ? 1 : 0;
            }
            const double share = eligible ? 100.0 * static_cast<double>(recovered) / static_cast<double>(eligible) : 100.0;
            allMet = allMet && recovered == eligible;
            std::printf("%-36s %8llu %10zu %10zu %8.2f%%\n", p.name, static_cast<unsigned long long>(seed), eligible,
                        recovered, share);
        }
    }
    std::printf("\ntarget: 100%% of the eligible files on every pattern: %s\n", allMet ? "ok" : "MISSED");
    return allMet ? 0 : 1;
}
