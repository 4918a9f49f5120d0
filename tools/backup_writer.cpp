#include "tools/backup_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "engine/tape_format.h"
#include "tools/tape_date.h"

namespace bkf::tools {

namespace {

namespace m = bkf::mtf;

constexpr std::size_t kPieceSize = std::size_t{1} << 20;
constexpr std::uint8_t kOsIdNt = 14;  // written by NT backups
constexpr std::uint8_t kOsVersionNt = 1;
constexpr std::uint8_t kStringTypeUnicode = 2;
constexpr std::uint32_t kMediaFamilyId = 0x4B42544F;  // "OTBK"
constexpr std::u16string_view kSoftwareName = u"Ormilo Tarvik mkbkf";

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putDate(std::vector<std::uint8_t>& b, std::size_t at, FileTime t) {
    const TapeDateBytes d = encodeTapeDate(t);
    std::copy(d.begin(), d.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

// XOR of the first `words` little-endian 16-bit words.
std::uint16_t xorWords(const std::uint8_t* p, std::size_t words) {
    std::uint16_t x = 0;
    for (std::size_t i = 0; i < words; ++i) x ^= m::load16(p + 2 * i);
    return x;
}

std::uint64_t roundUp(std::uint64_t value, std::uint64_t step) {
    return (value + step - 1) / step * step;
}

// The CSUM value: XOR of the data's little-endian 32-bit words, the last one
// zero-filled. `at` is the offset of `bytes` in the data.
void foldChecksum(std::uint32_t& sum, std::uint64_t at, std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    for (; i < bytes.size() && (at + i) % 4 != 0; ++i) {
        sum ^= static_cast<std::uint32_t>(bytes[i]) << (8 * ((at + i) % 4));
    }
    for (; bytes.size() - i >= 4; i += 4) sum ^= m::load32(bytes.data() + i);
    for (unsigned k = 0; i < bytes.size(); ++i, ++k) sum ^= static_cast<std::uint32_t>(bytes[i]) << (8 * k);
}

}  // namespace

std::u16string folderName(std::u16string_view path) {
    std::u16string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(u"/\\", start);
        if (end == std::u16string_view::npos) end = path.size();
        if (end > start) {
            out.append(path.substr(start, end - start));
            out.push_back(u'\0');
        }
        start = end + 1;
    }
    if (out.empty()) out.push_back(u'\0');
    return out;
}

BackupWriter::BackupWriter(ByteSink& sink, WriterOptions options) : sink_(sink), options_(std::move(options)) {
    if (options_.blockSize != 512 && options_.blockSize != 1024) {
        throw std::invalid_argument("block size must be 512 or 1024, not " + std::to_string(options_.blockSize));
    }
    if (options_.writeTape) writeTape();
}

std::vector<std::uint8_t> BackupWriter::beginBlock(TapeBlockId kind, std::size_t fixedSize, std::uint32_t attributes,
                                                   std::uint64_t displayableSize) {
    std::vector<std::uint8_t> block(fixedSize, 0);
    std::memcpy(block.data() + m::kBlockType, tapeBlockIdName(kind), 4);
    put32(block, m::kBlockAttributes, attributes);
    block[m::kOsId] = kOsIdNt;
    block[m::kOsVersion] = kOsVersionNt;
    put64(block, m::kDisplayableSize, displayableSize);
    put32(block, m::kControlBlockId, controlBlockId_++);
    block[m::kStringType] = kStringTypeUnicode;
    return block;
}

std::uint16_t BackupWriter::putName(std::vector<std::uint8_t>& block, std::size_t addressField,
                                    std::u16string_view units, std::optional<std::uint16_t> sizeField) {
    // Names start on an even offset, as the code units they hold are 16-bit.
    if (block.size() % 2 != 0) block.push_back(0);
    const std::size_t offset = block.size();
    const std::size_t unitBytes = units.size() * 2;
    if (!sizeField && unitBytes > 0xFFFF) {
        throw std::invalid_argument("a name of " + std::to_string(units.size()) +
                                    " code units does not fit a 16-bit size");
    }
    const auto size = sizeField.value_or(static_cast<std::uint16_t>(unitBytes));
    if (offset > 0xFFFF) throw std::invalid_argument("block too large for its name offsets");
    block.resize(offset + std::max<std::size_t>(unitBytes, size), 0);
    for (std::size_t i = 0; i < units.size(); ++i) put16(block, offset + 2 * i, units[i]);
    put16(block, addressField, size);
    put16(block, addressField + 2, static_cast<std::uint16_t>(offset));
    return size;
}

std::uint64_t BackupWriter::placeBlock(std::optional<unsigned> slot) {
    if (finished_) throw std::logic_error("backup already finished");
    const std::uint64_t here = sink_.position();
    std::uint64_t target = roundUp(pendingPad_ ? here + m::kStreamHeaderSize : here, options_.blockSize);
    if (slot) {
        if (*slot >= m::kSlotsPerChunk) {
            throw std::invalid_argument("slot " + std::to_string(*slot) + " is not 0..127");
        }
        const std::uint64_t want = *slot * m::kSlotSize;
        target += (want + m::kChunkSize - target % m::kChunkSize) % m::kChunkSize;
    }
    if (pendingPad_) {
        const std::uint64_t length = target - here - m::kStreamHeaderSize;
        writeStreamHeader("SPAD", length);
        sink_.skipZeros(length);
        pendingPad_.reset();
    } else {
        sink_.skipZeros(target - here);
    }
    return target;
}

void BackupWriter::emitHeaderAndOpenChain(std::vector<std::uint8_t>& block, TapeBlockId kind, std::uint32_t attributes,
                                          std::uint64_t offset) {
    const std::size_t firstEvent = roundUp(block.size(), m::kStreamAlignment);
    if (firstEvent > 0xFFFF) throw std::invalid_argument("block header larger than 64 KiB");
    block.resize(firstEvent, 0);
    put16(block, m::kOffsetToFirstEvent, static_cast<std::uint16_t>(firstEvent));
    put64(block, m::kFormatLogicalAddress, offset / options_.blockSize);
    put16(block, m::kHeaderChecksum, xorWords(block.data(), m::kHeaderChecksum / 2));
    sink_.write(block);
    blocks_.push_back({offset, kind, attributes});
}

void BackupWriter::writeStreamHeader(const char* id, std::uint64_t length, std::uint16_t mediaAttributes) {
    std::vector<std::uint8_t> h(m::kStreamHeaderSize, 0);
    std::memcpy(h.data() + m::kStreamId, id, 4);
    put16(h, m::kStreamMediaAttributes, mediaAttributes);
    put64(h, m::kStreamLength, length);
    put16(h, m::kStreamChecksum, xorWords(h.data(), m::kStreamChecksum / 2));
    sink_.write(h);
}

void BackupWriter::padToStreamBoundary() {
    sink_.skipZeros((m::kStreamAlignment - sink_.position() % m::kStreamAlignment) % m::kStreamAlignment);
}

void BackupWriter::writeTape() {
    const std::uint64_t at = placeBlock(std::nullopt);
    auto block = beginBlock(TapeBlockId::Tape, m::kTapeFixedSize, 0, 0);
    put32(block, m::kTapeMediaFamilyId, kMediaFamilyId);
    put16(block, m::kTapeMediaSequence, 1);
    put16(block, m::kTapeFormatBlockSize, options_.blockSize);
    putDate(block, m::kTapeMediaDate, options_.mediaDate);
    block[m::kTapeMajorVersion] = 1;
    putName(block, m::kTapeMediaName, options_.mediaName, std::nullopt);
    putName(block, m::kTapeSoftwareName, kSoftwareName, std::nullopt);
    emitHeaderAndOpenChain(block, TapeBlockId::Tape, 0, at);
    pendingPad_ = sink_.position();
}

void BackupWriter::beginSet(const SetItem& item) {
    endSet();
    const std::uint64_t at = placeBlock(std::nullopt);
    auto block = beginBlock(TapeBlockId::Sset, m::kSsetFixedSize, item.attributes, 0);
    put16(block, m::kSsetDataSetNumber, ++setNumber_);
    putDate(block, m::kSsetWriteDate, item.written);
    const std::uint16_t size = putName(block, m::kSsetNameSize, item.name, item.nameSize);
    const auto nameOffset = m::load16(block.data() + m::kSsetNameOffset);
    emitHeaderAndOpenChain(block, TapeBlockId::Sset, item.attributes, at);
    pendingPad_ = sink_.position();
    record({TapeBlockId::Sset, at, item.name, size, nameOffset, (item.attributes & 0xFFFF) != 0});
    setOpen_ = true;

    if (item.volume) {
        const std::uint64_t volAt = placeBlock(std::nullopt);
        auto vol = beginBlock(TapeBlockId::Volb, m::kVolbFixedSize, 0, 0);
        putDate(vol, m::kVolbWriteDate, item.written);
        putName(vol, m::kVolbDeviceName, item.device, std::nullopt);
        putName(vol, m::kVolbVolumeName, item.device, std::nullopt);
        putName(vol, m::kVolbMachineName, item.machine, std::nullopt);
        emitHeaderAndOpenChain(vol, TapeBlockId::Volb, 0, volAt);
        pendingPad_ = sink_.position();
    }
    if (item.rootFolder) {
        DirItem root;
        root.name = folderName(u"");
        root.modified = root.created = root.accessed = item.written;
        directory(root);
    }
}

void BackupWriter::endSet() {
    if (!setOpen_) return;
    const std::uint64_t at = placeBlock(std::nullopt);
    auto block = beginBlock(TapeBlockId::Eset, m::kEsetFixedSize, 0, 0);
    put16(block, m::kEsetDataSetNumber, setNumber_);
    putDate(block, m::kEsetWriteDate, options_.mediaDate);
    emitHeaderAndOpenChain(block, TapeBlockId::Eset, 0, at);
    pendingPad_ = sink_.position();
    setOpen_ = false;
}

void BackupWriter::directory(const DirItem& item) {
    const std::uint64_t at = placeBlock(std::nullopt);
    auto block = beginBlock(TapeBlockId::Dirb, m::kDirbFixedSize, item.attributes, 0);
    putDate(block, m::kDirbModified, item.modified);
    putDate(block, m::kDirbCreated, item.created);
    putDate(block, m::kDirbBackupDate, options_.mediaDate);
    putDate(block, m::kDirbAccessed, item.accessed);
    put32(block, m::kDirbId, ++directoryId_);
    const std::uint16_t size = putName(block, m::kDirbNameSize, item.name, item.nameSize);
    const auto nameOffset = m::load16(block.data() + m::kDirbNameOffset);
    emitHeaderAndOpenChain(block, TapeBlockId::Dirb, item.attributes, at);
    pendingPad_ = sink_.position();
    record({TapeBlockId::Dirb, at, item.name, size, nameOffset, (item.attributes & 0xFFFF) != 0});
}

void BackupWriter::writeData(const Content& content, ContentHasher& hasher, std::uint32_t& checksum) {
    const std::uint64_t size = content.size();
    switch (content.kind()) {
        case Content::Kind::Zeros:
            sink_.skipZeros(size);
            hasher.updateZeros(size);
            return;
        case Content::Kind::Bytes:
            sink_.write(content.data());
            hasher.update(content.data());
            foldChecksum(checksum, 0, content.data());
            return;
        case Content::Kind::Random:
            break;
    }
    if (piece_.empty()) piece_.resize(kPieceSize);
    for (std::uint64_t at = 0; at < size; at += piece_.size()) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - at, piece_.size()));
        const std::span<std::uint8_t> piece(piece_.data(), n);
        fillRandom(content.seed(), at, piece);
        hasher.update(piece);
        foldChecksum(checksum, at, piece);
        sink_.write(piece);
    }
}

