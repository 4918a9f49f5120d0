#include "app/save_flow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/verdicts_dialog.h"
#include "base/text.h"
#include "engine/recovery_log.h"
#include "widgets/dialog_units.h"
#include "widgets/document.h"
#include "widgets/qt_text.h"
#include "widgets/recovery_view.h"
#include "widgets/ui_services.h"
#include "widgets/view_ids.h"

namespace bkf::gui {

namespace {

QString fromPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

constexpr int kProgressSteps = 1000;
constexpr std::size_t kProblemsListed = 5;

const QString kFolderCaption = QStringLiteral("Select the folder to save the files in");

}  // namespace

// ---- SavingDialog

SavingDialog::SavingDialog(QWidget* parent, const QString& title, const QString& stopText) : QDialog(parent) {
    setObjectName(QStringLiteral("SavingDialog"));
    setWindowTitle(title);
    setFixedSize(dluSize(321, 164));
    setFont(dialogFont());

    text_ = new QLabel(this);
    setControlId(text_, IDC_SAVING_TEXT, QStringLiteral("currentFile"));
    text_->setGeometry(dluRect(17, 14, 286, 64));
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    progress_ = new QProgressBar(this);
    setControlId(progress_, IDC_SAVING_PROGRESS, QStringLiteral("progress"));
    progress_->setGeometry(dluRect(17, 103, 286, 11));
    progress_->setRange(0, kProgressSteps);
    progress_->setValue(0);
    progress_->setTextVisible(false);

    cancel_ = new QPushButton(stopText, this);
    setControlId(cancel_, 2, QStringLiteral("cancel"));
    cancel_->setGeometry(dluRect(135, 143, 50, 14));
    connect(cancel_, &QPushButton::clicked, this, &SavingDialog::reject);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    setControlId(ok, 1, QStringLiteral("ok"));
    ok->setDefault(true);
    ok->hide();
}

void SavingDialog::setCurrentFile(const QString& displayPath) {
    text_->setText(displayPath);
}

void SavingDialog::setBytes(std::uint64_t done, std::uint64_t total) {
    int value = kProgressSteps;
    if (total > 0 && done < total)
        value = static_cast<int>(static_cast<long double>(done) * kProgressSteps / static_cast<long double>(total));
    progress_->setValue(value);
}

void SavingDialog::reject() {
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
        text +=
            QStringLiteral("The files could not be saved: ") + QString::fromStdString(summary.status.message()) + nl;
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
    if (summary.cancelled)
        text += QStringLiteral("The check was stopped: %1 file(s) not checked.").arg(summary.notReached) + nl;
    return text + verdictCountsText(summary, QStringLiteral("%1 file(s) read whole"));
}

// ---- SaveFlow

SaveFlow::SaveFlow(FlowContext context)
    : context_(context), bridge_([this](JobBridge::Clock::time_point deadline) {
          drain(deadline);
          return queue_.hasBatches();
      }) {
    connect(&context_.view, &RecoveryView::saveFilesRequested, this, &SaveFlow::saveFiles);
    connect(&context_.view, &RecoveryView::saveRowRequested, this, &SaveFlow::saveRow);
}

SaveFlow::~SaveFlow() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

bool SaveFlow::saving() const {
    const Activity activity = context_.document.activity();
    return activity == Activity::SavingFiles || activity == Activity::CheckingFiles;
}

void SaveFlow::saveRow(RowIndex row) {
    // The chosen row lasts for this one save; the next save takes the checked entries again.
    chosenRow_ = row;
    saveFiles();
    chosenRow_.reset();
}

void SaveFlow::saveFiles() {
    Document& document = context_.document;
    if (saving() || !document.isOpen()) return;
    // The tree's and the lists' save commands stay offered while a scan or a
    // load runs: they answer as the other busy commands do.
    if (refuseWhileFilling(context_)) return;
    const auto rows = rowsToSaveOrAsk(context_, chosenRow_);
    if (!rows) return;
    const QString folder = context_.ui.folderName(&context_.view, kFolderCaption, lastFolder_);
    if (folder.isEmpty()) return;
    lastFolder_ = folder;
    ExtractOptions options;
    options.destination = pathFromUtf16(folder.toStdU16String());
    options.prefix = context_.settings.folderPrefix.toStdU16String();
    start(*rows, std::move(options));
}

void SaveFlow::verifyFiles() {
    const Document& document = context_.document;
    if (!document.idle() || !document.isOpen()) return;
    const auto rows = rowsToSaveOrAsk(context_);
    if (!rows) return;
    start(*rows, std::nullopt);
}

bool SaveFlow::start(std::vector<RowIndex> rows, std::optional<ExtractOptions> save) {
    std::unique_ptr<ByteSource> backup = openBackupToRead(context_);
    if (!backup) return false;
    backup_ = std::move(backup);
    items_ = extractItems(context_.document.catalogue().table(), rows);
    queue_.reset();
    reports_.clear();
    cancel_ = false;
    verifying_ = !save;
    context_.document.setActivity(verifying_ ? Activity::CheckingFiles : Activity::SavingFiles);
    context_.view.setEnabled(false);
    showSavingDialog();
    worker_ = std::thread([this, save = std::move(save)] {
        queue_.finish(save ? extractEntries(*backup_, items_, *save, this, &cancel_)
                           : verifyEntries(*backup_, items_, this, &cancel_));
    });
    bridge_.start();
    return true;
}

void SaveFlow::showSavingDialog() {
    // A check writes nothing: it is stopped rather than cancelled.
    QWidget* window = context_.view.window();
    dialog_ = verifying_
                  ? std::make_unique<SavingDialog>(window, QStringLiteral("Verifying Files.."), QStringLiteral("Stop"))
                  : std::make_unique<SavingDialog>(window);
    dialog_->setWindowModality(Qt::ApplicationModal);
    connect(dialog_.get(), &SavingDialog::cancelRequested, this, &SaveFlow::cancelSave);
    dialog_->show();
}

void SaveFlow::cancelSave() {
    if (saving()) cancel_ = true;
}

void SaveFlow::extractProgress(const ExtractProgress& progress) {
    queue_.progress(progress);
}

void SaveFlow::entryFinished(const EntryReport& report) {
    if (verifying_) queue_.push(report);
}

void SaveFlow::drain(JobBridge::Clock::time_point deadline) {
    queue_.drainUntil(deadline, [&](EntryReport& report) { reports_.push_back(std::move(report)); });
    if (const auto progress = queue_.takeProgress(); progress && dialog_) {
        dialog_->setCurrentFile(qstr(progress->current));
        dialog_->setBytes(progress->bytesDone, progress->bytesTotal);
    }
    if (const auto summary = queue_.takeOutcome()) finish(*summary);
}

void SaveFlow::finish(const ExtractSummary& summary) {
    bridge_.stop();
    if (worker_.joinable()) worker_.join();
    backup_.reset();
    items_.clear();
    if (dialog_) {
        dialog_->hide();
        dialog_.reset();
    }
    context_.document.setActivity(Activity::Idle);
    context_.view.setEnabled(true);
    last_ = summary;
    logMismatches(summary);
    if (verifying_) {
        showVerdicts(summary);
    } else {
        showSaveSummary(summary);
    }
}

void SaveFlow::logMismatches(const ExtractSummary& summary) {
    // Each mismatched file reaches the recovery log, when it is on.
    const RunSettings& settings = context_.settings;
    for (const EntryReport& r : summary.problems) {
        if (r.checksum != ChecksumVerdict::Mismatch || !settings.generateLog) continue;
        writeLogLine(settings.logPath, logCodeLine(LogCode::ChecksumMismatch, r.displayPath));
    }
}

void SaveFlow::showVerdicts(const ExtractSummary& summary) {
    VerdictsDialog dialog(QStringLiteral("Verify Files"), verifySummaryText(summary), reports_, context_.view.window());
    context_.ui.runDialog(dialog);
    reports_.clear();
}

void SaveFlow::showSaveSummary(const ExtractSummary& summary) {
    const bool listed = summary.mismatched > 0 || summary.failed > 0;
    if (listed) {
        // The files that could not be vouched for, as a list the user can copy.
        VerdictsDialog dialog(QStringLiteral("Saved Files"), saveSummaryText(summary), summary.problems,
                              context_.view.window());
        context_.ui.runDialog(dialog);
        return;
    }
    const bool whollyFailed = !summary.status.ok() && summary.saved == 0 && summary.truncated == 0;
    context_.ui.messageBox(&context_.view, saveSummaryText(summary),
                           MessageStyle{Buttons::Ok, whollyFailed ? Icon::Exclamation : Icon::Information});
}

}  // namespace bkf::gui
