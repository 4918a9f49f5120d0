// Reading back what the writer wrote, without the writer's help: the stream
// chain behind a descriptor block, and small field readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/blocks.h"
#include "engine/tape_format.h"
#include "tools/backup_writer.h"

namespace bkf::test {

struct StreamView {
    std::uint64_t offset = 0;
    std::string id;
    std::uint64_t length = 0;
};

inline ByteSpan at(const std::vector<std::uint8_t>& bytes, std::uint64_t offset) {
    return ByteSpan(bytes).subspan(static_cast<std::size_t>(offset));
}

inline std::uint16_t u16At(const std::vector<std::uint8_t>& b, std::uint64_t offset) {
    return mtf::load16(b.data() + offset);
}

inline std::uint64_t u64At(const std::vector<std::uint8_t>& b, std::uint64_t offset) {
    return mtf::load64(b.data() + offset);
}

// The streams from the block's "offset to first event" on, each header found
// where the previous stream's length says (rounded up to 4), up to and
// including the first SPAD. Stops early at anything not a stream header or at
// the end of the bytes.
inline std::vector<StreamView> walkChain(const std::vector<std::uint8_t>& bytes, std::uint64_t blockOffset) {
    std::vector<StreamView> chain;
    std::uint64_t p = blockOffset + u16At(bytes, blockOffset + mtf::kOffsetToFirstEvent);
    while (p + mtf::kStreamHeaderSize <= bytes.size()) {
        const int kind = identifyBlock(at(bytes, p));
        if (kind < static_cast<int>(TapeBlockId::Nacl)) break;
        StreamView s{p, tapeBlockIdName(static_cast<TapeBlockId>(kind)), u64At(bytes, p + mtf::kStreamLength)};
        chain.push_back(s);
        if (s.id == "SPAD") break;
        p += mtf::kStreamHeaderSize + s.length;
        p = (p + 3) / 4 * 4;
    }
    return chain;
}

// XOR of the first `words` 16-bit words from `offset`.
inline std::uint16_t xorOfWords(const std::vector<std::uint8_t>& b, std::uint64_t offset, std::size_t words) {
    std::uint16_t x = 0;
    for (std::size_t i = 0; i < words; ++i) x ^= u16At(b, offset + 2 * i);
    return x;
}

struct Built {
    std::vector<std::uint8_t> bytes;
    tools::Manifest manifest;
    std::vector<tools::BlockRecord> blocks;
};

// A backup written into memory by `fill`, finished.
template <class Fill>
Built buildInMemory(Fill&& fill, tools::WriterOptions options = {}) {
    tools::MemorySink sink;
    tools::BackupWriter writer(sink, options);
    fill(writer);
    writer.finish();
    return {sink.bytes(), writer.manifest(), writer.blocks()};
}

inline tools::FileItem fileOf(std::u16string name, tools::Content content) {
    tools::FileItem f;
    f.name = std::move(name);
    f.content = std::move(content);
    return f;
}

}  // namespace bkf::test
