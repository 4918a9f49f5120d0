#include "engine/read_buffer.h"

namespace bkf {

// Large pages need a privilege an ordinary user lacks: plain memory here.
ReadBuffer::ReadBuffer(std::size_t size) : data_(size ? new std::uint8_t[size] : nullptr) {}

void ReadBuffer::Release::operator()(std::uint8_t* bytes) const {
    delete[] bytes;
}

}  // namespace bkf
