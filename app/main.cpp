// Ormilo Tarvik BKF, the desktop program.
//
// Usage: ormilo-tarvik-bkf [BACKUP.bkf | SNAPSHOT.ORMBKF] - a backup named here
// fills the path field, a recovery snapshot is loaded.
// Environment: ORMILO_TARVIK_LOG names the recovery log instead of the
// default one (OrmBkf.log in the home folder).
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

#include "app/app_ids.h"
#include "app/ormilo_app.h"
#include "app/qt_ui_services.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(bkf::gui::kProductName);
    QApplication::setOrganizationName(bkf::gui::kOrganisation);
    QApplication::setApplicationVersion(bkf::gui::kProductVersion);
    QApplication::setWindowIcon(bkf::gui::applicationIcon());
    QApplication::setDesktopFileName(QStringLiteral("ormilo-tarvik-bkf"));

    bkf::gui::QtUiServices ui;
    bkf::gui::StartOptions options;
    if (const QString log = qEnvironmentVariable("ORMILO_TARVIK_LOG"); !log.isEmpty())
        options.frame.logPath = log.toStdU16String();

    for (const QString& arg : QApplication::arguments().mid(1)) {
        if (arg.startsWith(QLatin1Char('-'))) continue;  // Qt's own options are gone already
        bkf::gui::takeFileArgument(options, arg);
        break;
    }

    bkf::gui::OrmiloApp theApp(ui, options);
    if (!theApp.initInstance()) return 1;
    // A confirmed exit ends the process at once, whatever workers still run.
    theApp.mainFrame()->setExitHandler([&theApp] {
        theApp.releaseInstance();
        std::fflush(nullptr);
        std::_Exit(0);
    });
    return app.exec();
}
