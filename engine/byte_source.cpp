#include "engine/byte_source.h"

#include <algorithm>
#include <cstring>

namespace bkf {

ReadResult MemoryByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    ReadResult result;
    if (offset >= bytes_->size()) return result;
    result.bytes = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_->size() - offset));
    std::memcpy(out.data(), bytes_->data() + offset, result.bytes);
    return result;
}

}  // namespace bkf
