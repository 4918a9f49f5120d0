#include <sys/mman.h>

#include <cstdlib>
#include <new>

#include "engine/read_buffer.h"

namespace bkf {

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
}

ReadBuffer::ReadBuffer(std::size_t size) {
    if (size == 0) return;
    // Whole large pages for the whole large pages of the buffer; its rest
    // (the start of the next block, copied behind it) keeps small ones.
    const std::size_t large = size / kLargePage * kLargePage;
    void* bytes = nullptr;
    if (large > 0) {
        const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
        bytes = std::aligned_alloc(kLargePage, rounded);
#ifdef MADV_HUGEPAGE
        if (bytes) ::madvise(bytes, large, MADV_HUGEPAGE);  // advice: without it the memory works all the same
#endif
    } else {
        bytes = std::malloc(size);
    }
    if (!bytes) throw std::bad_alloc();
    data_.reset(static_cast<std::uint8_t*>(bytes));
}

void ReadBuffer::Release::operator()(std::uint8_t* bytes) const {
    std::free(bytes);
}

}  // namespace bkf
