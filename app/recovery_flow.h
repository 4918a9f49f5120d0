// The Recover flow in the window: Next on the file-selection page checks the
// path, opens the recovery and runs the scan job; what the scan finds
// reaches the catalogue on the user-interface thread through the job bridge,
// with the progress bar and texts; Stop asks and stops; the end shows Back
// and Save with everything checked, or a message and the file-selection page.
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "app/flow_context.h"
#include "app/job_bridge.h"
#include "engine/scan_job.h"

namespace bkf::gui {

class RecoveryFlow : public QObject {
    Q_OBJECT
public:
    explicit RecoveryFlow(FlowContext context);
    // Stops a running scan and waits for its worker (it ends within one slot).
    ~RecoveryFlow() override;

    bool scanRunning() const;

public slots:
    // Next and File > Recover... on the file-selection page.
    void startRecovery();
    // The Stop button: the question, and on Yes the stop.
    void stopRecovery();

private:
    // The steps of a start. False when there is nothing to scan yet: an empty
    // field opens the file dialog, a missing file gets the message.
    bool backupPathUsable(const QString& path);
    void logRecoveryStart(const std::u16string& typed);
    void makeScanJob(const std::u16string& typed);
    void showScanStarted();
    // Applies what the worker handed over, until `deadline`.
    void drain(JobBridge::Clock::time_point deadline);
    void finish(const bkf::ScanOutcome& outcome);
    // The results page with everything checked (and why, when the scan was cut short).
    void showResults();

    FlowContext context_;
    bkf::ScanQueue queue_;
    bkf::QueuedScanObserver observer_{queue_};
    std::unique_ptr<bkf::ScanJob> job_;
    JobBridge bridge_;
    std::uint64_t filesShown_ = 0;
    Status full_;  // the catalogue could take no more: the scan was stopped
};

}  // namespace bkf::gui
