// Exporting catalogue entries into one archive (tar, pax, zip or 7z) instead
// of a folder, written by libarchive.
//
// Each entry goes under the path a save would give it (NameTree: set label,
// folders, file; the same safe names and numbering), with its size and
// modification time, and its access and creation times where the format holds
// them. Folders of the catalogue that hold nothing may be given to keep them.
// Entries end as a save's do: the stream header in front of the data is
// checked first (an entry that fails it is left out, failed), the bytes are
// checked against the checksum stream as they are copied (verified, checksum
// mismatch, no checksum), and an entry whose data runs past the end of the
// backup is stored with the bytes there are, truncated. When none of the
// first entries has its data where the catalogue says, the export stops, as a
// save does.
//
// A named archive is written under a temporary name in the same folder and
// renamed to its own name only when it is complete; a cancel or a failure
// removes it. An existing file is never replaced.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/byte_source.h"
#include "save/extract.h"

namespace bkf {

enum class ArchiveFormat { Tar, Pax, Zip, SevenZip };

// "tar", "pax", "zip", "7z"; nullopt for any other name.
std::optional<ArchiveFormat> parseArchiveFormat(std::string_view name);
// The format an archive's file name asks for: .tar, .pax, .zip, .7z (in any
// letter case); nullopt for any other.
std::optional<ArchiveFormat> archiveFormatOf(const std::filesystem::path& out);
const char* archiveFormatName(ArchiveFormat format);

struct ExportOptions {
    ArchiveFormat format = ArchiveFormat::Tar;
    // The archive to make; empty when it goes to `fd` instead (a pipe).
    std::filesystem::path out;
    int fd = -1;
};

// Exports `items`, then a folder entry for each of `emptyFolders` (display
// folder paths, "BKF\Set\Data\Empty\"). The summary's root is the archive;
// each stored entry's writtenAs is its path inside the archive. `status`
// fails when the archive cannot be made or written (nothing is kept then).
// `cancel` (optional) is polled between blocks.
ExtractSummary exportEntries(ByteSource& backup, std::span<const ExtractItem> items,
                             std::span<const std::u16string> emptyFolders, const ExportOptions& options,
                             ExtractObserver* observer = nullptr, const std::atomic<bool>* cancel = nullptr);

// The same, entry by entry as they become known (while a scan finds them).
// Every call on the thread that made it (the names are converted under a
// locale of that thread).
class ArchiveExporter {
public:
    // Opens the archive; a failure shows in stopped() and in finish()'s status.
    ArchiveExporter(ByteSource& backup, const ExportOptions& options, ExtractObserver* observer = nullptr,
                    const std::atomic<bool>* cancel = nullptr);
    ~ArchiveExporter();
    ArchiveExporter(const ArchiveExporter&) = delete;
    ArchiveExporter& operator=(const ArchiveExporter&) = delete;

    // The entries to come, when known, for the progress totals.
    void setExpected(std::span<const ExtractItem> items);
    // Stores one entry; false once the export has stopped (cancelled, the
    // archive cannot be written, the catalogue is not of this backup): the
    // entries given after that count as not reached.
    bool add(const ExtractItem& item);
    bool stopped() const;
    // Adds the empty folders and ends the archive. `cancelled`: the run was
    // stopped from outside (nothing is kept).
    ExtractSummary finish(std::span<const std::u16string> emptyFolders, bool cancelled);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace bkf
