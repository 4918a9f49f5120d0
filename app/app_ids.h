// Command ids, control ids and the texts the desktop program shows. Command
// ids are kept as the data of their QActions; control ids are the
// objectNames of the view's controls.
#pragma once

#include <QString>

#include "widgets/view_ids.h"

namespace bkf::gui {

inline const QString kProductName = QStringLiteral("Ormilo Tarvik BKF");
// Defined once, by the build (the top CMakeLists.txt).
inline const QString kProductVersion = QStringLiteral(BKF_VERSION);
inline const QString kOrganisation = QStringLiteral("Ormilo Works");
inline const QString kBarLayoutKey = QStringLiteral("CommandBars2");
inline const QString kHomePage = QStringLiteral("https://ormilo.works/tarvik-bkf/");
inline const QString kHelpFileName = QStringLiteral("OrmiloTarvikBkf.chm");
// The single-instance lock is named after this.
inline const QString kInstanceMutexName = QStringLiteral("Global\\{719967F0-DCC6-49b5-9C61-DE91175C3187}");

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
    ID_VERIFY_FILES = 32005,    // Tools > Verify Files: the checked files' bytes against their checksums
    ID_EXPORT_ARCHIVE = 32006,  // File > Export to Archive: the checked files into one archive
};

inline const QString kAnotherInstanceText = QStringLiteral("Another Instance of Ormilo Tarvik BKF is running ");
inline const QString kStopScanningText = QStringLiteral("Please stop scanning process");
// Stop, during a scan and during a snapshot load alike.
inline const QString kStopRepairingText = QStringLiteral("Do you really want to stop repairing process");
inline const QString kReallyExitText = QStringLiteral("Do you really want to exit?");
inline const QString kSaveSnapshotOnExitText = QStringLiteral("Do you want to save recovery snapshot?");
inline const QString kHelpMissingText =
    QStringLiteral("The help file not found on installed location \r\n please reinstall software");
inline const QString kReadyText = QStringLiteral("Ready");
inline const QString kVisitHomePageTip = QStringLiteral("Visit Software Homepage");

}  // namespace bkf::gui
