// The save command in the window, end to end under the offscreen platform:
// recover a generated backup, then save its entries and read them back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/main_frame.h"
#include "app/recovery_flow.h"
#include "app/save_flow.h"
#include "app/verdicts_dialog.h"
#include "tests/app/qt_printers.h"
#include "tests/app/window_fixture.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "widgets/dialog_units.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SaveFlowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(dest_.isValid());
    }
    SaveFlow& flow() { return frame_->saveFlow(); }

    // A backup with `files` small files of random content (seed = index) and,
    // when `bigSize` is not 0, one more file "big.bin" of that many zeros.
    QString writeBackup(int files, std::uint64_t bigSize = 0) {
        return WindowTest::writeBackup(
            QStringLiteral("test.bkf"), files, [](int i) { return 3000 + static_cast<std::uint64_t>(i) * 517; },
            [bigSize](tools::BackupWriter& w) {
                if (bigSize == 0) return;
                tools::FileItem f;
                f.name = u"big.bin";
                f.content = tools::Content::zeros(bigSize);
                w.file(f);
            });
    }

    void recover(const QString& path) {
        WindowTest::recover(path);
        ASSERT_EQ(view().pageNumber(), 2);
    }

    // Waits until the save has ended; `duringSave` runs on each turn while it runs.
    void waitForSave(const std::function<void()>& duringSave = {}) {
        QElapsedTimer clock;
        clock.start();
        while (flow().saving() && clock.elapsed() < 60000) {
            if (duringSave) duringSave();
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        ASSERT_FALSE(flow().saving()) << "the save did not end";
    }

    // Every regular file under `root`, by file name.
    static std::map<std::string, fs::path> filesUnder(const fs::path& root) {
        std::map<std::string, fs::path> out;
        if (!fs::exists(root)) return out;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file()) out[e.path().filename().string()] = e.path();
        return out;
    }
    fs::path destPath() const { return fs::path(dest_.path().toStdU16String()); }

    QTemporaryDir dest_;
};

TEST_F(SaveFlowTest, DamagedDataIsSavedAndListedWithItsVerdictAndVerifyFilesChecksEveryFile) {
    const QString backup = writeBackup(5);
    tools::damageFile(backup.toStdU16String(), {tools::DamageKind::Randomise, manifest_[2].dataOffset + 7, 3, 1});
    recover(backup);
    QStringList lists;
    ui_.onDialog = [&](QDialog& d) {
        if (auto* verdicts = qobject_cast<VerdictsDialog*>(&d)) lists << verdicts->listText();
    };
    ui_.fileAnswers.push_back(dest_.path());
    flow().saveFiles();
    waitForSave();
    ASSERT_EQ(lists.size(), 1) << "the damaged file is listed, not only counted";
    EXPECT_EQ(lists[0], QStringLiteral("checksum mismatch\tBKF\\BACKUP SET 1(Daily)\\Data\\Sub\\file2.txt\n"));
    EXPECT_EQ(flow().lastSummary()->verified, 4u);
    EXPECT_TRUE(filesUnder(destPath()).count("file2.txt")) << "a damaged file is still saved";

    frame_->onVerifyFiles();
    waitForSave();
    ASSERT_EQ(lists.size(), 2);
    EXPECT_EQ(lists[1].count(QStringLiteral("verified\t")), 4);
    EXPECT_EQ(lists[1].count(QStringLiteral("checksum mismatch\t")), 1);
    EXPECT_EQ(ui_.dialogTitles.back(), QStringLiteral("Verify Files"));
}

TEST_F(SaveFlowTest, NothingCheckedShowsTheMessageAndWritesNothing) {
    recover(writeBackup(3));
    view().catalogue().table().setAllChecked(false);
    ui_.messages.clear();
    ui_.fileAnswers.push_back(dest_.path());
    view().onSaveFiles();
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0], (ShownMessage{QStringLiteral("Please select file(s) to save "),
                                             MessageStyle{Buttons::Ok, Icon::Question}}));
    EXPECT_FALSE(flow().saving());
    EXPECT_EQ(ui_.fileAnswers.size(), 1u) << "the folder dialog must not be asked";
    EXPECT_TRUE(fs::is_empty(destPath()));
}

TEST_F(SaveFlowTest, FolderDialogCancelledDoesNothing) {
    recover(writeBackup(2));
    ui_.messages.clear();
    ui_.fileCaptions.clear();
    view().onSaveFiles();  // no answer queued: the folder dialog is cancelled
    EXPECT_EQ(ui_.fileCaptions.size(), 1);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_FALSE(flow().saving());
    EXPECT_EQ(flow().savingDialog(), nullptr);
    EXPECT_TRUE(fs::is_empty(destPath()));
}

