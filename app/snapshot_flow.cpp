#include "app/snapshot_flow.h"

#include <QFileInfo>
#include <QProgressBar>
#include <chrono>

#include "app/app_ids.h"
#include "app/main_frame.h"
#include "app/qt_text.h"
#include "app/recovery_flow.h"
#include "app/ui_services.h"
#include "catalogue/text.h"
#include "engine/scan.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {

namespace {

// Lines per hand-over, and how many hand-overs may wait before the reader
// pauses (so a large snapshot is not held in memory twice).
constexpr std::size_t kLinesPerBatch = 2048;
constexpr std::size_t kMaxWaitingBatches = 32;

}  // namespace

CSnapshotFlow::CSnapshotFlow(CMainFrame& frame) : frame_(frame), view_(*frame.view()) {
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &CSnapshotFlow::drain);
    connect(&view_, &CRecoveryView::stopRequested, this, &CSnapshotFlow::stopLoad);
}

CSnapshotFlow::~CSnapshotFlow() {
    stopRequested_ = true;
    space_.notify_all();
    if (worker_.joinable()) worker_.join();
}

std::optional<std::filesystem::path> CSnapshotFlow::askSnapshotName() {
    UiServices& ui = frame_.ui();
    for (;;) {
        const QString chosen = ui.saveFileName(&view_, QString(), kSnapshotSaveFilter);
        if (chosen.isEmpty()) return std::nullopt;
        const std::u16string name = withSnapshotExtension(chosen.toStdU16String());
        if (QFileInfo::exists(qstr(name)) &&
            ui.messageBox(&view_, kSnapshotReplaceText, MB_YESNO | MB_ICONINFORMATION) != IDYES)
            continue;
        return pathFromUtf16(name);
    }
}

void CSnapshotFlow::reportWriteFailure(const Status& status) {
    frame_.ui().messageBox(&view_, kSnapshotWriteFailedText + QString::fromStdString(status.message()),
                           MB_OK | MB_ICONINFORMATION);
}

void CSnapshotFlow::saveSnapshot() {
    if (busy()) return;
    const std::optional<std::filesystem::path> target = askSnapshotName();
    if (!target) return;
    saving_ = true;
    // Only read from here on: nothing may change the marks or the rows meanwhile.
    view_.setEnabled(false);
    {
        std::lock_guard lock(mutex_);
        saveResult_.reset();
    }
    const CatalogueTable& table = view_.catalogue().table();
    worker_ = std::thread([this, path = *target, &table, backup = view_.catalogue().backupFilePath()] {
        Status status = writeSnapshot(path, table, backup);
        std::lock_guard lock(mutex_);
        saveResult_ = std::move(status);
    });
    timer_.start();
}

void CSnapshotFlow::saveSnapshotNow() {
    settle();
    const std::optional<std::filesystem::path> target = askSnapshotName();
    if (!target) return;
    const Status status =
        writeSnapshot(*target, view_.catalogue().table(), view_.catalogue().backupFilePath());
    if (!status.ok()) reportWriteFailure(status);
}

void CSnapshotFlow::finishSave(const Status& status) {
    timer_.stop();
    if (worker_.joinable()) worker_.join();
    saving_ = false;
    view_.setEnabled(true);
    if (!status.ok()) reportWriteFailure(status);
}

void CSnapshotFlow::loadSnapshot() {
    if (busy() || view_.pageNumber() != 1) return;
    const QString file = frame_.ui().openFileName(&view_, kSnapshotLoadCaption, kSnapshotLoadFilter);
    if (file.isEmpty()) return;
    loadSnapshotFile(file);
}

