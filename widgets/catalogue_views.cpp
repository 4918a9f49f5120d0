#include "widgets/catalogue_views.h"
#include "widgets/view_ids.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "widgets/catalogue_models.h"
#include "widgets/check_box_delegate.h"
#include "widgets/folder_contents_model.h"
#include "widgets/rename_folder_dialog.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

namespace {

QPoint eventPos(const QMouseEvent* event) {
    return event->position().toPoint();
}

}  // namespace

// ---- FolderTreeView

FolderTreeView::FolderTreeView(CatalogueViews& views, QWidget* parent) : QTreeView(parent), views_(views) {}

void FolderTreeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        QTreeView::mousePressEvent(event);
        return;
    }
    views_.treeButtonDown(eventPos(event), event->button() == Qt::RightButton);
    event->accept();
}

// A second click comes as a double click: it does what a click does.
void FolderTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void FolderTreeView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        event->accept();  // the press did everything (no expand on release)
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void FolderTreeView::mouseMoveEvent(QMouseEvent* event) {
    // Dragging with a button down does not move the selection.
    if (event->buttons() & (Qt::LeftButton | Qt::RightButton)) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void FolderTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        views_.treeSpace();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FolderTreeView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
    QTreeView::drawBranches(painter, rect, index);
    const int indent = indentation();
    if (indent <= 0) return;
    // Column k of the branch area (from the right) belongs to the k-th ancestor.
    std::vector<QModelIndex> chain{index};
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) chain.push_back(p);
    const auto hasNextSibling = [this](const QModelIndex& i) { return i.row() + 1 < model()->rowCount(i.parent()); };
    painter->save();
    QPen pen(QColor(160, 160, 160), 1, Qt::DotLine);
    painter->setPen(pen);
    const int midY = rect.center().y();
    const bool button = model()->hasChildren(index);
    const int gap = button ? 6 : 0;  // the expand button sits on the lines
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const int right = rect.right() - static_cast<int>(k) * indent;
        const int x = right - indent / 2;
        if (x < rect.left()) break;
        if (k == 0) {
            painter->drawLine(x + gap, midY, right, midY);
            if (chain.size() > 1 || index.row() > 0) painter->drawLine(x, rect.top(), x, midY - gap);
            if (hasNextSibling(index)) painter->drawLine(x, midY + gap, x, rect.bottom());
        } else if (hasNextSibling(chain[k])) {
            painter->drawLine(x, rect.top(), x, rect.bottom());
        }
    }
    painter->restore();
}

bool FolderTreeView::focusNextPrevChild(bool next) {
    if (!next) return QTreeView::focusNextPrevChild(next);
    views_.folderList()->setFocus(Qt::TabFocusReason);
    return true;
}

// ---- FolderListView

FolderListView::FolderListView(CatalogueViews& views, QWidget* parent) : QTreeView(parent), views_(views) {}

void FolderListView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        views_.listRightClick(eventPos(event));
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && views_.listClick(eventPos(event))) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);  // a click beside the box selects as usual
}

void FolderListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        views_.listDoubleClick(eventPos(event));
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void FolderListView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
            case Qt::Key_Space:
                views_.listSpace();
                event->accept();
                return;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                views_.listEnter();
                event->accept();
                return;
            default:
                break;
        }
    }
    QTreeView::keyPressEvent(event);
}

// Grid lines: below each row and at the right edge of each column.
void FolderListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QTreeView::drawRow(painter, option, index);
    painter->save();
    painter->setPen(QColor(216, 216, 216));
    const QRect r = option.rect;
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    const QHeaderView* heading = header();
    for (int c = 0; c < heading->count(); ++c) {
        const int x = heading->sectionViewportPosition(c) + heading->sectionSize(c) - 1;
        painter->drawLine(x, r.top(), x, r.bottom());
    }
    painter->restore();
}

bool FolderListView::focusNextPrevChild(bool next) {
    if (!next) return QTreeView::focusNextPrevChild(next);
    views_.folderTree()->setFocus(Qt::TabFocusReason);
    return true;
}

// ---- CataloguePaneView

CataloguePaneView::CataloguePaneView(CatalogueViews& views, QWidget* parent) : QTableView(parent), views_(views) {}

