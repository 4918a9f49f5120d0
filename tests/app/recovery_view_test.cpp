// The main view: its pages, the geometry of its controls, and the models
// over the catalogue it owns.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTreeView>

#include "app/app_ids.h"
#include "tests/app/qt_printers.h"
#include "tests/app/recording_ui_services.h"
#include "widgets/ax_image.h"
#include "widgets/catalogue_models.h"
#include "widgets/document.h"
#include "widgets/hover_button.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

QWidget* control(RecoveryView& view, const char* name) {
    auto* w = view.findChild<QWidget*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QStringList sorted(QStringList names) {
    names.sort();
    return names;
}

QStringList visibleControls(RecoveryView& view) {
    QStringList names;
    for (QWidget* w : view.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(&view)) names << w->objectName();
    names.sort();
    return names;
}

void addEntry(bkf::Catalogue& catalogue, std::u16string_view path, std::int64_t size) {
    catalogue.appendEntry(path, size, 4096, 0, 0, 0);
    catalogue.addFolderPath(path);
}

struct Placement {
    const char* name;
    QRect rect;
};

struct LayoutCase {
    const char* what;
    QSize size;
    std::vector<Placement> placements;
};

TEST(RecoveryView, ControlsTakeTheirPlacesOnEveryResizeInTheWideAndTheNarrowLayout) {
    const std::vector<LayoutCase> cases = {
        {"1000 x 600: a = 350, m = 300, h = 500",
         {1000, 600},
         {{"prompt", {200, 258, 550, 24}},
          {"pathEdit", {200, 288, 550, 24}},
          {"browse", {755, 288, 60, 24}},
          {"next", {898, 551, 92, 39}},
          {"folderTree", {10, 20, 290, 330}},
          {"folderList", {300, 20, 680, 330}},
          {"captionBand", {10, 350, 970, 20}},
          {"cataloguePane", {10, 370, 970, 180}},
          {"searchingText", {20, 556, 280, 20}},
          {"progressText", {720, 556, 280, 20}},
          {"foundFiles", {720, 581, 280, 15}},
          {"progressBar", {20, 576, 570, 15}},
          {"stop", {610, 559, 80, 39}},
          {"back", {806, 559, 77, 39}},
          {"save", {898, 559, 77, 39}}}},
        {"602 wide is the narrowest wide layout (h = 301)",
         {602, 500},
         {{"prompt", {1, 208, 550, 24}}, {"pathEdit", {1, 238, 550, 24}}, {"browse", {556, 238, 60, 24}}}},
        {"601 wide has h = 300: the left-edge layout",
         {601, 500},
         {{"prompt", {20, 208, 511, 24}}, {"pathEdit", {20, 238, 511, 24}}, {"browse", {536, 238, 45, 24}}}},
        {"560 x 700",
         {560, 700},
         {{"prompt", {20, 308, 470, 24}},
          {"pathEdit", {20, 338, 470, 24}},
          {"browse", {495, 338, 45, 24}},
          {"next", {458, 651, 92, 39}},
          {"folderTree", {10, 20, 290, 380}},
          {"folderList", {300, 20, 240, 380}},
          {"cataloguePane", {10, 420, 530, 230}}}},
    };
    RecordingUiServices ui;
    Document document;
    RecoveryView view(document, ui);
    view.show();  // a hidden widget gets its resize events only when shown
    for (const LayoutCase& c : cases) {
        // Both pages: hidden controls are moved as well.
        for (int page : {1, 2}) {
            if (page == 2)
                view.document().open();
            else
                view.document().close();
            view.resize(c.size);
            for (const Placement& p : c.placements)
                EXPECT_EQ(control(view, p.name)->geometry(), p.rect) << c.what << ", page " << page << ", " << p.name;
            view.resize(c.size + QSize(37, 23));  // and back again: every resize re-places
        }
    }
}

TEST(RecoveryView, PagesSwitchBothWaysAndBackEmptiesTheResults) {
    RecordingUiServices ui;
    Document document;
    RecoveryView view(document, ui);
    view.resize(1000, 600);
    view.show();
    QSignalSpy pages(&view, &RecoveryView::pageChanged);
    const QStringList selectionPage = {"pathEdit", "browse", "next", "prompt"};
    EXPECT_EQ(view.pageNumber(), 1);
    EXPECT_EQ(visibleControls(view), sorted(selectionPage));

    view.setBackupFilePath(QStringLiteral("/data/backup.bkf"));
    view.document().open();
    EXPECT_EQ(view.pageNumber(), 2);
    EXPECT_EQ(visibleControls(view),
              sorted(QStringList{"cataloguePane", "folderTree", "stop", "progressBar", "foundFiles", "progressText",
                                 "searchingText", "folderList", "captionBand"}));
    EXPECT_TRUE(view.findChild<AxImage*>(QStringLiteral("captionBand"))->hasPicture());

    // What a scan leaves behind.
    addEntry(view.catalogue(), u"BKF\\Set\\docs\\a.txt", 10);
    addEntry(view.catalogue(), u"BKF\\Set\\b.bin", 0);
    view.catalogueAppended();
    view.setProgress(140);
    view.setProgressText(QStringLiteral("Progress : 5 \\ 10"));
    view.setFoundFilesText(QStringLiteral("File(s) Found : 2"));
    view.setSearchingText(QString());
    view.showStopButton(false);
    view.showBackButton(true);
    view.showSaveButton(true);
    auto* pane = view.findChild<QTableView*>(QStringLiteral("cataloguePane"));
    auto* tree = view.findChild<QTreeView*>(QStringLiteral("folderTree"));
    auto* bar = view.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    EXPECT_EQ(pane->model()->rowCount(), 2);
    EXPECT_EQ(tree->model()->rowCount(), 1);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_TRUE(control(view, "back")->isVisible());
    EXPECT_FALSE(control(view, "searchingText")->isVisible());

    // Back runs only from the results page.
    static_cast<HoverButton*>(control(view, "back"))->click();
    EXPECT_EQ(view.pageNumber(), 1);
    EXPECT_EQ(visibleControls(view), sorted(selectionPage));
    EXPECT_EQ(view.catalogue().table().rowCount(), 0u);
    EXPECT_EQ(pane->model()->rowCount(), 0);
    EXPECT_EQ(tree->model()->rowCount(), 0);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(static_cast<QLabel*>(control(view, "foundFiles"))->text().isEmpty());
    EXPECT_FALSE(view.findChild<AxImage*>(QStringLiteral("captionBand"))->hasPicture());
    EXPECT_EQ(view.backupFilePath(), QStringLiteral("/data/backup.bkf")) << "the path field keeps its text";
    view.onBack();
    EXPECT_EQ(view.pageNumber(), 1);
    EXPECT_EQ(pages.count(), 2);
}

TEST(RecoveryView, LooksOfTheFileSelectionPage) {
    RecordingUiServices ui;
    Document document;
    RecoveryView view(document, ui);
    view.resize(800, 500);
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(3, 3)), QColor(255, 255, 153));

    auto* prompt = static_cast<QLabel*>(control(view, "prompt"));
    EXPECT_EQ(prompt->text(), QStringLiteral("Please select the file to repair"));
    EXPECT_EQ(prompt->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(prompt->font().pixelSize(), 16);
    EXPECT_EQ(control(view, "pathEdit")->font().pixelSize(), 16);
    EXPECT_EQ(control(view, "progressText")->font().pixelSize(), 16);

    for (const char* name : {"next", "back", "stop", "save"}) {
        auto* button = static_cast<HoverButton*>(control(view, name));
        EXPECT_EQ(button->toolTip(), QStringLiteral("Add Files to repair")) << name;
        EXPECT_FALSE(button->showsHoverImage());
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(button, &enter);
        EXPECT_TRUE(button->showsHoverImage()) << name;
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        EXPECT_FALSE(button->showsHoverImage()) << name;
    }
    // The two pictures really differ.
    auto* next = static_cast<HoverButton*>(control(view, "next"));
    const QImage normal = next->grab().toImage();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(next, &enter);
    EXPECT_NE(next->grab().toImage(), normal);
}

