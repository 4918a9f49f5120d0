// One copy out of the backup run on a worker thread (opening a file, an
// export to an archive) while a "Saving Files.."-style window shows the file
// and the bytes done; its Cancel stops the copy. The end closes that window
// and hands the summary to the caller on the UI thread. The document's
// activity says files are being saved meanwhile.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/job_bridge.h"
#include "base/batch_queue.h"
#include "save/extract.h"

class QWidget;

namespace bkf::gui {

class SavingDialog;
class Document;

class BackgroundCopy : public QObject, private bkf::ExtractObserver {
    Q_OBJECT
public:
    using Work = std::function<bkf::ExtractSummary(bkf::ExtractObserver&, const std::atomic<bool>& cancel)>;
    using Done = std::function<void(const bkf::ExtractSummary&)>;

    explicit BackgroundCopy(Document& document, QObject* parent = nullptr);
    // Cancels a running copy and waits for its worker.
    ~BackgroundCopy() override;

    bool running() const { return running_; }
    // Runs `work` on a worker with the progress window (owned by `owner`);
    // `done` gets its summary. False when a copy runs already.
    bool start(QWidget* owner, const QString& title, Work work, Done done);
    void cancel();
    SavingDialog* dialog() const { return dialog_.get(); }

private:
    struct Nothing {};
    using Queue = bkf::BatchQueue<Nothing, bkf::ExtractProgress, bkf::ExtractSummary>;

    void extractProgress(const bkf::ExtractProgress& progress) override;
    void drain(JobBridge::Clock::time_point deadline);

    Document& document_;
    bool running_ = false;
    JobBridge bridge_;
    std::unique_ptr<SavingDialog> dialog_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    Done done_;
    Queue queue_;
};

}  // namespace bkf::gui
