#include "app/snapshot_flow.h"

#include <QFileInfo>
#include <chrono>

#include "app/app_ids.h"
#include "base/text.h"
#include "widgets/document.h"
#include "widgets/qt_text.h"
#include "widgets/recovery_view.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

namespace {

// Lines per hand-over, and how many hand-overs may wait before the reader
// pauses (so a large snapshot is not held in memory twice).
constexpr std::size_t kLinesPerBatch = 2048;
constexpr std::size_t kMaxWaitingBatches = 32;

}  // namespace

SnapshotFlow::SnapshotFlow(FlowContext context)
    : context_(context),
      bridge_([this](JobBridge::Clock::time_point deadline) {
          drain(deadline);
          return loadQueue_.hasBatches();
      }),
      loadQueue_(kMaxWaitingBatches) {
    connect(&context_.view, &RecoveryView::stopRequested, this, &SnapshotFlow::stopLoad);
}

SnapshotFlow::~SnapshotFlow() {
    stopRequested_ = true;
    loadQueue_.close();  // a reader waiting for room goes on, and ends
    joinWorker();
}

bool SnapshotFlow::saving() const {
    return context_.document.activity() == Activity::SavingSnapshot;
}

bool SnapshotFlow::loading() const {
    return context_.document.activity() == Activity::Loading;
}

void SnapshotFlow::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

std::optional<std::filesystem::path> SnapshotFlow::askSnapshotName() {
    UiServices& ui = context_.ui;
    for (;;) {
        const QString chosen = ui.saveFileName(&context_.view, QString(), kSnapshotSaveFilter);
        if (chosen.isEmpty()) return std::nullopt;
        const std::u16string name = withSnapshotExtension(chosen.toStdU16String());
        if (QFileInfo::exists(qstr(name)) &&
            ui.messageBox(&context_.view, kSnapshotReplaceText, MessageStyle{Buttons::YesNo, Icon::Information}) !=
                Answer::Yes)
            continue;
        return pathFromUtf16(name);
    }
}

void SnapshotFlow::reportWriteFailure(const Status& status) {
    context_.ui.messageBox(&context_.view, kSnapshotWriteFailedText + QString::fromStdString(status.message()),
                           MessageStyle{Buttons::Ok, Icon::Information});
}

void SnapshotFlow::saveSnapshot() {
    if (!context_.document.idle()) return;
    const std::optional<std::filesystem::path> target = askSnapshotName();
    if (!target) return;
    context_.document.setActivity(Activity::SavingSnapshot);
    // Only read from here on: nothing may change the marks or the rows meanwhile.
    context_.view.setEnabled(false);
    saveQueue_.reset();
    const Catalogue& catalogue = context_.document.catalogue();
    worker_ = std::thread([this, path = *target, &table = catalogue.table(), backup = catalogue.backupFilePath()] {
        saveQueue_.finish(writeSnapshot(path, table, backup));
    });
    bridge_.start();
}

void SnapshotFlow::saveSnapshotNow() {
    settle();
    const std::optional<std::filesystem::path> target = askSnapshotName();
    if (!target) return;
    const Catalogue& catalogue = context_.document.catalogue();
    const Status status = writeSnapshot(*target, catalogue.table(), catalogue.backupFilePath());
    if (!status.ok()) reportWriteFailure(status);
}

void SnapshotFlow::finishSave(const Status& status) {
    bridge_.stop();
    joinWorker();
    context_.document.setActivity(Activity::Idle);
    context_.view.setEnabled(true);
    if (!status.ok()) reportWriteFailure(status);
}

void SnapshotFlow::loadSnapshot() {
    if (!context_.document.idle() || context_.document.isOpen()) return;
    const QString file = context_.ui.openFileName(&context_.view, kSnapshotLoadCaption, kSnapshotLoadFilter);
    if (!file.isEmpty()) loadSnapshotFile(file);
}

void SnapshotFlow::loadSnapshotFile(const QString& file) {
    if (!context_.document.idle() || context_.document.isOpen()) return;
    stopRequested_ = false;
    const std::optional<std::u16string> backup = openSnapshot(file);
    if (!backup || !findBackupFile(*backup)) return;
    std::optional<std::u16string> firstRow = readCountLine();
    beginLoad();
    worker_ = std::thread([this, firstRow = std::move(firstRow)]() mutable { readRows(std::move(firstRow)); });
    bridge_.start();
}

std::optional<std::u16string> SnapshotFlow::openSnapshot(const QString& file) {
    reader_ = SnapshotReader();
    if (!reader_.open(pathFromUtf16(file.toStdU16String())).ok()) {
        context_.ui.messageBox(&context_.view, kSnapshotOpenFailedText, MessageStyle{Buttons::Ok, Icon::Information});
        return std::nullopt;
    }
    context_.document.clearCatalogue();
    std::u16string line;
    std::optional<std::u16string> backup;
    if (reader_.readLine(line)) backup = parseSnapshotPathLine(line);
    if (!backup) {
        reader_ = SnapshotReader();
        context_.ui.messageBox(&context_.view, kSnapshotOpenFailedText, MessageStyle{Buttons::Ok, Icon::Information});
    }
    return backup;
}

