#include "tools/damage_patterns.h"

#include <algorithm>
#include <iterator>

#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/sink.h"

namespace bkf::tools {

namespace {

void damageAll(std::vector<std::uint8_t>& bytes, Manifest& manifest, const std::vector<Damage>& damage) {
    for (const Damage& d : damage) {
        if (d.kind != DamageKind::Truncate && d.offset + (d.kind == DamageKind::Insert ? 0 : d.length) > bytes.size())
            continue;
        const std::uint64_t before = bytes.size();
        damageBytes(bytes, d);
        applyDamage(manifest, d, before);
    }
}

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

const DamagePattern kPatterns[] = {
    {"wiped 4 KiB ranges (20)", [](auto& b, auto& m, auto& r) { damageAll(b, m, wipes(b.size(), r, 4096, 20)); }},
    {"wiped 1 MiB ranges (2)", [](auto& b, auto& m, auto& r) { damageAll(b, m, wipes(b.size(), r, 1 << 20, 2)); }},
    {"first 64 KiB zeroed",
     [](auto& b, auto& m, auto&) {
         damageAll(b, m, {{DamageKind::Wipe, 0, 65536, {}}});
     }},
    {"random bytes over 1% of the file",
     [](auto& b, auto& m, auto& r) { damageAll(b, m, randomBytes(b.size(), r, 0.01)); }},
    {"random bytes over 10% of the file",
     [](auto& b, auto& m, auto& r) { damageAll(b, m, randomBytes(b.size(), r, 0.10)); }},
    {"1 byte inserted once",
     [](auto& b, auto& m, auto& r) {
         damageAll(b, m, {{DamageKind::Insert, r() % b.size(), 1, r()}});
     }},
    {"333 bytes put in front",
     [](auto& b, auto& m, auto& r) {
         damageAll(b, m, {{DamageKind::Insert, 0, 333, r()}});
     }},
    {"1-3,000 bytes inserted at 5 places",
     [](auto& b, auto& m, auto& r) { damageAll(b, m, shifts(b.size(), r, DamageKind::Insert)); }},
    {"1-3,000 bytes deleted at 5 places",
     [](auto& b, auto& m, auto& r) { damageAll(b, m, shifts(b.size(), r, DamageKind::Delete)); }},
    {"a CR put before every LF byte", [](auto& b, auto& m, auto&) { b = addCrBeforeLf(b, m); }},
    {"two backups joined end to end",
     [](auto& b, auto& m, auto&) {
         const std::uint64_t size = b.size();
         const Manifest first = m;
         b.insert(b.end(), b.begin(), b.end());
         for (ManifestEntry e : first) {
             e.blockOffset += size;
             e.dataOffset += size;
             m.push_back(e);
         }
     }},
    {"cut in three, joined in the wrong order",
     [](auto& b, auto& m, auto& r) {
         const std::uint64_t size = b.size();
         std::uint64_t cut1 = 1 + r() % (size - 2), cut2 = 1 + r() % (size - 2);
         if (cut1 > cut2) std::swap(cut1, cut2);
         if (cut1 == cut2) ++cut2;
         b = rearrange(b, {{cut2, size - cut2}, {0, cut1}, {cut1, cut2 - cut1}}, m);
     }},
    {"cut at two thirds",
     [](auto& b, auto& m, auto&) {
         damageAll(b, m, {{DamageKind::Truncate, b.size() * 2 / 3, 0, {}}});
     }},
};

}  // namespace

std::span<const DamagePattern> damagePatterns() {
    return kPatterns;
}

MixedBackup makeMixedBackup(std::size_t files, std::uint64_t seed) {
    MemorySink sink;
    BackupWriter w(sink);
    std::mt19937_64 rng(seed);
    for (std::size_t i = 0; i < files; ++i) {
        if (i % 500 == 0) w.beginSet({.name = u"Set " + std::u16string(1, static_cast<char16_t>(u'A' + i / 500))});
        if (i % 40 == 0)
            w.directory({.name = folderName(u"dir" + std::u16string(1, static_cast<char16_t>(u'a' + i / 40 % 26)))});
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

}  // namespace bkf::tools
