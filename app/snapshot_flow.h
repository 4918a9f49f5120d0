// The recovery snapshot in the window: "Save Recovery Snapshot..." asks for a
// name and writes the catalogue (on a worker from the menu, on this thread
// from the exit sequence); "Load Recovery Snapshot..." asks for a snapshot,
// and for the backup file when it has moved, then reads the rows on a worker
// and applies them here in batches, a few times a second, with the progress
// bar; Stop asks, then ends the reading and keeps what was read.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/snapshot.h"
#include "engine/status.h"

namespace bkf::gui {

class CMainFrame;
class CRecoveryView;

// The texts of the snapshot dialogs and messages.
inline const QString kSnapshotSaveFilter = QStringLiteral("Tarvik SnapShot File(.ORMBKF)|*.ORMBKF||");
inline const QString kSnapshotLoadCaption =
    QStringLiteral("Please select the Saved recovery information file ...");
inline const QString kSnapshotLoadFilter =
    QStringLiteral("Tarvik SnapShot File(*.ORMBKF)|*.ORMBKF| All Files(*.*)|*.*||");
inline const QString kSnapshotReplaceText = QStringLiteral("File already exists.\r\nDo you want to replace it?");
inline const QString kSnapshotOpenFailedText =
    QStringLiteral("Some problem occoured while opening file, make sure that file is not shared");
inline const QString kSelectMovedBackupCaption = QStringLiteral("Select BKF file ...");
inline const QString kSnapshotWriteFailedText = QStringLiteral("The recovery snapshot could not be saved.\r\n");

class CSnapshotFlow : public QObject {
    Q_OBJECT
  public:
    explicit CSnapshotFlow(CMainFrame& frame);
    // Stops a load and waits for the worker of a save or load.
    ~CSnapshotFlow() override;

    bool saving() const { return saving_; }
    bool loading() const { return loading_; }
    bool busy() const { return saving_ || loading_; }

  public slots:
    // From the menu, after the frame's guard: the write runs on a worker
    // while the view takes no input.
    void saveSnapshot();
    // From the exit sequence: everything on this thread, the write included.
    void saveSnapshotNow();
    // From the menu, after the frame's guard (file-selection page).
    void loadSnapshot();
    // The same load of a snapshot already chosen (one named on the command
    // line): from the first page, when nothing else runs.
    void loadSnapshotFile(const QString& file);
    // The Stop button while a load runs (a scan has its own Stop): the stop
    // question, and on Yes Stop and the progress bar hidden, the reading ended.
    void stopLoad();

  private slots:
    // Applies what the worker handed over; runs on the timer.
    void drain();

  private:
    // The save dialog, the extension rule and the replace question; nullopt on Cancel.
    std::optional<std::filesystem::path> askSnapshotName();
    void reportWriteFailure(const Status& status);
    void finishSave(const Status& status);
    void readRows(std::optional<std::u16string> firstRow);  // the load's worker
    void finishLoad();
    // Ends a running save or load before the exit save.
    void settle();
    void setIndeterminate(bool on);

    CMainFrame& frame_;
    CRecoveryView& view_;
    QTimer timer_;
    std::thread worker_;
    bool saving_ = false;
    bool loading_ = false;
    std::atomic<bool> stopRequested_{false};
    SnapshotReader reader_;  // the worker's alone while a load runs
    std::int64_t declaredCount_ = 0;
    std::size_t rowsRead_ = 0;

    std::mutex mutex_;  // guards what the worker hands over
    std::condition_variable space_;
    std::deque<std::vector<std::u16string>> batches_;
    bool readDone_ = false;
    std::optional<Status> saveResult_;
};

}  // namespace bkf::gui
