#include "widgets/folder_contents_model.h"

#include <QColor>
#include <algorithm>

#include "base/file_time.h"
#include "widgets/catalogue_models.h"
#include "widgets/check_box_delegate.h"
#include "widgets/qt_shell_lookup.h"
#include "widgets/qt_text.h"

namespace bkf::gui {

namespace {

const QString kParentName = QStringLiteral("..");
const QString kParentType = QStringLiteral("Parent Folder");
const QString kFolderType = QStringLiteral("Folder");

}  // namespace

QColor parentRowBackground() {
    return QColor(220, 242, 226);
}

FolderContentsModel::FolderContentsModel(bkf::Catalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent), catalogue_(catalogue) {}

int FolderContentsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FolderContentsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

void FolderContentsModel::showFolder(bkf::NodeId node) {
    beginResetModel();
    rows_.clear();
    folder_ = node < catalogue_.tree().nodeCount() ? node : bkf::kNoNode;
    if (folder_ != bkf::kNoNode) {
        const bkf::CatalogueTree& tree = catalogue_.tree();
        if (tree.parent(folder_) != bkf::kNoNode) rows_.push_back({RowKind::Parent, tree.parent(folder_)});
        for (bkf::NodeId c = tree.firstChild(folder_); c != bkf::kNoNode; c = tree.nextSibling(c))
            rows_.push_back({RowKind::Folder, c});
        const auto files = catalogue_.rowsInFolder(folder_);
        rows_.reserve(rows_.size() + files.size());
        for (bkf::RowIndex r : files) rows_.push_back({RowKind::File, r});
    }
    endResetModel();
}

Qt::CheckState FolderContentsModel::checkState(int r) const {
    const Row& x = row(r);
    switch (x.kind) {
        case RowKind::File:
            return catalogue_.table().checked(x.id) ? Qt::Checked : Qt::Unchecked;
        case RowKind::Folder:
            return checkStateOf(catalogue_.tree().mark(x.id));
        default:
            return Qt::Unchecked;
    }
}

QString FolderContentsModel::text(int r, int column) const {
    const Row& x = row(r);
    const bkf::CatalogueTable& table = catalogue_.table();
    switch (x.kind) {
        case RowKind::Parent:
            if (column == NameColumn) return kParentName;
            return column == TypeColumn ? kParentType : QString();
        case RowKind::Folder:
            if (column == NameColumn) return qstr(catalogue_.tree().label(x.id));
            return column == TypeColumn ? kFolderType : QString();
        case RowKind::File:
            switch (column) {
                case NameColumn:
                    return qstr(table.name(x.id));
                case TypeColumn:
                    return qstr(catalogue_.shell().shellTypeName(table.name(x.id)));
                case SizeColumn:
                    return qstr(table.cell(x.id, bkf::CatalogueColumn::Size));
                case ModifiedColumn:
                    return qstr(bkf::formatListTime(
                        bkf::fileTimeFromCells(table.cell(x.id, bkf::CatalogueColumn::ModifiedLow),
                                               table.cell(x.id, bkf::CatalogueColumn::ModifiedHigh))));
                case CreatedColumn:
                    return qstr(bkf::formatListTime(
                        bkf::fileTimeFromCells(table.cell(x.id, bkf::CatalogueColumn::CreatedLow),
                                               table.cell(x.id, bkf::CatalogueColumn::CreatedHigh))));
                default:
                    return {};
            }
    }
    return {};
}

QVariant FolderContentsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const int r = index.row();
    const Row& x = row(r);
    switch (role) {
        case Qt::DisplayRole:
            return text(r, index.column());
        case Qt::DecorationRole:
            if (index.column() != NameColumn) return {};
            if (x.kind == RowKind::File) return shellIcon(catalogue_.table().iconIndex(x.id));
            return shellIcon(IconFolder);
        case Qt::CheckStateRole:
            if (index.column() != NameColumn || x.kind == RowKind::Parent) return {};
            return checkState(r);
        case CheckImageRole:
            if (index.column() == NameColumn && x.kind == RowKind::Parent) return CheckParentArrow;
            return {};
        case Qt::BackgroundRole:
            if (x.kind == RowKind::Parent) return parentRowBackground();
            return {};
        default:
            return {};
    }
}

QVariant FolderContentsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    static const char* const kHeadings[] = {"Name", "Type", "File Size", "Date Modified", "Date Created"};
    return section >= 0 && section < kColumnCount ? QString::fromLatin1(kHeadings[section]) : QVariant();
}

Qt::ItemFlags FolderContentsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FolderContentsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumnCount || rows_.empty()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    // One folded key per row, computed once: a file row's type name or date
    // text costs a lookup or a format that a comparison must not repeat.
    struct Keyed {
        QString key;
        int oldRow;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(rows_.size());
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) keyed.push_back({text(r, column).toCaseFolded(), r});
    const auto first = keyed.begin() + (rows_.front().kind == RowKind::Parent ? 1 : 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(first, keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    else
        std::stable_sort(first, keyed.end(), [](const Keyed& a, const Keyed& b) { return b.key < a.key; });
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newRowOf(rows_.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        sorted.push_back(rows_[static_cast<std::size_t>(keyed[i].oldRow)]);
        newRowOf[static_cast<std::size_t>(keyed[i].oldRow)] = static_cast<int>(i);
    }
    rows_ = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before) after.push_back(index(newRowOf[static_cast<std::size_t>(i.row())], i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FolderContentsModel::refresh() {
    if (rows_.empty()) return;
    emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kColumnCount - 1));
}

void FolderContentsModel::marksChanged() {
    if (rows_.empty()) return;
    emit dataChanged(index(0, NameColumn), index(static_cast<int>(rows_.size()) - 1, NameColumn), {Qt::CheckStateRole});
}

}  // namespace bkf::gui
