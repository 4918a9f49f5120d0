// What a generated backup holds, as the scanner is expected to list it: one
// record per FILE block written, with the display path the scanner builds, the
// file's size, times, where its data starts and a hash of its content.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_time.h"

namespace bkf::tools {

// Why a file will not be catalogued, or will not come back as written.
enum ManifestNote : std::uint32_t {
    kNoteNameRejected = 1u << 0,      // name empty, with / | * : ? < >, or 261+ code units
    kNoteAttributes = 1u << 1,        // block attributes make the FILE block unrecognisable
    kNoteStreamOutOfReach = 1u << 2,  // STAN header not within its slot's search window (or chunk)
    kNoteBlockDamaged = 1u << 3,      // damage reached the FILE block or its STAN header
    kNoteMisaligned = 1u << 4,        // moved off the 512-byte grid by an insert or delete
    kNoteCut = 1u << 5,               // the file was truncated before its STAN header ended
    kNoteDataDamaged = 1u << 6,       // damage reached the data: the hash will not match
    kNoteStreamBeyond = 1u << 7,      // STAN header 1,024 bytes or more on, or not held by the file
};
// What loses a file to the scan as it runs by default, finding blocks
// wherever they lie.
inline constexpr std::uint32_t kNotesThatLoseTheFile =
    kNoteNameRejected | kNoteAttributes | kNoteBlockDamaged | kNoteCut | kNoteStreamBeyond;
// What also loses it to a scan that keeps to the 512-byte slots.
inline constexpr std::uint32_t kNotesOffTheSlots = kNoteStreamOutOfReach | kNoteMisaligned;

struct ManifestEntry {
    std::u16string displayPath;    // "BKF\BACKUP SET 1(Daily)\Data\report.txt"
    std::uint64_t size = 0;        // data bytes (the STAN stream length)
    std::uint64_t dataOffset = 0;  // file position of the first data byte
    FileTime modified = 0;         // as the tape dates hold them: whole seconds, 0 = none
    FileTime created = 0;
    FileTime accessed = 0;
    std::uint64_t hash = 0;         // hashBytes of the content as written
    std::uint64_t blockOffset = 0;  // file position of the FILE block
    std::uint32_t notes = 0;        // ManifestNote bits

    // Listed by the default scan.
    bool expected() const { return (notes & kNotesThatLoseTheFile) == 0; }
    // Listed by a scan of the slots only.
    bool expectedOnSlots() const { return (notes & (kNotesThatLoseTheFile | kNotesOffTheSlots)) == 0; }
    // Its block, stream header and data are intact, wherever they now lie.
    bool intact() const { return (notes & (kNotesThatLoseTheFile | kNoteDataDamaged)) == 0; }
    std::uint64_t streamHeaderOffset() const { return dataOffset - 22; }
    friend bool operator==(const ManifestEntry&, const ManifestEntry&) = default;
};

using Manifest = std::vector<ManifestEntry>;

// Space-separated note words ("name attributes ..."), "-" for none, and back.
std::string noteWords(std::uint32_t notes);
std::uint32_t parseNoteWords(std::string_view words);  // throws std::runtime_error

// The tab-separated form: a header line, then one line per entry, UTF-8.
// Columns: path size data_offset modified created accessed hash(16 hex digits)
// catalogued(1/0) intact(1/0) block_offset notes. Tabs, line breaks, '%' and
// unpaired surrogates in a path are written as %09, %0A, %0D, %25, %uD800.
void writeManifestTsv(std::ostream& out, const Manifest& manifest);
void writeManifestTsv(const std::filesystem::path& file, const Manifest& manifest);
// Throws std::runtime_error naming the line on a malformed file.
Manifest readManifestTsv(std::istream& in);
Manifest readManifestTsv(const std::filesystem::path& file);

// How the scanner sees a block at a file position: it reads the file in 64 KiB
// chunks and looks at each 512-byte slot of a chunk, with the bytes from the
// slot to the end of the chunk in hand. A final chunk shorter than 64 KiB is
// looked at only when it holds more than 512 bytes, and then only its whole
// slots, with a 512-byte STAN window and set names read like folder names.
struct ScanView {
    std::uint64_t room = 0;  // bytes from the block to the end of its chunk
    bool partial = false;    // in the final, short chunk
    bool examined = false;   // the scanner looks at this slot at all
    std::uint64_t streamWindow = 0;

    // `fileSize` unknown: the block is taken to lie in a whole chunk.
    static ScanView of(std::uint64_t blockOffset, std::optional<std::uint64_t> fileSize);
};

// Whether the slot rules find the STAN header of the FILE block: at a distance
// below the stream window (1024; 512 in the last slot of a chunk or anywhere
// in the final short chunk), its first 16 bytes (identifier and length)
// within the chunk.
bool streamHeaderWithinReach(std::uint64_t blockOffset, std::uint64_t streamHeaderOffset,
                             std::optional<std::uint64_t> fileSize);
// Whether any block, wherever it lies, has its STAN header within reach: at a
// distance below 1024, its first 16 bytes within the file.
bool streamHeaderWithinAnyReach(std::uint64_t blockOffset, std::uint64_t streamHeaderOffset,
                                std::optional<std::uint64_t> fileSize);

// The names the scanner gives to what it finds, kept as the backup goes on:
// the label of the current set, the current folder, and the file names. Each
// call takes the code units the writer put at the name's address, the size
// field, the name's offset in its block, and the block's ScanView.
class CatalogueNaming {
public:
    // A name field as the reader decodes it: the code units held at the name's
    // address over `sizeField` bytes, NULs turned into backslashes, at most 255
    // units. `units` is what the writer put there (shorter means zeros follow).
    static std::u16string decode(std::u16string_view units, std::uint16_t sizeField);

    // An SSET the scanner recognised. Only a name field below 261 bytes counts a new set.
    void onSet(std::u16string_view units, std::uint16_t sizeField, std::uint64_t nameOffset, const ScanView& view);
    // A DIRB the scanner recognised.
    void onDirectory(std::u16string_view units, std::uint16_t sizeField, std::uint64_t nameOffset,
                     const ScanView& view);
    // The file name part of a FILE block's path; `accepted` false when the name
    // keeps the file out of the catalogue.
    std::u16string fileName(std::u16string_view units, std::uint16_t sizeField, std::uint64_t nameOffset,
                            const ScanView& view, bool& accepted) const;

    const std::u16string& setLabel() const { return setLabel_; }  // "BACKUP SET 1(Daily)"
    const std::u16string& folder() const { return folder_; }      // "\Data\Sub\"
    // "BKF\" + set label + folder + file name.
    std::u16string displayPath(std::u16string_view fileName) const;

private:
    unsigned setCount_ = 0;
    unsigned lostDirs_ = 0;
    std::u16string setLabel_ = u"BACKUP SET 0";
    std::u16string folder_ = u"\\";
};

// True when a character makes a file or folder name unusable: / | * : ? < > and CR, LF
bool isForbiddenNameChar(char16_t c);

}  // namespace bkf::tools
