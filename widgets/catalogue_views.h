// The three views of the results page and what the mouse and keys do in them:
//
//  - the folder tree (4101): one node per folder, a three-state check box each;
//  - the folder-contents list (61487): the subfolders and files of the folder
//    selected in the tree, with a ".." row for going up;
//  - the catalogue pane (1): every file found, with its full display path.
//
// A check box is the selection for saving: a file is saved when its entry is
// checked. Every change goes through the catalogue's mark operations, so
// that a folder's box always tells what lies below it: Checked when every
// file below is checked, Unchecked when none is, Partial otherwise.
//
// While a scan or a snapshot load runs the views are busy (the owner's busy
// test): check boxes refuse changes with a message, navigation still works.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <QObject>
#include <QTableView>
#include <QTreeView>
#include <functional>

#include "catalogue/catalogue.h"

namespace bkf::gui {

class CatalogueTableModel;
class CatalogueTreeModel;
class CatalogueViews;
class FolderContentsModel;
class UiServices;

inline const QString kBusySelectText = QStringLiteral("Please stop scanning process , then select files");
inline const QString kBusyListMenuText = QStringLiteral("Please stop search scanning , then select files");
inline const QString kSaveFilesMenuText = QStringLiteral("Save Files");
inline const QString kRenameFolderMenuText = QStringLiteral("Rename Folder");
inline const QString kSaveFileMenuText = QStringLiteral("Save File");
inline const QString kOpenMenuText = QStringLiteral("Open");
inline const QString kTopFolderRenameText = QStringLiteral("The top folder BKF cannot be renamed");
inline const QString kBackslashRenameText = QStringLiteral("A folder name cannot contain a backslash (\\)");

// Commands of the pop-up menus.
enum ViewCommand : int {
    ID_TREE_SAVE_FILES = 32003,
    ID_TREE_RENAME_FOLDER = 32004,
    ID_PANE_SAVE_FILE = 61488,
    ID_LIST_SAVE_FILE = 61489,
    ID_LIST_OPEN_FILE = 32007,
    ID_PANE_OPEN_FILE = 32008,
};

// The folder tree: the mouse buttons and keys go to CatalogueViews; the
// tree's own click handling does not run.
class FolderTreeView : public QTreeView {
    Q_OBJECT
public:
    FolderTreeView(CatalogueViews& views, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    // Dotted lines between the nodes and at the root, under the expand buttons.
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

private:
    CatalogueViews& views_;
};

// The folder-contents list, a report list of five columns.
class FolderListView : public QTreeView {
    Q_OBJECT
public:
    FolderListView(CatalogueViews& views, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    CatalogueViews& views_;
};

// The catalogue pane.
class CataloguePaneView : public QTableView {
    Q_OBJECT
public:
    CataloguePaneView(CatalogueViews& views, QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Space toggles the current entry, like its box.
    void keyPressEvent(QKeyEvent* event) override;

private:
    CatalogueViews& views_;
};

class CatalogueViews : public QObject {
    Q_OBJECT
public:
    // The views are created hidden as children of `parent`.
    CatalogueViews(bkf::Catalogue& catalogue, UiServices& ui, QWidget* parent);
    ~CatalogueViews() override;

    FolderTreeView* folderTree() const { return tree_; }
    FolderListView* folderList() const { return list_; }
    CataloguePaneView* cataloguePane() const { return pane_; }
    CatalogueTreeModel& treeModel() const { return *treeModel_; }
    FolderContentsModel& listModel() const { return *listModel_; }
    CatalogueTableModel& paneModel() const { return *paneModel_; }

    // True while the views refuse mark changes (a scan or load runs).
    void setBusyTest(std::function<bool()> busy) { busy_ = std::move(busy); }
    bool busy() const { return busy_ && busy_(); }

    // ---- keeping the views in line with the catalogue
    // Rows and nodes appended since the last call (a scan or load batch);
    // new nodes are shown expanded.
    void catalogueAppended();
    // Everything re-read: the tree shows the catalogue's expansion, the list is empty.
    void reload();
    // Marks changed outside the views: every check box redrawn.
    void marksChanged();

    // The folder-contents list for a node (kNoNode: empty).
    void showFolder(bkf::NodeId node);
    // The node selected in the tree, and selecting one (its parents expanded).
    bkf::NodeId selectedNode() const;
    void selectNode(bkf::NodeId node);

    // ---- the handlers (public for the view classes and the tests)
    void treeButtonDown(const QPoint& pos, bool rightButton);
    void treeSpace();
    // A left click in the list or the pane: true when it was on a check box
    // (or, in the pane, a right click: the box or the menu), which the views
    // then handled; otherwise the view's own selection runs.
    bool listClick(const QPoint& pos);
    void listDoubleClick(const QPoint& pos);
    void listRightClick(const QPoint& pos);
    void listSpace();
    void listEnter();
    void listHeadingClicked(int column);
    bool paneClick(const QPoint& pos, bool rightButton);
    void paneDoubleClick(const QPoint& pos);
    void paneSpace();
    void renameFolder(bkf::NodeId node);

    // The sort state of the folder-contents list (column -1: never sorted).
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

signals:
    // The save command on the checked entries ("Save Files", "Save File" of the list).
    void saveFilesRequested();
    // The catalogue pane's "Save File": only that row.
    void saveRowRequested(bkf::RowIndex row);
    // "Open" of the list or the pane, or a double click on a file of the list.
    void openRowRequested(bkf::RowIndex row);

private:
    bool onCheckBox(const QAbstractItemView& view, const QModelIndex& index, const QPoint& pos) const;
    // Step through a tree node's check box: the node and everything below it
    // flip between Checked and Unchecked (Partial counts as unchecked).
    void toggleNode(bkf::NodeId node);
    // A row of the folder-contents list clicked on its check box.
    void toggleListRow(int row);
    // An entry of the catalogue pane flipped, its folders brought in line.
    void toggleEntry(bkf::RowIndex row);
    // The shown folder brought in line with its rows.
    void alignShownFolder();
    void goToParentFolder();
    void openFolderRow(int row);
    void selectFirstListRow();
    void busyMessage(const QString& text);

    bkf::Catalogue& catalogue_;
    UiServices& ui_;
    std::function<bool()> busy_;
    CatalogueTreeModel* treeModel_ = nullptr;
    FolderContentsModel* listModel_ = nullptr;
    CatalogueTableModel* paneModel_ = nullptr;
    FolderTreeView* tree_ = nullptr;
    FolderListView* list_ = nullptr;
    CataloguePaneView* pane_ = nullptr;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace bkf::gui
