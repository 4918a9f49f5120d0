// Byte layout of the Microsoft Tape Format structures this program reads and
// (in tools/) writes. Offsets are from the first byte of the block or stream
// header; every integer is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bkf::mtf {

// Common descriptor block header (MTF_DB_HDR), 52 bytes.
inline constexpr std::size_t kBlockType = 0;              // 4 ASCII letters
inline constexpr std::size_t kBlockAttributes = 4;        // UINT32; low 16 bits must be 0 to be recognised
inline constexpr std::size_t kOffsetToFirstEvent = 8;     // UINT16: first stream header, from block start
inline constexpr std::size_t kOsId = 10;                  // UINT8
inline constexpr std::size_t kOsVersion = 11;             // UINT8
inline constexpr std::size_t kDisplayableSize = 12;       // UINT64
inline constexpr std::size_t kFormatLogicalAddress = 20;  // UINT64
inline constexpr std::size_t kControlBlockId = 36;        // UINT32
inline constexpr std::size_t kOsSpecificData = 44;        // tape address
inline constexpr std::size_t kStringType = 48;            // UINT8: 2 = UTF-16 (never read: names are UTF-16LE)
inline constexpr std::size_t kHeaderChecksum = 50;        // UINT16
inline constexpr std::size_t kCommonHeaderSize = 52;

// A tape address (MTF_TAPE_ADDRESS) is two UINT16: the item's size in bytes,
// then its offset in bytes from the start of the block.
inline constexpr std::size_t kTapeAddressSize = 4;

// Tape header (TAPE).
inline constexpr std::size_t kTapeMediaFamilyId = 52;    // UINT32
inline constexpr std::size_t kTapeAttributes = 56;       // UINT32
inline constexpr std::size_t kTapeMediaSequence = 60;    // UINT16
inline constexpr std::size_t kTapeMediaName = 68;        // tape address
inline constexpr std::size_t kTapeSoftwareName = 80;     // tape address
inline constexpr std::size_t kTapeFormatBlockSize = 84;  // UINT16: format logical block size
inline constexpr std::size_t kTapeMediaDate = 88;        // 5-byte date
inline constexpr std::size_t kTapeMajorVersion = 93;     // UINT8
inline constexpr std::size_t kTapeFixedSize = 94;

// Start of data set (SSET).
inline constexpr std::size_t kSsetAttributes = 52;     // UINT32
inline constexpr std::size_t kSsetDataSetNumber = 62;  // UINT16 (not used for the set label)
inline constexpr std::size_t kSsetNameSize = 64;       // UINT16: name size in bytes
inline constexpr std::size_t kSsetNameOffset = 66;     // UINT16: name offset from block start
inline constexpr std::size_t kSsetDescription = 68;    // tape address
inline constexpr std::size_t kSsetUserName = 76;       // tape address
inline constexpr std::size_t kSsetWriteDate = 88;      // 5-byte date
inline constexpr std::size_t kSsetFixedSize = 98;

// Volume (VOLB).
inline constexpr std::size_t kVolbAttributes = 52;   // UINT32
inline constexpr std::size_t kVolbDeviceName = 56;   // tape address
inline constexpr std::size_t kVolbVolumeName = 60;   // tape address
inline constexpr std::size_t kVolbMachineName = 64;  // tape address
inline constexpr std::size_t kVolbWriteDate = 68;    // 5-byte date
inline constexpr std::size_t kVolbFixedSize = 73;

// Directory (DIRB). The name is the folder path with each folder name
// followed by a NUL code unit: "Data" NUL "Sub" NUL.
inline constexpr std::size_t kDirbAttributes = 52;  // UINT32
inline constexpr std::size_t kDirbModified = 56;    // 5-byte date
inline constexpr std::size_t kDirbCreated = 61;     // 5-byte date
inline constexpr std::size_t kDirbBackupDate = 66;  // 5-byte date
inline constexpr std::size_t kDirbAccessed = 71;    // 5-byte date
inline constexpr std::size_t kDirbId = 76;          // UINT32
inline constexpr std::size_t kDirbNameSize = 80;    // UINT16
inline constexpr std::size_t kDirbNameOffset = 82;  // UINT16
inline constexpr std::size_t kDirbFixedSize = 84;

// File (FILE).
inline constexpr std::size_t kFileAttributes = 52;   // UINT32 (not read)
inline constexpr std::size_t kFileModified = 56;     // 5-byte date: last modification
inline constexpr std::size_t kFileCreated = 61;      // 5-byte date: creation
inline constexpr std::size_t kFileBackupDate = 66;   // 5-byte date (not read)
inline constexpr std::size_t kFileAccessed = 71;     // 5-byte date: last access
inline constexpr std::size_t kFileDirectoryId = 76;  // UINT32 (not read)
inline constexpr std::size_t kFileId = 80;           // UINT32 (not read)
inline constexpr std::size_t kFileNameSize = 84;     // UINT16
inline constexpr std::size_t kFileNameOffset = 86;   // UINT16
inline constexpr std::size_t kFileFixedSize = 88;

// End of data set (ESET).
inline constexpr std::size_t kEsetAttributes = 52;     // UINT32
inline constexpr std::size_t kEsetCorruptFiles = 56;   // UINT32
inline constexpr std::size_t kEsetDataSetNumber = 78;  // UINT16
inline constexpr std::size_t kEsetWriteDate = 80;      // 5-byte date
inline constexpr std::size_t kEsetFixedSize = 85;

// Stream header (MTF_STREAM_HDR), 22 bytes; the stream's data follows it at once.
inline constexpr std::size_t kStreamId = 0;               // 4 ASCII letters
inline constexpr std::size_t kStreamFsAttributes = 4;     // UINT16
inline constexpr std::size_t kStreamMediaAttributes = 6;  // UINT16
inline constexpr std::size_t kStreamLength = 8;           // UINT64: data bytes after the header
inline constexpr std::size_t kStreamEncryption = 16;      // UINT16
inline constexpr std::size_t kStreamCompression = 18;     // UINT16
inline constexpr std::size_t kStreamChecksum = 20;        // UINT16
inline constexpr std::size_t kStreamHeaderSize = 22;
inline constexpr std::size_t kStreamAlignment = 4;  // stream headers start on 4-byte boundaries

// Tape date (MTF_DATE_TIME): 5 bytes, 40 bits most significant first:
// year 14, month 4, day 5, hour 5, minute 6, second 6.
inline constexpr std::size_t kTapeDateSize = 5;

// The scanner's grid.
inline constexpr std::size_t kSlotSize = 512;
inline constexpr std::size_t kChunkSize = 65536;
inline constexpr std::size_t kSlotsPerChunk = kChunkSize / kSlotSize;
inline constexpr std::size_t kStreamWindow = 1024;         // STAN search window after a FILE block
inline constexpr std::size_t kLastSlotStreamWindow = 512;  // the last slot of a chunk has 512 bytes left

// Little-endian field readers over a buffer the caller has bounds-checked.
inline std::uint16_t load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load32(p)) | (static_cast<std::uint64_t>(load32(p + 4)) << 32);
}

}  // namespace bkf::mtf
