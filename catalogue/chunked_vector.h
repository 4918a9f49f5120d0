// A growable array kept in fixed-size chunks: appending never moves what is
// already stored, so a table of millions of rows grows without copying itself
// and without needing twice its size while it grows.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace bkf {

template <class T, std::size_t ChunkBits = 16>
class ChunkedVector {
public:
    static constexpr std::size_t kChunkSize = std::size_t{1} << ChunkBits;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T& operator[](std::size_t i) { return chunks_[i >> ChunkBits][i & (kChunkSize - 1)]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> ChunkBits][i & (kChunkSize - 1)]; }

    T& push_back(const T& value) {
        if ((size_ & (kChunkSize - 1)) == 0 && (size_ >> ChunkBits) == chunks_.size()) {
            chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunkSize));
        }
        T& slot = (*this)[size_];
        slot = value;
        ++size_;
        return slot;
    }

    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }

    template <class F>
    void forEach(F&& f) {
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            const std::size_t n = std::min(kChunkSize, size_ - c * kChunkSize);
            T* chunk = chunks_[c].get();
            for (std::size_t i = 0; i < n; ++i) f(chunk[i]);
        }
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace bkf
