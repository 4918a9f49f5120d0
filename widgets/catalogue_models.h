// Thin Qt models over the catalogue: no object per entry, cells read from the
// core table when a view asks. The catalogue is filled outside the models
// (a scan batch, a snapshot load); afterwards syncRows()/syncNodes() announce
// what was appended, so a model's row counts change only between its
// begin/end notifications.
#pragma once

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <vector>

#include "catalogue/catalogue.h"

namespace bkf::gui {

// The catalogue pane's colours of a checked entry.
QColor checkedEntryText();
QColor checkedEntryBackground();

// The check box a folder mark shows.
Qt::CheckState checkStateOf(bkf::FolderMark mark);

// The catalogue pane: one row per entry, the ten cells as columns. A checked
// entry is drawn in red on pale pink.
class CatalogueTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CatalogueTableModel(bkf::Catalogue& catalogue, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Announces the rows appended to the table since the last call.
    void syncRows();
    // Every row's check box (and colours) may have changed.
    void marksChanged();
    // Every cell may have changed (a folder renamed), the row count has not.
    void refresh();
    // Re-reads everything (after a clear, a load or a rename).
    void reload();

private:
    bkf::Catalogue& catalogue_;
    int shownRows_ = 0;
};

// The folder tree: one item per node; the internal id is the node id.
class CatalogueTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit CatalogueTreeModel(bkf::Catalogue& catalogue, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    QModelIndex indexOf(bkf::NodeId node) const;
    bkf::NodeId nodeOf(const QModelIndex& index) const;

    // Announces the nodes added to the tree since the last call.
    void syncNodes();
    // How many nodes the model has announced.
    std::size_t knownNodes() const { return rowInParent_.size(); }
    // A node's label changed.
    void nodeRenamed(bkf::NodeId node);
    void reload();

private:
    void rebuild();
    const std::vector<bkf::NodeId>& childrenOf(bkf::NodeId parent) const;

    bkf::Catalogue& catalogue_;
    // Children of each node in child order, and each node's row under its
    // parent: the core tree links siblings, a model needs them by row.
    std::vector<std::vector<bkf::NodeId>> children_;
    std::vector<bkf::NodeId> topLevel_;
    std::vector<int> rowInParent_;
};

}  // namespace bkf::gui
