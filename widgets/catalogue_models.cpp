#include "widgets/catalogue_models.h"

#include <limits>

#include "app/qt_shell_lookup.h"

namespace bkf::gui {

namespace {

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

int clampToInt(std::size_t n) {
    return n > static_cast<std::size_t>(std::numeric_limits<int>::max())
               ? std::numeric_limits<int>::max()
               : static_cast<int>(n);
}

}  // namespace

// ---- CatalogueTableModel

CatalogueTableModel::CatalogueTableModel(bkf::Catalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent),
      catalogue_(catalogue),
      shownRows_(clampToInt(catalogue.table().rowCount())) {}

int CatalogueTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int CatalogueTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : bkf::kCatalogueColumnCount;
}

QVariant CatalogueTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shownRows_) return {};
    const auto row = static_cast<bkf::RowIndex>(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return toQString(
                catalogue_.table().cell(row, static_cast<bkf::CatalogueColumn>(index.column())));
        case Qt::DecorationRole:
            if (index.column() == 0) return shellIcon(catalogue_.table().iconIndex(row));
            return {};
        default:
            return {};
    }
}

QVariant CatalogueTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= bkf::kCatalogueColumnCount) return {};
    return toQString(bkf::catalogueColumnHeading(static_cast<bkf::CatalogueColumn>(section)));
}

void CatalogueTableModel::syncRows() {
    const int now = clampToInt(catalogue_.table().rowCount());
    if (now < shownRows_) {
        reload();
        return;
    }
    if (now == shownRows_) return;
    beginInsertRows(QModelIndex(), shownRows_, now - 1);
    shownRows_ = now;
    endInsertRows();
}

void CatalogueTableModel::reload() {
    beginResetModel();
    shownRows_ = clampToInt(catalogue_.table().rowCount());
    endResetModel();
}

// ---- CatalogueTreeModel

CatalogueTreeModel::CatalogueTreeModel(bkf::Catalogue& catalogue, QObject* parent)
    : QAbstractItemModel(parent), catalogue_(catalogue) {
    rebuild();
}

void CatalogueTreeModel::rebuild() {
    const bkf::CatalogueTree& tree = catalogue_.tree();
    children_.assign(tree.nodeCount(), {});
    rowInParent_.assign(tree.nodeCount(), 0);
    topLevel_.clear();
    for (bkf::NodeId n = 0; n < tree.nodeCount(); ++n) {
        // Nodes are only ever appended after their parent, at the end of its children.
        auto& siblings = tree.parent(n) == bkf::kNoNode ? topLevel_ : children_[tree.parent(n)];
        rowInParent_[n] = static_cast<int>(siblings.size());
        siblings.push_back(n);
    }
}

const std::vector<bkf::NodeId>& CatalogueTreeModel::childrenOf(bkf::NodeId parent) const {
    return parent == bkf::kNoNode ? topLevel_ : children_[parent];
}

QModelIndex CatalogueTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const auto& kids = childrenOf(nodeOf(parent));
    if (static_cast<std::size_t>(row) >= kids.size()) return {};
    return createIndex(row, 0, static_cast<quintptr>(kids[static_cast<std::size_t>(row)]));
}

QModelIndex CatalogueTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    const bkf::NodeId p = catalogue_.tree().parent(nodeOf(child));
    return indexOf(p);
}

QModelIndex CatalogueTreeModel::indexOf(bkf::NodeId node) const {
    if (node == bkf::kNoNode || node >= rowInParent_.size()) return {};
    return createIndex(rowInParent_[node], 0, static_cast<quintptr>(node));
}

bkf::NodeId CatalogueTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<bkf::NodeId>(index.internalId()) : bkf::kNoNode;
}

int CatalogueTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return static_cast<int>(childrenOf(nodeOf(parent)).size());
}

int CatalogueTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant CatalogueTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const bkf::NodeId node = nodeOf(index);
    const bkf::CatalogueTree& tree = catalogue_.tree();
    switch (role) {
        case Qt::DisplayRole:
            return toQString(tree.label(node));
        case Qt::DecorationRole:
            return shellIcon(tree.parent(node) == bkf::kNoNode ? IconApplication : IconFolder);
        case Qt::CheckStateRole:
            switch (tree.mark(node)) {
                case bkf::FolderMark::Checked:
                    return Qt::Checked;
                case bkf::FolderMark::Partial:
                    return Qt::PartiallyChecked;
                default:
                    return Qt::Unchecked;
            }
        default:
            return {};
    }
}

void CatalogueTreeModel::syncNodes() {
    const bkf::CatalogueTree& tree = catalogue_.tree();
    const std::size_t known = rowInParent_.size();
    if (tree.nodeCount() < known) {
        reload();
        return;
    }
    // New nodes come in runs under one parent (a scan adds a folder's
    // subfolders one after another): one insertion per run, not per node.
    const auto count = static_cast<bkf::NodeId>(tree.nodeCount());
    for (auto n = static_cast<bkf::NodeId>(known); n < count;) {
        const bkf::NodeId p = tree.parent(n);
        bkf::NodeId end = n + 1;
        while (end < count && tree.parent(end) == p) ++end;
        const int first = static_cast<int>(childrenOf(p).size());
        beginInsertRows(indexOf(p), first, first + static_cast<int>(end - n) - 1);
        for (bkf::NodeId k = n; k < end; ++k) {
            children_.emplace_back();  // may move the other lists: take `siblings` after it
            rowInParent_.push_back(first + static_cast<int>(k - n));
            auto& siblings = p == bkf::kNoNode ? topLevel_ : children_[p];
            siblings.push_back(k);
        }
        endInsertRows();
        n = end;
    }
}

void CatalogueTreeModel::reload() {
    beginResetModel();
    rebuild();
    endResetModel();
}

}  // namespace bkf::gui
