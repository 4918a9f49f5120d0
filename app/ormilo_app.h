// The application object: the single-instance check and the main window.
#pragma once

#include <QString>
#include <memory>

#include "app/main_frame.h"
#include "app/single_instance.h"

namespace bkf::gui {

struct StartOptions {
    // Where the single-instance lock lives; empty: the temporary folder.
    QString lockFolder;
    FrameOptions frame;
    // A backup file named on the command line: it fills the path field.
    QString backupPath;
    // A recovery snapshot named on the command line: it is loaded as File >
    // Load Recovery Snapshot loads one.
    QString snapshotPath;
};

// Where a file named on the command line goes: a recovery snapshot (named
// .ORMBKF, or recognised by its content under any name) into snapshotPath,
// anything else into backupPath; the path made absolute and native.
void takeFileArgument(StartOptions& options, const QString& file);

// The program's icon in all its shipped sizes.
QIcon applicationIcon();

class OrmiloApp {
public:
    OrmiloApp(UiServices& ui, StartOptions options = {});
    ~OrmiloApp();

    // Start-up: false (after "Another Instance of Ormilo Tarvik BKF is
    // running ") when another instance runs, and no window is made;
    // otherwise the main window stands with its kept normal geometry and
    // state (maximised at the first start).
    bool initInstance();
    MainFrame* mainFrame() const { return frame_.get(); }
    // Lets the next instance start (the lock is released).
    void releaseInstance();

private:
    UiServices& ui_;
    StartOptions options_;
    SingleInstance instance_;
    std::unique_ptr<MainFrame> frame_;
};

}  // namespace bkf::gui