TEST(RecoveryView, ScreenReadersGetEachControlsDescriptionString) {
    RecordingUiServices ui;
    Document document;
    RecoveryView view(document, ui);
    const struct {
        const char* name;
        const char* description;
    } cases[] = {
        {"pathEdit", "file browsw"},  {"browse", "browse file"}, {"next", "button next"},
        {"back", "back button"},      {"stop", "stop button"},   {"foundFiles", "status"},
        {"prompt", "static caption"}, {"progressText", "pro"},   {"searchingText", "pro"},
        {"folderList", "list"},       {"save", "save btn"},      {"captionBand", "caption"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(control(view, c.name)->accessibleDescription(), QLatin1String(c.description)) << c.name;
    EXPECT_NE(control(view, "progressBar")->accessibleDescription(), QStringLiteral("stop button"))
        << "the progress bar shares Stop's id, not its description";
}

TEST(RecoveryView, BrowseFillsThePathFieldAndCancelKeepsIt) {
    RecordingUiServices ui;
    Document document;
    RecoveryView view(document, ui);
    QSignalSpy recover(&view, &RecoveryView::recoverRequested);
    view.setBackupFilePath(QStringLiteral("old.bkf"));
    ui.fileAnswers = {QStringLiteral("/backups/new.bkf"), QString()};
    static_cast<QAbstractButton*>(control(view, "browse"))->click();
    EXPECT_EQ(view.backupFilePath(), QStringLiteral("/backups/new.bkf"));
    static_cast<QAbstractButton*>(control(view, "browse"))->click();
    EXPECT_EQ(view.backupFilePath(), QStringLiteral("/backups/new.bkf"));
    EXPECT_EQ(ui.fileCaptions, (QStringList{"Select BKF file for recovery...", "Select BKF file for recovery..."}));
    EXPECT_EQ(ui.fileFilters[0], QStringLiteral("Backup Files(*.bkf);;All Files(*.*)"));
    EXPECT_EQ(recover.count(), 0) << "choosing a file does not start anything";
}

TEST(RecoveryView, AFileDroppedOnTheFirstPageFillsThePathField) {
    RecordingUiServices ui;
    Document document;
    RecoveryView view(document, ui);
    QSignalSpy recover(&view, &RecoveryView::recoverRequested);
    const auto drop = [&view](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &dropped);
        return dropped.isAccepted();
    };
    const QString file = QDir::toNativeSeparators(QStringLiteral("/backups/Mon day.bkf"));
    EXPECT_TRUE(drop({QUrl::fromLocalFile(QStringLiteral("/backups/Mon day.bkf"))}));
    EXPECT_EQ(view.backupFilePath(), file);
    EXPECT_EQ(recover.count(), 0) << "a drop only fills the field";
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.com/x.bkf"))})) << "not a local file";
    EXPECT_FALSE(drop({}));
    EXPECT_EQ(view.backupFilePath(), file);
    view.document().open();
    EXPECT_FALSE(drop({QUrl::fromLocalFile(QStringLiteral("/other.bkf"))})) << "not on the results page";
    EXPECT_EQ(view.backupFilePath(), file);
}

TEST(CatalogueModels, FollowTheCatalogueWhileItGrowsInBatchesAndWhenCleared) {
    bkf::Catalogue catalogue;
    CatalogueTableModel table(catalogue);
    CatalogueTreeModel tree(catalogue);
    QAbstractItemModelTester tableTester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester treeTester(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QTreeView treeView;  // a view expanding nodes asks the model what a real one asks
    treeView.setModel(&tree);

    EXPECT_EQ(table.columnCount(), 10);
    QStringList headings;
    for (int c = 0; c < 10; ++c) headings << table.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(headings, (QStringList{"File Name", "File Type", "File Size", "", "", "", "", "", "", ""}));

    // First batch: a set with a folder; second batch: a new set, a deeper
    // folder under the first one, and a folder block without files.
    addEntry(catalogue, u"BKF\\Set 1\\docs\\a.txt", 12);
    addEntry(catalogue, u"BKF\\Set 1\\b.txt", 0);
    table.syncRows();
    tree.syncNodes();
    treeView.expandAll();
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.index(0, 0).data().toString(), QStringLiteral("BKF\\Set 1\\docs\\a.txt"));
    EXPECT_EQ(table.index(0, 2).data().toString(), QStringLiteral("12"));
    EXPECT_EQ(table.index(1, 2).data().toString(), QStringLiteral("0"));

    addEntry(catalogue, u"BKF\\Set 2\\c.txt", 1);
    addEntry(catalogue, u"BKF\\Set 1\\docs\\old\\d.txt", 5);
    catalogue.addFolderPath(u"BKF\\Set 1\\empty\\");
    table.syncRows();
    tree.syncNodes();
    treeView.expandAll();
    EXPECT_EQ(table.rowCount(), 4);

    // BKF > (Set 1 > (docs > old, empty), Set 2)
    ASSERT_EQ(tree.rowCount(), 1);
    const QModelIndex root = tree.index(0, 0);
    EXPECT_EQ(root.data().toString(), QStringLiteral("BKF"));
    ASSERT_EQ(tree.rowCount(root), 2);
    const QModelIndex set1 = tree.index(0, 0, root);
    EXPECT_EQ(set1.data().toString(), QStringLiteral("Set 1"));
    EXPECT_EQ(tree.index(1, 0, root).data().toString(), QStringLiteral("Set 2"));
    ASSERT_EQ(tree.rowCount(set1), 2);
    const QModelIndex docs = tree.index(0, 0, set1);
    EXPECT_EQ(tree.index(1, 0, set1).data().toString(), QStringLiteral("empty"));
    ASSERT_EQ(tree.rowCount(docs), 1);
    const QModelIndex old = tree.index(0, 0, docs);
    EXPECT_EQ(old.data().toString(), QStringLiteral("old"));
    EXPECT_EQ(tree.parent(old), docs);
    EXPECT_EQ(tree.parent(tree.parent(docs)), root);
    EXPECT_EQ(tree.indexOf(tree.nodeOf(old)), old);

    catalogue.markAllAfterLoad();
    EXPECT_EQ(root.data(Qt::CheckStateRole).toInt(), Qt::Checked);

    catalogue.clear();
    table.syncRows();
    tree.syncNodes();
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(tree.rowCount(), 0);
    addEntry(catalogue, u"BKF\\S\\x.txt", 1);
    table.syncRows();
    tree.syncNodes();
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(tree.rowCount(tree.index(0, 0)), 1);
}

}  // namespace
}  // namespace bkf::gui