const ManifestEntry& BackupWriter::file(const FileItem& item) {
    // Everything that can be refused is checked before a byte is written.
    std::vector<std::uint8_t> block =
        beginBlock(TapeBlockId::File, m::kFileFixedSize, item.attributes, item.content.size());
    putDate(block, m::kFileModified, item.modified);
    putDate(block, m::kFileCreated, item.created);
    putDate(block, m::kFileBackupDate, item.backup);
    putDate(block, m::kFileAccessed, item.accessed);
    put32(block, m::kFileDirectoryId, directoryId_);
    put32(block, m::kFileId, ++fileId_);
    const std::uint16_t nameSize = putName(block, m::kFileNameSize, item.name, item.nameSize);
    const auto nameOffset = m::load16(block.data() + m::kFileNameOffset);
    const std::size_t firstEvent = roundUp(block.size(), m::kStreamAlignment);

    bool hasNacl = item.naclSize.has_value();
    std::uint64_t naclBytes = item.naclSize.value_or(0);
    if (item.streamDistance) {
        const std::uint64_t d = *item.streamDistance;
        if (d % m::kStreamAlignment != 0) {
            throw std::invalid_argument("stream distance " + std::to_string(d) + " is not a multiple of 4");
        }
        hasNacl = d != firstEvent;
        if (d >= firstEvent + m::kStreamHeaderSize) {
            naclBytes = d - firstEvent - m::kStreamHeaderSize;
        } else if (hasNacl) {
            throw std::invalid_argument("stream distance " + std::to_string(d) + " impossible: the streams start at " +
                                        std::to_string(firstEvent) + " and a NACL takes 22 bytes");
        }
    }

    const std::uint64_t at = placeBlock(item.slot);
    emitHeaderAndOpenChain(block, TapeBlockId::File, item.attributes, at);
    if (hasNacl) {
        writeStreamHeader("NACL", naclBytes);
        // The start of a self-relative security descriptor: revision 1, with a DACL.
        std::vector<std::uint8_t> acl(static_cast<std::size_t>(naclBytes), 0);
        if (acl.size() >= 4) acl[0] = 1, acl[2] = 0x04, acl[3] = 0x80;
        sink_.write(acl);
        padToStreamBoundary();
    }
    const std::uint64_t streamAt = sink_.position();
    writeStreamHeader("STAN", item.content.size());
    ContentHasher hasher;
    std::uint32_t checksum = 0;
    writeData(item.content, hasher, checksum);
    padToStreamBoundary();
    writeStreamHeader("CSUM", 4);
    const std::uint8_t sum[4] = {static_cast<std::uint8_t>(checksum), static_cast<std::uint8_t>(checksum >> 8),
                                 static_cast<std::uint8_t>(checksum >> 16), static_cast<std::uint8_t>(checksum >> 24)};
    sink_.write(sum);
    padToStreamBoundary();
    pendingPad_ = sink_.position();
    ++filesWritten_;

    ManifestEntry entry;
    entry.size = item.content.size();
    entry.dataOffset = streamAt + m::kStreamHeaderSize;
    entry.modified = wholeSeconds(item.modified);
    entry.created = wholeSeconds(item.created);
    entry.accessed = wholeSeconds(item.accessed);
    entry.hash = hasher.value();
    entry.blockOffset = at;
    if ((item.attributes & 0xFFFF) != 0) entry.notes |= kNoteAttributes;
    if (!options_.keepManifest) manifest_.clear();
    manifest_.push_back(std::move(entry));
    NamingEvent event{TapeBlockId::File, at, item.name, nameSize, nameOffset, false};
    event.streamAt = streamAt;
    event.entry = filesWritten_ - 1;
    record(std::move(event));
    return manifest_.back();
}