void CataloguePaneView::mousePressEvent(QMouseEvent* event) {
    const bool right = event->button() == Qt::RightButton;
    if ((right || event->button() == Qt::LeftButton) && views_.paneClick(eventPos(event), right)) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);  // a left click beside the box selects as usual
}

void CataloguePaneView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        views_.paneDoubleClick(eventPos(event));
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CataloguePaneView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        views_.paneSpace();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

// ---- CatalogueViews

CatalogueViews::CatalogueViews(bkf::Catalogue& catalogue, UiServices& ui, QWidget* parent)
    : QObject(parent), catalogue_(catalogue), ui_(ui) {
    auto* delegate = new CheckBoxDelegate(this);

    treeModel_ = new CatalogueTreeModel(catalogue_, this);
    tree_ = new FolderTreeView(*this, parent);
    setControlId(tree_, IDC_FOLDER_TREE);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setItemDelegate(delegate);
    tree_->setModel(treeModel_);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setRootIsDecorated(true);
    tree_->setFrameShape(QFrame::StyledPanel);
    tree_->hide();
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { showFolder(treeModel_->nodeOf(current)); });
    // The catalogue keeps each node's expansion (a load collapses all but the root).
    connect(tree_, &QTreeView::expanded, this, [this](const QModelIndex& i) {
        if (const bkf::NodeId n = treeModel_->nodeOf(i); n != bkf::kNoNode) catalogue_.tree().setExpanded(n, true);
    });
    connect(tree_, &QTreeView::collapsed, this, [this](const QModelIndex& i) {
        if (const bkf::NodeId n = treeModel_->nodeOf(i); n != bkf::kNoNode) catalogue_.tree().setExpanded(n, false);
    });

    listModel_ = new FolderContentsModel(catalogue_, this);
    list_ = new FolderListView(*this, parent);
    setControlId(list_, IDC_FOLDER_LIST);
    list_->setItemDelegate(delegate);
    list_->setModel(listModel_);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setAlternatingRowColors(false);
    QHeaderView* heading = list_->header();
    heading->setSectionsClickable(true);
    heading->setSectionsMovable(false);
    heading->setStretchLastSection(false);
    heading->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    heading->setSortIndicatorShown(false);
    // The date columns are 120 pixels, or as wide as a whole date needs in this font.
    const int dateWidth =
        std::max(120, list_->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 24);
    const int widths[] = {200, 150, 100, dateWidth, dateWidth};
    for (int c = 0; c < FolderContentsModel::kColumnCount; ++c) list_->setColumnWidth(c, widths[c]);
    connect(heading, &QHeaderView::sectionClicked, this, &CatalogueViews::listHeadingClicked);
    list_->hide();

    paneModel_ = new CatalogueTableModel(catalogue_, this);
    pane_ = new CataloguePaneView(*this, parent);
    setControlId(pane_, IDC_CATALOGUE);
    pane_->setItemDelegate(delegate);
    pane_->setModel(paneModel_);
    pane_->setSelectionBehavior(QAbstractItemView::SelectRows);
    pane_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pane_->setShowGrid(true);
    pane_->setWordWrap(false);
    pane_->verticalHeader()->hide();
    pane_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    pane_->verticalHeader()->setDefaultSectionSize(pane_->fontMetrics().height() + 4);
    pane_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pane_->setColumnWidth(0, 600);
    pane_->setColumnWidth(1, 200);
    pane_->setColumnWidth(2, 400);
    // Cells 3..9 are there for the save and the snapshot, not for the eye.
    for (int c = 3; c < bkf::kCatalogueColumnCount; ++c) pane_->setColumnHidden(c, true);
    pane_->hide();
}

CatalogueViews::~CatalogueViews() {
    // The views go before their models.
    delete pane_;
    delete list_;
    delete tree_;
}

// ---- keeping in line

void CatalogueViews::catalogueAppended() {
    paneModel_->syncRows();
    const std::size_t before = treeModel_->knownNodes();
    treeModel_->syncNodes();
    const bkf::CatalogueTree& tree = catalogue_.tree();
    for (std::size_t n = before; n < tree.nodeCount(); ++n) {
        if (tree.expanded(static_cast<bkf::NodeId>(n))) tree_->expand(treeModel_->indexOf(static_cast<bkf::NodeId>(n)));
    }
}

