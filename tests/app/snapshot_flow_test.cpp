// Recovery snapshots in the window under the offscreen platform: save the
// result of a recovery, go back, load it again; the name rules, the replace
// question, write failures, files that are not snapshots, a moved backup file,
// an empty snapshot and Stop during a load.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "app/app_ids.h"
#include "app/main_frame.h"
#include "app/recovery_flow.h"
#include "app/save_flow.h"
#include "app/snapshot_flow.h"
#include "tests/app/qt_printers.h"
#include "tests/app/window_fixture.h"
#include "widgets/catalogue_models.h"
#include "widgets/document.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

class SnapshotFlowTest : public WindowTest {
protected:
    SnapshotFlow& flow() { return frame_->snapshotFlow(); }

    QString writeBackup(const QString& name, int files) {
        return WindowTest::writeBackup(name, files, [](int i) { return 1000 + static_cast<std::uint64_t>(i); });
    }
    // A snapshot file written directly: the lines as given, UTF-16LE, CR LF.
    QString writeSnapshotText(const QString& name, const QStringList& lines) {
        QString text;
        for (const QString& line : lines) text += line + QStringLiteral("\r\n");
        QFile out(file(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        return out.fileName();
    }

    void saveFromMenu(const QString& answer) {
        ui_.fileAnswers.push_back(answer);
        frame_->onSaveSnapshot();
        waitWhile([this] { return flow().busy(); });
    }
    void load(const QStringList& answers) {
        for (const QString& a : answers) ui_.fileAnswers.push_back(a);
        frame_->onLoadSnapshot();
        waitWhile([this] { return flow().busy(); });
    }
    // A catalogue on the results page, from a scan of `files` files.
    QString recoverSome(int files) {
        const QString backup = writeBackup(QStringLiteral("daily.bkf"), files);
        recover(backup);
        EXPECT_EQ(view().catalogue().table().rowCount(), static_cast<std::size_t>(files));
        return backup;
    }
};

using Rows = std::vector<std::vector<std::u16string>>;
Rows cellsOf(const CatalogueTable& table) {
    Rows rows;
    for (RowIndex r = 0; r < table.rowCount(); ++r) {
        std::vector<std::u16string> cells;
        for (int c = 0; c < kCatalogueColumnCount; ++c) cells.push_back(table.cell(r, static_cast<CatalogueColumn>(c)));
        rows.push_back(std::move(cells));
    }
    return rows;
}

TEST_F(SnapshotFlowTest, ASavedSnapshotLoadsBackTheSameCatalogueAllChecked) {
    const QString backup = recoverSome(12);
    CatalogueTable& table = view().catalogue().table();
    table.setChecked(3, false);
    table.setChecked(7, false);
    const Rows before = cellsOf(table);

    saveFromMenu(file(QStringLiteral("run")));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.fileCaptions, QStringList{QString()});
    EXPECT_EQ(ui_.fileFilters, QStringList{QStringLiteral("Tarvik SnapShot File(.ORMBKF) (*.ORMBKF)")});
    EXPECT_TRUE(view().isEnabled()) << "the view takes input again after the write";
    ASSERT_TRUE(QFileInfo::exists(file(QStringLiteral("run.ORMBKF"))));
    EXPECT_EQ(table.checkedCount(), 10u) << "a save changes nothing";

    view().onBack();
    view().setBackupFilePath(QString());
    ASSERT_EQ(view().pageNumber(), 1);
    ui_.fileCaptions.clear();
    ui_.fileFilters.clear();
    load({file(QStringLiteral("run.ORMBKF"))});
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(ui_.fileCaptions, QStringList{QStringLiteral("Please select the Saved recovery information file ...")});
    EXPECT_EQ(ui_.fileFilters, QStringList{QStringLiteral("Tarvik SnapShot File(*.ORMBKF);;All Files(*.*)")});
    EXPECT_EQ(view().pageNumber(), 2);
    EXPECT_EQ(cellsOf(view().catalogue().table()), before);
    EXPECT_EQ(view().catalogue().table().checkedCount(), 12u);
    EXPECT_EQ(view().catalogueModel().rowCount(), 12);
    const auto& tree = view().catalogue().tree();
    EXPECT_EQ(tree.mark(tree.root()), FolderMark::Checked);
    EXPECT_TRUE(tree.expanded(tree.root()));
    EXPECT_EQ(view().catalogue().backupFilePath(), backup.toStdU16String());
    EXPECT_TRUE(view().backupFilePath().isEmpty()) << "the field changes only for a moved backup";
    EXPECT_TRUE(visible("back")) << "Back";
    EXPECT_TRUE(visible("save")) << "Save";
    EXPECT_FALSE(visible("stop")) << "Stop";
    EXPECT_FALSE(visible("progressBar"));
    EXPECT_FALSE(view().document().filling());
}

TEST_F(SnapshotFlowTest, TheNameGetsTheExtensionAndAnExistingFileIsReplacedOnlyOnYes) {
    recoverSome(2);
    saveFromMenu(file(QStringLiteral("report.ormbkf")));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("report.ormbkf.ORMBKF")))) << "the test is case-sensitive";
    saveFromMenu(file(QStringLiteral("x.ORMBKF.keep")));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("x.ORMBKF.keep")))) << "\".ORMBKF\" anywhere is enough";
    EXPECT_TRUE(ui_.messages.empty());

    const QString existing = file(QStringLiteral("old.ORMBKF"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    // No: the dialog comes again; a Cancel there ends the save with nothing written.
    ui_.answers = {Answer::No};
    ui_.fileCaptions.clear();
    ui_.fileAnswers.push_back(existing);
    saveFromMenu(QString());
    const ShownMessage replace{QStringLiteral("File already exists.\r\nDo you want to replace it?"),
                               MessageStyle{Buttons::YesNo, Icon::Information}};
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{replace});
    EXPECT_EQ(ui_.fileCaptions.size(), 2);
    QFile kept(existing);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
    kept.close();

    // No, then another name: that one is written.
    ui_.answers = {Answer::No};
    ui_.fileAnswers.push_back(existing);
    saveFromMenu(file(QStringLiteral("other")));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("other.ORMBKF"))));

    // Yes: replaced by a snapshot.
    ui_.messages.clear();
    ui_.answers = {Answer::Yes};
    saveFromMenu(existing);
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{replace});
    EXPECT_TRUE(looksLikeSnapshot(existing.toStdU16String()));
}

