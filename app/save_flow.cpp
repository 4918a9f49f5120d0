#include "app/save_flow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/app_ids.h"
#include "widgets/dialog_units.h"
#include "app/main_frame.h"
#include "widgets/qt_text.h"
#include "widgets/ui_services.h"
#include "app/verdicts_dialog.h"
#include "engine/recovery_log.h"
#include "base/text.h"
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

CSavingDialog::CSavingDialog(QWidget* parent, const QString& title, const QString& stopText) : QDialog(parent) {
    setObjectName(QStringLiteral("CSavingDialog"));
    setWindowTitle(title);
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

    cancel_ = new QPushButton(stopText, this);
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

namespace {

// "<done>: V verified, M checksum mismatch, U without checksum", then the
// truncated and failed counts, a line each.
QString verdictCountsText(const ExtractSummary& summary, const QString& done) {
    const QString nl = QStringLiteral("\r\n");
    return done.arg(summary.saved) +
           QStringLiteral(": %1 verified, %2 checksum mismatch, %3 without checksum")
               .arg(summary.verified)
               .arg(summary.mismatched)
               .arg(summary.unchecked) +
           nl + QStringLiteral("Truncated: %1 file(s)").arg(summary.truncated) + nl +
           QStringLiteral("Failed: %1 file(s)").arg(summary.failed);
}

}  // namespace

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
    text += verdictCountsText(summary, QStringLiteral("Saved: %1 file(s)")) + nl;
    if (summary.notReached > 0) text += QStringLiteral("Not saved: %1 file(s)").arg(summary.notReached) + nl;
    std::size_t listed = 0;
    for (const EntryReport& report : summary.problems) {
        if (listed == kProblemsListed) {
            text += QStringLiteral("  ...") + nl;
            break;
        }
        text += QStringLiteral("  ") + qstr(report.displayPath) + QStringLiteral(": ") +
                (report.reason.empty() ? verdictText(report) : QString::fromStdString(report.reason)) + nl;
        ++listed;
    }
    text += QStringLiteral("Bytes written: %1").arg(summary.bytesWritten) + nl;
    if (!summary.root.empty()) text += QStringLiteral("Output folder: ") + fromPath(summary.root);
    return text;
}

QString verifySummaryText(const ExtractSummary& summary) {
    const QString nl = QStringLiteral("\r\n");
    QString text;
    if (summary.cancelled) text += QStringLiteral("The check was stopped: %1 file(s) not checked.").arg(summary.notReached) + nl;
    return text + verdictCountsText(summary, QStringLiteral("%1 file(s) read whole"));
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
    ExtractOptions options;
    options.destination = pathFromUtf16(folder.toStdU16String());
    options.prefix = frame_.folderPrefix().toStdU16String();
    start(*rows, std::move(options));
}

void CSaveFlow::verifyFiles() {
    if (running_ || view_.pageNumber() != 2 || view_.scanRunning()) return;
    const auto rows = rowsToSave(view_.catalogue().table(), 0, 0);
    if (!rows) {
        frame_.ui().messageBox(&view_, qstr(kSelectFilesText), MB_OK | MB_ICONQUESTION);
        return;
    }
    start(*rows, std::nullopt);
}

bool CSaveFlow::start(std::vector<RowIndex> rows, std::optional<ExtractOptions> save) {
    Catalogue& catalogue = view_.catalogue();
    OpenedBackup opened = openBackupFile(pathFromUtf16(catalogue.backupFilePath()), BackupAccess::Shared);
    if (!opened.source) {
        frame_.ui().messageBox(&view_,
                               QStringLiteral("The backup file could not be opened: ") +
                                   QString::fromStdString(opened.reason),
                               MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    backup_ = std::move(opened.source);
    items_ = extractItems(catalogue.table(), rows);
    {
        std::lock_guard lock(mutex_);
        progress_.reset();
        summary_.reset();
        reports_.clear();
    }
    cancel_ = false;
    running_ = true;
    verifying_ = !save;
    view_.setEnabled(false);

    // A check writes nothing: it is stopped rather than cancelled.
    dialog_ = verifying_ ? std::make_unique<CSavingDialog>(&frame_, QStringLiteral("Verifying Files.."), QStringLiteral("Stop"))
                         : std::make_unique<CSavingDialog>(&frame_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    connect(dialog_.get(), &CSavingDialog::cancelRequested, this, &CSaveFlow::cancelSave);
    dialog_->show();

    worker_ = std::thread([this, save = std::move(save)] {
        ExtractSummary summary = save ? extractEntries(*backup_, items_, *save, this, &cancel_)
                                      : verifyEntries(*backup_, items_, this, &cancel_);
        std::lock_guard lock(mutex_);
        summary_ = std::move(summary);
    });
    timer_.start();
    return true;
}

void CSaveFlow::cancelSave() {
    if (running_) cancel_ = true;
}

void CSaveFlow::extractProgress(const ExtractProgress& progress) {
    std::lock_guard lock(mutex_);
    progress_ = progress;
}

void CSaveFlow::entryFinished(const EntryReport& report) {
    if (!verifying_) return;
    std::lock_guard lock(mutex_);
    reports_.push_back(report);
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
    // Each mismatched file reaches the recovery log, when it is on.
    for (const EntryReport& r : summary.problems) {
        if (r.checksum != ChecksumVerdict::Mismatch || !frame_.generateLog()) continue;
        writeLogLine(frame_.logPath(), logCodeLine(LogCode::ChecksumMismatch, r.displayPath));
    }
    if (verifying_) {
        std::vector<EntryReport> reports;
        {
            std::lock_guard lock(mutex_);
            reports.swap(reports_);
        }
        CVerdictsDialog dialog(QStringLiteral("Verify Files"), verifySummaryText(summary), reports, &frame_);
        frame_.ui().runDialog(dialog);
        return;
    }
    const bool listed = summary.mismatched > 0 || summary.failed > 0;
    if (listed) {
        // The files that could not be vouched for, as a list the user can copy.
        CVerdictsDialog dialog(QStringLiteral("Saved Files"), saveSummaryText(summary), summary.problems, &frame_);
        frame_.ui().runDialog(dialog);
        return;
    }
    const bool whollyFailed = !summary.status.ok() && summary.saved == 0 && summary.truncated == 0;
    frame_.ui().messageBox(&view_, saveSummaryText(summary),
                           MB_OK | (whollyFailed ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

}  // namespace bkf::gui