void CatalogueViews::reload() {
    listModel_->clear();
    paneModel_->reload();
    treeModel_->reload();
    const bkf::CatalogueTree& tree = catalogue_.tree();
    for (bkf::NodeId n = 0; n < tree.nodeCount(); ++n) {
        if (tree.expanded(n)) tree_->expand(treeModel_->indexOf(n));
    }
}

void CatalogueViews::marksChanged() {
    tree_->viewport()->update();
    listModel_->marksChanged();
    paneModel_->marksChanged();
}

void CatalogueViews::showFolder(bkf::NodeId node) {
    listModel_->showFolder(node);
}

bkf::NodeId CatalogueViews::selectedNode() const {
    return treeModel_->nodeOf(tree_->currentIndex());
}

void CatalogueViews::selectNode(bkf::NodeId node) {
    const QModelIndex i = treeModel_->indexOf(node);
    if (!i.isValid()) return;
    tree_->scrollTo(i);  // expands its parents
    tree_->setCurrentIndex(i);
}

void CatalogueViews::busyMessage(const QString& text) {
    ui_.messageBox(parent() ? static_cast<QWidget*>(parent()) : nullptr, text,
                   MessageStyle{Buttons::Ok, Icon::Question});
}

bool CatalogueViews::onCheckBox(const QAbstractItemView& view, const QModelIndex& index, const QPoint& pos) const {
    return index.isValid() && index.column() == 0 && CheckBoxDelegate::checkBoxRect(view, index).contains(pos);
}

// ---- the folder tree

void CatalogueViews::treeButtonDown(const QPoint& pos, bool rightButton) {
    const QModelIndex at = tree_->indexAt(pos);
    if (!at.isValid()) return;
    const bkf::NodeId node = treeModel_->nodeOf(at);
    const bool onBox = onCheckBox(*tree_, at, pos);
    if (onBox && busy()) {
        busyMessage(kBusySelectText);
        tree_->setExpanded(at, !tree_->isExpanded(at));
    } else {
        tree_->setCurrentIndex(at);  // shows the folder
        tree_->setFocus(Qt::MouseFocusReason);
        if (!onBox)
            tree_->setExpanded(at, !tree_->isExpanded(at));
        else
            toggleNode(node);
    }
    if (!rightButton) return;

    const QPoint global = tree_->viewport()->mapToGlobal(pos);
    const int chosen = ui_.popupMenu(
        tree_, global,
        {{ID_TREE_SAVE_FILES, kSaveFilesMenuText}, {ID_TREE_RENAME_FOLDER, kRenameFolderMenuText}, {0, QString()}});
    tree_->setFocus(Qt::PopupFocusReason);
    if (chosen == ID_TREE_SAVE_FILES) emit saveFilesRequested();
    if (chosen == ID_TREE_RENAME_FOLDER) renameFolder(node);
}

void CatalogueViews::treeSpace() {
    const bkf::NodeId node = selectedNode();
    if (node == bkf::kNoNode) return;
    if (busy()) {
        busyMessage(kBusySelectText);
        return;
    }
    toggleNode(node);
}

void CatalogueViews::toggleNode(bkf::NodeId node) {
    if (listModel_->shownFolder() != node) showFolder(node);
    const bool check = catalogue_.tree().mark(node) != bkf::FolderMark::Checked;
    catalogue_.setFolderMark(node, check);
    catalogue_.refreshAncestorMarks(node);
    marksChanged();
}

// ---- the folder-contents list

bool CatalogueViews::listClick(const QPoint& pos) {
    const QModelIndex at = list_->indexAt(pos);
    if (!onCheckBox(*list_, at, pos)) return false;
    toggleListRow(at.row());
    return true;
}

void CatalogueViews::listSpace() {
    const QModelIndex current = list_->currentIndex();
    if (current.isValid()) toggleListRow(current.row());
}

