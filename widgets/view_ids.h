// Control ids of the recovery view and the texts it shows. Each control's
// id is kept as data (its accessible description comes from the id's
// description string); its objectName is a word.
#pragma once

#include <QString>

namespace bkf::gui {

// Controls of the main view. The progress bar and Stop share 61452, and the
// two texts of 61485 share their id: objectNames carry a suffix for the
// second of each pair (see RecoveryView).
enum ControlId : int {
    IDC_PATH_EDIT = 61447,
    IDC_BROWSE = 61448,
    IDC_NEXT = 61449,
    IDC_BACK = 61451,
    IDC_STOP = 61452,
    IDC_FOUND_FILES = 61483,
    IDC_PROMPT = 61484,
    IDC_PROGRESS_TEXT = 61485,
    IDC_FOLDER_LIST = 61487,
    IDC_SAVE = 61492,
    IDC_CAPTION_BAND = 61501,
    IDC_FOLDER_TREE = 4101,
    IDC_CATALOGUE = 1,
    IDC_LOGO_BUTTON = 1002,
};

// The objectName of each control: a word. The id itself is data: the
// control's "controlId" property, and its description string below.
inline QString controlName(int id) {
    switch (id) {
        case IDC_PATH_EDIT:
            return QStringLiteral("pathEdit");
        case IDC_BROWSE:
            return QStringLiteral("browse");
        case IDC_NEXT:
            return QStringLiteral("next");
        case IDC_BACK:
            return QStringLiteral("back");
        case IDC_STOP:
            return QStringLiteral("stop");
        case IDC_FOUND_FILES:
            return QStringLiteral("foundFiles");
        case IDC_PROMPT:
            return QStringLiteral("prompt");
        case IDC_PROGRESS_TEXT:
            return QStringLiteral("progressText");
        case IDC_FOLDER_LIST:
            return QStringLiteral("folderList");
        case IDC_SAVE:
            return QStringLiteral("save");
        case IDC_CAPTION_BAND:
            return QStringLiteral("captionBand");
        case IDC_FOLDER_TREE:
            return QStringLiteral("folderTree");
        case IDC_CATALOGUE:
            return QStringLiteral("cataloguePane");
        case IDC_LOGO_BUTTON:
            return QStringLiteral("logo");
        default:
            return QString::number(id);
    }
}
// The second control of a shared id has a name of its own.
inline const QString kProgressBarName = QStringLiteral("progressBar");
inline const QString kSearchingTextName = QStringLiteral("searchingText");

// Names a control after its id and keeps the id with it.
inline void setControlId(QObject* control, int id, const QString& name = {}) {
    control->setObjectName(name.isEmpty() ? controlName(id) : name);
    control->setProperty("controlId", id);
}

// The description string of each control id, given to the control as its
// accessible description; an empty text for an id without one.
inline QString controlDescription(int id) {
    switch (id) {
        case IDC_PATH_EDIT:
            return QStringLiteral("file browsw");
        case IDC_BROWSE:
            return QStringLiteral("browse file");
        case IDC_NEXT:
            return QStringLiteral("button next");
        case IDC_BACK:
            return QStringLiteral("back button");
        case IDC_STOP:
            return QStringLiteral("stop button");
        case IDC_FOUND_FILES:
            return QStringLiteral("status");
        case IDC_PROMPT:
            return QStringLiteral("static caption");
        case IDC_PROGRESS_TEXT:
            return QStringLiteral("pro");
        case IDC_FOLDER_LIST:
            return QStringLiteral("list");
        case IDC_SAVE:
            return QStringLiteral("save btn");
        case IDC_CAPTION_BAND:
            return QStringLiteral("caption");
        default:
            return {};
    }
}

inline const QString kAddFilesTip = QStringLiteral("Add Files to repair");
inline const QString kPromptText = QStringLiteral("Please select the file to repair");
inline const QString kBrowseCaption = QStringLiteral("Select BKF file for recovery...");
inline const QString kBackupFilter = QStringLiteral("Backup Files(*.bkf);;All Files(*.*)");

// The texts of a scan and a load in progress.
inline const QString kSearchingText = QStringLiteral("Searching file, please wait...");
inline const QString kNoDataFoundText = QStringLiteral("No data found in backup file");
inline const QString kOpenFailedText =
    QStringLiteral("Some Error occoured while opening file. Make sure that file is not shared");
// "Progress : " + scanned + " \ " + size, full 64-bit figures.
inline QString progressText(quint64 scanned, quint64 fileSize) {
    return QStringLiteral("Progress : %1 \\ %2").arg(scanned).arg(fileSize);
}
// "File(s) Found : " + count.
inline QString foundFilesText(quint64 count) {
    return QStringLiteral("File(s) Found : %1").arg(count);
}

}  // namespace bkf::gui