ManifestEntry* BackupWriter::entryFor(std::uint64_t number) {
    if (options_.keepManifest) return number < manifest_.size() ? &manifest_[number] : nullptr;
    return number + 1 == filesWritten_ && !manifest_.empty() ? &manifest_.back() : nullptr;
}

void BackupWriter::record(NamingEvent event) {
    const std::uint64_t chunk = event.position / m::kChunkSize;
    if (chunk != eventChunk_) {
        chunkEvents_.clear();
        chunkNaming_ = naming_;
        eventChunk_ = chunk;
    }
    apply(event, naming_, std::nullopt);
    chunkEvents_.push_back(std::move(event));
}

void BackupWriter::apply(const NamingEvent& e, CatalogueNaming& naming, std::optional<std::uint64_t> fileSize) {
    const ScanView view = ScanView::of(e.position, fileSize);
    switch (e.kind) {
        case TapeBlockId::Sset:
            if (!e.hidden) naming.onSet(e.units, e.sizeField, e.nameOffset, view);
            return;
        case TapeBlockId::Dirb:
            if (!e.hidden) naming.onDirectory(e.units, e.sizeField, e.nameOffset, view);
            return;
        default:
            break;
    }
    ManifestEntry* entry = entryFor(e.entry);
    if (!entry) return;
    bool accepted = false;
    entry->displayPath = naming.displayPath(naming.fileName(e.units, e.sizeField, e.nameOffset, view, accepted));
    entry->notes &= ~(kNoteNameRejected | kNoteStreamOutOfReach | kNoteStreamBeyond);
    if (!accepted) entry->notes |= kNoteNameRejected;
    if (!streamHeaderWithinReach(e.position, e.streamAt, fileSize)) entry->notes |= kNoteStreamOutOfReach;
    if (!streamHeaderWithinAnyReach(e.position, e.streamAt, fileSize)) entry->notes |= kNoteStreamBeyond;
}

void BackupWriter::finish() {
    if (finished_) return;
    endSet();
    if (pendingPad_) {
        const std::uint64_t here = sink_.position();
        const std::uint64_t end = roundUp(here + m::kStreamHeaderSize, options_.blockSize);
        writeStreamHeader("SPAD", end - here - m::kStreamHeaderSize);
        sink_.skipZeros(end - here - m::kStreamHeaderSize);
        pendingPad_.reset();
    }
    sink_.flush();
    finished_ = true;
    // A backup ending within the chunk of the last blocks written: the scanner
    // takes that chunk as its final short one.
    const std::uint64_t size = sink_.position();
    if (size % m::kChunkSize != 0 && eventChunk_ == size / m::kChunkSize) {
        CatalogueNaming naming = chunkNaming_;
        for (const NamingEvent& e : chunkEvents_) apply(e, naming, size);
    }
}

}  // namespace bkf::tools
