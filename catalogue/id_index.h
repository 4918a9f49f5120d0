// A hash index of 32-bit ids whose keys live elsewhere (in the catalogue's own
// vectors), so no key is stored twice. Open addressing with linear probing;
// several ids may share a key. There is no removal: an owner whose keys change
// rebuilds the index (renames are rare and small next to a scan).
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace bkf {

// A fast 64-bit hash of UTF-16 text.
inline std::uint64_t hashText(std::u16string_view text, std::uint64_t seed = 0) {
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
    std::uint64_t h = seed ^ (text.size() * kMul);
    const char16_t* p = text.data();
    std::size_t n = text.size();
    for (; n >= 4; n -= 4, p += 4) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
    }
    for (; n > 0; --n, ++p) {
        h = (h ^ *p) * kMul;
        h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ULL;
    h ^= h >> 32;
    return h;
}

class IdIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Calls visit(id) for every id inserted with this hash until it returns true.
    template <class Visit>
    void forEach(std::uint64_t hash, Visit&& visit) const {
        if (slots_.empty()) return;
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.id == kNone) return;
            if (s.tag == tag && visit(s.id)) return;
        }
    }

    // `rehash(id)` gives the hash an id was inserted with: the index keeps
    // only a tag of it, and asks again when it grows.
    template <class Rehash>
    void insert(std::uint64_t hash, std::uint32_t id, Rehash&& rehash) {
        if ((count_ + 1) * 4 > slots_.size() * 3) grow(rehash);
        place(hash, id);
        ++count_;
    }

    void clear() {
        slots_.clear();
        slots_.shrink_to_fit();
        count_ = 0;
        mask_ = 0;
    }

    std::size_t size() const { return count_; }

private:
    struct Slot {
        std::uint32_t id = kNone;
        std::uint32_t tag = 0;  // high half of the hash: most misses end here
    };

    void place(std::uint64_t hash, std::uint32_t id) {
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            if (slots_[i].id == kNone) {
                slots_[i] = Slot{id, static_cast<std::uint32_t>(hash >> 32)};
                return;
            }
        }
    }

    template <class Rehash>
    void grow(Rehash& rehash) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        mask_ = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.id != kNone) place(rehash(s.id), s.id);
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

}  // namespace bkf
