#include "app/save_flow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/app_ids.h"
#include "app/dialog_units.h"
#include "app/main_frame.h"
#include "app/qt_text.h"
#include "app/ui_services.h"
#include "catalogue/text.h"
#include "engine/backup_file.h"
#include "widgets/recovery_view.h"

namespace bkf::gui {

namespace {

QString fromPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

constexpr int kProgressSteps = 1000;
constexpr std::size_t kProblemsListed = 5;

const QString kFolderCaption = QStringLiteral("Select the folder to save the files in");

}  // namespace

// ---- CSavingDialog

CSavingDialog::CSavingDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CSavingDialog"));
    setWindowTitle(QStringLiteral("Saving Files.."));
    setFixedSize(dluSize(321, 164));
    setFont(dialogFont());

    text_ = new QLabel(this);
    text_->setObjectName(QString::number(IDC_SAVING_TEXT));
    text_->setGeometry(dluRect(17, 14, 286, 64));
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QString::number(IDC_SAVING_PROGRESS));
    progress_->setGeometry(dluRect(17, 103, 286, 11));
    progress_->setRange(0, kProgressSteps);
    progress_->setValue(0);
    progress_->setTextVisible(false);

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QString::number(IDCANCEL));
    cancel_->setGeometry(dluRect(135, 143, 50, 14));
    connect(cancel_, &QPushButton::clicked, this, &CSavingDialog::reject);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::number(IDOK));
    ok->setDefault(true);
    ok->hide();
}

void CSavingDialog::setCurrentFile(const QString& displayPath) {
    text_->setText(displayPath);
}

void CSavingDialog::setBytes(std::uint64_t done, std::uint64_t total) {
    int value = kProgressSteps;
    if (total > 0 && done < total)
        value = static_cast<int>(static_cast<long double>(done) * kProgressSteps / static_cast<long double>(total));
    progress_->setValue(value);
}

void CSavingDialog::reject() {
    cancel_->setEnabled(false);
    emit cancelRequested();
}

// ---- the summary

QString saveSummaryText(const ExtractSummary& summary) {
    QString text;
    const QString nl = QStringLiteral("\r\n");
    if (!summary.status.ok() && !summary.diskFull)
        text += QStringLiteral("The files could not be saved: ") + QString::fromStdString(summary.status.message()) +
                nl;
    if (summary.diskFull) {
        text += QStringLiteral("The disk is full: the save stopped.");
        if (!summary.status.ok()) text += QStringLiteral(" ") + QString::fromStdString(summary.status.message());
        text += nl;
    }
    if (summary.cancelled) text += QStringLiteral("The save was cancelled.") + nl;
    text += QStringLiteral("Saved: %1 file(s)").arg(summary.saved) + nl;
    text += QStringLiteral("Truncated: %1 file(s)").arg(summary.truncated) + nl;
    text += QStringLiteral("Failed: %1 file(s)").arg(summary.failed) + nl;
    if (summary.notReached > 0) text += QStringLiteral("Not saved: %1 file(s)").arg(summary.notReached) + nl;
    std::size_t listed = 0;
    for (const EntryReport& report : summary.problems) {
        if (listed == kProblemsListed) {
            text += QStringLiteral("  ...") + nl;
            break;
        }
        text += QStringLiteral("  ") + qstr(report.displayPath) + QStringLiteral(": ") +
                QString::fromStdString(report.reason) + nl;
        ++listed;
    }
    text += QStringLiteral("Bytes written: %1").arg(summary.bytesWritten) + nl;
    if (!summary.root.empty()) text += QStringLiteral("Output folder: ") + fromPath(summary.root);
    return text;
}

// ---- CSaveFlow

CSaveFlow::CSaveFlow(CMainFrame& frame) : frame_(frame), view_(*frame.view()) {
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &CSaveFlow::drain);
    connect(&view_, &CRecoveryView::saveFilesRequested, this, &CSaveFlow::saveFiles);
    connect(&view_, &CRecoveryView::saveRowRequested, this, &CSaveFlow::saveRow);
}

CSaveFlow::~CSaveFlow() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

void CSaveFlow::saveRow(RowIndex row) {
    // The chosen-row mode lasts for this one save; the next save takes the checked entries again.
    saveMode_ = kSaveModeChosenRow;
    chosenRow_ = row;
    saveFiles();
    saveMode_ = 0;
}

void CSaveFlow::saveFiles() {
    if (running_ || view_.pageNumber() != 2) return;
    // The tree's and the lists' save commands stay offered while a scan or a
    // load runs: they answer as the other busy commands do.
    if (view_.scanRunning()) {
        frame_.ui().messageBox(&view_, kStopScanningText, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    Catalogue& catalogue = view_.catalogue();
    const auto rows = rowsToSave(catalogue.table(), saveMode_, chosenRow_);
    if (!rows) {
        frame_.ui().messageBox(&view_, qstr(kSelectFilesText), MB_OK | MB_ICONQUESTION);
        return;
    }
    const QString folder = frame_.ui().folderName(&view_, kFolderCaption, lastFolder_);
    if (folder.isEmpty()) return;
    lastFolder_ = folder;

    OpenedBackup opened = openBackupFile(pathFromUtf16(catalogue.backupFilePath()), BackupAccess::Shared);
    if (!opened.source) {
        frame_.ui().messageBox(&view_,
                               QStringLiteral("The backup file could not be opened: ") +
                                   QString::fromStdString(opened.reason),
                               MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    backup_ = std::move(opened.source);
    items_ = extractItems(catalogue.table(), *rows);
    ExtractOptions options;
    options.destination = pathFromUtf16(folder.toStdU16String());
    options.prefix = frame_.folderPrefix().toStdU16String();
    {
        std::lock_guard lock(mutex_);
        progress_.reset();
        summary_.reset();
    }
    cancel_ = false;
    running_ = true;
    view_.setEnabled(false);

    dialog_ = std::make_unique<CSavingDialog>(&frame_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    connect(dialog_.get(), &CSavingDialog::cancelRequested, this, &CSaveFlow::cancelSave);
    dialog_->show();

    worker_ = std::thread([this, options = std::move(options)] {
        ExtractSummary summary = extractEntries(*backup_, items_, options, this, &cancel_);
        std::lock_guard lock(mutex_);
        summary_ = std::move(summary);
    });
    timer_.start();
}

void CSaveFlow::cancelSave() {
    if (running_) cancel_ = true;
}

void CSaveFlow::extractProgress(const ExtractProgress& progress) {
    std::lock_guard lock(mutex_);
    progress_ = progress;
}

void CSaveFlow::drain() {
    std::optional<ExtractProgress> progress;
    std::optional<ExtractSummary> summary;
    {
        std::lock_guard lock(mutex_);
        progress.swap(progress_);
        summary.swap(summary_);
    }
    if (progress && dialog_) {
        dialog_->setCurrentFile(qstr(progress->current));
        dialog_->setBytes(progress->bytesDone, progress->bytesTotal);
    }
    if (summary) finish(*summary);
}

void CSaveFlow::finish(const ExtractSummary& summary) {
    timer_.stop();
    if (worker_.joinable()) worker_.join();
    backup_.reset();
    items_.clear();
    if (dialog_) {
        dialog_->hide();
        dialog_.reset();
    }
    running_ = false;
    view_.setEnabled(true);
    last_ = summary;
    const bool whollyFailed = !summary.status.ok() && summary.saved == 0 && summary.truncated == 0;
    frame_.ui().messageBox(&view_, saveSummaryText(summary),
                           MB_OK | (whollyFailed ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

}  // namespace bkf::gui
