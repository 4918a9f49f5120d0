#include "app/export_flow.h"

#include <QFileInfo>

#include "app/app_ids.h"
#include "app/background_copy.h"
#include "app/save_flow.h"
#include "app/verdicts_dialog.h"
#include "base/text.h"
#include "engine/backup_file.h"
#include "widgets/document.h"
#include "widgets/qt_text.h"
#include "widgets/recovery_view.h"
#include "widgets/ui_services.h"
#ifdef BKF_HAVE_ARCHIVE
#include "archive/archive_export.h"
#endif

namespace bkf::gui {

namespace {
constexpr std::size_t kProblemsListed = 5;
}

QString exportSummaryText(const ExtractSummary& summary) {
    const QString nl = QStringLiteral("\r\n");
    QString text;
    if (!summary.status.ok()) {
        text += QStringLiteral("The archive could not be written: ") +
                QString::fromStdString(summary.status.message()) + nl;
    }
    if (summary.cancelled) text += QStringLiteral("The export was cancelled: no archive was kept.") + nl;
    text += QStringLiteral("Stored: %1 file(s): %2 verified, %3 checksum mismatch, %4 without checksum")
                .arg(summary.saved)
                .arg(summary.verified)
                .arg(summary.mismatched)
                .arg(summary.unchecked) +
            nl + QStringLiteral("Truncated: %1 file(s)").arg(summary.truncated) + nl +
            QStringLiteral("Failed: %1 file(s)").arg(summary.failed) + nl;
    if (summary.notReached > 0) text += QStringLiteral("Not stored: %1 file(s)").arg(summary.notReached) + nl;
    std::size_t listed = 0;
    for (const EntryReport& report : summary.problems) {
        if (listed++ == kProblemsListed) {
            text += QStringLiteral("  ...") + nl;
            break;
        }
        text += QStringLiteral("  ") + qstr(report.displayPath) + QStringLiteral(": ") +
                (report.reason.empty() ? verdictText(report) : QString::fromStdString(report.reason)) + nl;
    }
    if (summary.status.ok() && !summary.cancelled) {
        text += QStringLiteral("Archive: ") + QString::fromStdU16String(summary.root.u16string());
    }
    return text;
}

ExportFlow::ExportFlow(FlowContext context)
    : context_(context), copy_(std::make_unique<BackgroundCopy>(context.document)) {}

ExportFlow::~ExportFlow() = default;

void ExportFlow::exportArchive() {
    RecoveryView& view = context_.view;
    UiServices& ui = context_.ui;
    if (copy_->running() || !context_.document.isOpen()) return;
    if (context_.document.filling()) {
        ui.messageBox(&view, kStopScanningText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
#ifndef BKF_HAVE_ARCHIVE
    ui.messageBox(&view, QStringLiteral("Export to an archive is not available in this build."),
                  MessageStyle{Buttons::Ok, Icon::Exclamation});
#else
    Catalogue& catalogue = view.catalogue();
    const auto rows = rowsToSave(catalogue.table());
    if (!rows) {
        ui.messageBox(&view, kSelectFilesText, MessageStyle{Buttons::Ok, Icon::Question});
        return;
    }
    QString name = ui.saveFileName(&view, kExportCaption, kArchiveFilter);
    if (name.isEmpty()) return;
    std::filesystem::path out = pathFromUtf16(name.toStdU16String());
    if (!archiveFormatOf(out)) out += ".tar";
    const auto format = archiveFormatOf(out);
    const std::filesystem::path backupPath = pathFromUtf16(catalogue.backupFilePath());
    if (outputIsBackup(out, backupPath)) {
        ui.messageBox(&view,
                      QStringLiteral("The archive would be the backup file itself; the backup is never written to."),
                      MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    if (QFileInfo::exists(QString::fromStdU16String(out.u16string()))) {
        ui.messageBox(&view,
                      QString::fromStdU16String(out.u16string()) +
                          QStringLiteral(" exists: an archive never replaces a file. Choose another name."),
                      MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    OpenedBackup opened = openBackupFile(backupPath, BackupAccess::Shared);
    if (!opened) {
        ui.messageBox(
            &view,
            QStringLiteral("The backup file could not be opened: ") + QString::fromStdString(opened.error().message()),
            MessageStyle{Buttons::Ok, Icon::Exclamation});
        return;
    }
    std::shared_ptr<ByteSource> backup = std::move(*opened);
    auto items = std::make_shared<std::vector<ExtractItem> >(extractItems(catalogue.table(), *rows));
    // Checked folders that hold nothing are kept as folders.
    auto folders = std::make_shared<std::vector<std::u16string> >();
    const CatalogueTree& tree = catalogue.tree();
    for (NodeId n = 0; n < tree.nodeCount(); ++n) {
        if (tree.parent(n) == kNoNode || tree.firstChild(n) != kNoNode || !catalogue.rowsInFolder(n).empty()) continue;
        if (tree.mark(n) == FolderMark::Checked) folders->push_back(u"BKF\\" + tree.folderPathOf(n));
    }
    const ExportOptions options{*format, out};
    copy_->start(
        context_.view.window(), QStringLiteral("Exporting Files.."),
        [backup, items, folders, options](ExtractObserver& progress, const std::atomic<bool>& cancel) {
            return exportEntries(*backup, *items, *folders, options, &progress, &cancel);
        },
        [this](const ExtractSummary& summary) {
            last_ = summary;
            UiServices& ui = context_.ui;
            if (summary.mismatched > 0 || summary.failed > 0) {
                VerdictsDialog dialog(kExportCaption, exportSummaryText(summary), summary.problems,
                                      context_.view.window());
                ui.runDialog(dialog);
                return;
            }
            const bool failed = !summary.status.ok();
            ui.messageBox(&context_.view, exportSummaryText(summary),
                          MessageStyle{Buttons::Ok, failed ? Icon::Exclamation : Icon::Information});
        });
#endif
}

}  // namespace bkf::gui
