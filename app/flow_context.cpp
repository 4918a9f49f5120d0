#include "app/flow_context.h"

#include <QWidget>

#include "app/app_ids.h"
#include "base/text.h"
#include "engine/backup_file.h"
#include "save/extract.h"
#include "widgets/document.h"
#include "widgets/recovery_view.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

bool refuseWhileFilling(const FlowContext& context) {
    if (!context.document.filling()) return false;
    context.ui.messageBox(&context.view, kStopScanningText, MessageStyle{Buttons::Ok, Icon::Exclamation});
    return true;
}

std::optional<std::vector<RowIndex>> rowsToSaveOrAsk(const FlowContext& context, std::optional<RowIndex> chosen) {
    auto rows = rowsToSave(context.document.catalogue().table(), chosen);
    if (!rows) context.ui.messageBox(&context.view, kSelectFilesText, MessageStyle{Buttons::Ok, Icon::Question});
    return rows;
}

std::unique_ptr<ByteSource> openBackupToRead(const FlowContext& context) {
    OpenedBackup opened =
        openBackupFile(pathFromUtf16(context.document.catalogue().backupFilePath()), BackupAccess::Shared);
    if (!opened) {
        context.ui.messageBox(
            &context.view,
            QStringLiteral("The backup file could not be opened: ") + QString::fromStdString(opened.error().message()),
            MessageStyle{Buttons::Ok, Icon::Exclamation});
        return nullptr;
    }
    return std::move(*opened);
}

}  // namespace bkf::gui
