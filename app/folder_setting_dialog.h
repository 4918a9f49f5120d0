// Tools > Settings...: the folder-name prefix of saved folders and the
// Generate Log option. OK checks the prefix for the characters a folder name
// cannot hold and, when it is clean, hands both settings to the main frame;
// Cancel and the close box change nothing. The settings live only in memory.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace bkf::gui {

class MainFrame;
class UiServices;

class FolderSettingDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids (their objectNames).
    enum ControlId : int {
        IDC_PREFIX_LABEL = 1009,
        IDC_PREFIX_EDIT = 1005,
        IDC_GENERATE_LOG = 1021,
        IDC_GENERATE_LOG_LABEL = 1022,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };

    // Opens with the frame's prefix and Generate Log; messages go through `ui`.
    FolderSettingDialog(MainFrame& frame, UiServices& ui);

    QLineEdit* prefixEdit() const { return prefixEdit_; }
    QCheckBox* generateLogBox() const { return generateLog_; }

public slots:
    // OK: refuses a prefix with an illegal character (the dialog stays open
    // with the text as typed), otherwise stores both settings and closes.
    void onFolderSettingOk();

protected:
    // The dialog's own background artwork.
    void paintEvent(QPaintEvent* event) override;

private:
    MainFrame& frame_;
    UiServices& ui_;
    QLineEdit* prefixEdit_ = nullptr;
    QCheckBox* generateLog_ = nullptr;
    QCheckBox* offGrid_ = nullptr;
};

}  // namespace bkf::gui