bool SnapshotFlow::findBackupFile(const std::u16string& backup) {
    Catalogue& catalogue = context_.document.catalogue();
    catalogue.setBackupFilePath(backup);
    if (QFileInfo::exists(qstr(backup))) return true;
    const QString chosen = context_.ui.openFileName(&context_.view, kSelectMovedBackupCaption, kBackupFilter);
    if (chosen.isEmpty()) {
        reader_ = SnapshotReader();
        return false;
    }
    catalogue.setBackupFilePath(chosen.toStdU16String());
    context_.view.setBackupFilePath(chosen);
    return true;
}

std::optional<std::u16string> SnapshotFlow::readCountLine() {
    // A snapshot without its count line keeps its first row.
    std::optional<std::u16string> firstRow;
    declaredCount_ = 0;
    if (std::u16string line; reader_.readLine(line)) {
        if (const auto count = snapshotCountOf(line)) {
            declaredCount_ = *count;
        } else {
            firstRow = std::move(line);
        }
    }
    return firstRow;
}

void SnapshotFlow::beginLoad() {
    Document& document = context_.document;
    RecoveryView& view = context_.view;
    document.open();
    rowsRead_ = 0;
    // The commands that read the catalogue wait until the load ends.
    document.setActivity(Activity::Loading);
    view.setProgress(0);
    view.setProgressText(QString());
    view.setFoundFilesText(QString());
    view.setSearchingVisible(false);
    view.showStopButton(true);
    view.showBackButton(false);
    view.showSaveButton(false);
    view.setProgressIndeterminate(!snapshotProgressPercent(0, declaredCount_));
    loadQueue_.reset();
}

void SnapshotFlow::readRows(std::optional<std::u16string> firstRow) {
    std::vector<std::u16string> batch;
    if (firstRow) batch.push_back(std::move(*firstRow));
    std::u16string line;
    while (!stopRequested_ && reader_.readLine(line)) {
        batch.push_back(std::move(line));
        line.clear();
        if (batch.size() >= kLinesPerBatch) {
            loadQueue_.push(std::move(batch));
            batch.clear();
        }
    }
    if (!batch.empty()) loadQueue_.push(std::move(batch));
    loadQueue_.finish({});
}

void SnapshotFlow::stopLoad() {
    if (!loading()) return;
    if (context_.ui.messageBox(&context_.view, kStopRepairingText, MessageStyle{Buttons::YesNo, Icon::Exclamation}) !=
        Answer::Yes)
        return;
    // The load may have ended while the question was up.
    if (!loading()) return;
    context_.view.showStopButton(false);
    context_.view.showProgressBar(false);
    stopRequested_ = true;
}

void SnapshotFlow::drain(JobBridge::Clock::time_point deadline) {
    if (saving()) {
        if (const auto status = saveQueue_.takeOutcome()) finishSave(*status);
        return;
    }
    if (!loading()) return;
    Catalogue& catalogue = context_.document.catalogue();
    const std::size_t applied = loadQueue_.drainUntil(deadline, [&](const std::vector<std::u16string>& batch) {
        for (const std::u16string& line : batch) {
            if (parseSnapshotRow(line, catalogue)) ++rowsRead_;
        }
    });
    if (applied > 0) {
        context_.view.catalogueAppended();
        if (const std::optional<int> percent = snapshotProgressPercent(rowsRead_, declaredCount_))
            context_.view.setProgress(*percent);
    }
    if (loadQueue_.takeOutcome()) finishLoad();
}

void SnapshotFlow::finishLoad() {
    bridge_.stop();
    joinWorker();
    reader_ = SnapshotReader();
    Document& document = context_.document;
    RecoveryView& view = context_.view;
    document.setActivity(Activity::Idle);
    view.setProgressIndeterminate(false);
    document.catalogue().markAllAfterLoad();
    view.reloadCatalogue();
    view.showStopButton(false);
    view.showProgressBar(false);
    if (document.catalogue().table().empty()) {
        context_.ui.messageBox(&view, kNoDataFoundText, MessageStyle{Buttons::Ok, Icon::Information});
        document.close();
        return;
    }
    view.setProgressText(QString());
    view.setFoundFilesText(QString());
    view.setSearchingVisible(false);
    view.showBackButton(true);
    view.showSaveButton(true);
}

void SnapshotFlow::settle() {
    if (saving()) {
        joinWorker();
        finishSave(saveQueue_.takeOutcome().value_or(Status()));
    }
    if (loading()) {
        // The reader stops at its next line; what it read is kept.
        stopRequested_ = true;
        while (loading()) {
            loadQueue_.waitForWork(std::chrono::milliseconds(20));
            drain(JobBridge::Clock::time_point::max());
        }
    }
}

}  // namespace bkf::gui
