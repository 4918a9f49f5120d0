// The "Rename folder" dialog: asks for the new name of a folder of the tree.
// It opens empty; OK hands back the typed text, Cancel and the close box
// nothing.
#pragma once

#include <QDialog>

class QLineEdit;

namespace bkf::gui {

class RenameFolderDialog : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int { IDC_NAME_EDIT = 1005, IDC_OK = 1, IDC_CANCEL = 2 };

    explicit RenameFolderDialog(QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return edit_; }
    QString folderName() const;

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace bkf::gui
