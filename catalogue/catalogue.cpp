#include "catalogue/catalogue.h"

namespace bkf {

Catalogue::Catalogue(ShellLookup& shell) : shell_(&shell) {}

RowIndex Catalogue::appendEntry(std::u16string_view path, std::int64_t size, std::int64_t dataOffset, FileTime modified,
                                FileTime accessed, FileTime created) {
    // The shell looks at the last component only: handing it just that spares it the path.
    const std::u16string_view name = lastPathComponent(path);
    return table_.append(path, shell_->shellFileIcon(name), shell_->shellTypeName(name), size, dataOffset, modified,
                         accessed, created);
}

RowIndex Catalogue::appendEntryText(std::u16string_view path,
                                    std::span<const std::u16string_view, kNumericCellCount> cells) {
    const std::u16string_view name = lastPathComponent(path);
    return table_.appendText(path, shell_->shellFileIcon(name), shell_->shellTypeName(name), cells);
}

void Catalogue::clear() {
    table_.clear();
    tree_.clear();
}

std::u16string Catalogue::displayPrefixOf(NodeId node) const {
    std::u16string prefix(kRootPrefix);
    prefix += tree_.folderPathOf(node);
    return prefix;
}

void Catalogue::setFolderMark(NodeId node, bool checked) {
    const FolderMark mark = checked ? FolderMark::Checked : FolderMark::Unchecked;
    tree_.forEachInSubtree(node, [&](NodeId n) { tree_.setMark(n, mark); });
    table_.forEachFolderWithPrefix(displayPrefixOf(node), [&](FolderId id) { table_.setFolderChecked(id, checked); });
}

Catalogue::Counts Catalogue::countsBelow(NodeId node) const {
    Counts counts;
    table_.forEachFolderWithPrefix(displayPrefixOf(node), [&](FolderId id) {
        counts.total += table_.folderRows(id).size();
        counts.checked += table_.folderCheckedCount(id);
    });
    return counts;
}

FolderMark Catalogue::markFromEntries(NodeId node) const {
    const Counts counts = countsBelow(node);
    if (counts.checked == counts.total) return FolderMark::Checked;
    if (counts.checked == 0) return FolderMark::Unchecked;
    return FolderMark::Partial;
}

void Catalogue::refreshAncestorMarks(NodeId node) {
    for (NodeId a = tree_.parent(node); a != kNoNode; a = tree_.parent(a)) {
        tree_.setMark(a, markFromEntries(a));
    }
}

std::span<const RowIndex> Catalogue::rowsInFolder(NodeId node) const {
    const auto id = table_.findFolder(displayPrefixOf(node));
    if (!id) return {};
    return table_.folderRows(*id);
}

std::optional<RowIndex> Catalogue::markFile(NodeId folder, std::u16string_view name, bool checked) {
    for (RowIndex row : rowsInFolder(folder)) {
        if (table_.name(row) == name) {
            table_.setChecked(row, checked);
            return row;
        }
    }
    return std::nullopt;
}

NodeId Catalogue::markEntry(RowIndex row, bool checked) {
    table_.setChecked(row, checked);
    const NodeId folder = tree_.findFolder(table_.path(row));
    if (folder == kNoNode) return kNoNode;
    tree_.setMark(folder, markFromEntries(folder));
    refreshAncestorMarks(folder);
    return folder;
}

void Catalogue::markAllAfterLoad() {
    table_.setAllChecked(true);
    for (NodeId top = tree_.root(); top != kNoNode; top = tree_.nextSibling(top)) {
        tree_.forEachInSubtree(top, [&](NodeId n) {
            tree_.setExpanded(n, false);
            tree_.setMark(n, FolderMark::Checked);
        });
    }
    if (tree_.root() != kNoNode) tree_.setExpanded(tree_.root(), true);
}

bool Catalogue::renameFolder(NodeId node, std::u16string_view newName) {
    if (newName.empty()) return false;
    const NodeId parent = tree_.parent(node);
    if (parent == kNoNode) return false;
    const std::u16string base = tree_.pathFromTop(parent);
    std::u16string oldPrefix = base;
    oldPrefix += tree_.label(node);
    oldPrefix += u'\\';
    std::u16string newPrefix = base;
    newPrefix += newName;
    newPrefix += u'\\';
    table_.replaceFolderPrefix(oldPrefix, newPrefix);
    tree_.setLabel(node, newName);
    return true;
}

}  // namespace bkf
