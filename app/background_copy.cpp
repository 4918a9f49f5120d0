#include "app/background_copy.h"

#include "app/qt_text.h"
#include "app/save_flow.h"

namespace bkf::gui {

CBackgroundCopy::CBackgroundCopy(QObject* parent) : QObject(parent) {
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &CBackgroundCopy::drain);
}

CBackgroundCopy::~CBackgroundCopy() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

bool CBackgroundCopy::start(QWidget* owner, const QString& title, Work work, Done done) {
    if (running_) return false;
    {
        std::lock_guard lock(mutex_);
        progress_.reset();
        summary_.reset();
    }
    cancel_ = false;
    running_ = true;
    done_ = std::move(done);
    dialog_ = std::make_unique<CSavingDialog>(owner, title);
    dialog_->setWindowModality(Qt::ApplicationModal);
    connect(dialog_.get(), &CSavingDialog::cancelRequested, this, &CBackgroundCopy::cancel);
    dialog_->show();
    worker_ = std::thread([this, work = std::move(work)] {
        ExtractSummary summary = work(*this, cancel_);
        std::lock_guard lock(mutex_);
        summary_ = std::move(summary);
    });
    timer_.start();
    return true;
}

void CBackgroundCopy::cancel() {
    if (running_) cancel_ = true;
}

void CBackgroundCopy::extractProgress(const ExtractProgress& progress) {
    std::lock_guard lock(mutex_);
    progress_ = progress;
}

void CBackgroundCopy::drain() {
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
    if (!summary) return;
    timer_.stop();
    if (worker_.joinable()) worker_.join();
    if (dialog_) {
        dialog_->hide();
        dialog_.reset();
    }
    running_ = false;
    Done done = std::move(done_);
    if (done) done(*summary);
}

}  // namespace bkf::gui
