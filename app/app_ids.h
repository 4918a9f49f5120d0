// Command ids, control ids and the texts the desktop program shows. Command
// ids are kept as the data of their QActions; control ids are the
// objectNames of the view's controls.
#pragma once

#include <QString>

namespace bkf::gui {

inline const QString kProductName = QStringLiteral("Ormilo Tarvik BKF");
// Defined once, by the build (the top CMakeLists.txt).
inline const QString kProductVersion = QStringLiteral(BKF_VERSION);
inline const QString kOrganisation = QStringLiteral("Ormilo Works");
inline const QString kBarLayoutKey = QStringLiteral("CommandBars2");
inline const QString kHomePage = QStringLiteral("https://ormilo.works/tarvik-bkf/");
inline const QString kHelpFileName = QStringLiteral("OrmiloTarvikBkf.chm");
// The single-instance lock is named after this.
inline const QString kInstanceMutexName =
    QStringLiteral("Global\\{719967F0-DCC6-49b5-9C61-DE91175C3187}");

// Commands.
enum CommandId : int {
    ID_RECOVER = 61493,
    ID_SAVE_SNAPSHOT = 61494,
    ID_LOAD_SNAPSHOT = 61495,
    ID_LIVE_UPDATE = 61496,
    ID_SETTINGS = 61497,
    ID_SEARCH_FILES = 61498,
    ID_ABOUT = 61499,
    ID_HELP = 61500,
    ID_APP_EXIT = 57665,
    ID_VERIFY_FILES = 32005,  // Tools > Verify Files: the checked files' bytes against their checksums
    ID_EXPORT_ARCHIVE = 32006,  // File > Export to Archive: the checked files into one archive
};

// Controls of the main view. The progress bar and Stop share 61452, and the
// two texts of 61485 share their id: objectNames carry a suffix for the
// second of each pair (see CRecoveryView).
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

// The description string of each control id, given to the control as its
// accessible description; an empty text for an id without one.
inline QString controlDescription(int id) {
    switch (id) {
        case IDC_PATH_EDIT: return QStringLiteral("file browsw");
        case IDC_BROWSE: return QStringLiteral("browse file");
        case IDC_NEXT: return QStringLiteral("button next");
        case IDC_BACK: return QStringLiteral("back button");
        case IDC_STOP: return QStringLiteral("stop button");
        case IDC_FOUND_FILES: return QStringLiteral("status");
        case IDC_PROMPT: return QStringLiteral("static caption");
        case IDC_PROGRESS_TEXT: return QStringLiteral("pro");
        case IDC_FOLDER_LIST: return QStringLiteral("list");
        case IDC_SAVE: return QStringLiteral("save btn");
        case IDC_CAPTION_BAND: return QStringLiteral("caption");
        default: return {};
    }
}

inline const QString kAnotherInstanceText =
    QStringLiteral("Another Instance of Ormilo Tarvik BKF is running ");
inline const QString kStopScanningText = QStringLiteral("Please stop scanning process");
// Stop, during a scan and during a snapshot load alike.
inline const QString kStopRepairingText = QStringLiteral("Do you really want to stop repairing process");
inline const QString kReallyExitText = QStringLiteral("Do you really want to exit?");
inline const QString kSaveSnapshotOnExitText =
    QStringLiteral("Do you want to save recovery snapshot?");
inline const QString kHelpMissingText =
    QStringLiteral("The help file not found on installed location \r\n please reinstall software");
inline const QString kReadyText = QStringLiteral("Ready");
inline const QString kAddFilesTip = QStringLiteral("Add Files to repair");
inline const QString kVisitHomePageTip = QStringLiteral("Visit Software Homepage");
inline const QString kPromptText = QStringLiteral("Please select the file to repair");
inline const QString kBrowseCaption = QStringLiteral("Select BKF file for recovery...");
inline const QString kBackupFilter =
    QStringLiteral("Backup Files(*.bkf)|*.bkf| All Files(*.*)|*.*||");

}  // namespace bkf::gui
