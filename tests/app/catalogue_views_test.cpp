// The results page's three views driven by the mouse and the keyboard under
// the offscreen platform: what each click and key does to the catalogue's
// marks, what the folder-contents list shows and how it sorts, the busy
// refusals, the pop-up menus and renaming a folder.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <random>

#include "base/file_time.h"
#include "tests/app/qt_printers.h"
#include "tests/app/window_fixture.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/check_box_delegate.h"
#include "widgets/document.h"
#include "widgets/folder_contents_model.h"
#include "widgets/rename_folder_dialog.h"

namespace bkf::gui {
namespace {

// 03/07/2008 14:05:09 (Unix time 1204898709).
constexpr FileTime kMarch2008 = (1204898709ULL + 11644473600ULL) * 10000000ULL;

class CatalogueViewsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        if (HasFatalFailure()) return;
        Catalogue& c = view().catalogue();
        add(u"BKF\\BACKUP SET 1(Daily)\\Data\\a.txt", 100);
        add(u"BKF\\BACKUP SET 1(Daily)\\Data\\B.txt", 0);
        add(u"BKF\\BACKUP SET 1(Daily)\\Data\\Sub\\c.txt", 20);
        add(u"BKF\\BACKUP SET 1(Daily)\\Data\\Sub\\d.txt", 3);
        add(u"BKF\\BACKUP SET 1(Daily)\\Other\\e.txt", 5);
        add(u"BKF\\BACKUP SET 2(Weekly)\\f.txt", 7);
        c.addFolderPath(u"BKF\\BACKUP SET 1(Daily)\\Data\\Empty\\");
        // After a scan: everything checked, the root expanded.
        c.markAllAfterLoad();
        view().document().open();
        view().reloadCatalogue();
        view().showStopButton(false);
        view().showBackButton(true);
        view().showSaveButton(true);
        frame_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
    }

    void add(std::u16string_view path, std::int64_t size) {
        view().catalogue().appendEntry(
            path, size, 4096, kMarch2008 + static_cast<FileTime>(size) * 10000000ULL * 86400 * 40, 0, kMarch2008);
        view().catalogue().addFolderPath(path);
    }

    CatalogueViews& views() { return view().views(); }
    Catalogue& catalogue() { return view().catalogue(); }
    const CatalogueTree& tree() { return view().catalogue().tree(); }
    FolderContentsModel& list() { return views().listModel(); }

    NodeId node(std::initializer_list<std::u16string_view> labels) {
        NodeId at = kNoNode;
        for (auto label : labels) at = tree().findChild(at, label);
        return at;
    }
    NodeId data() { return node({u"BKF", u"BACKUP SET 1(Daily)", u"Data"}); }
    NodeId sub() { return node({u"BKF", u"BACKUP SET 1(Daily)", u"Data", u"Sub"}); }

    QModelIndex treeIndex(NodeId n) {
        const QModelIndex i = views().treeModel().indexOf(n);
        views().folderTree()->scrollTo(i);
        QApplication::processEvents();
        return i;
    }
    QPoint treeBox(NodeId n) {
        const QModelIndex i = treeIndex(n);
        return CheckBoxDelegate::checkBoxRect(*views().folderTree(), i).center();
    }
    QPoint treeLabel(NodeId n) {
        const QRect r = views().folderTree()->visualRect(treeIndex(n));
        return {r.right() - 4, r.center().y()};
    }
    void clickTree(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(views().folderTree()->viewport(), button, {}, at);
    }

    // The row of the folder-contents list whose name is `name`.
    int listRow(const QString& name) {
        for (int r = 0; r < list().rowCount(); ++r)
            if (list().text(r, 0) == name) return r;
        ADD_FAILURE() << "no row " << name.toStdString();
        return -1;
    }
    QPoint listBox(int row) {
        const QModelIndex i = list().index(row, 0);
        views().folderList()->scrollTo(i);
        return CheckBoxDelegate::checkBoxRect(*views().folderList(), i).center();
    }
    QPoint listText(int row, int column = 1) {
        return views().folderList()->visualRect(list().index(row, column)).center();
    }
    void clickList(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(views().folderList()->viewport(), button, {}, at);
    }
    QStringList listNames() {
        QStringList names;
        for (int r = 0; r < list().rowCount(); ++r) names << list().text(r, 0);
        return names;
    }
    QStringList listColumn(int column) {
        QStringList texts;
        for (int r = 0; r < list().rowCount(); ++r) texts << list().text(r, column);
        return texts;
    }

