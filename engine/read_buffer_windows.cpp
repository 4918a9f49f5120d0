#include <new>

#include "engine/read_buffer.h"

namespace bkf {

// Large pages need a privilege an ordinary user lacks: plain memory here.
ReadBuffer::ReadBuffer(std::size_t size) : data_(size ? new std::uint8_t[size] : nullptr), size_(size) {}

ReadBuffer::~ReadBuffer() {
    delete[] data_;
}

}  // namespace bkf