TEST_F(SaveFlowTest, AllCheckedWritesEveryFileWithItsContentAndSaysSo) {
    constexpr int kFiles = 5;
    const QString backup = writeBackup(kFiles);
    recover(backup);
    const auto& table = view().catalogue().table();
    ASSERT_EQ(table.rowCount(), static_cast<std::size_t>(kFiles));
    const std::size_t rowsBefore = table.rowCount();
    const std::size_t checkedBefore = table.checkedCount();
    ui_.messages.clear();
    ui_.fileAnswers.push_back(dest_.path());
    view().onSaveFiles();
    ASSERT_TRUE(flow().saving());
    EXPECT_FALSE(view().isEnabled()) << "the view takes no input while saving";
    ASSERT_NE(flow().savingDialog(), nullptr);
    waitForSave();
    EXPECT_TRUE(view().isEnabled());
    EXPECT_EQ(flow().savingDialog(), nullptr) << "the window is closed at the end";

    const fs::path root = destPath() / "Rec1";
    const auto files = filesUnder(root);
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kFiles));
    const std::vector<std::uint8_t> backupBytes = readAll(fs::path(backup.toStdU16String()));
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "file" + std::to_string(i) + ".txt";
        ASSERT_TRUE(files.count(name)) << name;
        const auto written = readAll(files.at(name));
        const auto expected =
            tools::Content::random(3000 + static_cast<std::uint64_t>(i) * 517, static_cast<std::uint64_t>(i))
                .materialise();
        EXPECT_EQ(written, expected) << name;
        // And the same bytes as the backup holds at the row's data offset.
        const auto items = extractItems(table, std::vector<RowIndex>{static_cast<RowIndex>(i)});
        ASSERT_EQ(items.size(), 1u);
        const auto offset = static_cast<std::size_t>(items[0].dataOffset);
        const auto size = static_cast<std::size_t>(items[0].size);
        ASSERT_LE(offset + size, backupBytes.size());
        EXPECT_TRUE(std::equal(written.begin(), written.end(),
                               backupBytes.begin() + static_cast<std::ptrdiff_t>(offset),
                               backupBytes.begin() + static_cast<std::ptrdiff_t>(offset + size)))
            << name;
    }

    ASSERT_EQ(ui_.messages.size(), 1u);
    const ShownMessage& summary = ui_.messages[0];
    EXPECT_EQ(summary.style, (MessageStyle{Buttons::Ok, Icon::Information}));
    EXPECT_TRUE(summary.text.contains(QStringLiteral("Saved: 5 file(s)"))) << summary.text.toStdString();
    EXPECT_TRUE(summary.text.contains(QStringLiteral("Failed: 0 file(s)"))) << summary.text.toStdString();
    EXPECT_TRUE(summary.text.contains(QString::fromStdU16String(root.u16string()))) << summary.text.toStdString();
    EXPECT_FALSE(summary.text.contains(QStringLiteral("cancelled")));
    ASSERT_TRUE(flow().lastSummary());
    EXPECT_EQ(flow().lastSummary()->saved, static_cast<std::size_t>(kFiles));

    // The catalogue is not changed by a save.
    EXPECT_EQ(table.rowCount(), rowsBefore);
    EXPECT_EQ(table.checkedCount(), checkedBefore);

    // A second save goes to the next free folder.
    ui_.fileAnswers.push_back(dest_.path());
    view().onSaveFiles();
    waitForSave();
    EXPECT_EQ(filesUnder(destPath() / "Rec2").size(), static_cast<std::size_t>(kFiles));
}

TEST_F(SaveFlowTest, TheSavingWindowHasItsControlsAndCancelRemovesTheFileBeingWritten) {
    constexpr std::uint64_t kBig = std::uint64_t{1} << 30;  // long enough to cancel in the middle
    recover(writeBackup(1, kBig));
    ui_.messages.clear();
    ui_.fileAnswers.push_back(dest_.path());
    view().onSaveFiles();
    ASSERT_TRUE(flow().saving());
    SavingDialog* dialog = flow().savingDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Saving Files.."));
    EXPECT_EQ(dialog->size(), dluSize(321, 164));
    auto* text = dialog->findChild<QLabel*>(QStringLiteral("currentFile"));
    auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("progress"));
    auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancel"));
    auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("ok"));
    ASSERT_TRUE(text && bar && cancel && ok);
    EXPECT_EQ(text->geometry(), dluRect(17, 14, 286, 64));
    EXPECT_EQ(bar->geometry(), dluRect(17, 103, 286, 11));
    EXPECT_EQ(cancel->geometry(), dluRect(135, 143, 50, 14));
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(ok->isVisibleTo(dialog));

    bool clicked = false;
    bool sawBigFile = false;
    waitForSave([&] {
        if (clicked || !flow().savingDialog()) return;
        // Cancel once the big file is being written and shown.
        if (text->text().endsWith(QStringLiteral("big.bin")) && bar->value() > 0) {
            sawBigFile = true;
            cancel->click();
            clicked = true;
        }
    });
    EXPECT_TRUE(clicked) << "the save ended before Cancel could be pressed";
    EXPECT_TRUE(sawBigFile);
    const auto files = filesUnder(destPath() / "Rec1");
    EXPECT_FALSE(files.count("big.bin")) << "the file being written is removed";
    EXPECT_TRUE(files.count("file0.txt")) << "finished files stay";
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(ui_.messages[0].text.contains(QStringLiteral("cancelled"))) << ui_.messages[0].text.toStdString();
    ASSERT_TRUE(flow().lastSummary());
    EXPECT_TRUE(flow().lastSummary()->cancelled);
    EXPECT_LT(flow().lastSummary()->bytesWritten, kBig);
    EXPECT_TRUE(view().isEnabled());
}

TEST_F(SaveFlowTest, AMissingBackupFileIsReportedWithTheReason) {
    const QString backup = writeBackup(2);
    recover(backup);
    ASSERT_TRUE(QFile::remove(backup));
    ui_.messages.clear();
    ui_.fileAnswers.push_back(dest_.path());
    view().onSaveFiles();
    EXPECT_FALSE(flow().saving());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(ui_.messages[0].text.startsWith(QStringLiteral("The backup file could not be opened: ")));
    EXPECT_GT(ui_.messages[0].text.size(), QStringLiteral("The backup file could not be opened: ").size());
    EXPECT_TRUE(fs::is_empty(destPath()));
}

}  // namespace
}  // namespace bkf::gui
