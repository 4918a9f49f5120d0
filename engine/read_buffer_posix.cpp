#include <sys/mman.h>

#include <cstdlib>
#include <new>

#include "engine/read_buffer.h"

namespace bkf {

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
}

ReadBuffer::ReadBuffer(std::size_t size) : size_(size) {
    if (size == 0) return;
    // Whole large pages for the whole large pages of the buffer; its rest
    // (the start of the next block, copied behind it) keeps small ones.
    const std::size_t large = size / kLargePage * kLargePage;
    if (large > 0) {
        const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
        data_ = static_cast<std::uint8_t*>(std::aligned_alloc(kLargePage, rounded));
#ifdef MADV_HUGEPAGE
        if (data_) ::madvise(data_, large, MADV_HUGEPAGE);  // advice: without it the memory works all the same
#endif
    } else {
        data_ = static_cast<std::uint8_t*>(std::malloc(size));
    }
    if (!data_) throw std::bad_alloc();
}

ReadBuffer::~ReadBuffer() {
    std::free(data_);
}

}  // namespace bkf
