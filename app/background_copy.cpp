#include "app/background_copy.h"

#include "app/save_flow.h"
#include "widgets/document.h"
#include "widgets/qt_text.h"

namespace bkf::gui {

BackgroundCopy::BackgroundCopy(Document& document, QObject* parent)
    : QObject(parent), document_(document), bridge_([this](JobBridge::Clock::time_point deadline) {
          drain(deadline);
          return false;
      }) {}

BackgroundCopy::~BackgroundCopy() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    if (running_) document_.setActivity(Activity::Idle);
}

bool BackgroundCopy::start(QWidget* owner, const QString& title, Work work, Done done) {
    if (running_ || !document_.idle()) return false;
    queue_.reset();
    cancel_ = false;
    running_ = true;
    document_.setActivity(Activity::SavingFiles);
    done_ = std::move(done);
    dialog_ = std::make_unique<SavingDialog>(owner, title);
    dialog_->setWindowModality(Qt::ApplicationModal);
    connect(dialog_.get(), &SavingDialog::cancelRequested, this, &BackgroundCopy::cancel);
    dialog_->show();
    worker_ = std::thread([this, work = std::move(work)] { queue_.finish(work(*this, cancel_)); });
    bridge_.start();
    return true;
}

void BackgroundCopy::cancel() {
    if (running_) cancel_ = true;
}

void BackgroundCopy::extractProgress(const ExtractProgress& progress) {
    queue_.progress(progress);
}

void BackgroundCopy::drain(JobBridge::Clock::time_point) {
    if (const auto progress = queue_.takeProgress(); progress && dialog_) {
        dialog_->setCurrentFile(qstr(progress->current));
        dialog_->setBytes(progress->bytesDone, progress->bytesTotal);
    }
    const auto summary = queue_.takeOutcome();
    if (!summary) return;
    bridge_.stop();
    if (worker_.joinable()) worker_.join();
    if (dialog_) {
        dialog_->hide();
        dialog_.reset();
    }
    running_ = false;
    document_.setActivity(Activity::Idle);
    Done done = std::move(done_);
    if (done) done(*summary);
}

}  // namespace bkf::gui
