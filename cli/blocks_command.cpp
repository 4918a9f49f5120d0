// tarvik blocks BACKUP: every recognised block at a 512-byte slot, with what
// the scanner reads from the set, folder and file blocks. A tool for looking
// into a backup; the catalogue itself comes from the scan.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "engine/backup_file.h"
#include "engine/blocks.h"
#include "engine/tape_format.h"

namespace bkf::cli {

namespace {

std::string dateText(ByteSpan bytes) {
    const TapeDate d = decodeTapeDate(bytes);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute, d.second);
    return buf;
}

std::string nameText(const std::optional<std::u16string>& name) {
    if (!name) return "(name past the bytes read)";
    std::string text(1, '"');
    text += outText(utf16ToUtf8(*name));
    text += '"';
    return text;
}

void describe(std::uint64_t position, ByteSpan block, std::size_t window) {
    const int kind = identifyBlock(block);
    if (kind < 0) return;
    std::printf("%12" PRIu64 "  %s", position, tapeBlockIdName(static_cast<TapeBlockId>(kind)));
    switch (static_cast<TapeBlockId>(kind)) {
        case TapeBlockId::Sset: {
            const auto address = readTapeAddress(block, mtf::kSsetNameSize);
            std::printf("  set name %s (%u bytes)", nameText(readSetName(block)).c_str(), address ? address->size : 0u);
            break;
        }
        case TapeBlockId::Dirb: {
            const auto address = readTapeAddress(block, mtf::kDirbNameSize);
            std::printf("  folder %s", nameText(address ? readTapeName(block, *address) : std::nullopt).c_str());
            break;
        }
        case TapeBlockId::File: {
            const auto address = readTapeAddress(block, mtf::kFileNameSize);
            std::printf("  file %s  modified %s",
                        nameText(address ? readTapeName(block, *address) : std::nullopt).c_str(),
                        dateText(block.subspan(mtf::kFileModified)).c_str());
            const auto stan = findStreamHeader(block, window);
            if (stan && *stan + mtf::kStreamHeaderSize <= block.size()) {
                std::printf("  size %" PRIu64 "  data at %" PRIu64,
                            mtf::load64(block.data() + *stan + mtf::kStreamLength),
                            position + *stan + mtf::kStreamHeaderSize);
            } else {
                std::printf("  (no data stream within %zu bytes)", window);
            }
            break;
        }
        default:
            break;
    }
    std::printf("\n");
}

// How far a walk over the backup's slots went.
struct BlockWalk {
    std::size_t found = 0;       // recognised blocks
    std::uint64_t position = 0;  // bytes walked
    int status = kExitOk;        // kExitPartial when a chunk could not be read
};

// Describes the block at every 512-byte slot, chunk by chunk; a chunk that
// cannot be read is reported and what it gave is still looked at.
BlockWalk describeEverySlot(ByteSource& source, std::string_view shownName) {
    const std::uint64_t size = source.size();
    std::vector<std::uint8_t> chunk(mtf::kChunkSize);
    BlockWalk walk;
    while (walk.position < size) {
        const ReadResult read = source.read(walk.position, chunk);
        const std::size_t got = read.bytes;
        if (read.failed) {
            std::fprintf(stderr, "tarvik: cannot read %s at byte %" PRIu64 ": %s\n", errText(shownName).c_str(),
                         walk.position + got, read.reason.c_str());
            walk.status = kExitPartial;
        }
        if (got == 0) break;
        // A block is read only from the bytes of its own chunk.
        for (std::size_t slot = 0; slot + mtf::kSlotSize <= got; slot += mtf::kSlotSize) {
            const ByteSpan block(chunk.data() + slot, got - slot);
            const bool partial = got < mtf::kChunkSize;
            const std::size_t window =
                partial || slot == mtf::kChunkSize - mtf::kSlotSize ? mtf::kLastSlotStreamWindow : mtf::kStreamWindow;
            if (identifyBlock(block) >= 0) ++walk.found;
            describe(walk.position + slot, block, window);
        }
        walk.position += got;
        if (got < chunk.size()) break;
    }
    return walk;
}

}  // namespace

int runBlocks(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: tarvik blocks BACKUP\n", stderr);
        return kExitUsage;
    }
    // Opened like every source: never waiting, a regular file or a block device only.
    const OpenedBackup opened = openBackupFile(argumentPath(args[0]), BackupAccess::Shared);
    if (!opened) {
        std::fprintf(stderr, "tarvik: cannot open %s: %s\n", errText(args[0]).c_str(),
                     opened.error().message().c_str());
        return kExitCannotOpen;
    }
    const BlockWalk walk = describeEverySlot(**opened, args[0]);
    std::printf("%zu blocks in %" PRIu64 " bytes\n", walk.found, walk.position);
    if (walk.status != kExitOk) return walk.status;
    return walk.found > 0 ? kExitOk : kExitNothingFound;
}

}  // namespace bkf::cli
