// The ordered table of catalogue entries, one per file found.
//
// At its interface every entry has ten text cells (path, type name, size, data
// offset and three file times as low and high halves), an icon index and a
// check mark. Inside, an entry is kept compact (there can be millions): the
// path is split into an interned folder text (everything up to and including
// its last backslash) and a name in a shared arena; numbers are stored typed,
// and a cell whose text is not the canonical decimal form of its number (as a
// hand-edited snapshot may hold) keeps its exact text beside the table, so
// every cell reads back exactly as it was written.
//
// Entries are grouped by folder text, with each folder's rows in row order and
// its count of checked rows, so that "the entries below a folder" is a walk
// over folders rather than over every row.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/file_time.h"
#include "catalogue/chunked_vector.h"
#include "catalogue/id_index.h"
#include "catalogue/text_arena.h"

namespace bkf {

enum class CatalogueColumn : int {
    Path = 0,
    TypeName = 1,
    Size = 2,
    DataOffset = 3,
    ModifiedLow = 4,
    ModifiedHigh = 5,
    AccessedLow = 6,
    AccessedHigh = 7,
    CreatedLow = 8,
    CreatedHigh = 9,
};
inline constexpr int kCatalogueColumnCount = 10;
// Cells 2..9, the ones a snapshot stores after the path.
inline constexpr int kNumericCellCount = 8;

// Heading of a column in the catalogue pane ("File Name", "File Type", "File Size", then "").
std::u16string_view catalogueColumnHeading(CatalogueColumn column);

// A time from its two cell texts: each parsed as a signed 64-bit number by
// its leading digits (a negative one counts as 0), the low 32 bits of each taken.
FileTime fileTimeFromCells(std::u16string_view low, std::u16string_view high);

using RowIndex = std::uint32_t;
using FolderId = std::uint32_t;

// One entry as the interface shows it: its ten cell texts, icon and mark.
struct CatalogueEntry {
    std::array<std::u16string, kCatalogueColumnCount> cells;
    int icon = 0;
    bool checked = false;
    const std::u16string& cell(CatalogueColumn column) const { return cells[static_cast<std::size_t>(column)]; }
};

class CatalogueTable {
public:
    CatalogueTable();

    std::size_t rowCount() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }

    // Appends a row from typed values: the path, the shell's icon and type
    // name, and the numbers the scan found. Returns its index.
    RowIndex append(std::u16string_view path, int icon, std::u16string_view typeName, std::int64_t size,
                    std::int64_t dataOffset, FileTime modified, FileTime accessed, FileTime created);

    // Appends a row whose cells 2..9 are given as texts, kept exactly.
    RowIndex appendText(std::u16string_view path, int icon, std::u16string_view typeName,
                        std::span<const std::u16string_view, kNumericCellCount> cells);

    // The whole entry of a row.
    CatalogueEntry entry(RowIndex row) const;
    // Cell text.
    std::u16string cell(RowIndex row, CatalogueColumn column) const;
    // Appends the cell text to `out` (no allocation for numbers).
    void appendCell(std::u16string& out, RowIndex row, CatalogueColumn column) const;
    // Replaces a cell's text. Setting the path moves the row to its new folder.
    void setCell(RowIndex row, CatalogueColumn column, std::u16string_view text);

    int iconIndex(RowIndex row) const { return kinds_[rows_[row].kind].icon; }
    void setIconIndex(RowIndex row, int icon);

    bool checked(RowIndex row) const { return rows_[row].checked != 0; }
    void setChecked(RowIndex row, bool checked);
    void setAllChecked(bool checked);
    std::size_t checkedCount() const { return checkedTotal_; }

    // Numbers as the cells read back: leading-digit parsing of the cell text.
    std::int64_t size(RowIndex row) const;
    std::int64_t dataOffset(RowIndex row) const;
    // A time from its two cells, each parsed as a signed 64-bit number (a
    // negative one counts as 0), low 32 bits of each taken.
    FileTime modified(RowIndex row) const { return timeOf(row, 0); }
    FileTime accessed(RowIndex row) const { return timeOf(row, 1); }
    FileTime created(RowIndex row) const { return timeOf(row, 2); }

    // The text after the path's last backslash.
    std::u16string_view name(RowIndex row) const;
    std::u16string path(RowIndex row) const { return cell(row, CatalogueColumn::Path); }

    void clear();

    // ---- Folders: the distinct texts of the paths up to their last backslash.
    FolderId folderOf(RowIndex row) const { return rows_[row].folder; }
    std::size_t folderSlots() const { return folders_.size(); }
    bool folderLive(FolderId id) const { return folders_[id].live; }
    std::u16string_view folderText(FolderId id) const {
        return folderTexts_.view(folders_[id].text, folders_[id].textLength);
    }
    // Rows of one folder, in row order (valid until the table changes).
    std::span<const RowIndex> folderRows(FolderId id) const {
        return {rowLists_.data() + folders_[id].rowsStart, folders_[id].rowCount};
    }
    std::size_t folderCheckedCount(FolderId id) const { return folders_[id].checked; }
    std::optional<FolderId> findFolder(std::u16string_view text) const;
    void setFolderChecked(FolderId id, bool checked);