TEST_F(SnapshotFlowTest, AWriteThatFailsIsReportedWithTheReasonFromMenuAndExit) {
    recoverSome(2);
    const QString target = file(QStringLiteral("no such folder/run"));
    saveFromMenu(target);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].style, (MessageStyle{Buttons::Ok, Icon::Information}));
    EXPECT_TRUE(ui_.messages[0].text.startsWith(kSnapshotWriteFailedText));
    EXPECT_GT(ui_.messages[0].text.size(), kSnapshotWriteFailedText.size()) << "the system's reason follows";
    EXPECT_TRUE(view().isEnabled());

    // The exit sequence writes on this thread: Yes to exit, Yes to the snapshot.
    ui_.messages.clear();
    ui_.answers = {Answer::Yes, Answer::Yes};
    ui_.fileAnswers = {target, file(QStringLiteral("at exit"))};
    frame_->close();
    ASSERT_EQ(ui_.messages.size(), 3u);
    EXPECT_TRUE(ui_.messages[2].text.startsWith(kSnapshotWriteFailedText));
    frame_->show();
    ui_.messages.clear();
    ui_.answers = {Answer::Yes, Answer::Yes};
    frame_->close();
    EXPECT_EQ(ui_.messages.size(), 2u) << "no failure this time";
    EXPECT_TRUE(looksLikeSnapshot(file(QStringLiteral("at exit.ORMBKF")).toStdU16String()));
}

