// Writes backups in the tape format the way a Windows backup program lays
// them out, block by block into a ByteSink, and keeps the manifest of what it
// wrote. Also the knobs the scanner's tests need: a FILE block in a chosen slot
// of a 64 KiB chunk, its STAN header at a chosen distance, block attributes,
// raw names and raw name sizes.
//
// Layout: every descriptor block (TAPE, SSET, VOLB, DIRB, FILE, ESET) starts on
// a boundary of the format logical block size (or, for a FILE placed in a slot,
// on a 512-byte boundary). Its stream headers start on 4-byte boundaries from
// the "offset to first event" on, and the chain always ends in an SPAD stream
// that pads up to where the next block starts. A FILE carries, in order, an
// optional NACL stream, the STAN stream with the data, a CSUM stream and SPAD.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_time.h"
#include "engine/blocks.h"
#include "tools/content.h"
#include "tools/manifest.h"
#include "tools/sink.h"

namespace bkf::tools {

// 2008-06-09T21:09:15, the time every block carries unless told otherwise.
inline constexpr FileTime kDefaultTime = 128575193550000000ULL;

struct WriterOptions {
    std::uint16_t blockSize = 1024;  // format logical block size: 512 or 1024
    bool writeTape = true;           // begin with a TAPE block
    std::u16string mediaName = u"Media created 09.06.2008 at 21:09";
    FileTime mediaDate = kDefaultTime;
    bool keepManifest = true;  // false: only the last entry is kept (huge backups)
};

struct SetItem {
    std::u16string name;                                   // code units written (no NUL added)
    std::optional<std::uint16_t> nameSize = std::nullopt;  // the size field; default 2 * name.size()
    std::uint32_t attributes = 0;                          // low 16 bits non-zero: the block is not recognised
    FileTime written = kDefaultTime;
    bool volume = true;      // follow with a VOLB block
    bool rootFolder = true;  // then with the DIRB of the root folder
    std::u16string device = u"C:";
    std::u16string machine = u"ORMILO";
};

struct DirItem {
    std::u16string name;                                   // code units written: "Data" NUL "Sub" NUL; see folderName()
    std::optional<std::uint16_t> nameSize = std::nullopt;  // default 2 * name.size()
    std::uint32_t attributes = 0;
    FileTime modified = kDefaultTime;
    FileTime created = kDefaultTime;
    FileTime accessed = kDefaultTime;
};

// The DIRB name of a folder path: "Data/Sub" or "Data\Sub" give "Data" NUL
// "Sub" NUL; the root ("", "/" or "\") gives a single NUL.
std::u16string folderName(std::u16string_view path);

struct FileItem {
    std::u16string name;                                   // code units written, as given
    std::optional<std::uint16_t> nameSize = std::nullopt;  // default 2 * name.size()
    Content content;
    FileTime modified = kDefaultTime;
    FileTime created = kDefaultTime;
    FileTime accessed = kDefaultTime;
    FileTime backup = kDefaultTime;
    std::uint32_t attributes = 0;
    std::optional<std::uint32_t> naclSize = std::nullopt;  // data bytes of a NACL stream; none when unset
    // Distance in bytes from the FILE block to its STAN header; a multiple of
    // 4 reachable by choosing the NACL size (replaces naclSize).
    std::optional<std::uint32_t> streamDistance = std::nullopt;
    // 0..127: the block goes to the next position p with p % 65536 == slot * 512.
    std::optional<unsigned> slot = std::nullopt;
};

struct BlockRecord {
    std::uint64_t offset = 0;
    TapeBlockId kind = TapeBlockId::Tape;
    std::uint32_t attributes = 0;
};

class BackupWriter {
public:
    // Throws std::invalid_argument for a block size other than 512 or 1024.
    explicit BackupWriter(ByteSink& sink, WriterOptions options = {});
    BackupWriter(const BackupWriter&) = delete;
    BackupWriter& operator=(const BackupWriter&) = delete;

    // SSET (closing an open set with its ESET first), then VOLB and the root DIRB
    // as the item asks.
    void beginSet(const SetItem& item);
    void endSet();  // ESET of the open set; nothing when none is open
    void directory(const DirItem& item);
    // Throws std::invalid_argument when the stream distance cannot be had or
    // the block would not fit its 16-bit offsets.
    const ManifestEntry& file(const FileItem& item);
    // Closes an open set and pads the last chain; call once, at the end.
    void finish();

    std::uint16_t blockSize() const { return options_.blockSize; }
    const Manifest& manifest() const { return manifest_; }
    Manifest takeManifest() { return std::move(manifest_); }
    const std::vector<BlockRecord>& blocks() const { return blocks_; }
    std::uint64_t filesWritten() const { return filesWritten_; }
    std::uint64_t position() const { return sink_.position(); }

private:
    std::vector<std::uint8_t> beginBlock(TapeBlockId kind, std::size_t fixedSize, std::uint32_t attributes,
                                         std::uint64_t displayableSize);
    std::uint64_t placeBlock(std::optional<unsigned> slot);
    void emitHeaderAndOpenChain(std::vector<std::uint8_t>& block, TapeBlockId kind, std::uint32_t attributes,
                                std::uint64_t offset);
    void writeStreamHeader(const char* id, std::uint64_t length, std::uint16_t mediaAttributes = 0);
    void padToStreamBoundary();
    void writeData(const Content& content, ContentHasher& hasher, std::uint32_t& checksum);
    std::uint16_t putName(std::vector<std::uint8_t>& block, std::size_t addressField, std::u16string_view units,
                          std::optional<std::uint16_t> sizeField);
    void writeTape();

    // What the scanner's naming depends on, kept for the blocks of the current
    // 64 KiB chunk: should the backup end within that chunk, the scanner sees
    // them differently (see ScanView) and their names are worked out again.
    struct NamingEvent {
        TapeBlockId kind = TapeBlockId::File;
        std::uint64_t position = 0;
        std::u16string units;
        std::uint16_t sizeField = 0;
        std::uint16_t nameOffset = 0;
        bool hidden = false;         // attributes keep the block from being recognised
        std::uint64_t streamAt = 0;  // FILE: the STAN header
        std::uint64_t entry = 0;     // FILE: its number among the files written
    };
    void record(NamingEvent event);
    void apply(const NamingEvent& event, CatalogueNaming& naming, std::optional<std::uint64_t> fileSize);
    ManifestEntry* entryFor(std::uint64_t number);

    ByteSink& sink_;
    WriterOptions options_;
    CatalogueNaming naming_;
    CatalogueNaming chunkNaming_;  // the naming before the first event of the chunk
    std::vector<NamingEvent> chunkEvents_;
    std::uint64_t eventChunk_ = UINT64_MAX;
    Manifest manifest_;
    std::vector<BlockRecord> blocks_;
    std::vector<std::uint8_t> piece_;
    std::optional<std::uint64_t> pendingPad_;  // where the open chain's SPAD header goes
    bool setOpen_ = false;
    bool finished_ = false;
    std::uint16_t setNumber_ = 0;
    std::uint32_t controlBlockId_ = 0;
    std::uint32_t directoryId_ = 0;
    std::uint32_t fileId_ = 0;
    std::uint64_t filesWritten_ = 0;
};

}  // namespace bkf::tools
