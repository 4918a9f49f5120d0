#include "widgets/catalogue_models.h"

#include <limits>

#include "widgets/qt_shell_lookup.h"
#include "widgets/qt_text.h"

namespace bkf::gui {

namespace {

int clampToInt(std::size_t n) {
    return n > static_cast<std::size_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                         : static_cast<int>(n);
}

// A folder node: the closed folder, the open one while it is selected.
QIcon folderNodeIcon() {
    QIcon icon;  // files are read when the icon is first drawn, then cached by Qt
    icon.addFile(QStringLiteral(":/images/folder.png"), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/images/folder_open.png"), QSize(), QIcon::Selected);
    return icon;
}

}  // namespace

// ---- CatalogueTableModel

CatalogueTableModel::CatalogueTableModel(bkf::Catalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent), catalogue_(catalogue), shownRows_(clampToInt(catalogue.table().rowCount())) {}

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
            return qstr(catalogue_.table().cell(row, static_cast<bkf::CatalogueColumn>(index.column())));
        case Qt::DecorationRole:
            if (index.column() == 0) return shellIcon(catalogue_.table().iconIndex(row));
            return {};
        case Qt::CheckStateRole:
            if (index.column() != 0) return {};
            return catalogue_.table().checked(row) ? Qt::Checked : Qt::Unchecked;
        case Qt::ForegroundRole:
        case Qt::BackgroundRole: {
            const bool text = role == Qt::ForegroundRole;
            if (catalogue_.table().checked(row)) return text ? checkedEntryText() : checkedEntryBackground();
            // A progress line among the rows is green on black.
            if (catalogue_.table().cell(row, bkf::CatalogueColumn::TypeName).starts_with(u"Progress"))
                return text ? QColor(0, 255, 0) : QColor(0, 0, 0);
            return {};
        }
        default:
            return {};
    }
}

Qt::ItemFlags CatalogueTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void CatalogueTableModel::marksChanged() {
    if (shownRows_ == 0) return;
    emit dataChanged(index(0, 0), index(shownRows_ - 1, bkf::kCatalogueColumnCount - 1),
                     {Qt::CheckStateRole, Qt::ForegroundRole, Qt::BackgroundRole});
}

void CatalogueTableModel::refresh() {
    if (shownRows_ == 0) return;
    emit dataChanged(index(0, 0), index(shownRows_ - 1, bkf::kCatalogueColumnCount - 1));
}

Qt::CheckState checkStateOf(bkf::FolderMark mark) {
    switch (mark) {
        case bkf::FolderMark::Checked:
            return Qt::Checked;
        case bkf::FolderMark::Partial:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}

QColor checkedEntryText() {
    return QColor(255, 0, 0);
}

QColor checkedEntryBackground() {
    return QColor(248, 233, 243);
}

QVariant CatalogueTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= bkf::kCatalogueColumnCount) return {};
    return qstr(bkf::catalogueColumnHeading(static_cast<bkf::CatalogueColumn>(section)));
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
            return qstr(tree.label(node));
        case Qt::DecorationRole:
            return tree.parent(node) == bkf::kNoNode ? shellIcon(IconApplication) : folderNodeIcon();
        case Qt::CheckStateRole:
            return checkStateOf(tree.mark(node));
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

void CatalogueTreeModel::nodeRenamed(bkf::NodeId node) {
    const QModelIndex i = indexOf(node);
    if (i.isValid()) emit dataChanged(i, i, {Qt::DisplayRole});
}

void CatalogueTreeModel::reload() {
    beginResetModel();
    rebuild();
    endResetModel();
}

}  // namespace bkf::gui