TEST_F(SnapshotFlowTest, FilesThatAreNotSnapshotsGiveTheOpenMessageAndStayOnTheFirstPage) {
    const ShownMessage problem{
        QStringLiteral("Some problem occoured while opening file, make sure that file is not shared"),
        MessageStyle{Buttons::Ok, Icon::Information}};
    // Cancel: nothing at all.
    load({QString()});
    EXPECT_TRUE(ui_.messages.empty());

    load({file(QStringLiteral("missing.ORMBKF"))});
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{problem});

    ui_.messages.clear();
    QFile text(file(QStringLiteral("notes.ORMBKF")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("just some text\r\nand more\r\n");
    text.close();
    load({text.fileName()});
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{problem});

    ui_.messages.clear();
    load({writeSnapshotText(QStringLiteral("half.ORMBKF"), {QStringLiteral("<no end"), QStringLiteral("<1>")})});
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{problem});
    EXPECT_EQ(view().pageNumber(), 1);
    EXPECT_EQ(view().catalogue().table().rowCount(), 0u);
    EXPECT_EQ(ui_.fileCaptions.size(), 4) << "no second dialog";
}

TEST_F(SnapshotFlowTest, AMovedBackupFileIsAskedForAndItsPathUsed) {
    const QString row = QStringLiteral("<BKF\\BACKUP SET 1(Daily)\\Data\\a.txt><5><1000><1><2><3><4><5><6>");
    const QString snapshot = writeSnapshotText(
        QStringLiteral("moved.ORMBKF"),
        {QStringLiteral("<") + file(QStringLiteral("gone.bkf")) + QStringLiteral(">"), QStringLiteral("<1>"), row});
    // Cancel on "Select BKF file ...": the load ends on the first page.
    load({snapshot, QString()});
    EXPECT_EQ(ui_.fileCaptions, (QStringList{kSnapshotLoadCaption, QStringLiteral("Select BKF file ...")}));
    EXPECT_EQ(ui_.fileFilters.back(), QStringLiteral("Backup Files(*.bkf);;All Files(*.*)"));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(view().pageNumber(), 1);
    EXPECT_EQ(view().catalogue().table().rowCount(), 0u);

    const QString moved = writeBackup(QStringLiteral("moved here.bkf"), 1);
    load({snapshot, moved});
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(view().pageNumber(), 2);
    EXPECT_EQ(view().catalogue().backupFilePath(), moved.toStdU16String());
    EXPECT_EQ(view().backupFilePath(), moved);
    ASSERT_EQ(view().catalogue().table().rowCount(), 1u);
    EXPECT_EQ(view().catalogue().table().cell(0, CatalogueColumn::CreatedHigh), u"6");

    // The next snapshot holds the new path.
    saveFromMenu(file(QStringLiteral("again")));
    view().onBack();
    const std::size_t captions = static_cast<std::size_t>(ui_.fileCaptions.size());
    load({file(QStringLiteral("again.ORMBKF"))});
    EXPECT_EQ(static_cast<std::size_t>(ui_.fileCaptions.size()), captions + 1) << "no question this time";
    EXPECT_EQ(view().catalogue().backupFilePath(), moved.toStdU16String());
}