    QPoint paneBox(RowIndex row) {
        const QModelIndex i = views().paneModel().index(static_cast<int>(row), 0);
        views().cataloguePane()->scrollTo(i);
        return CheckBoxDelegate::checkBoxRect(*views().cataloguePane(), i).center();
    }
    void clickPane(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(views().cataloguePane()->viewport(), button, {}, at);
    }

    // Every node's mark is the one its entries give (the views' promise); a
    // folder with no file below it may show either.
    void expectMarksAgree(const char* when) {
        for (NodeId n = 0; n < tree().nodeCount(); ++n) {
            if (catalogue().countsBelow(n).total == 0) continue;
            EXPECT_EQ(tree().mark(n), catalogue().markFromEntries(n))
                << when << ": node " << QString::fromStdU16String(tree().pathFromTop(n)).toStdString();
        }
    }
    std::size_t checkedCount() { return catalogue().table().checkedCount(); }
};

TEST_F(CatalogueViewsTest, AFolderListsItsParentRowSubfoldersThenFilesWithTheirCells) {
    QAbstractItemModelTester tester(&list(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(list().rowCount(), 0) << "nothing is shown until a node is selected";
    views().selectNode(tree().root());
    EXPECT_EQ(listNames(), (QStringList{"BACKUP SET 1(Daily)", "BACKUP SET 2(Weekly)"}))
        << "the root has no parent-folder row";

    clickTree(treeLabel(data()));
    EXPECT_EQ(views().selectedNode(), data());
    EXPECT_EQ(listNames(), (QStringList{"..", "Sub", "Empty", "a.txt", "B.txt"}));
    EXPECT_EQ(listColumn(1).mid(0, 3), (QStringList{"Parent Folder", "Folder", "Folder"}));
    EXPECT_EQ(list().text(3, 1),
              QString::fromStdU16String(std::u16string(catalogue().shell().shellTypeName(u"a.txt"))));
    EXPECT_EQ(listColumn(2), (QStringList{"", "", "", "100", "0"})) << "a size of 0 shows 0";
    EXPECT_EQ(list().text(4, 3), QStringLiteral("03/07/2008 14:05:09"));
    EXPECT_EQ(list().text(3, 3),
              QString::fromStdU16String(formatListTime(kMarch2008 + 100ULL * 10000000 * 86400 * 40)));
    EXPECT_EQ(list().text(3, 4), QStringLiteral("03/07/2008 14:05:09"));
    EXPECT_EQ(list().text(0, 3), QString());

    // The parent row: its own image, the green background in every column, no check state.
    const QModelIndex parentRow = list().index(0, 0);
    EXPECT_EQ(checkImageOf(parentRow), CheckParentArrow);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(list().index(0, c).data(Qt::BackgroundRole).value<QColor>(), QColor(220, 242, 226));
    EXPECT_FALSE(list().index(3, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(checkImageOf(list().index(3, 0)), CheckTicked);

    // The headings and widths.
    const QHeaderView* heading = views().folderList()->header();
    const QStringList headings{"Name", "Type", "File Size", "Date Modified", "Date Created"};
    const int widths[] = {200, 150, 100};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(list().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headings[c]);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(heading->sectionSize(c), widths[c]);
    // A date is never cut short.
    const int dateText = views().folderList()->fontMetrics().horizontalAdvance(list().text(4, 3));
    for (int c = 3; c < 5; ++c) {
        EXPECT_GE(heading->sectionSize(c), 120);
        EXPECT_GT(heading->sectionSize(c), dateText + 8);
    }
}

TEST_F(CatalogueViewsTest, TreeCheckBoxesFollowAndSetTheMarksBelowThem) {
    const QModelIndex dataIndex = treeIndex(data());
    EXPECT_EQ(checkImageOf(dataIndex), CheckTicked);
    const bool wasExpanded = views().folderTree()->isExpanded(dataIndex);

    clickTree(treeBox(data()));
    EXPECT_EQ(views().selectedNode(), data()) << "the click selects the node and shows it";
    EXPECT_EQ(list().shownFolder(), data());
    EXPECT_EQ(views().folderTree()->isExpanded(dataIndex), wasExpanded) << "a box click does not expand";
    EXPECT_EQ(checkedCount(), 2u) << "the four files below Data are unchecked";
    EXPECT_EQ(tree().mark(data()), FolderMark::Unchecked);
    EXPECT_EQ(tree().mark(sub()), FolderMark::Unchecked);
    EXPECT_EQ(tree().mark(tree().root()), FolderMark::Partial);
    EXPECT_EQ(checkImageOf(views().treeModel().indexOf(tree().root())), CheckPartial);
    for (int r = 1; r < list().rowCount(); ++r) EXPECT_EQ(list().checkState(r), Qt::Unchecked) << r;
    expectMarksAgree("after unchecking Data");

    // A Partial node is checked by its box.
    const NodeId set1 = node({u"BKF", u"BACKUP SET 1(Daily)"});
    ASSERT_EQ(tree().mark(set1), FolderMark::Partial);
    clickTree(treeBox(set1));
    EXPECT_EQ(checkedCount(), 6u);
    expectMarksAgree("after checking the set");

    // Space acts on the selected node like its box.
    views().folderTree()->setFocus();
    QTest::keyClick(views().folderTree(), Qt::Key_Space);
    EXPECT_EQ(tree().mark(set1), FolderMark::Unchecked);
    EXPECT_EQ(checkedCount(), 1u);
    expectMarksAgree("after space");

    // A click beside the box selects and expands or collapses, without marks.
    const QModelIndex set1Index = treeIndex(set1);
    const bool open = views().folderTree()->isExpanded(set1Index);
    clickTree(treeLabel(set1));
    EXPECT_EQ(views().folderTree()->isExpanded(set1Index), !open);
    EXPECT_EQ(tree().expanded(set1), !open) << "the catalogue keeps the expansion";
    clickTree(treeLabel(set1));
    EXPECT_EQ(views().folderTree()->isExpanded(set1Index), open);
    EXPECT_EQ(checkedCount(), 1u);
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(CatalogueViewsTest, ListCheckBoxesBringTheShownFolderAndItsAncestorsInLine) {
    views().selectNode(data());
    const int a = listRow("a.txt");
    clickList(listBox(a));
    EXPECT_FALSE(catalogue().table().checked(0));
    EXPECT_EQ(list().checkState(a), Qt::Unchecked);
    EXPECT_EQ(tree().mark(data()), FolderMark::Partial);
    EXPECT_EQ(tree().mark(tree().root()), FolderMark::Partial);
    expectMarksAgree("after unchecking a file");
    // Checking the last unchecked file makes the folder Checked again.
    clickList(listBox(a));
    EXPECT_EQ(tree().mark(data()), FolderMark::Checked);
    EXPECT_EQ(tree().mark(tree().root()), FolderMark::Checked);

    // A subfolder with some files checked shows the grey box; its box checks all below it.
    views().selectNode(sub());
    clickList(listBox(listRow("c.txt")));
    EXPECT_EQ(tree().mark(sub()), FolderMark::Partial);
    views().selectNode(data());
    const int subRow = listRow("Sub");
    EXPECT_EQ(checkImageOf(list().index(subRow, 0)), CheckPartial);
    clickList(listBox(subRow));
    EXPECT_TRUE(catalogue().table().checked(2));
    EXPECT_EQ(tree().mark(sub()), FolderMark::Checked);
    EXPECT_EQ(tree().mark(data()), FolderMark::Checked);

    // Every row unchecked: the folder and everything below it is Unchecked.
    for (const char* name : {"Sub", "Empty", "a.txt", "B.txt"}) clickList(listBox(listRow(QLatin1String(name))));
    EXPECT_EQ(tree().mark(data()), FolderMark::Unchecked);
    EXPECT_EQ(tree().mark(node({u"BKF", u"BACKUP SET 1(Daily)", u"Data", u"Empty"})), FolderMark::Unchecked);
    EXPECT_EQ(checkedCount(), 2u);
    expectMarksAgree("after unchecking every row");

    // The parent-folder row's box and space on it change nothing.
    const std::size_t before = checkedCount();
    clickList(listBox(0));
    views().folderList()->setCurrentIndex(list().index(0, 0));
    views().folderList()->setFocus();
    QTest::keyClick(views().folderList(), Qt::Key_Space);
    EXPECT_EQ(checkedCount(), before);
    EXPECT_EQ(list().text(0, 0), QStringLiteral(".."));
    // Space on a file row acts like its box.
    views().folderList()->setCurrentIndex(list().index(listRow("B.txt"), 0));
    QTest::keyClick(views().folderList(), Qt::Key_Space);
    EXPECT_TRUE(catalogue().table().checked(1));
    EXPECT_EQ(tree().mark(data()), FolderMark::Partial);
    expectMarksAgree("after space in the list");
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(CatalogueViewsTest, HeadingClicksSortAsCaseInsensitiveTextAndKeepTheParentRowFirst) {
    // A folder with sizes and dates that sort differently as text and as numbers.
    catalogue().clear();
    add(u"BKF\\S\\D\\x1.txt", 100);
    add(u"BKF\\S\\D\\X2.txt", 20);
    add(u"BKF\\S\\D\\a3.txt", 3);
    add(u"BKF\\S\\D\\Sub\\y.txt", 1);
    catalogue().markAllAfterLoad();
    view().reloadCatalogue();
    views().selectNode(node({u"BKF", u"S", u"D"}));
    ASSERT_EQ(listNames(), (QStringList{"..", "Sub", "x1.txt", "X2.txt", "a3.txt"}));
    QHeaderView* heading = views().folderList()->header();
    const auto clickHeading = [&](int column) {
        QTest::mouseClick(heading->viewport(), Qt::LeftButton, {},
                          QPoint(heading->sectionViewportPosition(column) + 10, heading->height() / 2));
    };

    clickHeading(0);
    EXPECT_EQ(listNames(), (QStringList{"..", "a3.txt", "Sub", "x1.txt", "X2.txt"}));
    EXPECT_EQ(views().sortColumn(), 0);
    EXPECT_TRUE(heading->isSortIndicatorShown());
    EXPECT_EQ(heading->sortIndicatorOrder(), Qt::AscendingOrder);
    clickHeading(0);
    EXPECT_EQ(listNames(), (QStringList{"..", "X2.txt", "x1.txt", "Sub", "a3.txt"})) << "reversed, parent row on top";
    EXPECT_EQ(heading->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeading(2);  // "File Size" as text: "" < "100" < "20" < "3"
    EXPECT_EQ(listNames(), (QStringList{"..", "Sub", "x1.txt", "X2.txt", "a3.txt"}));
    EXPECT_EQ(heading->sortIndicatorSection(), 2);
    EXPECT_EQ(heading->sortIndicatorOrder(), Qt::AscendingOrder) << "a new column starts ascending";

    // Dates sort by month first: 100 days * 40 after March 2008 is in 2019, 20 * 40 in 2010.
    clickHeading(3);
    QStringList dates = listColumn(3).mid(1);
    QStringList sorted = dates;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& x, const QString& y) { return QString::compare(x, y, Qt::CaseInsensitive) < 0; });
    EXPECT_EQ(dates, sorted);
    EXPECT_EQ(list().text(0, 0), QStringLiteral(".."));

    // Showing another folder keeps the sort state but lists in the folder's own order.
    views().selectNode(node({u"BKF", u"S", u"D", u"Sub"}));
    views().selectNode(node({u"BKF", u"S", u"D"}));
    EXPECT_EQ(listNames(), (QStringList{"..", "Sub", "x1.txt", "X2.txt", "a3.txt"}));
    EXPECT_EQ(views().sortColumn(), 3);
    // The checks still reach the right entries after a sort.
    clickHeading(0);
    clickList(listBox(listRow("a3.txt")));
    EXPECT_FALSE(catalogue().table().checked(2));
    EXPECT_TRUE(catalogue().table().checked(0));
}

TEST_F(CatalogueViewsTest, EnterDoubleClickAndTabNavigateBetweenFoldersAndViews) {
    views().selectNode(data());
    FolderListView* listView = views().folderList();
    listView->setFocus();
    listView->setCurrentIndex(list().index(listRow("Sub"), 0));
    QTest::keyClick(listView, Qt::Key_Return);
    EXPECT_EQ(views().selectedNode(), sub());
    EXPECT_EQ(listView->currentIndex().row(), 0) << "the first row gets the selection mark";
    EXPECT_TRUE(listView->hasFocus());
    QTest::keyClick(listView, Qt::Key_Enter);  // on ".."
    EXPECT_EQ(views().selectedNode(), data());
    listView->setCurrentIndex(list().index(listRow("a.txt"), 0));
    QTest::keyClick(listView, Qt::Key_Return);
    EXPECT_EQ(views().selectedNode(), data()) << "Enter on a file row does nothing";

    QTest::mouseDClick(listView->viewport(), Qt::LeftButton, {}, listText(listRow("Empty")));
    EXPECT_EQ(views().selectedNode(), node({u"BKF", u"BACKUP SET 1(Daily)", u"Data", u"Empty"}));
    EXPECT_EQ(listNames(), QStringList{".."});
    QTest::mouseDClick(listView->viewport(), Qt::LeftButton, {}, listText(0));
    EXPECT_EQ(views().selectedNode(), data());

    // Going up from a collapsed branch selects a node the tree shows.
    views().selectNode(sub());
    EXPECT_TRUE(views().folderTree()->isExpanded(views().treeModel().indexOf(data())));

    QTest::keyClick(listView, Qt::Key_Tab);
    EXPECT_TRUE(views().folderTree()->hasFocus());
    QTest::keyClick(views().folderTree(), Qt::Key_Tab);
    EXPECT_TRUE(listView->hasFocus());
    // The arrow keys in the tree move the selection, and the list follows.
    views().folderTree()->setFocus();
    QTest::keyClick(views().folderTree(), Qt::Key_Up);
    EXPECT_EQ(views().selectedNode(), data());
    EXPECT_EQ(list().shownFolder(), data());
    EXPECT_EQ(checkedCount(), 6u);
}

TEST_F(CatalogueViewsTest, WhileBusyCheckBoxesRefuseWithTheirMessages) {
    view().document().setActivity(Activity::Scanning);
    ASSERT_TRUE(views().busy());
    const QModelIndex dataIndex = treeIndex(data());
    const bool expanded = views().folderTree()->isExpanded(dataIndex);

    clickTree(treeBox(data()));
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0], (ShownMessage{kBusySelectText, MessageStyle{Buttons::Ok, Icon::Question}}));
    EXPECT_EQ(views().folderTree()->isExpanded(dataIndex), !expanded) << "the node opens or closes instead";
    views().selectNode(data());
    views().folderTree()->setFocus();
    QTest::keyClick(views().folderTree(), Qt::Key_Space);
    EXPECT_EQ(ui_.messages.size(), 2u);

    clickList(listBox(listRow("a.txt")));
    EXPECT_EQ(ui_.messages.size(), 3u);
    clickList(listBox(0));
    EXPECT_EQ(ui_.messages.size(), 3u) << "the parent-folder row is left alone without a message";
    clickList(listText(listRow("a.txt")), Qt::RightButton);
    ASSERT_EQ(ui_.messages.size(), 4u);
    EXPECT_EQ(ui_.messages[3].text, kBusyListMenuText);
    EXPECT_TRUE(ui_.menus.empty()) << "no menu while busy";
    clickPane(paneBox(0));
    EXPECT_EQ(ui_.messages.size(), 5u);
    views().cataloguePane()->setCurrentIndex(views().paneModel().index(2, 0));
    QTest::keyClick(views().cataloguePane(), Qt::Key_Space);
    EXPECT_EQ(ui_.messages.size(), 6u);

    EXPECT_EQ(checkedCount(), 6u) << "no mark changed";
    // Navigation still works.
    clickTree(treeLabel(sub()));
    EXPECT_EQ(list().shownFolder(), sub());
}

TEST_F(CatalogueViewsTest, ThePaneTogglesOneEntryInRedAndTheFoldersFollow) {
    const QModelIndex first = views().paneModel().index(0, 0);
    EXPECT_EQ(first.data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(first.data(Qt::BackgroundRole).value<QColor>(), QColor(248, 233, 243));
    EXPECT_EQ(views().paneModel().index(0, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));

    views().selectNode(data());
    clickPane(paneBox(0));
    EXPECT_FALSE(catalogue().table().checked(0));
    EXPECT_FALSE(first.data(Qt::ForegroundRole).isValid()) << "default colours when unchecked";
    EXPECT_EQ(list().checkState(listRow("a.txt")), Qt::Unchecked) << "the shown folder follows at once";
    EXPECT_EQ(tree().mark(data()), FolderMark::Partial);
    expectMarksAgree("after a pane click");
    // A click beside the box only selects.
    clickPane(views().cataloguePane()->visualRect(views().paneModel().index(1, 1)).center());
    EXPECT_TRUE(catalogue().table().checked(1));
    EXPECT_EQ(views().cataloguePane()->currentIndex().row(), 1);
    EXPECT_TRUE(ui_.menus.empty());
    // The right button on the box toggles too, and so does Space on the current row.
    clickPane(paneBox(0), Qt::RightButton);
    EXPECT_TRUE(catalogue().table().checked(0));
    EXPECT_TRUE(ui_.menus.empty());
    views().cataloguePane()->setFocus();
    QTest::keyClick(views().cataloguePane(), Qt::Key_Space);
    EXPECT_FALSE(catalogue().table().checked(1));
    EXPECT_EQ(tree().mark(data()), FolderMark::Partial);
    expectMarksAgree("after a right click on the box");
}

TEST_F(CatalogueViewsTest, PopupMenusOfferTheirCommandsAndRunThem) {
    QSignalSpy saveAll(&views(), &CatalogueViews::saveFilesRequested);
    QSignalSpy saveRow(&views(), &CatalogueViews::saveRowRequested);

    ui_.menuAnswers = {ID_TREE_SAVE_FILES};
    clickTree(treeLabel(data()), Qt::RightButton);
    ASSERT_EQ(ui_.menus.size(), 1u);
    EXPECT_EQ(ui_.menus[0],
              (QList<MenuItem>{
                  {ID_TREE_SAVE_FILES, "Save Files"}, {ID_TREE_RENAME_FOLDER, "Rename Folder"}, {0, QString()}}));
    EXPECT_EQ(views().selectedNode(), data()) << "the right button selects like the left";
    EXPECT_EQ(saveAll.count(), 1);

    clickList(listText(listRow("a.txt")), Qt::RightButton);  // closed without a choice
    ASSERT_EQ(ui_.menus.size(), 2u);
    EXPECT_EQ(ui_.menus[1],
              (QList<MenuItem>{{ID_LIST_OPEN_FILE, "Open"}, {ID_LIST_SAVE_FILE, "Save File"}, {0, QString()}}));
    EXPECT_EQ(saveAll.count(), 1);
    ui_.menuAnswers = {ID_LIST_SAVE_FILE};
    clickList(listText(listRow("a.txt")), Qt::RightButton);
    EXPECT_EQ(saveAll.count(), 2) << "the list's Save File saves the checked entries";

    ui_.menuAnswers = {ID_PANE_SAVE_FILE};
    const QModelIndex fifth = views().paneModel().index(4, 1);
    clickPane(views().cataloguePane()->visualRect(fifth).center(), Qt::RightButton);
    ASSERT_EQ(ui_.menus.size(), 4u);
    EXPECT_EQ(ui_.menus[3],
              (QList<MenuItem>{{ID_PANE_OPEN_FILE, "Open"}, {ID_PANE_SAVE_FILE, "Save File"}, {0, QString()}}));
    ASSERT_EQ(saveRow.count(), 1);
    EXPECT_EQ(saveRow[0][0].value<RowIndex>(), 4u);
    EXPECT_EQ(checkedCount(), 6u) << "menus change no mark";
}

TEST_F(CatalogueViewsTest, RenameFolderRelabelsTheNodeAndThePathsBelowIt) {
    QString typed = QStringLiteral("Old");
    ui_.onDialog = [&](QDialog& d) {
        auto* dialog = qobject_cast<RenameFolderDialog*>(&d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Rename folder"));
        EXPECT_TRUE(dialog->nameEdit()->text().isEmpty()) << "it opens empty";
        dialog->nameEdit()->setText(typed);
        dialog->accept();
    };
    const NodeId folder = data();  // found by its label, which is about to change
    const NodeId below = sub();
    views().selectNode(below);
    clickList(listBox(listRow("c.txt")));  // a mark to keep
    views().selectNode(node({u"BKF", u"BACKUP SET 1(Daily)"}));
    ui_.menuAnswers = {ID_TREE_RENAME_FOLDER};
    clickTree(treeLabel(folder), Qt::RightButton);

    EXPECT_EQ(tree().label(folder), u"Old");
    EXPECT_EQ(catalogue().table().path(2), u"BKF\\BACKUP SET 1(Daily)\\Old\\Sub\\c.txt");
    EXPECT_EQ(catalogue().table().path(4), u"BKF\\BACKUP SET 1(Daily)\\Other\\e.txt");
    EXPECT_EQ(views().treeModel().indexOf(folder).row(), 0) << "the node keeps its place";
    EXPECT_EQ(tree().mark(folder), FolderMark::Partial) << "and its marks";
    EXPECT_FALSE(catalogue().table().checked(2));
    EXPECT_EQ(views().paneModel().index(2, 0).data().toString(),
              QStringLiteral("BKF\\BACKUP SET 1(Daily)\\Old\\Sub\\c.txt"));
    views().selectNode(below);
    EXPECT_EQ(listNames(), (QStringList{"..", "c.txt", "d.txt"})) << "the files show under Old";

    // An empty name and Cancel change nothing; the root and names with a backslash are refused.
    typed.clear();
    ui_.menuAnswers = {ID_TREE_RENAME_FOLDER};
    clickTree(treeLabel(folder), Qt::RightButton);
    EXPECT_EQ(tree().label(folder), u"Old");
    ui_.onDialog = {};
    views().renameFolder(folder);
    EXPECT_EQ(tree().label(folder), u"Old");
    ui_.onDialog = [&](QDialog& d) {
        static_cast<RenameFolderDialog&>(d).nameEdit()->setText(typed);
        d.accept();
    };
    typed = QStringLiteral("X");
    views().renameFolder(tree().root());
    EXPECT_EQ(tree().label(tree().root()), u"BKF");
    typed = QStringLiteral("a\\b");
    views().renameFolder(folder);
    EXPECT_EQ(tree().label(folder), u"Old");
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_EQ(ui_.messages[0].text, kTopFolderRenameText);
    EXPECT_EQ(ui_.messages[1].text, kBackslashRenameText);
}

TEST_F(CatalogueViewsTest, FoldersFoundDuringAScanShowExpandedAndTheEndCollapsesAllButTheRoot) {
    view().document().clearCatalogue();
    EXPECT_EQ(views().treeModel().rowCount(), 0);
    add(u"BKF\\S\\A\\B\\one.txt", 1);
    view().catalogueAppended();
    add(u"BKF\\S\\A\\C\\two.txt", 2);
    add(u"BKF\\T\\three.txt", 3);
    view().catalogueAppended();
    for (NodeId n = 0; n < tree().nodeCount(); ++n)
        EXPECT_TRUE(views().folderTree()->isExpanded(views().treeModel().indexOf(n))) << n;
    EXPECT_EQ(views().paneModel().rowCount(), 3);

    views().selectNode(node({u"BKF", u"S", u"A"}));
    ASSERT_GT(list().rowCount(), 0);
    catalogue().markAllAfterLoad();
    view().reloadCatalogue();
    EXPECT_EQ(list().rowCount(), 0) << "the list waits for a node to be selected";
    for (NodeId n = 0; n < tree().nodeCount(); ++n)
        EXPECT_EQ(views().folderTree()->isExpanded(views().treeModel().indexOf(n)), n == tree().root()) << n;
}

// Random clicks in all three views never leave a folder's box telling
// something other than its files' marks.
TEST_F(CatalogueViewsTest, RandomClicksEverywhereKeepEveryFolderMarkTrue) {
    std::mt19937 random(20261208);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 300; ++step) {
        switch (pick(4)) {
            case 0: {
                const auto n = static_cast<NodeId>(pick(static_cast<int>(tree().nodeCount())));
                clickTree(treeBox(n));
                break;
            }
            case 1: {
                const auto n = static_cast<NodeId>(pick(static_cast<int>(tree().nodeCount())));
                views().selectNode(n);
                if (list().rowCount() > 0) clickList(listBox(pick(list().rowCount())));
                break;
            }
            case 2:
                clickPane(paneBox(static_cast<RowIndex>(pick(static_cast<int>(catalogue().table().rowCount())))));
                break;
            default:
                if (list().rowCount() > 0) {
                    views().folderList()->setCurrentIndex(list().index(pick(list().rowCount()), 0));
                    QTest::keyClick(views().folderList(), Qt::Key_Space);
                }
                break;
        }
        expectMarksAgree("random clicks");
        if (HasFailure()) {
            ADD_FAILURE() << "at step " << step;
            return;
        }
    }
    EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace bkf::gui
