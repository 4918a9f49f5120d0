// The main window: menu bar, the "Standard" toolbar, the status bar with the
// lock-key indicators, the logo strip at the top right, and the main view.
// Commands pass their guards here; the flows that come after a guard are
// either done here (help, about, live update, exit) or announced by a signal
// for the code that carries them out.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QString>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/flow_context.h"
#include "engine/recovery_log.h"

class QAction;
class QLabel;

namespace bkf::gui {

class HoverButton;
class RecoveryFlow;
class RecoveryView;
class SaveFlow;
class ExportFlow;
class OpenFileFlow;
class SnapshotFlow;
class Document;
class UiServices;

struct FrameOptions {
    // The recovery log, deleted when the frame is built.
    std::filesystem::path logPath = bkf::defaultLogPath();
    // Where the help file is looked for; empty: the current directory.
    QString startFolder;
};

// `folder` with exactly one trailing '/' (a root such as "/" stays as it is).
QString withTrailingSeparator(const QString& folder);

// The window's normal geometry when none is kept: 80% of the screen's
// available area, centred on it.
QRect defaultNormalGeometry(const QRect& available);

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit MainFrame(UiServices& ui, FrameOptions options = {}, QWidget* parent = nullptr);
    ~MainFrame() override;

    Document& document() const { return *document_; }
    RecoveryView* view() const { return view_; }
    RecoveryFlow& recoveryFlow() const { return *flow_; }
    SnapshotFlow& snapshotFlow() const { return *snapshots_; }
    SaveFlow& saveFlow() const { return *saves_; }
    ExportFlow& exportFlow() const { return *exports_; }
    OpenFileFlow& openFileFlow() const { return *opens_; }
    UiServices& ui() const { return ui_; }

    // The action of a command id (its data), or null.
    QAction* commandAction(int id) const;

    const QString& startFolder() const { return startFolder_; }
    // The settings of this run (see RunSettings).
    RunSettings& settings() { return settings_; }
    const std::filesystem::path& logPath() const { return settings_.logPath; }
    const QString& folderPrefix() const { return settings_.folderPrefix; }
    void setFolderPrefix(const QString& prefix) { settings_.folderPrefix = prefix; }
    bool generateLog() const { return settings_.generateLog.load(); }
    void setGenerateLog(bool on) { settings_.generateLog.store(on); }
    bool scanOffGrid() const { return settings_.scanOffGrid; }
    void setScanOffGrid(bool on) { settings_.scanOffGrid = on; }

    // The bar layout under QSettings("Ormilo Works", "Ormilo Tarvik BKF"), "CommandBars2".
    void saveBarLayout();
    bool restoreBarLayout();
    // The window's last normal geometry and whether it was maximized, kept
    // in the same settings ("Window/NormalGeometry", "Window/Maximized").
    void saveWindowPlacement();
    // Gives the window its kept normal geometry, or the default one when none
    // is kept or it lies off every screen; returns whether the window is to be
    // shown maximized (it is at the first start).
    bool restoreWindowPlacement();

    // Runs once the user has confirmed the exit (and the snapshot question is
    // answered): it ends the process. Without one the window just closes.
    void setExitHandler(std::function<void()> handler) { exitHandler_ = std::move(handler); }
    // The snapshot save the exit sequence runs on this thread when the user
    // answers Yes to "Do you want to save recovery snapshot?" (the frame
    // installs the snapshot flow's; a test may put its own).
    void setExitSnapshotSave(std::function<void()> save) { exitSnapshotSave_ = std::move(save); }

public slots:
    void onCommand(int id);
    void onRecover();
    void onSaveSnapshot();
    void onLoadSnapshot();
    void onSettings();
    void onSearchFiles();
    void onVerifyFiles();
    void onLiveUpdate();
    void onAbout();
    void onHelp();
    void onVisitHomePage();

signals:
    // Announced after their guards passed; the flows connect here.
    void saveSnapshotRequested();
    void loadSnapshotRequested();
    void settingsRequested();
    void searchRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void placeLogo();
    void updateLockIndicators();
    void saveRecoverySnapshotOnExit();

    UiServices& ui_;
    // Before the flows: the scan's worker reads the log switch until the flow has ended it.
    RunSettings settings_;
    // Before the flows and the view, which work on it; it goes after them.
    std::unique_ptr<Document> document_;
    RecoveryView* view_ = nullptr;
    std::unique_ptr<RecoveryFlow> flow_;
    // Declared after flow_: its worker is joined first, while the view still stands.
    std::unique_ptr<SnapshotFlow> snapshots_;
    // Its worker is joined before the view goes, like the others.
    std::unique_ptr<SaveFlow> saves_;
    std::unique_ptr<ExportFlow> exports_;
    std::unique_ptr<OpenFileFlow> opens_;
    HoverButton* logo_ = nullptr;
    QString startFolder_;
    std::function<void()> exitHandler_;
    std::function<void()> exitSnapshotSave_;
    QLabel* capsIndicator_ = nullptr;
    QLabel* numIndicator_ = nullptr;
    QLabel* scrollIndicator_ = nullptr;
    bool capsOn_ = false;
    bool numOn_ = false;
    bool scrollOn_ = false;
};

}  // namespace bkf::gui
