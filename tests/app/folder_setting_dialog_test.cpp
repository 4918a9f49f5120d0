// Tools > Settings...: the Folder Setting dialog and what its OK and Cancel
// do to the main frame's folder-name prefix and Generate Log.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "app/app_ids.h"
#include "app/folder_setting_dialog.h"
#include "app/main_frame.h"
#include "tests/app/qt_printers.h"
#include "tests/app/window_fixture.h"
#include "widgets/dialog_units.h"

namespace bkf::gui {
namespace {

const QString kIllegalPrefix = QStringLiteral("Illegal character found in file pre fix ");

class FolderSettingDialogTest : public WindowTest {
protected:
    FolderSettingDialogTest() { showFrame_ = false; }

    // Opens the dialog (not modal, so the test can drive it), types `prefix`,
    // sets the box and presses OK.
    void pressOk(FolderSettingDialog& dialog, const QString& prefix, bool generateLog) {
        dialog.show();
        dialog.prefixEdit()->setText(prefix);
        dialog.generateLogBox()->setChecked(generateLog);
        button(dialog, "ok")->click();
    }
    static QPushButton* button(QDialog& dialog, const char* id) {
        auto* b = dialog.findChild<QPushButton*>(QString::fromLatin1(id));
        EXPECT_NE(b, nullptr) << id;
        return b;
    }
};

TEST_F(FolderSettingDialogTest, OpensWithTheFrameSettingsInTheLayoutProportions) {
    frame_->setFolderPrefix(QStringLiteral("Old"));
    frame_->setGenerateLog(true);
    FolderSettingDialog dialog(*frame_, ui_);

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Folder Setting"));
    EXPECT_EQ(dialog.size(), dluSize(244, 106));
    EXPECT_EQ(dialog.prefixEdit()->property("controlId").toInt(), 1005);
    EXPECT_EQ(dialog.prefixEdit()->text(), QStringLiteral("Old"));
    EXPECT_EQ(dialog.generateLogBox()->property("controlId").toInt(), 1021);
    EXPECT_TRUE(dialog.generateLogBox()->isChecked());

    auto* label = dialog.findChild<QLabel*>(QStringLiteral("prefixLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Folder name prefix"));
    auto* logLabel = dialog.findChild<QLabel*>(QStringLiteral("generateLogLabel"));
    ASSERT_NE(logLabel, nullptr);
    EXPECT_EQ(logLabel->text().trimmed(), QStringLiteral("Generate Log"));
    EXPECT_EQ(button(dialog, "ok")->text(), QStringLiteral("OK"));
    EXPECT_TRUE(button(dialog, "ok")->isDefault());
    EXPECT_EQ(button(dialog, "cancel")->text(), QStringLiteral("Cancel"));
    // The edit sits right of its label, the buttons below the check box.
    EXPECT_GT(dialog.prefixEdit()->x(), label->geometry().right());
    EXPECT_GT(button(dialog, "ok")->y(), dialog.generateLogBox()->geometry().bottom());
}

TEST_F(FolderSettingDialogTest, RefusesEveryIllegalCharacterAndKeepsTheTextAsTyped) {
    frame_->setGenerateLog(false);
    QStringList refused = {QStringLiteral("my'set")};
    for (QChar c : QStringLiteral("/\\|*:?<>'")) refused << QStringLiteral("Re") + c + QStringLiteral("c");

    for (const QString& prefix : refused) {
        SCOPED_TRACE(prefix.toStdString());
        ui_.messages.clear();
        FolderSettingDialog dialog(*frame_, ui_);
        pressOk(dialog, prefix, true);

        ASSERT_EQ(ui_.messages.size(), 1u);
        EXPECT_EQ(ui_.messages[0], (ShownMessage{kIllegalPrefix, MessageStyle{Buttons::Ok, Icon::Information}}));
        EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.prefixEdit()->text(), prefix);
        EXPECT_EQ(frame_->folderPrefix(), QStringLiteral("Rec"));
        EXPECT_FALSE(frame_->generateLog());
    }

    // The search off the grid is on until the box is cleared.
    {
        FolderSettingDialog offGrid(*frame_, ui_);
        auto* box = offGrid.findChild<QCheckBox*>(QStringLiteral("scan-off-grid"));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isChecked());
        box->setChecked(false);
        pressOk(offGrid, QStringLiteral("Rec"), false);
        EXPECT_FALSE(frame_->scanOffGrid());
        frame_->setScanOffGrid(true);
    }

    // Corrected in the same dialog, the prefix is then taken.
    FolderSettingDialog dialog(*frame_, ui_);
    pressOk(dialog, QStringLiteral("my'set"), false);
    dialog.prefixEdit()->setText(QStringLiteral("myset"));
    button(dialog, "ok")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(frame_->folderPrefix(), QStringLiteral("myset"));
}

TEST_F(FolderSettingDialogTest, OkStoresThePrefixEvenEmptyAndGenerateLogFromTheBox) {
    {
        FolderSettingDialog dialog(*frame_, ui_);
        pressOk(dialog, QString(), true);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(frame_->folderPrefix(), QString());
        EXPECT_TRUE(frame_->generateLog());
    }
    {
        FolderSettingDialog dialog(*frame_, ui_);
        EXPECT_EQ(dialog.prefixEdit()->text(), QString()) << "opens with the stored prefix";
        EXPECT_TRUE(dialog.generateLogBox()->isChecked());
        pressOk(dialog, QStringLiteral("Rec2"), false);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(frame_->folderPrefix(), QStringLiteral("Rec2"));
        EXPECT_FALSE(frame_->generateLog());
    }
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FolderSettingDialogTest, CancelAndTheCloseBoxChangeNothing) {
    {
        FolderSettingDialog dialog(*frame_, ui_);
        dialog.show();
        dialog.prefixEdit()->setText(QStringLiteral("Other"));
        dialog.generateLogBox()->setChecked(true);
        button(dialog, "cancel")->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        FolderSettingDialog dialog(*frame_, ui_);
        dialog.show();
        dialog.prefixEdit()->setText(QStringLiteral("b:d"));
        dialog.generateLogBox()->setChecked(true);
        EXPECT_TRUE(dialog.close());
    }
    EXPECT_EQ(frame_->folderPrefix(), QStringLiteral("Rec"));
    EXPECT_FALSE(frame_->generateLog());
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FolderSettingDialogTest, SettingsCommandRunsTheDialogModallyOnTheFrame) {
    int runs = 0;
    ui_.onDialog = [&](QDialog& dialog) {
        ++runs;
        auto* settings = qobject_cast<FolderSettingDialog*>(&dialog);
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(settings->parentWidget(), frame_.get());
        settings->prefixEdit()->setText(QStringLiteral("Saved"));
        settings->generateLogBox()->setChecked(true);
        button(dialog, "ok")->click();
    };
    frame_->commandAction(ID_SETTINGS)->trigger();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ui_.dialogTitles, QStringList{QStringLiteral("Folder Setting")});
    EXPECT_EQ(frame_->folderPrefix(), QStringLiteral("Saved"));
    EXPECT_TRUE(frame_->generateLog());
}

}  // namespace
}  // namespace bkf::gui
