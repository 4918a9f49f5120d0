#include "app/recovery_flow.h"

#include <QFileInfo>

#include "app/app_ids.h"
#include "base/text.h"
#include "catalogue/catalogue_builder.h"
#include "engine/recovery_log.h"
#include "widgets/document.h"
#include "widgets/qt_text.h"
#include "widgets/recovery_view.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

namespace {

const QString kSelectValidFile = QStringLiteral("Please select valid file by using Browse Button");

}  // namespace

RecoveryFlow::RecoveryFlow(FlowContext context)
    : context_(context), bridge_([this](JobBridge::Clock::time_point deadline) {
          drain(deadline);
          return queue_.hasBatches();
      }) {
    connect(&context_.view, &RecoveryView::recoverRequested, this, &RecoveryFlow::startRecovery);
    connect(&context_.view, &RecoveryView::stopRequested, this, &RecoveryFlow::stopRecovery);
}

RecoveryFlow::~RecoveryFlow() {
    if (job_) job_->stopScan();
    job_.reset();  // waits for the worker, which ends at its next slot (the queue never holds it)
}

bool RecoveryFlow::scanRunning() const {
    return context_.document.activity() == Activity::Scanning;
}

void RecoveryFlow::startRecovery() {
    Document& document = context_.document;
    if (!document.idle() || document.isOpen()) return;
    const QString path = context_.view.backupFilePath();
    if (!backupPathUsable(path)) return;
    document.open();
    const std::u16string typed = path.toStdU16String();
    document.catalogue().setBackupFilePath(typed);
    logRecoveryStart(typed);
    makeScanJob(typed);
    showScanStarted();
    bridge_.start();
    // Emptying the catalogue is quick and belongs to this thread; the open
    // happens here too, the scan on the job's worker.
    if (job_->prepareScan([&document] { document.clearCatalogue(); })) context_.view.setSearchingText(kSearchingText);
    bridge_.drainNow();  // an open failure has already been reported
}

bool RecoveryFlow::backupPathUsable(const QString& path) {
    if (path.isEmpty()) {
        // Choosing a file only fills the field; the user presses Next again.
        context_.view.onBrowseBackupFile();
        return false;
    }
    if (!QFileInfo::exists(path)) {
        context_.ui.messageBox(nullptr, kSelectValidFile, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return false;
    }
    return true;
}

void RecoveryFlow::logRecoveryStart(const std::u16string& typed) {
    const RunSettings& settings = context_.settings;
    // Generate Log is read just before each line, here and in the job.
    if (settings.generateLog) writeLogLine(settings.logPath, logPathLine(typed));
    if (settings.generateLog) writeLogLine(settings.logPath, logCodeLine(LogCode::RecoveryStarted));
}

void RecoveryFlow::makeScanJob(const std::u16string& typed) {
    RunSettings& settings = context_.settings;
    job_.reset();
    queue_.reset();
    job_ = std::make_unique<ScanJob>(observer_);
    job_->setBackupPath(pathFromUtf16(typed));
    job_->setLogPath(settings.logPath, &settings.generateLog);
    job_->setOptions({.offGrid = settings.scanOffGrid});
    filesShown_ = 0;
    full_ = Status();
}

void RecoveryFlow::showScanStarted() {
    RecoveryView& view = context_.view;
    context_.document.setActivity(Activity::Scanning);
    view.setProgress(0);
    view.setProgressText(QString());
    view.setFoundFilesText(QString());
    view.showProgressBar(true);
    view.showStopButton(true);
    view.showBackButton(false);
    view.showSaveButton(false);
}

void RecoveryFlow::stopRecovery() {
    if (!scanRunning() || !job_) return;
    if (context_.ui.messageBox(&context_.view, kStopRepairingText, MessageStyle{Buttons::YesNo, Icon::Exclamation}) !=
        Answer::Yes)
        return;
    // The scan may have ended while the question was up.
    if (!scanRunning() || !job_) return;
    context_.view.showStopButton(false);
    context_.view.showProgressBar(false);
    job_->stopScan();
}

void RecoveryFlow::drain(JobBridge::Clock::time_point deadline) {
    if (!scanRunning()) return;
    CatalogueBuilder builder(context_.document.catalogue());
    const std::size_t applied = queue_.drainUntil(deadline, [&](const FoundBatch& batch) {
        if (!full_.ok()) return;
        full_ = builder.add(batch);
        if (!full_.ok()) job_->stopScan();
    });
    RecoveryView& view = context_.view;
    if (applied > 0) {
        filesShown_ += builder.files();
        view.catalogueAppended();
        view.setFoundFilesText(foundFilesText(filesShown_));
    }
    if (const auto progress = queue_.takeProgress()) {
        view.setProgress(progress->percent);
        view.setProgressText(progressText(progress->scanned, progress->fileSize));
    }
    // The outcome comes only once every batch before it is applied.
    if (const auto outcome = queue_.takeOutcome()) finish(*outcome);
}

void RecoveryFlow::finish(const ScanOutcome& outcome) {
    bridge_.stop();
    if (job_) job_->wait();
    Document& document = context_.document;
    RecoveryView& view = context_.view;
    document.setActivity(Activity::Idle);
    view.setSearchingVisible(false);
    view.showStopButton(false);
    view.showProgressBar(false);
    switch (outcome.kind) {
        case ScanOutcome::Kind::Results:
            showResults();
            break;
        case ScanOutcome::Kind::NothingFound:
            context_.ui.messageBox(&view, kNoDataFoundText, MessageStyle{Buttons::Ok, Icon::Information});
            document.close();
            break;
        case ScanOutcome::Kind::OpenFailed:
            context_.ui.messageBox(nullptr, kOpenFailedText, MessageStyle{Buttons::Ok, Icon::Information});
            document.close();
            break;
    }
}

void RecoveryFlow::showResults() {
    RecoveryView& view = context_.view;
    // Every found file starts out selected; the tree shows the root's children.
    context_.document.catalogue().markAllAfterLoad();
    view.reloadCatalogue();
    view.setProgressText(QString());
    view.setFoundFilesText(QString());
    view.showBackButton(true);
    view.showSaveButton(true);
    if (!full_.ok()) {
        context_.ui.messageBox(&view,
                               QStringLiteral("The scan was stopped: ") + QString::fromStdString(full_.message()) +
                                   QStringLiteral(". The files found so far are listed."),
                               MessageStyle{Buttons::Ok, Icon::Exclamation});
    }
}

}  // namespace bkf::gui
