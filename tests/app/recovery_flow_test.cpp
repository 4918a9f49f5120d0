// A recovery in the window, end to end under the offscreen platform: type a
// path, press Next, wait for the results.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QTest>

#include "app/app_ids.h"
#include "app/main_frame.h"
#include "app/recovery_flow.h"
#include "tests/app/qt_printers.h"
#include "tests/app/window_fixture.h"
#include "tests/fixtures/long_scan.h"
#include "tools/damage.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/document.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

class RecoveryFlowTest : public WindowTest {};

TEST_F(RecoveryFlowTest, ARecoveryFillsTheResultsPageAndChecksEverything) {
    QAbstractItemModelTester tableTester(&view().catalogueModel(),
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester treeTester(&view().treeModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    recover(writeBackup(QStringLiteral("daily.bkf"), 40));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(view().pageNumber(), 2);
    const auto& table = view().catalogue().table();
    ASSERT_EQ(table.rowCount(), 40u);
    EXPECT_EQ(table.path(0), u"BKF\\BACKUP SET 1(Daily)\\Data\\Sub\\file0.txt");
    EXPECT_EQ(table.checkedCount(), 40u);
    EXPECT_EQ(view().catalogueModel().rowCount(), 40);
    const auto& tree = view().catalogue().tree();
    EXPECT_TRUE(tree.expanded(tree.root()));
    EXPECT_FALSE(tree.expanded(tree.firstChild(tree.root())));
    EXPECT_EQ(tree.mark(tree.root()), FolderMark::Checked);
    EXPECT_TRUE(visible("back")) << "Back";
    EXPECT_TRUE(visible("save")) << "Save";
    EXPECT_FALSE(visible("stop")) << "Stop";
    EXPECT_FALSE(visible("progressBar")) << "the progress bar goes with Stop";
    EXPECT_FALSE(visible("searchingText"));
    EXPECT_EQ(view().catalogue().backupFilePath(), view().backupFilePath().toStdU16String());

    // Back empties the catalogue and returns to the first page.
    view().onBack();
    EXPECT_EQ(view().pageNumber(), 1);
    EXPECT_EQ(view().catalogue().table().rowCount(), 0u);
    EXPECT_EQ(view().catalogueModel().rowCount(), 0);

    // A second scan starts from an empty catalogue.
    recover(writeBackup(QStringLiteral("again.bkf"), 3));
    EXPECT_EQ(view().catalogue().table().rowCount(), 3u);
}

TEST_F(RecoveryFlowTest, BlocksMovedOffTheGridAreFoundUnlessTheSettingIsCleared) {
    // A header put in front of the backup moves every block off the grid.
    const QString path = writeBackup(QStringLiteral("moved.bkf"), 6);
    tools::damageFile(path.toStdU16String(), {tools::DamageKind::Insert, 0, 333, 1});
    recover(path);
    EXPECT_EQ(view().catalogue().table().rowCount(), 6u);
    view().onBack();
    frame_->setScanOffGrid(false);
    recover(path);
    EXPECT_EQ(view().pageNumber(), 1);
    ASSERT_FALSE(ui_.messages.empty());
    EXPECT_EQ(ui_.messages.back().text, QStringLiteral("No data found in backup file"));
}

TEST_F(RecoveryFlowTest, PathsThatCannotBeScanned) {
    // An empty field opens the browse dialog and starts nothing.
    ui_.fileAnswers.push_back(dir_.filePath(QStringLiteral("chosen.bkf")));
    view().setBackupFilePath(QString());
    view().onRecover();
    EXPECT_EQ(ui_.fileCaptions, QStringList{kBrowseCaption});
    EXPECT_EQ(view().backupFilePath(), dir_.filePath(QStringLiteral("chosen.bkf")));
    EXPECT_EQ(view().pageNumber(), 1);

    view().setBackupFilePath(dir_.filePath(QStringLiteral("missing.bkf")));
    view().onRecover();
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages.back(), (ShownMessage{QStringLiteral("Please select valid file by using Browse Button"),
                                                 MessageStyle{Buttons::Ok, Icon::Exclamation}}));
    EXPECT_EQ(view().pageNumber(), 1);

    // A folder exists, but cannot be opened as a backup.
    recover(dir_.path());
    EXPECT_EQ(ui_.messages.back().text,
              QStringLiteral("Some Error occoured while opening file. Make sure that file is not shared"));
    EXPECT_EQ(view().pageNumber(), 1);

    QFile zeros(dir_.filePath(QStringLiteral("zeros.bkf")));
    ASSERT_TRUE(zeros.open(QIODevice::WriteOnly));
    zeros.write(QByteArray(100000, '\0'));
    zeros.close();
    recover(zeros.fileName());
    EXPECT_EQ(ui_.messages.back(), (ShownMessage{QStringLiteral("No data found in backup file"),
                                                 MessageStyle{Buttons::Ok, Icon::Information}}));
    EXPECT_EQ(view().pageNumber(), 1);
    EXPECT_FALSE(frame_->view()->document().filling()) << "the commands no longer ask to stop scanning";
}

TEST_F(RecoveryFlowTest, StopAsksAndKeepsWhatWasFound) {
    const QString path = writeBackup(QStringLiteral("big.bkf"), 300);
    // Holes behind the files keep the scan busy until the stop.
    test::lengthenForALongScan(path.toStdU16String());
    view().setBackupFilePath(path);
    view().onRecover();
    // No: the scan runs on.
    ui_.answers.push_back(Answer::No);
    view().onStopRecovery();
    EXPECT_EQ(ui_.messages.back(), (ShownMessage{QStringLiteral("Do you really want to stop repairing process"),
                                                 MessageStyle{Buttons::YesNo, Icon::Exclamation}}));
    EXPECT_TRUE(frame_->recoveryFlow().scanRunning());
    QElapsedTimer clock;
    clock.start();
    while (view().catalogue().table().rowCount() < 300 && clock.elapsed() < 20000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_TRUE(frame_->recoveryFlow().scanRunning()) << "the scan ended before the stop";
    // The pane's "Save File" answers as the other commands do while a scan runs.
    auto* pane = view().views().cataloguePane();
    ui_.menuAnswers.push_back(ID_PANE_SAVE_FILE);
    QTest::mouseClick(pane->viewport(), Qt::RightButton, {},
                      pane->visualRect(view().views().paneModel().index(0, 1)).center());
    EXPECT_EQ(ui_.messages.back(), (ShownMessage{QStringLiteral("Please stop scanning process"),
                                                 MessageStyle{Buttons::Ok, Icon::Exclamation}}));
    EXPECT_TRUE(ui_.fileCaptions.empty()) << "no folder is asked for";
    // Yes: it stops, and what was found is shown, checked.
    ui_.answers.push_back(Answer::Yes);
    view().onStopRecovery();
    EXPECT_FALSE(visible("stop")) << "Stop is hidden at once";
    EXPECT_FALSE(visible("progressBar")) << "and the progress bar with it";
    // Until the last batches are applied and the end has marked everything,
    // the views still refuse mark changes.
    ASSERT_TRUE(frame_->recoveryFlow().scanRunning());
    const std::size_t shown = ui_.messages.size();
    pane->setCurrentIndex(view().views().paneModel().index(0, 0));
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Space);
    ASSERT_EQ(ui_.messages.size(), shown + 1);
    EXPECT_EQ(ui_.messages.back().text, kBusySelectText);
    while (frame_->recoveryFlow().scanRunning() && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(frame_->recoveryFlow().scanRunning());
    EXPECT_EQ(view().catalogue().table().rowCount(), 300u);
    EXPECT_EQ(view().catalogue().table().checkedCount(), 300u);
    EXPECT_EQ(view().pageNumber(), 2);
    EXPECT_TRUE(visible("back"));
}

TEST_F(RecoveryFlowTest, GenerateLogWritesTheStartLinesAndTheScansCodes) {
    frame_->setGenerateLog(true);
    const QString path = writeBackup(QStringLiteral("logged.bkf"), 2);
    recover(path);
    QFile log(QString::fromStdU16String(logPath().u16string()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    EXPECT_TRUE(
        text.startsWith(path + QStringLiteral("\r\nSUCC 0001\r\nSUCC 0002\r\nSUCC 0003\r\nSUCC 0004\r\nSUCC 0005\r\n")))
        << text.left(200).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("SUCC 0013\r\n")));
}

TEST_F(RecoveryFlowTest, GenerateLogSwitchedDuringAScanTakesEffectAtTheNextLine) {
    const QString path = writeBackup(QStringLiteral("big.bkf"), 20);
    // Holes behind the files keep the scan going until it is stopped.
    test::lengthenForALongScan(path.toStdU16String());
    const QString log = QString::fromStdU16String(logPath().u16string());
    const auto logSize = [&] { return QFileInfo(log).size(); };
    const auto runFor = [](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    view().setBackupFilePath(path);
    view().onRecover();  // Generate Log is off
    runFor(200);
    EXPECT_FALSE(QFile::exists(log));

    frame_->setGenerateLog(true);
    runFor(300);
    EXPECT_GT(logSize(), 0) << "switched on: the scan's next lines are written";

    frame_->setGenerateLog(false);
    runFor(300);  // the lines of the chunk in hand reach the file
    const qint64 off = logSize();
    runFor(300);
    EXPECT_EQ(logSize(), off) << "switched off: nothing more";

    ASSERT_TRUE(frame_->recoveryFlow().scanRunning()) << "the scan ended before the test did";
    ui_.answers.push_back(Answer::Yes);
    view().onStopRecovery();
    waitWhile([this] { return frame_->recoveryFlow().scanRunning(); });
}

}  // namespace
}  // namespace bkf::gui