void CatalogueViews::toggleListRow(int row) {
    if (row < 0 || row >= listModel_->rowCount()) return;
    const FolderContentsModel::Row x = listModel_->row(row);
    if (x.kind == FolderContentsModel::RowKind::Parent) return;
    if (busy()) {
        busyMessage(kBusySelectText);
        return;
    }
    const bool check = listModel_->checkState(row) != Qt::Checked;
    if (x.kind == FolderContentsModel::RowKind::Folder) {
        catalogue_.setFolderMark(x.id, check);
        catalogue_.refreshAncestorMarks(x.id);
    } else {
        catalogue_.table().setChecked(x.id, check);
    }
    alignShownFolder();
    marksChanged();
}

void CatalogueViews::alignShownFolder() {
    const bkf::NodeId shown = listModel_->shownFolder();
    if (shown == bkf::kNoNode) return;
    bkf::CatalogueTree& tree = catalogue_.tree();
    if (catalogue_.countsBelow(shown).total > 0) {
        // The rows agree with the files below the folder, except that a folder
        // without any file below it has no say: its box is the user's to set,
        // and it is not overwritten here.
        const bkf::FolderMark mark = catalogue_.markFromEntries(shown);
        tree.setMark(shown, mark);
        if (mark != bkf::FolderMark::Partial) {
            tree.forEachInSubtree(shown, [&](bkf::NodeId n) {
                if (catalogue_.countsBelow(n).total > 0) tree.setMark(n, mark);
            });
        }
    } else {
        // Only empty folders here: the folder follows its rows.
        bool anyChecked = false;
        bool anyUnchecked = false;
        bool anyPartial = false;
        for (int r = 0; r < listModel_->rowCount(); ++r) {
            if (listModel_->row(r).kind == FolderContentsModel::RowKind::Parent) continue;
            const Qt::CheckState state = listModel_->checkState(r);
            (state == Qt::Checked ? anyChecked : state == Qt::Unchecked ? anyUnchecked : anyPartial) = true;
        }
        if (!anyPartial && (!anyChecked || !anyUnchecked)) {
            const bkf::FolderMark mark = anyUnchecked ? bkf::FolderMark::Unchecked : bkf::FolderMark::Checked;
            tree.forEachInSubtree(shown, [&](bkf::NodeId n) { tree.setMark(n, mark); });
        } else {
            tree.setMark(shown, bkf::FolderMark::Partial);
        }
    }
    catalogue_.refreshAncestorMarks(shown);
}

void CatalogueViews::listDoubleClick(const QPoint& pos) {
    const QModelIndex at = list_->indexAt(pos);
    if (!at.isValid()) return;
    if (onCheckBox(*list_, at, pos)) {
        toggleListRow(at.row());
        return;
    }
    const auto kind = listModel_->row(at.row()).kind;
    if (at.row() == 0 && kind == FolderContentsModel::RowKind::Parent)
        goToParentFolder();
    else if (kind == FolderContentsModel::RowKind::Folder)
        openFolderRow(at.row());
    else if (kind == FolderContentsModel::RowKind::File && !busy())
        emit openRowRequested(listModel_->row(at.row()).id);
}

void CatalogueViews::listRightClick(const QPoint& pos) {
    const QModelIndex at = list_->indexAt(pos);
    if (!at.isValid()) return;
    if (busy()) {
        if (listModel_->row(at.row()).kind != FolderContentsModel::RowKind::Parent) busyMessage(kBusyListMenuText);
        return;
    }
    if (onCheckBox(*list_, at, pos)) {
        toggleListRow(at.row());
        return;
    }
    list_->setCurrentIndex(at);
    const FolderContentsModel::Row clicked = listModel_->row(at.row());
    const bool file = clicked.kind == FolderContentsModel::RowKind::File;
    QList<MenuItem> items{{ID_LIST_SAVE_FILE, kSaveFileMenuText}, {0, QString()}};
    if (file) items.prepend({ID_LIST_OPEN_FILE, kOpenMenuText});
    const int chosen = ui_.popupMenu(list_, list_->viewport()->mapToGlobal(pos), items);
    if (chosen == ID_LIST_SAVE_FILE) emit saveFilesRequested();
    if (chosen == ID_LIST_OPEN_FILE && file) emit openRowRequested(clicked.id);
}

