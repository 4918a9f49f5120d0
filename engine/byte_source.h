// Where the scan and the extraction read backup bytes from: a file on disk,
// or memory in tests. Positioned reads only, so one source can serve readers
// at different places.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace bkf {

struct ReadResult {
    std::size_t bytes = 0;  // bytes placed at the start of the buffer
    bool failed = false;    // the read failed (bytes may still be short of the request)
    std::string reason;     // the system's reason when it failed
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Size of the source in bytes, as it was when it was opened.
    virtual std::uint64_t size() const = 0;
    // Reads up to out.size() bytes at `offset`. Fewer bytes without a failure
    // means the end of the source was reached.
    virtual ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    // The system's handle of the open file behind the source, so that a
    // writer may let the system copy from it directly; -1 when there is none.
    virtual std::intptr_t nativeHandle() const { return -1; }
    // The first offset at or after `offset` where data may stand: the bytes
    // between are a hole of a sparse file (zeros that take no disk and hold
    // nothing). `offset` itself when no hole is known there; size() when only
    // a hole follows.
    virtual std::uint64_t nextData(std::uint64_t offset) { return offset; }
};

// A source over bytes held in memory (shared, never copied).
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::shared_ptr<const std::vector<std::uint8_t>> bytes) : bytes_(std::move(bytes)) {}
    explicit MemoryByteSource(std::vector<std::uint8_t> bytes)
        : bytes_(std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes))) {}

    std::uint64_t size() const override { return bytes_->size(); }
    ReadResult read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
};

}  // namespace bkf
