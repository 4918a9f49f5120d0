// The catalogue of one recovery: the table of entries, the folder tree
// derived from their display paths, and the path of the backup file the
// entries' data offsets refer to.
//
// "The entries below a folder node" are the entries whose display path begins
// with "BKF\" followed by the node's folder path (folderPathOf); the entries
// directly in it are those whose path is that prefix plus a name without a
// backslash.
//
// Not thread-safe: one thread (the user-interface thread in the desktop
// program) owns it; workers hand it their results.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/catalogue_table.h"
#include "catalogue/catalogue_tree.h"
#include "catalogue/shell_lookup.h"

namespace bkf {

// The root label and the literal prefix every display path begins with.
inline constexpr std::u16string_view kRootLabel = u"BKF";
inline constexpr std::u16string_view kRootPrefix = u"BKF\\";

class Catalogue {
public:
    // `shell` must outlive the catalogue.
    explicit Catalogue(ShellLookup& shell = defaultShellLookup());

    CatalogueTable& table() { return table_; }
    const CatalogueTable& table() const { return table_; }
    CatalogueTree& tree() { return tree_; }
    const CatalogueTree& tree() const { return tree_; }
    ShellLookup& shell() { return *shell_; }

    const std::u16string& backupFilePath() const { return backupFilePath_; }
    void setBackupFilePath(std::u16string_view path) { backupFilePath_ = std::u16string(path); }

    // Appends a found file; the icon and type name come from the shell. New entries are unchecked.
    RowIndex appendEntry(std::u16string_view path, std::int64_t size, std::int64_t dataOffset, FileTime modified,
                         FileTime accessed, FileTime created);
    // Appends an entry whose cells 2..9 are texts kept as they are (a loaded snapshot).
    RowIndex appendEntryText(std::u16string_view path, std::span<const std::u16string_view, kNumericCellCount> cells);
    void addFolderPath(std::u16string_view path) { tree_.addFolderPath(path); }

    // Removes every row and node (the backup file path stays).
    void clear();

    std::u16string folderPathOf(NodeId node) const { return tree_.folderPathOf(node); }
    // "BKF\" + folderPathOf(node): what the display paths below the node begin with.
    std::u16string displayPrefixOf(NodeId node) const;

    // Sets `node` and every node below it to Checked or Unchecked, and the
    // mark of every entry below it.
    void setFolderMark(NodeId node, bool checked);
    // Recomputes the mark of each ancestor of `node` from the entries below
    // it: Checked when none is unchecked (also when there are none),
    // Unchecked when none is checked, otherwise Partial.
    void refreshAncestorMarks(NodeId node);
    // The mark a node would get from its entries (as refreshAncestorMarks computes it).
    FolderMark markFromEntries(NodeId node) const;
    // Marks the first entry whose display path is "BKF\" + folderPathOf(folder)
    // + name; returns its row, or nullopt when there is none (nothing changes).
    std::optional<RowIndex> markFile(NodeId folder, std::u16string_view name, bool checked);
    // Marks one entry and brings the node of its folder and every ancestor in
    // line with the entries below them; returns that node (kNoNode when the
    // entry's folder has no node, and only the entry changes).
    NodeId markEntry(RowIndex row, bool checked);
    // After a scan or load: every entry checked, every node collapsed and
    // Checked, the root expanded.
    void markAllAfterLoad();
    // Renames a folder: every display path that begins with the node's path
    // from the root gets the new name in its place; the node's label changes.
    // An empty name, or a top-level node (the root "BKF", whose label every
    // path and mark operation relies on), changes nothing and gives false.
    bool renameFolder(NodeId node, std::u16string_view newName);

    // Rows directly in the node's folder, in row order (empty span when none).
    std::span<const RowIndex> rowsInFolder(NodeId node) const;
    // Number of entries below the node, and how many of them are checked.
    struct Counts {
        std::size_t total = 0;
        std::size_t checked = 0;
    };
    Counts countsBelow(NodeId node) const;

private:
    ShellLookup* shell_;
    CatalogueTable table_;
    CatalogueTree tree_;
    std::u16string backupFilePath_;
};

}  // namespace bkf