void CatalogueViews::listEnter() {
    const QModelIndex current = list_->currentIndex();
    if (!current.isValid()) return;
    switch (listModel_->row(current.row()).kind) {
        case FolderContentsModel::RowKind::Parent:
            goToParentFolder();
            break;
        case FolderContentsModel::RowKind::Folder:
            openFolderRow(current.row());
            break;
        case FolderContentsModel::RowKind::File:
            return;
    }
    list_->setFocus(Qt::OtherFocusReason);
}

void CatalogueViews::goToParentFolder() {
    const bkf::NodeId shown = listModel_->shownFolder();
    if (shown == bkf::kNoNode) return;
    const bkf::NodeId parent = catalogue_.tree().parent(shown);
    if (parent == bkf::kNoNode) return;
    selectNode(parent);
    selectFirstListRow();
}

void CatalogueViews::openFolderRow(int row) {
    selectNode(listModel_->row(row).id);
    selectFirstListRow();
}

void CatalogueViews::selectFirstListRow() {
    if (listModel_->rowCount() == 0) return;
    list_->setCurrentIndex(listModel_->index(0, 0));
    list_->scrollToTop();
    list_->viewport()->update();
}

void CatalogueViews::listHeadingClicked(int column) {
    if (column == sortColumn_)
        sortOrder_ = sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    else {
        sortColumn_ = column;
        sortOrder_ = Qt::AscendingOrder;
    }
    listModel_->sort(sortColumn_, sortOrder_);
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setSortIndicator(sortColumn_, sortOrder_);
}

// ---- the catalogue pane

bool CatalogueViews::paneClick(const QPoint& pos, bool rightButton) {
    const QModelIndex at = pane_->indexAt(pos);
    if (!at.isValid()) return rightButton;
    const auto row = static_cast<bkf::RowIndex>(at.row());
    if (onCheckBox(*pane_, at, pos)) {
        if (busy())
            busyMessage(kBusySelectText);
        else
            toggleEntry(row);
        return true;
    }
    if (!rightButton) return false;
    pane_->setCurrentIndex(at);
    const int chosen =
        ui_.popupMenu(pane_, pane_->viewport()->mapToGlobal(pos),
                      {{ID_PANE_OPEN_FILE, kOpenMenuText}, {ID_PANE_SAVE_FILE, kSaveFileMenuText}, {0, QString()}});
    if (chosen == ID_PANE_SAVE_FILE) emit saveRowRequested(row);
    if (chosen == ID_PANE_OPEN_FILE) emit openRowRequested(row);
    return true;
}

void CatalogueViews::paneSpace() {
    const QModelIndex current = pane_->currentIndex();
    if (!current.isValid()) return;
    if (busy()) {
        busyMessage(kBusySelectText);
        return;
    }
    toggleEntry(static_cast<bkf::RowIndex>(current.row()));
}

void CatalogueViews::toggleEntry(bkf::RowIndex row) {
    catalogue_.markEntry(row, !catalogue_.table().checked(row));
    marksChanged();
}

void CatalogueViews::paneDoubleClick(const QPoint& pos) {
    paneClick(pos, false);  // on a box it toggles; beside it nothing happens
}

// ---- rename

void CatalogueViews::renameFolder(bkf::NodeId node) {
    if (node == bkf::kNoNode || node >= catalogue_.tree().nodeCount()) return;
    RenameFolderDialog dialog(tree_->window());
    if (ui_.runDialog(dialog) != QDialog::Accepted) return;
    const QString name = dialog.folderName();
    if (name.isEmpty()) return;
    if (catalogue_.tree().parent(node) == bkf::kNoNode) {
        ui_.messageBox(tree_, kTopFolderRenameText, MessageStyle{Buttons::Ok, Icon::Information});
        return;
    }
    if (name.contains(QLatin1Char('\\'))) {
        ui_.messageBox(tree_, kBackslashRenameText, MessageStyle{Buttons::Ok, Icon::Information});
        return;
    }
    catalogue_.renameFolder(node, name.toStdU16String());
    treeModel_->nodeRenamed(node);
    listModel_->refresh();
    paneModel_->refresh();
}

}  // namespace bkf::gui
