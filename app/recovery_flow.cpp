#include "app/recovery_flow.h"

#include <QFileInfo>
#include <chrono>

#include "app/app_ids.h"
#include "app/main_frame.h"
#include "widgets/qt_text.h"
#include "widgets/ui_services.h"
#include "base/text.h"
#include "engine/recovery_log.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {

namespace {

const QString kSelectValidFile = QStringLiteral("Please select valid file by using Browse Button");

}  // namespace

CRecoveryFlow::CRecoveryFlow(CMainFrame& frame) : frame_(frame), view_(*frame.view()) {
    // A few updates a second: each drain is one repaint, never one per entry.
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &CRecoveryFlow::drain);
    connect(&view_, &CRecoveryView::recoverRequested, this, &CRecoveryFlow::startRecovery);
    connect(&view_, &CRecoveryView::stopRequested, this, &CRecoveryFlow::stopRecovery);
}

CRecoveryFlow::~CRecoveryFlow() {
    if (job_) job_->stopScan();
    job_.reset();  // waits for the worker, which ends at its next slot
}

void CRecoveryFlow::startRecovery() {
    if (running_ || view_.pageNumber() != 1) return;
    const QString path = view_.backupFilePath();
    if (path.isEmpty()) {
        // Choosing a file only fills the field; the user presses Next again.
        view_.onBrowseBackupFile();
        return;
    }
    if (!QFileInfo::exists(path)) {
        frame_.ui().messageBox(nullptr, kSelectValidFile, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    view_.showResultsPage();
    const std::u16string typed = path.toStdU16String();
    view_.catalogue().setBackupFilePath(typed);
    // Generate Log is read just before each line, here and in the job.
    if (frame_.generateLog()) writeLogLine(frame_.logPath(), logPathLine(typed));
    if (frame_.generateLog()) writeLogLine(frame_.logPath(), logCodeLine(LogCode::RecoveryStarted));

    job_ = std::make_unique<ScanJob>(static_cast<ScanObserver&>(*this));
    job_->setBackupPath(pathFromUtf16(typed));
    job_->setLogPath(frame_.logPath(), &frame_.generateLogSwitch());
    job_->setOptions({.offGrid = frame_.scanOffGrid()});
    {
        std::lock_guard lock(mutex_);
        batches_.clear();
        progress_.reset();
        searching_.reset();
        outcome_.reset();
    }
    filesShown_ = 0;
    running_ = true;
    view_.setScanRunning(true);
    view_.setProgress(0);
    view_.setProgressText(QString());
    view_.setFoundFilesText(QString());
    view_.showProgressBar(true);
    view_.showStopButton(true);
    view_.showBackButton(false);
    view_.showSaveButton(false);
    timer_.start();
    // Emptying the catalogue is quick and belongs to this thread; the open
    // and the scan happen on the job's worker.
    job_->prepareScan([this] { view_.clearCatalogue(); });
    drain();  // an open failure has already been reported
}

void CRecoveryFlow::stopRecovery() {
    if (!running_ || !job_) return;
    if (frame_.ui().messageBox(&view_, kStopRepairingText, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    // The scan may have ended while the question was up.
    if (!running_ || !job_) return;
    view_.showStopButton(false);
    view_.showProgressBar(false);
    job_->stopScan();
}

void CRecoveryFlow::scanSearching(bool searching) {
    std::lock_guard lock(mutex_);
    searching_ = searching;
}

void CRecoveryFlow::scanEvents(std::vector<ScanEvent>&& events) {
    std::lock_guard lock(mutex_);
    batches_.push_back(std::move(events));
}

void CRecoveryFlow::scanProgress(const ScanProgress& progress) {
    std::lock_guard lock(mutex_);
    progress_ = progress;
}

void CRecoveryFlow::scanFinished(const ScanOutcome& outcome) {
    std::lock_guard lock(mutex_);
    outcome_ = outcome;
}

void CRecoveryFlow::drain() {
    std::optional<ScanProgress> progress;
    std::optional<bool> status;
    std::optional<ScanOutcome> outcome;
    // At most this long on the catalogue per tick, so that the window keeps
    // answering; what is left waits for the next tick.
    constexpr auto kBudget = std::chrono::milliseconds(12);
    const auto started = std::chrono::steady_clock::now();
    bool applied = false;
    Catalogue& catalogue = view_.catalogue();
    for (;;) {
        std::vector<ScanEvent> batch;
        {
            std::lock_guard lock(mutex_);
            if (batches_.empty() || std::chrono::steady_clock::now() - started > kBudget) {
                progress.swap(progress_);
                status.swap(searching_);
                // The outcome is taken only once every batch before it is applied.
                if (outcome_ && batches_.empty()) outcome.swap(outcome_);
                break;
            }
            batch = std::move(batches_.front());
            batches_.pop_front();
        }
        for (const ScanEvent& e : batch) {
            if (!e.isFolder) {
                catalogue.appendEntry(e.file.path, e.file.size, e.file.dataOffset, e.file.modified, e.file.accessed,
                                      e.file.created);
                ++filesShown_;
            }
            catalogue.addFolderPath(e.file.path);
        }
        applied = true;
    }
    if (applied) {
        view_.catalogueAppended();
        view_.setFoundFilesText(foundFilesText(filesShown_));
    }
    if (status) {
        view_.setSearchingText(*status ? kSearchingText : QString());
        view_.setSearchingVisible(*status);
    }
    if (progress) {
        view_.setProgress(progress->percent);
        view_.setProgressText(progressText(progress->scanned, progress->fileSize));
    }
    if (outcome) finish(*outcome);
}

void CRecoveryFlow::finish(const ScanOutcome& outcome) {
    timer_.stop();
    if (job_) job_->wait();
    running_ = false;
    view_.setScanRunning(false);
    view_.setSearchingVisible(false);
    view_.showStopButton(false);
    view_.showProgressBar(false);
    switch (outcome.kind) {
        case ScanOutcome::Kind::Results:
            // Every found file starts out selected; the tree shows the root's children.
            view_.catalogue().markAllAfterLoad();
            view_.reloadCatalogue();
            view_.setProgressText(QString());
            view_.setFoundFilesText(QString());
            view_.showBackButton(true);
            view_.showSaveButton(true);
            break;
        case ScanOutcome::Kind::NothingFound:
            frame_.ui().messageBox(&view_, kNoDataFoundText, MB_OK | MB_ICONINFORMATION);
            view_.showSelectionPage();
            break;
        case ScanOutcome::Kind::OpenFailed:
            frame_.ui().messageBox(nullptr, kOpenFailedText, MB_OK | MB_ICONINFORMATION);
            view_.showSelectionPage();
            break;
    }
}

}  // namespace bkf::gui
