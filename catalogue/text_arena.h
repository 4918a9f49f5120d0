// UTF-16 texts kept one after another in large chunks that never move, each
// named by a 32-bit reference: millions of short names cost their code units
// and no allocation of their own. Texts are never removed one by one; an
// owner that replaces a text stores the new one and leaves the old in place
// (renames are rare and small next to a scan).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace bkf {

class TextArena {
public:
    using Ref = std::uint32_t;

    // Stores a copy of `text`. Throws std::length_error when the arena is full
    // (65,536 chunks: at least 4 Gi code units).
    Ref store(std::u16string_view text) {
        if (text.empty()) return 0;
        if (chunks_.empty() || capacity_ - used_ < text.size()) {
            if (chunks_.size() >= kMaxChunks) throw std::length_error("catalogue text store is full");
            // A text longer than a chunk gets a chunk of its own.
            capacity_ = text.size() > kChunkUnits ? text.size() : kChunkUnits;
            chunks_.push_back(std::make_unique_for_overwrite<char16_t[]>(capacity_));
            used_ = 0;
        }
        const auto ref = static_cast<Ref>(((chunks_.size() - 1) << kOffsetBits) | used_);
        std::copy(text.begin(), text.end(), chunks_.back().get() + used_);
        used_ += text.size();
        return ref;
    }

    // The text stored under `ref`, `length` code units long.
    std::u16string_view view(Ref ref, std::size_t length) const {
        if (length == 0) return {};
        return {chunks_[ref >> kOffsetBits].get() + (ref & (kChunkUnits - 1)), length};
    }

    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        used_ = capacity_ = 0;
    }

private:
    // A reference is a chunk number and an offset in it; a chunk's last text
    // begins within its first kChunkUnits units.
    static constexpr unsigned kOffsetBits = 16;
    static constexpr std::size_t kChunkUnits = std::size_t{1} << kOffsetBits;
    static constexpr std::size_t kMaxChunks = std::size_t{1} << (32 - kOffsetBits);

    std::vector<std::unique_ptr<char16_t[]>> chunks_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace bkf
