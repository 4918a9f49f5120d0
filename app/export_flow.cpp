#include "app/export_flow.h"

#include <QFileInfo>

#include "app/background_copy.h"
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

#ifdef BKF_HAVE_ARCHIVE
namespace {

// The archive to write, by the save dialog: its format by the name's
// extension (.tar when it has none of an archive). nullopt on Cancel, or
// after the message when the name is the backup's or that of a file.
std::optional<ExportOptions> askArchive(const FlowContext& context) {
    UiServices& ui = context.ui;
    QString name = ui.saveFileName(&context.view, kExportCaption, kArchiveFilter);
    if (name.isEmpty()) return std::nullopt;
    std::filesystem::path out = pathFromUtf16(name.toStdU16String());
    if (!archiveFormatOf(out)) out += ".tar";
    const auto format = archiveFormatOf(out);
    const std::filesystem::path backupPath = pathFromUtf16(context.document.catalogue().backupFilePath());
    if (outputIsBackup(out, backupPath)) {
        ui.messageBox(&context.view,
                      QStringLiteral("The archive would be the backup file itself; the backup is never written to."),
                      MessageStyle{Buttons::Ok, Icon::Exclamation});
        return std::nullopt;
    }
    if (QFileInfo::exists(QString::fromStdU16String(out.u16string()))) {
        ui.messageBox(&context.view,
                      QString::fromStdU16String(out.u16string()) +
                          QStringLiteral(" exists: an archive never replaces a file. Choose another name."),
                      MessageStyle{Buttons::Ok, Icon::Exclamation});
        return std::nullopt;
    }
    return ExportOptions{*format, out};
}

// Checked folders that hold nothing are kept as folders.
std::vector<std::u16string> checkedEmptyFolders(const Catalogue& catalogue) {
    std::vector<std::u16string> folders;
    const CatalogueTree& tree = catalogue.tree();
    for (NodeId n = 0; n < tree.nodeCount(); ++n) {
        if (tree.parent(n) == kNoNode || tree.firstChild(n) != kNoNode || !catalogue.rowsInFolder(n).empty()) continue;
        if (tree.mark(n) == FolderMark::Checked) folders.push_back(u"BKF\\" + tree.folderPathOf(n));
    }
    return folders;
}

// The end of an export: the verdicts as a list when some file could not be
// vouched for, else the summary message.
void showExportSummary(const FlowContext& context, const ExtractSummary& summary) {
    if (summary.mismatched > 0 || summary.failed > 0) {
        VerdictsDialog dialog(kExportCaption, exportSummaryText(summary), summary.problems, context.view.window());
        context.ui.runDialog(dialog);
        return;
    }
    const bool failed = !summary.status.ok();
    context.ui.messageBox(&context.view, exportSummaryText(summary),
                          MessageStyle{Buttons::Ok, failed ? Icon::Exclamation : Icon::Information});
}

}  // namespace
#endif

ExportFlow::ExportFlow(FlowContext context)
    : context_(context), copy_(std::make_unique<BackgroundCopy>(context.document)) {}

ExportFlow::~ExportFlow() = default;

void ExportFlow::exportArchive() {
    if (copy_->running() || !context_.document.isOpen() || refuseWhileFilling(context_)) return;
#ifndef BKF_HAVE_ARCHIVE
    context_.ui.messageBox(&context_.view, QStringLiteral("Export to an archive is not available in this build."),
                           MessageStyle{Buttons::Ok, Icon::Exclamation});
#else
    const auto rows = rowsToSaveOrAsk(context_);
    if (!rows) return;
    const std::optional<ExportOptions> options = askArchive(context_);
    if (!options) return;
    std::shared_ptr<ByteSource> backup = openBackupToRead(context_);
    if (!backup) return;
    const Catalogue& catalogue = context_.document.catalogue();
    auto items = std::make_shared<std::vector<ExtractItem> >(extractItems(catalogue.table(), *rows));
    auto folders = std::make_shared<std::vector<std::u16string> >(checkedEmptyFolders(catalogue));
    copy_->start(
        context_.view.window(), QStringLiteral("Exporting Files.."),
        [backup, items, folders, options = *options](ExtractObserver& progress, const std::atomic<bool>& cancel) {
            return exportEntries(*backup, *items, *folders, options, &progress, &cancel);
        },
        [this](const ExtractSummary& summary) {
            last_ = summary;
            showExportSummary(context_, summary);
        });
#endif
}

}  // namespace bkf::gui
