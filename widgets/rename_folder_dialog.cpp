#include "widgets/rename_folder_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "widgets/dialog_units.h"
#include "widgets/view_ids.h"

namespace bkf::gui {

// Layout 214 x 65 dialog units.
RenameFolderDialog::RenameFolderDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RenameFolderDialog"));
    setWindowTitle(QStringLiteral("Rename folder"));
    setFixedSize(dluSize(214, 65));
    setFont(dialogFont());

    auto* label = new QLabel(QStringLiteral("Folder Name :"), this);
    label->setGeometry(labelRect(7, 8, 47, 13, 60));

    edit_ = new QLineEdit(this);
    setControlId(edit_, IDC_NAME_EDIT, QStringLiteral("nameEdit"));
    edit_->setGeometry(dluRect(60, 7, 147, 15));
    label->setBuddy(edit_);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    setControlId(ok, IDC_OK, QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(dluRect(49, 44, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    setControlId(cancel, IDC_CANCEL, QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    cancel->setGeometry(dluRect(112, 44, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    edit_->setFocus();
}

QString RenameFolderDialog::folderName() const {
    return edit_->text();
}

}  // namespace bkf::gui
