#include "app/open_file_flow.h"

#include <QTemporaryDir>
#include <QUrl>

#include "app/background_copy.h"
#include "base/text.h"
#include "widgets/document.h"
#include "widgets/qt_text.h"
#include "widgets/recovery_view.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

namespace {

// Passes progress on and keeps the one entry's report.
class KeepReport final : public ExtractObserver {
public:
    KeepReport(ExtractObserver& progress, std::shared_ptr<EntryReport> report)
        : progress_(progress), report_(std::move(report)) {}
    void extractProgress(const ExtractProgress& p) override { progress_.extractProgress(p); }
    void entryFinished(const EntryReport& r) override { *report_ = r; }

private:
    ExtractObserver& progress_;
    std::shared_ptr<EntryReport> report_;
};

}  // namespace

OpenFileFlow::OpenFileFlow(FlowContext context)
    : context_(context), copy_(std::make_unique<BackgroundCopy>(context.document)) {
    connect(&context_.view, &RecoveryView::openRowRequested, this, &OpenFileFlow::openRow);
}

OpenFileFlow::~OpenFileFlow() {
    // The copy's worker ends before its folder is removed.
    copy_.reset();
}

void OpenFileFlow::removeFiles() {
    copy_ = std::make_unique<BackgroundCopy>(context_.document);  // the old one's worker is stopped and joined
    folder_.reset();
}

QString OpenFileFlow::temporaryFolder() const {
    return folder_ ? folder_->path() : QString();
}

bool OpenFileFlow::makeFolder() {
    if (folder_) return true;
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid()) {
        context_.ui.messageBox(&context_.view,
                               QStringLiteral("No temporary folder could be made: ") + folder->errorString(),
                               MessageStyle{Buttons::Ok, Icon::Exclamation});
        return false;
    }
    folder_ = std::move(folder);
    return true;
}

void OpenFileFlow::openRow(RowIndex row) {
    if (copy_->running() || refuseWhileFilling(context_)) return;
    const Catalogue& catalogue = context_.document.catalogue();
    if (row >= catalogue.table().rowCount()) return;
    if (!makeFolder()) return;
    std::shared_ptr<ByteSource> backup = openBackupToRead(context_);
    if (!backup) return;
    const RowIndex rows[] = {row};
    auto items = std::make_shared<std::vector<ExtractItem>>(extractItems(catalogue.table(), rows));
    // Each open gets a folder of its own ("Open1", "Open2", ...): a file opened
    // twice, or two files of one name, never meet.
    ExtractOptions options{pathFromUtf16(folder_->path().toStdU16String()), u"Open"};
    auto report = std::make_shared<EntryReport>();
    copy_->start(
        context_.view.window(), QStringLiteral("Opening File.."),
        [backup, items, options, report](ExtractObserver& progress, const std::atomic<bool>& cancel) {
            KeepReport keep(progress, report);
            return extractEntries(*backup, *items, options, &keep, &cancel);
        },
        [this, report, items](const ExtractSummary& summary) {
            if (summary.cancelled) return;
            handOver(*report, summary, items->front().size);
        });
}

void OpenFileFlow::handOver(const EntryReport& r, const ExtractSummary& summary, std::int64_t size) {
    UiServices& ui = context_.ui;
    QWidget* owner = &context_.view;
    if (r.writtenAs.empty()) {
        const std::string reason = !r.reason.empty() ? r.reason : summary.status.message();
        ui.messageBox(owner, QStringLiteral("The file could not be opened: ") + QString::fromStdString(reason),
                      MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    if (!confirmDamaged(r, size)) return;
    const QString file = QString::fromStdU16String(r.writtenAs.u16string());
    if (!ui.openUrl(QUrl::fromLocalFile(file))) {
        ui.messageBox(owner, QStringLiteral("No program opened the file; it is kept as ") + file,
                      MessageStyle{Buttons::Ok, Icon::Information});
    }
}

bool OpenFileFlow::confirmDamaged(const EntryReport& r, std::int64_t size) {
    QString warning;
    if (r.result == EntryResult::Truncated) {
        warning = kOpenTruncatedText.arg(r.bytes).arg(size);
    } else if (r.checksum == ChecksumVerdict::Mismatch) {
        warning = kOpenMismatchText;
    }
    return warning.isEmpty() ||
           context_.ui.messageBox(&context_.view, warning, MessageStyle{Buttons::OkCancel, Icon::Exclamation}) ==
               Answer::Ok;
}

}  // namespace bkf::gui
