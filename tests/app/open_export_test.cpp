// "Open" of the list and the pane saves the one file into the window's
// private folder and hands it to the desktop; File > Export to Archive writes
// the checked files into one archive.
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "app/app_ids.h"
#include "app/background_copy.h"
#include "app/export_flow.h"
#include "app/open_file_flow.h"
#include "catalogue/catalogue.h"
#include "tests/app/window_fixture.h"
#include "tools/content.h"
#include "tools/damage.h"
#include "widgets/catalogue_models.h"
#include "widgets/catalogue_views.h"
#include "widgets/folder_contents_model.h"

namespace bkf::gui {
namespace {

class OpenExportTest : public WindowTest {
protected:
    CatalogueViews& views() { return view().views(); }
    OpenFileFlow& opens() { return frame_->openFileFlow(); }

    void rightClickPane(int row) {
        const QPoint at = views().cataloguePane()->visualRect(views().paneModel().index(row, 1)).center();
        QTest::mouseClick(views().cataloguePane()->viewport(), Qt::RightButton, {}, at);
    }
    void waitForCopy(BackgroundCopy& copy) {
        waitWhile([&] { return copy.running(); });
    }
    std::string openedBytes(std::size_t i) {
        QFile f(ui_.openedUrls.at(i).toLocalFile());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }
};

TEST_F(OpenExportTest, OpenSavesTheFileIntoThePrivateFolderAndHandsItToTheDesktop) {
    const QString backup = writeBackup(QStringLiteral("b.bkf"), 3);
    recover(backup);
    ASSERT_EQ(view().catalogue().table().rowCount(), 3u);

    ui_.menuAnswers = {ID_PANE_OPEN_FILE};
    rightClickPane(1);
    waitForCopy(opens().copy());
    ASSERT_EQ(ui_.openedUrls.size(), 1u);
    const QString folder = opens().temporaryFolder();
    EXPECT_TRUE(ui_.openedUrls[0].toLocalFile().startsWith(folder + QLatin1Char('/')));
    EXPECT_EQ(QFileInfo(ui_.openedUrls[0].toLocalFile()).fileName(), QStringLiteral("file1.txt"));
    EXPECT_EQ(tools::hashBytes(openedBytes(0)), manifest_[1].hash);
    EXPECT_TRUE(ui_.messages.empty()) << "a verified file opens without a word";

    // A double click on a file of the list opens it too, in a folder of its own.
    views().selectNode(view().catalogue().tree().findFolder(view().catalogue().table().path(0)));
    FolderContentsModel& list = views().listModel();
    int row = -1;
    for (int r = 0; r < list.rowCount(); ++r) {
        if (list.text(r, 0) == QStringLiteral("file1.txt")) row = r;
    }
    ASSERT_GE(row, 0);
    const QPoint at = views().folderList()->visualRect(list.index(row, 1)).center();
    QTest::mouseDClick(views().folderList()->viewport(), Qt::LeftButton, {}, at);
    waitForCopy(opens().copy());
    ASSERT_EQ(ui_.openedUrls.size(), 2u);
    EXPECT_NE(ui_.openedUrls[1], ui_.openedUrls[0]);
    EXPECT_EQ(openedBytes(1), openedBytes(0));

    // The private folder goes when the program ends (a confirmed close).
    ui_.answers = {Answer::Yes, Answer::No};
    frame_->close();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(OpenExportTest, AFileTheBackupHoldsOnlyPartOfOpensAfterAWarning) {
    const QString backup = writeBackup(QStringLiteral("b.bkf"), 2, [](int i) { return i == 1 ? 90000 : 3000; });
    tools::damageFile(backup.toStdU16String(), {tools::DamageKind::Truncate, manifest_[1].dataOffset + 1000, 0});
    recover(backup);
    ASSERT_EQ(view().catalogue().table().rowCount(), 2u);

    ui_.menuAnswers = {ID_PANE_OPEN_FILE, ID_PANE_OPEN_FILE};
    ui_.answers = {Answer::Cancel, Answer::Ok};
    rightClickPane(1);
    waitForCopy(opens().copy());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0], (ShownMessage{kOpenTruncatedText.arg(1000).arg(90000),
                                             MessageStyle{Buttons::OkCancel, Icon::Exclamation}}));
    EXPECT_TRUE(ui_.openedUrls.empty()) << "cancelled at the warning";
    rightClickPane(1);
    waitForCopy(opens().copy());
    ASSERT_EQ(ui_.openedUrls.size(), 1u);
    EXPECT_EQ(openedBytes(0).size(), 1000u);
}

TEST_F(OpenExportTest, ExportToArchiveWritesTheCheckedFiles) {
    const QString backup = writeBackup(QStringLiteral("b.bkf"), 3);
    recover(backup);
    view().catalogue().markEntry(2, false);
    const QString out = file(QStringLiteral("out.zip"));
    ui_.fileAnswers = {out};
    frame_->commandAction(ID_EXPORT_ARCHIVE)->trigger();
    waitForCopy(frame_->exportFlow().copy());
    EXPECT_EQ(ui_.fileCaptions, QStringList{kExportCaption});
    ASSERT_TRUE(frame_->exportFlow().lastSummary());
    EXPECT_EQ(frame_->exportFlow().lastSummary()->verified, 2u);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(ui_.messages[0].text.startsWith(QStringLiteral("Stored: 2 file(s): 2 verified")))
        << ui_.messages[0].text.toStdString();
    EXPECT_TRUE(ui_.messages[0].text.endsWith(QStringLiteral("Archive: ") + out));
    EXPECT_TRUE(QFileInfo(out).size() > 6000);
    // A second export never replaces the first.
    ui_.fileAnswers = {out};
    frame_->commandAction(ID_EXPORT_ARCHIVE)->trigger();
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_TRUE(ui_.messages[1].text.contains(QStringLiteral("never replaces")));
}

TEST_F(OpenExportTest, ExportAndOpenSayWhyWhenTheBackupCannotBeWrittenToOrRead) {
    const QString backup = writeBackup(QStringLiteral("b.bkf"), 2);
    recover(backup);
    ui_.messages.clear();
    const MessageStyle warning{Buttons::Ok, Icon::Exclamation};
    // An archive "inside" the backup file would be written to it.
    ui_.fileAnswers = {backup + QStringLiteral("/out.zip")};
    frame_->commandAction(ID_EXPORT_ARCHIVE)->trigger();
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(
        ui_.messages[0],
        (ShownMessage{QStringLiteral("The archive would be the backup file itself; the backup is never written to."),
                      warning}));

    // With the backup gone, neither starts a copy.
    ASSERT_TRUE(QFile::remove(backup));
    const QString out = file(QStringLiteral("out.zip"));
    ui_.fileAnswers = {out};
    frame_->commandAction(ID_EXPORT_ARCHIVE)->trigger();
    EXPECT_FALSE(frame_->exportFlow().copy().running());
    ui_.menuAnswers = {ID_PANE_OPEN_FILE};
    rightClickPane(1);
    EXPECT_FALSE(opens().copy().running());
    ASSERT_EQ(ui_.messages.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_TRUE(ui_.messages[i].text.startsWith(QStringLiteral("The backup file could not be opened: ")))
            << ui_.messages[i].text.toStdString();
        EXPECT_EQ(ui_.messages[i].style, warning);
    }
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_FALSE(frame_->exportFlow().lastSummary());
    EXPECT_TRUE(ui_.openedUrls.empty());
}

}  // namespace
}  // namespace bkf::gui