    // Calls f(id) for every folder whose text begins with `prefix`.
    template <class F>
    void forEachFolderWithPrefix(std::u16string_view prefix, F&& f) const {
        for (FolderId id = 0; id < folders_.size(); ++id) {
            if (folders_[id].live && folderText(id).starts_with(prefix)) f(id);
        }
    }

    // Rewrites every folder text that begins with `oldPrefix` to begin with
    // `newPrefix` instead. Folders that come to share a text are merged.
    // Returns the number of rows whose path changed.
    std::size_t replaceFolderPrefix(std::u16string_view oldPrefix, std::u16string_view newPrefix);

private:
    // A signed number of 48 bits in three 16-bit words, so that a row needs
    // no 8-byte alignment. Sizes and offsets beyond it keep their text.
    struct Int48 {
        std::array<std::uint16_t, 3> words{};
        static bool fits(std::int64_t v) { return v >= -(std::int64_t{1} << 47) && v < (std::int64_t{1} << 47); }
        void set(std::int64_t v) {
            const auto u = static_cast<std::uint64_t>(v);
            words = {static_cast<std::uint16_t>(u), static_cast<std::uint16_t>(u >> 16),
                     static_cast<std::uint16_t>(u >> 32)};
        }
        std::int64_t get() const {
            const std::uint64_t u =
                std::uint64_t{words[0]} | (std::uint64_t{words[1]} << 16) | (std::uint64_t{words[2]} << 32);
            return static_cast<std::int64_t>(u << 16) >> 16;
        }
    };
    // 52 bytes: there can be millions.
    struct Row {
        Int48 size;
        Int48 dataOffset;
        std::array<std::uint32_t, 6> times{};  // modified, accessed, created: low, high each
        FolderId folder = 0;
        TextArena::Ref name = 0;
        std::uint32_t kind = 0;  // type name and icon, in kinds_
        std::uint16_t nameLength = 0;
        std::uint8_t rawCells = 0;  // bit c-2 set: cell c keeps its text in rawText_
        std::uint8_t checked = 0;
    };
    // A folder's rows are a run of rowLists_, [rowsStart, rowsStart + rowCount),
    // with room up to rowsStart + rowCapacity. The folder being filled
    // usually owns the last run and grows in place; a run that must grow
    // elsewhere moves to the end, and the runs are packed again when more
    // than half of rowLists_ is left behind.
    struct Folder {
        TextArena::Ref text = 0;
        std::uint32_t textLength = 0;
        std::uint32_t rowsStart = 0;
        std::uint32_t rowCount = 0;
        std::uint32_t rowCapacity = 0;
        std::uint32_t checked = 0;
        bool live = true;
    };
    struct Kind {
        std::uint32_t type = 0;
        std::int32_t icon = 0;
    };

    RowIndex appendRow(std::u16string_view path, int icon, std::u16string_view typeName);
    FolderId internFolder(std::u16string_view text);
    std::uint32_t internType(std::u16string_view text);
    std::uint32_t internKind(std::uint32_t type, int icon);
    void storeName(Row& row, std::u16string_view name);
    void setNumericCell(RowIndex row, int column, std::u16string_view text);
    // The size (column 2) or data offset (3) of a row: stored, or read from its text.
    void setTypedNumber(RowIndex row, int column, std::int64_t value);
    std::int64_t wideNumber(RowIndex row, int column) const;
    void moveRowToFolder(RowIndex row, FolderId to);
    // Makes room for one more row in the folder's run.
    void reserveRow(Folder& folder);
    // Moves the folder's rows to a new run of `capacity` at the end.
    void relocateRows(Folder& folder, std::size_t capacity);
    void packRowLists();
    FileTime timeOf(RowIndex row, int which) const;
    static std::uint64_t rawKey(RowIndex row, int column) {
        return (static_cast<std::uint64_t>(row) << 4) | static_cast<unsigned>(column);
    }

    ChunkedVector<Row, 12> rows_;  // 4,096 rows (208 KiB) a chunk
    TextArena names_;
    ChunkedVector<Folder, 12> folders_;
    TextArena folderTexts_;
    std::vector<RowIndex> rowLists_;
    std::size_t rowListsLeft_ = 0;  // units of rowLists_ no folder uses
    IdIndex folderIndex_;           // live folders by text
    FolderId lastFolder_ = 0;       // the folder of the last append, tried first
    bool haveLastFolder_ = false;
    std::vector<std::u16string> types_;
    std::unordered_map<std::u16string, std::uint32_t> typeIndex_;
    std::uint32_t lastType_ = 0;
    std::vector<Kind> kinds_;
    std::unordered_map<std::uint64_t, std::uint32_t> kindIndex_;
    std::uint32_t lastKind_ = 0;
    std::unordered_map<std::uint64_t, std::u16string> rawText_;
    std::size_t checkedTotal_ = 0;
};

}  // namespace bkf
