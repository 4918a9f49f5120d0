// The recovery snapshot in the window: "Save Recovery Snapshot..." asks for a
// name and writes the catalogue (on a worker from the menu, on this thread
// from the exit sequence); "Load Recovery Snapshot..." asks for a snapshot,
// and for the backup file when it has moved, then reads the rows on a worker
// and applies them here in batches, a few times a second, with the progress
// bar; Stop asks, then ends the reading and keeps what was read.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/flow_context.h"
#include "app/job_bridge.h"
#include "base/batch_queue.h"
#include "base/status.h"
#include "catalogue/snapshot.h"

namespace bkf::gui {

// The texts of the snapshot dialogs and messages.
inline const QString kSnapshotSaveFilter = QStringLiteral("Tarvik SnapShot File(.ORMBKF) (*.ORMBKF)");
inline const QString kSnapshotLoadCaption = QStringLiteral("Please select the Saved recovery information file ...");
inline const QString kSnapshotLoadFilter = QStringLiteral("Tarvik SnapShot File(*.ORMBKF);;All Files(*.*)");
inline const QString kSnapshotReplaceText = QStringLiteral("File already exists.\r\nDo you want to replace it?");
inline const QString kSnapshotOpenFailedText =
    QStringLiteral("Some problem occoured while opening file, make sure that file is not shared");
inline const QString kSelectMovedBackupCaption = QStringLiteral("Select BKF file ...");
inline const QString kSnapshotWriteFailedText = QStringLiteral("The recovery snapshot could not be saved.\r\n");

class SnapshotFlow : public QObject {
    Q_OBJECT
public:
    explicit SnapshotFlow(FlowContext context);
    // Stops a load and waits for the worker of a save or load.
    ~SnapshotFlow() override;

    bool saving() const;
    bool loading() const;
    bool busy() const { return saving() || loading(); }

public slots:
    // From the menu, after the frame's guard: the write runs on a worker
    // while the view takes no input.
    void saveSnapshot();
    // From the exit sequence: everything on this thread, the write included.
    void saveSnapshotNow();
    // From the menu, after the frame's guard (file-selection page).
    void loadSnapshot();
    // Loads `file` as loadSnapshot does once the user has chosen it (a
    // snapshot named on the command line or opened from a file manager).
    void loadSnapshotFile(const QString& file);
    // The Stop button while a load runs (a scan has its own Stop): the stop
    // question, and on Yes Stop and the progress bar hidden, the reading ended.
    void stopLoad();

private:
    struct Nothing {};
    // Lines of the snapshot, read ahead by the worker (bounded: a large
    // snapshot is not held in memory twice); the outcome says the reading ended.
    using LoadQueue = bkf::BatchQueue<std::vector<std::u16string>, Nothing, Nothing>;
    using SaveQueue = bkf::BatchQueue<Nothing, Nothing, bkf::Status>;

    void drain(JobBridge::Clock::time_point deadline);
    // The save dialog, the extension rule and the replace question; nullopt on Cancel.
    std::optional<std::filesystem::path> askSnapshotName();
    void reportWriteFailure(const Status& status);
    void finishSave(const Status& status);
    // The steps of a load before its worker starts. The snapshot opened and
    // the catalogue emptied: the backup file it names, nullopt after the
    // message when the file is no snapshot.
    std::optional<std::u16string> openSnapshot(const QString& file);
    // The named backup file, or the one the user picks when it has moved;
    // false on Cancel.
    bool findBackupFile(const std::u16string& backup);
    // Takes the count line; the first row when the snapshot has none.
    std::optional<std::u16string> readCountLine();
    // The document open and busy, the view showing the load.
    void beginLoad();
    void readRows(std::optional<std::u16string> firstRow);  // the load's worker
    void finishLoad();
    // Ends a running save or load before the exit save.
    void settle();
    void joinWorker();

    FlowContext context_;
    JobBridge bridge_;
    std::thread worker_;
    std::atomic<bool> stopRequested_{false};
    SnapshotReader reader_;  // the worker's alone while a load runs
    std::int64_t declaredCount_ = 0;
    std::size_t rowsRead_ = 0;
    LoadQueue loadQueue_;
    SaveQueue saveQueue_;
};

}  // namespace bkf::gui
