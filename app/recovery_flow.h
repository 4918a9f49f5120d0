// The Recover flow in the window: Next on the file-selection page checks the
// path, switches to the results page and runs the scan job; what the scan
// finds reaches the catalogue on the user-interface thread in batches (a
// timer drains them a few times a second), with the progress bar and texts;
// Stop asks and stops; the end shows Back and Save with everything checked,
// or a message and the file-selection page.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/scan_job.h"

namespace bkf::gui {

class CMainFrame;
class CRecoveryView;

class CRecoveryFlow : public QObject, private bkf::ScanObserver {
    Q_OBJECT
  public:
    explicit CRecoveryFlow(CMainFrame& frame);
    // Stops a running scan and waits for its worker (it ends within one slot).
    ~CRecoveryFlow() override;

    bool scanRunning() const { return running_; }

  public slots:
    // Next and File > Recover... on the file-selection page.
    void startRecovery();
    // The Stop button: the question, and on Yes the stop.
    void stopRecovery();

  private slots:
    // Applies what the worker handed over; runs on the timer and at the end.
    void drain();

  private:
    // Called on the worker thread: they only queue.
    void scanSearching(bool searching) override;
    void scanEvents(std::vector<bkf::ScanEvent>&& events) override;
    void scanProgress(const bkf::ScanProgress& progress) override;
    void scanFinished(const bkf::ScanOutcome& outcome) override;

    void finish(const bkf::ScanOutcome& outcome);

    CMainFrame& frame_;
    CRecoveryView& view_;
    std::unique_ptr<bkf::ScanJob> job_;
    QTimer timer_;
    bool running_ = false;
    std::uint64_t filesShown_ = 0;

    std::mutex mutex_;  // guards what the worker hands over
    std::deque<std::vector<bkf::ScanEvent>> batches_;
    std::optional<bkf::ScanProgress> progress_;
    std::optional<bool> searching_;
    std::optional<bkf::ScanOutcome> outcome_;
};

}  // namespace bkf::gui
