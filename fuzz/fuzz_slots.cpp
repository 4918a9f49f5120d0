// The block decoders over arbitrary bytes: whatever a slot holds, they read
// nothing outside it and say what they found.
#include <cstddef>
#include <cstdint>

#include "engine/blocks.h"
#include "engine/tape_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bkf;
    const ByteSpan block(data, size);
    (void)identifyBlock(block);
    (void)readSetName(block);
    for (std::size_t field : {mtf::kDirbNameSize, mtf::kFileNameSize, mtf::kSsetNameSize}) {
        if (const auto address = readTapeAddress(block, field)) (void)readTapeName(block, *address);
    }
    (void)findStreamHeader(block, mtf::kStreamWindow);
    (void)findStreamHeader(block, mtf::kLastSlotStreamWindow);
    for (std::size_t at : {mtf::kFileModified, mtf::kFileCreated, mtf::kFileAccessed, std::size_t{0}}) {
        if (at + mtf::kTapeDateSize <= size) (void)tapeDateToFileTime(block.subspan(at, mtf::kTapeDateSize));
    }
    return 0;
}