TEST_F(SnapshotFlowTest, ASnapshotWithoutRowsSaysNoDataAndReturnsToTheFirstPage) {
    const QString backup = writeBackup(QStringLiteral("b.bkf"), 1);
    const ShownMessage noData{QStringLiteral("No data found in backup file"),
                              MessageStyle{Buttons::Ok, Icon::Information}};
    load({writeSnapshotText(QStringLiteral("empty.ORMBKF"),
                            {QStringLiteral("<") + backup + QStringLiteral(">"), QStringLiteral("<0>")})});
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{noData});
    EXPECT_EQ(view().pageNumber(), 1);
    EXPECT_FALSE(visible("stop")) << "Stop";

    // A count that disagrees with the lines only scales the progress bar.
    ui_.messages.clear();
    load({writeSnapshotText(QStringLiteral("zero count.ORMBKF"),
                            {QStringLiteral("<") + backup + QStringLiteral(">"), QStringLiteral("<0>"),
                             QStringLiteral("<BKF\\BACKUP SET 1(A)\\x.txt><1><2><3><4><5><6><7><8>")})});
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(view().catalogue().table().rowCount(), 1u);

    // Without its count line a snapshot keeps its first row.
    view().onBack();
    load({writeSnapshotText(QStringLiteral("no count.ORMBKF"),
                            {QStringLiteral("<") + backup + QStringLiteral(">"),
                             QStringLiteral("<BKF\\BACKUP SET 1(A)\\x.txt><1><2><3><4><5><6><7><8>"),
                             QStringLiteral("<BKF\\BACKUP SET 1(A)\\y.txt><1><2><3><4><5><6><7><8>")})});
    EXPECT_EQ(view().catalogue().table().rowCount(), 2u);
}

TEST_F(SnapshotFlowTest, StopDuringALoadKeepsTheRowsReadSoFar) {
    const QString backup = writeBackup(QStringLiteral("b.bkf"), 1);
    constexpr int kRows = 200000;
    QStringList lines{QStringLiteral("<") + backup + QStringLiteral(">"), QStringLiteral("<%1>").arg(kRows)};
    for (int i = 0; i < kRows; ++i)
        lines << QStringLiteral("<BKF\\BACKUP SET 1(A)\\d%1\\f%2.txt><1><2><3><4><5><6><7><8>").arg(i % 50).arg(i);
    ui_.fileAnswers.push_back(writeSnapshotText(QStringLiteral("big.ORMBKF"), lines));
    frame_->onLoadSnapshot();
    ASSERT_TRUE(flow().loading());
    EXPECT_TRUE(view().document().filling()) << "commands that read the catalogue wait";
    EXPECT_TRUE(visible("stop")) << "Stop";
    // Saving waits for the end of the load, and says so.
    frame_->saveFlow().saveFiles();
    const ShownMessage stopFirst{QStringLiteral("Please stop scanning process"),
                                 MessageStyle{Buttons::Ok, Icon::Exclamation}};
    EXPECT_EQ(ui_.messages, std::vector<ShownMessage>{stopFirst});
    // Stop asks as during a scan; No lets the load go on.
    const ShownMessage question{QStringLiteral("Do you really want to stop repairing process"),
                                MessageStyle{Buttons::YesNo, Icon::Exclamation}};
    ui_.answers = {Answer::No};
    view().onStopRecovery();
    EXPECT_EQ(ui_.messages, (std::vector<ShownMessage>{stopFirst, question}));
    EXPECT_TRUE(flow().loading());
    EXPECT_TRUE(visible("stop"));
    ui_.answers = {Answer::Yes};
    view().onStopRecovery();
    EXPECT_FALSE(visible("stop")) << "Yes hides Stop at once";
    EXPECT_FALSE(visible("progressBar")) << "and the progress bar";
    waitWhile([this] { return flow().busy(); });
    const std::size_t rows = view().catalogue().table().rowCount();
    EXPECT_LT(rows, static_cast<std::size_t>(kRows));
    if (rows == 0) {
        EXPECT_EQ(view().pageNumber(), 1);
    } else {
        EXPECT_EQ(view().pageNumber(), 2);
        EXPECT_EQ(view().catalogue().table().checkedCount(), rows);
        EXPECT_EQ(ui_.messages, (std::vector<ShownMessage>{stopFirst, question, question}));
    }
    EXPECT_FALSE(view().document().filling());
}

}  // namespace
}  // namespace bkf::gui
