#include "app/folder_setting_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialog_background.h"
#include "app/main_frame.h"
#include "save/output_naming.h"
#include "widgets/dialog_units.h"
#include "widgets/qt_text.h"
#include "widgets/ui_services.h"
#include "widgets/view_ids.h"

namespace bkf::gui {

namespace {

// The texts of the check box and of its label both begin with five blanks.
const QString kGenerateLogText = QStringLiteral("     Generate Log");
const QString kOffGridText = QStringLiteral("     Find blocks off the 512-byte grid");

}  // namespace

// Layout 244 x 106 dialog units.
FolderSettingDialog::FolderSettingDialog(MainFrame& frame, UiServices& ui) : QDialog(&frame), frame_(frame), ui_(ui) {
    setObjectName(QStringLiteral("FolderSettingDialog"));
    setWindowTitle(QStringLiteral("Folder Setting"));
    setFixedSize(dluSize(244, 106));
    setFont(dialogFont());

    auto* label = new QLabel(QStringLiteral("Folder name prefix"), this);
    setControlId(label, IDC_PREFIX_LABEL, QStringLiteral("prefixLabel"));
    label->setGeometry(labelRect(23, 27, 63, 13, 100));

    prefixEdit_ = new QLineEdit(frame.folderPrefix(), this);
    setControlId(prefixEdit_, IDC_PREFIX_EDIT, QStringLiteral("prefixEdit"));
    prefixEdit_->setGeometry(dluRect(100, 25, 112, 15));

    // The box is only its square (grown by 4 px so the style's indicator is
    // not clipped); the text beside it is a separate label that does not
    // react to clicks.
    generateLog_ = new QCheckBox(this);
    setControlId(generateLog_, IDC_GENERATE_LOG, QStringLiteral("generateLog"));
    generateLog_->setAccessibleName(kGenerateLogText.trimmed());
    generateLog_->setChecked(frame.generateLog());
    generateLog_->setGeometry(dluRect(23, 55, 8, 8).adjusted(0, 0, 4, 4));

    auto* logLabel = new QLabel(kGenerateLogText, this);
    setControlId(logLabel, IDC_GENERATE_LOG_LABEL, QStringLiteral("generateLogLabel"));
    logLabel->setGeometry(dluRect(36, 55, 146, 13));

    // Blocks moved off the 512-byte grid by inserted or lost bytes are looked
    // for unless this is cleared.
    offGrid_ = new QCheckBox(this);
    offGrid_->setObjectName(QStringLiteral("scan-off-grid"));
    offGrid_->setAccessibleName(kOffGridText.trimmed());
    offGrid_->setChecked(frame.scanOffGrid());
    offGrid_->setGeometry(dluRect(23, 68, 8, 8).adjusted(0, 0, 4, 4));
    auto* offGridLabel = new QLabel(kOffGridText, this);
    offGridLabel->setObjectName(QStringLiteral("scan-off-grid-label"));
    offGridLabel->setGeometry(dluRect(36, 68, 200, 13));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    setControlId(ok, IDC_OK, QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(dluRect(59, 85, 50, 14));
    connect(ok, &QPushButton::clicked, this, &FolderSettingDialog::onFolderSettingOk);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    setControlId(cancel, IDC_CANCEL, QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    cancel->setGeometry(dluRect(130, 85, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    prefixEdit_->setFocus();
}

void FolderSettingDialog::onFolderSettingOk() {
    const QString prefix = prefixEdit_->text();
    if (!bkf::isValidFolderPrefix(prefix.toStdU16String())) {
        ui_.messageBox(nullptr, qstr(bkf::kIllegalPrefixText), MessageStyle{Buttons::Ok, Icon::Information});
        return;
    }
    frame_.setFolderPrefix(prefix);
    frame_.setGenerateLog(generateLog_->isChecked());
    frame_.setScanOffGrid(offGrid_->isChecked());
    accept();
}

void FolderSettingDialog::paintEvent(QPaintEvent*) {
    paintDialogBackground(*this);
}

}  // namespace bkf::gui
