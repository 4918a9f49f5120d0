#include "app/ormilo_app.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include "app/app_ids.h"
#include "app/snapshot_flow.h"
#include "base/text.h"
#include "catalogue/snapshot.h"
#include "widgets/recovery_view.h"
#include "widgets/resources_init.h"
#include "widgets/ui_services.h"

namespace bkf::gui {

QIcon applicationIcon() {
    initResources();
    QIcon icon;
    for (const char* size : {"16", "32", "48", "256"})
        icon.addFile(QStringLiteral(":/images/app_") + QLatin1String(size) + QStringLiteral(".png"));
    return icon;
}

void takeFileArgument(StartOptions& options, const QString& file) {
    const QFileInfo info(file);
    const QString path = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
    const bool snapshot = info.suffix().compare(QStringLiteral("ORMBKF"), Qt::CaseInsensitive) == 0 ||
                          (info.isFile() && looksLikeSnapshot(pathFromUtf16(path.toStdU16String())));
    (snapshot ? options.snapshotPath : options.backupPath) = path;
}

OrmiloApp::OrmiloApp(UiServices& ui, StartOptions options)
    : ui_(ui), options_(std::move(options)), instance_(options_.lockFolder) {}

OrmiloApp::~OrmiloApp() = default;

bool OrmiloApp::initInstance() {
    if (!instance_.acquire()) {
        ui_.messageBox(nullptr, kAnotherInstanceText, MessageStyle{Buttons::Ok, Icon::Exclamation});
        return false;
    }
    frame_ = std::make_unique<MainFrame>(ui_, options_.frame);
    frame_->setWindowTitle(kProductName);
    frame_->setWindowIcon(applicationIcon());
    if (!options_.backupPath.isEmpty()) frame_->view()->setBackupFilePath(options_.backupPath);
    // Maximized at the first start, over a normal geometry worth returning to.
    if (frame_->restoreWindowPlacement())
        frame_->showMaximized();
    else
        frame_->show();
    if (!options_.snapshotPath.isEmpty()) frame_->snapshotFlow().loadSnapshotFile(options_.snapshotPath);
    return true;
}

void OrmiloApp::releaseInstance() {
    instance_.release();
}

}  // namespace bkf::gui