void CSnapshotFlow::loadSnapshotFile(const QString& file) {
    if (busy() || view_.pageNumber() != 1) return;
    stopRequested_ = false;
    UiServices& ui = frame_.ui();
    reader_ = SnapshotReader();
    if (!reader_.open(pathFromUtf16(file.toStdU16String())).ok()) {
        ui.messageBox(&view_, kSnapshotOpenFailedText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    view_.clearCatalogue();
    Catalogue& catalogue = view_.catalogue();
    std::u16string line;
    std::optional<std::u16string> backup;
    if (reader_.readLine(line)) backup = parseSnapshotPathLine(line);
    if (!backup) {
        reader_ = SnapshotReader();
        ui.messageBox(&view_, kSnapshotOpenFailedText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    catalogue.setBackupFilePath(*backup);
    if (!QFileInfo::exists(qstr(*backup))) {
        const QString chosen = ui.openFileName(&view_, kSelectMovedBackupCaption, kBackupFilter);
        if (chosen.isEmpty()) {
            reader_ = SnapshotReader();
            return;
        }
        catalogue.setBackupFilePath(chosen.toStdU16String());
        view_.setBackupFilePath(chosen);
    }
    // A snapshot without its count line keeps its first row.
    std::optional<std::u16string> firstRow;
    declaredCount_ = 0;
    if (reader_.readLine(line)) {
        if (const auto count = snapshotCountOf(line)) {
            declaredCount_ = *count;
        } else {
            firstRow = std::move(line);
        }
    }

    view_.showResultsPage();
    loading_ = true;
    rowsRead_ = 0;
    // The commands that read the catalogue on a worker wait until the load ends.
    view_.setScanRunning(true);
    view_.setProgress(0);
    view_.setProgressText(QString());
    view_.setFoundFilesText(QString());
    view_.setSearchingVisible(false);
    view_.showStopButton(true);
    view_.showBackButton(false);
    view_.showSaveButton(false);
    setIndeterminate(!snapshotProgressPercent(0, declaredCount_));
    {
        std::lock_guard lock(mutex_);
        batches_.clear();
        readDone_ = false;
    }
    worker_ = std::thread([this, firstRow = std::move(firstRow)]() mutable { readRows(std::move(firstRow)); });
    timer_.start();
}

void CSnapshotFlow::readRows(std::optional<std::u16string> firstRow) {
    std::vector<std::u16string> batch;
    if (firstRow) batch.push_back(std::move(*firstRow));
    auto handOver = [&] {
        std::unique_lock lock(mutex_);
        while (batches_.size() >= kMaxWaitingBatches && !stopRequested_)
            space_.wait_for(lock, std::chrono::milliseconds(20));
        batches_.push_back(std::move(batch));
        batch.clear();
    };
    std::u16string line;
    while (!stopRequested_ && reader_.readLine(line)) {
        batch.push_back(std::move(line));
        line.clear();
        if (batch.size() >= kLinesPerBatch) handOver();
    }
    if (!batch.empty()) handOver();
    std::lock_guard lock(mutex_);
    readDone_ = true;
}

void CSnapshotFlow::stopLoad() {
    if (!loading_ || frame_.recoveryFlow().scanRunning()) return;
    if (frame_.ui().messageBox(&view_, kStopRepairingText, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    // The load may have ended while the question was up.
    if (!loading_) return;
    view_.showStopButton(false);
    view_.showProgressBar(false);
    stopRequested_ = true;
    space_.notify_all();
}

void CSnapshotFlow::drain() {
    if (saving_) {
        std::optional<Status> result;
        {
            std::lock_guard lock(mutex_);
            result.swap(saveResult_);
        }
        if (result) finishSave(*result);
        return;
    }
    if (!loading_) return;
    constexpr auto kBudget = std::chrono::milliseconds(12);
    const auto started = std::chrono::steady_clock::now();
    bool applied = false;
    bool done = false;
    Catalogue& catalogue = view_.catalogue();
    for (;;) {
        std::vector<std::u16string> batch;
        {
            std::lock_guard lock(mutex_);
            if (batches_.empty()) {
                done = readDone_;
                break;
            }
            if (std::chrono::steady_clock::now() - started > kBudget) break;
            batch = std::move(batches_.front());
            batches_.pop_front();
        }
        space_.notify_all();
        for (const std::u16string& line : batch) {
            if (parseSnapshotRow(line, catalogue)) ++rowsRead_;
        }
        applied = true;
    }
    if (applied) {
        view_.catalogueAppended();
        if (const std::optional<int> percent = snapshotProgressPercent(rowsRead_, declaredCount_))
            view_.setProgress(*percent);
    }
    if (done) finishLoad();
}

void CSnapshotFlow::finishLoad() {
    timer_.stop();
    if (worker_.joinable()) worker_.join();
    reader_ = SnapshotReader();
    loading_ = false;
    view_.setScanRunning(false);
    setIndeterminate(false);
    view_.catalogue().markAllAfterLoad();
    view_.reloadCatalogue();
    view_.showStopButton(false);
    view_.showProgressBar(false);
    if (view_.catalogue().table().empty()) {
        frame_.ui().messageBox(&view_, qstr(kNoDataFoundText), MB_OK | MB_ICONINFORMATION);
        view_.showSelectionPage();
        return;
    }
    view_.setProgressText(QString());
    view_.setFoundFilesText(QString());
    view_.setSearchingVisible(false);
    view_.showBackButton(true);
    view_.showSaveButton(true);
}

void CSnapshotFlow::settle() {
    if (saving_) {
        if (worker_.joinable()) worker_.join();
        std::optional<Status> result;
        {
            std::lock_guard lock(mutex_);
            result.swap(saveResult_);
        }
        finishSave(result.value_or(Status()));
    }
    if (loading_) {
        stopRequested_ = true;
        space_.notify_all();
        if (worker_.joinable()) worker_.join();
        while (loading_) drain();
    }
}

void CSnapshotFlow::setIndeterminate(bool on) {
    if (auto* bar = view_.findChild<QProgressBar*>(QStringLiteral("61452-progress")))
        bar->setRange(0, on ? 0 : 100);
}

}  // namespace bkf::gui
