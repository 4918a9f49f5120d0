// The folder-contents list: the subfolders and files of one folder node,
// like a file manager's folder window. Rows: the parent-folder row ".." (when
// the folder has a parent), one row per child node in tree order, then one
// row per entry lying directly in the folder, in table order.
//
// A row refers to its node or entry by id, and its check box shows the
// catalogue's mark as it is now: a mark changed anywhere (the tree, the
// catalogue pane) shows here at once, and two entries with the same path or
// two sibling folders with the same name are still two rows.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "catalogue/catalogue.h"

namespace bkf::gui {

class FolderContentsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column : int { NameColumn, TypeColumn, SizeColumn, ModifiedColumn, CreatedColumn, kColumnCount };
    enum class RowKind : std::uint8_t { Parent, Folder, File };
    struct Row {
        RowKind kind;
        std::uint32_t id;  // the node (Parent, Folder) or the table row (File)
    };

    explicit FolderContentsModel(bkf::Catalogue& catalogue, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Sorts the rows by the texts of `column`, compared without regard to
    // letter case (sizes and dates too); the parent-folder row stays first.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Fills the list for `node` (kNoNode: empty).
    void showFolder(bkf::NodeId node);
    bkf::NodeId shownFolder() const { return folder_; }
    void clear() { showFolder(bkf::kNoNode); }

    const Row& row(int r) const { return rows_[static_cast<std::size_t>(r)]; }
    // The check state a row shows (the parent-folder row: unchecked).
    Qt::CheckState checkState(int r) const;
    // The text of a cell, as shown.
    QString text(int r, int column) const;
    // Tells the views that marks may have changed (every row's check box).
    void marksChanged();
    // Every cell may have changed (a folder renamed).
    void refresh();

private:
    bkf::Catalogue& catalogue_;
    bkf::NodeId folder_ = bkf::kNoNode;
    std::vector<Row> rows_;
};

// The background of the parent-folder row, RGB(220, 242, 226).
QColor parentRowBackground();

}  // namespace bkf::gui
